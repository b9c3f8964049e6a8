#include "closeautoplaypopuptask.h"
#include "devicedetector.h"
#include "uncachedfile.h"
#include "windetector.h"
#include "windetectorhelper.h"
#include "winsim.h"

#include <QAbstractEventDispatcher>
#include <QThreadPool>
#include <QtTest>

#include <dbt.h>

using Setup = std::function<void()>;
Q_DECLARE_METATYPE(Setup)

namespace {

const QString product = QStringLiteral("USB\\VID_1A2B&PID_3C4D\\TS0001");
const QByteArray windowsMsg = QByteArrayLiteral("windows_generic_MSG");
constexpr int mib = 1024 * 1024; // the file comparison's reads, and the uncached reader's blocks

void addVolume(char letter, std::optional<DWORD> number, UINT type = DRIVE_REMOVABLE)
{
    const QString path = QStringLiteral("\\\\.\\%1:").arg(letter);
    WinSim::machine.devices.append({ path, number, 0, type });
}

// A USB stick as Windows shows it: the USB device, its disk as first child with an interface
// whose path outgrows a 1024-byte buffer, and a volume.
void plug(
    const QString &usbId, std::optional<DWORD> number, char letter, UINT type = DRIVE_REMOVABLE)
{
    const DEVINST disk = WinSim::addDevice("USBSTOR\\DISK", WinSim::addDevice(usbId));
    const QString path = QStringLiteral("\\\\?\\usbstor#disk#%1#").arg(number.value_or(0));
    WinSim::machine.devices.append({ path.leftJustified(700, 'x'), number, disk, 0 });
    addVolume(letter, number.value_or(0), type);
}

// A volume arrival record of recordSize bytes, as its size field states.
QByteArray arrival(DWORD unitMask, DWORD type = DBT_DEVTYP_VOLUME, DWORD recordSize = 20)
{
    const DEV_BROADCAST_VOLUME volume = { recordSize, type, 0, unitMask, 0 };
    return QByteArray(reinterpret_cast<const char *>(&volume), int(recordSize));
}

} // namespace

class TestWinDetector : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QThreadPool::globalInstance()->setMaxThreadCount(4); }
    void init() { WinSim::machine = WinSim::Machine(); }
    void cleanup()
    {
        WinSim::holdSleepers(false);
        QThreadPool::globalInstance()->waitForDone();
        const WinSim::Machine &m = WinSim::machine;
        QCOMPARE(m.handles.size() + m.processHandles.size() + m.openFiles.size() + m.sets.size()
                + m.allocations + m.badReleases,
            0);
    }

    void reportsOnlyTheProductsVolumeArrival_data();
    void reportsOnlyTheProductsVolumeArrival();
    void closesAutoPlayPopUps_data();
    void closesAutoPlayPopUps();
    void readsFilesPastTheCache_data();
    void readsFilesPastTheCache();
};

void TestWinDetector::reportsOnlyTheProductsVolumeArrival_data()
{
    QTest::addColumn<QByteArray>("eventType");
    QTest::addColumn<UINT>("id");
    QTest::addColumn<WPARAM>("event");
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QString>("vid");
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QChar>("letter"); // that the filter reports; null: passed on untouched
    QTest::addColumn<QString>("mountPath"); // empty: not the product's
    const Setup productOnE = [] { plug(product, 3, 'E'); };
    const auto message = [=](const char *name, const QByteArray &record, char letter,
                             const QByteArray &type = windowsMsg, UINT id = WM_DEVICECHANGE,
                             WPARAM event = DBT_DEVICEARRIVAL) {
        QTest::addRow("%s", name) << type << id << event << record << "0x1A2B" << productOnE
                                  << QChar(letter) << QString(letter == 'E' ? "E:/" : "");
    };
    const auto volume = [](const char *name, char letter, const char *path, Setup setup,
                            const QString &vid = "0x1A2B") {
        QTest::addRow("%s", name) << windowsMsg << UINT(WM_DEVICECHANGE)
                                  << WPARAM(DBT_DEVICEARRIVAL) << arrival(1u << (letter - 'A'))
                                  << vid << setup << QChar(letter) << QString(path);
    };
    const DWORD e = 1u << ('E' - 'A');

    message("dispatcher's copy of an arrival", arrival(e), 0, "windows_dispatcher_MSG");
    message("volume removal", arrival(e), 0, windowsMsg, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE);
    message("other message with the arrival code", arrival(e), 0, windowsMsg, WM_CLOSE);
    message("arrival of a port", arrival(e, DBT_DEVTYP_PORT), 0);
    message("empty mask: the character after Z", arrival(0), '[');
    // Windows guarantees only the stated size behind lParam.
    message("null record", QByteArray(), 0);
    message("one byte of the mask", arrival(e, DBT_DEVTYP_VOLUME, 13), 0);

    volume("product on E", 'E', "E:/", productOnE);
    volume(
        "one-character vid", 'E', "E:/", [] { plug("USB\\VID_7&PID_3C4D\\1", 3, 'E'); }, "7");
    volume("other product id", 'E', "", [] { plug("USB\\VID_1A2B&PID_3C4E\\1", 3, 'E'); });
    volume("product on Z", 'Z', "Z:/", [] { plug(product, 3, 'Z'); });
    volume("product on a fixed disk", 'E', "", [] { plug(product, 3, 'E', DRIVE_FIXED); });
    // 0 is also what an unchecked failed query leaves.
    volume("volume without a device number", 'E', "", [] {
        plug(product, 0, 'F', DRIVE_FIXED);
        addVolume('E', std::nullopt);
    });
    volume("first match without a child passed over", 'E', "E:/", [] {
        WinSim::addDevice(product + "X");
        plug(product, 3, 'E');
    });
    volume("two volumes on one disk: the later wins", 'G', "G:/", [] {
        plug(product, 3, 'E');
        addVolume('G', 3);
    });
    // Portable-device nodes appear right after a volume mounts, between the size and the fetch.
    volume("list growing once before the fetch", 'E', "E:/", [] {
        plug(product, 3, 'E');
        WinSim::machine.listGrowths = 1;
    });
    volume("list growing at every fetch", 'E', "", [] {
        plug(product, 3, 'E');
        WinSim::machine.listGrowths = 1000;
    });
    volume("disk interfaces cannot be listed", 'E', "", [] {
        plug(product, 3, 'E');
        WinSim::machine.failDeviceInfoSets = true;
    });
}

