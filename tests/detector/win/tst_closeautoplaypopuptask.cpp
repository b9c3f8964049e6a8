#include "closeautoplaypopuptask.h"
#include "winsim.h"

#include <QThreadPool>
#include <QtTest>

namespace {

struct PopUp
{
    QString title;
    ULONGLONG appearsAt = 0;
    WinSim::WindowBehaviour behaviour = WinSim::WindowBehaviour::ClosesOnRequest;
    // The simulated times between which its first WM_CLOSE must come; closedFrom -1: never sent.
    qint64 closedFrom = -1;
    qint64 closedBy = -1;
};

PopUp closedBetween(const QString &title, ULONGLONG appearsAt, qint64 from, qint64 by)
{
    return { title, appearsAt, WinSim::WindowBehaviour::ClosesOnRequest, from, by };
}

PopUp neverClosed(const QString &title, ULONGLONG appearsAt = 0)
{
    return { title, appearsAt, WinSim::WindowBehaviour::ClosesOnRequest, -1, -1 };
}

QString titleWithFragmentAt(int position, int length)
{
    QString title(length, QLatin1Char('x'));
    title.replace(position, 8, QStringLiteral("AutoPlay"));
    return title;
}

} // namespace

Q_DECLARE_METATYPE(QVector<PopUp>)
Q_DECLARE_METATYPE(WinSim::WindowBehaviour)

class TestCloseAutoPlayPopUpTask : public QObject
{
    Q_OBJECT
private slots:
    void init() { WinSim::reset(); }

    void closesAutoPlayWindowsForThreeSeconds_data();
    void closesAutoPlayWindowsForThreeSeconds();
    void givesUpOnAPopUpThatStaysOpen_data();
    void givesUpOnAPopUpThatStaysOpen();
    void closesAPopUpOpeningWhileItRunsOnThePool();
};

void TestCloseAutoPlayPopUpTask::closesAutoPlayWindowsForThreeSeconds_data()
{
    QTest::addColumn<QVector<PopUp>>("windows");
    QTest::addColumn<qint64>("endFrom");
    QTest::addColumn<qint64>("endBy");

    const QString autoPlay = QStringLiteral("AutoPlay");
    QTest::addRow("open pop-up closed before the first sleep")
        << QVector<PopUp> { closedBetween(autoPlay, 0, 0, 0) } << 3000LL << 3050LL;
    QTest::addRow("pop-up opening after two seconds, closed within one pass")
        << QVector<PopUp> { closedBetween(autoPlay, 2010, 2010, 2060) } << 3000LL << 3050LL;
    QTest::addRow("pop-up opening at the end of the watch")
        << QVector<PopUp> { closedBetween(autoPlay, 2990, 2990, 3040) } << 3000LL << 3100LL;
    QTest::addRow("pop-up opening after the watch")
        << QVector<PopUp> { neverClosed(autoPlay, 3100) } << 3000LL << 3050LL;
    QTest::addRow("another application's title containing AutoPlay")
        << QVector<PopUp> { closedBetween(QStringLiteral("AutoPlay settings"), 0, 0, 0) } << 3000LL
        << 3050LL;
    QTest::addRow("lower-case autoplay")
        << QVector<PopUp> { neverClosed(QStringLiteral("autoplay")) } << 3000LL << 3050LL;
    QTest::addRow("untitled window before the pop-up") << QVector<PopUp> { neverClosed(QString()),
        closedBetween(autoPlay, 0, 0, 0) } << 3000LL << 3050LL;
    QTest::addRow("fragment beyond the 2047th character")
        << QVector<PopUp> { neverClosed(titleWithFragmentAt(2040, 2048)) } << 3000LL << 3050LL;
    QTest::addRow("fragment ending at the 2047th character")
        << QVector<PopUp> { closedBetween(titleWithFragmentAt(2039, 2048), 0, 0, 0) } << 3000LL
        << 3050LL;
    QTest::addRow("fragment early in a long title")
        << QVector<PopUp> { closedBetween(titleWithFragmentAt(10, 5000), 0, 0, 0) } << 3000LL
        << 3050LL;
    QTest::addRow("two pop-ups, one per pass in enumeration order")
        << QVector<PopUp> { closedBetween(QStringLiteral("AutoPlay (1)"), 0, 0, 0),
               closedBetween(QStringLiteral("AutoPlay (2)"), 0, 1, 50) }
        << 3000LL << 3050LL;
    QTest::addRow("no window at all") << QVector<PopUp> {} << 3000LL << 3050LL;
}

