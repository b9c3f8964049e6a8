#pragma once

#include "idetector.h"
#include "mounttable.h"

#include <QObject>
#include <QString>
#include <QVector>
#include <functional>

class MountTableWatcher;

// Recognises the product's volume when it is mounted: every change of the mount table is
// compared with the last one, and each new mount of a whole file system is traced through sysfs
// to its USB device. GUI thread only.
class LinuxDetector : public QObject, public IDetector
{
    Q_OBJECT
    Q_INTERFACES(IDetector)
public:
    explicit LinuxDetector(std::function<void()> detectedCallback);
    ~LinuxDetector() override;

    void start(const QString &vid, const QString &pid, const QString &productString) override;
    QString mountPath() const override { return recognisedPath; }

    // The system roots, overridden by TARSEL_SYSFS_ROOT and TARSEL_MOUNTINFO.
    static QString sysfsRoot();
    static QString mountTablePath();

private:
    void onMountTableChanged();

    QString vid;
    QString pid;
    QString sysfsRootPath;
    MountTableWatcher *watcher = nullptr;
    QVector<MountEntry> knownMounts;
    QString recognisedPath;
};
