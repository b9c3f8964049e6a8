// tarsel-update: the updater's run without a window, for scripts, factory lines and remote
// sessions. It drives the same Core the wizard's pages drive, in the same order.
#include "core.h"
#include "externalresources.h"
#include "report.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QJsonObject>
#include <QMetaEnum>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#ifdef Q_OS_WIN
#include <QWinEventNotifier>
#include <qt_windows.h>
#else
#include <QSocketNotifier>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

constexpr int exitBadCommandLine = 2;
constexpr int exitInterrupted = 130;
// Above it the milliseconds no longer fit the search timer.
constexpr int maxTimeoutSeconds = 2147483;

const char exitCodesHelp[] = "\nExit codes:\n"
                             "  0    updated\n"
                             "  1    the package is missing or unusable\n"
                             "  2    bad command line\n"
                             "  11   the product was not found in time\n"
                             "  12   the firmware could not be checked\n"
                             "  13   other hardware: the package does not suit the product\n"
                             "  14   already up to date (nothing written)\n"
                             "  15   the firmware could not be written or verified\n"
                             "  130  interrupted while waiting (nothing written)\n";

volatile sig_atomic_t writeBegun = 0;
volatile sig_atomic_t interruptRequested = 0;

#ifdef Q_OS_WIN
HANDLE interruptEvent = nullptr;

// Ctrl+C, Ctrl+Break and closing the console stand for SIGINT, SIGTERM and SIGHUP. The system
// calls this on a thread of its own.
BOOL WINAPI onConsoleControl(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT)
        return FALSE;
    if (writeBegun) {
        static const char note[]
            = "\ntarsel-update: the firmware is being written; it is not interrupted.\n";
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), note, sizeof note - 1, &written, nullptr);
    } else {
        interruptRequested = 1;
        SetEvent(interruptEvent);
    }
    // The system ends the process once a close returns from here (or after its few seconds'
    // grace), so the run is left that time to end and report itself.
    if (type == CTRL_CLOSE_EVENT)
        Sleep(INFINITE);
    return TRUE;
}

bool installInterruptHandlers()
{
    interruptEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return interruptEvent && SetConsoleCtrlHandler(onConsoleControl, TRUE);
}
#else
int interruptPipe[2] = { -1, -1 };

extern "C" void onInterrupt(int)
{
    const int savedErrno = errno;
    if (writeBegun) {
        static const char note[]
            = "\ntarsel-update: the firmware is being written; it is not interrupted.\n";
        if (write(STDERR_FILENO, note, sizeof note - 1) < 0) { }
    } else {
        interruptRequested = 1;
        const char byte = 1;
        if (write(interruptPipe[1], &byte, 1) < 0) { }
    }
    errno = savedErrno;
}

bool installInterruptHandlers()
{
    if (pipe(interruptPipe) != 0)
        return false;
    for (int fd : interruptPipe) {
        if (fcntl(fd, F_SETFD, FD_CLOEXEC) != 0 || fcntl(fd, F_SETFL, O_NONBLOCK) != 0)
            return false;
    }
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // A dropped SSH session or a supervisor's stop must not cut a write short either.
    for (int signal : { SIGINT, SIGTERM, SIGHUP }) {
        if (sigaction(signal, &action, nullptr) != 0)
            return false;
    }
    // A closed reader of our output must not kill the process in the middle of a write.
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}
#endif

struct Outcome
{
    int exitCode;
    const char *name;
};

// A failure's exit code is 10 and its code; a code outside the list counts as a failed write.
Outcome outcomeFor(ErrorCode::ErrorCodeEnum code)
{
    static const char *const names[] = { "updated", "not-found", "cannot-check", "other-hardware",
        "up-to-date", "write-failed" };
    static_assert(std::size(names) == ErrorCode::UpdateFirmwareError + 1, "a name for every code");
    const int known = code >= ErrorCode::NoError && code <= ErrorCode::UpdateFirmwareError
        ? code
        : ErrorCode::UpdateFirmwareError;
    return { known == ErrorCode::NoError ? 0 : 10 + known, names[known] };
}

QString errorName(ErrorCode::ErrorCodeEnum code)
{
    return QString::fromLatin1(QMetaEnum::fromType<ErrorCode::ErrorCodeEnum>().valueToKey(code));
}

