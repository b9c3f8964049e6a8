#include "closeautoplaypopuptask.h"
#include "devicedetector.h"
#include "devicehandle.h"
#include "windetector.h"
#include "windetectorhelper.h"
#include "winsim.h"

#include <QAbstractEventDispatcher>
#include <QThreadPool>
#include <QtTest>

#include <dbt.h>

using Setup = std::function<void()>;
Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(WinSim::Access)

namespace {

const QString product = QStringLiteral("USB\\VID_1A2B&PID_3C4D\\TS0001");
const QString otherStick = QStringLiteral("USB\\VID_0951&PID_1666\\OTHER");
const QByteArray windowsMsg = QByteArrayLiteral("windows_generic_MSG");

void addVolume(char letter, std::optional<DWORD> number, UINT type = DRIVE_REMOVABLE)
{
    WinSim::machine.devices.append(
        { QStringLiteral("\\\\.\\%1:").arg(letter), number, WinSim::Access::Query, 0, type });
}

// A USB stick as Windows shows it: the USB device, its disk as first child with an interface,
// and a volume unless letter is 0.
void plug(const QString &usbId, DWORD number, char letter = 0, UINT type = DRIVE_REMOVABLE,
    int pathLength = 40)
{
    const DEVINST disk = WinSim::addDevice("USBSTOR\\DISK", WinSim::addDevice(usbId));
    const QString path = QStringLiteral("\\\\?\\usbstor#disk#%1#").arg(number);
    WinSim::machine.devices.append(
        { path.leftJustified(pathLength, 'x'), number, WinSim::Access::Query, disk, 0 });
    if (letter)
        addVolume(letter, number, type);
}

DWORD bit(char letter)
{
    return DWORD(1) << (letter - 'A');
}

// A volume arrival record of recordSize bytes, as its size field states.
QByteArray arrival(DWORD unitMask, DWORD type = DBT_DEVTYP_VOLUME, DWORD recordSize = 20)
{
    const DEV_BROADCAST_VOLUME volume = { recordSize, type, 0, unitMask, 0 };
    return QByteArray(reinterpret_cast<const char *>(&volume), int(recordSize));
}

MSG message(const QByteArray &record, WPARAM event = DBT_DEVICEARRIVAL, UINT id = WM_DEVICECHANGE)
{
    return { nullptr, id, event, record.isEmpty() ? 0 : LPARAM(record.constData()) };
}

} // namespace

class TestWinDetector : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QThreadPool::globalInstance()->setMaxThreadCount(4); }
    void init() { WinSim::reset(); }
    void cleanup()
    {
        WinSim::holdSleepers(false);
        QThreadPool::globalInstance()->waitForDone();
        const WinSim::Machine &m = WinSim::machine;
        QCOMPARE(m.handles.size() + m.sets.size() + m.badReleases, 0);
    }

    void reportsOnlyTheProductsRemovableVolume_data();
    void reportsOnlyTheProductsRemovableVolume();
    void opensDevicesWithTheMostAccessGranted_data();
    void opensDevicesWithTheMostAccessGranted();
    void filtersOnlyVolumeArrivals_data();
    void filtersOnlyVolumeArrivals();
    void closesAutoPlayPopUps_data();
    void closesAutoPlayPopUps();
};

void TestWinDetector::reportsOnlyTheProductsRemovableVolume_data()
{
    QTest::addColumn<QString>("vid");
    QTest::addColumn<DWORD>("unitMask");
    QTest::addColumn<QString>("mountPath"); // empty: not recognised
    QTest::addColumn<Setup>("setup");
    const auto row = [](const char *name, DWORD mask, const char *path, Setup setup,
                         const QString &vid = QStringLiteral("0x1A2B")) {
        QTest::addRow("%s", name) << vid << mask << QString(path) << setup;
    };
    const DWORD e = bit('E');

    row("product on E", e, "E:/", [] { plug(product, 3, 'E'); });
    row("instance identifier in lower case", e, "E:/", [] { plug(product.toLower(), 3, 'E'); });
    row(
        "vid in lower case", e, "E:/", [] { plug(product, 3, 'E'); }, "0x1a2b");
    row("interface after the pid", e, "E:/", [] { plug(product + "&MI_00", 3, 'E'); });
    row(
        "one-character vid", e, "E:/", [] { plug("USB\\VID_7&PID_3C4D\\1", 3, 'E'); }, "7");
    row(
        "two-character vid", e, "E:/", [] { plug("USB\\VID_&PID_3C4D\\1", 3, 'E'); }, "0x");
    row("other product id", e, "", [] { plug("USB\\VID_1A2B&PID_3C4E\\1", 3, 'E'); });
    row("product on A", bit('A'), "A:/", [] { plug(product, 3, 'A'); });
    row("product on Z", bit('Z'), "Z:/", [] { plug(product, 3, 'Z'); });
    row("D and F, product on D", bit('D') | bit('F'), "D:/", [] { plug(product, 3, 'D'); });
    row("D and F, product on F", bit('D') | bit('F'), "", [] { plug(product, 3, 'F'); });
    row("product on a fixed disk", e, "", [] { plug(product, 3, 'E', DRIVE_FIXED); });
    row("disk without a volume", e, "", [] { plug(product, 3); });
    row("path longer than the first buffer", e, "E:/", [] { plug(product, 3, 'E', 2, 700); });
    row("no devices", e, "", [] {});
    row("first match without a child passed over", e, "E:/", [] {
        WinSim::addDevice(product + "X");
        plug(product, 3, 'E');
    });
    row("another stick's earlier letter", bit('G'), "G:/", [] {
        plug(otherStick, 2, 'E');
        plug(product, 3, 'G');
    });
    row("two volumes on one disk: the later wins", bit('G'), "G:/", [] {
        plug(product, 3, 'E');
        addVolume('G', 3);
    });
    // Disk 0 is also what an unchecked failed query leaves.
    row("volume without a device number", e, "", [] {
        plug(product, 0);
        addVolume('E', std::nullopt);
    });
    row("disk without a device number", e, "", [] {
        const DEVINST disk = WinSim::addDevice("USBSTOR\\DISK", WinSim::addDevice(product));
        WinSim::machine.devices.append({ "\\\\?\\usbstor", {}, WinSim::Access::Query, disk, 0 });
        addVolume('E', 0);
    });
    row("disk interfaces cannot be listed", e, "", [] {
        plug(product, 3, 'E');
        WinSim::machine.failDeviceInfoSets = true;
    });
    row("device list grows between every size query and fetch", e, "", [] {
        plug(product, 3, 'E');
        WinSim::machine.afterListSizeQuery = [] { WinSim::addDevice("HID\\VID_046D&PID_C077"); };
    });
}

