#include "corerun.h"
#include "firmwarefile.h"
#include "firmwareinfo.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Core through the doors the pages use, and the readers below it on plain files. Runs a second
// time under CTest with --force-mode, for the check's force column.
class TestCore : public QObject
{
    Q_OBJECT
private slots:
    void forceModeFollowsTheCommandLine_data();
    void forceModeFollowsTheCommandLine();
    void initializesFromThePackage();
    void searchArmsDetectorAndEndsOnce_data();
    void searchArmsDetectorAndEndsOnce();
    void checkDecidesAsVersionsAndPackageSay_data();
    void checkDecidesAsVersionsAndPackageSay();
    void stepsOutOfOrderFail_data();
    void stepsOutOfOrderFail();
    void runsFromDetectionToResult();
    void readsTags_data();
    void readsTags();
    void scannerStopsOnFaultsInBoundedMemory();
    void filesEqualComparesLengthThenEveryByte_data();
    void filesEqualComparesLengthThenEveryByte();

private:
    QTemporaryDir dir;
    int files = 0;
    QString newFile(const QByteArray &content)
    {
        const QString path = dir.filePath(QString::number(++files));
        return CoreRun::writeFile(path, content) ? path : QString();
    }
};

namespace {
constexpr int MiB = 1024 * 1024;
const QString passed = QStringLiteral("firmwareChecked(true)");
QString prev(const char *version)
{
    return QStringLiteral("previousFirmwareVersionChanged(%1)").arg(QLatin1String(version));
}
} // namespace

void TestCore::forceModeFollowsTheCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("output");
    QTest::addRow("no option") << QStringList() << "0\n";
    QTest::addRow("--force-mode") << QStringList { "--force-mode" } << "1\n";
    QTest::addRow("unrecognised option") << QStringList { "--force-mode", "--bogus" } << "0\n";
    QTest::addRow("value it does not take") << QStringList { "--force-mode=yes" } << "0\n";
    QTest::addRow("positional argument") << QStringList { "--force-mode", "extra" } << "1\n";
}
void TestCore::forceModeFollowsTheCommandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, output);
    QProcess probe;
    probe.start(QCoreApplication::applicationFilePath(), QStringList { "probe" } + arguments);
    QVERIFY(probe.waitForFinished(30000));
    QCOMPARE(probe.exitCode(), 0);
    QCOMPARE(QString::fromLatin1(probe.readAllStandardOutput()), output);
}

void TestCore::initializesFromThePackage()
{
    Core fresh;
    QCOMPARE(fresh.deviceName(), QStringLiteral("[device_name]"));
    QCOMPARE(fresh.newFirmwareVersion(), QStringLiteral("0.0.0.0"));
    QVERIFY(!fresh.initialize(nullptr));

    // Untagged firmware, a tag without version segments, a package without a device name.
    for (const QByteArray &image : { QByteArray(4096, 'x'), TestPackage::firmware("3-") }) {
        CoreRun run;
        run.package.setFile(QStringLiteral("firmware.bin"), image);
        run.package.setFile(QStringLiteral("device.xml"), TestPackage::deviceXml(QString()));
        QVERIFY2(run.initialize(), qPrintable(run.error));
        QCOMPARE(run.core->newFirmwareVersion(), image.startsWith('x') ? "0.0.0.0" : "");
        QCOMPARE(run.core->deviceName(), QStringLiteral("[device_name]"));
    }
    CoreRun run;
    QVERIFY2(run.initialize(), qPrintable(run.error));
    Core &core = *run.core;
    QSignalSpy changed(&core, &Core::newFirmwareVersionChanged);
    QVERIFY(!core.initialize(core.productResource()));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(core.newFirmwareVersion(), QStringLiteral("1.0.0.2"));
    QCOMPARE(core.deviceName(), QStringLiteral("Tarsel Test Drive"));

    // The setters signal changes only; QML may write a code outside the list.
    for (int code : { 0, 2, 2, 42 })
        core.setProperty("errorCode", code);
    for (const char *version : { "0.0.0.0", "1.0.0.1", "1.0.0.1" })
        core.setPreviousFirmwareVersion(QLatin1String(version));
    QCOMPARE(run.events,
        (QStringList {
            "errorCodeChanged(CheckFirmwareError)", "errorCodeChanged(?)", prev("1.0.0.1") }));
    QCOMPARE(int(core.errorCode()), 42);
}

