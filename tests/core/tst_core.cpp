#include "core.h"
#include "testpackage.h"

#include <QMetaMethod>
#include <QMetaProperty>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

class CoreTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<ErrorCode::ErrorCodeEnum>(); }

    void metaObjectKeepsItsOrder()
    {
        const QMetaObject &meta = Core::staticMetaObject;
        QCOMPARE(meta.className(), "Core");
        const QList<QByteArray> methods = {
            "deviceFound(bool)",
            "firmwareChecked(bool)",
            "firmwareUpdated(bool)",
            "progressChanged(int)",
            "errorCodeChanged(ErrorCode::ErrorCodeEnum)",
            "previousFirmwareVersionChanged()",
            "newFirmwareVersionChanged()",
            "setErrorCode(ErrorCode::ErrorCodeEnum)",
            "deviceName()",
            "findDevice()",
            "checkFirmware()",
            "updateFirmware()",
        };
        QCOMPARE(meta.methodCount() - meta.methodOffset(), methods.size());
        for (int i = 0; i < methods.size(); ++i) {
            const QMetaMethod method = meta.method(meta.methodOffset() + i);
            QCOMPARE(method.methodSignature(), methods.at(i));
            const QMetaMethod::MethodType type
                = i < 7 ? QMetaMethod::Signal : (i == 7 ? QMetaMethod::Slot : QMetaMethod::Method);
            QCOMPARE(method.methodType(), type);
            QCOMPARE(method.access(), QMetaMethod::Public);
        }
        QCOMPARE(meta.method(meta.methodOffset() + 8).typeName(), "QString");

        const QList<QByteArray> properties = { "errorCode", "updaterVersion", "windowMinimumWidth",
            "windowMinimumHeight", "newFirmwareVersion", "previousFirmwareVersion", "forceMode" };
        QCOMPARE(meta.propertyCount() - meta.propertyOffset(), properties.size());
        for (int i = 0; i < properties.size(); ++i)
            QCOMPARE(meta.property(meta.propertyOffset() + i).name(), properties.at(i).constData());
        const QMetaProperty errorCode = meta.property(meta.propertyOffset());
        QCOMPARE(errorCode.typeName(), "ErrorCode::ErrorCodeEnum");
        QVERIFY(errorCode.isWritable());
        QVERIFY(errorCode.isEnumType());
        QCOMPARE(errorCode.enumerator().valueToKey(ErrorCode::FirmwareSame_FWError),
            "FirmwareSame_FWError");
        for (int i : { 1, 2, 3, 6 })
            QVERIFY(meta.property(meta.propertyOffset() + i).isConstant());
        QVERIFY(!meta.property(meta.propertyOffset() + 4).isWritable());
        QVERIFY(meta.property(meta.propertyOffset() + 5).isWritable());
    }

    void startsFromItsInitialValues()
    {
        Core core;
        QCOMPARE(core.errorCode(), ErrorCode::NoError);
        QCOMPARE(core.previousFirmwareVersion(), QStringLiteral("0.0.0.0"));
        QCOMPARE(core.newFirmwareVersion(), QStringLiteral("0.0.0.0"));
        QCOMPARE(core.updaterVersion(), QStringLiteral("1.2.24"));
        QCOMPARE(core.windowMinimumWidth(), 700);
        QVERIFY(core.windowMinimumHeight() >= 480);
        QVERIFY(!core.device());
        QVERIFY(!core.productResource());
        QVERIFY(core.deviceDetector());
        QCOMPARE(core.deviceDetector()->parent(), &core);
        QCOMPARE(core.deviceName(), QStringLiteral("[device_name]"));
    }

    void settersEmitOnlyOnChange()
    {
        Core core;
        QSignalSpy codes(&core, &Core::errorCodeChanged);
        QSignalSpy versions(&core, &Core::previousFirmwareVersionChanged);
        core.setErrorCode(ErrorCode::NoError);
        core.setPreviousFirmwareVersion(QStringLiteral("0.0.0.0"));
        QCOMPARE(codes.count(), 0);
        QCOMPARE(versions.count(), 0);
        core.setErrorCode(ErrorCode::CheckFirmwareError);
        core.setErrorCode(ErrorCode::CheckFirmwareError);
        QCOMPARE(codes.count(), 1);
        QCOMPARE(
            codes.at(0).at(0).value<ErrorCode::ErrorCodeEnum>(), ErrorCode::CheckFirmwareError);
        QVERIFY(core.setProperty("errorCode", ErrorCode::UpdateFirmwareError));
        QCOMPARE(codes.count(), 2);
        QCOMPARE(core.errorCode(), ErrorCode::UpdateFirmwareError);
        // QML may write a code outside the list; the result page names it as unknown.
        QVERIFY(core.setProperty("errorCode", 42));
        QCOMPARE(codes.count(), 3);
        QCOMPARE(core.property("errorCode").toInt(), 42);
        core.setPreviousFirmwareVersion(QStringLiteral("1.0.0.1"));
        core.setPreviousFirmwareVersion(QStringLiteral("1.0.0.1"));
        QCOMPARE(versions.count(), 1);
        QCOMPARE(core.previousFirmwareVersion(), QStringLiteral("1.0.0.1"));
    }

    void initializeRefusesNullAndTheSameResourceTwice()
    {
        Core core;
        QSignalSpy changed(&core, &Core::newFirmwareVersionChanged);
        QVERIFY(!core.initialize(nullptr));
        QCOMPARE(changed.count(), 0);
        QCOMPARE(core.newFirmwareVersion(), QStringLiteral("0.0.0.0"));

        TestPackage package;
        package.fillStandard();
        QVERIFY(package.registerPackage());
        auto *resource = new ProductResource;
        QVERIFY(resource->load());
        QVERIFY(core.initialize(resource));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(resource->parent(), &core);
        QVERIFY(!core.initialize(resource));
        QCOMPARE(changed.count(), 1);
    }

    void initializeReadsThePackagedVersion_data()
    {
        QTest::addColumn<QByteArray>("firmware");
        QTest::addColumn<QString>("version");
        QTest::addRow("tag Ver:3-1.0.0.2")
            << TestPackage::firmware("3-1.0.0.2") << QStringLiteral("1.0.0.2");
        QTest::addRow("untagged firmware") << QByteArray(4096, 'x') << QStringLiteral("0.0.0.0");
        QTest::addRow("tag without version segments") << TestPackage::firmware("3-") << QString();
    }
    void initializeReadsThePackagedVersion()
    {
        QFETCH(QByteArray, firmware);
        QFETCH(QString, version);
        TestPackage package;
        package.fillStandard();
        package.setFile(QStringLiteral("firmware.bin"), firmware);
        QVERIFY(package.registerPackage());
        auto *resource = new ProductResource;
        QVERIFY(resource->load());
        Core core;
        QSignalSpy changed(&core, &Core::newFirmwareVersionChanged);
        QVERIFY(core.initialize(resource));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(core.newFirmwareVersion(), version);
        QCOMPARE(core.deviceName(), QStringLiteral("Tarsel Test Drive"));
    }

    void deviceNameFallsBackWhenThePackageHasNone()
    {
        TestPackage package;
        package.fillStandard();
        package.setFile(QStringLiteral("device.xml"), TestPackage::deviceXml(QString()));
        QVERIFY(package.registerPackage());
        auto *resource = new ProductResource;
        QVERIFY(resource->load());
        Core core;
        QVERIFY(core.initialize(resource));
        QCOMPARE(resource->name(), QString());
        QCOMPARE(core.deviceName(), QStringLiteral("[device_name]"));
    }

    void forceModeFollowsTheCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("output");
        QTest::addRow("no option") << QStringList() << QByteArray("0\n");
        QTest::addRow("--force-mode") << QStringList { "--force-mode" } << QByteArray("1\n");
        QTest::addRow("with an unrecognised option")
            << QStringList { "--force-mode", "--bogus" } << QByteArray("0\n");
        QTest::addRow("given a value it does not take")
            << QStringList { "--force-mode=yes" } << QByteArray("0\n");
        QTest::addRow("with a positional argument")
            << QStringList { "--force-mode", "extra" } << QByteArray("1\n");
    }
    void forceModeFollowsTheCommandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, output);
        QProcess probe;
        probe.start(QStringLiteral(FORCEMODEPROBE), arguments);
        QVERIFY(probe.waitForFinished(30000));
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), 0);
        QCOMPARE(probe.readAllStandardOutput(), output);
        QCOMPARE(probe.readAllStandardError(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(CoreTest)
#include "tst_core.moc"
