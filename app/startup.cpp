#include "startup.h"

#include "core.h"
#include "externalresources.h"
#include "qmlengine.h"
#include "runlog.h"
#include "scenegraphbackend.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDebug>
#include <QGuiApplication>
#include <QIcon>
#include <QtGlobal>

#include <memory>

void prepareApplication()
{
    qputenv("QT_ANGLE_PLATFORM", "d3d9");
    QCoreApplication::setAttribute(Qt::AA_UseOpenGLES, true);
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
}

static void setIdentity()
{
    QCoreApplication::setApplicationName(QStringLiteral("TarselUpdater"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.2.24"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("com.corvel"));
    QCoreApplication::setOrganizationName(QStringLiteral("corvel"));
}

int answerHelpOrVersion(int argc, char *argv[])
{
    const QByteArray only = argc == 2 ? QByteArray(argv[1]) : QByteArray();
    if (only != "--help" && only != "--version")
        return -1;
    // A core application needs no display; the window's application would abort without one.
    QCoreApplication app(argc, argv);
    setIdentity();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Installs the packaged firmware into the product connected in update mode."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(Core::forceModeOption());
    parser.addOption(Core::recoverOption());
    parser.process(app); // prints and exits 0
    return 0;
}

Core *startUpdater()
{
    setIdentity();
    // The desktop entry's id and icon: shells match the window to its menu entry by them.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.corvel.TarselUpdater"));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/icon.png")));

    bool ok = false;
    // Start-up messages are held for the log; a start that fails leaves no log behind.
    auto log = std::make_unique<RunLog>();
    // Owned here only until Core takes it: a failed start frees what it made.
    std::unique_ptr<ProductResource> resource(
        initExternalResources(QCoreApplication::applicationDirPath(), ok));
    if (!ok) {
        qCritical() << "Can not initialize external resources.";
        return nullptr;
    }

    auto core = std::make_unique<Core>();
    if (!core->initialize(resource.release())) {
        qCritical() << "Can not initialize core.";
        return nullptr;
    }

    fallBackToSoftwareRendering();
    log->open(core.get());
    log.release()->setParent(core.get());
    // Core and the QML engine live until the process ends.
    setupQmlEngine(core.get());
    return core.release();
}
