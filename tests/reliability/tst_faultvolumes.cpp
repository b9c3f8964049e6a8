#include "corerun.h"
#include "firmwarefile.h"
#include "firmwareinfo.h"
#include "firmwarewriter.h"
#include "testvolume.h"

#include <QtTest>

#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef FAULTFS
#define FAULTFS "" // not built: the FUSE rows skip
#endif

// Real volumes that misbehave, and entries on a volume built to hurt the readers.
namespace {
enum Left { Image, OldFile, NoFile, Planted, Unknown };
} // namespace

class TestFaultVolumes : public QObject
{
    Q_OBJECT
private slots:
    void updateEndsAsTheVolumeAllows_data()
    {
        // The volume: a number is a tmpfs of that many KiB, a word a faultfs fault; "@288": a
        // volume of 288 KiB, too small for old and new side by side, so that the old is deleted
        // first. The old and new images' KiB; what firmware.bin holds after: the new image, the
        // old one, none, a planted file, or unknown.
        QTest::addColumn<QString>("row");
        QTest::addRow("healthy FUSE volume") << "none 64 3072 image";
        QTest::addRow("one page more than fits") << "512 500 516 old";
        QTest::addRow("image fills the volume exactly") << "512 500 512 image";
        QTest::addRow("firmware.bin gone after the check") << "gone 64 256 none";
        QTest::addRow("delete reported as failed") << "unlink-eio@288 64 256 none";
        QTest::addRow("read-only after the delete") << "create-erofs@288 64 256 none";
        // A failed write removes its part: only a complete image ever takes the name.
        QTest::addRow("full after the delete") << "write-enospc@288 64 256 none";
        QTest::addRow("full beside the old") << "write-64k 64 256 old";
        QTest::addRow("sync fails") << "fsync-eio 64 3072 old";
        QTest::addRow("folder sync fails") << "fsyncdir-eio 64 3072 old";
        // Only dropping the cached pages after the sync lets the read-back meet the fault.
        QTest::addRow("read-back fails, cache kept") << "read-eio 64 3072 old";
        QTest::addRow("new firmware cannot take the name") << "rename-eio 64 3072 old";
        // The open file still reads, but the product's folder no longer holds it.
        QTest::addRow("unmounted in the read-back") << "detach-on-read 64 3072 unknown";
        // Its mount point stays behind, on the computer's own disk.
        QTest::addRow("unmounted after the delete") << "detach-on-unlink@288 64 256 none";
        QTest::addRow("a file takes its place") << "plant-file@288 64 256 planted";
        QTest::addRow("a link out takes its place") << "plant-link@288 64 256 unknown";
    }