void TestCloseAutoPlayPopUpTask::closesAutoPlayWindowsForThreeSeconds()
{
    QFETCH(QVector<PopUp>, windows);
    QFETCH(qint64, endFrom);
    QFETCH(qint64, endBy);

    QVector<HWND> handles;
    for (const PopUp &w : windows)
        handles.append(WinSim::addWindow(w.title, w.behaviour, w.appearsAt));

    CloseAutoPlayPopUpTask().run();

    const qint64 end = qint64(WinSim::now());
    QVERIFY2(end >= endFrom && end <= endBy, qPrintable(QString::number(end)));
    for (int i = 0; i < windows.size(); ++i) {
        const QVector<WinSim::SentMessage> sent = WinSim::messagesSentTo(handles[i]);
        if (windows[i].closedFrom < 0) {
            QVERIFY2(sent.isEmpty(), qPrintable(QString::number(i)));
            continue;
        }
        QCOMPARE(sent.size(), 1);
        const WinSim::SentMessage &close = sent.first();
        QVERIFY2(qint64(close.time) >= windows[i].closedFrom
                && qint64(close.time) <= windows[i].closedBy,
            qPrintable(QString::number(close.time)));
        QCOMPARE(close.message, UINT(WM_CLOSE));
        QCOMPARE(close.wParam, WPARAM(0));
        QCOMPARE(close.lParam, LPARAM(0));
        QCOMPARE(close.flags, UINT(SMTO_ABORTIFHUNG));
        QCOMPARE(close.timeout, 500u);
    }
}

void TestCloseAutoPlayPopUpTask::givesUpOnAPopUpThatStaysOpen_data()
{
    QTest::addColumn<WinSim::WindowBehaviour>("behaviour");
    QTest::addRow("ignores WM_CLOSE") << WinSim::WindowBehaviour::IgnoresClose;
    QTest::addRow("hung") << WinSim::WindowBehaviour::Hung;
}

void TestCloseAutoPlayPopUpTask::givesUpOnAPopUpThatStaysOpen()
{
    QFETCH(WinSim::WindowBehaviour, behaviour);
    const HWND popUp = WinSim::addWindow(QStringLiteral("AutoPlay"), behaviour);

    CloseAutoPlayPopUpTask().run();

    // Past the three-second watch, since the pop-up is still there, but not for ever.
    const ULONGLONG end = WinSim::now();
    QVERIFY2(end >= 10000 && end <= 10050, qPrintable(QString::number(end)));
    const QVector<WinSim::SentMessage> sent = WinSim::messagesSentTo(popUp);
    QVERIFY2(sent.size() > 3000 / 50, qPrintable(QString::number(sent.size())));
    QVERIFY(sent.last().time >= 10000 - 50);
}

void TestCloseAutoPlayPopUpTask::closesAPopUpOpeningWhileItRunsOnThePool()
{
    // As the detector starts it: on a pool thread, while this thread changes the desktop.
    WinSim::holdSleepers(true);
    QThreadPool::globalInstance()->start(new CloseAutoPlayPopUpTask, 0);
    QTRY_COMPARE(WinSim::heldSleepers(), 1);
    const HWND popUp = WinSim::addWindow(QStringLiteral("AutoPlay"));
    WinSim::holdSleepers(false);
    QVERIFY(QThreadPool::globalInstance()->waitForDone(10000));

    const QVector<WinSim::SentMessage> sent = WinSim::messagesSentTo(popUp);
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.first().time, ULONGLONG(50));
    QVERIFY(!WinSim::isWindowOpen(popUp));
    QVERIFY(WinSim::now() >= 3000);
}

QTEST_GUILESS_MAIN(TestCloseAutoPlayPopUpTask)
#include "tst_closeautoplaypopuptask.moc"
