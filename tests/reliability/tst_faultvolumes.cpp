#include "coresignallog.h"
#include "firmwarefile.h"
#include "linux/mounttable.h"
#include "tmpfsmount.h"
#include "treesnapshot.h"
#include "updatefixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <sys/mount.h>
#include <sys/stat.h>

// Real mounts that misbehave: too small, read-only, failing reads, gone mid-way. As root in a
// private mount namespace, so whatever a failed test leaves mounted goes with the process.
class TestFaultVolumes : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void updateEndsAsTheVolumeAllows_data();
    void updateEndsAsTheVolumeAllows();

private:
    QString noMountsWhy;
    QStringList mountsAtStart;
};

namespace {
constexpr int KiB = 1024;

QStringList mountPoints()
{
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    QStringList points;
    if (table.open(QIODevice::ReadOnly)) {
        for (const MountEntry &entry : parseMountTable(table.readAll()))
            points << entry.mountPoint;
    }
    points.sort();
    return points;
}

// Our own pass-through file system over a backing folder, served by a child process.
class FuseVolume
{
public:
    explicit FuseVolume(bool failReadsAfterWrite)
    {
#if defined(FAULTFS)
        if (!QFileInfo::exists(QStringLiteral("/dev/fuse"))) {
            error = QStringLiteral("no /dev/fuse");
            return;
        }
        QStringList arguments;
        if (failReadsAfterWrite)
            arguments << QStringLiteral("--fail-reads-after-write");
        arguments << backing.path() << mount.path();
        server.start(QStringLiteral(FAULTFS), arguments);
        if (!server.waitForStarted(5000)) {
            error = QStringLiteral("faultfs does not start: ") + server.errorString();
            return;
        }
        struct stat parent;
        ::stat(QFile::encodeName(QFileInfo(mount.path()).absolutePath()).constData(), &parent);
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000 && server.state() == QProcess::Running) {
            struct stat st;
            if (::stat(QFile::encodeName(mount.path()).constData(), &st) == 0
                && st.st_dev != parent.st_dev) {
                mounted = true;
                return;
            }
            QThread::msleep(20);
        }
        error = QStringLiteral("faultfs does not mount: ")
            + QString::fromLocal8Bit(server.readAllStandardError());
#else
        Q_UNUSED(failReadsAfterWrite);
        error = QStringLiteral("faultfs was not built (no libfuse3 at configure time)");
#endif
    }
    ~FuseVolume()
    {
        stop();
    }

    void detach()
    {
        if (mounted)
            ::umount2(QFile::encodeName(mount.path()).constData(), MNT_DETACH);
        mounted = false;
    }
    // As a pulled stick: the server is gone at once, without a word.
    void killServer()
    {
        if (server.state() != QProcess::NotRunning) {
            ::kill(pid_t(server.processId()), SIGKILL);
            server.waitForFinished(5000);
        }
    }
    void stop()
    {
        detach();
        if (server.state() != QProcess::NotRunning) {
            server.terminate();
            if (!server.waitForFinished(5000))
                killServer();
        }
    }
    QString log()
    {
        serverLog += QString::fromLocal8Bit(server.readAllStandardError());
        return serverLog;
    }

    QTemporaryDir backing;
    QTemporaryDir mount;
    QProcess server;
    QString serverLog;
    QString error;
    bool mounted = false;
};

enum Kind { Tmpfs, Fuse };
enum Fault {
    NoFault,
    TooSmall,
    ReadOnly,
    ReadsFail,
    ServerExitsWhileComparing,
    UnmountedAndGoneWhileComparing,
    UnmountedLazilyWhileComparing
};
} // namespace

void TestFaultVolumes::initTestCase()
{
    TmpfsMount::isolate(&noMountsWhy);
    mountsAtStart = mountPoints();
}

