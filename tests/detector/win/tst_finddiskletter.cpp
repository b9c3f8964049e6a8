#include "devicehandle.h"
#include "finddiskletter.h"
#include "winsim.h"

#include <QtTest>

#include <winioctl.h>

#include <functional>

using Setup = std::function<void()>;
Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(WinSim::Access)

namespace {

const QString productUsbId = QStringLiteral("USB\\VID_1A2B&PID_3C4D\\TS0001");

QString diskInterfacePath(DWORD diskNumber, int length = 0)
{
    QString path
        = QStringLiteral("\\\\?\\usbstor#disk&ven_tarsel&prod_update#%1&0#").arg(diskNumber);
    if (length > 0)
        path += QString(length - path.size() - 38, QLatin1Char('x'));
    return path + QStringLiteral("{53f56307-b6bf-11d0-94f2-00a0c91efb8b}");
}

// A USB stick as Windows shows it: the USB device, its mass-storage disk as first child, and the
// disk's interface. Returns the disk's node.
DEVINST plugStick(const QString &usbId, DWORD diskNumber, int pathLength = 0)
{
    const DEVINST usb = WinSim::addDevice(usbId);
    const DEVINST disk = WinSim::addDevice(
        QStringLiteral("USBSTOR\\DISK&VEN_TARSEL&PROD_UPDATE\\%1&0").arg(diskNumber), usb);
    WinSim::addDisk(disk, diskInterfacePath(diskNumber, pathLength), diskNumber);
    return disk;
}

void plugProduct(QChar letter, UINT driveType = DRIVE_REMOVABLE)
{
    plugStick(productUsbId, 3);
    WinSim::addVolume(letter, driveType, 3);
}

} // namespace

class TestFindDiskLetter : public QObject
{
    Q_OBJECT
private slots:
    void init() { WinSim::reset(); }
    void cleanup()
    {
        QCOMPARE(WinSim::openHandles(), 0);
        QCOMPARE(WinSim::openDeviceInfoSets(), 0);
        QCOMPARE(WinSim::badReleases(), 0);
    }

    void findsTheProductsRemovableVolume_data();
    void findsTheProductsRemovableVolume();
    void mapsDisksAndVolumesOfAWholeMachine();
    void opensDevicesWithTheMostAccessGranted_data();
    void opensDevicesWithTheMostAccessGranted();
};

