#include "linux/mounttable.h"
#include "productsimulator.h"

#include <QtTest>

#include <unistd.h>

class TestProductSimulator : public QObject
{
    Q_OBJECT
private slots:
    void writesIdsAsTheKernel_data();
    void writesIdsAsTheKernel();
    void createsARealisticMachine();
    void copiesTheFirmwareFile();
    void plugsAndUnplugs();
    void rejectsBadUse_data();
    void rejectsBadUse();
};

void TestProductSimulator::writesIdsAsTheKernel_data()
{
    QTest::addColumn<QString>("vid");
    QTest::addColumn<QString>("pid");
    QTest::addColumn<QByteArray>("idVendor");
    QTest::addColumn<QByteArray>("idProduct");
    QTest::addRow("defaults") << QString() << QString() << QByteArray("1a2b\n")
                              << QByteArray("3c4d\n");
    QTest::addRow("upper case") << "0X0ABC"
                                << "0xFFFF" << QByteArray("0abc\n") << QByteArray("ffff\n");
    QTest::addRow("short, no prefix") << "1"
                                      << "12" << QByteArray("0001\n") << QByteArray("0012\n");
}

void TestProductSimulator::writesIdsAsTheKernel()
{
    QFETCH(QString, vid);
    QFETCH(QString, pid);
    QTemporaryDir dir;
    ProductSimulator simulator(dir.path());
    ProductSimulator::Options options;
    if (!vid.isNull())
        options.vid = vid;
    if (!pid.isNull())
        options.pid = pid;
    QVERIFY2(simulator.create(options), qPrintable(simulator.errorString()));
    const QString device
        = simulator.sysfsRoot() + QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1/1-2/");
    QFile vendor(device + QStringLiteral("idVendor"));
    QFile product(device + QStringLiteral("idProduct"));
    QVERIFY(vendor.open(QIODevice::ReadOnly));
    QVERIFY(product.open(QIODevice::ReadOnly));
    QTEST(vendor.readAll(), "idVendor");
    QTEST(product.readAll(), "idProduct");
}

void TestProductSimulator::createsARealisticMachine()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("new/sim"));
    ProductSimulator simulator(folder);
    QVERIFY2(simulator.create(ProductSimulator::Options()), qPrintable(simulator.errorString()));

    // Links are relative, as the kernel's: the tree still works when the folder moves.
    for (const QString &link : { QStringLiteral("dev/block/8:17"),
             QStringLiteral("class/block/sdb"), QStringLiteral("dev/block/259:1") }) {
        const QByteArray target = QFile::encodeName(simulator.sysfsRoot() + '/' + link);
        char buffer[512] = {};
        QVERIFY(readlink(target.constData(), buffer, sizeof buffer - 1) > 0);
        QVERIFY2(buffer[0] != '/', buffer);
        QVERIFY(QFileInfo(QString::fromLocal8Bit(target)).isDir());
    }

    QFile firmware(simulator.volumePath() + QStringLiteral("/firmware.bin"));
    QVERIFY(firmware.open(QIODevice::ReadOnly));
    const QByteArray image = firmware.readAll();
    QCOMPARE(image.count("Ver:"), 1);
    QVERIFY(image.contains("Ver:3-1.0.0.1\x0a\x0d"));

    QFile table(simulator.mountTablePath());
    QVERIFY(table.open(QIODevice::ReadOnly));
    const QVector<MountEntry> mounts = parseMountTable(table.readAll());
    QVERIFY(mounts.size() >= 10);
    for (const MountEntry &mount : mounts)
        QVERIFY(!mount.mountPoint.startsWith(folder));

    const QString assignments = simulator.environmentAssignments();
    QVERIFY(
        assignments.contains(QStringLiteral("TARSEL_SYSFS_ROOT='%1'").arg(simulator.sysfsRoot())));
    QVERIFY(assignments.contains(
        QStringLiteral("TARSEL_MOUNTINFO='%1'").arg(simulator.mountTablePath())));
}

void TestProductSimulator::copiesTheFirmwareFile()
{
    QTemporaryDir dir;
    const QByteArray bytes("any bytes\0at all", 16);
    QFile source(dir.filePath(QStringLiteral("fw.bin")));
    QVERIFY(source.open(QIODevice::WriteOnly));
    source.write(bytes);
    source.close();
    ProductSimulator simulator(dir.filePath(QStringLiteral("sim")));
    ProductSimulator::Options options;
    options.firmwareFile = source.fileName();
    QVERIFY2(simulator.create(options), qPrintable(simulator.errorString()));
    QFile copy(simulator.volumePath() + QStringLiteral("/firmware.bin"));
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), bytes);
}

