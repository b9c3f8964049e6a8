#include "coresignallog.h"
#include "firmwarefile.h"
#include "tmpfsmount.h"
#include "updatefixture.h"
#include "warningcatcher.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

class TestFirmwareWrite : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void filesEqualComparesEveryByte_data();
    void filesEqualComparesEveryByte();
    void filesEqualTestsLengthBeforeBytes_data();
    void filesEqualTestsLengthBeforeBytes();
    void filesEqualWarnsOncePerProblem_data();
    void filesEqualWarnsOncePerProblem();

    void writeEndsAsTheFaultDecides_data();
    void writeEndsAsTheFaultDecides();
    void realVolumes_data();
    void realVolumes();
    void syncsAndDropsCacheBeforeComparing();

private:
    QString noMountsWhy;
};

namespace {
constexpr int KiB = 1024;
constexpr int MiB = 1024 * KiB;

QByteArray pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 0x2545f491u;
    for (int i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = char(state >> 23);
    }
    return bytes;
}

int activeTimers(const Core &core)
{
    int n = 0;
    for (const QTimer *timer : core.findChildren<QTimer *>())
        n += timer->isActive() ? 1 : 0;
    return n;
}

// "written" and "reference" side by side in a fresh folder.
struct FilePair
{
    QTemporaryDir dir;
    const QString written = dir.filePath(QStringLiteral("written"));
    const QString reference = dir.filePath(QStringLiteral("reference"));

    bool write(const QByteArray &writtenBytes, const QByteArray &referenceBytes) const
    {
        return dir.isValid() && UpdateFixture::writeFile(written, writtenBytes)
            && UpdateFixture::writeFile(reference, referenceBytes);
    }
};
} // namespace

void TestFirmwareWrite::initTestCase()
{
    // A private namespace takes every test mount away with the process, even after a crash.
    TmpfsMount::isolate(&noMountsWhy);
}

void TestFirmwareWrite::cleanup()
{
    firmwareFileHooks() = FirmwareFileHooks();
}

void TestFirmwareWrite::filesEqualComparesEveryByte_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("flipAt");
    QTest::addColumn<bool>("equal");

    const int size = 2 * MiB + MiB / 2;
    QTest::addRow("equal over several chunks") << size << -1 << true;
    QTest::addRow("first byte differs") << size << 0 << false;
    QTest::addRow("middle byte differs") << size << size / 2 << false;
    QTest::addRow("last byte differs") << size << size - 1 << false;
    QTest::addRow("last byte of the first chunk differs") << size << MiB - 1 << false;
    QTest::addRow("first byte of the second chunk differs") << size << MiB << false;
    QTest::addRow("two empty files") << 0 << -1 << true;
    QTest::addRow("one byte each, equal") << 1 << -1 << true;
}

void TestFirmwareWrite::filesEqualComparesEveryByte()
{
    QFETCH(int, size);
    QFETCH(int, flipAt);
    QFETCH(bool, equal);

    const QByteArray reference = pattern(size);
    QByteArray written = reference;
    if (flipAt >= 0)
        written[flipAt] = char(written.at(flipAt) ^ 0x01);
    const FilePair files;
    QVERIFY(files.write(written, reference));

    WarningCatcher warnings;
    QCOMPARE(filesEqual(files.written, files.reference), equal);
    QCOMPARE(warnings.warnings(), QStringList());
}

void TestFirmwareWrite::filesEqualTestsLengthBeforeBytes_data()
{
    QTest::addColumn<int>("writtenSize");
    QTest::addColumn<int>("referenceSize");
    QTest::addColumn<bool>("equal");
    QTest::addColumn<bool>("bytesCompared");

    const int size = 2 * MiB + 5;
    QTest::addRow("same length") << size << size << true << true;
    QTest::addRow("written one byte longer") << size + 1 << size << false << false;
    QTest::addRow("written one byte shorter") << size - 1 << size << false << false;
    QTest::addRow("written empty") << 0 << size << false << false;
}

void TestFirmwareWrite::filesEqualTestsLengthBeforeBytes()
{
    QFETCH(int, writtenSize);
    QFETCH(int, referenceSize);
    QFETCH(bool, equal);
    QFETCH(bool, bytesCompared);

    // Common prefix: only a missing length test lets the first chunks be compared at all.
    const QByteArray bytes = pattern(qMax(writtenSize, referenceSize));
    const FilePair files;
    QVERIFY(files.write(bytes.left(writtenSize), bytes.left(referenceSize)));
    int chunksCompared = 0;
    firmwareFileHooks().betweenChunks = [&](qint64) { ++chunksCompared; };

    QCOMPARE(filesEqual(files.written, files.reference), equal);
    QCOMPARE(chunksCompared > 0, bytesCompared);
}