void TestCore::searchArmsDetectorAndEndsOnce_data()
{
    QTest::addColumn<QString>("mountPath"); // null: the search times out first
    QTest::addColumn<QStringList>("events");
    QTest::addRow("volume with a mount path")
        << "/media/vault/" << QStringList { "deviceFound(true)" };
    QTest::addRow("empty mount path") << "" << CoreRun::failed("deviceFound", "FindDeviceError");
    QTest::addRow("time-out, then a late volume")
        << QString()
        << CoreRun::failed("deviceFound", "FindDeviceError") + QStringList { "deviceFound(true)" };
}
void TestCore::searchArmsDetectorAndEndsOnce()
{
    QFETCH(QString, mountPath);
    QFETCH(QStringList, events);
    CoreRun run;
    run.package.setFile(QStringLiteral("device.xml"),
        TestPackage::deviceXml(
            QStringLiteral("Vault"), QStringLiteral("0x0abc"), QStringLiteral("0x0def")));
    QVERIFY2(run.initialize(), qPrintable(run.error));
    Core &core = *run.core;
    core.findDevice();
    QCOMPARE(run.detector->startArguments, (QStringList { "0x0abc", "0x0def", "Vault Update" }));
    QTimer *timer = core.findChild<QTimer *>();
    QVERIFY(timer && timer->isActive());
    QCOMPARE(timer->interval(), 300000);
    timer->start(40);
    if (mountPath.isNull()) {
        QTRY_VERIFY(!run.events.isEmpty());
        QTest::qWait(200); // a timer left running would report again
        mountPath = QStringLiteral("/media/late/");
    }
    QString pathInHandler;
    bool detectorAliveInHandler = false;
    connect(&core, &Core::deviceFound, this, [&] {
        pathInHandler = core.device() ? core.device()->mountPath() : QStringLiteral("<none>");
        detectorAliveInHandler = !run.detector->destroyed;
    });
    QVERIFY(run.detector->report(mountPath));
    QCOMPARE(pathInHandler, mountPath);
    // Released later, not inside its own emission.
    QVERIFY(detectorAliveInHandler && core.deviceDetector());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!core.deviceDetector() && run.detector->destroyed);
    // A stopped timer reports no time-out; a second search neither starts nor re-arms anything.
    QTest::qWait(200);
    QCOMPARE(run.events, events);
    core.findDevice();
    QCOMPARE(run.events.value(events.size()), QStringLiteral("deviceFound(false)"));
    QCOMPARE(run.detector->starts, 1);
}

namespace {
enum DeviceFile { Tagged, Missing, Folder, Untagged };
} // namespace

