#pragma once

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <sys/stat.h>

// A real mounted volume: a tmpfs of a given size, or the faultfs FUSE server over a backing
// folder, failing as its fault word says (tests/reliability/faultfs.cpp). Needs root.
class TestVolume
{
public:
    explicit TestVolume(qint64 tmpfsBytes)
        : store(path)
    {
        const QByteArray options = "size=" + QByteArray::number(tmpfsBytes);
        mounted = ::mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs",
                      MS_NOSUID | MS_NODEV, options.constData())
            == 0;
        error = "mount tmpfs: " + QString::fromLocal8Bit(std::strerror(errno));
    }

    TestVolume(const QString &faultfs, const QString &fault, const QString &outsideTarget)
        : store(backing.path())
    {
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(faultfs, { fault, store, path, outsideTarget });
        const dev_t parent = device(QFileInfo(path).absolutePath());
        QElapsedTimer clock;
        clock.start();
        while (!mounted && server.waitForStarted(5000) && clock.elapsed() < 10000) {
            mounted = device(path) != parent;
            QThread::msleep(10);
        }
        error = QStringLiteral("faultfs does not mount (no /dev/fuse, or not built)");
    }

    ~TestVolume()
    {
        ::umount2(QFile::encodeName(path).constData(), MNT_DETACH);
        server.kill();
        server.waitForFinished(5000);
    }

private:
    QTemporaryDir mount, backing;
    QProcess server;

    static dev_t device(const QString &path)
    {
        struct stat st = {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_dev : dev_t(0);
    }

public:
    const QString path = mount.path(); // where the updater sees the volume
    const QString store; // where its bytes are
    bool mounted = false;
    QString error;
};
