#include "corerun.h"
#include "firmwarefile.h"
#include "firmwareinfo.h"

#include <QtTest>

namespace {
constexpr int MiB = 1024 * 1024;

// "bad", "hw" (other hardware), "ok" (passed, version unchanged), "V:ok" or "V:same" (the
// device's version V taken over, then passed or found not older).
QStringList checkEvents(const QString &outcome)
{
    const QString result = outcome.section(':', -1);
    const QStringList failed = CoreRun::failed("firmwareChecked",
        result == "bad"      ? "CheckFirmwareError"
            : result == "hw" ? "FirmwareBad_HWError"
                             : "FirmwareSame_FWError");
    QStringList events = outcome.contains(':')
        ? QStringList { "previousFirmwareVersionChanged(" + outcome.section(':', 0, 0) + ')' }
        : QStringList();
    return events + (result == "ok" ? QStringList { "firmwareChecked(true)" } : failed);
}
} // namespace

// Core through the doors the pages use, and the readers below it on plain files. Runs a second
// time under CTest with --force-mode, for the check's force column.
class TestCore : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    int files = 0;
    QString newFile(const QByteArray &content)
    {
        const QString path = dir.filePath(QString::number(++files));
        return CoreRun::writeFile(path, content) ? path : QString();
    }

private slots:
    void modesFollowTheCommandLine_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("output"); // force mode, recovery mode
        // An option the updater does not know, or a value given to one, turns both modes off.
        for (const char *row : { "--force-mode|1 0", "--recover|0 1", "--recover --force-mode|1 1",
                 "--recover --force-mode -x|0 0", "--recover=yes|0 0" }) {
            const QStringList io = QString(row).split('|');
            QTest::addRow("%s", row) << io[0] << io[1] + '\n';
        }
    }
    void modesFollowTheCommandLine()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, output);
        QProcess probe;
        // Text mode: Windows ends the probe's line with \r\n.
        probe.start(QCoreApplication::applicationFilePath(),
            QStringList { "probe" } + arguments.split(' '), QIODevice::ReadOnly | QIODevice::Text);
        QVERIFY(probe.waitForFinished(30000) && probe.exitCode() == 0);
        QCOMPARE(QString::fromLatin1(probe.readAllStandardOutput()), output);
    }

    void initializesFromThePackage()
    {
        // Untagged firmware, a tag without version segments; a package without a device name.
        for (const QByteArray &image : { QByteArray(4096, 'x'), TestPackage::firmware("3-") }) {
            CoreRun run;
            run.package.setFile("firmware.bin", image);
            run.package.setFile("device.xml", TestPackage::deviceXml(QString()));
            QVERIFY2(run.initialize(), qPrintable(run.error));
            QCOMPARE(run.core->newFirmwareVersion(), image.startsWith('x') ? "0.0.0.0" : "");
            QCOMPARE(run.core->deviceName(), "[device_name]");
        }
        CoreRun run;
        QVERIFY2(run.initialize(), qPrintable(run.error));
        Core &core = *run.core;
        QSignalSpy changed(&core, &Core::newFirmwareVersionChanged);
        QVERIFY(!core.initialize(core.productResource()) && changed.isEmpty());
        QCOMPARE(core.deviceName() + core.newFirmwareVersion(), "Tarsel Test Drive1.0.0.2");
        // The setters signal changes only; QML may write a code outside the list.
        for (int code : { 0, 2, 2, 42 })
            core.setProperty("errorCode", code);
        for (const char *version : { "0.0.0.0", "1.0.0.1", "1.0.0.1" })
            core.setPreviousFirmwareVersion(version);
        QCOMPARE(run.events,
            (QStringList { "errorCodeChanged(CheckFirmwareError)", "errorCodeChanged(?)",
                "previousFirmwareVersionChanged(1.0.0.1)" }));
    }

    void searchArmsDetectorAndEndsOnce_data()
    {
        QTest::addColumn<QString>("mountPath"); // null: the search times out first
        QTest::addColumn<QStringList>("events");
        const QStringList notFound = CoreRun::failed("deviceFound", "FindDeviceError");
        QTest::addRow("mount path") << "/media/vault/" << QStringList { "deviceFound(true)" };
        QTest::addRow("empty mount path") << "" << notFound;
        QTest::addRow("time-out, then a late volume")
            << QString() << notFound + QStringList { "deviceFound(true)" };
    }
    void searchArmsDetectorAndEndsOnce()
    {
        QFETCH(QString, mountPath);
        QFETCH(QStringList, events);
        CoreRun run;
        run.package.setFile("device.xml", TestPackage::deviceXml("Vault", "0x0abc", "0x0def"));
        QVERIFY2(run.initialize(), qPrintable(run.error));
        Core &core = *run.core;
        core.findDevice();
        QCOMPARE(
            run.detector->startArguments, (QStringList { "0x0abc", "0x0def", "Vault Update" }));
        QTimer *timer = core.findChild<QTimer *>();
        QVERIFY(timer && timer->isActive() && timer->interval() == 300000);
        timer->start(40);
        if (mountPath.isNull()) {
            QTRY_VERIFY(!run.events.isEmpty());
            QTest::qWait(200); // a timer left running would report again
            mountPath = "/media/late/";
        }
        QString seenInHandler;
        connect(&core, &Core::deviceFound, this, [&] {
            // Released later, not inside its own emission.
            seenInHandler = core.device()->mountPath() + (run.detector->destroyed ? "gone" : "");
        });
        QVERIFY(run.detector->report(mountPath));
        QCOMPARE(seenInHandler, mountPath);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!core.deviceDetector() && run.detector->destroyed);
        // A stopped timer reports no time-out; a second search neither starts nor re-arms anything.
        QTest::qWait(200);
        QCOMPARE(run.events, events);
        core.findDevice();
        QCOMPARE(run.events.value(events.size()) + QString::number(run.detector->starts),
            "deviceFound(false)1");
    }

    void checkDecidesAsVersionsAndPackageSay_data()
    {
        // Packaged tag ("-": untagged); device: a tag, "=" (the packaged image), "missing",
        // "empty", "folder", "link" (to the packaged image), "untagged", or "gone" (the package
        // after initialising); firmware.md5 (see md5s); outcome without options, with
        // --force-mode, with --recover and with both, see checkEvents ("written": "ok", then a
        // write); "=" or none: as without --recover, or else as without options.
        QTest::addColumn<QString>("row");
        // A cut or damaged copy of the packaged image carries its tag too, as does one an
        // interrupted update cut short after the tag.
        QTest::addRow("equal version, other bytes") << "3-1.0.0.2 3-1.0.0.2 std 1.0.0.2:written =";
        QTest::addRow("the packaged image") << "3-1.0.0.2 = std 1.0.0.2:same 1.0.0.2:ok";
        // As text 1.0.0.10 sorts before 1.0.0.2; as numbers it is newer.
        QTest::addRow("newer as numbers") << "3-1.0.0.2 3-1.0.0.A std 1.0.0.10:same 1.0.0.10:ok";
        QTest::addRow("other hardware, equal") << "3-1.0.0.2 4-1.0.0.2 std hw 1.0.0.2:ok";
        QTest::addRow("device version as the initial text") << "3-1.0.0.2 3-0.0.0.0 std ok =";
        QTest::addRow("digest alone, in upper case") << "3-1.0.0.2 3-1.0.0.1 bare 1.0.0.1:ok =";
        QTest::addRow("digest and a line break") << "3-1.0.0.2 3-1.0.0.1 newline bad 1.0.0.1:ok";
        QTest::addRow("digest up to a zero byte") << "3-1.0.0.2 3-1.0.0.1 zero 1.0.0.1:ok =";
        QTest::addRow("damaged package") << "3-1.0.0.2 3-1.0.0.1 damaged bad 1.0.0.1:ok";
        // What an interrupted update leaves: only --recover replaces it.
        QTest::addRow("no firmware.bin on the volume")
            << "3-1.0.0.2 missing std bad = written written";
        QTest::addRow("empty firmware.bin") << "3-1.0.0.2 empty std bad = written written";
        QTest::addRow("device firmware without a tag")
            << "3-1.0.0.2 untagged std bad = written written";
        QTest::addRow("firmware.bin is a folder") << "3-1.0.0.2 folder std bad =";
        QTest::addRow("firmware.bin is a link") << "3-1.0.0.2 link std bad =";
        QTest::addRow("packaged firmware without a tag") << "- 3-1.0.0.1 std bad =";
        QTest::addRow("package gone after initialising") << "3-1.0.0.2 gone std bad =";
        QTest::addRow("device version without segments") << "3-1.0.0.2 3- std :ok =";
        QTest::addRow("packaged without segments") << "3- 3-0.0.0.1 std 0.0.0.1:same 0.0.0.1:ok";
        QTest::addRow("neither version has segments") << "3- 3- std :ok =";
    }
    void checkDecidesAsVersionsAndPackageSay()
    {
        QFETCH(QString, row);
        const QStringList column = row.split(' ');
        const QByteArray packaged = column[0].toLatin1(), device = column[1].toLatin1();
#ifdef Q_OS_WIN
        if (device == "link")
            QSKIP("QFile::link makes a shortcut on Windows, not a link");
#endif
        QTemporaryDir volume;
        CoreRun run;
        const QByteArray image
            = packaged == "-" ? QByteArray(4096, 'x') : TestPackage::firmware(packaged);
        const QByteArray digest = QCryptographicHash::hash(image, QCryptographicHash::Md5).toHex();
        const QMap<QString, QByteArray> md5s { { "std", "firmware.bin " + digest },
            { "bare", digest.toUpper() }, { "newline", "firmware.bin " + digest + '\n' },
            { "zero", "firmware.bin " + digest + '\0' + 'x' },
            { "damaged", "firmware.bin 0123456789abcdef0123456789abcdef" } };
        run.package.setFile("firmware.bin", image);
        run.package.setFile("firmware.md5", md5s.value(column[2]));
        QVERIFY2(run.initialize(), qPrintable(run.error));
        const QString devicePath = volume.filePath("firmware.bin");
        const QByteArray deviceImage = device == "=" ? image
            : device == "empty"                      ? QByteArray()
            : device == "untagged"
            ? QByteArray(2048, 'y')
            : TestPackage::firmware(device == "gone" ? "3-1.0.0.1" : device, 2048);
        QVERIFY(device == "missing"
            || (device == "folder"     ? QDir().mkdir(devicePath)
                    : device == "link" ? QFile::link(newFile(image), devicePath)
                                       : CoreRun::writeFile(devicePath, deviceImage)));
        QVERIFY2(run.found(volume.path() + '/'), qPrintable(run.error));
        if (device == "gone")
            run.package.unregisterPackage();
        run.events.clear();
        run.core->checkFirmware();
        int at = 3 + int(run.core->forceMode()) + 2 * int(run.core->recoveryMode());
        while (column.value(at, "=") == "=")
            at = at >= 5 ? at - 2 : 3;
        const QString outcome = QString(column[at]).replace("written", "ok");
        QCOMPARE(run.events, checkEvents(outcome));
        QCOMPARE(run.core->previousFirmwareVersion(),
            outcome.contains(':') ? outcome.section(':', 0, 0) : "0.0.0.0");
        if (column[at].endsWith("written")) {
            QVERIFY(run.update());
            QCOMPARE(run.activeTimers(), 2);
            QCOMPARE(CoreRun::readFile(devicePath), image);
        } else {
            QCOMPARE(QFileInfo(devicePath).isSymLink(), device == "link");
        }
    }

    void stepsOutOfOrderFail_data()
    {
        QTest::addColumn<int>("setup"); // no package, initialised, found, found without path
        QTest::addColumn<int>("step"); // search, check, write
        QTest::addRow("search before initialising") << 0 << 0;
        QTest::addRow("search again, detector release pending") << 2 << 0;
        QTest::addRow("check before initialising") << 0 << 1;
        QTest::addRow("check without a found device") << 1 << 1;
        QTest::addRow("write before initialising") << 0 << 2;
        QTest::addRow("write without a found device") << 1 << 2;
        QTest::addRow("write after a detection without path") << 3 << 2;
    }
    void stepsOutOfOrderFail()
    {
        QFETCH(int, setup);
        QFETCH(int, step);
        CoreRun run;
        if (setup == 0)
            run.makeCore();
        else
            QVERIFY2(run.initialize(), qPrintable(run.error));
        QVERIFY(setup < 2 || run.found(setup == 2 ? "/media/vault/" : ""));
        run.events.clear();
        const std::function<void()> steps[] = { [&] { run.core->findDevice(); },
            [&] { run.core->checkFirmware(); }, [&] { run.core->updateFirmware(); } };
        steps[step]();
        const char *failure[][2]
            = { { "deviceFound", "FindDeviceError" }, { "firmwareChecked", "CheckFirmwareError" },
                  { "firmwareUpdated", "UpdateFirmwareError" } };
        QCOMPARE(run.events, CoreRun::failed(failure[step][0], failure[step][1]));
        QCOMPARE(run.detector->starts, setup >= 2 ? 1 : 0);
    }

    void runsFromDetectionToResult()
    {
        QTemporaryDir volume;
        const QString devicePath = volume.filePath("firmware.bin");
        const QByteArray image = TestPackage::firmware("3-1.0.0.2", 300 * 1024);
        CoreRun run;
        run.package.setFirmware(image);
        QVERIFY2(run.initialize(), qPrintable(run.error));
        QVERIFY(CoreRun::writeFile(devicePath, TestPackage::firmware("3-1.0.0.1", 8192)));
        Core &core = *run.core;
        // As the pages do: check inside deviceFound(true), write inside firmwareChecked(true).
        connect(&core, &Core::deviceFound, &core,
            [&core](bool ok) { ok ? core.checkFirmware() : void(); });
        connect(&core, &Core::firmwareChecked, &core,
            [&core](bool ok) { ok ? core.updateFirmware() : void(); });
        QElapsedTimer clock;
        qint64 firstTick = -1, finishedAt = -1;
        connect(&core, &Core::progressChanged, this,
            [&] { firstTick = firstTick < 0 ? clock.elapsed() : firstTick; });
        connect(&core, &Core::firmwareUpdated, this, [&] { finishedAt = clock.elapsed(); });
        clock.start();
        QVERIFY(run.found(volume.path() + '/'));
        QCOMPARE(run.events, QStringList { "deviceFound(true)" } + checkEvents("1.0.0.1:ok"));
        QTRY_VERIFY_WITH_TIMEOUT(finishedAt >= 0, 15000);
        QCOMPARE(CoreRun::readFile(devicePath), image);
        QCOMPARE(run.events.mid(3), QStringList { "firmwareUpdated(true)" });
        // Loose bounds: coarse timers may fire a few percent early, a busy machine late.
        QVERIFY2(finishedAt >= 4700 && finishedAt < 12000 && firstTick >= 90,
            qPrintable(QString::number(finishedAt)));
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

    void readsTags_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("record"); // "hardware version", empty: none
        const QByteArray end("\x0a\x0d");
        QTest::addRow("the first of two tags, amid other bytes")
            << "xxVer:12-1.2.3.4" + end + "Ver:4-2.0.0.0" + end << "12 1.2.3.4";
        QTest::addRow("middle pieces ignored") << "Ver:12-X-0.9" + end << "12 0.9.0.0";
        QTest::addRow("no dash: one piece for both") << "Ver:1.2.3.4" + end << "0 1.2.3.4";
        QTest::addRow("empty version piece") << "Ver:7-" + end << "7 ";
        QTest::addRow("0D 0A is no terminator") << QByteArray("Ver:1-1.2\x0d\x0a") << "";
        QTest::addRow("terminator before the marker") << "a" + end + "Ver:3-1.0.0.1"
                                                      << "";
        QTest::addRow("no marker") << "ver:3-1.0.0.1" + end << "";
        QTest::addRow("decoding stops at a zero byte")
            << "Ver:6-1.2.3.4" + QByteArray(1, '\0') + "-9.9" + end << "6 1.2.3.4";
        QTest::addRow("hardware id not a number") << "Ver:abc-1.0.0.1" + end << "0 1.0.0.1";
        // Version pieces: four hexadecimal groups at most, padded with zeros.
        for (const char *row :
            { "1.2 1.2.0.0", "2.10 2.16.0.0", "a.b.c.d 10.11.12.13", "1.2,3.4 1.2.3.4",
                "1.2x3.4 1.0.4.0", "1.G.3.4 1.0.3.4", "0.0.0.0 0.0.0.0", "1.2.3.4_ " }) {
            QList<QByteArray> io = QByteArray(row).split(' ');
            QTest::addRow("version %s", io[0].constData())
                << "Ver:1-" + io[0].replace('_', ' ') + end << QString("1 " + io[1]);
        }
        // The scanner reads 256 KiB chunks; marker, text and terminator may straddle them.
        for (int shift : { -16, -15, -14, -8, -3, -2, -1, 0 }) {
            const QByteArray content = QByteArray(256 * 1024 + shift, 'V') + "Ver:9-1.2.3.4" + end;
            QTest::addRow("tag at chunk %+d", shift)
                << content + QByteArray(300 * 1024, 'e') << "9 1.2.3.4";
        }
        QTest::addRow("tag ending the file")
            << QByteArray(3 * 256 * 1024 - 15, 'V') + "Ver:9-1.2.3.4" + end << "9 1.2.3.4";
    }
    void readsTags()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, record);
        const std::unique_ptr<FirmwareInfo> info = readFirmwareInfo(newFile(content));
        QCOMPARE(
            info ? QString::number(info->hardwareId) + ' ' + info->version.toString() : "", record);
    }

    void scannerStopsOnFaultsInBoundedMemory()
    {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Can not open file .*missing"));
        QVERIFY(!readFirmwareInfo(dir.filePath("missing")));
        // Reading /proc/self/mem at offset 0 fails with EIO: a device that breaks mid-scan.
        QFile mem("/proc/self/mem");
        QByteArray tag;
        QVERIFY(mem.open(QIODevice::ReadOnly) && !scanVersionTag(mem, &tag));
        // A tag that never ends is given up a little past a mebibyte, most of the input unread.
        QByteArray endless = "Ver:1-" + QByteArray(8 * MiB, '1');
        QBuffer buffer(&endless);
        QVERIFY(buffer.open(QIODevice::ReadOnly) && !scanVersionTag(buffer, &tag));
        QVERIFY(buffer.pos() < 2 * MiB);
    }

    void filesEqualComparesLengthThenEveryByte_data()
    {
        QTest::addColumn<int>("writtenSize");
        QTest::addColumn<int>("flipAt");
        QTest::addColumn<bool>("equal");
        const int size = 2 * MiB + MiB / 2;
        QTest::addRow("equal over several chunks") << size << -1 << true;
        QTest::addRow("first byte differs") << size << 0 << false;
        QTest::addRow("last byte differs") << size << size - 1 << false;
        QTest::addRow("last byte of the first chunk differs") << size << MiB - 1 << false;
        QTest::addRow("written one byte longer") << size + 1 << -1 << false;
        QTest::addRow("written one byte shorter") << size - 1 << -1 << false;
        QTest::addRow("two empty files") << 0 << -1 << true;
    }
    void filesEqualComparesLengthThenEveryByte()
    {
        QFETCH(int, writtenSize);
        QFETCH(int, flipAt);
        QFETCH(bool, equal);
        QByteArray bytes(qMax(writtenSize, 2 * MiB + MiB / 2), Qt::Uninitialized);
        quint32 state = 0x2545f491u;
        for (char &byte : bytes)
            byte = char((state = state * 1103515245u + 12345u) >> 23);
        const QString reference = newFile(bytes.left(equal ? writtenSize : 2 * MiB + MiB / 2));
        if (flipAt >= 0)
            bytes[flipAt] = char(bytes.at(flipAt) ^ 1);
        const QString written = newFile(bytes.left(writtenSize));
        QCOMPARE(filesEqual(written, reference), equal);
        QVERIFY(!filesEqual(dir.filePath("missing"), reference));
        // procfs gives a size of 0 whatever it reads: sizes that differ are a mismatch already.
        const QString proc = "/proc/sys/kernel/ostype";
        QVERIFY(!filesEqual(proc, newFile(CoreRun::readFile(proc))));
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // "probe ARGS...": print the modes Core reads from this command line.
    if (app.arguments().value(1) == "probe") {
        const Core core;
        return std::printf("%d %d\n", int(core.forceMode()), int(core.recoveryMode())) < 0;
    }
    QStringList arguments = app.arguments();
    arguments.removeAll("--force-mode");
    arguments.removeAll("--recover");
    TestCore test;
    return QTest::qExec(&test, arguments);
}

#include "tst_core.moc"