void TestFaultVolumes::cleanup()
{
    firmwareFileHooks() = FirmwareFileHooks();
    // Whatever a row did, failed or not, nothing of it may stay mounted or running.
    QCOMPARE(mountPoints(), mountsAtStart);
    QDir proc(QStringLiteral("/proc"));
    const QString self = QString::number(QCoreApplication::applicationPid());
    for (const QString &pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(proc.filePath(pid + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        QVERIFY2(!(fields.value(1) == self.toLatin1() && line.contains("(faultfs)")),
            qPrintable(QStringLiteral("faultfs %1 still runs").arg(pid)));
    }
}

void TestFaultVolumes::updateEndsAsTheVolumeAllows_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("succeeds");

    QTest::addRow("healthy tmpfs volume") << int(Tmpfs) << int(NoFault) << true;
    QTest::addRow("healthy FUSE volume") << int(Fuse) << int(NoFault) << true;
    QTest::addRow("volume too small for the image") << int(Tmpfs) << int(TooSmall) << false;
    QTest::addRow("read-only volume") << int(Tmpfs) << int(ReadOnly) << false;
    QTest::addRow("reads of the written file fail") << int(Fuse) << int(ReadsFail) << false;
    QTest::addRow("file system exits during the comparison")
        << int(Fuse) << int(ServerExitsWhileComparing) << false;
    QTest::addRow("unmounted and gone during the comparison")
        << int(Fuse) << int(UnmountedAndGoneWhileComparing) << false;
    // The open file still reads from a live device, but the product's folder no longer holds
    // it: what was verified is not what the user's volume shows.
    QTest::addRow("unmounted lazily during the comparison, device still answering")
        << int(Fuse) << int(UnmountedLazilyWhileComparing) << false;
}

void TestFaultVolumes::updateEndsAsTheVolumeAllows()
{
    QFETCH(int, kind);
    QFETCH(int, fault);
    QFETCH(bool, succeeds);

    if (!noMountsWhy.isEmpty())
        QSKIP(qPrintable(noMountsWhy));
    const qint64 imageSize = 3 * 1024 * KiB;
    std::unique_ptr<TmpfsMount> tmpfs;
    std::unique_ptr<FuseVolume> fuse;
    QString mountPath;
    QString storePath; // where the volume's bytes really are
    if (kind == Tmpfs) {
        tmpfs = std::make_unique<TmpfsMount>(fault == TooSmall ? 1024 * KiB : 8 * 1024 * KiB);
        if (!tmpfs->isMounted())
            QSKIP(qPrintable(tmpfs->errorString()));
        mountPath = storePath = tmpfs->path();
    } else {
        fuse = std::make_unique<FuseVolume>(fault == ReadsFail);
        if (!fuse->mounted)
            QSKIP(qPrintable(fuse->error));
        mountPath = fuse->mount.path();
        storePath = fuse->backing.path();
    }

    // Laid straight into the store: only the updater's own write counts for the server's faults.
    const QString storedFirmware = storePath + QStringLiteral("/firmware.bin");
    const QByteArray oldImage = TestPackage::firmware("3-1.0.0.1", 64 * KiB);
    const QByteArray image = TestPackage::firmware("3-1.0.0.2", int(imageSize));
    QVERIFY(UpdateFixture::writeFile(storedFirmware, oldImage));
    QVERIFY(QDir(storePath).mkdir(QStringLiteral("logs")));
    QVERIFY(UpdateFixture::writeFile(storePath + QStringLiteral("/logs/boot.log"), "booted\n"));
    QVERIFY(UpdateFixture::writeFile(storePath + QStringLiteral("/settings.ini"), "[drive]\n"));
    QVERIFY(UpdateFixture::writeFile(
        storePath + QStringLiteral("/readme.txt"), TestPackage::firmware("9-9.9.9.9", 100 * KiB)));
    if (fault == ReadOnly)
        QVERIFY2(tmpfs->remountReadOnly(), qPrintable(tmpfs->errorString()));
    const QStringList othersBefore = treeSnapshot(storePath, storedFirmware);

    UpdateFixture fixture;
    fixture.package.setFirmware(image);
    QVERIFY2(fixture.initialize(), qPrintable(fixture.error));
    QVERIFY2(fixture.found(mountPath + QLatin1Char('/')), qPrintable(fixture.error));

    int chunks = 0;
    firmwareFileHooks().betweenChunks = [&](qint64) {
        if (chunks++ > 0)
            return;
        if (fault == ServerExitsWhileComparing)
            fuse->killServer();
        else if (fault == UnmountedAndGoneWhileComparing) {
            fuse->detach();
            fuse->killServer();
        } else if (fault == UnmountedLazilyWhileComparing)
            fuse->detach();
    };

    Core &core = *fixture.core;
    CoreSignalLog log(&core);
    core.checkFirmware();
    core.updateFirmware();

    QStringList expected { QStringLiteral("previousFirmwareVersionChanged(1.0.0.1)"),
        QStringLiteral("firmwareChecked(true)") };
    if (!succeeds)
        expected << QStringLiteral("firmwareUpdated(false)")
                 << QStringLiteral("errorCodeChanged(UpdateFirmwareError)");
    QCOMPARE(log.events, expected);
    int active = 0;
    for (const QTimer *timer : core.findChildren<QTimer *>())
        active += timer->isActive() ? 1 : 0;
    QCOMPARE(active, succeeds ? 2 : 0);
    if (fuse)
        fuse->stop();
    QCOMPARE(treeSnapshot(storePath, storedFirmware), othersBefore);
    if (succeeds)
        QCOMPARE(UpdateFixture::readFile(storedFirmware), image);
    if (fault == TooSmall || fault == ReadOnly)
        QCOMPARE(UpdateFixture::readFile(storedFirmware), oldImage);
    if (fuse) {
        // The read-back must have reached the server after the image went there, or a cache
        // answered and the fault under test was never met.
        const QStringList reads
            = fuse->log().split(QLatin1Char('\n')).filter(QLatin1String("read "));
        QVERIFY2(!reads.isEmpty(), "no read of firmware.bin reached the file system");
        if (fault == ReadsFail)
            QVERIFY2(fuse->log().contains(QLatin1String("-> -5")),
                qPrintable(QStringLiteral("no read failed:\n") + fuse->log()));
        if (fault == NoFault || fault == UnmountedLazilyWhileComparing)
            QVERIFY2(reads.filter(QStringLiteral("read %1 ").arg(2 * 1024 * KiB)).size() > 0,
                qPrintable(
                    QStringLiteral("the read-back did not reach the volume:\n") + fuse->log()));
    }
}

QTEST_GUILESS_MAIN(TestFaultVolumes)
#include "tst_faultvolumes.moc"
