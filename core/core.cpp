#include "core.h"

#include "device.h"
#include "devicedetector.h"
#include "firmwarechecksum.h"
#include "firmwarefile.h"
#include "firmwarewriter.h"
#include "imagereader.h"
#include "productresource.h"
#include "volumelock.h"
#include "windowminimumheight.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimer>
#include <QTranslator>

namespace {
// One run per process, so the counter is never reset (a second run would report above 100).
int progressCounter = 0;

// QThread::create needs std::future, which MinGW-w64 with Win32 threads lacks.
class WorkThread : public QThread
{
public:
    explicit WorkThread(std::function<void()> work)
        : work(std::move(work))
    {
    }

private:
    void run() override { work(); }
    const std::function<void()> work;
};
} // namespace

Core::Core(QObject *parent)
    : Core(nullptr, parent)
{
}

Core::Core(DeviceDetector *detector, QObject *parent)
    : QObject(parent)
    , m_deviceDetector(detector ? detector : new DeviceDetector(this))
    , m_lock(std::make_unique<VolumeLock>())
{
    m_deviceDetector->setParent(this);
}

Core::~Core()
{
    // The writer reports to this object; a write is never cut short, only waited for.
    if (m_writeThread)
        m_writeThread->wait();
}

bool Core::initialize(ProductResource *resource)
{
    if (!resource || resource == m_productResource)
        return false;
    resource->setParent(this);
    m_productResource = resource;
    newFirmwareInfo = readFirmwareInfo(resource->firmwarePath());
    emit newFirmwareVersionChanged();
    auto *translator = new QTranslator(this);
    translator->load(resource->translationFile(), QString(), QString(), QString());
    QCoreApplication::installTranslator(translator);
    return true;
}

QString Core::updaterVersion() const
{
    return QStringLiteral("1.2.24");
}

int Core::windowMinimumWidth() const
{
    return 700;
}

int Core::windowMinimumHeight() const
{
    return windowMinimumHeightFor(m_productResource ? m_productResource->name() : QString());
}

QString Core::newFirmwareVersion() const
{
    return newFirmwareInfo ? newFirmwareInfo->version.toString() : QStringLiteral("0.0.0.0");
}

void Core::setPreviousFirmwareVersion(const QString &version)
{
    if (version == m_previousFirmwareVersion)
        return;
    m_previousFirmwareVersion = version;
    emit previousFirmwareVersionChanged();
}

QCommandLineOption Core::forceModeOption()
{
    return QCommandLineOption(QStringLiteral("force-mode"),
        QStringLiteral("Run updater in force mode"), QString(), QString());
}

QCommandLineOption Core::recoverOption()
{
    return QCommandLineOption(QStringLiteral("recover"),
        QStringLiteral("Repair a product whose last update was interrupted"), QString(), QString());
}

namespace {
// Whether the process's command line sets option. Both options are known to both readings:
// "--force-mode --recover" sets both, and a line that turns force mode off for an unknown option
// does not start a recovery either.
bool modeSet(const QCommandLineOption &option)
{
    QCommandLineParser parser;
    parser.addOptions({ Core::forceModeOption(), Core::recoverOption() });
    return parser.parse(QCoreApplication::arguments()) && parser.isSet(option);
}
} // namespace

bool Core::forceMode() const
{
    return modeSet(forceModeOption());
}

bool Core::recoveryMode() const
{
    return modeSet(recoverOption());
}

void Core::setErrorCode(ErrorCode::ErrorCodeEnum errorCode)
{
    if (errorCode == m_errorCode)
        return;
    m_errorCode = errorCode;
    emit errorCodeChanged(errorCode);
}

QString Core::deviceName() const
{
    const QString name = m_productResource ? m_productResource->name() : QString();
    return name.isEmpty() ? QStringLiteral("[device_name]") : name;
}

