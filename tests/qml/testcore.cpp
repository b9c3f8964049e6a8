#include "testcore.h"

#include <QMetaMethod>

TestCore::TestCore(QObject *parent)
    : QObject(parent)
{
    reset();
}

void TestCore::reset()
{
    for (int i = metaObject()->methodOffset(); i < metaObject()->methodCount(); ++i) {
        const QMetaMethod method = metaObject()->method(i);
        if (method.methodType() == QMetaMethod::Signal)
            disconnect(this, method, nullptr, QMetaMethod());
    }
    m_errorCode = ErrorCode::NoError;
    m_newFirmwareVersion = QStringLiteral("1.0.0.2");
    m_previousFirmwareVersion = QStringLiteral("0.0.0.0");
    name = QStringLiteral("Vault");
    deviceFirmwareVersion = QStringLiteral("1.0.0.1");
    minimumHeight = 480;
    minimumHeightReads = 0;
    findResult = checkResult = updateResult = -1;
    checkFailCode = ErrorCode::CheckFirmwareError;
    depth = 0;
    calls.clear();
}

void TestCore::setErrorCode(ErrorCode::ErrorCodeEnum code)
{
    if (code == m_errorCode)
        return;
    m_errorCode = code;
    emit errorCodeChanged(code);
}

void TestCore::setErrorCodeValue(int code)
{
    setErrorCode(static_cast<ErrorCode::ErrorCodeEnum>(code));
}

int TestCore::windowMinimumHeight() const
{
    ++minimumHeightReads;
    return minimumHeight;
}

void TestCore::setPreviousFirmwareVersion(const QString &version)
{
    if (version == m_previousFirmwareVersion)
        return;
    m_previousFirmwareVersion = version;
    emit previousFirmwareVersionChanged();
}

bool TestCore::isConnected(const QString &signalName) const
{
    for (int i = metaObject()->methodOffset(); i < metaObject()->methodCount(); ++i) {
        const QMetaMethod method = metaObject()->method(i);
        if (method.methodType() == QMetaMethod::Signal && method.name() == signalName.toLatin1())
            return isSignalConnected(method);
    }
    return false;
}

void TestCore::record(const char *step, const char *signal)
{
    calls << QStringLiteral("%1 %2 %3")
                 .arg(QLatin1String(step),
                     isConnected(QLatin1String(signal)) ? QLatin1String("connected")
                                                        : QLatin1String("unconnected"))
                 .arg(depth);
}

// The steps fail as Core does: the result signal with false first, then the error code.
void TestCore::findDevice()
{
    record("findDevice", "deviceFound");
    ++depth;
    if (findResult == 1) {
        emit deviceFound(true);
    } else if (findResult == 0) {
        emit deviceFound(false);
        setErrorCode(ErrorCode::FindDeviceError);
    }
    --depth;
}

void TestCore::checkFirmware()
{
    record("checkFirmware", "firmwareChecked");
    ++depth;
    if (checkResult == 1) {
        setPreviousFirmwareVersion(deviceFirmwareVersion);
        emit firmwareChecked(true);
    } else if (checkResult == 0) {
        emit firmwareChecked(false);
        setErrorCodeValue(checkFailCode);
    }
    --depth;
}

void TestCore::updateFirmware()
{
    record("updateFirmware", "firmwareUpdated");
    ++depth;
    if (updateResult == 1) {
        emit firmwareUpdated(true);
    } else if (updateResult == 0) {
        emit firmwareUpdated(false);
        setErrorCode(ErrorCode::UpdateFirmwareError);
    }
    --depth;
}
