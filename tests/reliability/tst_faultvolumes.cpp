#include "corerun.h"
#include "firmwarefile.h"
#include "firmwareinfo.h"
#include "testvolume.h"

#include <QDir>
#include <QtTest>

#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

// Real volumes that misbehave (too small, read-only, failing, swapped entries, gone mid-way)
// and entries on a volume built to hurt the readers.
class TestFaultVolumes : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestVolume::isolate(&noMountsWhy); }
    void updateEndsAsTheVolumeAllows_data();
    void updateEndsAsTheVolumeAllows();
    void readersRefuseHostileEntries_data();
    void readersRefuseHostileEntries();

private:
    QString noMountsWhy;
};

#ifndef FAULTFS
#define FAULTFS "" // not built: the FUSE rows skip
#endif

namespace {
constexpr int KiB = 1024;
constexpr qint64 MiB = 1024 * KiB;
enum Left { Image, OldFile, NoFile, EmptyFile, First64KiB, Planted };
} // namespace

void TestFaultVolumes::updateEndsAsTheVolumeAllows_data()
{
    // A number is a tmpfs of that many KiB, a word a faultfs fault.
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
    QTest::addRow("read-only after the delete") << "create-erofs" << 64 << 256 << int(NoFile);
    QTest::addRow("full after the delete") << "write-enospc" << 64 << 256 << int(EmptyFile);
    QTest::addRow("64 KiB fit after the delete") << "write-64k" << 64 << 256 << int(First64KiB);
    QTest::addRow("sync fails") << "fsync-eio" << 64 << 3072 << int(Image);
    QTest::addRow("folder sync fails") << "fsyncdir-eio" << 64 << 3072 << int(Image);
    QTest::addRow("read-back fails") << "read-eio" << 64 << 3072 << int(Image);
    QTest::addRow("read-back fails, cache kept") << "read-eio-cached" << 64 << 3072 << int(Image);
    QTest::addRow("file system dies during the read-back") << "exit-on-read" << 64 << 3072 << -1;
    // The open file still reads, but the product's folder no longer holds it.
    QTest::addRow("lazily unmounted during the read-back") << "detach-on-read" << 64 << 3072 << -1;
    QTest::addRow("a file takes the deleted one's place")
        << "plant-file" << 64 << 256 << int(Planted);
    QTest::addRow("a folder takes the deleted one's place") << "plant-dir" << 64 << 256 << -1;
    QTest::addRow("a link out takes the deleted one's place") << "plant-link" << 64 << 256 << -1;
    QTest::addRow("a dangling link takes its place") << "plant-dangling" << 64 << 256 << -1;
}

void TestFaultVolumes::updateEndsAsTheVolumeAllows()
{
    QFETCH(QString, volume);
    QFETCH(int, oldKiB);
    QFETCH(int, imageKiB);
    QFETCH(int, left);

    if (!noMountsWhy.isEmpty())
        QSKIP(qPrintable(noMountsWhy));
    QTemporaryDir outside;
    const QString precious = outside.filePath(QStringLiteral("precious"));
    const QString missing = outside.filePath(QStringLiteral("missing"));
    QVERIFY(CoreRun::writeFile(precious, "precious"));
    bool tmpfs = false;
    const qint64 size = volume.toLongLong(&tmpfs) * KiB;
    const QString fault = volume == "plant-dangling" ? QStringLiteral("plant-link") : volume;
    const auto mounted = tmpfs || volume == "ro"
        ? std::make_unique<TestVolume>(tmpfs ? size : 1024 * KiB)
        : std::make_unique<TestVolume>(
            QStringLiteral(FAULTFS), fault, volume == "plant-dangling" ? missing : precious);
    if (!mounted->mounted)
        QSKIP(qPrintable(mounted->error));

    // Laid into the store: only the updater's own steps meet the volume's faults.
    const QString stored = mounted->store() + QStringLiteral("/firmware.bin");
    const QByteArray oldImage = TestPackage::firmware("3-1.0.0.1", oldKiB * KiB);
    const QByteArray image = TestPackage::firmware("3-1.0.0.2", imageKiB * KiB);
    QVERIFY(CoreRun::writeFile(stored, oldImage));
    const QString neighbour = mounted->store() + QStringLiteral("/settings.ini");
    QVERIFY(tmpfs || CoreRun::writeFile(neighbour, "[drive]")); // a tmpfs row counts every page
    if (volume == "ro")
        QVERIFY2(mounted->remountReadOnly(), qPrintable(mounted->error));
    CoreRun run;
    run.package.setFirmware(image);
    QVERIFY2(run.initialize() && run.found(mounted->path() + '/'), qPrintable(run.error));
    run.events.clear();
    run.core->checkFirmware();
    run.core->updateFirmware();

    const bool succeeds = left == Image && (tmpfs || volume == "none");
    QStringList expected { "previousFirmwareVersionChanged(1.0.0.1)", "firmwareChecked(true)" };
    if (!succeeds)
        expected << CoreRun::failed("firmwareUpdated", "UpdateFirmwareError");
    QCOMPARE(run.events, expected);
    QCOMPARE(run.activeTimers(), succeeds ? 2 : 0);
    QCOMPARE(CoreRun::readFile(precious), QByteArray("precious"));
    QVERIFY(!QFileInfo::exists(missing));
    QCOMPARE(CoreRun::readFile(neighbour), tmpfs ? "" : "[drive]");
    const QByteArray leftBytes[] = { image, oldImage, {}, "", image.left(64 * KiB), "" };
    if (left == NoFile)
        QVERIFY(!QFileInfo::exists(stored));
    else if (left >= 0)
        QCOMPARE(CoreRun::readFile(stored), leftBytes[left]);
}

