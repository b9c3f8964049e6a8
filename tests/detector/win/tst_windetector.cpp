#include "closeautoplaypopuptask.h"
#include "devicedetector.h"
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

void addVolume(char letter, std::optional<DWORD> number, UINT type = DRIVE_REMOVABLE)
{
    const QString path = QStringLiteral("\\\\.\\%1:").arg(letter);
    WinSim::machine.devices.append({ path, number, 0, type });
}

// A USB stick as Windows shows it: the USB device, its disk as first child with an interface,
// and a volume unless letter is 0.
void plug(const QString &usbId, std::optional<DWORD> number, char letter = 0,
    UINT type = DRIVE_REMOVABLE, int pathLength = 40)
{
    const DEVINST disk = WinSim::addDevice("USBSTOR\\DISK", WinSim::addDevice(usbId));
    const QString path = QStringLiteral("\\\\?\\usbstor#disk#%1#").arg(number.value_or(0));
    WinSim::machine.devices.append({ path.leftJustified(pathLength, 'x'), number, disk, 0 });
    if (letter)
        addVolume(letter, number.value_or(0), type);
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

    void reportsOnlyTheProductsVolumeArrival_data();
    void reportsOnlyTheProductsVolumeArrival();
    void closesAutoPlayPopUps_data();
    void closesAutoPlayPopUps();
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
    const auto volume = [](const char *name, DWORD mask, const char *path, Setup setup,
                            const QString &vid = "0x1A2B") {
        QTest::addRow("%s", name) << windowsMsg << UINT(WM_DEVICECHANGE)
                                  << WPARAM(DBT_DEVICEARRIVAL) << arrival(mask) << vid << setup
                                  << QChar('A' + qCountTrailingZeroBits(mask)) << QString(path);
    };
    const QByteArray arrivalOnE = arrival(bit('E'));
    const DWORD e = bit('E');

    // Under Xvfb the filter gets xcb events, which it must not read as a MSG.
    message("xcb event", arrivalOnE, 0, "xcb_generic_event_t");
    message("dispatcher's copy of an arrival", arrivalOnE, 0, "windows_dispatcher_MSG");
    message("volume removal", arrivalOnE, 0, windowsMsg, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE);
    message("other message with the arrival code", arrivalOnE, 0, windowsMsg, WM_CLOSE);
    message("arrival of a port", arrival(bit('E'), DBT_DEVTYP_PORT), 0);
    message("empty mask: the character after Z", arrival(0), '[');
    message("bits beyond Z besides E", arrival(0xFC000000 | bit('E')), 'E');
    // Windows guarantees only the stated size behind lParam.
    message("null record", QByteArray(), 0);
    message("one byte of the mask", arrival(bit('E'), DBT_DEVTYP_VOLUME, 13), 0);
    message("up to the mask, without the flags", arrival(bit('E'), DBT_DEVTYP_VOLUME, 16), 'E');

    volume("product on E", e, "E:/", productOnE);
    volume("instance id in lower case", e, "E:/", [] { plug(product.toLower(), 3, 'E'); });
    volume("vid in lower case", e, "E:/", productOnE, "0x1a2b");
    volume("interface of a composite device", e, "E:/",
        [] { plug("USB\\VID_1A2B&PID_3C4D&MI_00\\6&2B", 3, 'E'); });
    volume(
        "one-character vid", e, "E:/", [] { plug("USB\\VID_7&PID_3C4D\\1", 3, 'E'); }, "7");
    volume(
        "two-character vid", e, "E:/", [] { plug("USB\\VID_&PID_3C4D\\1", 3, 'E'); }, "0x");
    volume("other product id", e, "", [] { plug("USB\\VID_1A2B&PID_3C4E\\1", 3, 'E'); });
    volume("product on A", bit('A'), "A:/", [] { plug(product, 3, 'A'); });
    volume("product on Z", bit('Z'), "Z:/", [] { plug(product, 3, 'Z'); });
    volume("D and F, product on D", bit('D') | bit('F'), "D:/", [] { plug(product, 3, 'D'); });
    volume("D and F, product on F", bit('D') | bit('F'), "", [] { plug(product, 3, 'F'); });
    volume("product on a fixed disk", e, "", [] { plug(product, 3, 'E', DRIVE_FIXED); });
    volume("disk without a volume", e, "", [] { plug(product, 3); });
    volume("long device path", e, "E:/", [] { plug(product, 3, 'E', DRIVE_REMOVABLE, 700); });
    volume("no devices", e, "", [] {});
    // 0 is also what an unchecked failed query leaves.
    volume("disk without a device number", e, "", [] { plug(product, std::nullopt, 'E'); });
    volume("volume without a device number", e, "", [] {
        plug(product, 0);
        addVolume('E', std::nullopt);
    });
    volume("first match without a child passed over", e, "E:/", [] {
        WinSim::addDevice(product + "X");
        plug(product, 3, 'E');
    });
    volume("another stick's earlier letter", bit('G'), "G:/", [] {
        plug("USB\\VID_0951&PID_1666\\OTHER", 2, 'E');
        plug(product, 3, 'G');
    });
    volume("two volumes on one disk: the later wins", bit('G'), "G:/", [] {
        plug(product, 3, 'E');
        addVolume('G', 3);
    });
    volume("disk interfaces cannot be listed", e, "", [] {
        plug(product, 3, 'E');
        WinSim::machine.failDeviceInfoSets = true;
    });
    volume("device list grows between every size query and fetch", e, "", [] {
        plug(product, 3, 'E');
        WinSim::machine.afterListSizeQuery = [] { WinSim::addDevice("HID\\VID_046D&PID_C077"); };
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
    QVector<int> closers, closersExpected;
    connect(detector.get(), &DeviceDetector::detected, [&](const QString &path) {
        reports << path;
        closers << QThreadPool::globalInstance()->activeThreadCount();
    });
    MSG msg = { nullptr, id, event, record.isEmpty() ? 0 : LPARAM(record.constData()) };
    long result = -7;
    const auto dispatch = [&] {
        void *message = eventType.startsWith("xcb") ? nullptr : &msg;
        return QAbstractEventDispatcher::instance()->filterNativeEvent(eventType, message, &result);
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
        if (!mountPath.isEmpty()) {
            expected << mountPath;
            closersExpected << arrivals; // started before the report
        }
        QCOMPARE(reports, expected);
        QCOMPARE(closers, closersExpected);
    }
    detector.reset();
    result = -7;
    QVERIFY2(!dispatch() && result == -7, "filter left installed");
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
