#include "corerun.h"
#include "firmwarefile.h"
#include "firmwareinfo.h"
#include "testvolume.h"

#include <QtTest>

#include <functional>
#include <sys/wait.h>
#include <unistd.h>

#ifndef FAULTFS
#define FAULTFS "" // not built: the FUSE rows skip
#endif

// Real volumes that misbehave, and entries on a volume built to hurt the readers.
namespace {
enum Left { Image, OldFile, NoFile, EmptyFile, First64KiB, Planted, Unknown };
} // namespace

namespace {
qint64 statusKiB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
    return text.mid(text.indexOf(field) + field.size())
        .simplified()
        .split(' ')
        .value(0)
        .toLongLong();
}

// Runs body in a forked copy of this process: 0 when it returns true in time without growing
// memory by more than 64 MiB (far above the readers' fixed buffers), else what went wrong.
QString failureInChild(const std::function<bool()> &body)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(20);
        QFile refs(
            QStringLiteral("/proc/self/clear_refs")); // the fork's copy is not the body's doing
        refs.open(QIODevice::WriteOnly) && refs.write("5") && refs.flush();
        const qint64 start = statusKiB("VmRSS:");
        const bool ok = body();
        ::_exit(!ok ? 1 : statusKiB("VmHWM:") - start > 64 * 1024 ? 2 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return QStringList { "", "accepted", "memory grew" }.value(code, "blocked or crashed");
}
} // namespace

class TestFaultVolumes : public QObject
{
    Q_OBJECT
private:
    QString noMountsWhy;

private slots:
    void updateEndsAsTheVolumeAllows_data()
    {
        // A number is a tmpfs of that many KiB, a word a faultfs fault ("ro": a read-only tmpfs).
        QTest::addColumn<QString>("volume");
        QTest::addColumn<int>("oldKiB");
        QTest::addColumn<int>("imageKiB");
        QTest::addColumn<int>("left");

        QTest::addRow("healthy tmpfs") << "8192" << 64 << 3072 << int(Image);
        QTest::addRow("healthy FUSE volume") << "none" << 64 << 3072 << int(Image);
        QTest::addRow("too small for the image") << "256" << 64 << 1024 << int(OldFile);
        QTest::addRow("one page more than fits") << "512" << 500 << 516 << int(OldFile);
        QTest::addRow("fits once the old file is gone") << "1024" << 600 << 800 << int(Image);
        QTest::addRow("image fills the volume exactly") << "512" << 500 << 512 << int(Image);
        QTest::addRow("read-only") << "ro" << 64 << 256 << int(OldFile);
        QTest::addRow("firmware.bin gone after the check") << "gone" << 64 << 256 << int(NoFile);
        QTest::addRow("delete reported as failed") << "unlink-eio" << 64 << 256 << int(NoFile);
        QTest::addRow("read-only after the delete") << "create-erofs" << 64 << 256 << int(NoFile);
        QTest::addRow("full after the delete") << "write-enospc" << 64 << 256 << int(EmptyFile);
        QTest::addRow("64 KiB fit after the delete") << "write-64k" << 64 << 256 << int(First64KiB);
        QTest::addRow("sync fails") << "fsync-eio" << 64 << 3072 << int(Image);
        QTest::addRow("folder sync fails") << "fsyncdir-eio" << 64 << 3072 << int(Image);
        QTest::addRow("read-back fails") << "read-eio" << 64 << 3072 << int(Image);
        // Only dropping the cached pages after the sync lets the read-back meet the fault.
        QTest::addRow("read-back fails, cache kept")
            << "read-eio-cached" << 64 << 3072 << int(Image);
        QTest::addRow("file system dies in the read-back")
            << "exit-on-read" << 64 << 3072 << int(Unknown);
        // The open file still reads, but the product's folder no longer holds it.
        QTest::addRow("lazily unmounted in the read-back")
            << "detach-on-read" << 64 << 3072 << int(Unknown);
        QTest::addRow("a file takes the old one's place")
            << "plant-file" << 64 << 256 << int(Planted);
        QTest::addRow("a folder takes its place") << "plant-dir" << 64 << 256 << int(Unknown);
        QTest::addRow("a link out takes its place") << "plant-link" << 64 << 256 << int(Unknown);
        QTest::addRow("a dangling link takes its place")
            << "plant-dangling" << 64 << 256 << int(Unknown);
    }

