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

const QStringList notUpdated { QStringLiteral("firmwareUpdated(false)"),
    QStringLiteral("errorCodeChanged(UpdateFirmwareError)") };

int activeTimers(const Core &core)
{
    int n = 0;
    for (const QTimer *timer : core.findChildren<QTimer *>())
        n += timer->isActive() ? 1 : 0;
    return n;
}
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

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray reference = pattern(size);
    QByteArray written = reference;
    if (flipAt >= 0)
        written[flipAt] = char(written.at(flipAt) ^ 0x01);
    const QString a = dir.filePath(QStringLiteral("written"));
    const QString b = dir.filePath(QStringLiteral("reference"));
    QVERIFY(UpdateFixture::writeFile(a, written));
    QVERIFY(UpdateFixture::writeFile(b, reference));

    WarningCatcher warnings;
    QCOMPARE(filesEqual(a, b), equal);
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

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Common prefix: only a missing length test lets the first chunks be compared at all.
    const QByteArray bytes = pattern(qMax(writtenSize, referenceSize));
    const QString a = dir.filePath(QStringLiteral("written"));
    const QString b = dir.filePath(QStringLiteral("reference"));
    QVERIFY(UpdateFixture::writeFile(a, bytes.left(writtenSize)));
    QVERIFY(UpdateFixture::writeFile(b, bytes.left(referenceSize)));
    int chunksCompared = 0;
    firmwareFileHooks().betweenChunks = [&](qint64) { ++chunksCompared; };

    QCOMPARE(filesEqual(a, b), equal);
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

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString a = dir.filePath(QStringLiteral("written"));
    const QString b = dir.filePath(QStringLiteral("reference"));
    for (const auto &[path, entry] : { std::make_pair(a, written), std::make_pair(b, reference) }) {
        if (entry == File)
            QVERIFY(UpdateFixture::writeFile(path, "same"));
        else if (entry == Folder)
            QVERIFY(QDir().mkdir(path));
    }
    QFile folder(dir.path());
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
enum Left { Image, OldFile, NoFile, EmptyFile, FirstHalf, Planted, TruncatedImage };
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
        << int(LinkPlanted) << false << int(Planted);
    QTest::addRow("packaged file gone") << int(PackageGone) << false << int(EmptyFile);
    QTest::addRow("write returns -1") << int(WriteFails) << false << int(EmptyFile);
    QTest::addRow("write stops half-way") << int(ShortWrite) << false << int(FirstHalf);
    QTest::addRow("sync to the device fails") << int(SyncFails) << false << int(Image);
    QTest::addRow("written file truncated while comparing")
        << int(TruncatedWhileComparing) << false << int(TruncatedImage);
}

void TestFirmwareWrite::writeEndsAsTheFaultDecides()
{
    QFETCH(int, fault);
    QFETCH(bool, succeeds);
    QFETCH(int, left);

    QTemporaryDir volume;
    QTemporaryDir elsewhere;
    QVERIFY(volume.isValid() && elsewhere.isValid());
    const QString devicePath = volume.filePath(QStringLiteral("firmware.bin"));
    const QString outsidePath = elsewhere.filePath(QStringLiteral("precious"));
    const QByteArray oldImage = TestPackage::firmware("3-1.0.0.1", 16 * KiB);
    const QByteArray image = TestPackage::firmware("3-1.0.0.2", 2 * MiB + 100 * KiB);
    QVERIFY(UpdateFixture::writeFile(devicePath, oldImage));
    QVERIFY(UpdateFixture::writeFile(outsidePath, "precious"));

    UpdateFixture fixture;
    fixture.package.setFirmware(image);
    QVERIFY2(fixture.initialize(), qPrintable(fixture.error));
    QVERIFY2(fixture.found(volume.path() + QLatin1Char('/')), qPrintable(fixture.error));

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
        fixture.package.unregisterPackage();
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
        hooks.betweenChunks = [&](qint64) { QFile::resize(devicePath, MiB + MiB / 2); };
        break;
    }

    Core &core = *fixture.core;
    CoreSignalLog log(&core);
    core.updateFirmware();

    QCOMPARE(log.events, succeeds ? QStringList() : notUpdated);
    QCOMPARE(activeTimers(core), succeeds ? 2 : 0);
    QCOMPARE(UpdateFixture::readFile(outsidePath), QByteArray("precious"));
    switch (left) {
    case Image:
        QCOMPARE(UpdateFixture::readFile(devicePath), image);
        break;
    case NoFile:
        QVERIFY(!QFileInfo::exists(devicePath));
        break;
    case EmptyFile:
        QVERIFY(QFileInfo(devicePath).isFile());
        QCOMPARE(QFileInfo(devicePath).size(), 0);
        break;
    case FirstHalf:
        QCOMPARE(UpdateFixture::readFile(devicePath), image.left(image.size() / 2));
        break;
    case Planted:
        QCOMPARE(UpdateFixture::readFile(devicePath),
            QByteArray(fault == LinkPlanted ? "precious" : "planted"));
        break;
    case TruncatedImage:
        QCOMPARE(UpdateFixture::readFile(devicePath), image.left(MiB + MiB / 2));
        break;
    }
}

