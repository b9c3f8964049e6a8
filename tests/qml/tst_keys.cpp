#include "imageprovider.h"
#include "qmlengine.h"
#include "testcore.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// Keyboard use of the real window: a QML TestCase can only send keys to its own window.
class TestKeys : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void mainButtonsAnswerKeys_data();
    void mainButtonsAnswerKeys();
    void returnOnResultPageQuits_data();
    void returnOnResultPageQuits();

private:
    void load();
    QStringList pages() const;
    void send(QEvent::Type type, int key, bool autoRepeat);

    TestCore core;
    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow *window = nullptr;
};

void TestKeys::initTestCase()
{
    registerQmlTypes();
}

void TestKeys::init()
{
    core.reset();
}

void TestKeys::cleanup()
{
    engine.reset();
    window = nullptr;
}

void TestKeys::load()
{
    engine = std::make_unique<QQmlApplicationEngine>();
    engine->addImageProvider(QStringLiteral("data"), new ImageProvider());
    engine->rootContext()->setContextProperty(QStringLiteral("core"), &core);
    engine->load(QUrl(QStringLiteral("qrc:/qml/Main.qml")));
    QCOMPARE(engine->rootObjects().size(), 1);
    window = qobject_cast<QQuickWindow *>(engine->rootObjects().first());
    QVERIFY(window);
    window->requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

QStringList TestKeys::pages() const
{
    auto *stack = window->findChild<QQuickItem *>(QStringLiteral("stackView"));
    QStringList names;
    if (!stack)
        return names;
    const int depth = stack->property("depth").toInt();
    for (int i = 0; i < depth; ++i) {
        QVariant item;
        QMetaObject::invokeMethod(
            stack, "get", Q_RETURN_ARG(QVariant, item), Q_ARG(QVariant, i), Q_ARG(QVariant, true));
        names << item.value<QObject *>()->objectName();
    }
    return names;
}

void TestKeys::send(QEvent::Type type, int key, bool autoRepeat)
{
    const QString text = key == Qt::Key_Space ? QStringLiteral(" ") : QStringLiteral("\r");
    QKeyEvent event(type, key, Qt::NoModifier, text, autoRepeat);
    QGuiApplication::sendEvent(window, &event);
}

// Events as letters: P press, p repeated press, R release, r repeated release, w a pause of
// 100 ms (a finger's pace).
void TestKeys::mainButtonsAnswerKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("events");
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<int>("searches");

    const QStringList toPage2 { "page1", "page2" };
    QTest::addRow("Return on Page 1") << int(Qt::Key_Return) << "PR" << toPage2 << 0;
    QTest::addRow("Enter on Page 1") << int(Qt::Key_Enter) << "PR" << toPage2 << 0;
    QTest::addRow("Space on Page 1") << int(Qt::Key_Space) << "PR" << toPage2 << 0;
    QTest::addRow("repeated Return alone")
        << int(Qt::Key_Return) << "pr" << QStringList { "page1" } << 0;
    QTest::addRow("held Return stops on Page 2")
        << int(Qt::Key_Return) << "PrprprpR" << toPage2 << 0;
    // X11 reports the first repeat of a held key as a plain release and press, back to back.
    QTest::addRow("held Return misread as a new press")
        << int(Qt::Key_Return) << "PRPrprpR" << toPage2 << 0;
    QTest::addRow("two presses start the search")
        << int(Qt::Key_Return) << "PRwPR" << QStringList { "page1", "page2", "page3" } << 1;
    QTest::addRow("Return on Page 3 presses no hidden button")
        << int(Qt::Key_Return) << "PRwPRwPR" << QStringList { "page1", "page2", "page3" } << 1;
    QTest::addRow("Space on Page 3 presses no hidden button")
        << int(Qt::Key_Space) << "PRwPRwPR" << QStringList { "page1", "page2", "page3" } << 1;
}

void TestKeys::mainButtonsAnswerKeys()
{
    QFETCH(int, key);
    QFETCH(QString, events);
    QFETCH(QStringList, pages);
    QFETCH(int, searches);

    load();
    for (const QChar event : events) {
        if (event == QLatin1Char('w'))
            QTest::qWait(100);
        else
            send(event.toLower() == QLatin1Char('p') ? QEvent::KeyPress : QEvent::KeyRelease, key,
                event.isLower());
        QCoreApplication::processEvents();
    }
    QCOMPARE(this->pages(), pages);
    QCOMPARE(core.property("calls").toStringList().size(), searches);
}

void TestKeys::returnOnResultPageQuits_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("autoRepeat");
    QTest::addColumn<int>("quits");

    QTest::addRow("Return") << int(Qt::Key_Return) << false << 1;
    QTest::addRow("Enter") << int(Qt::Key_Enter) << false << 1;
    QTest::addRow("repeated Return") << int(Qt::Key_Return) << true << 0;
}

void TestKeys::returnOnResultPageQuits()
{
    QFETCH(int, key);
    QFETCH(bool, autoRepeat);
    QFETCH(int, quits);

    load();
    core.setErrorCodeValue(ErrorCode::FirmwareBad_HWError);
    QCOMPARE(pages().last(), QStringLiteral("page5"));
    QSignalSpy quit(engine.get(), &QQmlEngine::quit);
    send(QEvent::KeyPress, key, autoRepeat);
    send(QEvent::KeyRelease, key, autoRepeat);
    QCOMPARE(quit.count(), quits);
}

QTEST_MAIN(TestKeys)
#include "tst_keys.moc"
