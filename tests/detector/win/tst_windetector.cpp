#include "devicedetector.h"
#include "windetector.h"
#include "windetectorhelper.h"
#include "winsim.h"

#include <QAbstractEventDispatcher>
#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QThreadPool>
#include <QWindow>
#include <QtTest>

#include <dbt.h>

#include <functional>
#include <memory>

using Setup = std::function<void()>;
Q_DECLARE_METATYPE(Setup)

namespace {

const QString vid = QStringLiteral("0x1A2B");
const QString pid = QStringLiteral("0x3C4D");
const QByteArray windowsMsg = QByteArrayLiteral("windows_generic_MSG");

DWORD bit(char letter)
{
    return DWORD(1) << (letter - 'A');
}

DEV_BROADCAST_VOLUME volumeBroadcast(
    DWORD unitMask, DWORD deviceType = DBT_DEVTYP_VOLUME, WORD flags = 0)
{
    DEV_BROADCAST_VOLUME volume = {};
    volume.dbcv_size = sizeof(volume);
    volume.dbcv_devicetype = deviceType;
    volume.dbcv_unitmask = unitMask;
    volume.dbcv_flags = flags;
    return volume;
}

MSG deviceChange(
    WPARAM event, const DEV_BROADCAST_VOLUME *broadcast, UINT message = WM_DEVICECHANGE)
{
    MSG msg = {};
    msg.message = message;
    msg.wParam = event;
    msg.lParam = reinterpret_cast<LPARAM>(broadcast);
    return msg;
}

// Hands a message to the application's native event filters as Qt's Windows integration does.
bool dispatch(MSG *msg, long *result)
{
    return QAbstractEventDispatcher::instance()->filterNativeEvent(windowsMsg, msg, result);
}

void plugStick(const QString &usbId, DWORD diskNumber, QChar letter, UINT type = DRIVE_REMOVABLE)
{
    const DEVINST usb = WinSim::addDevice(usbId);
    const DEVINST disk
        = WinSim::addDevice(QStringLiteral("USBSTOR\\DISK&VEN_TARSEL\\%1").arg(diskNumber), usb);
    WinSim::addDisk(
        disk, QStringLiteral("\\\\?\\usbstor#disk#%1#{53f56307}").arg(diskNumber), diskNumber);
    WinSim::addVolume(letter, type, diskNumber);
}

void plugProduct(QChar letter, UINT type = DRIVE_REMOVABLE)
{
    plugStick(QStringLiteral("USB\\VID_1A2B&PID_3C4D\\TS0001"), 3, letter, type);
}

void plugOtherStick(QChar letter)
{
    plugStick(QStringLiteral("USB\\VID_0951&PID_1666\\OTHER"), 2, letter);
}

// Hands msg to a fresh helper's filter: a volume letter must be consumed and reported, anything
// else (letter null) passed on untouched.
void expectFiltered(const QByteArray &eventType, MSG *msg, QChar letter)
{
    WinDetectorHelper helper;
    QSignalSpy appeared(&helper, &WinDetectorHelper::diskAppeared);
    long result = -7;
    const bool consumed = helper.nativeEventFilter(eventType, msg, &result);

    QCOMPARE(consumed, !letter.isNull());
    QCOMPARE(result, letter.isNull() ? -7L : 1L);
    QCOMPARE(appeared.count(), letter.isNull() ? 0 : 1);
    if (!letter.isNull())
        QCOMPARE(appeared.first().first().value<QChar>(), letter);
}

class XcbEventCounter : public QAbstractNativeEventFilter
{
public:
    bool nativeEventFilter(const QByteArray &eventType, void *, long *) override
    {
        if (eventType == "xcb_generic_event_t")
            ++count;
        return false;
    }
    int count = 0;
};

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
        QCOMPARE(WinSim::openHandles(), 0);
        QCOMPARE(WinSim::openDeviceInfoSets(), 0);
        QCOMPARE(WinSim::badReleases(), 0);
    }

    void filtersOnlyVolumeArrivals_data();
    void filtersOnlyVolumeArrivals();
    void readsNoFurtherThanTheStatedRecordSize_data();
    void readsNoFurtherThanTheStatedRecordSize();
    void recognisesOnlyTheProductsVolume_data();
    void recognisesOnlyTheProductsVolume();
    void staysArmedAfterARecognition();
    void deviceDetectorReportsWhileArmed();
    void passesTheRealWindowSystemsEventsOn();
    void castsToItsInterfaces();
};

