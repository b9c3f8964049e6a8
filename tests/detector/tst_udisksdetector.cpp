// LinuxDetector against a real UDisks2 that the test starts itself (system bus, udevd, udisksd),
// with ext4 images on loop devices; a fake sysfs gives the product's loop device its USB identity.
#include "devicedetector.h"
#include "fakesysfs.h"
#include "linux/linuxdetector.h"

#include <QtDBus>
#include <QtTest>

#include <sys/mount.h>
#include <unistd.h>

namespace {

const QString udisksd = QStringLiteral("/usr/libexec/udisks2/udisksd");
const QString udevd = QStringLiteral("/lib/systemd/systemd-udevd");

int run(const QString &program, const QStringList &arguments, QString *out = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000))
        return -1;
    if (out)
        *out = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool waitFor(const std::function<bool()> &condition, int ms = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > ms)
            return false;
        QTest::qWait(20);
    }
    return true;
}

bool systemBusAnswers()
{
    return run("dbus-send",
               { "--system", "--print-reply", "--dest=org.freedesktop.DBus",
                   "/org/freedesktop/DBus", "org.freedesktop.DBus.GetId" })
        == 0;
}

QString object(const QString &loop)
{
    return "/org/freedesktop/UDisks2/block_devices/" + loop;
}

// UDisks2's view of a loop device's file system: null while it has none.
QVariant mountPoints(const QString &loop)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.freedesktop.UDisks2", object(loop), "org.freedesktop.DBus.Properties", "Get");
    call << "org.freedesktop.UDisks2.Filesystem"
         << "MountPoints";
    const QDBusMessage reply = QDBusConnection::systemBus().call(call);
    return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0) : QVariant();
}

// Where the kernel has this loop device mounted, in this process's table.
QStringList mountsOf(const QString &loop)
{
    QFile table("/proc/self/mountinfo");
    QStringList points;
    if (!table.open(QIODevice::ReadOnly))
        return points;
    const QByteArray device = "7:" + loop.mid(4).toLatin1();
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 4 && fields.at(2) == device)
            points << QString::fromLocal8Bit(fields.at(4));
    }
    return points;
}

// What the test started, stopped by pid whatever happens; what was running before is left alone.
struct Services
{
    QList<QProcess *> started;
    bool removeRunUdev = false;
    QString removeSocket;

    bool start(const QString &program, const QStringList &arguments)
    {
        auto *process = new QProcess;
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        process->start(program, arguments);
        started.prepend(process);
        return process->waitForStarted(5000);
    }
    ~Services()
    {
        for (QProcess *process : qAsConst(started)) {
            process->terminate();
            if (!process->waitForFinished(5000)) {
                process->kill();
                process->waitForFinished(5000);
            }
            delete process;
        }
        if (removeRunUdev)
            QDir("/run/udev").removeRecursively();
        // dbus-daemon leaves its socket behind, and the next one could not bind it.
        if (!removeSocket.isEmpty())
            QFile::remove(removeSocket);
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
    int rounds = 0;

    // Attaches an image to a free loop device; the product's gets its USB identity first, so
    // that UDisks2 cannot announce it before the tree says what it is.
    QString attach(const QString &image, bool product)
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            QString device;
            if (run("losetup", { "-f" }, &device) != 0 || !device.startsWith("/dev/loop"))
                return QString();
            const QString loop = device.mid(5);
            const quint32 minor = loop.mid(4).toUInt();
            if (product
                && !sysfs->addUsbDisk(QStringLiteral("1-%1").arg(minor + 1), "1a2b\n", "3c4d\n",
                    loop, 7, minor, true, 0))
                return QString();
            if (run("losetup", { device, image }) == 0) {
                attached << loop;
                return loop;
            }
        }
        return QString();
    }

    void detachAll()
    {
        for (const QString &loop : qAsConst(attached)) {
            for (const QString &point : mountsOf(loop)) {
                // Through UDisks2 where it mounted, so that it removes the folder it made.
                QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.UDisks2",
                    object(loop), "org.freedesktop.UDisks2.Filesystem", "Unmount");
                call << QVariantMap();
                if (QDBusConnection::systemBus().call(call).type() != QDBusMessage::ReplyMessage)
                    umount2(QFile::encodeName(point).constData(), MNT_DETACH);
            }
            run("losetup", { "-d", "/dev/" + loop });
        }
        attached.clear();
    }

public:
    ~TestUDisksDetector() override { detachAll(); }