    void updateEndsAsTheVolumeAllows()
    {
        QFETCH(QString, row);
        const QStringList column = row.split(' ');
        const QString volume = column[0];
        const int oldKiB = column[1].toInt(), imageKiB = column[2].toInt();
        const int left
            = QStringList { "image", "old", "none", "planted", "unknown" }.indexOf(column[3]);
        QTemporaryDir outside;
        const QString precious = outside.filePath("precious");
        QVERIFY(CoreRun::writeFile(precious, "precious"));
        bool tmpfs = false;
        const qint64 size = volume.toLongLong(&tmpfs) * 1024;
        const auto mounted = tmpfs || volume == "gone"
            ? std::make_unique<TestVolume>(tmpfs ? size : 1 << 20)
            : std::make_unique<TestVolume>(FAULTFS, volume, precious);
        if (!mounted->mounted)
            QSKIP(qPrintable(mounted->error));

        // Laid into the store, past the faults; tmpfs rows count every page: no neighbour.
        const QString stored = mounted->store + "/firmware.bin",
                      neighbour = mounted->store + "/notes";
        const QByteArray oldImage = TestPackage::firmware("3-1.0.0.1", oldKiB * 1024);
        const QByteArray image = TestPackage::firmware("3-1.0.0.2", imageKiB * 1024);
        QVERIFY(CoreRun::writeFile(stored, oldImage)
            && (tmpfs || CoreRun::writeFile(neighbour, "keep")));
        CoreRun run;
        run.package.setFirmware(image);
        QVERIFY2(run.initialize() && run.found(mounted->path + '/'), qPrintable(run.error));
        run.events.clear();
        run.core->checkFirmware();
        QVERIFY(volume != "gone" || QFile::remove(stored));
        QVERIFY(run.update());

        const bool succeeds = left == Image && (tmpfs || volume == "none");
        QStringList expected { "previousFirmwareVersionChanged(1.0.0.1)", "firmwareChecked(true)" };
        QCOMPARE(run.events,
            succeeds ? expected
                     : expected + CoreRun::failed("firmwareUpdated", "UpdateFirmwareError"));
        QCOMPARE(run.activeTimers(), succeeds ? 2 : 0);
        // The detail line carries the system's own reason where it gave one.
        const QMap<QString, int> errors { { "unlink-eio", EIO }, { "create-erofs", EROFS },
            { "write-enospc", ENOSPC }, { "fsync-eio", EIO }, { "fsyncdir-eio", EIO },
            { "rename-eio", EIO } };
        const QString details = run.core->errorDetails(), fault = volume.section('@', 0, 0);
        QVERIFY2(succeeds ? details.isEmpty()
                          : !details.isEmpty()
                    && (!errors.contains(fault)
                        || details.contains(qt_error_string(errors[fault]))),
            qPrintable(details));
        // What page 5 says of the product: without firmware exactly when none is left.
        if (left != Unknown)
            QCOMPARE(run.core->firmwareGone(), left == NoFile || left == Planted);
        QCOMPARE(CoreRun::readFile(precious), QByteArray("precious"));
        if (volume.startsWith("detach")) // nothing written where the volume was
            QCOMPARE(QDir(mounted->path)
                         .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                QStringList());
        QCOMPARE(CoreRun::readFile(neighbour), tmpfs ? "" : "keep");
        const QByteArray leftBytes[] = { image, oldImage, {}, "" };
        QCOMPARE(QFileInfo::exists(stored), left != NoFile);
        if (left < Unknown)
            QCOMPARE(CoreRun::readFile(stored), leftBytes[left]);
        if (!volume.startsWith("detach"))
            QVERIFY(!QFileInfo::exists(mounted->store + "/firmware.new"));
    }