void TestWinDetector::filtersOnlyVolumeArrivals_data()
{
    QTest::addColumn<QByteArray>("eventType");
    QTest::addColumn<bool>("withMessage");
    QTest::addColumn<UINT>("message");
    QTest::addColumn<WPARAM>("event");
    QTest::addColumn<DWORD>("deviceType");
    QTest::addColumn<DWORD>("unitMask");
    QTest::addColumn<WORD>("flags");
    QTest::addColumn<QChar>("letter"); // null: not consumed, nothing emitted

    const UINT change = WM_DEVICECHANGE;
    const WPARAM arrival = DBT_DEVICEARRIVAL;
    const DWORD volume = DBT_DEVTYP_VOLUME;
    const WORD none = 0;

    // Under Xvfb the installed filter receives xcb events: reading one as MSG would crash.
    QTest::addRow("xcb event, not read") << QByteArray("xcb_generic_event_t") << false << change
                                         << arrival << volume << bit('E') << none << QChar();
    QTest::addRow("dispatcher's copy of an arrival")
        << QByteArray("windows_dispatcher_MSG") << true << change << arrival << volume << bit('E')
        << none << QChar();
    QTest::addRow("event type with a trailing byte")
        << QByteArray("windows_generic_MSG\0", 20) << true << change << arrival << volume
        << bit('E') << none << QChar();
    QTest::addRow("volume removal")
        << windowsMsg << true << change << WPARAM(DBT_DEVICEREMOVECOMPLETE) << volume << bit('E')
        << none << QChar();
    QTest::addRow("arrival of a device interface")
        << windowsMsg << true << change << arrival << DWORD(DBT_DEVTYP_DEVICEINTERFACE) << bit('E')
        << none << QChar();
    QTest::addRow("arrival of a port") << windowsMsg << true << change << arrival
                                       << DWORD(DBT_DEVTYP_PORT) << bit('E') << none << QChar();
    QTest::addRow("other message with the arrival code")
        << windowsMsg << true << UINT(WM_CLOSE) << arrival << volume << bit('E') << none << QChar();
    QTest::addRow("volume E") << windowsMsg << true << change << arrival << volume << bit('E')
                              << none << QChar('E');
    QTest::addRow("mask with D and F") << windowsMsg << true << change << arrival << volume
                                       << (bit('D') | bit('F')) << none << QChar('D');
    QTest::addRow("mask with A") << windowsMsg << true << change << arrival << volume << bit('A')
                                 << none << QChar('A');
    QTest::addRow("mask with Z") << windowsMsg << true << change << arrival << volume << bit('Z')
                                 << none << QChar('Z');
    QTest::addRow("empty mask: the character after Z")
        << windowsMsg << true << change << arrival << volume << DWORD(0) << none << QChar('[');
    QTest::addRow("only bits beyond Z") << windowsMsg << true << change << arrival << volume
                                        << DWORD(0xFC000000) << none << QChar('[');
    QTest::addRow("bits beyond Z besides F")
        << windowsMsg << true << change << arrival << volume << (DWORD(0x80000000) | bit('F'))
        << none << QChar('F');
    QTest::addRow("network volume") << windowsMsg << true << change << arrival << volume << bit('E')
                                    << WORD(DBTF_NET) << QChar('E');
}

void TestWinDetector::filtersOnlyVolumeArrivals()
{
    QFETCH(QByteArray, eventType);
    QFETCH(bool, withMessage);
    QFETCH(UINT, message);
    QFETCH(WPARAM, event);
    QFETCH(DWORD, deviceType);
    QFETCH(DWORD, unitMask);
    QFETCH(WORD, flags);
    QFETCH(QChar, letter);

    const DEV_BROADCAST_VOLUME broadcast = volumeBroadcast(unitMask, deviceType, flags);
    MSG msg = deviceChange(event, &broadcast, message);
    expectFiltered(eventType, withMessage ? &msg : nullptr, letter);
}

