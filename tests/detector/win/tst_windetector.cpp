#include "closeautoplaypopuptask.h"
#include "devicedetector.h"
#include "devicehandle.h"
#include "finddiskletter.h"
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

const QString vid = QStringLiteral("0x1A2B");
const QString pid = QStringLiteral("0x3C4D");
const QString product = QStringLiteral("USB\\VID_1A2B&PID_3C4D\\TS0001");
const QString otherStick = QStringLiteral("USB\\VID_0951&PID_1666\\OTHER");
const QByteArray windowsMsg = QByteArrayLiteral("windows_generic_MSG");

// A USB stick as Windows shows it: the USB device, its disk as first child with an interface,
// and a volume when a letter is given.
void plug(const QString &usbId, DWORD number, char letter = 0, UINT type = DRIVE_REMOVABLE,
    int pathLength = 40)
{
    const DEVINST usb = WinSim::addDevice(usbId);
    const DEVINST disk = WinSim::addDevice(QStringLiteral("USBSTOR\\DISK\\%1").arg(number), usb);
    const QString path = QStringLiteral("\\\\?\\usbstor#disk#%1#").arg(number);
    WinSim::addDisk(disk, path.leftJustified(pathLength, QLatin1Char('x')), number);
    if (letter)
        WinSim::addVolume(letter, type, number);
}

DWORD bit(char letter)
{
    return DWORD(1) << (letter - 'A');
}

// A volume arrival record of recordSize bytes, as its size field states.
QByteArray arrival(DWORD unitMask, DWORD type = DBT_DEVTYP_VOLUME, int recordSize = 20)
{
    const DEV_BROADCAST_VOLUME volume = { DWORD(recordSize), type, 0, unitMask, 0 };
    return QByteArray(reinterpret_cast<const char *>(&volume), recordSize);
}

MSG message(const QByteArray &record, WPARAM event = DBT_DEVICEARRIVAL, UINT id = WM_DEVICECHANGE)
{
    return { nullptr, id, event, record.isEmpty() ? 0 : LPARAM(record.constData()), 0, {} };
}

// Hands msg to the application's native event filters as Qt's Windows integration does.
bool dispatch(MSG msg, long *result)
{
    return QAbstractEventDispatcher::instance()->filterNativeEvent(windowsMsg, &msg, result);
}

struct PopUp
{
    QString title;
    ULONGLONG appearsAt;
    qint64 closedFrom, closedBy; // when its first WM_CLOSE comes; -1: never
    WinSim::Window behaviour = WinSim::Window::Closes;
};

QString titleWithAutoPlayAt(int position, int length)
{
    return QString(length, QLatin1Char('x')).replace(position, 8, QStringLiteral("AutoPlay"));
}

} // namespace

Q_DECLARE_METATYPE(QVector<PopUp>)

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
        QCOMPARE(WinSim::leaks(), 0);
    }

    void findsTheProductsRemovableVolume_data();
    void findsTheProductsRemovableVolume();
    void opensDevicesWithTheMostAccessGranted_data();
    void opensDevicesWithTheMostAccessGranted();
    void filtersOnlyVolumeArrivals_data();
    void filtersOnlyVolumeArrivals();
    void reportsOnlyTheProductsVolumeWhileStarted_data();
    void reportsOnlyTheProductsVolumeWhileStarted();
    void closesAutoPlayPopUps_data();
    void closesAutoPlayPopUps();
    void closesAPopUpOpeningWhileItRunsOnThePool();
};

