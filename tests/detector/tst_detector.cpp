// DeviceDetector on the Linux backend over a fake sysfs and mount table, tarsel-sim, the kernel.
#include "device.h"
#include "devicedetector.h"
#include "fakesysfs.h"
#include "linux/linuxdetector.h"
#include "linux/mounttablewatcher.h"

#include <QtTest>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {
const QByteArray base = "22 1 259:2 / / rw shared:1 - ext4 /dev/nvme0n1p2 rw\n"
                        "27 22 0:24 / /run rw shared:5 - tmpfs tmpfs rw\n";

QByteArray m(int id, const char *dev, const QByteArray &point, const char *source = "/dev/sdb1",
    const char *root = "/", const char *options = "rw,nosuid")
{
    return QByteArray::number(id) + " 27 " + dev + ' ' + root + ' ' + point + ' ' + options
        + " shared:9 - vfat " + source + " rw\n";
}

QByteArray enc(const QString &path)
{
    return QFile::encodeName(path);
}

// A DeviceDetector over the Linux backend, whose watch a test can wait on.
struct Armed
{
    LinuxDetector *backend = nullptr;
    DeviceDetector detector { [this](std::function<void()> callback) {
        auto made = std::make_unique<LinuxDetector>(std::move(callback));
        backend = made.get();
        return std::unique_ptr<IDetector>(std::move(made));
    } };
    QSignalSpy detected { &detector, &DeviceDetector::detected };

    MountTableWatcher *start(const QString &ids)
    {
        detector.start(ids.section(' ', 0, 0), ids.section(' ', 1), QStringLiteral("Tarsel"));
        return backend->findChild<MountTableWatcher *>();
    }
};

int sim(const QString &command, const QString &dir)
{
    return QProcess::execute(TARSEL_SIM_PATH, command.split(' ').replaceInStrings("DIR", dir));
}
} // namespace

class TestDetector : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    QString table;

    // The base table and extra lines replace the table at once; a null extra deletes it.
    void write(const QByteArray &extra)
    {
        QSaveFile file(table);
        QVERIFY(extra.isNull()
                ? QFile::remove(table)
                : file.open(QIODevice::WriteOnly) && file.write(base + extra) > 0 && file.commit());
    }

