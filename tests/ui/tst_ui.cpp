#include "errorcode.h"
#include "imageprovider.h"
#include "pagenavigator.h"
#include "qmlengine.h"
#include "testpackage.h"
#include "windowfit.h"
#include "windowminimumheight.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

#include <memory>

namespace {
QByteArray png(const QSize &size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data();
}

// An id-based catalogue in memory.
struct Texts : QTranslator
{
    QMap<QString, QString> texts;
    QString translate(const char *, const char *id, const char *, int) const override
    {
        return texts.value(QString::fromUtf8(id));
    }
};
} // namespace

// Core's names for the window. With an outcome, each step answers inside its call: the one that
// ends in that error code fails as Core's do (false, then the code), the others succeed.
class TestCore : public QObject
{
    Q_OBJECT
    Q_PROPERTY(ErrorCode::ErrorCodeEnum errorCode MEMBER errorCode NOTIFY errorCodeChanged)
    Q_PROPERTY(QString updaterVersion MEMBER updaterVersion CONSTANT)
    Q_PROPERTY(int windowMinimumWidth MEMBER minimumWidth CONSTANT)
    Q_PROPERTY(int windowMinimumHeight MEMBER minimumHeight CONSTANT)
    Q_PROPERTY(QString newFirmwareVersion MEMBER newVersion CONSTANT)
    Q_PROPERTY(QString previousFirmwareVersion MEMBER previousVersion NOTIFY versionChanged)
    Q_PROPERTY(int findTimeout MEMBER findTimeout CONSTANT)
    Q_PROPERTY(bool writing MEMBER writing NOTIFY writingChanged)
    Q_PROPERTY(bool firmwareGone MEMBER firmwareGone CONSTANT)

public:
    int outcome = -1; // -1: the steps report nothing; 15: 5, the product left without firmware
    bool writing = false, firmwareGone = false;
    QStringList calls;
    ErrorCode::ErrorCodeEnum errorCode = ErrorCode::NoError;
    QString updaterVersion = "1.2.24", newVersion = "1.0.0.2", previousVersion = "0.0.0.0";
    int minimumWidth = 700, minimumHeight = 555, findTimeout = 61000;

    Q_INVOKABLE QString deviceName() const { return QStringLiteral("Vault"); }
    Q_INVOKABLE void findDevice() { step("find", &TestCore::deviceFound, outcome == 1); }
    Q_INVOKABLE void checkFirmware()
    {
        step("check", &TestCore::firmwareChecked, (outcome >= 2 && outcome <= 4) || outcome == 6);
    }
    Q_INVOKABLE void updateFirmware()
    {
        firmwareGone = outcome == 15;
        outcome %= 10;
        step("update", &TestCore::firmwareUpdated, outcome == 5);
    }
    void fail(int code) { setProperty("errorCode", code); }

signals:
    void deviceFound(bool ok);
    void firmwareChecked(bool ok);
    void firmwareUpdated(bool ok);
    void progressChanged(int progress);
    void errorCodeChanged(ErrorCode::ErrorCodeEnum errorCode);
    void versionChanged();
    void writingChanged();
    void fileProgress(qint64 written, qint64 verified, qint64 total);

private:
    void step(const char *name, void (TestCore::*report)(bool), bool fails)
    {
        calls << QLatin1String(name);
        if (outcome >= 0)
            emit(this->*report)(!fails);
        if (outcome >= 0 && fails)
            fail(outcome);
    }
};

