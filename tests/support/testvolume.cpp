#include "testvolume.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

namespace {
QString lastError(const char *what)
{
    return QLatin1String(what) + QStringLiteral(": ")
        + QString::fromLocal8Bit(std::strerror(errno));
}

dev_t deviceOf(const QString &path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_dev : dev_t(0);
}
} // namespace

bool TestVolume::isolate(QString *why)
{
    static const QString reason = [] {
        if (::unshare(CLONE_NEWNS) != 0)
            return lastError("no private mount namespace");
        // Without this, mounts made here would still show up in the parent namespace.
        if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return lastError("cannot make / private");
        return QString();
    }();
    *why = reason;
    return reason.isEmpty();
}

TestVolume::TestVolume(qint64 tmpfsBytes)
    : storePath(mount.path())
{
    const QByteArray options = "size=" + QByteArray::number(tmpfsBytes);
    mounted = ::mount("tmpfs", QFile::encodeName(path()).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                  options.constData())
        == 0;
    if (!mounted)
        error = lastError("mount tmpfs");
}

TestVolume::TestVolume(const QString &faultfs, const QString &fault, const QString &outsideTarget)
    : storePath(backing.path())
{
    if (!QFileInfo::exists(QStringLiteral("/dev/fuse"))) {
        error = QStringLiteral("no /dev/fuse");
        return;
    }
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(faultfs, { fault, store(), path(), outsideTarget });
    const dev_t parent = deviceOf(QFileInfo(path()).absolutePath());
    QElapsedTimer clock;
    clock.start();
    while (server.waitForStarted(5000) && clock.elapsed() < 10000) {
        if (deviceOf(path()) != parent) {
            mounted = true;
            return;
        }
        QThread::msleep(20);
    }
    error = QStringLiteral("faultfs does not mount");
}

TestVolume::~TestVolume()
{
    if (mounted)
        ::umount2(QFile::encodeName(path()).constData(), MNT_DETACH);
    if (server.state() != QProcess::NotRunning) {
        server.kill();
        server.waitForFinished(5000);
    }
}

bool TestVolume::remountReadOnly()
{
    if (::mount(nullptr, QFile::encodeName(path()).constData(), nullptr,
            MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr)
        == 0)
        return true;
    error = lastError("remount read-only");
    return false;
}
