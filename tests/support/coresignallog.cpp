#include "coresignallog.h"

#include "core.h"

#include <QMetaEnum>

namespace {
QString okText(const char *signal, bool ok)
{
    return QStringLiteral("%1(%2)").arg(
        QLatin1String(signal), ok ? QStringLiteral("true") : QStringLiteral("false"));
}
} // namespace

const QStringList CoreSignalLog::notFound { QStringLiteral("deviceFound(false)"),
    QStringLiteral("errorCodeChanged(FindDeviceError)") };
const QStringList CoreSignalLog::notChecked { QStringLiteral("firmwareChecked(false)"),
    QStringLiteral("errorCodeChanged(CheckFirmwareError)") };
const QStringList CoreSignalLog::notUpdated { QStringLiteral("firmwareUpdated(false)"),
    QStringLiteral("errorCodeChanged(UpdateFirmwareError)") };

CoreSignalLog::CoreSignalLog(Core *core)
    : QObject(core)
{
    connect(
        core, &Core::deviceFound, this, [this](bool ok) { events << okText("deviceFound", ok); });
    connect(core, &Core::firmwareChecked, this,
        [this](bool ok) { events << okText("firmwareChecked", ok); });
    connect(core, &Core::firmwareUpdated, this,
        [this](bool ok) { events << okText("firmwareUpdated", ok); });
    connect(core, &Core::errorCodeChanged, this, [this](ErrorCode::ErrorCodeEnum code) {
        const char *name = QMetaEnum::fromType<ErrorCode::ErrorCodeEnum>().valueToKey(code);
        events << QStringLiteral("errorCodeChanged(%1)")
                      .arg(name ? QLatin1String(name) : QLatin1String("?"));
    });
    connect(core, &Core::previousFirmwareVersionChanged, this, [this, core] {
        events << QStringLiteral("previousFirmwareVersionChanged(%1)")
                      .arg(core->previousFirmwareVersion());
    });
    connect(core, &Core::progressChanged, this, [this](int value) { progress << value; });
}
