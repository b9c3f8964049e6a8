#pragma once

#include "errorcode.h"

#include <QObject>
#include <QString>
#include <QStringList>

// Stands in for Core in the QML tests: the same properties, signals and invokables, with the
// outcome of each step chosen by the test. Signals can also be emitted from QML directly.
class TestCore : public QObject
{
    Q_OBJECT
    Q_PROPERTY(ErrorCode::ErrorCodeEnum errorCode READ errorCode WRITE setErrorCode NOTIFY
            errorCodeChanged)
    Q_PROPERTY(QString updaterVersion READ updaterVersion CONSTANT)
    Q_PROPERTY(int windowMinimumWidth READ windowMinimumWidth CONSTANT)
    Q_PROPERTY(int windowMinimumHeight READ windowMinimumHeight CONSTANT)
    Q_PROPERTY(QString newFirmwareVersion READ newFirmwareVersion NOTIFY newFirmwareVersionChanged)
    Q_PROPERTY(QString previousFirmwareVersion READ previousFirmwareVersion WRITE
            setPreviousFirmwareVersion NOTIFY previousFirmwareVersionChanged)

    // Controls for the tests.
    Q_PROPERTY(QString name MEMBER name)
    Q_PROPERTY(int minimumHeight MEMBER minimumHeight)
    Q_PROPERTY(int minimumHeightReads MEMBER minimumHeightReads)
    // -1: the step emits nothing; 1: it succeeds at once; 0: it fails at once with failCode.
    Q_PROPERTY(int findResult MEMBER findResult)
    Q_PROPERTY(int checkResult MEMBER checkResult)
    Q_PROPERTY(int updateResult MEMBER updateResult)
    Q_PROPERTY(int checkFailCode MEMBER checkFailCode)
    Q_PROPERTY(QString deviceFirmwareVersion MEMBER deviceFirmwareVersion)
    // One entry per step called: "name connected|unconnected depth", where connected tells
    // whether the step's result signal had a receiver and depth how many steps were running.
    Q_PROPERTY(QStringList calls MEMBER calls)

public:
    explicit TestCore(QObject *parent = nullptr);

    ErrorCode::ErrorCodeEnum errorCode() const { return m_errorCode; }
    void setErrorCode(ErrorCode::ErrorCodeEnum code);
    QString updaterVersion() const { return QStringLiteral("1.2.24"); }
    int windowMinimumWidth() const { return 700; }
    int windowMinimumHeight() const;
    QString newFirmwareVersion() const { return m_newFirmwareVersion; }
    QString previousFirmwareVersion() const { return m_previousFirmwareVersion; }
    void setPreviousFirmwareVersion(const QString &version);

    Q_INVOKABLE QString deviceName() const { return name; }
    Q_INVOKABLE void findDevice();
    Q_INVOKABLE void checkFirmware();
    Q_INVOKABLE void updateFirmware();

    // Back to the initial state without emitting, and without any receiver left from an earlier
    // window.
    Q_INVOKABLE void reset();
    // For codes outside the enumeration.
    Q_INVOKABLE void setErrorCodeValue(int code);
    Q_INVOKABLE bool isConnected(const QString &signalName) const;

signals:
    void deviceFound(bool ok);
    void firmwareChecked(bool ok);
    void firmwareUpdated(bool ok);
    void progressChanged(int progress);
    void errorCodeChanged(ErrorCode::ErrorCodeEnum errorCode);
    void previousFirmwareVersionChanged();
    void newFirmwareVersionChanged();

private:
    void record(const char *step, const char *signal);

    ErrorCode::ErrorCodeEnum m_errorCode = ErrorCode::NoError;
    QString m_newFirmwareVersion;
    QString m_previousFirmwareVersion;
    QString name;
    QString deviceFirmwareVersion;
    int minimumHeight = 0;
    mutable int minimumHeightReads = 0;
    int findResult = -1;
    int checkResult = -1;
    int updateResult = -1;
    int checkFailCode = ErrorCode::CheckFirmwareError;
    int depth = 0;
    QStringList calls;
};
