// The simulator seen by the real detection code, up to Core: what `tarsel-sim plug` does on a
// desktop without the product.
#include "core.h"
#include "devicedetector.h"
#include "productresource.h"
#include "productsimulator.h"

#include <QtTest>

class TestSimulatedDetection : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void deviceDetectorFollowsPlugAndUnplug();
    void coreFindsAndUpdatesTheProduct();

private:
    bool makePackage(const QString &folder, QByteArray &firmware);

    QTemporaryDir dir;
};

void TestSimulatedDetection::initTestCase()
{
    QVERIFY(dir.isValid());
}

void TestSimulatedDetection::deviceDetectorFollowsPlugAndUnplug()
{
    ProductSimulator simulator(dir.filePath(QStringLiteral("detector")));
    QVERIFY2(simulator.create(ProductSimulator::Options()), qPrintable(simulator.errorString()));
    qputenv("TARSEL_SYSFS_ROOT", QFile::encodeName(simulator.sysfsRoot()));
    qputenv("TARSEL_MOUNTINFO", QFile::encodeName(simulator.mountTablePath()));

    DeviceDetector detector;
    QSignalSpy detected(&detector, &DeviceDetector::detected);
    detector.start(QStringLiteral("0x1a2b"), QStringLiteral("0x3c4d"), QStringLiteral("Tarsel"));
    // The stick comes first: had it been taken for the product, it would be the first report.
    QVERIFY(simulator.plugOther());
    QVERIFY(simulator.plug());
    QVERIFY(detected.wait(5000));
    const QString mountPath = simulator.volumePath() + QLatin1Char('/');
    QCOMPARE(detected.count(), 1);
    QCOMPARE(detected.at(0).at(0).toString(), mountPath);
    QCOMPARE(Device(mountPath).firmwareFilePath(),
        QFileInfo(simulator.volumePath() + QStringLiteral("/firmware.bin")).canonicalFilePath());

    // The unplug must reach the detector before the re-plug, as it would with a hand on the cable;
    // the watch delivers it on the first turn of the event loop.
    QVERIFY(simulator.unplug());
    QTest::qWait(100);
    QCOMPARE(detected.count(), 1);
    QVERIFY(simulator.plug());
    QVERIFY(detected.wait(5000));
    QCOMPARE(detected.count(), 2);
    QCOMPARE(detected.at(1).at(0).toString(), mountPath);
}

bool TestSimulatedDetection::makePackage(const QString &folder, QByteArray &firmware)
{
    const auto write = [&folder](const QString &name, const QByteArray &bytes) {
        QFile file(folder + QLatin1Char('/') + name);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    firmware = ProductSimulator::firmwareImage("3-1.0.0.2");
    const QByteArray md5 = QCryptographicHash::hash(firmware, QCryptographicHash::Md5).toHex();
    if (!QDir().mkpath(folder)
        || !write(QStringLiteral("device.xml"),
            "<product><device name=\"Tarsel Vault 4\" vid=\"0x1a2b\" pid=\"0x3c4d\" "
            "product_string=\"Tarsel Vault 4 Update\"/>"
            "<firmware name=\"firmware.bin\" version=\"1.0.0.2\"/></product>")
        || !write(QStringLiteral("firmware.bin"), firmware)
        || !write(QStringLiteral("firmware.md5"), "firmware.bin " + md5)
        || !write(QStringLiteral("data.qrc"),
            "<RCC><qresource prefix=\"/\"><file>device.xml</file><file>firmware.bin</file>"
            "<file>firmware.md5</file></qresource></RCC>"))
        return false;
    QProcess rcc;
    rcc.setWorkingDirectory(folder);
    rcc.start(QStringLiteral(TARSEL_RCC_PATH),
        { QStringLiteral("--binary"), QStringLiteral("data.qrc"), QStringLiteral("-o"),
            QStringLiteral("data.rcc") });
    return rcc.waitForFinished(60000) && rcc.exitCode() == 0
        && QResource::registerResource(
            folder + QStringLiteral("/data.rcc"), ProductResource::packageRoot());
}

void TestSimulatedDetection::coreFindsAndUpdatesTheProduct()
{
    QByteArray packaged;
    QVERIFY(makePackage(dir.filePath(QStringLiteral("package")), packaged));
    ProductSimulator simulator(dir.filePath(QStringLiteral("core")));
    QVERIFY2(simulator.create(ProductSimulator::Options()), qPrintable(simulator.errorString()));
    qputenv("TARSEL_SYSFS_ROOT", QFile::encodeName(simulator.sysfsRoot()));
    qputenv("TARSEL_MOUNTINFO", QFile::encodeName(simulator.mountTablePath()));

    Core core;
    auto *resource = new ProductResource();
    QVERIFY(resource->load());
    QVERIFY(core.initialize(resource));
    QSignalSpy found(&core, &Core::deviceFound);
    QSignalSpy checked(&core, &Core::firmwareChecked);
    core.findDevice();
    QVERIFY(simulator.plug());
    QVERIFY(found.wait(5000));
    QCOMPARE(found.count(), 1);
    QCOMPARE(found.at(0).at(0).toBool(), true);
    QCOMPARE(core.errorCode(), ErrorCode::NoError);
    const QString onVolume
        = QFileInfo(simulator.volumePath() + QStringLiteral("/firmware.bin")).canonicalFilePath();
    QVERIFY(core.device());
    QCOMPARE(core.device()->firmwareFilePath(), onVolume);
    QTRY_VERIFY(!core.deviceDetector());

    // The rest of the run on the simulated volume, as the pages drive it.
    core.checkFirmware();
    QCOMPARE(checked.count(), 1);
    QCOMPARE(checked.at(0).at(0).toBool(), true);
    QCOMPARE(core.previousFirmwareVersion(), QStringLiteral("1.0.0.1"));
    core.updateFirmware();
    QCOMPARE(core.errorCode(), ErrorCode::NoError);
    QFile written(onVolume);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), packaged);
}

QTEST_GUILESS_MAIN(TestSimulatedDetection)
#include "tst_simulateddetection.moc"
