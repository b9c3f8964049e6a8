#pragma once

#include "idetector.h"
#include "mounttable.h"
#include "mounttablewatcher.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVector>
#include <functional>

class QTimer;
class SysfsWalk;
class UDisksWatch;
struct UDisksFileSystem;

// Recognises the product's volume when it is mounted: every change of the mount table is
// compared with the last one, and each new mount of a whole file system is traced through sysfs
// to its USB device. Where UDisks2 runs, it also reports the product's volume already mounted at
// start and has UDisks2 mount one that nobody mounts. GUI thread only.
class LinuxDetector : public QObject, public IDetector
{
    Q_OBJECT
    Q_INTERFACES(IDetector)
public:
    explicit LinuxDetector(std::function<void()> detectedCallback);
    ~LinuxDetector() override;

    void start(const QString &vid, const QString &pid, const QString &productString) override;
    QString mountPath() const override { return recognisedPath; }
    QStringList otherProducts() const override { return others; }
    bool canReleaseVolume() const override { return watcher && watcher->isKernelTable(); }

    // The system roots, overridden by TARSEL_SYSFS_ROOT and TARSEL_MOUNTINFO.
    static QString sysfsRoot();
    static QString mountTablePath();
    // How long a desktop's automounter is given before UDisks2 is asked to mount; overridden by
    // TARSEL_MOUNT_GRACE_MS.
    static int mountGraceMs();

private:
    void onMountTableChanged();
    void onFileSystemsAppeared(const QVector<UDisksFileSystem> &fileSystems);
    void onFileSystemRemoved(const QString &object);
    void mountUnlessMounted(const UDisksFileSystem &fileSystem);
    void onMountFailed(const QString &object, const QString &reason);
    bool isProduct(const SysfsWalk &sysfs, quint32 major, quint32 minor, const QString &source,
        const QString &what) const;
    void report(const QString &mountPoint, const QString &device);

    QString vid;
    QString pid;
    QString sysfsRootPath;
    MountTableWatcher *watcher = nullptr;
    QVector<MountEntry> knownMounts;
    QVector<MountEntry> startMounts;
    bool startMountReported = false;
    QString recognisedPath;
    UDisksWatch *udisks = nullptr;
    QHash<QString, QTimer *> pendingMounts;
    // UDisks2's objects that hold a file system of the product, and their devices.
    QHash<QString, QString> productFileSystems;
    // Devices of the product seen in the mount table.
    QSet<QString> productMounts;
    // The one file system UDisks2 is asked to mount: a second product is not mounted with it.
    QString mounting;
    QStringList others;
};