void TestCore::checkDecidesAsVersionsAndPackageSay_data()
{
    QTest::addColumn<QByteArray>("packagedTag"); // null: untagged
    QTest::addColumn<int>("deviceFile");
    QTest::addColumn<QByteArray>("deviceTag");
    QTest::addColumn<QByteArray>("md5"); // %d, %D: the packaged digest in lower, upper case
    QTest::addColumn<QStringList>("normal");
    QTest::addColumn<QStringList>("force"); // empty: as normal

    const QByteArray tag = "3-1.0.0.2", md5 = "firmware.bin %d";
    const QStringList bad = CoreRun::failed("firmwareChecked", "CheckFirmwareError");
    const QStringList otherHw = CoreRun::failed("firmwareChecked", "FirmwareBad_HWError");
    const QStringList same = CoreRun::failed("firmwareChecked", "FirmwareSame_FWError");
    const auto ok = [](const char *v) { return QStringList { prev(v), passed }; };
    const auto row
        = [&](const char *name, const QByteArray &packaged, int file, const QByteArray &device,
              const QByteArray &sum, const QStringList &normal, const QStringList &force) {
              QTest::addRow("%s", name) << packaged << file << device << sum << normal << force;
          };
    row("older device firmware", tag, Tagged, "3-1.0.0.1", md5, ok("1.0.0.1"), {});
    row("older early, more late", tag, Tagged, "3-0.F.F.F", md5, ok("0.15.15.15"), {});
    row("equal version", tag, Tagged, tag, md5, QStringList { prev("1.0.0.2") } + same,
        ok("1.0.0.2"));
    row("newer device firmware", tag, Tagged, "3-1.0.1.0", md5,
        QStringList { prev("1.0.1.0") } + same, ok("1.0.1.0"));
    // As text 1.0.0.10 sorts before 1.0.0.2; as numbers it is newer.
    row("newer as numbers only", tag, Tagged, "3-1.0.0.A", md5,
        QStringList { prev("1.0.0.10") } + same, ok("1.0.0.10"));
    row("other hardware, older", tag, Tagged, "4-1.0.0.1", md5, otherHw, ok("1.0.0.1"));
    row("other hardware, equal", tag, Tagged, "4-1.0.0.2", md5, otherHw, ok("1.0.0.2"));
    row("device version equal to the initial text", tag, Tagged, "3-0.0.0.0", md5, { passed }, {});
    row("digest alone", tag, Tagged, "3-1.0.0.1", "%d", ok("1.0.0.1"), {});
    row("digest in upper case", tag, Tagged, "3-1.0.0.1", "firmware.bin %D", ok("1.0.0.1"), {});
    row("digest with a trailing line break", tag, Tagged, "3-1.0.0.1", md5 + "\n", bad,
        ok("1.0.0.1"));
    row("digest with a trailing blank", tag, Tagged, "3-1.0.0.1", md5 + " ", bad, ok("1.0.0.1"));
    row("digest up to a zero byte", tag, Tagged, "3-1.0.0.1", md5 + '\0' + "x", ok("1.0.0.1"), {});
    row("damaged package", tag, Tagged, "3-1.0.0.1", "0123456789abcdef0123456789abcdef", bad,
        ok("1.0.0.1"));
    row("no firmware.bin on the volume", tag, Missing, {}, md5, bad, {});
    row("firmware.bin is a folder", tag, Folder, {}, md5, bad, {});
    row("device firmware without a tag", tag, Untagged, {}, md5, bad, {});
    row("packaged firmware without a tag", {}, Tagged, "3-1.0.0.1", md5, bad, {});
    row("package gone after initialising", tag, -1, "3-1.0.0.1", md5, bad, {});
    row("device version without segments", tag, Tagged, "3-", md5, ok(""), {});
    row("device version of another shape", tag, Tagged, "3-1.2.3.4.5", md5, ok(""), {});
    row("device without segments, packaged 0.0.0.1", "3-0.0.0.1", Tagged, "3-", md5, ok(""), {});
    row("packaged version without segments", "3-", Tagged, "3-0.0.0.1", md5,
        QStringList { prev("0.0.0.1") } + same, ok("0.0.0.1"));
    row("neither version has segments", "3-", Tagged, "3-", md5, QStringList { prev("") } + same,
        ok(""));
}
void TestCore::checkDecidesAsVersionsAndPackageSay()
{
    QFETCH(QByteArray, packagedTag);
    QFETCH(int, deviceFile);
    QFETCH(QByteArray, deviceTag);
    QFETCH(QByteArray, md5);
    QFETCH(QStringList, normal);
    QFETCH(QStringList, force);

    QTemporaryDir volume;
    CoreRun run;
    const QByteArray image
        = packagedTag.isNull() ? QByteArray(4096, 'x') : TestPackage::firmware(packagedTag);
    const QByteArray digest = QCryptographicHash::hash(image, QCryptographicHash::Md5).toHex();
    run.package.setFile(QStringLiteral("firmware.bin"), image);
    run.package.setFile(
        QStringLiteral("firmware.md5"), md5.replace("%d", digest).replace("%D", digest.toUpper()));
    QVERIFY2(run.initialize(), qPrintable(run.error));
    const QString devicePath = volume.filePath(QStringLiteral("firmware.bin"));
    if (deviceFile == Tagged || deviceFile < 0)
        QVERIFY(CoreRun::writeFile(devicePath, TestPackage::firmware(deviceTag, 2048)));
    else if (deviceFile == Folder)
        QVERIFY(QDir(volume.path()).mkdir(QStringLiteral("firmware.bin")));
    else if (deviceFile == Untagged)
        QVERIFY(CoreRun::writeFile(devicePath, QByteArray(2048, 'y')));
    QVERIFY2(run.found(volume.path() + '/'), qPrintable(run.error));
    if (deviceFile < 0)
        run.package.unregisterPackage();
    run.events.clear();

    run.core->checkFirmware();
    const QStringList expected = run.core->forceMode() && !force.isEmpty() ? force : normal;
    QCOMPARE(run.events, expected);
    const QStringList versions = expected.filter("previousFirmwareVersionChanged(");
    QCOMPARE(run.core->previousFirmwareVersion(),
        versions.isEmpty() ? QStringLiteral("0.0.0.0") : versions.first().mid(31).chopped(1));
}