void TestProductSimulator::plugsAndUnplugs()
{
    QTemporaryDir dir;
    ProductSimulator simulator(dir.filePath(QStringLiteral("a b")));
    QVERIFY(simulator.create(ProductSimulator::Options()));
    const auto table = [&simulator] {
        QFile file(simulator.mountTablePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const auto mountOf = [&table](const QString &point) {
        for (const MountEntry &mount : parseMountTable(table()))
            if (mount.mountPoint == point)
                return mount;
        return MountEntry();
    };
    const QByteArray original = table();

    QVERIFY(simulator.plug());
    const MountEntry product = mountOf(simulator.volumePath());
    QCOMPARE(product.root, QStringLiteral("/"));
    QCOMPARE(product.source, QStringLiteral("/dev/sdb1"));
    QCOMPARE(QStringLiteral("%1:%2").arg(product.major).arg(product.minor), QStringLiteral("8:17"));

    QVERIFY(simulator.plugOther());
    const MountEntry other = mountOf(simulator.otherVolumePath());
    QCOMPARE(other.source, QStringLiteral("/dev/sdc1"));
    QVERIFY(other.id != product.id);

    QVERIFY(simulator.unplug());
    QCOMPARE(mountOf(simulator.volumePath()).id, 0);
    QVERIFY(simulator.plug());
    QCOMPARE(mountOf(simulator.volumePath()).id, product.id);

    QVERIFY(simulator.unplug());
    QVERIFY(simulator.unplugOther());
    QCOMPARE(table(), original);
}

void TestProductSimulator::rejectsBadUse_data()
{
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    const QStringList none;
    const QStringList created { "create", "DIR" };
    QTest::addRow("missing folder")
        << none << QStringList { "plug", "DIR/nothing" } << 1 << "does not exist";
    QTest::addRow("folder without a simulation")
        << none << QStringList { "plug", "DIR" } << 1 << "holds no simulated product";
    QTest::addRow("bad vendor id")
        << none << QStringList { "create", "DIR/s", "--vid", "0xZZ" } << 1 << "bad vendor id";
    QTest::addRow("vendor id too long")
        << none << QStringList { "create", "DIR/s", "--vid", "0x12345" } << 1 << "bad vendor id";
    QTest::addRow("signed product id")
        << none << QStringList { "create", "DIR/s", "--pid", "-1" } << 1 << "bad product id";
    QTest::addRow("empty product id")
        << none << QStringList { "create", "DIR/s", "--pid", "0x" } << 1 << "bad product id";
    QTest::addRow("unreadable firmware")
        << none << QStringList { "create", "DIR/s", "--firmware", "DIR/none.bin" } << 1
        << "cannot read firmware file";
    QTest::addRow("tag and firmware")
        << none << QStringList { "create", "DIR/s", "--tag", "3-1.0.0.1", "--firmware", "DIR/x" }
        << 2 << "not both";
    QTest::addRow("create twice") << created << created << 1 << "already holds";
    QTest::addRow("plug twice") << QStringList { "create", "DIR", "&&", "plug", "DIR" }
                                << QStringList { "plug", "DIR" } << 1 << "already plugged in";
    QTest::addRow("unplug when not plugged")
        << created << QStringList { "unplug", "DIR" } << 1 << "not plugged in";
    QTest::addRow("unknown command")
        << created << QStringList { "remove", "DIR" } << 2 << "unknown command";
    QTest::addRow("option of another command")
        << created << QStringList { "plug", "DIR", "--vid", "0x1" } << 2 << "belong to create";
    QTest::addRow("no folder") << none << QStringList { "plug" } << 2 << "give a command and DIR";
}

void TestProductSimulator::rejectsBadUse()
{
    QFETCH(QStringList, setup);
    QFETCH(QStringList, arguments);
    QTemporaryDir dir;
    const auto run = [&dir](QStringList args) {
        args.replaceInStrings(QStringLiteral("DIR"), dir.path());
        auto process = std::make_unique<QProcess>();
        process->start(QStringLiteral(TARSEL_SIM_PATH), args);
        process->waitForFinished(30000);
        return process;
    };
    for (const QString &command : setup.join(' ').split(QStringLiteral(" && "), Qt::SkipEmptyParts))
        QCOMPARE(run(command.split(' '))->exitCode(), 0);

    const auto process = run(arguments);
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QTEST(process->exitCode(), "exitCode");
    const QString error = QString::fromLocal8Bit(process->readAllStandardError());
    QFETCH(QString, message);
    QVERIFY2(error.contains(message), qPrintable(error));
    // A refused create leaves nothing behind.
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("s"))));
}

QTEST_GUILESS_MAIN(TestProductSimulator)
#include "tst_productsimulator.moc"
