#include "linuxdetector.h"

#include "detectorlog.h"
#include "mounttablewatcher.h"
#include "sysfswalk.h"
#include "udiskswatch.h"
#include "usbidmatch.h"

#include <QTimer>

#include <algorithm>

namespace {

QString environmentOr(const char *name, const QString &fallback)
{
    return qEnvironmentVariableIsEmpty(name) ? fallback : qEnvironmentVariable(name);
}

// Of several volumes of the product, the last mount point wins, as the later drive letter does on
// Windows.
void keepLast(QString &found, const QString &mountPoint, QString *foundDevice = nullptr,
    const QString &device = QString())
{
    if (found.isNull() || mountPoint > found) {
        found = mountPoint;
        if (foundDevice)
            *foundDevice = device;
    }
}

// The mount point of a whole file system on this device; null when it is not mounted.
QString mountPointOf(const QVector<MountEntry> &mounts, quint32 major, quint32 minor)
{
    QString found;
    for (const MountEntry &mount : mounts) {
        if (mount.major == major && mount.minor == minor && mount.root == QLatin1String("/"))
            keepLast(found, mount.mountPoint);
    }
    return found;
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

int LinuxDetector::mountGraceMs()
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue("TARSEL_MOUNT_GRACE_MS", &ok);
    return ok && value >= 0 ? value : 1500;
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
    // A simulated table has no real devices behind it for UDisks2 to mount.
    if (!watcher->isKernelTable())
        return;
    const SysfsWalk sysfs(sysfsRootPath);
    for (MountEntry &mount : knownMounts) {
        if (mount.root == QLatin1String("/")
            && isProduct(sysfs, mount.major, mount.minor, mount.source, mount.mountPoint)) {
            mount.uniqueId = MountTableWatcher::uniqueMountId(mount.mountPoint);
            productMounts.insert(mount.source);
        }
    }
    startMounts = knownMounts;
    delete udisks;
    udisks = new UDisksWatch(this);
    connect(udisks, &UDisksWatch::fileSystemsAppeared, this, &LinuxDetector::onFileSystemsAppeared);
    connect(udisks, &UDisksWatch::fileSystemRemoved, this, &LinuxDetector::onFileSystemRemoved);
    connect(udisks, &UDisksWatch::mountFailed, this, &LinuxDetector::onMountFailed);
    udisks->start();
}

bool LinuxDetector::isProduct(const SysfsWalk &sysfs, quint32 major, quint32 minor,
    const QString &source, const QString &what) const
{
    const QString blockDevice = sysfs.blockDevice(major, minor, source);
    UsbDisk disk;
    // Pseudo file systems (proc, tmpfs, ...) fill most of the table; they are not worth a line.
    if (blockDevice.isEmpty()) {
        if (source.startsWith(QLatin1String("/dev/")))
            qCDebug(lcDetector) << what << "has no block device in sysfs";
        return false;
    }
    if (!sysfs.usbDiskOf(blockDevice, disk)) {
        qCDebug(lcDetector) << what << "is not on a USB device";
        return false;
    }
    if (!disk.removable) {
        qCDebug(lcDetector) << what << "is on a USB disk that is not removable";
        return false;
    }
    if (!UsbIdMatch::matches(vid, pid, disk.idVendor, disk.idProduct)) {
        qCDebug(lcDetector) << what << "is on another USB device:"
                            << UsbIdMatch::deviceText(disk.idVendor, disk.idProduct);
        return false;
    }
    qCDebug(lcDetector) << what << "is on the product";
    return true;
}

void LinuxDetector::onMountTableChanged()
{
    QByteArray table;
    // An unreadable table says nothing; forgetting every mount would make them all arrive later.
    if (!watcher->read(table))
        return;
    QVector<MountEntry> current = parseMountTable(table);
    if (watcher->isKernelTable()) {
        // The product's mounts carry their unique id, so a replaced one is seen as new.
        QHash<int, const MountEntry *> product;
        for (const MountEntry &mount : knownMounts) {
            if (mount.uniqueId != 0)
                product.insert(mount.id, &mount);
        }
        for (MountEntry &mount : current) {
            const MountEntry *known = product.value(mount.id);
            if (known && known->major == mount.major && known->minor == mount.minor
                && known->mountPoint == mount.mountPoint)
                mount.uniqueId = MountTableWatcher::uniqueMountId(mount.mountPoint);
        }
    }
    const QVector<MountEntry> arrived = newMounts(knownMounts, current);

    const SysfsWalk sysfs(sysfsRootPath);
    QString found;
    QString foundDevice;
    for (const MountEntry &mount : arrived) {
        // A bind mount of a subfolder is not the volume, even on the product's disk.
        if (mount.root != QLatin1String("/")
            || !isProduct(sysfs, mount.major, mount.minor, mount.source, mount.mountPoint))
            continue;
        if (watcher->isKernelTable()) {
            for (MountEntry &entry : current) {
                if (entry.id == mount.id && entry.mountPoint == mount.mountPoint)
                    entry.uniqueId = MountTableWatcher::uniqueMountId(entry.mountPoint);
            }
        }
        productMounts.insert(mount.source);
        keepLast(found, mount.mountPoint, &foundDevice, mount.source);
    }
    knownMounts = current;
    if (!found.isNull())
        report(found, foundDevice);
}

void LinuxDetector::report(const QString &mountPoint, const QString &device)
{
    recognisedPath
        = mountPoint.endsWith(QLatin1Char('/')) ? mountPoint : mountPoint + QLatin1Char('/');
    // One product is updated; any other is neither mounted by us nor touched, only named.
    qDeleteAll(pendingMounts);
    pendingMounts.clear();
    QSet<QString> seen = productMounts;
    for (const QString &other : qAsConst(productFileSystems))
        seen.insert(other);
    seen.remove(device);
    others = seen.values();
    others.sort();
    if (!others.isEmpty())
        qCDebug(lcDetector) << "Other volumes of the product are left alone:" << others;
    if (detectedCallback)
        detectedCallback();
}

void LinuxDetector::onFileSystemsAppeared(const QVector<UDisksFileSystem> &fileSystems)
{
    const SysfsWalk sysfs(sysfsRootPath);
    QString mountedAtStart;
    QString mountedAtStartDevice;
    for (const UDisksFileSystem &fileSystem : fileSystems) {
        const QString what = QStringLiteral("%1 (%2)").arg(fileSystem.device, fileSystem.object);
        if (!isProduct(sysfs, fileSystem.major, fileSystem.minor, fileSystem.device, what))
            continue;
        productFileSystems.insert(fileSystem.object, fileSystem.device);
        if (!fileSystem.mounted) {
            if (pendingMounts.contains(fileSystem.object))
                continue;
            qCDebug(lcDetector) << what << "is not mounted; UDisks2 mounts it in" << mountGraceMs()
                                << "ms unless someone else does";
            auto *timer = new QTimer(this);
            timer->setSingleShot(true);
            connect(timer, &QTimer::timeout, this, [this, fileSystem] {
                // Still inside the timer's own emission: it goes once the emission is over.
                if (QTimer *self = pendingMounts.take(fileSystem.object))
                    self->deleteLater();
                mountUnlessMounted(fileSystem);
            });
            pendingMounts.insert(fileSystem.object, timer);
            timer->start(mountGraceMs());
            continue;
        }
        // The table reports every mount made since start; those made before, only UDisks2 tells.
        // It may tell late: a change event can take the file system away and bring it back.
        QVector<MountEntry> fromBeforeStart;
        for (const MountEntry &mount : qAsConst(knownMounts)) {
            if (std::any_of(startMounts.cbegin(), startMounts.cend(),
                    [&mount](const MountEntry &old) { return old.sameMount(mount); }))
                fromBeforeStart.append(mount);
        }
        const QString point = mountPointOf(fromBeforeStart, fileSystem.major, fileSystem.minor);
        if (point.isNull() || startMountReported) {
            qCDebug(lcDetector) << what << "was mounted after the search began";
            continue;
        }
        qCDebug(lcDetector) << what << "was already mounted at" << point;
        keepLast(mountedAtStart, point, &mountedAtStartDevice, fileSystem.device);
    }
    if (mountedAtStart.isNull())
        return;
    startMountReported = true;
    report(mountedAtStart, mountedAtStartDevice);
}

void LinuxDetector::onFileSystemRemoved(const QString &object)
{
    productFileSystems.remove(object);
    if (mounting == object)
        mounting.clear();
    if (QTimer *timer = pendingMounts.take(object)) {
        qCDebug(lcDetector) << object << "went away before it was mounted";
        delete timer;
    }
}

void LinuxDetector::mountUnlessMounted(const UDisksFileSystem &fileSystem)
{
    QByteArray table;
    if (watcher->read(table)
        && !mountPointOf(parseMountTable(table), fileSystem.major, fileSystem.minor).isNull()) {
        qCDebug(lcDetector) << fileSystem.device << "was mounted by someone else";
        return;
    }
    if (!mounting.isEmpty()) {
        qCDebug(lcDetector) << "Another volume of the product is being mounted;"
                            << fileSystem.device << "is left alone";
        return;
    }
    qCDebug(lcDetector) << "Asking UDisks2 to mount" << fileSystem.device;
    mounting = fileSystem.object;
    udisks->mount(fileSystem.object);
}

void LinuxDetector::onMountFailed(const QString &object, const QString &reason)
{
    if (object == mounting)
        mounting.clear();
    if (productFileSystems.contains(object) && problemCallback)
        problemCallback(reason);
}