namespace {
enum Entry { Missing, Folder, File };
} // namespace

void TestFirmwareWrite::filesEqualWarnsOncePerProblem_data()
{
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("reference");
    // %a and %b stand for the quoted paths, %e for the error string of opening a folder.
    QTest::addColumn<QStringList>("expected");

    QTest::addRow("written file missing")
        << int(Missing) << int(File) << QStringList { QStringLiteral("File %a does not exist") };
    QTest::addRow("reference missing")
        << int(File) << int(Missing) << QStringList { QStringLiteral("File %b does not exist") };
    QTest::addRow("both missing") << int(Missing) << int(Missing)
                                  << QStringList { QStringLiteral("File %a does not exist") };
    QTest::addRow("written file cannot be opened")
        << int(Folder) << int(File) << QStringList { QStringLiteral("Can not open file %a %e") };
    QTest::addRow("reference cannot be opened")
        << int(File) << int(Folder) << QStringList { QStringLiteral("Can not open file %b %e") };
}

void TestFirmwareWrite::filesEqualWarnsOncePerProblem()
{
    QFETCH(int, written);
    QFETCH(int, reference);
    QFETCH(QStringList, expected);

    const FilePair files;
    QVERIFY(files.dir.isValid());
    const QString &a = files.written;
    const QString &b = files.reference;
    for (const auto &[path, entry] : { std::make_pair(a, written), std::make_pair(b, reference) }) {
        if (entry == File)
            QVERIFY(UpdateFixture::writeFile(path, "same"));
        else if (entry == Folder)
            QVERIFY(QDir().mkdir(path));
    }
    QFile folder(files.dir.path());
    QVERIFY(!folder.open(QIODevice::ReadOnly));
    const auto quoted
        = [](const QString &text) { return QLatin1Char('"') + text + QLatin1Char('"'); };
    for (QString &line : expected)
        line.replace(QLatin1String("%a"), quoted(a))
            .replace(QLatin1String("%b"), quoted(b))
            .replace(QLatin1String("%e"), quoted(folder.errorString()));

    WarningCatcher warnings;
    QVERIFY(!filesEqual(a, b));
    QCOMPARE(warnings.warnings(), expected);
}

namespace {
// Where the comparison finds the written file cut short, and what a nearly full volume takes.
constexpr int cutWhileComparing = MiB + MiB / 2;
constexpr int roomAfterDelete = 64 * KiB;

// What firmware.bin holds after the write.
enum Left { Image, OldFile, NoFile, EmptyFile, FirstHalf, Planted, Precious, CutShort, UpToRoom };

// A volume folder holding an older firmware.bin, and a Core ready to write image onto it.
struct WriteRun
{
    UpdateFixture fixture;
    QString devicePath;
    QByteArray oldImage;
    QByteArray image;
    CoreSignalLog *log = nullptr;

    bool prepare(const QString &folder, int oldSize, int imageSize)
    {
        devicePath = folder + QStringLiteral("/firmware.bin");
        oldImage = TestPackage::firmware("3-1.0.0.1", oldSize);
        image = TestPackage::firmware("3-1.0.0.2", imageSize);
        fixture.package.setFirmware(image);
        return UpdateFixture::writeFile(devicePath, oldImage) && fixture.initialize()
            && fixture.found(folder + QLatin1Char('/'));
    }

    void update()
    {
        log = new CoreSignalLog(fixture.core.get());
        fixture.core->updateFirmware();
    }

    // The result as the last page sees it, and the file left on the volume.
    void expect(bool succeeds, Left left) const
    {
        QCOMPARE(log->events, succeeds ? QStringList() : CoreSignalLog::notUpdated);
        QCOMPARE(activeTimers(*fixture.core), succeeds ? 2 : 0);
        if (left == NoFile) {
            QVERIFY(!QFileInfo::exists(devicePath));
            return;
        }
        // In Left's order.
        const QByteArray expected[]
            = { image, oldImage, {}, QByteArray(""), image.left(image.size() / 2), "planted",
                  "precious", image.left(cutWhileComparing), image.left(roomAfterDelete) };
        QVERIFY(QFileInfo(devicePath).isFile());
        QCOMPARE(UpdateFixture::readFile(devicePath), expected[left]);
    }
};

enum Fault {
    NoFault,
    DeviceFileGone,
    FilePlanted,
    LinkPlanted,
    PackageGone,
    WriteFails,
    ShortWrite,
    SyncFails,
    TruncatedWhileComparing
};
} // namespace

