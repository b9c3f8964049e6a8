#include "mounttablewatcher.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#ifndef STATX_MNT_ID_UNIQUE
#define STATX_MNT_ID_UNIQUE 0x00004000U
#endif

namespace {
constexpr long procSuperMagic = 0x9fa0;
}

MountTableWatcher::MountTableWatcher(const QString &path, QObject *parent)
    : QObject(parent)
    , path(path)
{
}

MountTableWatcher::~MountTableWatcher()
{
    delete notifier;
    if (descriptor >= 0)
        ::close(descriptor);
}

void MountTableWatcher::start()
{
    if (notifier || fileWatcher)
        return;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    struct statfs info = {};
    if (fd >= 0 && ::fstatfs(fd, &info) == 0 && long(info.f_type) == procSuperMagic) {
        descriptor = fd;
        // procfs is always readable, so a Read notifier would spin; the change is POLLPRI.
        notifier = new QSocketNotifier(descriptor, QSocketNotifier::Exception, this);
        connect(notifier, &QSocketNotifier::activated, this, &MountTableWatcher::changed);
        return;
    }
    if (fd >= 0)
        ::close(fd);
    fileWatcher = new QFileSystemWatcher(this);
    fileWatcher->addPath(QFileInfo(path).absolutePath());
    fileWatcher->addPath(path);
    connect(fileWatcher, &QFileSystemWatcher::fileChanged, this,
        &MountTableWatcher::onFileSystemChange);
    connect(fileWatcher, &QFileSystemWatcher::directoryChanged, this,
        &MountTableWatcher::onFileSystemChange);
}

void MountTableWatcher::onFileSystemChange()
{
    // An atomic replacement leaves the file watch on the old inode (or drops it); watching the
    // name afresh follows the new file.
    fileWatcher->removePath(path);
    if (QFileInfo::exists(path))
        fileWatcher->addPath(path);
    emit changed();
}

bool MountTableWatcher::read(QByteArray &table)
{
    if (descriptor < 0) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        table = file.readAll();
        return file.error() == QFile::NoError;
    }
    // The kernel renders the table afresh from offset 0; its size is not known in advance.
    if (::lseek(descriptor, 0, SEEK_SET) != 0)
        return false;
    QByteArray result;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return false;
        if (count == 0)
            break;
        result.append(buffer, int(count));
    }
    table = result;
    return true;
}

quint64 MountTableWatcher::uniqueMountId(const QString &mountPoint)
{
    // Cached attributes only: a network file system whose server is gone must not block here.
    struct statx info = {};
    if (::statx(AT_FDCWD, QFile::encodeName(mountPoint).constData(),
            AT_NO_AUTOMOUNT | AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC, STATX_MNT_ID_UNIQUE, &info)
            != 0
        || !(info.stx_mask & STATX_MNT_ID_UNIQUE))
        return 0;
    return info.stx_mnt_id;
}