namespace {
enum Before { AsMounted, ReadOnly };
enum AfterRemove { Nothing, RemountReadOnly, FillAll, Leave64KiB };
} // namespace

void TestFirmwareWrite::realVolumes_data()
{
    QTest::addColumn<int>("volumeKiB");
    QTest::addColumn<int>("oldKiB");
    QTest::addColumn<int>("imageKiB");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("afterRemove");
    QTest::addColumn<bool>("deleted");
    QTest::addColumn<int>("left");

    QTest::addRow("read-only volume")
        << 1024 << 64 << 256 << int(ReadOnly) << int(Nothing) << false << int(OldFile);
    QTest::addRow("volume too small for the image")
        << 256 << 64 << 1024 << int(AsMounted) << int(Nothing) << false << int(OldFile);
    QTest::addRow("one page more than fits")
        << 512 << 500 << 516 << int(AsMounted) << int(Nothing) << false << int(OldFile);
    QTest::addRow("fits once the old file is gone")
        << 1024 << 600 << 800 << int(AsMounted) << int(Nothing) << true << int(Image);
    QTest::addRow("image fills the volume exactly")
        << 512 << 500 << 512 << int(AsMounted) << int(Nothing) << true << int(Image);
    QTest::addRow("read-only after the delete: create fails")
        << 1024 << 64 << 256 << int(AsMounted) << int(RemountReadOnly) << true << int(NoFile);
    QTest::addRow("full after the delete: write fails")
        << 1024 << 64 << 256 << int(AsMounted) << int(FillAll) << true << int(EmptyFile);
    QTest::addRow("64 KiB left after the delete: short file")
        << 1024 << 64 << 256 << int(AsMounted) << int(Leave64KiB) << true << int(TruncatedImage);
}

void TestFirmwareWrite::realVolumes()
{
    QFETCH(int, volumeKiB);
    QFETCH(int, oldKiB);
    QFETCH(int, imageKiB);
    QFETCH(int, before);
    QFETCH(int, afterRemove);
    QFETCH(bool, deleted);
    QFETCH(int, left);

    if (!noMountsWhy.isEmpty())
        QSKIP(qPrintable(noMountsWhy));
    TmpfsMount volume(qint64(volumeKiB) * KiB);
    if (!volume.isMounted())
        QSKIP(qPrintable(volume.errorString()));

    const QString devicePath = volume.filePath(QStringLiteral("firmware.bin"));
    const QByteArray oldImage = TestPackage::firmware("3-1.0.0.1", oldKiB * KiB);
    const QByteArray image = TestPackage::firmware("3-1.0.0.2", imageKiB * KiB);
    QVERIFY(UpdateFixture::writeFile(devicePath, oldImage));
    if (before == ReadOnly)
        QVERIFY2(volume.remountReadOnly(), qPrintable(volume.errorString()));

    UpdateFixture fixture;
    fixture.package.setFirmware(image);
    QVERIFY2(fixture.initialize(), qPrintable(fixture.error));
    QVERIFY2(fixture.found(volume.path() + QLatin1Char('/')), qPrintable(fixture.error));

    bool removed = false;
    bool prepared = true;
    firmwareFileHooks().afterRemove = [&] {
        removed = true;
        if (afterRemove == RemountReadOnly)
            prepared = volume.remountReadOnly();
        else if (afterRemove == FillAll)
            prepared = volume.fill(0);
        else if (afterRemove == Leave64KiB)
            prepared = volume.fill(64 * KiB);
    };

    Core &core = *fixture.core;
    CoreSignalLog log(&core);
    core.updateFirmware();

    QVERIFY2(prepared, qPrintable(volume.errorString()));
    QCOMPARE(removed, deleted);
    const bool succeeds = left == Image;
    QCOMPARE(log.events, succeeds ? QStringList() : notUpdated);
    QCOMPARE(activeTimers(core), succeeds ? 2 : 0);
    switch (left) {
    case Image:
        QCOMPARE(UpdateFixture::readFile(devicePath), image);
        break;
    case OldFile:
        QCOMPARE(UpdateFixture::readFile(devicePath), oldImage);
        break;
    case NoFile:
        QVERIFY(!QFileInfo::exists(devicePath));
        break;
    case EmptyFile:
        QVERIFY(QFileInfo(devicePath).isFile());
        QCOMPARE(QFileInfo(devicePath).size(), 0);
        break;
    case TruncatedImage:
        QCOMPARE(UpdateFixture::readFile(devicePath), image.left(64 * KiB));
        break;
    }
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