void TestFirmwareWrite::writeEndsAsTheFaultDecides_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<int>("left");

    QTest::addRow("no fault") << int(NoFault) << true << int(Image);
    QTest::addRow("firmware.bin gone before the write")
        << int(DeviceFileGone) << false << int(NoFile);
    QTest::addRow("file appears where the new one goes")
        << int(FilePlanted) << false << int(Planted);
    QTest::addRow("link appears where the new one goes")
        << int(LinkPlanted) << false << int(Precious);
    QTest::addRow("packaged file gone") << int(PackageGone) << false << int(EmptyFile);
    QTest::addRow("write returns -1") << int(WriteFails) << false << int(EmptyFile);
    QTest::addRow("write stops half-way") << int(ShortWrite) << false << int(FirstHalf);
    QTest::addRow("sync to the device fails") << int(SyncFails) << false << int(Image);
    QTest::addRow("written file truncated while comparing")
        << int(TruncatedWhileComparing) << false << int(CutShort);
}

void TestFirmwareWrite::writeEndsAsTheFaultDecides()
{
    QFETCH(int, fault);
    QFETCH(bool, succeeds);
    QFETCH(int, left);

    QTemporaryDir volume;
    QTemporaryDir elsewhere;
    QVERIFY(volume.isValid() && elsewhere.isValid());
    const QString outsidePath = elsewhere.filePath(QStringLiteral("precious"));
    QVERIFY(UpdateFixture::writeFile(outsidePath, "precious"));
    WriteRun run;
    QVERIFY2(
        run.prepare(volume.path(), 16 * KiB, 2 * MiB + 100 * KiB), qPrintable(run.fixture.error));
    const QString &devicePath = run.devicePath;

    FirmwareFileHooks &hooks = firmwareFileHooks();
    switch (fault) {
    case DeviceFileGone:
        QVERIFY(QFile::remove(devicePath));
        break;
    case FilePlanted:
        hooks.afterRemove = [&] { UpdateFixture::writeFile(devicePath, "planted"); };
        break;
    case LinkPlanted:
        hooks.afterRemove = [&] { QFile::link(outsidePath, devicePath); };
        break;
    case PackageGone:
        run.fixture.package.unregisterPackage();
        break;
    case WriteFails:
        hooks.write = [](QFileDevice &, const QByteArray &) -> qint64 { return -1; };
        break;
    case ShortWrite:
        hooks.write = [](QFileDevice &file, const QByteArray &bytes) {
            return file.write(bytes.left(bytes.size() / 2));
        };
        break;
    case SyncFails:
        hooks.sync = [](QFileDevice &) { return false; };
        break;
    case TruncatedWhileComparing:
        // With a mapped file this access would raise SIGBUS and end the test run.
        hooks.betweenChunks = [&](qint64) { QFile::resize(devicePath, cutWhileComparing); };
        break;
    }

    run.update();
    run.expect(succeeds, Left(left));
    QCOMPARE(UpdateFixture::readFile(outsidePath), QByteArray("precious"));
}

namespace {
enum VolumeFault { Nothing, ReadOnly, ReadOnlyAfterDelete, FullAfterDelete, RoomAfterDelete };
} // namespace

void TestFirmwareWrite::realVolumes_data()
{
    QTest::addColumn<int>("volumeKiB");
    QTest::addColumn<int>("oldKiB");
    QTest::addColumn<int>("imageKiB");
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("deleted");
    QTest::addColumn<int>("left");

    QTest::addRow("read-only volume")
        << 1024 << 64 << 256 << int(ReadOnly) << false << int(OldFile);
    QTest::addRow("volume too small for the image")
        << 256 << 64 << 1024 << int(Nothing) << false << int(OldFile);
    QTest::addRow("one page more than fits")
        << 512 << 500 << 516 << int(Nothing) << false << int(OldFile);
    QTest::addRow("fits once the old file is gone")
        << 1024 << 600 << 800 << int(Nothing) << true << int(Image);
    QTest::addRow("image fills the volume exactly")
        << 512 << 500 << 512 << int(Nothing) << true << int(Image);
    QTest::addRow("read-only after the delete: create fails")
        << 1024 << 64 << 256 << int(ReadOnlyAfterDelete) << true << int(NoFile);
    QTest::addRow("full after the delete: write fails")
        << 1024 << 64 << 256 << int(FullAfterDelete) << true << int(EmptyFile);
    QTest::addRow("64 KiB left after the delete: short file")
        << 1024 << 64 << 256 << int(RoomAfterDelete) << true << int(UpToRoom);
}