// Through the door the application uses, with the pool's pop-up closers held in their first sleep.
void TestWinDetector::reportsOnlyTheProductsRemovableVolume()
{
    QFETCH(QString, vid);
    QFETCH(DWORD, unitMask);
    QFETCH(QString, mountPath);
    QFETCH(Setup, setup);
    // A system disk, which must never be taken for the product's.
    const DEVINST systemDisk = WinSim::addDevice("SCSI\\DISK");
    WinSim::machine.devices.append({ "\\\\?\\scsi#disk", 1, WinSim::Access::Query, systemDisk, 0 });
    addVolume('C', 1, DRIVE_FIXED);
    setup();
    WinSim::holdSleepers(true);
    auto detector = std::make_unique<DeviceDetector>([](std::function<void()> callback) {
        return std::make_unique<WinDetector>(std::move(callback));
    });
    QStringList reports, expected;
    QVector<int> closers, closersExpected;
    connect(detector.get(), &DeviceDetector::detected, [&](const QString &path) {
        reports << path;
        closers << QThreadPool::globalInstance()->activeThreadCount();
    });
    const QByteArray record = arrival(unitMask);
    long result = -7;
    const auto dispatch = [&](MSG msg) {
        return QAbstractEventDispatcher::instance()->filterNativeEvent(windowsMsg, &msg, &result);
    };

    QVERIFY2(!dispatch(message(record)), "filter installed before start");
    detector->start(vid, "0x3c4d", "Tarsel Updater");
    QVERIFY(!dispatch(message(record, DBT_DEVICEREMOVECOMPLETE)));
    QCOMPARE(result, -7L);
    for (int arrivals = 1; arrivals <= 2; ++arrivals) {
        QVERIFY(dispatch(message(record)));
        QCOMPARE(result, 1L);
        if (!mountPath.isEmpty()) {
            expected << mountPath;
            closersExpected << arrivals; // started before the report
        }
        QCOMPARE(reports, expected);
        QCOMPARE(closers, closersExpected);
    }
    detector.reset();
    result = -7;
    QVERIFY2(!dispatch(message(record)) && result == -7, "filter left installed");
}

void TestWinDetector::opensDevicesWithTheMostAccessGranted_data()
{
    QTest::addColumn<WinSim::Access>("granted");
    QTest::addColumn<int>("requests"); // of read-write, read, none, in this order
    QTest::addRow("read and write") << WinSim::Access::ReadWrite << 1;
    QTest::addRow("read only") << WinSim::Access::Read << 2;
    QTest::addRow("queries only") << WinSim::Access::Query << 3;
    QTest::addRow("nothing") << WinSim::Access::None << 3;
}

void TestWinDetector::opensDevicesWithTheMostAccessGranted()
{
    QFETCH(WinSim::Access, granted);
    QFETCH(int, requests);
    WinSim::machine.devices.append({ "\\\\.\\E:", 3, granted, 0, DRIVE_REMOVABLE });
    QCOMPARE(openDevice(u"\\\\.\\E:", 0).isUsable(), granted != WinSim::Access::None);
    const QVector<DWORD> all { GENERIC_READ | GENERIC_WRITE, GENERIC_READ, 0 };
    QCOMPARE(WinSim::machine.accessesRequested, all.mid(0, requests));
}