void TestCore::stepsOutOfOrderFail_data()
{
    QTest::addColumn<int>("setup"); // 0 no package, 1 initialised, 2 found, 3 found without path
    QTest::addColumn<int>("step"); // 0 search, 1 check, 2 write
    const QStringList notFound = CoreRun::failed("deviceFound", "FindDeviceError");
    const QStringList notChecked = CoreRun::failed("firmwareChecked", "CheckFirmwareError");
    const QStringList notUpdated = CoreRun::failed("firmwareUpdated", "UpdateFirmwareError");
    QTest::addColumn<QStringList>("events");
    QTest::addRow("search before initialising") << 0 << 0 << notFound;
    QTest::addRow("search again, detector release pending") << 2 << 0 << notFound;
    QTest::addRow("check before initialising") << 0 << 1 << notChecked;
    QTest::addRow("check without a found device") << 1 << 1 << notChecked;
    QTest::addRow("write before initialising") << 0 << 2 << notUpdated;
    QTest::addRow("write without a found device") << 1 << 2 << notUpdated;
    QTest::addRow("write after a detection without path") << 3 << 2 << notUpdated;
}
void TestCore::stepsOutOfOrderFail()
{
    QFETCH(int, setup);
    QFETCH(int, step);
    QFETCH(QStringList, events);
    CoreRun run;
    if (setup == 0)
        run.makeCore();
    else
        QVERIFY2(run.initialize(), qPrintable(run.error));
    if (setup >= 2)
        QVERIFY(run.found(setup == 2 ? QStringLiteral("/media/vault/") : QString()));
    run.events.clear();
    const std::function<void()> steps[] = { [&] { run.core->findDevice(); },
        [&] { run.core->checkFirmware(); }, [&] { run.core->updateFirmware(); } };
    steps[step]();
    QCOMPARE(run.events, events);
    QCOMPARE(run.detector->starts, setup >= 2 ? 1 : 0);
}

void TestCore::runsFromDetectionToResult()
{
    QTemporaryDir volume;
    const QString devicePath = volume.filePath(QStringLiteral("firmware.bin"));
    const QByteArray image = TestPackage::firmware("3-1.0.0.2", 300 * 1024);
    CoreRun run;
    run.package.setFirmware(image);
    QVERIFY2(run.initialize(), qPrintable(run.error));
    QVERIFY(CoreRun::writeFile(devicePath, TestPackage::firmware("3-1.0.0.1", 8192)));
    Core &core = *run.core;
    // As the pages do: the check inside deviceFound(true), the write inside firmwareChecked(true).
    connect(
        &core, &Core::deviceFound, &core, [&core](bool ok) { ok ? core.checkFirmware() : void(); });
    connect(&core, &Core::firmwareChecked, &core,
        [&core](bool ok) { ok ? core.updateFirmware() : void(); });
    QElapsedTimer clock;
    qint64 firstTick = -1, finishedAt = -1;
    connect(&core, &Core::progressChanged, this,
        [&] { firstTick = firstTick < 0 ? clock.elapsed() : firstTick; });
    connect(&core, &Core::firmwareUpdated, this, [&] { finishedAt = clock.elapsed(); });
    clock.start();
    QVERIFY(run.found(volume.path() + '/'));
    QCOMPARE(run.events, (QStringList { "deviceFound(true)", prev("1.0.0.1"), passed }));
    QCOMPARE(CoreRun::readFile(devicePath), image);

    QTRY_VERIFY_WITH_TIMEOUT(finishedAt >= 0, 15000);
    QCOMPARE(run.events.mid(3), QStringList { "firmwareUpdated(true)" });
    // Loose bounds: coarse timers may fire a few percent early, a busy machine late.
    QVERIFY2(finishedAt >= 4700 && finishedAt < 12000, qPrintable(QString::number(finishedAt)));
    QVERIFY(firstTick >= 90);
    QVERIFY2(run.progress.size() >= 30, qPrintable(QString::number(run.progress.size())));
    for (int i = 0; i < run.progress.size(); ++i)
        QCOMPARE(run.progress.at(i), 2 * (i + 1));
    const int ticks = run.progress.size();
    QTest::qWait(250);
    QCOMPARE(run.progress.size(), ticks);
    QCOMPARE(run.activeTimers(), 0);

    // The count belongs to the process: a second run goes on from where this one stopped.
    QVERIFY(CoreRun::writeFile(devicePath, TestPackage::firmware("3-1.0.0.1", 8192)));
    CoreRun second;
    QVERIFY(second.initialize() && second.found(volume.path() + '/'));
    second.core->checkFirmware();
    second.core->updateFirmware();
    QTRY_VERIFY(!second.progress.isEmpty());
    QCOMPARE(second.progress.first(), run.progress.last() + 2);
}