void commandLineError(const QString &message)
{
    std::fprintf(stderr, "tarsel-update: %s\nSee tarsel-update --help.\n", qPrintable(message));
}

// Drives one update run through Core as the wizard's pages 3 to 5 do, and reports each step.
class Run
{
public:
    Run(Core &core, Report &report, int timeoutSeconds)
        : core(core)
        , report(report)
        , timeoutSeconds(timeoutSeconds)
    {
    }

    void start();
    void interrupt();

private:
    void onFound(bool ok);
    void onChecked(bool ok);
    void finish(ErrorCode::ErrorCodeEnum code);
    void finishInterrupted();
    QString name() const { return core.deviceName(); }

    Core &core;
    Report &report;
    const int timeoutSeconds;
    bool finished = false;
};

void Run::start()
{
    QObject::connect(&core, &Core::deviceFound, &core, [this](bool ok) { onFound(ok); });
    QObject::connect(&core, &Core::firmwareChecked, &core, [this](bool ok) { onChecked(ok); });
    QObject::connect(
        &core, &Core::progressChanged, &core, [this](int percent) { report.progress(percent); });
    QObject::connect(&core, &Core::firmwareUpdated, &core, [this](bool ok) {
        if (ok)
            finish(ErrorCode::NoError);
    });
    // A failed step emits its signal with false first, then the code.
    QObject::connect(&core, &Core::errorCodeChanged, &core,
        [this](ErrorCode::ErrorCodeEnum code) { finish(code); });

    report.event("waiting",
        { { QStringLiteral("product"), name() }, { QStringLiteral("timeout"), timeoutSeconds } });
    report.say(QStringLiteral("Waiting for %1 (up to %2 s). Power it on in update mode.")
                   .arg(name())
                   .arg(timeoutSeconds));
    core.findDevice();
}

void Run::onFound(bool ok)
{
    if (!ok || finished)
        return;
    const QString mountPath = core.device() ? core.device()->mountPath() : QString();
    report.event("found", { { QStringLiteral("mountPath"), mountPath } });
    report.say(QStringLiteral("Found %1 at %2.").arg(name(), mountPath));
    core.checkFirmware();
}

void Run::onChecked(bool ok)
{
    if (finished)
        return;
    // Core records the volume's version after a pass and after "up to date"; other failures, and
    // a recovery of an unreadable file, leave its placeholder.
    const bool known = core.previousFirmwareVersion() != QLatin1String("0.0.0.0");
    const QJsonValue installed = known ? QJsonValue(core.previousFirmwareVersion()) : QJsonValue();
    report.event("checked",
        { { QStringLiteral("ok"), ok }, { QStringLiteral("installed"), installed },
            { QStringLiteral("packaged"), core.newFirmwareVersion() } });
    if (!ok)
        return;
    report.say(QStringLiteral("Firmware on the product: %1; packaged: %2.")
                   .arg(known ? core.previousFirmwareVersion()
                              : QStringLiteral("none readable (recovery)"),
                       core.newFirmwareVersion()));

    // From here the handler refuses; a Ctrl+C that came before still ends the run unwritten.
    writeBegun = 1;
    if (interruptRequested)
        return finishInterrupted();
    report.event("writing");
    report.say(QStringLiteral("Writing the firmware. Do not power off or disconnect %1; "
                              "Ctrl+C no longer interrupts.")
                   .arg(name()));
    core.updateFirmware();
    if (finished)
        return;
    // Core returns from a successful write only after reading the bytes back.
    const qint64 bytes = QFileInfo(core.productResource()->firmwarePath()).size();
    report.event("written", { { QStringLiteral("bytes"), bytes } });
    report.event("verified");
    report.say(QStringLiteral("Written and verified (%1 bytes).").arg(bytes));
}