void TestFirmwareWrite::realVolumes()
{
    QFETCH(int, volumeKiB);
    QFETCH(int, oldKiB);
    QFETCH(int, imageKiB);
    QFETCH(int, fault);
    QFETCH(bool, deleted);
    QFETCH(int, left);

    if (!noMountsWhy.isEmpty())
        QSKIP(qPrintable(noMountsWhy));
    TmpfsMount volume(qint64(volumeKiB) * KiB);
    if (!volume.isMounted())
        QSKIP(qPrintable(volume.errorString()));
    WriteRun run;
    QVERIFY2(
        run.prepare(volume.path(), oldKiB * KiB, imageKiB * KiB), qPrintable(run.fixture.error));
    if (fault == ReadOnly)
        QVERIFY2(volume.remountReadOnly(), qPrintable(volume.errorString()));

    bool removed = false;
    bool prepared = true;
    firmwareFileHooks().afterRemove = [&] {
        removed = true;
        if (fault == ReadOnlyAfterDelete)
            prepared = volume.remountReadOnly();
        else if (fault == FullAfterDelete)
            prepared = volume.fill(0);
        else if (fault == RoomAfterDelete)
            prepared = volume.fill(roomAfterDelete);
    };

    run.update();
    QVERIFY2(prepared, qPrintable(volume.errorString()));
    QCOMPARE(removed, deleted);
    run.expect(left == Image, Left(left));
}

void TestFirmwareWrite::syncsAndDropsCacheBeforeComparing()
{
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty())
        QSKIP("strace is not installed");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString trace = dir.filePath(QStringLiteral("trace"));
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    // LeakSanitizer stops the process with ptrace at exit, which a traced process cannot.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (environment.contains(QStringLiteral("ASAN_OPTIONS")))
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
            environment.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
    run.setProcessEnvironment(environment);
    run.start(strace,
        { QStringLiteral("-f"), QStringLiteral("-y"), QStringLiteral("-qq"), QStringLiteral("-o"),
            trace, QStringLiteral("-e"),
            QStringLiteral("trace=openat,fsync,fdatasync,fadvise64,read"),
            QCoreApplication::applicationFilePath(),
            QStringLiteral("writeEndsAsTheFaultDecides:no fault") });
    QVERIFY(run.waitForFinished(120000));
    const QByteArray output = run.readAll();
    if (output.contains("PTRACE_TRACEME") || output.contains("ptrace"))
        QSKIP("strace may not trace here");
    QVERIFY2(run.exitCode() == 0, output.constData());

    QFile file(trace);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    // The exclusive create is the new firmware file; its descriptor carries the path after -y.
    const QRegularExpression create(
        QStringLiteral(R"re(openat\(.*"([^"]+/firmware\.bin)".*O_EXCL.*\) = (\d+)<)re"));
    int created = -1;
    QString path;
    for (int i = 0; i < lines.size() && created < 0; ++i) {
        const QRegularExpressionMatch m = create.match(lines.at(i));
        if (m.hasMatch()) {
            created = i;
            path = m.captured(1);
        }
    }
    QVERIFY2(created >= 0, "no exclusive create of firmware.bin in the trace");
    const QString onFile = QLatin1Char('<') + path + QLatin1Char('>');
    const QString onDir = QLatin1Char('<') + QFileInfo(path).absolutePath() + QLatin1Char('>');
    const auto firstAfter = [&](int from, const QString &call, const QString &target) {
        for (int i = from + 1; i < lines.size(); ++i) {
            const QString &line = lines.at(i);
            if (line.contains(call + QLatin1Char('(')) && line.contains(target)
                && !line.contains(QLatin1String("= -1")))
                return i;
        }
        return -1;
    };
    const int fileSync = firstAfter(created, QStringLiteral("fsync"), onFile);
    const int dirSync = firstAfter(created, QStringLiteral("fsync"), onDir + QLatin1Char(')'));
    const int dropped = firstAfter(created, QStringLiteral("fadvise64"), onFile);
    const int firstRead = firstAfter(created, QStringLiteral("read"), onFile);
    QVERIFY2(fileSync > created, "the new file is not synced");
    QVERIFY2(dirSync > created, "its folder is not synced");
    QVERIFY2(dropped > fileSync, "cached pages are not dropped after the sync");
    QVERIFY(lines.at(dropped).contains(QLatin1String("POSIX_FADV_DONTNEED")));
    QVERIFY2(firstRead > dropped, "the comparison does not read after the pages are dropped");
}

QTEST_GUILESS_MAIN(TestFirmwareWrite)
#include "tst_firmwarewrite.moc"
