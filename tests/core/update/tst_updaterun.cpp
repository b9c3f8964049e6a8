#include "coresignallog.h"
#include "updatefixture.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

class TestUpdateRun : public QObject
{
    Q_OBJECT
private slots:
    void runsFromDetectionToResult();
    void stepsOutOfOrderFailWithoutCrashing_data();
    void stepsOutOfOrderFailWithoutCrashing();
};

namespace {
// Wires the steps as the pages do: the check inside deviceFound(true), the write inside
// firmwareChecked(true).
void connectLikeThePages(Core &core)
{
    QObject::connect(&core, &Core::deviceFound, &core, [&core](bool ok) {
        if (ok)
            core.checkFirmware();
    });
    QObject::connect(&core, &Core::firmwareChecked, &core, [&core](bool ok) {
        if (ok)
            core.updateFirmware();
    });
}

struct Run
{
    QTemporaryDir volume;
    UpdateFixture fixture;
    QByteArray image = TestPackage::firmware("3-1.0.0.2", 300 * 1024);

    // A package, an initialised Core and an older firmware on the volume.
    bool prepare()
    {
        fixture.package.setFirmware(image);
        return volume.isValid() && fixture.initialize()
            && UpdateFixture::writeFile(firmwarePath(), TestPackage::firmware("3-1.0.0.1", 8192));
    }
    // Handlers connected before this see deviceFound(true) before the nested steps run.
    bool detect()
    {
        connectLikeThePages(*fixture.core);
        fixture.core->findDevice();
        return fixture.detector->report(volume.path() + QLatin1Char('/'));
    }
    QString firmwarePath() const { return volume.filePath(QStringLiteral("firmware.bin")); }
};
} // namespace

void TestUpdateRun::runsFromDetectionToResult()
{
    Run run;
    QVERIFY2(run.prepare(), qPrintable(run.fixture.error));
    Core &core = *run.fixture.core;
    CoreSignalLog log(&core);
    QElapsedTimer clock;
    QList<qint64> tickTimes;
    qint64 finishedAt = -1;
    connect(&core, &Core::progressChanged, this, [&] { tickTimes << clock.elapsed(); });
    connect(&core, &Core::firmwareUpdated, this, [&] { finishedAt = clock.elapsed(); });
    QSignalSpy updated(&core, &Core::firmwareUpdated);

    clock.start();
    QVERIFY(run.detect());

    // Search, check and the whole write happen inside the detection.
    QCOMPARE(log.events,
        (QStringList { QStringLiteral("deviceFound(true)"),
            QStringLiteral("previousFirmwareVersionChanged(1.0.0.1)"),
            QStringLiteral("firmwareChecked(true)") }));
    QCOMPARE(UpdateFixture::readFile(run.firmwarePath()), run.image);
    QVERIFY(log.progress.isEmpty());

    QVERIFY(updated.wait(15000));
    QCOMPARE(updated.size(), 1);
    QCOMPARE(updated.first().first().toBool(), true);
    // Loose bounds: coarse timers may fire a few percent early, a busy machine late.
    QVERIFY2(finishedAt >= 4700 && finishedAt < 12000, qPrintable(QString::number(finishedAt)));
    QCOMPARE(core.errorCode(), ErrorCode::NoError);
    QCOMPARE(log.events.size(), 4);

    QVERIFY2(log.progress.size() >= 30, qPrintable(QString::number(log.progress.size())));
    for (int i = 0; i < log.progress.size(); ++i)
        QCOMPARE(log.progress.at(i), 2 * (i + 1));
    QVERIFY(tickTimes.first() >= 90);
    // Both timers stay as stopped children; nothing ticks after the finish.
    const int ticks = log.progress.size();
    QTest::qWait(350);
    QCOMPARE(log.progress.size(), ticks);
    for (QTimer *timer : core.findChildren<QTimer *>())
        QVERIFY(!timer->isActive());
    QCOMPARE(core.findChildren<QTimer *>().size(), 3);

    // The count belongs to the process: a second run goes on from where this one stopped.
    Run second;
    QVERIFY2(second.prepare(), qPrintable(second.fixture.error));
    QVERIFY(second.detect());
    CoreSignalLog secondLog(second.fixture.core.get());
    QTRY_VERIFY_WITH_TIMEOUT(!secondLog.progress.isEmpty(), 5000);
    QCOMPARE(secondLog.progress.first(), log.progress.last() + 2);
}

namespace {
enum Setup { Fresh, Initialised, Detected, DetectedEmpty };
enum Step { Find, Check, Update };
} // namespace

void TestUpdateRun::stepsOutOfOrderFailWithoutCrashing_data()
{
    QTest::addColumn<int>("setup");
    QTest::addColumn<int>("step");
    QTest::addColumn<QStringList>("events");

    const QStringList &notFound = CoreSignalLog::notFound;
    const QStringList &notChecked = CoreSignalLog::notChecked;
    const QStringList &notUpdated = CoreSignalLog::notUpdated;
    QTest::addRow("search before initialising") << int(Fresh) << int(Find) << notFound;
    QTest::addRow("search again, release of the detector pending")
        << int(Detected) << int(Find) << notFound;
    QTest::addRow("check before initialising") << int(Fresh) << int(Check) << notChecked;
    QTest::addRow("check without a found device") << int(Initialised) << int(Check) << notChecked;
    QTest::addRow("write before initialising") << int(Fresh) << int(Update) << notUpdated;
    QTest::addRow("write without a found device") << int(Initialised) << int(Update) << notUpdated;
    QTest::addRow("write after a detection without mount path")
        << int(DetectedEmpty) << int(Update) << notUpdated;
}

void TestUpdateRun::stepsOutOfOrderFailWithoutCrashing()
{
    QFETCH(int, setup);
    QFETCH(int, step);
    QFETCH(QStringList, events);

    UpdateFixture fixture;
    if (setup == Fresh)
        fixture.core
            = std::make_unique<Core>(FakeDetector::newDeviceDetector(fixture.detector), nullptr);
    else
        QVERIFY2(fixture.initialize(), qPrintable(fixture.error));
    if (setup == Detected)
        QVERIFY(fixture.found(QStringLiteral("/media/vault/")));
    if (setup == DetectedEmpty)
        QVERIFY(fixture.found(QString()));

    Core &core = *fixture.core;
    CoreSignalLog log(&core);
    switch (step) {
    case Find:
        core.findDevice();
        break;
    case Check:
        core.checkFirmware();
        break;
    case Update:
        core.updateFirmware();
        break;
    }
    QCOMPARE(log.events, events);
    QCOMPARE(fixture.detector->starts, setup >= Detected ? 1 : 0);
    QVERIFY(log.progress.isEmpty());
}

QTEST_GUILESS_MAIN(TestUpdateRun)
#include "tst_updaterun.moc"
