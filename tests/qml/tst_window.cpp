#include "errorcode.h"
#include "qmlengine.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

#include <memory>

// Stands in for Core with the names the window uses. With an outcome set, each step answers at
// once, inside its call: the step that ends in that error code fails as Core's do (the result
// signal with false, then the code), the others succeed.
class TestCore : public QObject
{
    Q_OBJECT
    Q_PROPERTY(ErrorCode::ErrorCodeEnum errorCode MEMBER errorCode NOTIFY errorCodeChanged)
    Q_PROPERTY(QString updaterVersion MEMBER updaterVersion CONSTANT)
    Q_PROPERTY(int windowMinimumWidth MEMBER minimumWidth CONSTANT)
    Q_PROPERTY(int windowMinimumHeight READ windowMinimumHeight CONSTANT)
    Q_PROPERTY(QString newFirmwareVersion MEMBER newVersion CONSTANT)
    Q_PROPERTY(QString previousFirmwareVersion MEMBER previousVersion NOTIFY versionChanged)

public:
    int outcome = -1; // -1: the steps report nothing
    QStringList calls;
    mutable int heightReads = 0;

    int windowMinimumHeight() const { return ++heightReads, 555; }
    Q_INVOKABLE QString deviceName() const { return QStringLiteral("Vault"); }
    Q_INVOKABLE void findDevice() { step("find", &TestCore::deviceFound, outcome == 1); }
    Q_INVOKABLE void checkFirmware()
    {
        step("check", &TestCore::firmwareChecked, outcome >= 2 && outcome <= 4);
    }
    Q_INVOKABLE void updateFirmware() { step("update", &TestCore::firmwareUpdated, outcome == 5); }
    void fail(int code) { setProperty("errorCode", code); }
    bool isConnected(const char *signal) const { return receivers(signal) > 0; }

signals:
    void deviceFound(bool ok);
    void firmwareChecked(bool ok);
    void firmwareUpdated(bool ok);
    void progressChanged(int progress);
    void errorCodeChanged(ErrorCode::ErrorCodeEnum errorCode);
    void versionChanged();

private:
    void step(const char *name, void (TestCore::*report)(bool), bool fails)
    {
        calls << QLatin1String(name);
        if (outcome >= 0)
            emit(this->*report)(!fails);
        if (outcome >= 0 && fails)
            fail(outcome);
    }

    ErrorCode::ErrorCodeEnum errorCode = ErrorCode::NoError;
    QString updaterVersion = QStringLiteral("1.2.24");
    QString newVersion = QStringLiteral("1.0.0.2");
    QString previousVersion = QStringLiteral("0.0.0.0");
    int minimumWidth = 700;
};

// The real window and pages, loaded as start-up loads them, with texts.ts as the catalogue.
class TestWindow : public QObject
{
    Q_OBJECT

    QTranslator translator;
    std::unique_ptr<TestCore> core;
    QQuickWindow *window = nullptr;
    QQuickItem *stack = nullptr;

