#include "linuxdetector.h"

#include "mounttablewatcher.h"
#include "sysfswalk.h"
#include "usbidmatch.h"

namespace {

QString environmentOr(const char *name, const QString &fallback)
{
    return qEnvironmentVariableIsEmpty(name) ? fallback : qEnvironmentVariable(name);
}

} // namespace

LinuxDetector::LinuxDetector(std::function<void()> detectedCallback)
    : QObject(nullptr)
    , IDetector(std::move(detectedCallback))
{
}

LinuxDetector::~LinuxDetector() = default;

QString LinuxDetector::sysfsRoot()
{
    return environmentOr("TARSEL_SYSFS_ROOT", QStringLiteral("/sys"));
}

QString LinuxDetector::mountTablePath()
{
    return environmentOr("TARSEL_MOUNTINFO", QStringLiteral("/proc/self/mountinfo"));
}

void LinuxDetector::start(const QString &vid, const QString &pid, const QString &productString)
{
    Q_UNUSED(productString);
    this->vid = vid;
    this->pid = pid;
    sysfsRootPath = sysfsRoot();
    delete watcher;
    watcher = new MountTableWatcher(mountTablePath(), this);
    connect(watcher, &MountTableWatcher::changed, this, &LinuxDetector::onMountTableChanged);
    // Watch first, then read: a mount between the two is then seen as a change, not lost.
    watcher->start();
    QByteArray table;
    knownMounts = watcher->read(table) ? parseMountTable(table) : QVector<MountEntry>();
}

void LinuxDetector::onMountTableChanged()
{
    QByteArray table;
    // An unreadable table says nothing; forgetting every mount would make them all arrive later.
    if (!watcher->read(table))
        return;
    const QVector<MountEntry> current = parseMountTable(table);
    const QVector<MountEntry> arrived = newMounts(knownMounts, current);
    knownMounts = current;

    const SysfsWalk sysfs(sysfsRootPath);
    QString found;
    for (const MountEntry &mount : arrived) {
        // A bind mount of a subfolder is not the volume, even on the product's disk.
        if (mount.root != QLatin1String("/"))
            continue;
        const QString blockDevice = sysfs.blockDevice(mount.major, mount.minor, mount.source);
        UsbDisk disk;
        if (blockDevice.isEmpty() || !sysfs.usbDiskOf(blockDevice, disk) || !disk.removable
            || !UsbIdMatch::matches(vid, pid, disk.idVendor, disk.idProduct))
            continue;
        // Several volumes of the product in one change: the last one wins, as the later drive
        // letter does on Windows.
        if (found.isNull() || mount.mountPoint > found)
            found = mount.mountPoint;
    }
    if (found.isNull())
        return;
    recognisedPath = found.endsWith(QLatin1Char('/')) ? found : found + QLatin1Char('/');
    if (detectedCallback)
        detectedCallback();
}
