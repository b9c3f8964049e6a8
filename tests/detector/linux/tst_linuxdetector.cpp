// The detector on a mount table that is a plain file and a fake sysfs tree: every rule about
// which mount counts, run through the real watch.
#include "fakesysfs.h"
#include "linux/linuxdetector.h"
#include "linux/mounttablewatcher.h"

#include <QtTest>

namespace {

const QByteArray baseTable = "22 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw\n"
                             "23 22 0:21 / /proc rw,nosuid shared:12 - proc proc rw\n"
                             "27 22 0:24 / /run rw,nosuid shared:5 - tmpfs tmpfs rw,mode=755\n";

QByteArray mount(int id, const char *device, const QByteArray &point,
    const char *source = "/dev/sdb1", const char *root = "/",
    const char *options = "rw,nosuid,nodev,relatime")
{
    return QByteArray::number(id) + " 27 " + device + ' ' + root + ' ' + point + ' ' + options
        + " shared:" + QByteArray::number(id) + " - vfat " + source + " rw,uid=1000\n";
}

} // namespace

class TestLinuxDetector : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void reportsArrivals_data();
    void reportsArrivals();
    void ignoresArrivalsBeforeStart();
    void deletingStopsTheWatch();

private:
    void writeTable(const QByteArray &table, bool inPlace = false);

    QTemporaryDir dir;
    QString tablePath;
};

void TestLinuxDetector::initTestCase()
{
    QVERIFY(dir.isValid());
    const QString root = dir.filePath(QStringLiteral("sys"));
    FakeSysfs sys(root);
    QVERIFY2(sys.addUsbDisk(
                 QStringLiteral("1-2"), "1a2b\n", "3c4d\n", QStringLiteral("sdb"), 8, 16, true, 1),
        qPrintable(sys.errorString()));
    QVERIFY(sys.addUsbDisk(
        QStringLiteral("1-3"), "0951\n", "1666\n", QStringLiteral("sdc"), 8, 32, true, 1));
    QVERIFY(sys.addUsbDisk(
        QStringLiteral("1-5"), "1a2b\n", "3c4d\n", QStringLiteral("sdd"), 8, 48, false, 1));
    QVERIFY(sys.addNvmeDisk(QStringLiteral("nvme0n1"), 259, 0, 3));
    tablePath = dir.filePath(QStringLiteral("table/mountinfo"));
    QVERIFY(QDir().mkpath(QFileInfo(tablePath).path()));
    qputenv("TARSEL_SYSFS_ROOT", QFile::encodeName(root));
    qputenv("TARSEL_MOUNTINFO", QFile::encodeName(tablePath));
}

void TestLinuxDetector::init()
{
    writeTable(baseTable);
}

void TestLinuxDetector::cleanup()
{
    QFile::remove(tablePath);
}

void TestLinuxDetector::writeTable(const QByteArray &table, bool inPlace)
{
    if (table.isNull()) {
        QVERIFY(QFile::remove(tablePath));
    } else if (inPlace) {
        QFile file(tablePath);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(table), qint64(table.size()));
    } else {
        QSaveFile file(tablePath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(table), qint64(table.size()));
        QVERIFY(file.commit());
    }
}