// The ui library, and the window as start-up loads it, on a TestCore with texts.ts's texts.
class TestUi : public QObject
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
        QTRY_VERIFY(stack->isEnabled()); // Page 1 settled
    }
    QObject *find(const char *name) const
    {
        const QString objectName = QLatin1String(name);
        auto *page = stack->property("currentItem").value<QObject *>();
        QObject *item = page->findChild<QObject *>(objectName);
        return item ? item : window->findChild<QObject *>(objectName);
    }
    QString text(const char *name) const { return find(name)->property("text").toString(); }
    void click(const char *button) { QMetaObject::invokeMethod(find(button), "clicked"); }
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

    void resultPageShowsTheOutcome_data()
    {
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("image");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("description");
        const QString failed = QStringLiteral("Failed for Vault.");
        QTest::addRow("updated") << 0 << "success" << QStringLiteral("Updated.")
                                 << "Installed. Power Vault off, then power Vault on.";
        QTest::addRow("not found") << 1 << "failure" << failed << "Cannot find Vault.";
        QTest::addRow("check error") << 2 << "failure" << failed << "id-page5-check-firmware-error";
        QTest::addRow("other hardware") << 3 << "failure" << failed << "Other hardware.";
        QTest::addRow("up to date")
            << 4 << "up2date" << QStringLiteral("Up to date.") << "Vault is up to date.";
        QTest::addRow("write error") << 5 << "failure" << failed << "Cannot write.";
        QTest::addRow("write error, no firmware left")
            << 15 << "failure" << failed << "Cannot write.<br><br>Vault holds none.";
        QTest::addRow("another run updates it") << 6 << "failure" << failed << "Vault is busy.";
    }
    void resultPageShowsTheOutcome()
    {
        QFETCH(int, outcome);
        QFETCH(QString, image);
        QFETCH(QString, description);
        core->outcome = outcome;
        open();
        click("nextButton");
        click("nextButton");
        const QString walk = outcome == 0 || outcome % 10 == 5 ? "page1 page2 page3 page4 page5"
                                                               : "page1 page2 page3 page5";
        QCOMPARE(pages(), walk);
        QCOMPARE(find("generalImage")->property("source").toString(),
            "image://data/page5/big_" + image + ".png");
        QTEST(text("title"), "title");
        QCOMPARE(text("description"), description);
        // A later code shows no other page and keeps the first outcome's description.
        core->fail(42);
        QCOMPARE(pages(), walk);
        QCOMPARE(text("description"), description);
    }

    // Events: P press, p repeated press, R release, r repeated release, w until the page has
    // settled; = gives the next event the time stamp of the last, as X11 does for key repeat;
    // z: the events that follow have none, as the accessibility bridge posts them again.
    void keysPressTheMainButtonOnly_data()
    {
        QTest::addColumn<QString>("events");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("pages");
        QTest::addColumn<int>("errorCode");
        QTest::addColumn<int>("quits");
        const int enter = Qt::Key_Enter, ret = Qt::Key_Return;
        const int space = Qt::Key_Space;
        // X11 delivers a repeat of a held key unmarked when its press is not read yet.
        QTest::addRow("held Space, a repeat unmarked")
            << "PR=PwR=PrpR" << space << "page1 page2" << 0 << 0;
        QTest::addRow("Return while the page slides in")
            << "PRPR" << ret << "page1 page2" << 0 << 0;
        QTest::addRow("Enter on the result page quits")
            << "wPR" << enter << "page1 page5" << 3 << 1;
        QTest::addRow("Return on the result page quits, its repeat not")
            << "wprPR" << ret << "page1 page5" << 3 << 1;
        // A screen reader listening for focus: each stroke arrives again without a time stamp.
        QTest::addRow("Return through the screen reader's bridge, on Page 3 no hidden button")
            << "zPRwPRwPR" << ret << "page1 page2 page3" << 0 << 0;
        QTest::addRow("held Return through the bridge, a repeat unmarked")
            << "zPwRPR" << ret << "page1 page2" << 0 << 0;
    }
    void keysPressTheMainButtonOnly()
    {
        QFETCH(int, errorCode);
        QFETCH(int, key);
        QFETCH(QString, events);
        open();
        QSignalSpy quit(qmlEngine(window), &QQmlEngine::quit);
        core->fail(errorCode); // 0 changes nothing
        ulong time = 1000;
        bool sameTime = false, noTime = false;
        for (const QChar event : events) {
            noTime = noTime || event == 'z';
            if (event == 'w' || event == '=' || event == 'z') {
                sameTime = event == '=';
                QTRY_VERIFY(event == '=' || stack->isEnabled());
                continue;
            }
            QKeyEvent keyEvent(event.toLower() == 'p' ? QEvent::KeyPress : QEvent::KeyRelease, key,
                Qt::NoModifier, key == Qt::Key_Space ? " " : "\r", event.isLower());
            keyEvent.setTimestamp(noTime ? 0 : sameTime ? time : time += 40);
            sameTime = false;
            QGuiApplication::sendEvent(window, &keyEvent);
        }
        QTEST(pages(), "pages");
        QTEST(int(quit.count()), "quits");
    }

    // Where the screen's available area with the window's frame is smaller than the size the
    // pages are laid out for, the window fits it and the page scales: its buttons stay inside.
    // On each, the pages follow Core's reports.
    void walkFollowsTheReports_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QSize>("fitted");
        QTest::addRow("exactly room enough: as laid out")
            << QRect(0, 0, 702, 580) << QSize(700, 555);
        QTest::addRow("1024x600 below a panel") << QRect(0, 32, 1024, 568) << QSize(700, 543);
        QTest::addRow("150 %% of 1920x1080, rounded to 200 %%")
            << QRect(0, 0, 960, 540) << QSize(700, 515);
        QTest::addRow("narrower than the pages") << QRect(0, 0, 640, 1024) << QSize(638, 555);
    }
    void walkFollowsTheReports()
    {
        QFETCH(QRect, available);
        QFETCH(QSize, fitted);
        QCOMPARE(fittedWindowSize(QSize(700, 555), available, QMargins(1, 24, 1, 1)), fitted);
        open();
        // At Core's size where the screen has room (offscreen: 800x600).
        QCOMPARE(window->minimumSize(), QSize(700, 555));
        QCOMPARE(window->size(), QSize(700, 555));
        delete window->findChild<WindowFit *>();
        window->setMinimumSize(fitted);
        window->resize(fitted);
        const qreal scale = qMin(1.0, qMin(fitted.width() / 700.0, fitted.height() / 555.0));
        QTRY_COMPARE(find("content")->property("scale").toReal(), scale);
        const auto inside = [&](const char *name) {
            if (!QTest::qWaitFor([&] { return !stack->property("busy").toBool(); }))
                return false;
            auto *item = qobject_cast<QQuickItem *>(find(name));
            const QRectF area = item->mapRectToScene(item->boundingRect());
            return QRectF(QPointF(), fitted).contains(area) && !area.isEmpty();
        };
        emit core->errorCodeChanged(ErrorCode::NoError);
        QVERIFY(inside("nextButton"));
        click("nextButton");
        QVERIFY(inside("backButton") && inside("nextButton"));
        click("backButton");
        click("nextButton");
        click("nextButton");
        QCOMPARE(pages(), QStringLiteral("page1 page2 page1 page2 page3"));
        QCOMPARE(text("appVersionBlock"), QStringLiteral("Updater 1.2.24"));
        QCOMPARE(text("waiting"), QStringLiteral("Waiting 1:01"));
        QVERIFY(inside("busyIndicator"));
        QTRY_COMPARE(text("waiting"), QStringLiteral("Waiting 1:00"));
        emit core->deviceFound(true);
        // A second report on the same entry into a page is not handled again.
        emit core->deviceFound(true);
        core->setProperty("previousFirmwareVersion", "1.0.0.1");
        emit core->firmwareChecked(true);
        emit core->firmwareChecked(true);
        QCOMPARE(core->calls, (QStringList { "find", "check", "update" }));
        QCOMPARE(text("appVersionBlock"), "Previous 1.0.0.1<br>New 1.0.0.2<br>Updater 1.2.24");
        QVERIFY(inside("progressBar"));
        // While the file is written its progress shows, and a close is refused with a note.
        core->setProperty("writing", true);
        emit core->fileProgress(3 << 20, 1 << 20, 4 << 20);
        QCOMPARE(text("fileProgress"), QStringLiteral("Written 75, verified 25"));
        QVERIFY(!find("closeRefusedNote")->property("visible").toBool());
        window->close();
        QVERIFY(window->isVisible() && find("closeRefusedNote")->property("visible").toBool());
        core->setProperty("writing", false);
        emit core->progressChanged(37);
        QCOMPARE(find("progressBar")->property("value"), QVariant(37.0));
        emit core->firmwareUpdated(true);
        QCOMPARE(pages(), QStringLiteral("page1 page2 page1 page2 page3 page4 page5"));
        QVERIFY(inside("quitButton") && inside("appVersionBlock"));
    }

    // The pages offer no way beyond either end; nor does the navigator.
    void navigatorStaysInRange()
    {
        PageNavigator navigator;
        QSignalSpy moved(&navigator, &PageNavigator::currentIndexChanged);
        navigator.previous();
        for (int i = 0; i < 5; ++i)
            navigator.next();
        QCOMPARE(int(navigator.currentIndex()), 4);
        QCOMPARE(moved.count(), 4);
    }

    void imageProviderServesThePackage()
    {
        const char *table[][2] = { { "page1/big.png", "page1_general_view" },
            { "page1/small.png", "page1_detail_view" }, { "page2/big.png", "page2_general_view" },
            { "page2/small.png", "page2_detail_view" }, { "page3/big.png", "page3_general_view" },
            { "page3/small.png", "page3_detail_view" }, { "page4/big.png", "page4_general_view" },
            { "page5/big_success.png", "page5_success_general_view" },
            { "page5/big_failure.png", "page5_failure_general_view" },
            { "page5/big_up2date.png", "page5_uptodate_general_view" } };
        // A size per file shows an id served from another file; page2/big.png's file is missing.
        TestPackage package;
        for (int i = 0; i < 10; ++i)
            if (i != 2)
                package.setFile(QLatin1String(table[i][1]) + ".png", png(QSize(40 + i, 30 + i)));
        package.setFile(QStringLiteral("page4_detail_view.png"), png(QSize(11, 11)));
        QVERIFY(package.registerPackage());
        ImageProvider provider;
        for (int i = 0; i < 10; ++i) {
            const QImage image = provider.requestPixmap(table[i][0], nullptr, {}).toImage();
            QCOMPARE(image.size(), i == 2 ? QSize(100, 100) : QSize(40 + i, 30 + i));
            QCOMPARE(image.pixelColor(0, 0).alpha(), i == 2 ? 0 : 255);
        }
        for (const char *id : { "page4/small.png", "Page1/big.png", "page1_general_view.png", "" })
            QCOMPARE(provider.requestPixmap(id, nullptr, { 9, 9 }).size(), QSize(100, 100));
    }

    void minimumHeightFitsTheTallestPage()
    {
        // Short texts, no images: the floor.
        QCOMPARE(windowMinimumHeightFor(QStringLiteral("Vault")), 480);
        TestPackage package;
        package.setFile(QStringLiteral("page4_general_view.png"), png(QSize(300, 250)));
        // Page 5 is never measured.
        package.setFile(QStringLiteral("page5_general_view.png"), png(QSize(10, 2000)));
        QVERIFY(package.registerPackage());
        const QString name = QStringLiteral("Tarsel Vault Four Professional Edition ").repeated(5);
        const QString text = QStringLiteral("Save your files, then turn it off. ").repeated(40);
        Texts texts;
        texts.texts = { { "id-page4-title", "Title" }, { "id-page4-description", "%1 " + text } };
        QCoreApplication::installTranslator(&texts);
        // Page 4 wraps beside its image, in the interface's font.
        const QRect column(0, 0, 675 - 300, 20);
        const auto height = [&](int points, const QString &text) {
            const QFontMetrics metrics(QFont(QStringLiteral("Lato"), points));
            return metrics.boundingRect(column, Qt::TextWordWrap, text).height();
        };
        QCOMPARE(windowMinimumHeightFor(name),
            250 + height(14, "Title") + height(12, name + " " + text) + 160);
    }
};

QTEST_MAIN(TestUi)
#include "tst_ui.moc"
