#pragma once

#include "device.h"
#include "devicedetector.h"
#include "errorcode.h"
#include "firmwareinfo.h"
#include "productresource.h"

#include <QCommandLineOption>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>

class QThread;
class VolumeLock;

// The update controller the pages drive. GUI thread only; one per process.
class Core : public QObject
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
    Q_PROPERTY(bool forceMode READ forceMode CONSTANT)
    Q_PROPERTY(bool recoveryMode READ recoveryMode CONSTANT)
    // How long findDevice waits for the product, for the page that shows the time left.
    Q_PROPERTY(int findTimeout READ findTimeoutMilliseconds CONSTANT)
    Q_PROPERTY(QString errorDetails READ errorDetails NOTIFY errorDetailsChanged)
    Q_PROPERTY(QString mountProblem READ mountProblem NOTIFY mountProblemChanged)
    Q_PROPERTY(QStringList otherProducts READ otherProducts NOTIFY otherProductsChanged)
    Q_PROPERTY(bool volumeReleased READ volumeReleased NOTIFY volumeReleaseChanged)
    Q_PROPERTY(QString releaseProblem READ releaseProblem NOTIFY volumeReleaseChanged)
    // True from updateFirmware until the file work has ended, successful or not; the window is
    // not closed meanwhile.
    Q_PROPERTY(bool writing READ writing NOTIFY writingChanged)
    // Whether a failed update left the product without a firmware.bin, which --recover repairs;
    // set before the failure is reported.
    Q_PROPERTY(bool firmwareGone READ firmwareGone NOTIFY firmwareGoneChanged)

public:
    explicit Core(QObject *parent = nullptr);
    // For tests: builds with the given detector instead of the platform's one.
    Core(DeviceDetector *detector, QObject *parent);
    ~Core() override;

    // Takes the resource over as a child; false for null or the resource already held.
    bool initialize(ProductResource *resource);

    ErrorCode::ErrorCodeEnum errorCode() const { return m_errorCode; }
    QString updaterVersion() const;
    int windowMinimumWidth() const;
    int windowMinimumHeight() const;
    QString newFirmwareVersion() const;
    QString previousFirmwareVersion() const { return m_previousFirmwareVersion; }
    void setPreviousFirmwareVersion(const QString &version);
    bool forceMode() const;
    // The command-line option behind forceMode, for the updater's --help as well.
    static QCommandLineOption forceModeOption();
    // Whether the last update was interrupted and the volume's firmware.bin is to be rewritten
    // even when it is missing or untagged.
    bool recoveryMode() const;
    static QCommandLineOption recoverOption();

    // One line on the first failure of the run: the step, and the system's reason where it gave
    // one; in the package's language, the reason as the system says it. Empty until then.
    QString errorDetails() const { return m_errorDetails; }

    // The tags read by the last check: the volume's (null until one was read, also when the
    // check then refused it) and the package's (null without one). For tarsel-update's report.
    const FirmwareInfo *installedFirmwareInfo() const { return m_installedFirmwareInfo.get(); }
    const FirmwareInfo *packagedFirmwareInfo() const { return newFirmwareInfo.get(); }
    // Why the product's volume, seen during the search, could not be mounted, in the system's
    // words; empty unless that happened. The search goes on.
    QString mountProblem() const { return m_mountProblem; }
    // Other volumes of the product connected when it was found (their devices); left alone.
    QStringList otherProducts() const { return m_otherProducts; }
    // After a successful update: whether the volume was unmounted so that the product can be
    // powered off, or why it could not be (a busy volume). Both unset where the platform has no
    // such step.
    bool volumeReleased() const { return m_volumeReleased; }
    QString releaseProblem() const { return m_releaseProblem; }
    bool writing() const { return m_writing; }
    bool firmwareGone() const { return m_firmwareGone; }

    Device *device() const { return m_device; }
    DeviceDetector *deviceDetector() const { return m_deviceDetector; }
    ProductResource *productResource() const { return m_productResource; }

    // tarsel-update's --timeout and the tests; the wizard always waits 300000 ms.
    void setFindTimeout(int milliseconds) { findTimeout = milliseconds; }
    int findTimeoutMilliseconds() const { return findTimeout; }

    Q_INVOKABLE QString deviceName() const;
    Q_INVOKABLE void findDevice();
    Q_INVOKABLE void checkFirmware();
    Q_INVOKABLE void updateFirmware();

signals:
    void deviceFound(bool ok);
    void firmwareChecked(bool ok);
    void firmwareUpdated(bool ok);
    void progressChanged(int progress);
    void errorCodeChanged(ErrorCode::ErrorCodeEnum errorCode);
    void previousFirmwareVersionChanged();
    void newFirmwareVersionChanged();
    void errorDetailsChanged();
    void mountProblemChanged();
    void otherProductsChanged();
    void volumeReleaseChanged();
    // For the run's log: a step ("search", "check", "clean", "delete", "create", "write",
    // "sync", "verify", "rename" or "unmount"; "mount" for a refused mount during the search)
    // ended after milliseconds; reason says why it failed, or how it went, in English or the
    // system's words. Emitted before the step's result signal.
    void stepEnded(const QString &step, bool ok, qint64 milliseconds, const QString &reason);
    // While the file work runs: bytes of the image on the volume, and of them read back equal.
    void fileProgress(qint64 written, qint64 verified, qint64 total);
    void writingChanged();
    void firmwareGoneChanged();

public slots:
    void setErrorCode(ErrorCode::ErrorCodeEnum errorCode);

private:
    void failCheck(ErrorCode::ErrorCodeEnum code, const char *detailsId, const QString &reason);
    void failUpdate(const char *step, const char *detailsId, const QString &reason);
    void endStep(const QString &step, bool ok, const QString &reason = QString());
    // Holds the product for this run; false (with the failure reported) when another holds it.
    bool lockVolume(QString *note);
    void writeEnded(bool ok, bool gone);
    void setWriting(bool writing);
    void startFinishing();
    void noteDetails(const char *id, const QString &reason);
    // Passes the check for firmware.bin missing, empty or untagged, in recovery mode only.
    bool passCheckForRecovery();
    QString firmwareTargetPath() const;
    bool onVolume(const QString &path) const;
    void releaseVolumeThenReport();

    ErrorCode::ErrorCodeEnum m_errorCode = ErrorCode::NoError;
    QPointer<Device> m_device;
    QPointer<ProductResource> m_productResource;
    QString m_previousFirmwareVersion = QStringLiteral("0.0.0.0");
    std::unique_ptr<FirmwareInfo> newFirmwareInfo;
    std::unique_ptr<FirmwareInfo> m_installedFirmwareInfo;
    QPointer<DeviceDetector> m_deviceDetector;
    int findTimeout = 300000;
    // The file system found at the mount path: what the steps read and write must be on it.
    quint64 m_volumeId = 0;
    QElapsedTimer m_stepClock;
    QString m_errorDetails;
    QString m_mountProblem;
    QStringList m_otherProducts;
    bool m_canReleaseVolume = false;
    bool m_volumeReleased = false;
    QString m_releaseProblem;
    std::unique_ptr<VolumeLock> m_lock;
    std::unique_ptr<QThread> m_writeThread;
    bool m_writing = false;
    bool m_firmwareGone = false;
};