private slots:
    void initTestCase()
    {
        FakeSysfs sys(dir.filePath("sys"));
        QVERIFY(sys.addUsbDisk("1-2", "1a2b\n", "3c4d\n", "sdb", 8, 16, true, 1)
            && sys.addUsbDisk("1-3", "0951\n", "1666\n", "sdc", 8, 32, true, 1)
            && sys.addUsbDisk("1-5", "1a2b\n", "3c4d\n", "sdd", 8, 48, false, 1)
            && sys.addNvmeDisk("nvme0n1", 259, 0, 3));
        // Links to a product outside the root.
        FakeSysfs outside(dir.filePath("outside"));
        QVERIFY(outside.addUsbDisk("1-2", "1a2b\n", "3c4d\n", "sdz", 65, 0, true, 1));
        QVERIFY(sys.link(outside.blockDevicePath("sdz1"), sys.root() + "/dev/block/65:1"));
        QVERIFY(sys.link(outside.blockDevicePath("sdz1"), sys.root() + "/class/block/sdz1"));
        table = dir.filePath("mountinfo");
        qputenv("TARSEL_MOUNTINFO", enc(table));
        qputenv("TARSEL_SYSFS_ROOT", enc(sys.root()));
    }

    void reportsArrivals_data()
    {
        QTest::addColumn<QString>("ids");
        QTest::addColumn<QByteArray>("atStart");
        QTest::addColumn<QByteArrayList>("changes");
        QTest::addColumn<QStringList>("reports"); // per change, "" for none
        const auto add
            = [](const char *name, const QByteArrayList &changes, const QStringList &reports,
                  const QString &ids = "0x1a2b 0x3c4d", const QByteArray &atStart = "") {
                  QTest::newRow(name) << ids << atStart << changes << reports;
              };
        const QByteArray p = m(35, "8:17", "/m/T");
        const QStringList yes { "/m/T/" }, no { "" };
        add("partition mounted", { p }, yes);
        add("anonymous number, by source", { m(35, "0:52", "/m/T") }, yes);
        // Each refused line would win over the product's last one (a later point) if taken.
        add("not the product: a stick, a fixed disk, non-USB, a subfolder, links leaving the root",
            { m(31, "8:33", "/m/U", "/dev/sdc1") + m(32, "8:49", "/m/V", "/dev/sdd1")
                + m(33, "259:3", "/m/W", "/dev/nvme0n1p3")
                + m(34, "8:17", "/m/X", "/dev/sdb1", "/sub") + m(36, "65:1", "/m/Y", "none")
                + m(37, "0:51", "/m/Z", "/dev/sdz1") + p },
            yes);
        add("unreadable lines: too short, separator too late, an escaped zero byte",
            { "31 27 8:17 / /m/X rw - vfat\n"
              "32 27 8:17 / /m/Y rw a b c d e - vfat\n"
                + m(33, "8:17", "/m/Z\\000b") + p },
            yes);
        // Then an escaped backslash before digits, and escapes cut short at the end.
        add("UTF-8, every escape, not an escape",
            { m(35, "8:17", "/m/\xc3\x9c\\040B\\011C\\012D\\134E\\134040\\x\\9\\400\\04") },
            { "/m/\u00dc B\tC\nD\\E\\040\\x\\9\\400\\04/" });
        add("no optional fields, then several",
            { "35 27 8:17 / /m/A rw - vfat /dev/sdb1 rw\n",
                "36 27 8:17 / /m/B rw shared:5 master:1 unbindable - vfat /dev/sdb1 rw\n" },
            { "/m/A/", "/m/B/" });
        add("present at start, then remounted", { m(35, "8:17", "/m/T", "/dev/sdb1", "/", "ro") },
            no, "0x1a2b 0x3c4d", p);
        add("known mount, then another stick", { p, p + m(36, "8:33", "/m/S", "/dev/sdc1") },
            { "/m/T/", "" });
        add("unplug and re-plug", { p, "", p }, { "/m/T/", "", "/m/T/" });
        add("reused id at another point", { m(35, "8:17", "/m/O"), m(35, "8:17", "/m/N") },
            { "/m/O/", "/m/N/" });
        add("reused id and point, other device", { m(35, "8:33", "/m/T", "/dev/sdc1"), p },
            { "", "/m/T/" });
        add("same mount under a new id", { p, m(36, "8:17", "/m/T") }, { "/m/T/", "/m/T/" });
        add("several at once, the last point wins, on the whole disk",
            { m(35, "8:17", "/m/A") + m(36, "8:16", "/m/C", "/dev/sdb") + m(37, "8:17", "/m/B") },
            { "/m/C/" });
        // Losing the table for a moment must not make the mounts present at start arrive again.
        add("table deleted and restored", { QByteArray(), p, p + m(36, "8:17", "/z") },
            { "", "", "/z/" }, "0x1a2b 0x3c4d", p);
        add("vid and pid in upper case", { p }, yes, "0X1A2B 0X3C4D");
        add("pid a prefix of the real one", { p }, yes, "0x1a2b 0x3c");
    }
    void reportsArrivals()
    {
        QFETCH(QString, ids);
        QFETCH(QByteArray, atStart);
        QFETCH(QByteArrayList, changes);
        QFETCH(QStringList, reports);
        write(atStart);
        Armed armed;
        MountTableWatcher *watcher = armed.start(ids);
        QVERIFY(watcher && !watcher->isKernelTable());
        // Connected after the detector: each wait returns once the detector has read the table.
        QSignalSpy changed(watcher, &MountTableWatcher::changed);
        QList<QVariantList> expected;
        for (int i = 0; i < changes.size(); ++i) {
            write(changes.at(i));
            QVERIFY2(changed.wait(5000), qPrintable(QStringLiteral("change %1 not seen").arg(i)));
            if (!reports.at(i).isEmpty())
                expected << QVariantList { reports.at(i) };
            QCOMPARE(QList<QVariantList>(armed.detected), expected);
        }
    }

    // Only a regular file directly on the volume counts: an update deletes and rewrites it.
    void firmwareFileStaysOnTheVolume()
    {
        QTemporaryDir root;
        const QString v = root.filePath("v"), file = v + "/firmware.bin";
        QVERIFY(QDir().mkpath(v) && QFile::link(v, root.filePath("alias"))
            && QFile(v + "/real.bin").open(QIODevice::WriteOnly)
            && QFile::link(v + "/real.bin", file));
        QCOMPARE(Device(v + '/').firmwareFilePath(), QString());
        QVERIFY(QFile::remove(file) && QFile(file).open(QIODevice::WriteOnly));
        QCOMPARE(Device(v + '/').firmwareFilePath(), QDir(v).canonicalPath() + "/firmware.bin");
        // A mount point reached through a link (/media -> /run/media) is still the volume.
        QCOMPARE(Device(root.filePath("alias/")).firmwareFilePath(),
            QDir(v).canonicalPath() + "/firmware.bin");
    }

    void followsTheProductSimulator()
    {
        QTemporaryDir dir;
        const QString first = dir.filePath("a b"), root = dir.filePath("mo ved");
        // The ids as device.xml may give them; the kernel writes 0abc and 0012.
        QCOMPARE(sim("create DIR --vid 0XABC --pid 12", first), 0);
        // Its links are relative, as the kernel's: the simulation still works once moved.
        QVERIFY(QDir().rename(first, root));
        qputenv("TARSEL_SYSFS_ROOT", QFile::encodeName(root + "/sysfs"));
        qputenv("TARSEL_MOUNTINFO", QFile::encodeName(root + "/mountinfo"));

        DeviceDetector detector;
        QSignalSpy detected(&detector, &DeviceDetector::detected);
        detector.start("0x0abc", "0x0012", "Tarsel");
        // The stick first: had it been taken for the product, it would be the first report.
        const QList<std::tuple<const char *, int, int>> steps { { "plug-other DIR", 0, 0 },
            { "plug DIR", 0, 1 }, { "plug DIR", 1, 1 }, { "create DIR", 1, 1 },
            { "plug DIR --vid 0x1", 2, 1 }, { "create DIR/s --vid 0xZZ", 1, 1 },
            { "create DIR/s --tag 3-1 --firmware DIR/s", 2, 1 }, { "unplug DIR", 0, 1 },
            { "unplug DIR", 1, 1 }, { "plug DIR", 0, 2 } };
        for (const auto &[command, code, reports] : steps) {
            QVERIFY2(sim(command, root) == code, command);
            QTest::qWait(100); // each step reaches the detector first, as with a hand on the cable
            QVERIFY2(detected.size() == reports, command);
        }
        QCOMPARE(detected.at(1), QVariantList { root + "/volume/" });
        QVERIFY(!QFileInfo::exists(root + "/s"));
        QFile image(Device(root + "/volume/").firmwareFilePath());
        QVERIFY(image.open(QIODevice::ReadOnly));
        QCOMPARE(image.readAll().count("Ver:3-1.0.0.1\x0a\x0d"), 1);
    }

    // Last: it moves the process into its own mount namespace.
    void recognisesKernelMounts()
    {
        QTemporaryDir work;
        const QString volume = work.filePath("volume");
        const QByteArray v = enc(volume);
        QVERIFY(QDir().mkpath(volume));
        if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0
            || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || mount("tarsel", v, "tmpfs", 0, "size=1m") != 0)
            QSKIP("needs root and a private mount namespace");
        const auto unmount = qScopeGuard([&] { umount2(v, MNT_DETACH); });
        FakeSysfs sys(work.filePath("sys"));
        // The product's disk is the tmpfs's device number, as it is now.
        const auto plugged = [&](const char *port, const char *name) {
            struct stat info = {};
            return stat(v, &info) == 0
                && sys.addUsbDisk(port, "1a2b\n", "3c4d\n", name, major(info.st_dev),
                    minor(info.st_dev), true, 0);
        };
        QVERIFY(plugged("1-2", "sdx"));
        qputenv("TARSEL_SYSFS_ROOT", enc(sys.root()));
        qunsetenv("TARSEL_MOUNTINFO");

        const auto armed = std::make_unique<Armed>();
        QSignalSpy changed(armed->start("0x1a2b 0x3c4d"), &MountTableWatcher::changed);
        QVERIFY(armed->backend->findChild<MountTableWatcher *>()->isKernelTable());
        // A remount is no arrival.
        QVERIFY(mount(nullptr, v, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0
            && changed.wait(5000));
        QVERIFY(armed->detected.isEmpty());
        // Undone and redone between two reads: the kernel may hand out the same id and device
        // number again, and the table's line reads as before. A mount nonetheless.
        QVERIFY(umount2(v, 0) == 0 && mount("tarsel", v, "tmpfs", 0, "size=1m") == 0);
        QVERIFY(plugged("1-3", "sdy") && changed.wait(5000));
        QCOMPARE(QList<QVariantList>(armed->detected), QList<QVariantList> { { volume + '/' } });
    }
};

QTEST_GUILESS_MAIN(TestDetector)
#include "tst_detector.moc"
