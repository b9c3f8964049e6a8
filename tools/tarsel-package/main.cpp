// tarsel-package: builds, checks and describes product packages (data.rcc) for the updater.
#include "packagebuilder.h"
#include "packagechecker.h"
#include "packagereport.h"
#include "productresource.h"
#include "qttool.h"
#include "registeredpackage.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

enum ExitCode { Clean = 0, Faults = 1, Usage = 2, Interrupted = 130 };

volatile sig_atomic_t stopRequested = 0;

extern "C" void onStop(int)
{
    stopRequested = 1;
}

// Ctrl+C, a closed terminal or a stop lets the build clean up rather than leave OUT.part and
// its staged copy behind.
void stopBuildsCleanly()
{
    struct sigaction action = {};
    action.sa_handler = onStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : { SIGINT, SIGTERM, SIGHUP })
        sigaction(signal, &action, nullptr);
}

const char usage[] = "usage: tarsel-package build SRC_DIR -o FILE [--strict] [--rcc PATH] "
                     "[--lrelease PATH]\n"
                     "                            [--previous FILE [--allow-downgrade] "
                     "[--allow-other-hardware]]\n"
                     "       tarsel-package check FILE [--strict]\n"
                     "       tarsel-package info FILE\n"
                     "       tarsel-package --version\n";

int usageError(const QString &message)
{
    QTextStream err(stderr);
    if (!message.isEmpty())
        err << "tarsel-package: " << message << "\n";
    err << usage;
    return Usage;
}

// --help and --version into a full disk or a closed pipe are no success.
int printed(const QByteArray &text)
{
    std::fputs(text.constData(), stdout);
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return Clean;
    std::fprintf(
        stderr, "tarsel-package: cannot write to standard output: %s\n", std::strerror(errno));
    return Faults;
}

// Prints the findings and a summary; the exit code they make.
int report(const QVector<Diagnostic> &diagnostics, bool strict)
{
    QTextStream err(stderr);
    int errors = 0;
    int warnings = 0;
    for (const Diagnostic &diagnostic : diagnostics) {
        err << diagnostic.toString() << "\n";
        errors += diagnostic.severity == Diagnostic::Error ? 1 : 0;
        warnings += diagnostic.severity == Diagnostic::Warning ? 1 : 0;
    }
    err << errors << (errors == 1 ? " error, " : " errors, ") << warnings
        << (warnings == 1 ? " warning" : " warnings") << "\n";
    return errors > 0 || (strict && warnings > 0) ? Faults : Clean;
}

int build(const QCommandLineParser &parser)
{
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() != 2)
        return usageError(QStringLiteral("build takes one source folder"));
    // Without a release to compare with, an allowance would silently allow nothing.
    for (const char *allowance : { "allow-downgrade", "allow-other-hardware" }) {
        if (!parser.isSet(QStringLiteral("previous")) && parser.isSet(QLatin1String(allowance)))
            return usageError(QStringLiteral("--%1 needs --previous FILE").arg(allowance));
    }
    if (!parser.isSet(QStringLiteral("output")))
        return usageError(QStringLiteral("build needs -o FILE"));
    if (!QFileInfo(arguments.at(1)).isDir())
        return usageError(QStringLiteral("%1 is not a folder").arg(arguments.at(1)));
    const QString rcc = locateQtTool(QStringLiteral("rcc"), parser.value(QStringLiteral("rcc")));
    if (rcc.isEmpty())
        return usageError(QStringLiteral("no rcc found: give --rcc PATH or set TARSEL_RCC"));

    PackageBuilder builder(arguments.at(1), parser.value(QStringLiteral("output")));
    builder.setRcc(rcc);
    // Only a folder with translation sources needs lrelease; the builder says so if missing.
    builder.setLrelease(
        locateQtTool(QStringLiteral("lrelease"), parser.value(QStringLiteral("lrelease"))));
    const bool strict = parser.isSet(QStringLiteral("strict"));
    builder.setStrict(strict);
    const QString previous = parser.value(QStringLiteral("previous"));
    if (!previous.isEmpty() && !QFileInfo(previous).isFile())
        return usageError(QStringLiteral("%1 is not a file").arg(previous));
    builder.setPrevious(previous, parser.isSet(QStringLiteral("allow-downgrade")),
        parser.isSet(QStringLiteral("allow-other-hardware")));
    stopBuildsCleanly();
    builder.setStopFlag(&stopRequested);
    const bool written = builder.build();
    const int code = report(builder.diagnostics(), strict);
    if (stopRequested)
        return Interrupted;
    if (written)
        QTextStream(stdout) << "wrote " << parser.value(QStringLiteral("output")) << "\n";
    return written ? code : Faults;
}