void TestLinuxDetector::reportsArrivals_data()
{
    QTest::addColumn<QByteArray>("atStart");
    // Each change is one new table; a null one deletes the file.
    QTest::addColumn<QByteArrayList>("changes");
    // What each change reports: a mount path, or nothing.
    QTest::addColumn<QStringList>("reports");
    QTest::addColumn<bool>("inPlace");

    const QByteArray &b = baseTable;
    const QByteArray product = mount(35, "8:17", "/media/u/TARSEL");

    QTest::addRow("partition mounted")
        << b << QByteArrayList { b + product } << QStringList { "/media/u/TARSEL/" } << false;
    QTest::addRow("table rewritten in place")
        << b << QByteArrayList { b + product } << QStringList { "/media/u/TARSEL/" } << true;
    QTest::addRow("whole-disk file system")
        << b << QByteArrayList { b + mount(35, "8:16", "/media/u/TARSEL", "/dev/sdb") }
        << QStringList { "/media/u/TARSEL/" } << false;
    QTest::addRow("anonymous device number, by source")
        << b << QByteArrayList { b + mount(35, "0:52", "/media/u/TARSEL", "/dev/sdb1") }
        << QStringList { "/media/u/TARSEL/" } << false;
    QTest::addRow("unrelated stick")
        << b << QByteArrayList { b + mount(35, "8:33", "/media/u/STICK", "/dev/sdc1") }
        << QStringList { "" } << false;
    QTest::addRow("fixed disk with the product's ids")
        << b << QByteArrayList { b + mount(35, "8:49", "/media/u/FIXED", "/dev/sdd1") }
        << QStringList { "" } << false;
    QTest::addRow("non-USB disk") << b
                                  << QByteArrayList { b
                                         + mount(35, "259:3", "/home", "/dev/nvme0n1p3") }
                                  << QStringList { "" } << false;
    QTest::addRow("bind mount of a subfolder")
        << b << QByteArrayList { b + mount(35, "8:17", "/mnt/sub", "/dev/sdb1", "/sub") }
        << QStringList { "" } << false;
    QTest::addRow("every escape in the mount point")
        << b << QByteArrayList { b + mount(35, "8:17", "/media/u/A\\040B\\011C\\012D\\134E") }
        << QStringList { "/media/u/A B\tC\nD\\E/" } << false;
    QTest::addRow("present at start, then remounted")
        << b + product
        << QByteArrayList { b + mount(35, "8:17", "/media/u/TARSEL", "/dev/sdb1", "/", "ro") }
        << QStringList { "" } << false;
    QTest::addRow("second arrival while armed")
        << b
        << QByteArrayList { b + mount(35, "8:17", "/media/u/A"),
               b + mount(35, "8:17", "/media/u/A") + mount(36, "8:17", "/media/u/B") }
        << QStringList { "/media/u/A/", "/media/u/B/" } << false;
    QTest::addRow("unplug and re-plug with the same id")
        << b << QByteArrayList { b + product, b, b + product }
        << QStringList { "/media/u/TARSEL/", "", "/media/u/TARSEL/" } << false;
    // Unplug and re-plug seen as one change: the kernel gave the new mount the gone one's id.
    QTest::addRow("reused id at another mount point")
        << b
        << QByteArrayList { b + mount(35, "8:17", "/media/u/OLD"),
               b + mount(35, "8:17", "/media/u/NEW") }
        << QStringList { "/media/u/OLD/", "/media/u/NEW/" } << false;
    QTest::addRow("reused id and mount point, other device")
        << b
        << QByteArrayList { b + mount(35, "8:33", "/media/u/DISK", "/dev/sdc1"),
               b + mount(35, "8:17", "/media/u/DISK") }
        << QStringList { "", "/media/u/DISK/" } << false;
    QTest::addRow("several mounts at once, the last wins")
        << b
        << QByteArrayList { b + mount(35, "8:17", "/media/u/A") + mount(36, "8:17", "/media/u/C")
               + mount(37, "8:16", "/media/u/B", "/dev/sdb") }
        << QStringList { "/media/u/C/" } << false;
    // Losing the table for a moment must not make the mounts present at start arrive again.
    QTest::addRow("table deleted and restored")
        << b + product
        << QByteArrayList { QByteArray(), b + product, b + product + mount(36, "8:17", "/z") }
        << QStringList { "", "", "/z/" } << false;
}

void TestLinuxDetector::reportsArrivals()
{
    QFETCH(QByteArray, atStart);
    QFETCH(QByteArrayList, changes);
    QFETCH(QStringList, reports);
    QFETCH(bool, inPlace);
    QCOMPARE(changes.size(), reports.size());

    writeTable(atStart);
    QStringList reported;
    LinuxDetector *self = nullptr;
    LinuxDetector detector([&reported, &self] { reported.append(self->mountPath()); });
    self = &detector;
    detector.start(QStringLiteral("0x1a2b"), QStringLiteral("0x3c4d"), QStringLiteral("Tarsel"));
    auto *watcher = detector.findChild<MountTableWatcher *>();
    QVERIFY(watcher);
    QVERIFY(!watcher->isKernelTable());
    // Connected after the detector, so each wait returns once the detector has read the table.
    QSignalSpy changed(watcher, &MountTableWatcher::changed);

    QStringList expected;
    for (int i = 0; i < changes.size(); ++i) {
        writeTable(changes.at(i), inPlace);
        QVERIFY2(changed.wait(5000), qPrintable(QStringLiteral("change %1 not seen").arg(i)));
        if (!reports.at(i).isEmpty())
            expected.append(reports.at(i));
        QCOMPARE(reported, expected);
    }
}

void TestLinuxDetector::ignoresArrivalsBeforeStart()
{
    int calls = 0;
    LinuxDetector detector([&calls] { ++calls; });
    QVERIFY(!detector.findChild<MountTableWatcher *>());
    writeTable(baseTable + mount(35, "8:17", "/media/u/TARSEL"));
    QCoreApplication::processEvents();

    detector.start(QStringLiteral("0x1a2b"), QStringLiteral("0x3c4d"), QString());
    auto *watcher = detector.findChild<MountTableWatcher *>();
    QVERIFY(watcher);
    QSignalSpy changed(watcher, &MountTableWatcher::changed);
    writeTable(baseTable + mount(35, "8:17", "/media/u/TARSEL", "/dev/sdb1", "/", "ro"));
    QVERIFY(changed.wait(5000));
    QCOMPARE(calls, 0);
    QVERIFY(detector.mountPath().isEmpty());
}

void TestLinuxDetector::deletingStopsTheWatch()
{
    int deletedCalls = 0;
    auto deleted = std::make_unique<LinuxDetector>([&deletedCalls] { ++deletedCalls; });
    deleted->start(QStringLiteral("0x1a2b"), QStringLiteral("0x3c4d"), QString());
    deleted.reset();

    // A second detector on the same table tells when the change has been delivered.
    int calls = 0;
    LinuxDetector witness([&calls] { ++calls; });
    witness.start(QStringLiteral("0x1a2b"), QStringLiteral("0x3c4d"), QString());
    writeTable(baseTable + mount(35, "8:17", "/media/u/TARSEL"));
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 5000);
    QTest::qWait(50);
    QCOMPARE(deletedCalls, 0);
}

QTEST_GUILESS_MAIN(TestLinuxDetector)
#include "tst_linuxdetector.moc"