void TestWinDetector::findsTheProductsRemovableVolume_data()
{
    QTest::addColumn<QString>("vid");
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QChar>("letter");
    const auto row = [](const char *name, Setup setup, char letter, const QString &v = vid) {
        QTest::addRow("%s", name) << v << setup << (letter ? QChar(letter) : QChar());
    };
    const Setup productOnE = [] { plug(product, 3, 'E'); };

    row("product on E", productOnE, 'E');
    row(
        "instance identifier in lower case", [] { plug(product.toLower(), 3, 'E'); }, 'E');
    row("vid in lower case", productOnE, 'E', QStringLiteral("0x1a2b"));
    row(
        "interface suffix after the pid", [] { plug(product + "&MI_00\\6&2B", 3, 'E'); }, 'E');
    row(
        "one-character vid used whole", [] { plug("USB\\VID_7&PID_3C4D\\1", 3, 'E'); }, 'E', "7");
    row(
        "two-character vid reduced to nothing", [] { plug("USB\\VID_&PID_3C4D\\1", 3, 'E'); }, 'E',
        "0x");
    row(
        "other product id", [] { plug("USB\\VID_1A2B&PID_3C4E\\TS0001", 3, 'E'); }, 0);
    row(
        "remembered instance listed first",
        [] {
            WinSim::addDevice(product + "OLD", 0, false);
            plug(product, 3, 'E');
        },
        'E');
    row(
        "first match without a child passed over",
        [] {
            WinSim::addDevice(product + "LONELY");
            plug(product, 3, 'E');
        },
        'E');
    row(
        "only another stick's disk has a volume",
        [] {
            WinSim::addDevice("USBSTOR\\DISK\\NONE", WinSim::addDevice(product));
            plug(otherStick, 2, 'E');
        },
        0);
    row(
        "another stick's earlier letter not taken",
        [] {
            plug(otherStick, 2, 'E');
            plug(product, 3, 'G');
        },
        'G');
    row(
        "two volumes on one disk: the later letter wins",
        [] {
            plug(product, 3, 'E');
            WinSim::addVolume('G', DRIVE_REMOVABLE, 3);
        },
        'G');
    row(
        "product on A", [] { plug(product, 3, 'A'); }, 'A');
    row(
        "product on Z", [] { plug(product, 3, 'Z'); }, 'Z');
    row(
        "product on a fixed disk", [] { plug(product, 3, 'E', DRIVE_FIXED); }, 0);
    row(
        "disk without a volume", [] { plug(product, 3); }, 0);
    row(
        "volume that cannot be opened",
        [] {
            plug(product, 3);
            WinSim::addVolume('E', DRIVE_REMOVABLE, 3, WinSim::Access::None);
        },
        0);
    // Disk 0 is also what an unchecked failed query leaves in the number.
    row(
        "volume without a device number",
        [] {
            plug(product, 0);
            WinSim::addVolume('E', DRIVE_REMOVABLE, std::nullopt);
        },
        0);
    row(
        "disk without a device number",
        [] {
            const DEVINST usb = WinSim::addDevice(product);
            WinSim::addDisk(WinSim::addDevice("USBSTOR\\DISK\\0", usb), "\\\\?\\usbstor", {});
            WinSim::addVolume('E', DRIVE_REMOVABLE, 0);
        },
        0);
    row(
        "device path longer than the first detail buffer",
        [] { plug(product, 3, 'E', DRIVE_REMOVABLE, 700); }, 'E');
    row(
        "short path after a long one",
        [] {
            plug(otherStick, 2, 0, DRIVE_REMOVABLE, 900);
            plug(product, 3, 'E');
        },
        'E');
    row(
        "disk interfaces cannot be listed",
        [] {
            plug(product, 3, 'E');
            WinSim::failDeviceInfoSets();
        },
        0);
    row(
        "device list grows between size query and fetch",
        [] {
            plug(product, 3, 'E');
            WinSim::afterNextListSizeQuery(
                [] { WinSim::addDevice("HID\\VID_046D&PID_C077\\7&1"); });
        },
        0);
    row(
        "no devices", [] {}, 0);
}

void TestWinDetector::findsTheProductsRemovableVolume()
{
    QFETCH(QString, vid);
    QFETCH(Setup, setup);
    QFETCH(QChar, letter);
    // A system disk, which must never be taken for the product's.
    WinSim::addDisk(WinSim::addDevice("SCSI\\DISK&VEN_NVME\\4&1"), "\\\\?\\scsi#disk", 1);
    WinSim::addVolume('C', DRIVE_FIXED, 1);
    setup();
    QCOMPARE(findDiskLetter(vid, QStringLiteral("0x3c4d")), letter);
}

void TestWinDetector::opensDevicesWithTheMostAccessGranted_data()
{
    QTest::addColumn<WinSim::Access>("granted");
    QTest::addColumn<int>("requests"); // of read-write, read, none, in that order
    QTest::addRow("read and write") << WinSim::Access::ReadWrite << 1;
    QTest::addRow("read only") << WinSim::Access::ReadOnly << 2;
    QTest::addRow("queries only") << WinSim::Access::QueryOnly << 3;
    QTest::addRow("nothing") << WinSim::Access::None << 3;
}

