#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QFileSystemWatcher;
class QSocketNotifier;

// Tells when a mount table may have changed. The kernel's table (procfs) flags every mount,
// unmount and remount as an exceptional condition on an open descriptor; a plain file (the
// simulator's) is watched through the file system, also across atomic replacement. Notifications
// coalesce and can come without a change, so callers compare whole tables.
class MountTableWatcher : public QObject
{
    Q_OBJECT
public:
    explicit MountTableWatcher(const QString &path, QObject *parent = nullptr);
    ~MountTableWatcher() override;

    // Begins watching. Nothing is watched before.
    void start();
    // The whole table as it is now; false when it cannot be read.
    bool read(QByteArray &table);

    bool isKernelTable() const { return descriptor >= 0; }

    // The never reused id of the mount on top of a mount point; 0 where the kernel cannot tell
    // (before Linux 6.8) or the path is gone.
    static quint64 uniqueMountId(const QString &mountPoint);

signals:
    void changed();

private:
    void onFileSystemChange();

    QString path;
    int descriptor = -1;
    QSocketNotifier *notifier = nullptr;
    QFileSystemWatcher *fileWatcher = nullptr;
};
