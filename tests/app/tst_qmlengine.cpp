#include "core.h"
#include "imageprovider.h"
#include "pagenavigator.h"
#include "qmlengine.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QTest>

#include <memory>

class TestQmlEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void moduleAsQmlSeesIt_data();
    void moduleAsQmlSeesIt();
    void refusesToCreateHolders_data();
    void refusesToCreateHolders();
    void setupLoadsWindowWithCoreAndProvider();
};

void TestQmlEngine::initTestCase()
{
    registerQmlTypes();
}

void TestQmlEngine::moduleAsQmlSeesIt_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QVariant>("value");

    QTest::addRow("Page.Page5") << "Page.Page5" << QVariant(4);
    QTest::addRow("Page.Page1") << "Page.Page1" << QVariant(0);
    QTest::addRow("ErrorCode.FirmwareSame_FWError")
        << "ErrorCode.FirmwareSame_FWError" << QVariant(4);
    QTest::addRow("ErrorCode.UpdateFirmwareError")
        << "ErrorCode.UpdateFirmwareError" << QVariant(5);
    QTest::addRow("declared navigator starts at Page1")
        << "navigator.currentIndex === Page.Page1" << QVariant(true);
    QTest::addRow("declared navigator names documents")
        << "navigator.componentName(Page.Page3)" << QVariant(QStringLiteral("Page3.qml"));
}

void TestQmlEngine::moduleAsQmlSeesIt()
{
    QFETCH(QString, expression);
    QFETCH(QVariant, value);

    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(QStringLiteral("import QtQml 2.2\nimport TarselUpdater 1.0\n"
                                     "QtObject {\n"
                                     "    property var value: %1\n"
                                     "    property PageNavigator navigator: PageNavigator {}\n"
                                     "}\n")
                          .arg(expression)
                          .toUtf8(),
        QUrl());
    const std::unique_ptr<QObject> object(component.create());
    QVERIFY2(object, qPrintable(component.errorString()));
    QCOMPARE(object->property("value"), value);
    QVERIFY(qobject_cast<PageNavigator *>(object->property("navigator").value<QObject *>()));
}

void TestQmlEngine::refusesToCreateHolders_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("reason");

    QTest::addRow("Page") << "Page"
                          << "Page is an uncreatable type";
    QTest::addRow("ErrorCode") << "ErrorCode"
                               << "ErrorCode is an uncreatable type";
}

void TestQmlEngine::refusesToCreateHolders()
{
    QFETCH(QString, type);
    QFETCH(QString, reason);

    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(QStringLiteral("import QtQml 2.2\nimport TarselUpdater 1.0\n"
                                     "QtObject { property var held: %1 {} }\n")
                          .arg(type)
                          .toUtf8(),
        QUrl());
    QVERIFY(component.isError());
    QVERIFY2(component.errorString().contains(reason), qPrintable(component.errorString()));
}

void TestQmlEngine::setupLoadsWindowWithCoreAndProvider()
{
    Core core;
    setupQmlEngine(&core);

    const QWindowList windows = QGuiApplication::topLevelWindows();
    QCOMPARE(windows.size(), 1);
    auto *window = qobject_cast<QQuickWindow *>(windows.first());
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(window->title(), QStringLiteral("id-application-title"));

    QQmlEngine *engine = qmlEngine(window);
    QVERIFY(qobject_cast<QQmlApplicationEngine *>(engine));
    QCOMPARE(
        engine->rootContext()->contextProperty(QStringLiteral("core")).value<QObject *>(), &core);
    QVERIFY(dynamic_cast<ImageProvider *>(engine->imageProvider(QStringLiteral("data"))));
    QVERIFY(!engine->imageProvider(QStringLiteral("other")));
    // Nothing else may refer to core once it is gone.
    delete engine;
}

QTEST_MAIN(TestQmlEngine)
#include "tst_qmlengine.moc"
