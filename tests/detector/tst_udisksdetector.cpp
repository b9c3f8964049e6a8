// LinuxDetector against a real UDisks2 that the test starts itself (system bus, udevd, udisksd),
// with ext4 images on loop devices; a fake sysfs gives the product's loop device its USB identity.
#include "devicedetector.h"
#include "fakesysfs.h"
#include "productsimulator.h"

#include <QtTest>

#include <csignal>
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

    // Of the services the test started, the one running program; 0 when it was there before.
    qint64 pidOf(const QString &program) const
    {
        for (const auto &process : started) {
            if (process->arguments().value(2).endsWith(program)
                && process->state() == QProcess::Running)
                return process->processId();
        }
        return 0;
    }
    bool start(const QString &program, const QStringList &arguments)
    {
        started.push_back(std::make_unique<QProcess>());
        started.back()->setStandardOutputFile(QProcess::nullDevice());
        started.back()->setStandardErrorFile(QProcess::nullDevice());
        // Gone with the test, also when it crashes: left running they would hold the machine's
        // services lock.
        started.back()->start(
            "setpriv", QStringList { "--pdeathsig", "KILL", program } + arguments);
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
    QString attach(const char *image, bool product, const char *port = "1-2")
    {
        QString device;
        for (int attempt = 0; attempt < 5 && run("losetup", { "-f" }, &device) == 0; ++attempt) {
            if (product
                && !sysfs->addUsbDisk(
                    port, "1a2b\n", "3c4d\n", device.mid(5), 7, device.mid(9).toUInt(), true, 0))
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
        // Each image holds the product's older firmware.
        QFile firmware(dir.filePath("content/firmware.bin"));
        QVERIFY(QDir().mkpath(dir.filePath("content")) && firmware.open(QIODevice::WriteOnly)
            && firmware.write(ProductSimulator::firmwareImage("3-1.0.0.1")) > 0
            && firmware.flush());
        for (const char *name : { "product", "other", "unmountable" }) {
            const QString image = dir.filePath(name);
            QVERIFY(QFile(image).open(QIODevice::WriteOnly) && QFile::resize(image, 8 << 20));
            QCOMPARE(run("mkfs.ext4",
                         { "-q", "-O", "^metadata_csum", "-d", dir.filePath("content"), "-L",
                             QString(name).toUpper(), image }),
                0);
        }
        // Still ext4 to UDisks2, but with an incompatible feature the kernel does not know: the
        // mount is refused with "wrong fs type".
        QFile unmountable(dir.filePath("unmountable"));
        QVERIFY(unmountable.open(QIODevice::ReadWrite) && unmountable.seek(1024 + 0x60 + 3)
            && unmountable.putChar('\x80') && unmountable.flush());
        if (!busHas("org.freedesktop.DBus")) {
            // Nobody listens there: a socket left by an earlier bus, which would stop this one.
            services.leftovers << "/run/dbus/system_bus_socket";
            QFile::remove(services.leftovers.last());
            QVERIFY(QDir().mkpath("/run/dbus")
                && services.start("dbus-daemon", { "--system", "--nofork", "--nopidfile" }));
            QVERIFY2(QTest::qWaitFor([] { return busHas("org.freedesktop.DBus"); }, 10000),
                "no system bus");
        }
        if (!QFileInfo::exists("/run/udev/control")) {
            if (!QFileInfo::exists("/run/udev"))
                services.leftovers << "/run/udev";
            if (!services.start("/lib/systemd/systemd-udevd", {})
                || !QTest::qWaitFor([] { return QFileInfo::exists("/run/udev/control"); }, 10000))
                QSKIP("systemd-udevd cannot start here (scripts/deps.sh installs udev)");
            // Devices present before udevd stay unknown to it without their add events.
            QCOMPARE(run("udevadm", { "trigger", "--action=add", "--subsystem-match=block" }), 0);
            QCOMPARE(run("udevadm", { "settle", "--timeout=20" }), 0);
        }
        if (!busHas("org.freedesktop.UDisks2")
            && !(services.start("/usr/libexec/udisks2/udisksd", { "--no-debug" })
                && QTest::qWaitFor([] { return busHas("org.freedesktop.UDisks2"); }, 10000)))
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
        if (const qint64 bus = services.pidOf("dbus-daemon"))
            ::kill(pid_t(bus), SIGCONT);
        if (!busHas("org.freedesktop.UDisks2"))
            services.start("/usr/libexec/udisks2/udisksd", { "--no-debug" });
        qputenv("TARSEL_MOUNT_GRACE_MS", "300");
        for (const QString &loop : qAsConst(attached)) {
            for (const QString &point : mountsOf(loop))
                run("umount", { point });
            run("losetup", { "-d", "/dev/" + loop });
        }
        attached.clear();
    }

    // Each row a way the product reaches the detector, or a fault it once had or could have (the
    // plain one, unmounted and mounted through UDisks2, is updateCliOverUDisks'). An unrelated
    // device arrives with the product, its grace period passing as the product's does.
    void findsTheProduct_data()
    {
        QTest::addColumn<int>("scenario");
        QTest::addColumn<bool>("detects");
        QTest::newRow("already mounted at start") << int(MountedAtStart) << true;
        QTest::newRow("mounted by someone else during the grace period (no Mount call)")
            << int(MountedBySomeoneElse) << true;
        QTest::newRow("unplugged during the grace period") << int(UnpluggedInGrace) << false;
        QTest::newRow("udisksd restarted with the product waiting") << int(UDisksRestarted) << true;
        QTest::newRow("a stalled bus, mounted by hand") << int(StalledBus) << true;
    }
    void findsTheProduct()
    {
        QFETCH(int, scenario);
        QFETCH(bool, detects);
        const qint64 bus = services.pidOf("dbus-daemon");
        const qint64 udisksd = services.pidOf("udisksd");
        if ((scenario == StalledBus && !bus) || (scenario == UDisksRestarted && !udisksd))
            QSKIP("needs a bus and udisksd of the test's own");
        if (scenario == MountedBySomeoneElse || scenario == UnpluggedInGrace)
            qputenv("TARSEL_MOUNT_GRACE_MS", "3000");
        QString product;
        const QString byHand = dir.filePath("byhand"); // where the test mounts it itself
        QVERIFY(QDir().mkpath(byHand));
        if (scenario == MountedAtStart) {
            QVERIFY(!(product = attach("product", true)).isEmpty());
            QCOMPARE(run("mount", { "/dev/" + product, byHand }), 0);
            QVERIFY(QTest::qWaitFor(
                [&] {
                    QString out;
                    run("udisksctl", { "info", "-b", "/dev/" + product }, &out);
                    return out.contains(byHand);
                },
                10000));
        }
        if (scenario == StalledBus)
            QCOMPARE(::kill(pid_t(bus), SIGSTOP), 0);

        DeviceDetector detector;
        QSignalSpy detected(&detector, &DeviceDetector::detected);
        QSignalSpy refused(&detector, &DeviceDetector::mountFailed);
        detector.start("0x1a2b", "0x3c4d", "Tarsel");
        const QString other = attach("other", false);
        QVERIFY(!other.isEmpty());
        if (scenario != MountedAtStart && scenario != UDisksRestarted)
            QVERIFY(!(product = attach("product", true)).isEmpty());
        switch (scenario) {
        case UDisksRestarted:
            QTest::qWait(500); // UDisks2's first answer
            QCOMPARE(::kill(pid_t(udisksd), SIGTERM), 0);
            QVERIFY(QTest::qWaitFor([] { return !busHas("org.freedesktop.UDisks2"); }, 10000));
            QVERIFY(!(product = attach("product", true)).isEmpty());
            QTest::qWait(500);
            QVERIFY(services.start("/usr/libexec/udisks2/udisksd", { "--no-debug" }));
            break;
        case MountedBySomeoneElse:
        case StalledBus:
            QCOMPARE(run("mount", { "/dev/" + product, byHand }), 0);
            break;
        case UnpluggedInGrace:
            QTest::qWait(1000);
            QCOMPARE(run("losetup", { "-d", "/dev/" + product }), 0);
            attached.removeAll(product);
            break;
        }
        if (scenario == StalledBus) {
            // The mount table path goes on while the bus says nothing.
            QVERIFY(detected.wait(15000));
            QCOMPARE(::kill(pid_t(bus), SIGCONT), 0);
        }
        if (detects && detected.isEmpty())
            QVERIFY(detected.wait(20000));
        // Past every grace period: a mount made in error would be there by now.
        QTest::qWait(scenario == UnpluggedInGrace ? 4000 : 1500);
        QCOMPARE(detected.size(), detects ? 1 : 0);
        QCOMPARE(refused.size(), 0);
        if (detects) {
            const QStringList points = mountsOf(product);
            QCOMPARE(points.size(), 1);
            QCOMPARE(detected.at(0).at(0).toString(), points.at(0) + '/');
            QVERIFY(scenario == UDisksRestarted || points.at(0) == byHand);
        }
        QCOMPARE(mountsOf(other), QStringList());
        QCOMPARE(detector.otherProducts(), QStringList());
    }

    // Deleting the detector while its bus calls are under way (the listing, a mount) must neither
    // crash (the sanitizers watch this row) nor leave its bus connection open.
    void tearsDownWithCallsInFlight()
    {
        qputenv("TARSEL_MOUNT_GRACE_MS", "0");
        const auto descriptors = [] { return QDir("/proc/self/fd").count(); };
        const QString product = attach("product", true);
        QVERIFY(!product.isEmpty());
        uint before = 0;
        // The first round leaves what Qt keeps for every bus connection (its thread).
        for (int delay = 0; delay < 400; delay += 20) {
            if (delay == 20)
                before = descriptors();
            auto detector = std::make_unique<DeviceDetector>();
            detector->start("0x1a2b", "0x3c4d", "Tarsel");
            QTest::qWait(delay);
            detector.reset();
            for (const QString &point : mountsOf(product))
                run("umount", { point });
        }
        QTest::qWait(200); // connections close on Qt's bus thread
        QVERIFY2(descriptors() <= before, qPrintable(QString::number(descriptors() - before)));
    }

    // A busy volume is not released, and the user learns why (updateCliOverUDisks sees a free
    // one unmounted).
    void keepsABusyVolumeMountedWithTheReason()
    {
        const QString product = attach("product", true);
        QVERIFY(!product.isEmpty());
        QStringList points; // UDisks2 takes the device in after the attach returns
        QVERIFY(QTest::qWaitFor(
            [&] {
                return run("udisksctl", { "mount", "-b", "/dev/" + product }) == 0
                    && !(points = mountsOf(product)).isEmpty();
            },
            10000));
        QFile held(points.at(0) + "/held");
        QVERIFY(held.open(QIODevice::WriteOnly));
        QString reason;
        QObject context;
        DeviceDetector::releaseVolume(
            points.at(0) + '/', &context, [&](DeviceDetector::Release release, const QString &why) {
                reason = release == DeviceDetector::Release::Refused ? why : "not refused";
            });
        QVERIFY(QTest::qWaitFor([&] { return !reason.isEmpty(); }, 10000));
        QVERIFY2(reason.contains("busy"), qPrintable(reason));
        QCOMPARE(mountsOf(product).size(), 1);
    }

    // tarsel-update as a user runs it against the real stack: what it prints, its exit code and
    // the bytes and mounts it leaves.
    void updateCliOverUDisks_data()
    {
        QTest::addColumn<QString>("image");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("says");
        QTest::newRow("mount refused: the reason at once, exit 17")
            << "unmountable" << 17 << QStringList { "could not be mounted", "wrong fs type" };
        QTest::newRow("updated beside another product: unmounted, the other left alone")
            << "product" << 0
            << QStringList { "Another Tarsel Vault 4 is connected", "safe to power it off" };
    }
    void updateCliOverUDisks()
    {
        QFETCH(QString, image);
        QFETCH(int, exitCode);
        QFETCH(QStringList, says);
        const QString firmware = dir.filePath("firmware.bin");
        const QByteArray oldImage = ProductSimulator::firmwareImage("3-1.0.0.1");
        QFile file(firmware);
        // Two products alike, so that either may be the one taken.
        for (const char *copy : { "1", "2" })
            QVERIFY(QFile::copy(dir.filePath(image), dir.filePath(image + copy)));

        QProcess cli;
        cli.start(TARSEL_UPDATE_TOOL, { "--timeout", "60" });
        QVERIFY(cli.waitForStarted());
        QTest::qWait(500);
        QStringList products { attach(qPrintable(image + '1'), true) };
        if (exitCode == 0)
            products << attach(qPrintable(image + '2'), true, "1-3");
        QVERIFY(!products.contains(QString()));
        QVERIFY(cli.waitForFinished(30000));
        const QString output = cli.readAllStandardOutput() + cli.readAllStandardError();
        QCOMPARE(cli.exitCode(), exitCode);
        for (const QString &line : says)
            QVERIFY2(output.contains(line), qPrintable(output));
        QFile packaged(TARSEL_PACKAGED_FIRMWARE);
        QVERIFY(packaged.open(QIODevice::ReadOnly));
        QByteArrayList left { packaged.readAll(), oldImage }; // what each must hold, in any order
        for (const QString &product : qAsConst(products)) {
            QCOMPARE(mountsOf(product), QStringList());
            if (exitCode != 0)
                continue;
            QFile::remove(firmware);
            QCOMPARE(
                run("debugfs", { "-R", "dump firmware.bin " + firmware, "/dev/" + product }), 0);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray held = file.readAll();
            file.close();
            QVERIFY(left.removeOne(held));
            // The product left alone is named.
            QVERIFY2(
                held != oldImage || output.contains("(/dev/" + product + ')'), qPrintable(output));
        }
    }

private:
    enum Scenario {
        MountedAtStart,
        MountedBySomeoneElse,
        UnpluggedInGrace,
        UDisksRestarted,
        StalledBus
    };
};

QTEST_GUILESS_MAIN(TestUDisksDetector)
#include "tst_udisksdetector.moc"