void TestFindDiskLetter::findsTheProductsRemovableVolume_data()
{
    QTest::addColumn<QString>("vid");
    QTest::addColumn<QString>("pid");
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QChar>("letter");

    const QString vid = QStringLiteral("0x1A2B");
    const QString pid = QStringLiteral("0x3C4D");

    QTest::addRow("product on E") << vid << pid << Setup([] { plugProduct('E'); }) << QChar('E');
    QTest::addRow("instance identifier in lower case") << vid << pid << Setup([] {
        plugStick(QStringLiteral("usb\\vid_1a2b&pid_3c4d\\ts0001"), 3);
        WinSim::addVolume('E', DRIVE_REMOVABLE, 3);
    }) << QChar('E');
    QTest::addRow("identifiers written in lower case")
        << QStringLiteral("0x1a2b") << QStringLiteral("0x3c4d") << Setup([] { plugProduct('E'); })
        << QChar('E');
    QTest::addRow("interface suffix after the pid") << vid << pid << Setup([] {
        plugStick(QStringLiteral("USB\\VID_1A2B&PID_3C4D&MI_00\\6&2B1C&0&0000"), 3);
        WinSim::addVolume('E', DRIVE_REMOVABLE, 3);
    }) << QChar('E');
    QTest::addRow("one-character vid used whole") << QStringLiteral("7") << pid << Setup([] {
        plugStick(QStringLiteral("USB\\VID_7&PID_3C4D\\1"), 3);
        WinSim::addVolume('E', DRIVE_REMOVABLE, 3);
    }) << QChar('E');
    QTest::addRow("two-character vid reduced to nothing") << QStringLiteral(
        "0x") << pid << Setup([] {
        plugStick(QStringLiteral("USB\\VID_&PID_3C4D\\1"), 3);
        WinSim::addVolume('E', DRIVE_REMOVABLE, 3);
    }) << QChar('E');
    QTest::addRow("other product id") << vid << pid << Setup([] {
        plugStick(QStringLiteral("USB\\VID_1A2B&PID_3C4E\\TS0001"), 3);
        WinSim::addVolume('E', DRIVE_REMOVABLE, 3);
    }) << QChar();
    QTest::addRow("remembered instance listed first") << vid << pid << Setup([] {
        WinSim::addRememberedDevice(QStringLiteral("USB\\VID_1A2B&PID_3C4D\\OLD0001"));
        plugProduct('E');
    }) << QChar('E');
    QTest::addRow("first match without a child passed over") << vid << pid << Setup([] {
        WinSim::addDevice(QStringLiteral("USB\\VID_1A2B&PID_3C4D\\LONELY"));
        plugProduct('E');
    }) << QChar('E');
    QTest::addRow("only match without a child") << vid << pid << Setup([] {
        WinSim::addDevice(productUsbId);
        WinSim::addVolume('E', DRIVE_REMOVABLE, 3);
    }) << QChar();
    QTest::addRow("two removable volumes on one disk: the later letter wins")
        << vid << pid << Setup([] {
               plugProduct('E');
               WinSim::addVolume('G', DRIVE_REMOVABLE, 3);
           })
        << QChar('G');
    QTest::addRow("product on A") << vid << pid << Setup([] { plugProduct('A'); }) << QChar('A');
    QTest::addRow("product on Z") << vid << pid << Setup([] { plugProduct('Z'); }) << QChar('Z');
    QTest::addRow("product volume on a fixed disk")
        << vid << pid << Setup([] { plugProduct('E', DRIVE_FIXED); }) << QChar();
    QTest::addRow("only another stick's disk has a volume") << vid << pid << Setup([] {
        const DEVINST usb = WinSim::addDevice(productUsbId);
        WinSim::addDevice(QStringLiteral("USBSTOR\\DISK&VEN_TARSEL\\NODISK"), usb);
        plugStick(QStringLiteral("USB\\VID_0951&PID_1666\\OTHER"), 2);
        WinSim::addVolume('E', DRIVE_REMOVABLE, 2);
    }) << QChar();
    QTest::addRow("another stick's earlier letter not taken") << vid << pid << Setup([] {
        plugStick(QStringLiteral("USB\\VID_0951&PID_1666\\OTHER"), 2);
        WinSim::addVolume('E', DRIVE_REMOVABLE, 2);
        plugProduct('G');
    }) << QChar('G');
    QTest::addRow("disk present but no volume")
        << vid << pid << Setup([] { plugStick(productUsbId, 3); }) << QChar();
    QTest::addRow("volume cannot be opened") << vid << pid << Setup([] {
        plugStick(productUsbId, 3);
        WinSim::addVolume('E', DRIVE_REMOVABLE, 3, WinSim::Access::None);
    }) << QChar();
    QTest::addRow("volume without a device number") << vid << pid << Setup([] {
        plugStick(productUsbId, 3);
        WinSim::addVolume('E', DRIVE_REMOVABLE, std::nullopt);
    }) << QChar();
    QTest::addRow("disk without a device number") << vid << pid << Setup([] {
        const DEVINST usb = WinSim::addDevice(productUsbId);
        const DEVINST disk = WinSim::addDevice(QStringLiteral("USBSTOR\\DISK\\1"), usb);
        WinSim::addDisk(disk, diskInterfacePath(3), std::nullopt);
        WinSim::addVolume('E', DRIVE_REMOVABLE, 3);
    }) << QChar();
    QTest::addRow("device path longer than the first detail buffer") << vid << pid << Setup([] {
        plugStick(productUsbId, 3, 700);
        WinSim::addVolume('E', DRIVE_REMOVABLE, 3);
    }) << QChar('E');
    QTest::addRow("short path after a long one") << vid << pid << Setup([] {
        plugStick(QStringLiteral("USB\\VID_0951&PID_1666\\OTHER"), 2, 900);
        plugProduct('E');
    }) << QChar('E');
    QTest::addRow("disk interfaces cannot be listed") << vid << pid << Setup([] {
        plugProduct('E');
        WinSim::failDeviceInfoSets(true);
    }) << QChar();
    QTest::addRow("device list grows between size query and fetch") << vid << pid << Setup([] {
        plugProduct('E');
        WinSim::afterNextListSizeQuery(
            [] { WinSim::addDevice(QStringLiteral("HID\\VID_046D&PID_C077\\7&1")); });
    }) << QChar();
    QTest::addRow("no devices at all") << vid << pid << Setup([] {}) << QChar();
}