namespace {
enum Entry {
    SparseUntagged,
    SparseUnterminated,
    Folder,
    Fifo,
    CharDevice,
    Link,
    FifoLink,
    Dangling
};

qint64 statusKiB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    const QByteArray text = status.readAll();
    const int at = text.indexOf(field);
    return at < 0 ? -1 : text.mid(at + field.size()).simplified().split(' ').value(0).toLongLong();
}

// Runs body in a forked copy of this process; a body that blocks or grows memory by more than
// 64 MiB (far above the readers' fixed buffers) does not exit with 0.
int exitCodeInChild(const std::function<bool()> &body, unsigned deadlineSeconds)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(deadlineSeconds);
        QFile refs(QStringLiteral("/proc/self/clear_refs"));
        if (refs.open(QIODevice::WriteOnly))
            refs.write("5"); // the fork's copy is not the body's doing
        refs.close();
        const qint64 start = statusKiB("VmRSS:");
        const bool ok = body();
        ::_exit(!ok ? 1 : statusKiB("VmHWM:") - start > 64 * 1024 ? 2 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
} // namespace

void TestFaultVolumes::readersRefuseHostileEntries_data()
{
    QTest::addColumn<int>("entry");
    QTest::addRow("1 GiB sparse file without a tag") << int(SparseUntagged);
    QTest::addRow("1 GiB sparse file whose tag never ends") << int(SparseUnterminated);
    QTest::addRow("folder") << int(Folder);
    QTest::addRow("FIFO without a writer") << int(Fifo);
    QTest::addRow("device that reads zeros forever") << int(CharDevice);
    QTest::addRow("link to a tagged file outside") << int(Link);
    QTest::addRow("link to a FIFO outside") << int(FifoLink);
    QTest::addRow("link to nothing outside") << int(Dangling);
}

void TestFaultVolumes::readersRefuseHostileEntries()
{
    QFETCH(int, entry);
    QTemporaryDir root;
    const QString volume = root.filePath(QStringLiteral("volume"));
    const QString path = volume + QStringLiteral("/firmware.bin");
    const QString outside = root.filePath(QStringLiteral("outside"));
    const QString pipe = root.filePath(QStringLiteral("pipe"));
    // Tagged, so that following a link to it would pass the check and compare equal.
    const QByteArray oldImage = TestPackage::firmware("3-1.0.0.1");
    QVERIFY(QDir().mkdir(volume) && CoreRun::writeFile(outside, oldImage));
    QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0644) == 0);
    const QByteArray native = QFile::encodeName(path);
    QFile file(path);
    bool made = true;
    switch (entry) {
    case SparseUntagged:
    case SparseUnterminated:
        made = file.open(QIODevice::WriteOnly)
            && file.write(entry == SparseUnterminated ? "Ver:3-1.0.0.1" : "") >= 0
            && file.resize(1024 * MiB);
        file.close();
        break;
    case Folder:
        made = QDir().mkdir(path);
        break;
    case Fifo:
        made = ::mkfifo(native.constData(), 0644) == 0;
        break;
    case CharDevice: // as /dev/zero
        if (::mknod(native.constData(), S_IFCHR | 0644, makedev(1, 5)) != 0)
            QSKIP("no device nodes here (needs root)");
        break;
    default:
        made = QFile::link(entry == Link ? outside
                : entry == FifoLink      ? pipe
                                         : root.filePath("no"),
            path);
    }
    QVERIFY(made);

    CoreRun run;
    QVERIFY2(run.initialize() && run.found(volume + '/'), qPrintable(run.error));
    run.events.clear();
    const int code = exitCodeInChild(
        [&] {
            run.core->checkFirmware();
            return run.events == CoreRun::failed("firmwareChecked", "CheckFirmwareError")
                && !readFirmwareInfo(path) && !filesEqual(path, outside)
                && !filesEqual(outside, path);
        },
        20);
    QVERIFY2(code == 0, code == 1 ? "accepted" : code == 2 ? "memory grew" : "blocked or crashed");
    QCOMPARE(CoreRun::readFile(outside), oldImage);
    QVERIFY(!QFileInfo::exists(root.filePath("no")));
}

QTEST_GUILESS_MAIN(TestFaultVolumes)
#include "tst_faultvolumes.moc"
