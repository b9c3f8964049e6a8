#include "tmpfsmount.h"

#include <QFile>
#include <QStorageInfo>

#include <cerrno>
#include <cstring>
#if defined(Q_OS_LINUX)
#include <sched.h>
#include <sys/mount.h>
#endif

namespace {
QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}
} // namespace

bool TmpfsMount::isolate(QString *why)
{
#if defined(Q_OS_LINUX)
    static const QString reason = [] {
        if (::unshare(CLONE_NEWNS) != 0)
            return QStringLiteral("no private mount namespace: ") + lastError();
        // Without this, mounts made here would still show up in the parent namespace.
        if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return QStringLiteral("cannot make / private: ") + lastError();
        return QString();
    }();
#else
    static const QString reason = QStringLiteral("tmpfs mounts need Linux");
#endif
    if (why)
        *why = reason;
    return reason.isEmpty();
}

TmpfsMount::TmpfsMount(qint64 sizeBytes)
{
    if (!dir.isValid()) {
        error = dir.errorString();
        return;
    }
#if defined(Q_OS_LINUX)
    const QByteArray options = "size=" + QByteArray::number(sizeBytes);
    const QByteArray target = QFile::encodeName(dir.path());
    if (::mount("tmpfs", target.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData())
        != 0) {
        error = QStringLiteral("mount tmpfs: ") + lastError();
        return;
    }
    mounted = true;
#else
    Q_UNUSED(sizeBytes);
    error = QStringLiteral("tmpfs mounts need Linux");
#endif
}

TmpfsMount::~TmpfsMount()
{
#if defined(Q_OS_LINUX)
    if (mounted)
        ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
#endif
}

bool TmpfsMount::remountReadOnly()
{
#if defined(Q_OS_LINUX)
    if (mounted
        && ::mount(nullptr, QFile::encodeName(dir.path()).constData(), nullptr,
               MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr)
            == 0)
        return true;
    error = QStringLiteral("remount read-only: ") + lastError();
#endif
    return false;
}

bool TmpfsMount::fill(qint64 leaveFree)
{
    const qint64 available = QStorageInfo(dir.path()).bytesAvailable();
    if (!mounted || available < leaveFree)
        return false;
    QFile filler(dir.filePath(QStringLiteral(".filler")));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray block(64 * 1024, '\0');
    for (qint64 left = available - leaveFree; left > 0;) {
        const qint64 n = filler.write(block.constData(), qMin<qint64>(left, block.size()));
        if (n <= 0)
            return false;
        left -= n;
    }
    return filler.flush();
}