void TestFindDiskLetter::findsTheProductsRemovableVolume()
{
    QFETCH(QString, vid);
    QFETCH(QString, pid);
    QFETCH(Setup, setup);
    QFETCH(QChar, letter);

    // Every machine has a system disk, which must never be taken for the product's.
    const DEVINST systemDisk = WinSim::addDevice(QStringLiteral("SCSI\\DISK&VEN_NVME\\4&1&0&0"));
    WinSim::addDisk(systemDisk, QStringLiteral("\\\\?\\scsi#disk&ven_nvme#4&1&0&0#{53f56307}"), 0);
    WinSim::addVolume('C', DRIVE_FIXED, 0);
    setup();

    QCOMPARE(findDiskLetter(vid, pid), letter);
}

void TestFindDiskLetter::mapsDisksAndVolumesOfAWholeMachine()
{
    const DEVINST system = WinSim::addDevice(QStringLiteral("SCSI\\DISK&VEN_NVME\\4&1&0&0"));
    WinSim::addDisk(system, QStringLiteral("\\\\?\\scsi#disk&ven_nvme#4&1#{53f56307}"), 0);
    const DEVINST data = WinSim::addDevice(QStringLiteral("SCSI\\DISK&VEN_WDC\\4&2&0&0"));
    WinSim::addDisk(data, QStringLiteral("\\\\?\\scsi#disk&ven_wdc#4&2#{53f56307}"), 1,
        WinSim::Access::ReadWrite);
    const DEVINST stick = plugStick(QStringLiteral("USB\\VID_0951&PID_1666\\OTHER"), 2);
    const DEVINST product = plugStick(productUsbId, 3);
    WinSim::addVolume('C', DRIVE_FIXED, 0);
    WinSim::addVolume('D', DRIVE_FIXED, 1);
    WinSim::addVolume('E', DRIVE_REMOVABLE, 2);
    WinSim::addVolume('F', DRIVE_REMOVABLE, 3);
    WinSim::addVolume('G', DRIVE_REMOVABLE, 3);
    WinSim::addVolume('H', DRIVE_REMOVABLE, std::nullopt); // a card reader without a card
    WinSim::addVolume('I', DRIVE_CDROM, 0);

    const QMap<DEVINST, DWORD> disks { { system, 0 }, { data, 1 }, { stick, 2 }, { product, 3 } };
    QCOMPARE(diskNumbersByDevInst(GUID_DEVINTERFACE_DISK), disks);
    QVERIFY(diskNumbersByDevInst(GUID_DEVINTERFACE_VOLUME).isEmpty());

    const QMap<qint32, QChar> removable { { 2, 'E' }, { 3, 'G' } };
    QCOMPARE(volumeLettersByDiskNumber(DRIVE_REMOVABLE), removable);
    const QMap<qint32, QChar> fixed { { 0, 'C' }, { 1, 'D' } };
    QCOMPARE(volumeLettersByDiskNumber(DRIVE_FIXED), fixed);
}

void TestFindDiskLetter::opensDevicesWithTheMostAccessGranted_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<WinSim::Access>("granted");
    QTest::addColumn<QVector<DWORD>>("requests");
    QTest::addColumn<bool>("usable");

    const QString volume = QStringLiteral("\\\\.\\E:");
    const QVector<DWORD> all { GENERIC_READ | GENERIC_WRITE, GENERIC_READ, 0 };
    QTest::addRow("read and write") << volume << WinSim::Access::ReadWrite
                                    << QVector<DWORD> { GENERIC_READ | GENERIC_WRITE } << true;
    QTest::addRow("read only") << volume << WinSim::Access::ReadOnly
                               << QVector<DWORD> { GENERIC_READ | GENERIC_WRITE, GENERIC_READ }
                               << true;
    QTest::addRow("queries only") << volume << WinSim::Access::QueryOnly << all << true;
    QTest::addRow("nothing") << volume << WinSim::Access::None << all << false;
    QTest::addRow("no such device")
        << QStringLiteral("\\\\.\\Q:") << WinSim::Access::ReadWrite << all << false;
}

void TestFindDiskLetter::opensDevicesWithTheMostAccessGranted()
{
    QFETCH(QString, path);
    QFETCH(WinSim::Access, granted);
    QFETCH(QVector<DWORD>, requests);
    QFETCH(bool, usable);

    WinSim::addVolume('E', DRIVE_REMOVABLE, 3, granted);
    {
        const DeviceHandle device = openDevice(reinterpret_cast<LPCWSTR>(path.utf16()), 0);
        QCOMPARE(device.isUsable(), usable);
        QCOMPARE(WinSim::openHandles(), usable ? 1 : 0);
    }
    QCOMPARE(WinSim::accessesRequested(path), requests);
}

QTEST_GUILESS_MAIN(TestFindDiskLetter)
#include "tst_finddiskletter.moc"
