#include "qmlengine.h"

#include "errorcode.h"
#include "imageprovider.h"
#include "keyrepeatfilter.h"
#include "multiclickfilter.h"
#include "page.h"
#include "pagenavigator.h"
#include "windowfit.h"

#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickWindow>
#include <QUrl>
#include <QtQml>

void registerQmlTypes()
{
    const char *uri = "TarselUpdater";
    qmlRegisterUncreatableType<Page>(
        uri, 1, 0, "Page", QStringLiteral("Page is an uncreatable type"));
    qmlRegisterUncreatableType<ErrorCode>(
        uri, 1, 0, "ErrorCode", QStringLiteral("ErrorCode is an uncreatable type"));
    qmlRegisterType<PageNavigator>(uri, 1, 0, "PageNavigator");
}

void setupQmlEngine(QObject *core)
{
    // Never destroyed: it refers to core, which also lives to the end of the process.
    auto *engine = new QQmlApplicationEngine();
    registerQmlTypes();
    // The engine owns the provider.
    engine->addImageProvider(QStringLiteral("data"), new ImageProvider());
    engine->rootContext()->setContextProperty(QStringLiteral("core"), core);
    // Loading creates the window, which resolves the module, core and the provider at once.
    engine->load(QUrl(QStringLiteral("qrc:/qml/Main.qml"), QUrl::TolerantMode));
    for (QObject *root : engine->rootObjects()) {
        if (auto *window = qobject_cast<QQuickWindow *>(root)) {
            window->installEventFilter(new KeyRepeatFilter(window));
            window->installEventFilter(new MultiClickFilter(window));
            // The pages are laid out for the minimum the window was given.
            new WindowFit(window, window->minimumSize());
        }
    }
}