void TestWinDetector::readsNoFurtherThanTheStatedRecordSize_data()
{
    QTest::addColumn<int>("recordSize"); // 0: lParam is null
    QTest::addColumn<QChar>("letter"); // null: not consumed, nothing emitted

    QTest::addRow("null record") << 0 << QChar();
    QTest::addRow("size field only") << 4 << QChar();
    QTest::addRow("common header claiming a volume") << 12 << QChar();
    QTest::addRow("header and one byte of the mask") << 13 << QChar();
    QTest::addRow("up to the mask, without the flags") << 16 << QChar('E');
    QTest::addRow("whole volume record") << int(sizeof(DEV_BROADCAST_VOLUME)) << QChar('E');
}

// Windows guarantees only dbch_size bytes behind lParam; the memory after a short record is not
// the rest of a volume record.
void TestWinDetector::readsNoFurtherThanTheStatedRecordSize()
{
    QFETCH(int, recordSize);
    QFETCH(QChar, letter);

    const DEV_BROADCAST_VOLUME full = volumeBroadcast(bit('E'));
    QByteArray record(reinterpret_cast<const char *>(&full), sizeof(full));
    record.truncate(recordSize);
    const DWORD statedSize = DWORD(recordSize);
    if (recordSize >= int(sizeof(statedSize)))
        memcpy(record.data(), &statedSize, sizeof(statedSize));
    MSG msg = deviceChange(DBT_DEVICEARRIVAL,
        recordSize ? reinterpret_cast<const DEV_BROADCAST_VOLUME *>(record.constData()) : nullptr);
    expectFiltered(windowsMsg, &msg, letter);
}

void TestWinDetector::recognisesOnlyTheProductsVolume_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<DWORD>("unitMask");
    QTest::addColumn<QString>("mountPath"); // empty: not recognised

    QTest::addRow("product's volume")
        << Setup([] { plugProduct('E'); }) << bit('E') << QStringLiteral("E:/");
    QTest::addRow("unrelated stick") << Setup([] { plugOtherStick('G'); }) << bit('G') << QString();
    QTest::addRow("unrelated stick while the product is on E") << Setup([] {
        plugProduct('E');
        plugOtherStick('G');
    }) << bit('G') << QString();
    QTest::addRow("mask with D and F, product on F")
        << Setup([] { plugProduct('F'); }) << (bit('D') | bit('F')) << QString();
    QTest::addRow("mask with D and F, product on D")
        << Setup([] { plugProduct('D'); }) << (bit('D') | bit('F')) << QStringLiteral("D:/");
    QTest::addRow("mask without a letter")
        << Setup([] { plugProduct('E'); }) << DWORD(0) << QString();
    QTest::addRow("product on a fixed disk")
        << Setup([] { plugProduct('E', DRIVE_FIXED); }) << bit('E') << QString();
}

void TestWinDetector::recognisesOnlyTheProductsVolume()
{
    QFETCH(Setup, setup);
    QFETCH(DWORD, unitMask);
    QFETCH(QString, mountPath);
    setup();

    int calls = 0;
    QString pathAtCallback;
    int tasksAtCallback = -1;
    std::unique_ptr<WinDetector> detector;
    detector = std::make_unique<WinDetector>([&] {
        ++calls;
        pathAtCallback = detector->mountPath();
        tasksAtCallback = QThreadPool::globalInstance()->activeThreadCount();
    });
    detector->start(vid, pid, QStringLiteral("Tarsel Updater"));
    // Keeps a started pop-up closer in its first sleep, where the pool can count it.
    WinSim::holdSleepers(true);

    const DEV_BROADCAST_VOLUME broadcast = volumeBroadcast(unitMask);
    MSG msg = deviceChange(DBT_DEVICEARRIVAL, &broadcast);
    long result = -7;
    QVERIFY(dispatch(&msg, &result));
    QCOMPARE(result, 1L);

    const bool recognised = !mountPath.isEmpty();
    QCOMPARE(calls, recognised ? 1 : 0);
    QCOMPARE(detector->mountPath(), mountPath);
    QCOMPARE(QThreadPool::globalInstance()->activeThreadCount(), recognised ? 1 : 0);
    if (recognised) {
        QCOMPARE(pathAtCallback, mountPath);
        QCOMPARE(tasksAtCallback, 1);
    }
}