void TestWinDetector::opensDevicesWithTheMostAccessGranted()
{
    QFETCH(WinSim::Access, granted);
    QFETCH(int, requests);
    WinSim::addVolume('E', DRIVE_REMOVABLE, 3, granted);
    const QString path = QStringLiteral("\\\\.\\E:");
    QCOMPARE(openDevice(reinterpret_cast<LPCWSTR>(path.utf16()), 0).isUsable(),
        granted != WinSim::Access::None);
    const QVector<DWORD> all { GENERIC_READ | GENERIC_WRITE, GENERIC_READ, 0 };
    QCOMPARE(WinSim::accessesRequested(path), all.mid(0, requests));
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
        QTest::addRow("%s", name) << type << id << event << record
                                  << (letter ? QChar(letter) : QChar());
    };
    const QByteArray e = arrival(bit('E'));

    // Under Xvfb the filter receives xcb events: reading one as a MSG would crash.
    row("xcb event", e, 0, "xcb_generic_event_t");
    row("dispatcher's copy of an arrival", e, 0, "windows_dispatcher_MSG");
    row("event type with a trailing byte", e, 0, QByteArray("windows_generic_MSG\0", 20));
    row("volume removal", e, 0, windowsMsg, DBT_DEVICEREMOVECOMPLETE);
    row("other message with the arrival code", e, 0, windowsMsg, DBT_DEVICEARRIVAL, WM_CLOSE);
    row("arrival of a port", arrival(bit('E'), DBT_DEVTYP_PORT), 0);
    row("arrival of a device interface", arrival(bit('E'), 5), 0);
    row("volume E", e, 'E');
    row("D and F: the first", arrival(bit('D') | bit('F')), 'D');
    row("A", arrival(bit('A')), 'A');
    row("Z", arrival(bit('Z')), 'Z');
    row("empty mask: the character after Z", arrival(0), '[');
    row("only bits beyond Z", arrival(0xFC000000), '[');
    row("bits beyond Z besides F", arrival(0x80000000 | bit('F')), 'F');
    // Windows guarantees only the stated size behind lParam.
    row("null record", QByteArray(), 0);
    row("size field only", arrival(bit('E'), DBT_DEVTYP_VOLUME, 4), 0);
    row("common header claiming a volume", arrival(bit('E'), DBT_DEVTYP_VOLUME, 12), 0);
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
    const bool xcb = eventType.startsWith("xcb");
    QCOMPARE(helper.nativeEventFilter(eventType, xcb ? nullptr : &msg, &result), !letter.isNull());
    QCOMPARE(result, letter.isNull() ? -7L : 1L);
    QCOMPARE(appeared.count(), letter.isNull() ? 0 : 1);
    if (!letter.isNull())
        QCOMPARE(appeared.first().first().value<QChar>(), letter);
}

void TestWinDetector::reportsOnlyTheProductsVolumeWhileStarted_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<DWORD>("unitMask");
    QTest::addColumn<QString>("mountPath"); // empty: not recognised
    QTest::addRow("product's volume")
        << Setup([] { plug(product, 3, 'E'); }) << bit('E') << QStringLiteral("E:/");
    QTest::addRow("other stick while the product is on E") << Setup([] {
        plug(product, 3, 'E');
        plug(otherStick, 2, 'G');
    }) << bit('G') << QString();
    QTest::addRow("D and F, product on F")
        << Setup([] { plug(product, 3, 'F'); }) << (bit('D') | bit('F')) << QString();
    QTest::addRow("D and F, product on D")
        << Setup([] { plug(product, 3, 'D'); }) << (bit('D') | bit('F')) << QStringLiteral("D:/");
    QTest::addRow("product on a fixed disk")
        << Setup([] { plug(product, 3, 'E', DRIVE_FIXED); }) << bit('E') << QString();
}

void TestWinDetector::reportsOnlyTheProductsVolumeWhileStarted()
{
    QFETCH(Setup, setup);
    QFETCH(DWORD, unitMask);
    QFETCH(QString, mountPath);
    setup();
    auto detector = std::make_unique<DeviceDetector>([](std::function<void()> callback) {
        return std::make_unique<WinDetector>(std::move(callback));
    });
    QStringList reported;
    QVector<int> closersAtReport;
    connect(detector.get(), &DeviceDetector::detected, [&](const QString &path) {
        reported << path;
        closersAtReport << QThreadPool::globalInstance()->activeThreadCount();
    });
    // Keeps a started pop-up closer in its first sleep, where the pool counts it.
    WinSim::holdSleepers(true);
    const QByteArray record = arrival(unitMask);
    long result = -7;

    QVERIFY2(!dispatch(message(record), &result), "filter installed before start");
    detector->start(vid, pid, QStringLiteral("Tarsel Updater"));
    QVERIFY(!dispatch(message(record, DBT_DEVICEREMOVECOMPLETE), &result));
    QCOMPARE(result, -7L);
    QStringList paths;
    QVector<int> closers;
    for (int arrivals = 1; arrivals <= 2; ++arrivals) {
        QVERIFY(dispatch(message(record), &result));
        QCOMPARE(result, 1L);
        if (!mountPath.isEmpty()) {
            paths << mountPath;
            closers << arrivals; // started before the report
        }
        QCOMPARE(reported, paths);
        QCOMPARE(closersAtReport, closers);
        QCOMPARE(QThreadPool::globalInstance()->activeThreadCount(), closers.size());
    }
    detector.reset();
    result = -7;
    QVERIFY2(!dispatch(message(record), &result), "filter still installed after deletion");
    QCOMPARE(result, -7L);
}