    void interruptedWriteLeavesNoPartialFirmware_data()
    {
        // faultfs writes slowly; "@": old and new do not fit side by side.
        QTest::addColumn<QString>("volume");
        QTest::addRow("killed while writing beside the old") << "slow-50";
        QTest::addRow("killed while writing after the delete") << "slow-50@4128";
    }
    void interruptedWriteLeavesNoPartialFirmware()
    {
        QFETCH(QString, volume);
        TestVolume mounted(FAULTFS, volume, QString());
        if (!mounted.mounted)
            QSKIP(qPrintable(mounted.error));
        const QString stored = mounted.store + "/firmware.bin";
        const QString part = mounted.store + "/firmware.new";
        const QByteArray oldImage = TestPackage::firmware("3-1.0.0.1", 64 * 1024);
        const QByteArray image = TestPackage::firmware("3-1.0.0.2", 4 * 1024 * 1024);
        QVERIFY(CoreRun::writeFile(stored, oldImage));
        CoreRun writer, second;
        writer.package.setFirmware(image);
        QVERIFY2(writer.initialize() && second.initialize(), qPrintable(writer.error));

        // The writer is a process of its own, killed as Force Quit or a power cut would end it.
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(60);
            if (writer.found(mounted.path + '/'))
                writer.core->checkFirmware();
            writer.update(60000);
            ::_exit(1);
        }
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(part).size() >= 1024 * 1024, 30000);
        // A run beside it, on the same product, touches nothing.
        QVERIFY(second.found(mounted.path + '/'));
        second.events.clear();
        second.core->checkFirmware();
        QCOMPARE(second.events, CoreRun::failed("firmwareChecked", "UpdateRunningError"));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);

        // The old firmware, or none: nothing that carries the new version.
        const bool beside = !volume.contains('@');
        QCOMPARE(CoreRun::readFile(stored), beside ? oldImage : QByteArray());
        QVERIFY(QFileInfo(part).size() < image.size());
        // The next run finds the product free and the part left, and replaces the old firmware
        // (beside) or refuses the missing one, which --recover repairs (below, the same writer).
        CoreRun next;
        next.package.setFirmware(image);
        QVERIFY(next.initialize() && next.found(mounted.path + '/'));
        next.events.clear();
        next.core->checkFirmware();
        if (beside) {
            QVERIFY(next.update());
            QCOMPARE(next.events.mid(1, 1), QStringList { "firmwareChecked(true)" });
        } else {
            QCOMPARE(next.events, CoreRun::failed("firmwareChecked", "CheckFirmwareError"));
            FirmwareWriter recovery(next.core->productResource()->firmwarePath(), mounted.path,
                QString(), volumeIdOf(mounted.path));
            QVERIFY(recovery.run([](const FirmwareWriter::Step &) {}, [](qint64, qint64) {}));
        }
        QCOMPARE(CoreRun::readFile(stored), image);
        QVERIFY(!QFileInfo::exists(part));
    }

    // Another image attached to the product's loop device between check and write has the same
    // device number; the volume check must still tell it from the one checked, and know that
    // one again when it is attached anew.
    void volumeIdentityFollowsTheFileSystem()
    {
        QTemporaryDir dir;
        const auto sh = [&dir](const QString &command) {
            return QProcess::execute("sh", { "-c", "cd \"$0\" && " + command, dir.path() }) == 0;
        };
        if (!sh("for i in a b; do truncate -s 8M $i && mkfs.ext4 -q $i; done && mkdir m && "
                "losetup -f --show a > loop && mount $(cat loop) m"))
            QSKIP("needs root, a loop device and mkfs.ext4");
        const auto attached = [&](const char *image) {
            return sh(QString("umount m && losetup -d $(cat loop) && losetup $(cat loop) %1 && "
                              "mount $(cat loop) m")
                           .arg(image))
                ? volumeIdOf(dir.filePath("m"))
                : 0;
        };
        const quint64 checked = volumeIdOf(dir.filePath("m")), same = attached("a"),
                      other = attached("b");
        sh("umount m; losetup -d $(cat loop)");
        QVERIFY(checked != 0 && other != 0 && other != checked);
        QCOMPARE(same, checked);
    }

    void readersRefuseHostileEntries_data()
    {
        // Made by the shell; ../outside is tagged, so that following a link to it would pass.
        QTest::addColumn<QString>("make");
        QTest::addRow("256 MiB sparse file whose tag never ends")
            << "printf Ver:3-1.0.0.1 > firmware.bin && truncate -s 256M firmware.bin";
        QTest::addRow("folder") << "mkdir firmware.bin";
        QTest::addRow("FIFO without a writer") << "mkfifo firmware.bin";
        QTest::addRow("device that reads zeros forever") << "mknod firmware.bin c 1 5";
        QTest::addRow("link to a tagged file outside") << "ln -s ../outside firmware.bin";
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
        QCOMPARE(QProcess::execute("sh", { "-c", "cd \"$0\" && " + make, volume }), 0);

        CoreRun run;
        QVERIFY2(run.initialize() && run.found(volume + '/'), qPrintable(run.error));
        run.events.clear();
        // In a forked copy, so that a reader that blocks or loops cannot hang the test.
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(20);
            run.core->checkFirmware();
            const bool refused
                = run.events == CoreRun::failed("firmwareChecked", "CheckFirmwareError")
                && !readFirmwareInfo(path) && !filesEqual(path, outside)
                && !filesEqual(outside, path);
            ::_exit(refused ? 0 : 1);
        }
        int status = -1;
        ::waitpid(child, &status, 0);
        QCOMPARE(status, 0); // 256: accepted; 14 (SIGALRM) or another signal: blocked or crashed
        QCOMPARE(CoreRun::readFile(outside), oldImage);
    }
};

int main(int argc, char *argv[])
{
    // Mounts and lazy unmounts stay out of the machine's own table, where root can have them.
    if (::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0)
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
    QCoreApplication app(argc, argv);
    TestFaultVolumes test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_faultvolumes.moc"