private slots:
    void initTestCase()
    {
        if (geteuid() != 0)
            QSKIP("needs root to start udevd and udisksd and to attach loop devices");
        for (const QString &program : { udisksd, udevd })
            if (!QFileInfo(program).isExecutable())
                QSKIP(qPrintable(program + " is not installed (scripts/deps.sh installs it)"));
        for (const char *name : { "product", "other" }) {
            const QString image = dir.filePath(name);
            QVERIFY(QFile(image).open(QIODevice::WriteOnly) && QFile::resize(image, 8 << 20));
            QCOMPARE(run("mkfs.ext4", { "-q", "-L", QString(name).toUpper(), image }), 0);
        }
        if (!systemBusAnswers()) {
            // Nobody listens there: a socket left by an earlier bus.
            services.removeSocket = "/run/dbus/system_bus_socket";
            QFile::remove(services.removeSocket);
            QDir().mkpath("/run/dbus");
            QVERIFY(services.start("dbus-daemon", { "--system", "--nofork", "--nopidfile" }));
            if (!waitFor(systemBusAnswers))
                QSKIP("the system bus does not start here");
        }
        if (!QFileInfo::exists("/run/udev/control")) {
            services.removeRunUdev = !QFileInfo::exists("/run/udev");
            if (!services.start(udevd, {})
                || !waitFor([] { return QFileInfo::exists("/run/udev/control"); }))
                QSKIP("systemd-udevd cannot start here");
            // Without the add events for devices present before it, udevd leaves them unknown.
            QCOMPARE(run("udevadm", { "trigger", "--action=add", "--subsystem-match=block" }), 0);
            QCOMPARE(run("udevadm", { "settle", "--timeout=20" }), 0);
        }
        QDBusConnectionInterface *bus = QDBusConnection::systemBus().interface();
        if (!bus->isServiceRegistered("org.freedesktop.UDisks2")) {
            if (!services.start(udisksd, { "--no-debug" })
                || !waitFor([bus] { return bus->isServiceRegistered("org.freedesktop.UDisks2"); }))
                QSKIP("udisksd cannot start here");
        }
        qunsetenv("TARSEL_MOUNTINFO");
        qputenv("TARSEL_MOUNT_GRACE_MS", "300");
    }

    // A fresh tree each time: a loop device that was the product's may hold the other image now.
    void init()
    {
        sysfs = std::make_unique<FakeSysfs>(dir.filePath(QStringLiteral("sys%1").arg(++rounds)));
        qputenv("TARSEL_SYSFS_ROOT", QFile::encodeName(sysfs->root()));
    }
    void cleanup() { detachAll(); }

    void findsTheProduct_data()
    {
        QTest::addColumn<QString>(
            "atStart"); // the product before the search: "", "present", "mounted"
        QTest::newRow("appears unmounted, mounted through UDisks2") << "";
        QTest::newRow("present unmounted at start") << "present";
        QTest::newRow("already mounted at start") << "mounted";
    }
    void findsTheProduct()
    {
        QFETCH(QString, atStart);
        QString product;
        const QString premounted = dir.filePath("premounted");
        if (!atStart.isEmpty()) {
            QVERIFY(!(product = attach(dir.filePath("product"), true)).isEmpty());
            QVERIFY(waitFor([&] { return mountPoints(product).isValid(); }));
        }
        if (atStart == "mounted") {
            QVERIFY(QDir().mkpath(premounted));
            QCOMPARE(mount(QFile::encodeName("/dev/" + product).constData(),
                         QFile::encodeName(premounted).constData(), "ext4", 0, nullptr),
                0);
            QVERIFY(waitFor([&] { return !mountsOf(product).isEmpty(); }));
        }

        DeviceDetector detector;
        QSignalSpy detected(&detector, &DeviceDetector::detected);
        detector.start("0x1a2b", "0x3c4d", "Tarsel");
        // The unrelated device arrives with the product, its grace period passing as the
        // product's does.
        const QString other = attach(dir.filePath("other"), false);
        QVERIFY(!other.isEmpty());
        if (atStart.isEmpty())
            QVERIFY(!(product = attach(dir.filePath("product"), true)).isEmpty());

        QVERIFY(detected.wait(15000));
        QCOMPARE(detected.size(), 1);
        const QStringList points = mountsOf(product);
        QCOMPARE(points.size(), 1);
        QCOMPARE(detected.at(0).at(0).toString(), points.at(0) + '/');
        if (atStart == "mounted")
            QCOMPARE(points.at(0), premounted);
        // Twice the grace period and more: had the other device been taken, it would be mounted.
        QTest::qWait(1500);
        QCOMPARE(mountsOf(other), QStringList());
        QCOMPARE(detected.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestUDisksDetector)
#include "tst_udisksdetector.moc"
