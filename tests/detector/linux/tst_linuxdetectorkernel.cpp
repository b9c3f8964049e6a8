// The detector on the kernel's own mount table: real mounts in a private mount namespace, with a
// fake sysfs tree that gives the test's tmpfs a USB parent.
#include "fakesysfs.h"
#include "linux/linuxdetector.h"
#include "linux/mounttablewatcher.h"

#include <QtTest>

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

QByteArray path(const QString &p)
{
    return QFile::encodeName(p);
}

int openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd"))
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
        .size();
}

} // namespace

class TestLinuxDetectorKernel : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void recognisesBindMountOfTheVolume();
    void deletingClosesTheTable();
    void cleanupTestCase();

private:
    bool mountOrSkip(
        const QString &source, const QString &target, const char *type, unsigned long flags);

    QTemporaryDir dir;
    QStringList mounted;
    QString volume;
};

void TestLinuxDetectorKernel::initTestCase()
{
    if (geteuid() != 0)
        QSKIP("mounting needs root");
    // A private namespace: the test's mounts vanish with the process and nobody else sees them.
    if (unshare(CLONE_NEWNS) != 0)
        QSKIP("no private mount namespace here (unshare failed)");
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        QSKIP("cannot make the mount namespace private");
    QVERIFY(dir.isValid());
    volume = dir.filePath(QStringLiteral("volume"));
    QVERIFY(QDir().mkpath(volume));
    if (mount("tarsel-volume", path(volume).constData(), "tmpfs", 0, "size=1m") != 0)
        QSKIP("mounting a tmpfs is not permitted here");
    mounted.prepend(volume);
    QVERIFY(QDir().mkpath(volume + QStringLiteral("/sub")));

    struct stat info = {};
    QCOMPARE(stat(path(volume).constData(), &info), 0);
    FakeSysfs sys(dir.filePath(QStringLiteral("sys")));
    QVERIFY2(sys.addUsbDisk(QStringLiteral("1-2"), "1a2b\n", "3c4d\n", QStringLiteral("sdx"),
                 major(info.st_dev), minor(info.st_dev), true, 0),
        qPrintable(sys.errorString()));
    qputenv("TARSEL_SYSFS_ROOT", path(sys.root()));
    qunsetenv("TARSEL_MOUNTINFO");
}

void TestLinuxDetectorKernel::cleanupTestCase()
{
    for (const QString &point : qAsConst(mounted))
        umount2(path(point).constData(), MNT_DETACH);
}

bool TestLinuxDetectorKernel::mountOrSkip(
    const QString &source, const QString &target, const char *type, unsigned long flags)
{
    if (!QDir().mkpath(target)
        || mount(path(source).constData(), path(target).constData(), type, flags, nullptr) != 0) {
        qWarning("mount %s: %s", path(target).constData(), std::strerror(errno));
        return false;
    }
    mounted.prepend(target);
    return true;
}

void TestLinuxDetectorKernel::recognisesBindMountOfTheVolume()
{
    QStringList reported;
    LinuxDetector *self = nullptr;
    LinuxDetector detector([&reported, &self] { reported.append(self->mountPath()); });
    self = &detector;
    detector.start(QStringLiteral("0x1a2b"), QStringLiteral("0x3c4d"), QString());
    auto *watcher = detector.findChild<MountTableWatcher *>();
    QVERIFY(watcher);
    QVERIFY(watcher->isKernelTable());
    QSignalSpy changed(watcher, &MountTableWatcher::changed);

    // Names sort after the real bind mount's, so that a wrong report would win a coalesced change.
    QVERIFY(mountOrSkip(
        QStringLiteral("tarsel-other"), dir.filePath(QStringLiteral("zz-other")), "tmpfs", 0));
    QVERIFY(changed.wait(5000));
    QVERIFY(mountOrSkip(
        volume + QStringLiteral("/sub"), dir.filePath(QStringLiteral("zy-sub")), nullptr, MS_BIND));
    QVERIFY(changed.wait(5000));
    QVERIFY(
        mount(nullptr, path(volume).constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr)
        == 0);
    QVERIFY(changed.wait(5000));
    QCOMPARE(reported, QStringList());

    const QString bind = dir.filePath(QStringLiteral("b-bind"));
    QVERIFY(mountOrSkip(volume, bind, nullptr, MS_BIND));
    QVERIFY(changed.wait(5000));
    QCOMPARE(reported, QStringList { bind + QLatin1Char('/') });

    // Unmounted and mounted again, likely under the same id: a new arrival.
    QCOMPARE(umount2(path(bind).constData(), 0), 0);
    mounted.removeOne(bind);
    QVERIFY(changed.wait(5000));
    QVERIFY(mountOrSkip(volume, bind, nullptr, MS_BIND));
    QVERIFY(changed.wait(5000));
    QCOMPARE(reported, (QStringList { bind + QLatin1Char('/'), bind + QLatin1Char('/') }));
}

void TestLinuxDetectorKernel::deletingClosesTheTable()
{
    const int before = openDescriptors();
    auto detector = std::make_unique<LinuxDetector>([] {});
    detector->start(QStringLiteral("0x1a2b"), QStringLiteral("0x3c4d"), QString());
    QCOMPARE(openDescriptors(), before + 1);
    detector.reset();
    QCOMPARE(openDescriptors(), before);
}

QTEST_GUILESS_MAIN(TestLinuxDetectorKernel)
#include "tst_linuxdetectorkernel.moc"