void Core::findDevice()
{
    // A detection releases the detector (its deletion may still be pending, so the recorded
    // device tells); without a package there is nothing to look for.
    if (m_device || !m_deviceDetector || !m_productResource) {
        endStep(QStringLiteral("search"), false, QStringLiteral("not ready to search"));
        noteDetails("id-page5-details-search-failed", QString());
        emit deviceFound(false);
        setErrorCode(ErrorCode::FindDeviceError);
        return;
    }
    m_stepClock.start();
    auto *findTimer = new QTimer(this);
    connect(findTimer, &QTimer::timeout, this, [this, findTimer] {
        findTimer->stop();
        const QString seconds = QString::number(findTimer->interval() / 1000);
        endStep(QStringLiteral("search"), false,
            QStringLiteral("no product within %1 seconds").arg(seconds));
        noteDetails("id-page5-details-search-timeout", seconds);
        emit deviceFound(false);
        setErrorCode(ErrorCode::FindDeviceError);
    });
    findTimer->start(findTimeout);
    connect(m_deviceDetector, &DeviceDetector::mountFailed, this, [this](const QString &reason) {
        // Logged as it happens; the search step goes on and ends later.
        emit stepEnded(QStringLiteral("mount"), false, m_stepClock.elapsed(), reason);
        m_mountProblem = reason;
        emit mountProblemChanged();
    });
    connect(m_deviceDetector, &DeviceDetector::detected, this,
        [this, findTimer](const QString &mountPath) {
            findTimer->stop();
            m_device = new Device(mountPath, this);
            m_volumeId = volumeIdOf(mountPath);
            m_otherProducts = m_deviceDetector->otherProducts();
            if (!m_otherProducts.isEmpty())
                emit otherProductsChanged();
            m_canReleaseVolume = m_deviceDetector->canReleaseVolume();
            const bool ok = !m_device->isEmpty();
            const QString others = m_otherProducts.isEmpty()
                ? QString()
                : QStringLiteral("another %1 is connected (%2) and left alone")
                      .arg(deviceName(), m_otherProducts.join(QLatin1String(", ")));
            endStep(QStringLiteral("search"), ok, ok ? others : QStringLiteral("no mount path"));
            if (!ok)
                noteDetails("id-page5-details-search-failed", QString());
            // The pages run the check and the write inside this emission.
            emit deviceFound(ok);
            if (!ok)
                setErrorCode(ErrorCode::FindDeviceError);
            if (m_deviceDetector)
                m_deviceDetector->deleteLater();
        });
    m_deviceDetector->start(
        m_productResource->vid(), m_productResource->pid(), m_productResource->productString());
}

void Core::endStep(const QString &step, bool ok, const QString &reason)
{
    emit stepEnded(step, ok, m_stepClock.isValid() ? m_stepClock.restart() : 0, reason);
}

void Core::noteDetails(const char *id, const QString &reason)
{
    // The first failure is the one the page explains; later codes only follow from it.
    if (!m_errorDetails.isEmpty())
        return;
    const QString text = qtTrId(id);
    if (text.contains(QLatin1String("%1")))
        m_errorDetails = text.arg(reason);
    else
        m_errorDetails
            = reason.isEmpty() || text != QLatin1String(id) ? text : text + ": " + reason;
    emit errorDetailsChanged();
}

void Core::failCheck(ErrorCode::ErrorCodeEnum code, const char *detailsId, const QString &reason)
{
    m_lock->release();
    endStep(QStringLiteral("check"), false, reason);
    if (detailsId)
        noteDetails(detailsId, reason);
    emit firmwareChecked(false);
    setErrorCode(code);
}