    void updateEndsAsTheVolumeAllows()
    {
        QFETCH(QString, volume);
        QFETCH(int, oldKiB);
        QFETCH(int, imageKiB);
        QFETCH(int, left);
        if (!noMountsWhy.isEmpty())
            QSKIP(qPrintable(noMountsWhy));
        QTemporaryDir outside;
        const QString precious = outside.filePath("precious"),
                      missing = outside.filePath("missing");
        QVERIFY(CoreRun::writeFile(precious, "precious"));
        bool tmpfs = false;
        const qint64 size = volume.toLongLong(&tmpfs) * 1024;
        const bool dangling = volume == "plant-dangling";
        const auto mounted = tmpfs || volume == "ro" || volume == "gone"
            ? std::make_unique<TestVolume>(tmpfs ? size : 1 << 20)
            : std::make_unique<TestVolume>(
                FAULTFS, dangling ? "plant-link" : volume, dangling ? missing : precious);
        if (!mounted->mounted)
            QSKIP(qPrintable(mounted->error));

        // Laid into the store: only the updater's own steps meet the volume's faults. A tmpfs row
        // counts every page, so only the others get a neighbour that must stay as it is.
        const QString stored = mounted->store + "/firmware.bin",
                      neighbour = mounted->store + "/notes";
        const QByteArray oldImage = TestPackage::firmware("3-1.0.0.1", oldKiB * 1024);
        const QByteArray image = TestPackage::firmware("3-1.0.0.2", imageKiB * 1024);
        QVERIFY(CoreRun::writeFile(stored, oldImage)
            && (tmpfs || CoreRun::writeFile(neighbour, "keep")));
        QVERIFY(volume != "ro" || mounted->remountReadOnly());
        CoreRun run;
        run.package.setFirmware(image);
        QVERIFY2(run.initialize() && run.found(mounted->path + '/'), qPrintable(run.error));
        run.events.clear();
        run.core->checkFirmware();
        QVERIFY(volume != "gone" || QFile::remove(stored));
        run.core->updateFirmware();

        const bool succeeds = left == Image && (tmpfs || volume == "none");
        QStringList expected { "previousFirmwareVersionChanged(1.0.0.1)", "firmwareChecked(true)" };
        QCOMPARE(run.events,
            succeeds ? expected
                     : expected + CoreRun::failed("firmwareUpdated", "UpdateFirmwareError"));
        QCOMPARE(run.activeTimers(), succeeds ? 2 : 0);
        QCOMPARE(CoreRun::readFile(precious), QByteArray("precious"));
        QVERIFY(!QFileInfo::exists(missing));
        QCOMPARE(CoreRun::readFile(neighbour), tmpfs ? "" : "keep");
        const QByteArray leftBytes[] = { image, oldImage, {}, "", image.left(64 * 1024), "" };
        QCOMPARE(QFileInfo::exists(stored) || QFileInfo(stored).isSymLink(), left != NoFile);
        if (left < Unknown)
            QCOMPARE(CoreRun::readFile(stored), leftBytes[left]);
    }

    void readersRefuseHostileEntries_data()
    {
        // Made in the volume folder by the shell; ../outside is tagged, so that following a link to
        // it would pass the check and compare equal.
        QTest::addColumn<QString>("make");
        QTest::addRow("256 MiB sparse file without a tag") << "truncate -s 256M firmware.bin";
        QTest::addRow("256 MiB sparse file whose tag never ends")
            << "printf Ver:3-1.0.0.1 > firmware.bin && truncate -s 256M firmware.bin";
        QTest::addRow("folder") << "mkdir firmware.bin";
        QTest::addRow("FIFO without a writer") << "mkfifo firmware.bin";
        QTest::addRow("device that reads zeros forever") << "mknod firmware.bin c 1 5";
        QTest::addRow("link to a tagged file outside") << "ln -s ../outside firmware.bin";
        QTest::addRow("link to a FIFO outside") << "mkfifo ../pipe && ln -s ../pipe firmware.bin";
        QTest::addRow("link to nothing outside") << "ln -s ../missing firmware.bin";
    }

    void readersRefuseHostileEntries()
    {
        QFETCH(QString, make);
        QTemporaryDir root;
        const QString volume = root.filePath("volume"), path = volume + "/firmware.bin";
        const QString outside = root.filePath("outside");
        const QByteArray oldImage = TestPackage::firmware("3-1.0.0.1");
        QVERIFY(QDir().mkdir(volume) && CoreRun::writeFile(outside, oldImage));
        if (make.contains("mknod") && ::getuid() != 0)
            QSKIP("device nodes need root");
        QProcess shell;
        shell.setWorkingDirectory(volume);
        shell.start("sh", { "-c", make });
        QVERIFY(shell.waitForFinished() && shell.exitCode() == 0);

        CoreRun run;
        QVERIFY2(run.initialize() && run.found(volume + '/'), qPrintable(run.error));
        run.events.clear();
        const QString failure = failureInChild([&] {
            run.core->checkFirmware();
            return run.events == CoreRun::failed("firmwareChecked", "CheckFirmwareError")
                && !readFirmwareInfo(path) && !filesEqual(path, outside)
                && !filesEqual(outside, path);
        });
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(CoreRun::readFile(outside), oldImage);
        QVERIFY(!QFileInfo::exists(root.filePath("missing")));
    }
};

QTEST_GUILESS_MAIN(TestFaultVolumes)
#include "tst_faultvolumes.moc"