void TestWinDetector::closesAutoPlayPopUps_data()
{
    QTest::addColumn<QVector<PopUp>>("windows");
    QTest::addColumn<qint64>("endFrom");
    QTest::addColumn<qint64>("endBy");
    const auto row = [](const char *name, const QVector<PopUp> &windows, qint64 from = 3000,
                         qint64 by = 3050) { QTest::addRow("%s", name) << windows << from << by; };
    const QString autoPlay = QStringLiteral("AutoPlay");

    row("open pop-up closed before the first sleep", { { autoPlay, 0, 0, 0 } });
    row("pop-up opening after two seconds", { { autoPlay, 2010, 2010, 2060 } });
    row("pop-up opening at the end of the watch", { { autoPlay, 2990, 2990, 3040 } }, 3000, 3100);
    row("pop-up opening after the watch", { { autoPlay, 3100, -1, -1 } });
    row("other title containing AutoPlay", { { "AutoPlay settings", 0, 0, 0 } });
    row("lower-case autoplay", { { "autoplay", 0, -1, -1 } });
    row("untitled window before the pop-up", { { "", 0, -1, -1 }, { autoPlay, 0, 0, 0 } });
    row("fragment beyond the 2047th character", { { titleWithAutoPlayAt(2040, 2048), 0, -1, -1 } });
    row("fragment ending at the 2047th character",
        { { titleWithAutoPlayAt(2039, 2048), 0, 0, 0 } });
    row("two pop-ups, one per pass", { { "AutoPlay 1", 0, 0, 0 }, { "AutoPlay 2", 0, 1, 50 } });
    row("no window", {});
    // Found again on every pass, past the three-second watch, but not for ever.
    row("pop-up ignoring WM_CLOSE", { { autoPlay, 0, 0, 0, WinSim::Window::IgnoresClose } }, 10000,
        10050);
    row("hung pop-up", { { autoPlay, 0, 0, 0, WinSim::Window::Hung } }, 10000, 10050);
}

void TestWinDetector::closesAutoPlayPopUps()
{
    QFETCH(QVector<PopUp>, windows);
    QFETCH(qint64, endFrom);
    QFETCH(qint64, endBy);
    QVector<HWND> handles;
    for (const PopUp &w : windows)
        handles << WinSim::addWindow(w.title, w.behaviour, w.appearsAt);

    CloseAutoPlayPopUpTask().run();

    const qint64 end = qint64(WinSim::now());
    QVERIFY2(end >= endFrom && end <= endBy, qPrintable(QString::number(end)));
    for (int i = 0; i < windows.size(); ++i) {
        const QVector<WinSim::Sent> sent = WinSim::sentTo(handles[i]);
        if (windows[i].closedFrom < 0) {
            QVERIFY(sent.isEmpty());
            continue;
        }
        QVERIFY(!sent.isEmpty());
        const qint64 first = qint64(sent.first().time);
        QVERIFY2(first >= windows[i].closedFrom && first <= windows[i].closedBy,
            qPrintable(QString::number(first)));
        for (const WinSim::Sent &s : sent) {
            QCOMPARE(s.message, UINT(WM_CLOSE));
            QCOMPARE(s.flags, UINT(SMTO_ABORTIFHUNG));
            QCOMPARE(s.timeout, 500u);
        }
        if (windows[i].behaviour == WinSim::Window::Closes)
            QCOMPARE(sent.size(), 1);
        else
            QVERIFY(sent.size() > 3000 / 50 && qint64(sent.last().time) >= end - 50);
    }
}

void TestWinDetector::closesAPopUpOpeningWhileItRunsOnThePool()
{
    // As the detector starts it: on a pool thread, while this thread changes the desktop.
    WinSim::holdSleepers(true);
    QThreadPool::globalInstance()->start(new CloseAutoPlayPopUpTask, 0);
    QTRY_COMPARE(WinSim::heldSleepers(), 1);
    const HWND popUp = WinSim::addWindow(QStringLiteral("AutoPlay"));
    WinSim::holdSleepers(false);
    QVERIFY(QThreadPool::globalInstance()->waitForDone(10000));
    QCOMPARE(WinSim::sentTo(popUp).size(), 1);
    QCOMPARE(WinSim::sentTo(popUp).first().time, ULONGLONG(50));
    QVERIFY(WinSim::now() >= 3000);
}

QTEST_GUILESS_MAIN(TestWinDetector)
#include "tst_windetector.moc"