void TestWinDetector::staysArmedAfterARecognition()
{
    plugProduct('E');
    int calls = 0;
    WinDetector detector([&calls] { ++calls; });
    detector.start(vid, pid, QString());
    WinSim::holdSleepers(true);

    const DEV_BROADCAST_VOLUME broadcast = volumeBroadcast(bit('E'));
    MSG msg = deviceChange(DBT_DEVICEARRIVAL, &broadcast);
    long result = 0;
    QVERIFY(dispatch(&msg, &result));
    QVERIFY(dispatch(&msg, &result));
    QCOMPARE(calls, 2);
    QCOMPARE(QThreadPool::globalInstance()->activeThreadCount(), 2);
}

void TestWinDetector::deviceDetectorReportsWhileArmed()
{
    plugProduct('E');
    auto detector = std::make_unique<DeviceDetector>(
        [](std::function<void()> callback) -> std::unique_ptr<IDetector> {
            return std::make_unique<WinDetector>(std::move(callback));
        });
    QSignalSpy detected(detector.get(), &DeviceDetector::detected);

    const DEV_BROADCAST_VOLUME broadcast = volumeBroadcast(bit('E'));
    MSG arrival = deviceChange(DBT_DEVICEARRIVAL, &broadcast);
    MSG removal = deviceChange(DBT_DEVICEREMOVECOMPLETE, &broadcast);
    long result = -7;

    QVERIFY2(!dispatch(&arrival, &result), "filter installed before start");
    detector->start(vid, pid, QStringLiteral("Tarsel Updater"));
    QVERIFY(!dispatch(&removal, &result));
    QCOMPARE(result, -7L);
    QVERIFY(dispatch(&arrival, &result));
    QCOMPARE(detected.count(), 1);
    QCOMPARE(detected.first().first().toString(), QStringLiteral("E:/"));

    detector.reset();
    result = -7;
    QVERIFY2(!dispatch(&arrival, &result), "filter still installed after deletion");
    QCOMPARE(result, -7L);
}

void TestWinDetector::passesTheRealWindowSystemsEventsOn()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X display (run under xvfb-run)");
    // Filters installed later run first, so this one counts what the detector let through.
    XcbEventCounter counter;
    QCoreApplication::instance()->installNativeEventFilter(&counter);
    WinDetector detector([] {});
    detector.start(vid, pid, QString());

    QWindow window;
    window.resize(120, 80);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
    QVERIFY(counter.count > 0);
}

void TestWinDetector::castsToItsInterfaces()
{
    WinDetector detector([] {});
    QCOMPARE(detector.metaObject()->className(), "WinDetector");
    QCOMPARE(detector.metaObject()->methodCount(), QObject::staticMetaObject.methodCount());
    QCOMPARE(detector.metaObject()->propertyCount(), QObject::staticMetaObject.propertyCount());
    QCOMPARE(detector.qt_metacast("IDetector"),
        static_cast<void *>(static_cast<IDetector *>(&detector)));
    QCOMPARE(qobject_cast<IDetector *>(&detector), static_cast<IDetector *>(&detector));

    WinDetectorHelper helper;
    const QMetaObject *meta = helper.metaObject();
    QCOMPARE(meta->className(), "WinDetectorHelper");
    QCOMPARE(helper.qt_metacast("QAbstractNativeEventFilter"),
        static_cast<void *>(static_cast<QAbstractNativeEventFilter *>(&helper)));
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 1);
    const QMetaMethod signal = meta->method(meta->methodOffset());
    QCOMPARE(signal.methodType(), QMetaMethod::Signal);
    QCOMPARE(signal.methodSignature(), QByteArray("diskAppeared(QChar)"));
    QCOMPARE(signal.parameterNames(), QList<QByteArray> { "diskLetter" });
}

int main(int argc, char **argv)
{
    // Without a display only the case that needs one is skipped.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TestWinDetector test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windetector.moc"
