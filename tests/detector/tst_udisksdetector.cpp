// LinuxDetector against a real UDisks2 that the test starts itself (system bus, udevd, udisksd),
// with ext4 images on loop devices; a fake sysfs gives the product's loop device its USB identity.
#include "devicedetector.h"
#include "fakesysfs.h"

#include <QtTest>

#include <unistd.h>

namespace {

int run(const QString &program, const QStringList &arguments, QString *out = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    if (out)
        *out = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    return process.exitCode();
}

bool waitFor(const std::function<bool()> &condition)
{
    for (int i = 0; i < 500; ++i) {
        if (condition())
            return true;
        QTest::qWait(20);
    }
    return false;
}

bool busHas(const QString &name)
{
    QString out;
    run("dbus-send",
        { "--system", "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
            "org.freedesktop.DBus.NameHasOwner", "string:" + name },
        &out);
    return out.contains("boolean true");
}

QStringList mountsOf(const QString &loop)
{
    QStringList points;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes())
        if (volume.device() == "/dev/" + loop.toLatin1())
            points << volume.rootPath();
    return points;
}

// What the test started, stopped by pid whatever happens; what ran before is left alone.
struct Services
{
    std::vector<std::unique_ptr<QProcess>> started;
    QStringList leftovers; // that the test made

    bool start(const QString &program, const QStringList &arguments)
    {
        started.push_back(std::make_unique<QProcess>());
        started.back()->setStandardOutputFile(QProcess::nullDevice());
        started.back()->setStandardErrorFile(QProcess::nullDevice());
        started.back()->start(program, arguments);
        return started.back()->waitForStarted(5000);
    }
    ~Services()
    {
        for (auto process = started.rbegin(); process != started.rend(); ++process) {
            (*process)->terminate();
            if (!(*process)->waitForFinished(5000))
                (*process)->kill(); // and waited for by the destructor
        }
        started.clear();
        for (const QString &path : qAsConst(leftovers)) {
            if (!QFile::remove(path))
                QDir(path).removeRecursively();
        }
    }
};

} // namespace

class TestUDisksDetector : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    Services services;
    std::unique_ptr<FakeSysfs> sysfs;
    QStringList attached;

    // The product's loop device gets its USB identity before it is attached, so that UDisks2
    // cannot announce it before the tree says what it is.
    QString attach(const char *image, bool product)
    {
        QString device;
        for (int attempt = 0; attempt < 5 && run("losetup", { "-f" }, &device) == 0; ++attempt) {
            if (product
                && !sysfs->addUsbDisk(
                    "1-2", "1a2b\n", "3c4d\n", device.mid(5), 7, device.mid(9).toUInt(), true, 0))
                break;
            if (run("losetup", { device, dir.filePath(image) }) == 0) {
                attached << device.mid(5);
                return attached.last();
            }
        }
        return QString();
    }

private slots:
    void initTestCase()
    {
        if (geteuid() != 0)
            QSKIP("needs root to start udevd and udisksd and to attach loop devices");
        for (const char *name : { "product", "other" }) {
            const QString image = dir.filePath(name);
            QVERIFY(QFile(image).open(QIODevice::WriteOnly) && QFile::resize(image, 8 << 20));
            QCOMPARE(run("mkfs.ext4", { "-q", "-L", QString(name).toUpper(), image }), 0);
        }
        if (!busHas("org.freedesktop.DBus")) {
            // Nobody listens there: a socket left by an earlier bus, which would stop this one.
            services.leftovers << "/run/dbus/system_bus_socket";
            QFile::remove(services.leftovers.last());
            QVERIFY(QDir().mkpath("/run/dbus")
                && services.start("dbus-daemon", { "--system", "--nofork", "--nopidfile" }));
            QVERIFY2(waitFor([] { return busHas("org.freedesktop.DBus"); }), "no system bus");
        }
        if (!QFileInfo::exists("/run/udev/control")) {
            if (!QFileInfo::exists("/run/udev"))
                services.leftovers << "/run/udev";
            if (!services.start("/lib/systemd/systemd-udevd", {})
                || !waitFor([] { return QFileInfo::exists("/run/udev/control"); }))
                QSKIP("systemd-udevd cannot start here (scripts/deps.sh installs udev)");
            // Devices present before udevd stay unknown to it without their add events.
            QCOMPARE(run("udevadm", { "trigger", "--action=add", "--subsystem-match=block" }), 0);
            QCOMPARE(run("udevadm", { "settle", "--timeout=20" }), 0);
        }
        if (!busHas("org.freedesktop.UDisks2")
            && !(services.start("/usr/libexec/udisks2/udisksd", { "--no-debug" })
                && waitFor([] { return busHas("org.freedesktop.UDisks2"); })))
            QSKIP("udisksd cannot start here (scripts/deps.sh installs udisks2)");
        qunsetenv("TARSEL_MOUNTINFO");
        qputenv("TARSEL_MOUNT_GRACE_MS", "300");
    }

    // A fresh tree each time: a loop device that was the product's may hold the other image now.
    void init()
    {
        sysfs = std::make_unique<FakeSysfs>(dir.filePath(QTest::currentDataTag()));
        qputenv("TARSEL_SYSFS_ROOT", QFile::encodeName(sysfs->root()));
    }
    void cleanup()
    {
        for (const QString &loop : qAsConst(attached)) {
            for (const QString &point : mountsOf(loop))
                run("umount", { point });
            run("losetup", { "-d", "/dev/" + loop });
        }
        attached.clear();
    }

    void findsTheProduct_data()
    {
        QTest::addColumn<bool>("mountedAtStart"); // else it appears unmounted after the start
        QTest::newRow("appears unmounted, mounted through UDisks2") << false;
        QTest::newRow("already mounted at start") << true;
    }
    void findsTheProduct()
    {
        QFETCH(bool, mountedAtStart);
        QString product;
        const QString premounted = dir.filePath("premounted");
        if (mountedAtStart) {
            QVERIFY(!(product = attach("product", true)).isEmpty());
            QVERIFY(QDir().mkpath(premounted));
            QCOMPARE(run("mount", { "/dev/" + product, premounted }), 0);
            QVERIFY(waitFor([&] {
                QString out;
                run("udisksctl", { "info", "-b", "/dev/" + product }, &out);
                return out.contains(premounted);
            }));
        }

        DeviceDetector detector;
        QSignalSpy detected(&detector, &DeviceDetector::detected);
        detector.start("0x1a2b", "0x3c4d", "Tarsel");
        // The unrelated device arrives with the product, its grace period passing as the
        // product's does.
        const QString other = attach("other", false);
        QVERIFY(!other.isEmpty());
        if (!mountedAtStart)
            QVERIFY(!(product = attach("product", true)).isEmpty());

        QVERIFY(detected.wait(15000));
        const QStringList points = mountsOf(product);
        QCOMPARE(points.size(), 1);
        QCOMPARE(detected.at(0).at(0).toString(), points.at(0) + '/');
        if (mountedAtStart)
            QCOMPARE(points.at(0), premounted);
        // Five grace periods: had the other device been taken, it would be mounted by now.
        QTest::qWait(1500);
        QCOMPARE(mountsOf(other), QStringList());
        QCOMPARE(detected.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestUDisksDetector)
#include "tst_udisksdetector.moc"