// Through the door the application uses, twice, with the pop-up closers held in their first sleep.
void TestWinDetector::reportsOnlyTheProductsVolumeArrival()
{
    QFETCH(QByteArray, eventType);
    QFETCH(UINT, id);
    QFETCH(WPARAM, event);
    QFETCH(QByteArray, record);
    QFETCH(QString, vid);
    QFETCH(Setup, setup);
    QFETCH(QChar, letter);
    QFETCH(QString, mountPath);
    // A system disk, which must never be taken for the product's.
    const DEVINST systemDisk = WinSim::addDevice("SCSI\\DISK");
    WinSim::machine.devices.append({ "\\\\?\\scsi#disk", 1, systemDisk, 0 });
    addVolume('C', 1, DRIVE_FIXED);
    setup();
    WinSim::holdSleepers(true);
    WinDetector *winDetector = nullptr;
    auto detector = std::make_unique<DeviceDetector>([&](std::function<void()> callback) {
        auto made = std::make_unique<WinDetector>(std::move(callback));
        winDetector = made.get();
        return made;
    });
    QStringList reports, expected;
    connect(
        detector.get(), &DeviceDetector::detected, [&](const QString &path) { reports << path; });
    MSG msg = { nullptr, id, event, record.isEmpty() ? 0 : LPARAM(record.constData()) };
    long result = -7;
    const auto dispatch = [&] {
        return QAbstractEventDispatcher::instance()->filterNativeEvent(eventType, &msg, &result);
    };

    QVERIFY2(!dispatch(), "filter installed before start");
    detector->start(vid, "0x3c4d", "Tarsel Updater");
    QSignalSpy appeared(
        winDetector->findChild<WinDetectorHelper *>(), &WinDetectorHelper::diskAppeared);
    for (int arrivals = 1; arrivals <= 2; ++arrivals) {
        QCOMPARE(dispatch(), !letter.isNull());
        QCOMPARE(result, letter.isNull() ? -7L : 1L);
        QCOMPARE(appeared.count(), letter.isNull() ? 0 : arrivals);
        if (!letter.isNull())
            QCOMPARE(appeared.last().first().value<QChar>(), letter);
        if (!mountPath.isEmpty())
            expected << mountPath;
        QCOMPARE(reports, expected);
        // One pop-up closer per report, each held in its first sleep.
        QCOMPARE(QThreadPool::globalInstance()->activeThreadCount(), expected.size());
    }
    detector.reset();
    QVERIFY2(!dispatch(), "filter left installed");
}