void TestWinDetector::filtersOnlyVolumeArrivals_data()
{
    QTest::addColumn<QByteArray>("eventType");
    QTest::addColumn<UINT>("id");
    QTest::addColumn<WPARAM>("event");
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QChar>("letter"); // null: passed on untouched
    const auto row = [](const char *name, const QByteArray &record, char letter,
                         const QByteArray &type = windowsMsg, WPARAM event = DBT_DEVICEARRIVAL,
                         UINT id = WM_DEVICECHANGE) {
        QTest::addRow("%s", name) << type << id << event << record << QChar(letter);
    };
    const QByteArray e = arrival(bit('E'));

    // Under Xvfb the filter gets xcb events, which it must not read as a MSG.
    row("xcb event", e, 0, "xcb_generic_event_t");
    row("dispatcher's copy of an arrival", e, 0, "windows_dispatcher_MSG");
    row("volume removal", e, 0, windowsMsg, DBT_DEVICEREMOVECOMPLETE);
    row("other message with the arrival code", e, 0, windowsMsg, DBT_DEVICEARRIVAL, WM_CLOSE);
    row("arrival of a port", arrival(bit('E'), DBT_DEVTYP_PORT), 0);
    row("volume E", e, 'E');
    row("D and F: the first", arrival(bit('D') | bit('F')), 'D');
    row("A", arrival(bit('A')), 'A');
    row("Z", arrival(bit('Z')), 'Z');
    row("empty mask: the character after Z", arrival(0), '[');
    row("bits beyond Z besides F", arrival(0xFC000000 | bit('F')), 'F');
    // Windows guarantees only the stated size behind lParam.
    row("null record", QByteArray(), 0);
    row("one byte of the mask", arrival(bit('E'), DBT_DEVTYP_VOLUME, 13), 0);
    row("up to the mask, without the flags", arrival(bit('E'), DBT_DEVTYP_VOLUME, 16), 'E');
}

void TestWinDetector::filtersOnlyVolumeArrivals()
{
    QFETCH(QByteArray, eventType);
    QFETCH(UINT, id);
    QFETCH(WPARAM, event);
    QFETCH(QByteArray, record);
    QFETCH(QChar, letter);
    WinDetectorHelper helper;
    QSignalSpy appeared(&helper, &WinDetectorHelper::diskAppeared);
    long result = -7;
    MSG msg = message(record, event, id);
    const bool consumed = helper.nativeEventFilter(
        eventType, eventType == "xcb_generic_event_t" ? nullptr : &msg, &result);
    QCOMPARE(consumed, !letter.isNull());
    QCOMPARE(result, consumed ? 1L : -7L);
    QCOMPARE(appeared.count(), consumed ? 1 : 0);
    if (consumed)
        QCOMPARE(appeared.first().first().value<QChar>(), letter);
}

void TestWinDetector::closesAutoPlayPopUps_data()
{
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QVector<int>>("firstClose"); // per window, on the simulated clock; -1: never
    QTest::addColumn<bool>("stays"); // the windows ignore WM_CLOSE
    QTest::addColumn<int>("end");
    const QString autoPlay = QStringLiteral("AutoPlay");
    const QString far = QString(2048, 'x').replace(2040, 8, autoPlay);
    const QString last = QString(2048, 'x').replace(2039, 8, autoPlay);
    const auto row = [](const char *name, QStringList titles, QVector<int> firstClose,
                         bool stays = false, int end = 3000) {
        QTest::addRow("%s", name) << titles << firstClose << stays << end;
    };

    row("pop-up", { autoPlay }, { 0 });
    row("other title containing AutoPlay", { "AutoPlay settings" }, { 0 });
    row("lower-case autoplay", { "autoplay" }, { -1 });
    row("untitled window before the pop-up", { "", autoPlay }, { -1, 0 });
    row("fragment beyond the 2047th character", { far }, { -1 });
    row("fragment ending at the 2047th character", { last }, { 0 });
    row("two pop-ups, one per pass", { "AutoPlay 1", "AutoPlay 2" }, { 0, 50 });
    // Found again on every pass, past the three-second watch, but not for ever.
    row("pop-up ignoring WM_CLOSE", { autoPlay }, { 0 }, true, 10000);
}

void TestWinDetector::closesAutoPlayPopUps()
{
    QFETCH(QStringList, titles);
    QFETCH(QVector<int>, firstClose);
    QFETCH(bool, stays);
    QFETCH(int, end);
    for (const QString &title : titles)
        WinSim::machine.windows.append({ title, !stays, false, {} });

    CloseAutoPlayPopUpTask().run();

    QCOMPARE(WinSim::machine.clock, ULONGLONG(end));
    for (int i = 0; i < titles.size(); ++i) {
        const QVector<WinSim::Sent> sent = WinSim::machine.windows[i].sent;
        QCOMPARE(sent.isEmpty() ? -1 : int(sent.first().time), firstClose[i]);
        // One close, or one every 50 ms to the end for a window that stays.
        QCOMPARE(sent.size(), firstClose[i] < 0 ? 0 : stays ? end / 50 + 1 : 1);
        for (const WinSim::Sent &s : sent)
            QVERIFY(s.message == WM_CLOSE && s.flags == SMTO_ABORTIFHUNG && s.timeout == 500);
    }
}

QTEST_GUILESS_MAIN(TestWinDetector)
#include "tst_windetector.moc"
