#include "core.h"
#include "externalresources.h"
#include "qmlengine.h"
#ifdef TARSEL_TEST_SEAMS
#include "testseams.h"
#endif

#include <QDebug>
#include <QGuiApplication>
#include <QtGlobal>

#include <memory>

int main(int argc, char *argv[])
{
    qputenv("QT_ANGLE_PLATFORM", "d3d9");
    QCoreApplication::setAttribute(Qt::AA_UseOpenGLES, true);
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);

    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("TarselUpdater"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.2.24"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("com.corvel"));
    QCoreApplication::setOrganizationName(QStringLiteral("corvel"));

    bool ok = false;
    // Owned here only until Core takes it: a failed start frees what it made.
    std::unique_ptr<ProductResource> resource(
        initExternalResources(QCoreApplication::applicationDirPath(), ok));
    if (!ok) {
        qCritical() << "Can not initialize external resources.";
        return 1;
    }

    auto core = std::make_unique<Core>();
#ifdef TARSEL_TEST_SEAMS
    applyTestSeamsToCore(*core);
#endif
    if (!core->initialize(resource.release())) {
        qCritical() << "Can not initialize core.";
        return 1;
    }

    // Core and the QML engine live until the process ends.
    setupQmlEngine(core.release());
#ifdef TARSEL_TEST_SEAMS
    applyTestSeamsToWindow();
#endif
    return app.exec();
}