void Core::checkFirmware()
{
    m_stepClock.start();
    if (!newFirmwareInfo || !m_productResource || !m_device)
        return failCheck(ErrorCode::CheckFirmwareError,
            m_device ? "id-page5-details-package-unreadable" : "id-page5-details-search-failed",
            m_device ? QStringLiteral("no version tag") : QStringLiteral("no product found"));
    // Before anything is read: another run's half-written state is no firmware to judge.
    QString lockNote;
    if (!lockVolume(&lockNote))
        return failCheck(ErrorCode::UpdateRunningError, nullptr,
            QStringLiteral("an update of this product is already running"));
    const bool force = forceMode();

    const QString packagedPath = m_productResource->firmwarePath();
    const QFileInfo packaged(packagedPath);
    if (!packaged.exists() || !packaged.isFile())
        return failCheck(ErrorCode::CheckFirmwareError, "id-page5-details-package-unreadable",
            QStringLiteral("not a file"));
    if (packaged.size() > maxFirmwareSize)
        return failCheck(ErrorCode::CheckFirmwareError, "id-page5-details-package-unreadable",
            QStringLiteral("%1 bytes, more than a FAT volume holds").arg(packaged.size()));

    if (!force) {
        ImageReader file(packagedPath);
        if (!file.open())
            return failCheck(ErrorCode::CheckFirmwareError, "id-page5-details-package-unreadable",
                file.errorString());
        QCryptographicHash hash(QCryptographicHash::Md5);
        QByteArray block(1024 * 1024, Qt::Uninitialized);
        qint64 n = 0;
        while ((n = file.read(block.data(), block.size())) > 0)
            hash.addData(block.constData(), int(n));
        if (n < 0)
            return failCheck(ErrorCode::CheckFirmwareError, "id-page5-details-package-unreadable",
                file.errorString());
        if (!checksumMatches(hash.result(), m_productResource->firmwareMd5()))
            return failCheck(ErrorCode::CheckFirmwareError, "id-page5-details-package-damaged",
                QStringLiteral("packaged firmware does not match its checksum"));
    }

    const QString devicePath = m_device->firmwareFilePath();
    const QFileInfo onDevice(devicePath);
    if (devicePath.isEmpty() || !onDevice.exists() || !onDevice.isFile()) {
        if (passCheckForRecovery())
            return;
        return failCheck(ErrorCode::CheckFirmwareError, "id-page5-details-firmware-missing",
            QStringLiteral("no regular firmware.bin on the volume"));
    }

    if (!onVolume(devicePath))
        return failCheck(ErrorCode::CheckFirmwareError, "id-page5-details-volume-changed",
            QStringLiteral("firmware.bin is not on the volume found"));
    m_installedFirmwareInfo = readFirmwareInfo(devicePath);
    const FirmwareInfo *deviceInfo = m_installedFirmwareInfo.get();
    if (!deviceInfo) {
        if (passCheckForRecovery())
            return;
        return failCheck(ErrorCode::CheckFirmwareError, "id-page5-details-firmware-untagged",
            QStringLiteral("no version tag in firmware.bin on the volume"));
    }

    if (!force && deviceInfo->hardwareId != newFirmwareInfo->hardwareId)
        return failCheck(ErrorCode::FirmwareBad_HWError, "id-page5-details-other-hardware",
            QStringLiteral("hardware %1, the package's %2")
                .arg(deviceInfo->hardwareId)
                .arg(newFirmwareInfo->hardwareId));

    setPreviousFirmwareVersion(deviceInfo->version.toString());

    const int order
        = force ? -1 : QVersionNumber::compare(deviceInfo->version, newFirmwareInfo->version);
    // The version tag sits near the start: a damaged or cut copy of the packaged image still
    // carries it, and only the bytes tell it from the real one.
    if (order == 0 && !filesEqual(devicePath, packagedPath))
        lockNote = QStringLiteral("firmware.bin has the packaged version but other bytes; it "
                                  "is rewritten");
    else if (order >= 0)
        return failCheck(ErrorCode::FirmwareSame_FWError, nullptr,
            QStringLiteral("the product has %1").arg(deviceInfo->version.toString()));

    endStep(QStringLiteral("check"), true, lockNote);
    emit firmwareChecked(true);
}

bool Core::lockVolume(QString *note)
{
    QString error;
    switch (m_lock->take(m_device->mountPath(), &error)) {
    case VolumeLock::Result::Taken:
        return true;
    case VolumeLock::Result::Busy:
        return false;
    case VolumeLock::Result::Unsupported:
        break;
    }
    // A volume that takes no lock is still updated, as before there was one; the log says so.
    *note = QStringLiteral("the product could not be locked for this run: %1").arg(error);
    return true;
}

QString Core::firmwareTargetPath() const
{
    return m_device ? QDir::cleanPath(m_device->mountPath() + QStringLiteral("/firmware.bin"))
                    : QString();
}

bool Core::onVolume(const QString &path) const
{
    return m_volumeId != 0 && volumeIdOf(path) == m_volumeId;
}

bool Core::passCheckForRecovery()
{
    if (!recoveryMode())
        return false;
    // Only what an interrupted write leaves: no entry at all, or a regular file without a tag.
    // A folder or a link in its place is no firmware to replace.
    const QFileInfo entry(firmwareTargetPath());
    if (entry.isSymLink() || (entry.exists() && !entry.isFile()))
        return false;
    endStep(QStringLiteral("check"), true, QStringLiteral("recovering"));
    emit firmwareChecked(true);
    return true;
}

void Core::failUpdate(const char *step, const char *detailsId, const QString &reason)
{
    m_lock->release();
    endStep(QLatin1String(step), false, reason);
    noteDetails(detailsId, reason);
    emit firmwareUpdated(false);
    setErrorCode(ErrorCode::UpdateFirmwareError);
}

