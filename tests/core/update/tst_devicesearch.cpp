#include "coresignallog.h"
#include "updatefixture.h"

#include <QTimer>
#include <QtTest>

class TestDeviceSearch : public QObject
{
    Q_OBJECT
private slots:
    void armsDetectorAndWaitsFiveMinutes();
    void detectionEndsTheSearch_data();
    void detectionEndsTheSearch();
    void timeoutReportsOnceAndLeavesDetectorArmed();
};

namespace {
void processDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
} // namespace

void TestDeviceSearch::armsDetectorAndWaitsFiveMinutes()
{
    UpdateFixture fixture;
    fixture.package.setFile(QStringLiteral("device.xml"),
        TestPackage::deviceXml(
            QStringLiteral("Vault"), QStringLiteral("0x0abc"), QStringLiteral("0x0def")));
    QVERIFY2(fixture.initialize(), qPrintable(fixture.error));
    CoreSignalLog log(fixture.core.get());

    fixture.core->findDevice();

    QCOMPARE(fixture.detector->starts, 1);
    QCOMPARE(fixture.detector->startArguments,
        (QStringList {
            QStringLiteral("0x0abc"), QStringLiteral("0x0def"), QStringLiteral("Vault Update") }));
    const QList<QTimer *> timers = fixture.core->findChildren<QTimer *>();
    QCOMPARE(timers.size(), 1);
    QVERIFY(timers.first()->isActive());
    QCOMPARE(timers.first()->interval(), 300000);
    QVERIFY(!timers.first()->isSingleShot());
    QVERIFY(log.events.isEmpty());
}

void TestDeviceSearch::detectionEndsTheSearch_data()
{
    QTest::addColumn<QString>("mountPath");
    QTest::addColumn<QStringList>("events");

    QTest::addRow("volume with a mount path")
        << QStringLiteral("/media/vault/") << QStringList { QStringLiteral("deviceFound(true)") };
    QTest::addRow("empty mount path") << QString() << CoreSignalLog::notFound;
}

void TestDeviceSearch::detectionEndsTheSearch()
{
    QFETCH(QString, mountPath);
    QFETCH(QStringList, events);

    UpdateFixture fixture;
    QVERIFY2(fixture.initialize(), qPrintable(fixture.error));
    Core &core = *fixture.core;
    core.setFindTimeoutForTesting(50);
    CoreSignalLog log(&core);
    QPointer<Device> seenInHandler;
    QString pathInHandler;
    bool detectorAliveInHandler = false;
    connect(&core, &Core::deviceFound, this, [&](bool) {
        seenInHandler = core.device();
        pathInHandler = core.device() ? core.device()->mountPath() : QStringLiteral("<none>");
        detectorAliveInHandler = !fixture.detector->destroyed;
    });

    core.findDevice();
    QVERIFY(fixture.detector->report(mountPath));

    QCOMPARE(log.events, events);
    QVERIFY(seenInHandler);
    QCOMPARE(seenInHandler.data(), core.device());
    QCOMPARE(pathInHandler, mountPath);
    QCOMPARE(core.device()->parent(), &core);
    // Released later, not inside its own emission.
    QVERIFY(detectorAliveInHandler);
    QVERIFY(core.deviceDetector());
    processDeferredDeletes();
    QVERIFY(!core.deviceDetector());
    QVERIFY(fixture.detector->destroyed);

    // The stopped find timer must not report a time-out now.
    QTest::qWait(250);
    QCOMPARE(log.events, events);

    // The search runs once: a second call neither touches nor re-arms anything.
    core.findDevice();
    QCOMPARE(fixture.detector->starts, 1);
    QCOMPARE(log.events.mid(events.size()).first(), QStringLiteral("deviceFound(false)"));
}

void TestDeviceSearch::timeoutReportsOnceAndLeavesDetectorArmed()
{
    UpdateFixture fixture;
    QVERIFY2(fixture.initialize(), qPrintable(fixture.error));
    Core &core = *fixture.core;
    core.setFindTimeoutForTesting(40);
    CoreSignalLog log(&core);
    QSignalSpy found(&core, &Core::deviceFound);

    core.findDevice();
    QVERIFY(found.wait(5000));
    // A repeating timer that was not stopped would report again within this wait.
    QTest::qWait(300);
    const QStringList &timedOut = CoreSignalLog::notFound;
    QCOMPARE(log.events, timedOut);
    QVERIFY(!fixture.detector->destroyed);
    QVERIFY(core.deviceDetector());

    // A volume arriving after the time-out is still recorded and reported.
    QVERIFY(fixture.detector->report(QStringLiteral("/media/late/")));
    QCOMPARE(log.events, timedOut + QStringList { QStringLiteral("deviceFound(true)") });
    QVERIFY(core.device());
    QCOMPARE(core.device()->mountPath(), QStringLiteral("/media/late/"));
    QCOMPARE(core.errorCode(), ErrorCode::FindDeviceError);
    processDeferredDeletes();
    QVERIFY(fixture.detector->destroyed);
    QVERIFY(!core.deviceDetector());
}

QTEST_GUILESS_MAIN(TestDeviceSearch)
#include "tst_devicesearch.moc"
