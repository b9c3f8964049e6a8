#include "imageprovider.h"
#include "qmlengine.h"
#include "testcore.h"

#include <QCoreApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QTranslator>
#include <QtQuickTest>

// Gives every tst_*.qml what start-up gives the real window: the module, the provider "data",
// a "core" (here a TestCore) and a translation catalogue.
class Setup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        if (translator.load(QStringLiteral(TARSEL_QML_TEST_QM)))
            QCoreApplication::installTranslator(&translator);
        else
            qWarning("Cannot load %s", TARSEL_QML_TEST_QM);
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        registerQmlTypes();
        engine->addImageProvider(QStringLiteral("data"), new ImageProvider());
        engine->rootContext()->setContextProperty(QStringLiteral("core"), &core);
    }

private:
    QTranslator translator;
    TestCore core;
};

QUICK_TEST_MAIN_WITH_SETUP(tarsel_qml, Setup)
#include "main.moc"
