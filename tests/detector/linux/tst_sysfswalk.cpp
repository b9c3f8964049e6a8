#include "fakesysfs.h"
#include "linux/sysfswalk.h"

#include <QtTest>

class TestSysfsWalk : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void findsUsbDisk_data();
    void findsUsbDisk();

private:
    QTemporaryDir dir;
    QString mainRoot;
    QString nestedRoot;
};

void TestSysfsWalk::initTestCase()
{
    QVERIFY(dir.isValid());
    mainRoot = dir.filePath(QStringLiteral("sys"));
    FakeSysfs sys(mainRoot);
    QVERIFY2(sys.addUsbDisk(
                 QStringLiteral("1-2"), "1a2b\n", "3c4d\n", QStringLiteral("sdb"), 8, 16, true, 1),
        qPrintable(sys.errorString()));
    QVERIFY(sys.addUsbDisk(
        QStringLiteral("1-5"), "1a2b\n", "3c4d\n", QStringLiteral("sdd"), 8, 48, false, 1));
    QVERIFY(sys.addNvmeDisk(QStringLiteral("nvme0n1"), 259, 0, 2));
    // A device removed while its links stayed behind.
    QVERIFY(sys.link(mainRoot + QStringLiteral("/devices/gone/block/sdf"),
        mainRoot + QStringLiteral("/dev/block/8:80")));
    QVERIFY(sys.link(mainRoot + QStringLiteral("/devices/gone/block/sdf"),
        mainRoot + QStringLiteral("/class/block/sdf")));

    // A complete product outside the root, reachable only through links that leave it.
    FakeSysfs outside(dir.filePath(QStringLiteral("outside")));
    QVERIFY(outside.addUsbDisk(
        QStringLiteral("1-2"), "1a2b\n", "3c4d\n", QStringLiteral("sdz"), 65, 0, true, 1));
    QVERIFY(sys.link(outside.blockDevicePath(QStringLiteral("sdz1")),
        mainRoot + QStringLiteral("/dev/block/65:1")));
    QVERIFY(sys.link(outside.blockDevicePath(QStringLiteral("sdz1")),
        mainRoot + QStringLiteral("/class/block/sdz1")));

    // A root that lies inside a USB device's folder: the walk must not climb above the root.
    FakeSysfs outer(dir.filePath(QStringLiteral("outer")));
    QVERIFY(outer.addUsbDisk(
        QStringLiteral("1-2"), "1a2b\n", "3c4d\n", QStringLiteral("sdy"), 8, 64, true, 0));
    nestedRoot = outer.usbDevicePath(QStringLiteral("1-2")) + QStringLiteral("/inner");
    QVERIFY(FakeSysfs(nestedRoot).addNvmeDisk(QStringLiteral("nvme0n1"), 259, 0, 0));
}

void TestSysfsWalk::findsUsbDisk_data()
{
    QTest::addColumn<bool>("nested");
    QTest::addColumn<uint>("major");
    QTest::addColumn<uint>("minor");
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("found");
    QTest::addColumn<bool>("removable");

    QTest::addRow("partition of a removable USB disk")
        << false << 8u << 17u << "/dev/sdb1" << true << true;
    QTest::addRow("whole USB disk") << false << 8u << 16u << "/dev/sdb" << true << true;
    QTest::addRow("partition of a fixed USB disk")
        << false << 8u << 49u << "/dev/sdd1" << true << false;
    QTest::addRow("NVMe partition") << false << 259u << 1u << "/dev/nvme0n1p1" << false << false;
    QTest::addRow("anonymous number, found by source")
        << false << 0u << 51u << "/dev/sdb1" << true << true;
    QTest::addRow("number without entry, found by source")
        << false << 8u << 99u << "/dev/sdb1" << true << true;
    QTest::addRow("number before source") << false << 8u << 17u << "/dev/nvme0n1p1" << true << true;
    QTest::addRow("source not a device") << false << 0u << 51u << "tmpfs" << false << false;
    QTest::addRow("source climbing out of class/block")
        << false << 0u << 51u << "/dev/../../devices" << false << false;
    QTest::addRow("source naming the parent") << false << 0u << 51u << "/dev/.." << false << false;
    QTest::addRow("dangling number link") << false << 8u << 80u << "" << false << false;
    QTest::addRow("dangling name link") << false << 0u << 51u << "/dev/sdf" << false << false;
    QTest::addRow("number link leaving the root") << false << 65u << 1u << "" << false << false;
    QTest::addRow("name link leaving the root")
        << false << 0u << 51u << "/dev/sdz1" << false << false;
    QTest::addRow("walk stops at the root")
        << true << 259u << 0u << "/dev/nvme0n1" << false << false;
}

void TestSysfsWalk::findsUsbDisk()
{
    QFETCH(bool, nested);
    QFETCH(uint, major);
    QFETCH(uint, minor);
    QFETCH(QString, source);
    QFETCH(bool, found);
    QFETCH(bool, removable);

    const SysfsWalk walk(nested ? nestedRoot : mainRoot);
    const QString blockDevice = walk.blockDevice(major, minor, source);
    UsbDisk disk;
    const bool usb = !blockDevice.isEmpty() && walk.usbDiskOf(blockDevice, disk);
    QCOMPARE(usb, found);
    if (!found)
        return;
    // The ids are the device's, trimmed: not the interface's (none) nor the root hub's (1d6b).
    QCOMPARE(disk.idVendor, QStringLiteral("1a2b"));
    QCOMPARE(disk.idProduct, QStringLiteral("3c4d"));
    QCOMPARE(disk.removable, removable);
}

QTEST_GUILESS_MAIN(TestSysfsWalk)
#include "tst_sysfswalk.moc"