    void open()
    {
        setupQmlEngine(core.get());
        window = qobject_cast<QQuickWindow *>(QGuiApplication::topLevelWindows().value(0));
        QVERIFY(window);
        stack = window->findChild<QQuickItem *>(QStringLiteral("stackView"));
        window->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(window));
    }
    // A property of an item of the current page or of the window.
    QVariant shown(const char *name, const char *property = "text") const
    {
        const QString objectName = QLatin1String(name);
        auto *item
            = stack->property("currentItem").value<QObject *>()->findChild<QObject *>(objectName);
        return (item ? item : window->findChild<QObject *>(objectName))->property(property);
    }
    QString pages() const
    {
        QStringList names;
        for (int i = 0; i < stack->property("depth").toInt(); ++i) {
            QVariant item;
            QMetaObject::invokeMethod(stack, "get", Q_RETURN_ARG(QVariant, item),
                Q_ARG(QVariant, i), Q_ARG(QVariant, true));
            names << item.value<QObject *>()->objectName();
        }
        return names.join(QLatin1Char(' '));
    }
    void click(const char *button)
    {
        auto *page = stack->property("currentItem").value<QObject *>();
        QMetaObject::invokeMethod(page->findChild<QObject *>(QLatin1String(button)), "clicked");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(translator.load(QStringLiteral(TARSEL_QML_TEST_QM)));
        QCoreApplication::installTranslator(&translator);
    }
    void init() { core = std::make_unique<TestCore>(); }
    void cleanup()
    {
        if (window)
            delete qmlEngine(window);
        window = nullptr;
        core.reset();
    }

    void opensAtItsMinimumSize()
    {
        open();
        QCOMPARE(window->minimumSize(), QSize(700, 555));
        QCOMPARE(window->size(), QSize(700, 555));
        // Each read measures anew and registers the font once more.
        QCOMPARE(core->heightReads, 1);
        QCOMPARE(window->title(), QStringLiteral("Test Updater"));
        emit core->errorCodeChanged(ErrorCode::NoError);
        QCOMPARE(pages(), QStringLiteral("page1"));
    }

    void searchAndUpdateFollowTheReports()
    {
        open();
        click("nextButton");
        click("backButton");
        click("nextButton");
        click("nextButton");
        QCOMPARE(pages(), QStringLiteral("page1 page2 page1 page2 page3"));
        QCOMPARE(shown("appVersionBlock"), QVariant("Updater 1.2.24"));
        emit core->deviceFound(true);
        // A second report on the same entry into Page 3 is not handled again.
        emit core->deviceFound(true);
        QCOMPARE(core->calls, (QStringList { "find", "check" }));
        core->setProperty("previousFirmwareVersion", "1.0.0.1");
        emit core->firmwareChecked(true);
        QCOMPARE(core->calls.last(), QStringLiteral("update"));
        QCOMPARE(shown("appVersionBlock"),
            QVariant("Previous 1.0.0.1<br>New 1.0.0.2<br>Updater 1.2.24"));
        emit core->progressChanged(37);
        QCOMPARE(shown("progressBar", "value"), QVariant(37.0));
        emit core->progressChanged(150);
        QCOMPARE(shown("progressBar", "value"), QVariant(100.0));
        emit core->firmwareUpdated(true);
        QCOMPARE(pages(), QStringLiteral("page1 page2 page1 page2 page3 page4 page5"));
        QVERIFY(!core->isConnected(SIGNAL(deviceFound(bool))));
        QVERIFY(!core->isConnected(SIGNAL(firmwareChecked(bool))));
        QVERIFY(!core->isConnected(SIGNAL(firmwareUpdated(bool))));
    }

    void resultPageShowsTheOutcome_data()
    {
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("image");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("description");
        const QString failed = QStringLiteral("Failed for Vault.");
        QTest::addRow("updated") << 0 << "success"
                                 << "Updated."
                                 << "Installed. Power Vault off, then power Vault on.";
        QTest::addRow("not found") << 1 << "failure" << failed << "Cannot find Vault.";
        QTest::addRow("check error") << 2 << "failure" << failed << "id-page5-check-firmware-error";
        QTest::addRow("other hardware") << 3 << "failure" << failed << "Other hardware.";
        QTest::addRow("up to date") << 4 << "up2date"
                                    << "Up to date."
                                    << "Vault is up to date.";
        QTest::addRow("write error") << 5 << "failure" << failed << "Cannot write.";
    }
    void resultPageShowsTheOutcome()
    {
        QFETCH(int, outcome);
        QFETCH(QString, image);
        QFETCH(QString, title);
        QFETCH(QString, description);
        core->outcome = outcome;
        open();
        click("nextButton");
        click("nextButton");
        const QString walk = outcome == 0 || outcome == 5 ? "page1 page2 page3 page4 page5"
                                                          : "page1 page2 page3 page5";
        QCOMPARE(pages(), walk);
        QCOMPARE(
            shown("generalImage", "source").toString(), "image://data/page5/big_" + image + ".png");
        QCOMPARE(shown("title").toString(), title);
        QCOMPARE(shown("description").toString(), description);
        // A later code changes image and title, not the description, and shows no other page.
        core->fail(42);
        QCOMPARE(pages(), walk);
        QCOMPARE(shown("title").toString(), QStringLiteral("Failed for Vault."));
        QCOMPARE(shown("generalImage", "source").toString(), "image://data/page5/big_failure.png");
        QCOMPARE(shown("description").toString(), description);
    }

    // Events: P press, p repeated press, R release, r repeated release, w a finger's pause.
    void keysPressTheMainButtonOnly_data()
    {
        QTest::addColumn<int>("errorCode");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("pages");
        QTest::addColumn<int>("quits");
        const int enter = Qt::Key_Enter, ret = Qt::Key_Return, space = Qt::Key_Space;
        QTest::addRow("Return on Page 1") << 0 << ret << "PR"
                                          << "page1 page2" << 0;
        QTest::addRow("Enter on Page 1") << 0 << enter << "PR"
                                         << "page1 page2" << 0;
        QTest::addRow("Space on Page 1") << 0 << space << "PR"
                                         << "page1 page2" << 0;
        QTest::addRow("repeated Return alone") << 0 << ret << "pr"
                                               << "page1" << 0;
        QTest::addRow("held Return stops on Page 2") << 0 << ret << "PrprprpR"
                                                     << "page1 page2" << 0;
        // X11 reports the first repeat of a held key as a plain release and press, back to back.
        QTest::addRow("held Return misread as a new press") << 0 << ret << "PRPrprpR"
                                                            << "page1 page2" << 0;
        QTest::addRow("Return on Page 3 presses no hidden button") << 0 << ret << "PRwPRwPR"
                                                                   << "page1 page2 page3" << 0;
        QTest::addRow("Space on Page 3 presses no hidden button") << 0 << space << "PRwPRwPR"
                                                                  << "page1 page2 page3" << 0;
        QTest::addRow("Return on the result page quits") << 3 << ret << "PR"
                                                         << "page1 page5" << 1;
        QTest::addRow("Enter on the result page quits") << 3 << enter << "PR"
                                                        << "page1 page5" << 1;
        QTest::addRow("repeated Return on the result page") << 3 << ret << "pr"
                                                            << "page1 page5" << 0;
    }
    void keysPressTheMainButtonOnly()
    {
        QFETCH(int, errorCode);
        QFETCH(int, key);
        QFETCH(QString, events);
        QFETCH(QString, pages);
        QFETCH(int, quits);
        open();
        QSignalSpy quit(qmlEngine(window), &QQmlEngine::quit);
        if (errorCode)
            core->fail(errorCode);
        for (const QChar event : events) {
            if (event == QLatin1Char('w'))
                QTest::qWait(100);
            QKeyEvent keyEvent(event.toLower() == 'p' ? QEvent::KeyPress : QEvent::KeyRelease, key,
                Qt::NoModifier, key == Qt::Key_Space ? " " : "\r", event.isLower());
            if (event != QLatin1Char('w'))
                QGuiApplication::sendEvent(window, &keyEvent);
        }
        QCOMPARE(this->pages(), pages);
        QCOMPARE(core->calls.size(), pages.endsWith("page3") ? 1 : 0);
        QCOMPARE(quit.count(), quits);
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