void Core::setWriting(bool writing)
{
    if (writing == m_writing)
        return;
    m_writing = writing;
    emit writingChanged();
}

void Core::updateFirmware()
{
    m_stepClock.start();
    if (m_writing)
        return;
    if (!m_productResource || !m_device)
        return failUpdate(
            "delete", "id-page5-details-search-failed", QStringLiteral("no product found"));
    QString lockNote;
    if (!lockVolume(&lockNote)) {
        endStep(QStringLiteral("delete"), false,
            QStringLiteral("an update of this product is already running"));
        emit firmwareUpdated(false);
        return setErrorCode(ErrorCode::UpdateRunningError);
    }

    const QString packagedPath = m_productResource->firmwarePath();
    const QString devicePath = m_device->firmwareFilePath();
    // A recovery may find nothing to delete; a link or a folder in the way still stops it.
    const QFileInfo target(firmwareTargetPath());
    const bool nothingToDelete
        = devicePath.isEmpty() && recoveryMode() && !target.isSymLink() && !target.exists();
    if (devicePath.isEmpty() && !nothingToDelete) {
        m_firmwareGone = !target.exists() && !target.isSymLink();
        return failUpdate("delete", "id-page5-details-firmware-missing",
            QStringLiteral("firmware.bin is gone since the check"));
    }

    setWriting(true);
    const auto writer = std::make_shared<FirmwareWriter>(
        packagedPath, m_device->mountPath(), devicePath, m_volumeId);
    const qint64 total = QFileInfo(packagedPath).size();
    // Reports cross to this thread queued, in the order they were made; the last is the end.
    m_writeThread = std::make_unique<WorkThread>([this, writer, total] {
        const auto onStep = [this](const FirmwareWriter::Step &step) {
            QMetaObject::invokeMethod(
                this,
                [this, step] {
                    emit stepEnded(
                        QLatin1String(step.name), step.ok, step.milliseconds, step.reason);
                    if (!step.ok)
                        noteDetails(step.detailsId, step.reason);
                },
                Qt::QueuedConnection);
        };
        const auto onProgress = [this, total](qint64 written, qint64 verified) {
            QMetaObject::invokeMethod(
                this, [=] { emit fileProgress(written, verified, total); }, Qt::QueuedConnection);
        };
        const bool ok = writer->run(onStep, onProgress);
        const bool gone = writer->firmwareGone();
        QMetaObject::invokeMethod(
            this, [this, ok, gone] { writeEnded(ok, gone); }, Qt::QueuedConnection);
    });
    m_writeThread->start();
}

void Core::writeEnded(bool ok, bool gone)
{
    m_writeThread->wait();
    m_writeThread.reset();
    m_lock->release();
    if (gone != m_firmwareGone) {
        m_firmwareGone = gone;
        emit firmwareGoneChanged();
    }
    if (!ok) {
        emit firmwareUpdated(false);
        setErrorCode(ErrorCode::UpdateFirmwareError);
        return setWriting(false);
    }
    setWriting(false);
    startFinishing();
}

void Core::startFinishing()
{
    auto *progressTimer = new QTimer(this);
    connect(progressTimer, &QTimer::timeout, this, [this] {
        progressCounter += 100;
        emit progressChanged(progressCounter / 50);
    });
    progressTimer->start(100);

    auto *finishTimer = new QTimer(this);
    connect(finishTimer, &QTimer::timeout, this, [this, progressTimer, finishTimer] {
        progressTimer->stop();
        finishTimer->stop();
        releaseVolumeThenReport();
    });
    finishTimer->start(5000);
}

void Core::releaseVolumeThenReport()
{
    // The user is told to power the product off next: a volume still mounted then (a FAT one
    // above all) would be left dirty.
    if (!m_canReleaseVolume || !m_device) {
        emit firmwareUpdated(true);
        return;
    }
    m_stepClock.start();
    DeviceDetector::releaseVolume(m_device->mountPath(), this,
        [this](DeviceDetector::Release release, const QString &reason) {
            if (release != DeviceDetector::Release::NotTried) {
                m_volumeReleased = release == DeviceDetector::Release::Released;
                m_releaseProblem = m_volumeReleased ? QString()
                    : reason.isEmpty()              ? QStringLiteral("not unmounted")
                                                    : reason;
                endStep(QStringLiteral("unmount"), m_volumeReleased, m_releaseProblem);
                emit volumeReleaseChanged();
            }
            emit firmwareUpdated(true);
        });
}