void TestCore::readsTags_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("record"); // "hardware version", empty: none
    const QByteArray end("\x0a\x0d");
    QTest::addRow("hardware and version") << "xxVer:12-1.2.3.4" + end + "yy"
                                          << "12 1.2.3.4";
    QTest::addRow("middle pieces ignored") << "Ver:12-X-0.9" + end << "12 0.9.0.0";
    QTest::addRow("no dash: one piece for both") << "Ver:1.2.3.4" + end << "0 1.2.3.4";
    QTest::addRow("empty version piece") << "Ver:7-" + end << "7 ";
    QTest::addRow("carriage return first is no terminator")
        << QByteArray("Ver:1-1.2\x0d\x0a") << "";
    QTest::addRow("terminator before the marker") << "a" + end + "Ver:3-1.0.0.1"
                                                  << "";
    QTest::addRow("no marker") << "ver:3-1.0.0.1" + end << "";
    QTest::addRow("two tags: the first counts")
        << "Ver:3-1.0.0.1" + end + "Ver:4-2.0.0.0" + end << "3 1.0.0.1";
    QTest::addRow("decoding stops at a zero byte")
        << "Ver:6-1.2.3.4" + QByteArray(1, '\0') + "-9.9" + end << "6 1.2.3.4";
    QTest::addRow("hardware id not a number") << "Ver:abc-1.0.0.1" + end << "0 1.0.0.1";
    QTest::addRow("empty file") << QByteArray() << "";
    // Version pieces: four hexadecimal groups at most, padded with zeros.
    for (const char *row : { "1.2 1.2.0.0", "2.10 2.16.0.0", "a.b.c.d 10.11.12.13",
             "1.2,3.4 1.2.3.4", "1.2x3.4 1.0.4.0", "1.G.3.4 1.0.3.4", "0.0.0.0 0.0.0.0" }) {
        const QList<QByteArray> io = QByteArray(row).split(' ');
        QTest::addRow("version %s", io[0].constData())
            << "Ver:1-" + io[0] + end << QString::fromLatin1("1 " + io[1]);
    }
    QTest::addRow("version with a trailing blank") << "Ver:1-1.2.3.4 " + end << "1 ";
    // The scanner reads 256 KiB chunks; marker, text and terminator may straddle them.
    for (int shift : { -16, -15, -14, -8, -3, -2, -1, 0 }) {
        QByteArray content(256 * 1024 + shift, 'V');
        content += "Ver:9-1.2.3.4" + end + QByteArray(300 * 1024, 'e');
        QTest::addRow("tag at chunk %+d", shift) << content << "9 1.2.3.4";
    }
    QTest::addRow("tag ending at the file's end")
        << QByteArray(3 * 256 * 1024 - 15, 'V') + "Ver:9-1.2.3.4" + end << "9 1.2.3.4";
}
void TestCore::readsTags()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, record);
    const std::unique_ptr<FirmwareInfo> info = readFirmwareInfo(newFile(content));
    QCOMPARE(info ? QStringLiteral("%1 %2").arg(info->hardwareId).arg(info->version.toString())
                  : QString(),
        record);
}

