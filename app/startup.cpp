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

#include <cerrno>
#include <cstdio>
#include <cstring>
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
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    // Qt's own options take one dash ("-platform", "-reverse"): not a row of short options.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Installs the packaged firmware into the product connected in update mode."));
    // One answer for all three: the window takes no options beyond those listed.
    const QCommandLineOption help(
        { QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("help-all") },
        QStringLiteral("Displays this help."));
    const QCommandLineOption version({ QStringLiteral("v"), QStringLiteral("version") },
        QStringLiteral("Displays version information."));
    parser.addOptions({ help, version, Core::forceModeOption(), Core::recoverOption() });
    // Unknown options are the window system's; the window takes them as before.
    parser.parse(arguments);
    if (!parser.isSet(help) && !parser.isSet(version))
        return -1;
    // A core application needs no display; the window's application would abort without one.
    QCoreApplication app(argc, argv);
    setIdentity();
    const QByteArray text = parser.isSet(help) ? parser.helpText().toLocal8Bit()
                                               : QCoreApplication::applicationName().toLocal8Bit()
            + ' ' + QCoreApplication::applicationVersion().toLocal8Bit() + '\n';
    std::fputs(text.constData(), stdout);
    // A full disk or a closed pipe is no success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(
            stderr, "TarselUpdater: cannot write to standard output: %s\n", std::strerror(errno));
        return 1;
    }
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