void Run::finish(ErrorCode::ErrorCodeEnum code)
{
    if (finished)
        return;
    finished = true;
    const Outcome outcome = outcomeFor(code);
    QJsonObject result { { QStringLiteral("outcome"), QString::fromLatin1(outcome.name) },
        { QStringLiteral("error"), errorName(code) },
        { QStringLiteral("exitCode"), outcome.exitCode } };
    // Which step failed and the system's reason, as page 5 shows them.
    const QString details = core.errorDetails();
    if (!details.isEmpty())
        result.insert(QStringLiteral("details"), details);
    report.event("result", result);
    const QString version = core.newFirmwareVersion();
    switch (code) {
    case ErrorCode::NoError:
        // Core's closing timer may end before its last progress step.
        report.progress(100);
        report.say(QStringLiteral("Updated: %1 holds firmware %2. Power it off and on again to "
                                  "complete the update.")
                       .arg(name(), version));
        break;
    case ErrorCode::FirmwareSame_FWError:
        report.say(QStringLiteral("Up to date: %1 already holds firmware %2 (packaged: %3); "
                                  "nothing was written.")
                       .arg(name(), core.previousFirmwareVersion(), version));
        break;
    case ErrorCode::FindDeviceError:
        report.warn(
            QStringLiteral("Cannot find %1 (waited %2 s).").arg(name()).arg(timeoutSeconds));
        break;
    case ErrorCode::CheckFirmwareError:
        report.warn(QStringLiteral("Unable to confirm the firmware version; nothing was written."));
        if (!core.recoveryMode())
            report.warn(
                QStringLiteral("If an update of %1 was interrupted, tarsel-update --recover "
                               "repairs it.")
                    .arg(name()));
        break;
    case ErrorCode::FirmwareBad_HWError:
        report.warn(QStringLiteral("This updater does not support the connected device (other "
                                   "hardware); nothing was written."));
        break;
    case ErrorCode::UpdateFirmwareError:
        report.warn(QStringLiteral("Unable to update the system firmware."));
        break;
    }
    if (code != ErrorCode::NoError && !details.isEmpty())
        report.warn(details);
    QCoreApplication::exit(outcome.exitCode);
}

void Run::interrupt()
{
    // The write itself runs without the event loop; after it only the closing animation runs,
    // and the handler has said why it goes on.
    if (!writeBegun)
        finishInterrupted();
}