void TestWinDetector::closesAutoPlayPopUps_data()
{
    QTest::addColumn<QStringList>("titles");
    // Per window, then for the desktop, the owning process (the digit), 1 where missing: 1 is the
    // desktop's explorer.exe, 2 one with folder windows, 3 a browser.
    QTest::addColumn<QString>("owners");
    QTest::addColumn<QVector<int>>("firstClose"); // per window, on the simulated clock; -1: never
    QTest::addColumn<bool>("stays"); // the windows ignore WM_CLOSE
    QTest::addColumn<int>("end");
    const QString autoPlay = QStringLiteral("AutoPlay");
    const QString last = QString(2048, 'x').replace(2039, 8, autoPlay);
    const auto row = [](const char *name, QStringList titles, QVector<int> firstClose,
                         QString owners = QString(), bool stays = false, int end = 3000) {
        QTest::addRow("%s", name) << titles << owners << firstClose << stays << end;
    };

    row("pop-up", { autoPlay }, { 0 });
    row("lower-case autoplay", { "autoplay" }, { -1 });
    row("untitled window before the pop-up", { "", autoPlay }, { -1, 0 });
    row("fragment ending at the 2047th character", { last }, { 0 });
    row("two pop-ups, one per pass", { "AutoPlay 1", "AutoPlay 2" }, { 0, 50 });
    // Found again on every pass, past the three-second watch, but not for ever.
    row("pop-up ignoring WM_CLOSE", { autoPlay }, { 0 }, "", true, 10000);
    row("browser's AutoPlay settings page before the pop-up", { "AutoPlay settings", autoPlay },
        { -1, 0 }, "31");
    row("folder window of a second explorer.exe", { autoPlay }, { -1 }, "2");
    row("another program as the shell", { autoPlay }, { -1 }, "33");
}

void TestWinDetector::closesAutoPlayPopUps()
{
    QFETCH(QStringList, titles);
    QFETCH(QString, owners);
    QFETCH(QVector<int>, firstClose);
    QFETCH(bool, stays);
    QFETCH(int, end);
    WinSim::Machine &m = WinSim::machine;
    m.processes = { { 1, "C:\\Windows\\Explorer.EXE" }, { 2, "C:\\Windows\\explorer.exe" },
        { 3, "C:\\Program Files\\Browser\\browser.exe" } };
    owners = owners.leftJustified(titles.size() + 1, '1');
    titles << "Program Manager";
    for (int i = 0; i < titles.size(); ++i)
        m.windows.append({ titles[i], !stays, false, {}, DWORD(owners[i].digitValue()) });
    m.shellWindow = quintptr(titles.size());

    CloseAutoPlayPopUpTask().run();

    QCOMPARE(m.clock, ULONGLONG(end));
    for (int i = 0; i < firstClose.size(); ++i) {
        const QVector<WinSim::Sent> sent = m.windows[i].sent;
        QCOMPARE(sent.isEmpty() ? -1 : int(sent.first().time), firstClose[i]);
        // One close, or one every 50 ms to the end for a window that stays.
        QCOMPARE(sent.size(), firstClose[i] < 0 ? 0 : stays ? end / 50 + 1 : 1);
        for (const WinSim::Sent &s : sent)
            QVERIFY(s.message == WM_CLOSE && s.flags == SMTO_ABORTIFHUNG && s.timeout == 500);
    }
}

void TestWinDetector::readsFilesPastTheCache_data()
{
    QTest::addColumn<int>("size"); // -1: no such file
    QTest::addColumn<int>("sectorSize");
    QTest::addColumn<int>("readSize");
    const auto row = [](const char *name, int size, int sectorSize = 512, int readSize = mib) {
        QTest::addRow("%s", name) << size << sectorSize << readSize;
    };

    row("empty", 0);
    row("one byte", 1);
    row("a sector less one", 511);
    row("a 4096-byte sector and one byte", 4097, 4096);
    row("a block and 513 bytes", mib + 513);
    row("three blocks", 3 * mib);
    row("in reads of 1000 bytes", 2 * mib + 1, 4096, 1000);
    // Taken for an empty file, it would match an empty package.
    row("missing", -1);
}

void TestWinDetector::readsFilesPastTheCache()
{
    QFETCH(int, size);
    QFETCH(int, sectorSize);
    QFETCH(int, readSize);
    QByteArray disk(qMax(size, 0), Qt::Uninitialized);
    for (int i = 0; i < disk.size(); ++i)
        disk[i] = char(i * 7 + i / 509);
    const QString path = QStringLiteral("E:\\firmware.bin");
    if (size >= 0)
        WinSim::machine.files.insert(path, { disk, DWORD(sectorSize), {} });

    QByteArray read;
    {
        UncachedFileReader reader("E:/firmware.bin");
        QByteArray chunk(readSize, Qt::Uninitialized);
        qint64 n;
        while ((n = reader.read(chunk.data(), readSize)) > 0)
            read += chunk.left(int(n));
        QCOMPARE(n, size < 0 ? -1 : 0);
    }
    QCOMPARE(read, disk);
    const QVector<DWORD> opens = WinSim::machine.files.value(path).opens;
    QCOMPARE(opens.size(), size < 0 ? 0 : 1);
    QVERIFY(std::all_of(
        opens.cbegin(), opens.cend(), [](DWORD flags) { return flags & FILE_FLAG_NO_BUFFERING; }));
}

QTEST_GUILESS_MAIN(TestWinDetector)
#include "tst_windetector.moc"
