#include "core.h"

#include "device.h"
#include "devicedetector.h"
#include "firmwarechecksum.h"
#include "firmwarefile.h"
#include "productresource.h"
#include "windowminimumheight.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QTranslator>

namespace {
// One run per process, so the counter is never reset (a second run would report above 100).
int progressCounter = 0;
} // namespace

Core::Core(QObject *parent)
    : Core(nullptr, parent)
{
}

Core::Core(DeviceDetector *detector, QObject *parent)
    : QObject(parent)
    , m_deviceDetector(detector ? detector : new DeviceDetector(this))
{
    m_deviceDetector->setParent(this);
}

Core::~Core() = default;

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
    const bool force = forceMode();

    const QString packagedPath = m_productResource->firmwarePath();
    const QFileInfo packaged(packagedPath);
    if (!packaged.exists() || !packaged.isFile())
        return failCheck(ErrorCode::CheckFirmwareError, "id-page5-details-package-unreadable",
            QStringLiteral("not a file"));

    if (!force) {
        QFile file(packagedPath);
        if (!file.open(QIODevice::ReadOnly))
            return failCheck(ErrorCode::CheckFirmwareError, "id-page5-details-package-unreadable",
                file.errorString());
        QCryptographicHash hash(QCryptographicHash::Md5);
        if (!hash.addData(&file))
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

    if (!force && QVersionNumber::compare(deviceInfo->version, newFirmwareInfo->version) >= 0)
        return failCheck(ErrorCode::FirmwareSame_FWError, nullptr,
            QStringLiteral("the product has %1").arg(deviceInfo->version.toString()));

    endStep(QStringLiteral("check"), true);
    emit firmwareChecked(true);
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
    endStep(QLatin1String(step), false, reason);
    noteDetails(detailsId, reason);
    emit firmwareUpdated(false);
    setErrorCode(ErrorCode::UpdateFirmwareError);
}

void Core::updateFirmware()
{
    m_stepClock.start();
    const QString volumeChanged = QStringLiteral("the volume found is no longer at its path");
    if (!m_productResource || !m_device)
        return failUpdate(
            "delete", "id-page5-details-search-failed", QStringLiteral("no product found"));

    const QString packagedPath = m_productResource->firmwarePath();
    QString devicePath = m_device->firmwareFilePath();
    // A recovery may find nothing to delete; a link or a folder in the way still stops it.
    const QFileInfo target(firmwareTargetPath());
    const bool nothingToDelete
        = devicePath.isEmpty() && recoveryMode() && !target.isSymLink() && !target.exists();
    if (nothingToDelete)
        devicePath = target.filePath();
    QFile deviceFile(devicePath);

    // Deleting first and finding no room after would leave the product without firmware.
    const qint64 size = QFileInfo(packagedPath).size();
    if (devicePath.isEmpty())
        return failUpdate("delete", "id-page5-details-firmware-missing",
            QStringLiteral("firmware.bin is gone since the check"));
    if (!hasRoomFor(devicePath, size))
        return failUpdate(
            "delete", "id-page5-details-no-room", QStringLiteral("no room for %1 bytes").arg(size));
    if (!onVolume(nothingToDelete ? target.absolutePath() : devicePath))
        return failUpdate("delete", "id-page5-details-volume-changed", volumeChanged);
    if (!nothingToDelete && !deviceFile.remove())
        return failUpdate("delete", "id-page5-details-remove", deviceFile.errorString());
    endStep(QStringLiteral("delete"), true,
        nothingToDelete ? QStringLiteral("nothing to delete") : QString());

    // A volume detached since leaves its mount point behind, on the computer's own disk: the
    // file is created by path, so where it landed is checked before and after.
    if (!onVolume(target.absolutePath()))
        return failUpdate("create", "id-page5-details-volume-changed", volumeChanged);
    if (!createNewFile(deviceFile, QIODevice::Unbuffered))
        return failUpdate("create", "id-page5-details-create", qt_error_string());
    if (volumeIdOf(deviceFile) != m_volumeId) {
        // Opened from a descriptor, the file no longer knows its name.
        deviceFile.close();
        QFile::remove(devicePath);
        return failUpdate("create", "id-page5-details-volume-changed", volumeChanged);
    }
    endStep(QStringLiteral("create"), true);
    QFile packagedFile(packagedPath);
    if (!packagedFile.open(QIODevice::ReadOnly))
        return failUpdate(
            "write", "id-page5-details-package-unreadable", packagedFile.errorString());

    const QByteArray image = packagedFile.readAll();
    const qint64 written = deviceFile.write(image);
    if (written == -1)
        return failUpdate("write", "id-page5-details-write", deviceFile.errorString());
    // A short write is left for the comparison to catch, as the log shows.
    endStep(QStringLiteral("write"), true,
        QStringLiteral("%1 of %2 bytes").arg(written).arg(image.size()));
    // Success is only reported for bytes the device really holds.
    if (!syncToDevice(deviceFile, devicePath)) {
        const QString reason = deviceFile.error() != QFileDevice::NoError ? deviceFile.errorString()
                                                                          : qt_error_string();
        return failUpdate("sync", "id-page5-details-sync", reason);
    }
    endStep(QStringLiteral("sync"), true);
    deviceFile.close();
    packagedFile.close();

    // filesEqual ends on the file still at the path; the path must still be on the volume.
    const QString writtenPath = m_device->firmwareFilePath();
    if (!onVolume(writtenPath))
        return failUpdate("verify", "id-page5-details-volume-changed", volumeChanged);
    if (!filesEqual(writtenPath, packagedPath) || !onVolume(writtenPath))
        return failUpdate("verify", "id-page5-details-verify",
            QStringLiteral("firmware.bin read back differs or could not be read"));
    endStep(QStringLiteral("verify"), true);

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