void Run::finishInterrupted()
{
    if (finished)
        return;
    finished = true;
    report.event("result",
        { { QStringLiteral("outcome"), QStringLiteral("interrupted") },
            { QStringLiteral("error"), QJsonValue::Null },
            { QStringLiteral("exitCode"), exitInterrupted } });
    report.warn(
        QStringLiteral("Interrupted while waiting for %1; nothing was written.").arg(name()));
    QCoreApplication::exit(exitInterrupted);
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Installs the packaged firmware into the product connected in update mode, without a "
        "window."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption package(QStringLiteral("package"),
        QStringLiteral("Read the product package FILE (default: data.rcc beside the program)."),
        QStringLiteral("FILE"));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
        QStringLiteral("Wait up to SECONDS for the product (default 300)."),
        QStringLiteral("SECONDS"), QStringLiteral("300"));
    const QCommandLineOption json(QStringLiteral("json"),
        QStringLiteral("Print one JSON object per line for each event, nothing else."));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
        QStringLiteral("Print nothing but a failure; the exit code tells the outcome."));
    // Core reads these from the command line itself, exactly as in the updater.
    const QList<QCommandLineOption> coreOptions { Core::forceModeOption(), Core::recoverOption() };
    parser.addOptions({ package, timeout, json, quiet });
    parser.addOptions(coreOptions);

    if (!parser.parse(arguments)) {
        commandLineError(parser.errorText());
        return exitBadCommandLine;
    }
    if (!parser.positionalArguments().isEmpty()) {
        commandLineError(QStringLiteral("unexpected argument \"%1\"")
                             .arg(parser.positionalArguments().constFirst()));
        return exitBadCommandLine;
    }
    bool timeoutOk = false;
    const int timeoutSeconds = parser.value(timeout).toInt(&timeoutOk);
    if (!timeoutOk || timeoutSeconds < 1 || timeoutSeconds > maxTimeoutSeconds) {
        commandLineError(QStringLiteral("--timeout takes whole seconds from 1 to %1, not \"%2\"")
                             .arg(maxTimeoutSeconds)
                             .arg(parser.value(timeout)));
        return exitBadCommandLine;
    }
    if (parser.isSet(json) && parser.isSet(quiet)) {
        commandLineError(QStringLiteral("give --json or --quiet, not both"));
        return exitBadCommandLine;
    }

    // Core takes any option it does not know for "force mode off", so the application object
    // carries only the updater's own options, as the wizard's would.
    std::vector<QByteArray> coreArguments { QByteArray(argv[0]) };
    for (const QCommandLineOption &option : coreOptions) {
        if (parser.isSet(option))
            coreArguments.push_back("--" + option.names().constFirst().toLocal8Bit());
    }
    std::vector<char *> coreArgv;
    for (QByteArray &argument : coreArguments)
        coreArgv.push_back(argument.data());
    coreArgv.push_back(nullptr);
    int coreArgc = int(coreArguments.size());

    QCoreApplication app(coreArgc, coreArgv.data());
    QCoreApplication::setApplicationName(QStringLiteral("tarsel-update"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARSEL_VERSION));
    QCoreApplication::setOrganizationDomain(QStringLiteral("com.corvel"));
    QCoreApplication::setOrganizationName(QStringLiteral("corvel"));

    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        std::fputs(exitCodesHelp, stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("tarsel-update %s\n", TARSEL_VERSION);
        return 0;
    }

    Report report(parser.isSet(json) ? Report::Style::Json
            : parser.isSet(quiet)    ? Report::Style::Quiet
                                     : Report::Style::Human);
    const QString packagePath = parser.isSet(package)
        ? parser.value(package)
        : QCoreApplication::applicationDirPath() + QStringLiteral("/data.rcc");

    bool ok = false;
    std::unique_ptr<ProductResource> resource(loadProductPackage(packagePath, ok));
    // A program reading the stream learns the end of every run from its last line.
    const auto unusablePackage = [&report] {
        report.event("result",
            { { QStringLiteral("outcome"), QStringLiteral("unusable-package") },
                { QStringLiteral("error"), QJsonValue::Null }, { QStringLiteral("exitCode"), 1 } });
        return 1;
    };
    if (!ok) {
        qCritical() << "Can not initialize external resources.";
        return unusablePackage();
    }
    // Made after the application object and gone before it, with the detector it owns.
    auto core = std::make_unique<Core>();
    if (!core->initialize(resource.get())) {
        qCritical() << "Can not initialize core.";
        return unusablePackage();
    }
    ProductResource *product = resource.release();
    core->setFindTimeout(timeoutSeconds * 1000);

    const bool force = core->forceMode();
    const bool recover = core->recoveryMode();
    report.event("package",
        { { QStringLiteral("path"), QFileInfo(packagePath).absoluteFilePath() },
            { QStringLiteral("product"), product->name() },
            { QStringLiteral("vid"), product->vid() }, { QStringLiteral("pid"), product->pid() },
            { QStringLiteral("firmware"), core->newFirmwareVersion() },
            { QStringLiteral("forceMode"), force }, { QStringLiteral("recover"), recover } });
    report.say(QStringLiteral("Package: %1 firmware %2 (%3)")
                   .arg(core->deviceName(), core->newFirmwareVersion(),
                       QFileInfo(packagePath).absoluteFilePath()));
    if (recover)
        report.say(QStringLiteral("Recovery: a firmware.bin left missing, empty or untagged by an "
                                  "interrupted update is rewritten."));
    if (force)
        report.say(QStringLiteral("Force mode: the checksum, hardware and version tests are "
                                  "skipped."));

    if (!installInterruptHandlers()) {
        qCritical() << "Can not install the Ctrl+C handler:" << strerror(errno);
        return 1;
    }
    Run run(*core, report, timeoutSeconds);
#ifdef Q_OS_WIN
    QWinEventNotifier interrupts(interruptEvent);
    QObject::connect(
        &interrupts, &QWinEventNotifier::activated, &interrupts, [&run] { run.interrupt(); });
#else
    QSocketNotifier interrupts(interruptPipe[0], QSocketNotifier::Read);
    QObject::connect(&interrupts, &QSocketNotifier::activated, &interrupts, [&run] {
        char bytes[16];
        while (read(interruptPipe[0], bytes, sizeof bytes) > 0) { }
        run.interrupt();
    });
#endif
    // Through the event loop, so that a step ending at once still ends the loop.
    QTimer::singleShot(0, &app, [&run] { run.start(); });
    return QCoreApplication::exec();
}