int check(const QCommandLineParser &parser)
{
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() != 2)
        return usageError(QStringLiteral("check takes one package file"));
    const QString file = arguments.at(1);
    if (!QFileInfo(file).isFile())
        return usageError(QStringLiteral("%1 is not a file").arg(file));
    RegisteredPackage package(file, ProductResource::packageRoot());
    if (!package.isRegistered()) {
        QTextStream(stderr) << file
                            << ": error: not a compiled resource file: the updater cannot "
                               "register it and refuses to start\n";
        return Faults;
    }
    return report(PackageChecker(package.root()).run(), parser.isSet(QStringLiteral("strict")));
}

int info(const QCommandLineParser &parser)
{
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() != 2)
        return usageError(QStringLiteral("info takes one package file"));
    const QString file = arguments.at(1);
    if (!QFileInfo(file).isFile())
        return usageError(QStringLiteral("%1 is not a file").arg(file));
    RegisteredPackage package(file, ProductResource::packageRoot());
    if (!package.isRegistered()) {
        QTextStream(stderr) << file << ": error: not a compiled resource file\n";
        return Faults;
    }
    QTextStream out(stdout);
    PackageReport(file).write(out);
    return Clean;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.addOptions({
        { { QStringLiteral("o"), QStringLiteral("output") },
            QStringLiteral("Package file to write."), QStringLiteral("FILE") },
        { QStringLiteral("strict"), QStringLiteral("Warnings count as errors.") },
        { QStringLiteral("rcc"), QStringLiteral("The rcc to pack with."), QStringLiteral("PATH") },
        { QStringLiteral("lrelease"), QStringLiteral("The lrelease to compile with."),
            QStringLiteral("PATH") },
        { QStringLiteral("previous"), QStringLiteral("The last release's package to compare with."),
            QStringLiteral("FILE") },
        { QStringLiteral("allow-downgrade"),
            QStringLiteral("Ship a version not newer than the previous release's.") },
        { QStringLiteral("allow-other-hardware"),
            QStringLiteral("Ship firmware for another hardware id than the previous release's.") },
        { { QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Show the usage.") },
        { QStringLiteral("version"), QStringLiteral("Show the version.") },
    });
    // Parsed before the application exists, which depends on the command; options may stand
    // before or after it.
    const bool parsed = parser.parse(arguments);
    const QString command = parser.positionalArguments().value(0);

    // Only the window height needs fonts and a screen. A display that cannot be reached (a stale
    // DISPLAY, ssh -X without an X server) falls back to the offscreen platform, which the
    // report names, instead of aborting.
    std::unique_ptr<QCoreApplication> app;
    if (parsed && command == QLatin1String("info")) {
        QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
        if (platforms.isEmpty() && !qEnvironmentVariableIsEmpty("DISPLAY"))
            platforms = "xcb";
        if (!platforms.split(';').contains("offscreen"))
            qputenv("QT_QPA_PLATFORM",
                platforms.isEmpty() ? QByteArray("offscreen") : platforms + ";offscreen");
        // The updater's own setting, which decides the metrics the height is measured with.
        QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("tarsel-package"));

    if (!parsed)
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        return printed(usage);
    if (parser.isSet(QStringLiteral("version")))
        return printed(QByteArray("tarsel-package ") + TARSEL_VERSION + "\n");
    if (command == QLatin1String("build"))
        return build(parser);
    if (command == QLatin1String("check"))
        return check(parser);
    if (command == QLatin1String("info"))
        return info(parser);
    return usageError(
        command.isEmpty() ? QString() : QStringLiteral("unknown command %1").arg(command));
}