void TestCore::scannerStopsOnFaultsInBoundedMemory()
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Can not open file .*missing"));
    QVERIFY(!readFirmwareInfo(dir.filePath(QStringLiteral("missing"))));
    // Reading /proc/self/mem at offset 0 fails with EIO: a device that breaks mid-scan.
    QFile mem(QStringLiteral("/proc/self/mem"));
    QByteArray tag;
    QVERIFY(mem.open(QIODevice::ReadOnly) && !scanVersionTag(mem, &tag));
    // A tag that never ends is given up a little past a mebibyte, most of the input unread.
    QByteArray endless = "Ver:1-" + QByteArray(8 * MiB, '1');
    QBuffer buffer(&endless);
    QVERIFY(buffer.open(QIODevice::ReadOnly) && !scanVersionTag(buffer, &tag));
    QVERIFY(buffer.pos() < 2 * MiB);
    // More than 4 GiB of holes, the tag after them.
    const QString huge = dir.filePath(QStringLiteral("huge"));
    const QByteArray text = "Ver:8-2.0.0.1\x0a\x0d";
    const int fd = ::open(QFile::encodeName(huge).constData(), O_CREAT | O_WRONLY, 0600);
    const bool sparse
        = ::pwrite(fd, text.constData(), size_t(text.size()), 4097LL * MiB) == text.size();
    ::close(fd);
    if (!sparse)
        QSKIP("this file system cannot hold a sparse file beyond 4 GiB");
    const std::unique_ptr<FirmwareInfo> info = readFirmwareInfo(huge);
    QFile::remove(huge);
    QVERIFY(info && info->hardwareId == 8 && info->version.toString() == "2.0.0.1");
}

void TestCore::filesEqualComparesLengthThenEveryByte_data()
{
    QTest::addColumn<int>("writtenSize");
    QTest::addColumn<int>("flipAt");
    QTest::addColumn<bool>("equal");
    const int size = 2 * MiB + MiB / 2;
    QTest::addRow("equal over several chunks") << size << -1 << true;
    QTest::addRow("first byte differs") << size << 0 << false;
    QTest::addRow("last byte differs") << size << size - 1 << false;
    QTest::addRow("last byte of the first chunk differs") << size << MiB - 1 << false;
    QTest::addRow("first byte of the second chunk differs") << size << MiB << false;
    QTest::addRow("written one byte longer") << size + 1 << -1 << false;
    QTest::addRow("written one byte shorter") << size - 1 << -1 << false;
    QTest::addRow("two empty files") << 0 << -1 << true;
}
void TestCore::filesEqualComparesLengthThenEveryByte()
{
    QFETCH(int, writtenSize);
    QFETCH(int, flipAt);
    QFETCH(bool, equal);
    QByteArray bytes(qMax(writtenSize, 2 * MiB + MiB / 2), Qt::Uninitialized);
    quint32 state = 0x2545f491u;
    for (char &byte : bytes)
        byte = char((state = state * 1103515245u + 12345u) >> 23);
    const QString reference
        = newFile(equal ? bytes.left(writtenSize) : bytes.left(2 * MiB + MiB / 2));
    if (flipAt >= 0)
        bytes[flipAt] = char(bytes.at(flipAt) ^ 1);
    const QString written = newFile(bytes.left(writtenSize));
    // Read access times set back: only a read moves them forward again.
    const timespec old[2] = { { 1000, 0 }, { 0, UTIME_OMIT } };
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(written).constData(), old, 0) == 0);
    QCOMPARE(filesEqual(written, reference), equal);
    if (writtenSize > 0) // reading an empty file need not touch it
        QCOMPARE(QFileInfo(written).lastRead().toSecsSinceEpoch() == 1000, flipAt < 0 && !equal);
    QVERIFY(!filesEqual(dir.filePath(QStringLiteral("missing")), reference));
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // "probe ARGS...": print the force mode Core reads from this command line.
    if (app.arguments().value(1) == QLatin1String("probe"))
        return std::printf("%d\n", Core().forceMode() ? 1 : 0) < 0;
    QStringList arguments = app.arguments();
    arguments.removeAll(QStringLiteral("--force-mode"));
    TestCore test;
    return QTest::qExec(&test, arguments);
}

#include "tst_core.moc"
