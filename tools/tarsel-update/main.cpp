// tarsel-update: the updater's run without a window, for scripts, factory lines and remote
// sessions. It drives the same Core the wizard's pages drive, in the same order.
#include "core.h"
#include "externalresources.h"
#include "report.h"
#include "runlog.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QMetaEnum>
#include <QTimer>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#ifdef Q_OS_WIN
#include <QWinEventNotifier>
#include <io.h>
#include <qt_windows.h>
#else
#include <QSocketNotifier>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

constexpr int exitBadCommandLine = 2;
constexpr int exitNotFound = 10 + ErrorCode::FindDeviceError;
constexpr int exitCannotMount = 17;
constexpr int exitInterrupted = 130;
// Above it the milliseconds no longer fit the search timer.
constexpr int maxTimeoutSeconds = 2147483;

const char exitCodesHelp[]
    = "\nExit codes:\n"
      "  0    updated\n"
      "  1    the package is missing or unusable\n"
      "  2    bad command line\n"
      "  11   the product was not found in time\n"
      "  12   the firmware could not be checked\n"
      "  13   other hardware: the package does not suit the product\n"
      "  14   already up to date (nothing written)\n"
      "  15   the firmware could not be written or verified\n"
      "  16   an update of this product is already running (nothing written)\n"
      "  17   the product's volume could not be mounted (the reason follows)\n"
      "  130  interrupted while waiting (nothing written)\n";

volatile sig_atomic_t writeBegun = 0;
volatile sig_atomic_t interruptRequested = 0;
// From the start until the product is found or the run ends.
volatile sig_atomic_t searching = 0;
volatile sig_atomic_t searchOverdue = 0;
// While the package loads, a read may block for good (a FIFO, a hung network share): the handler
// then ends the run itself with the line interrupted() would write.
volatile sig_atomic_t loadingPackage = 0;
int loadingInterruptFd = -1;
QByteArray loadingInterruptLine;

extern "C" void onSearchDeadline(int)
{
    searchOverdue = 1;
    if (searching && !writeBegun && reportBlocked)
        _exit(exitNotFound);
}

void writeRaw(int fd, const char *bytes, size_t size);

// An interrupt, from a signal handler or the console's control thread: refused once the write
// has begun; otherwise the run ends at once where its event loop cannot be reached (a blocked
// output or package load), or the loop is woken to end it.
void interruptRun(void (*wakeLoop)())
{
    if (writeBegun) {
        static const char note[]
            = "\ntarsel-update: the firmware is being written; it is not interrupted.\n";
        writeRaw(2, note, sizeof note - 1);
        return;
    }
    interruptRequested = 1;
    if (loadingPackage && !reportBlocked)
        writeRaw(loadingInterruptFd, loadingInterruptLine.constData(),
            size_t(loadingInterruptLine.size()));
    if (reportBlocked || loadingPackage)
        _exit(exitInterrupted);
    wakeLoop();
}

#ifdef Q_OS_WIN
HANDLE interruptEvent = nullptr;
HANDLE searchDeadline = nullptr;

void writeRaw(int fd, const char *bytes, size_t size)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(fd == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE), bytes, DWORD(size),
        &written, nullptr);
}

// Ctrl+C, Ctrl+Break and closing the console stand for SIGINT, SIGTERM and SIGHUP. The system
// calls this on a thread of its own, so it may end a run whose main thread is blocked.
BOOL WINAPI onConsoleControl(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT)
        return FALSE;
    interruptRun([] { SetEvent(interruptEvent); });
    // The system ends the process once a close returns from here (or after its few seconds'
    // grace), so the run is left that time to end and report itself.
    if (type == CTRL_CLOSE_EVENT)
        Sleep(INFINITE);
    return TRUE;
}

VOID CALLBACK onSearchDeadlineTimer(PVOID, BOOLEAN)
{
    onSearchDeadline(0);
}

// Runs on a pool thread, as alarm()'s signal runs beside a blocked main thread.
void armSearchDeadline(unsigned seconds)
{
    if (searchDeadline) {
        DeleteTimerQueueTimer(nullptr, searchDeadline, nullptr);
        searchDeadline = nullptr;
    }
    if (seconds > 0)
        CreateTimerQueueTimer(&searchDeadline, nullptr, onSearchDeadlineTimer, nullptr,
            seconds * 1000, 0, WT_EXECUTEONLYONCE);
}

bool installInterruptHandlers()
{
    interruptEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return interruptEvent && SetConsoleCtrlHandler(onConsoleControl, TRUE);
}
#else
int interruptPipe[2] = { -1, -1 };

void writeRaw(int fd, const char *bytes, size_t size)
{
    if (write(fd, bytes, size) < 0) { }
}

void armSearchDeadline(unsigned seconds)
{
    alarm(seconds);
}

// A stalled reader blocks our output and with it the event loop that would act on a signal or
// the search timer; while nothing is written to the product, the process ends right there.
extern "C" void onInterrupt(int)
{
    const int savedErrno = errno;
    interruptRun([] {
        const char byte = 1;
        writeRaw(interruptPipe[1], &byte, 1);
    });
    errno = savedErrno;
}

void giveUpBeforeBlocking()
{
    if (writeBegun)
        return;
    if (interruptRequested)
        _exit(exitInterrupted);
    if (searching && searchOverdue)
        _exit(exitNotFound);
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
    // A dropped SSH session, a supervisor's stop or Ctrl+\\ must not cut a write short either.
    for (int signal : { SIGINT, SIGTERM, SIGHUP, SIGQUIT }) {
        if (sigaction(signal, &action, nullptr) != 0)
            return false;
    }
    action.sa_handler = onSearchDeadline;
    if (sigaction(SIGALRM, &action, nullptr) != 0)
        return false;
    reportWillBlock = giveUpBeforeBlocking;
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
        "up-to-date", "write-failed", "already-running" };
    static_assert(std::size(names) == ErrorCode::UpdateRunningError + 1, "a name for every code");
    const int known = code >= ErrorCode::NoError && code <= ErrorCode::UpdateRunningError
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

// --help and --version into a full disk or a closed pipe must not claim success.
int printed(const QByteArray &text)
{
    std::fputs(text.constData(), stdout);
    if (Report::outputOk())
        return 0;
    std::fprintf(
        stderr, "tarsel-update: cannot write to standard output: %s\n", std::strerror(errno));
    return 1;
}

// The end of a run interrupted before anything was written: the last line a program reads.
int interrupted(Report &report, const QString &while_)
{
    searching = 0;
    report.event("result",
        { { QStringLiteral("outcome"), QStringLiteral("interrupted") },
            { QStringLiteral("error"), QJsonValue::Null },
            { QStringLiteral("exitCode"), exitInterrupted } });
    report.warn(QStringLiteral("Interrupted while %1; nothing was written.").arg(while_));
    return exitInterrupted;
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
    void onWritingChanged();
    void finish(ErrorCode::ErrorCodeEnum code);
    void finishCannotMount();
    void finishInterrupted();
    QString name() const { return core.deviceName(); }

    Core &core;
    Report &report;
    const int timeoutSeconds;
    bool finished = false;
    // The first step that failed and why, in English whatever the user's language.
    QString failedStep;
    QString failedReason;
};

void Run::start()
{
    QObject::connect(&core, &Core::deviceFound, &core, [this](bool ok) { onFound(ok); });
    QObject::connect(&core, &Core::firmwareChecked, &core, [this](bool ok) { onChecked(ok); });
    QObject::connect(
        &core, &Core::progressChanged, &core, [this](int percent) { report.progress(percent); });
    QObject::connect(
        &core, &Core::fileProgress, &core, [this](qint64 written, qint64 verified, qint64 total) {
            report.fileProgress(written, verified, total);
        });
    QObject::connect(&core, &Core::writingChanged, &core, [this] { onWritingChanged(); });
    QObject::connect(&core, &Core::firmwareUpdated, &core, [this](bool ok) {
        if (ok)
            finish(ErrorCode::NoError);
    });
    // Nobody is there to mount it by hand in the five minutes: the reason ends the run now.
    QObject::connect(&core, &Core::mountProblemChanged, &core, [this] { finishCannotMount(); });
    // A failed step emits its signal with false first, then the code.
    QObject::connect(&core, &Core::errorCodeChanged, &core,
        [this](ErrorCode::ErrorCodeEnum code) { finish(code); });
    QObject::connect(&core, &Core::stepEnded, &core,
        [this](const QString &step, bool ok, qint64, const QString &reason) {
            if (!ok && failedStep.isEmpty()) {
                failedStep = step;
                failedReason = reason;
            }
        });
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
    searching = 0;
    armSearchDeadline(0);
    const QString mountPath = core.device() ? core.device()->mountPath() : QString();
    const QStringList others = core.otherProducts();
    QJsonObject found { { QStringLiteral("mountPath"), mountPath } };
    if (!others.isEmpty())
        found.insert(QStringLiteral("otherProducts"), QJsonArray::fromStringList(others));
    report.event("found", found);
    report.say(QStringLiteral("Found %1 at %2.").arg(name(), mountPath));
    if (!others.isEmpty())
        report.say(QStringLiteral("Another %1 is connected (%2); it is left alone.")
                       .arg(name(), others.join(QLatin1String(", "))));
    core.checkFirmware();
}

void Run::onChecked(bool ok)
{
    if (finished)
        return;
    // What the tags say, also when the check then refused the product (other hardware).
    const FirmwareInfo *onProduct = core.installedFirmwareInfo();
    const FirmwareInfo *inPackage = core.packagedFirmwareInfo();
    const bool known = onProduct != nullptr;
    report.event("checked",
        { { QStringLiteral("ok"), ok },
            { QStringLiteral("installed"),
                known ? QJsonValue(onProduct->version.toString()) : QJsonValue() },
            { QStringLiteral("packaged"), core.newFirmwareVersion() },
            { QStringLiteral("installedHardware"),
                known ? QJsonValue(onProduct->hardwareId) : QJsonValue() },
            { QStringLiteral("packagedHardware"),
                inPackage ? QJsonValue(inPackage->hardwareId) : QJsonValue() } });
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
}

void Run::onWritingChanged()
{
    // A failed write has ended the run before Core says its file work is over.
    if (core.writing() || finished)
        return;
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
    searching = 0;
    const Outcome outcome = outcomeFor(code);
    QJsonObject result { { QStringLiteral("outcome"), QString::fromLatin1(outcome.name) },
        { QStringLiteral("error"), errorName(code) },
        { QStringLiteral("exitCode"), outcome.exitCode } };
    // Which step failed and the system's reason, as page 5 shows them.
    const QString details = core.errorDetails();
    if (!details.isEmpty())
        result.insert(QStringLiteral("details"), details);
    if (code != ErrorCode::NoError && !failedStep.isEmpty()) {
        result.insert(QStringLiteral("step"), failedStep);
        result.insert(QStringLiteral("reason"), failedReason);
    }
    if (code == ErrorCode::NoError && (core.volumeReleased() || !core.releaseProblem().isEmpty()))
        result.insert(QStringLiteral("unmounted"),
            core.volumeReleased() ? QJsonValue(true) : QJsonValue(core.releaseProblem()));
    // A program must know before anyone powers the product off that it holds no firmware.
    if (code == ErrorCode::UpdateFirmwareError)
        result.insert(QStringLiteral("firmwareGone"), core.firmwareGone());
    report.event("result", result);
    const QString version = core.newFirmwareVersion();
    switch (code) {
    case ErrorCode::NoError:
        // Core's closing timer may end before its last progress step.
        report.progress(100);
        report.say(QStringLiteral("Updated: %1 holds firmware %2. Power it off and on again to "
                                  "complete the update.")
                       .arg(name(), version));
        if (core.volumeReleased())
            report.say(QStringLiteral("Its volume is unmounted: it is safe to power it off."));
        else if (!core.releaseProblem().isEmpty())
            report.warn(QStringLiteral("Its volume is still mounted (%1): unmount it before "
                                       "powering it off.")
                            .arg(core.releaseProblem()));
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
        if (core.firmwareGone())
            report.warn(QStringLiteral("%1 now holds no firmware. Do not power it off: "
                                       "tarsel-update --recover repairs it.")
                            .arg(name()));
        break;
    case ErrorCode::UpdateRunningError:
        report.warn(QStringLiteral("An update of %1 is already running; nothing was changed by "
                                   "this one.")
                        .arg(name()));
        break;
    }
    if (code != ErrorCode::NoError && !details.isEmpty())
        report.warn(details);
    QCoreApplication::exit(outcome.exitCode);
}

void Run::finishCannotMount()
{
    if (finished)
        return;
    finished = true;
    searching = 0;
    const QString reason = core.mountProblem();
    report.event("result",
        { { QStringLiteral("outcome"), QStringLiteral("cannot-mount") },
            { QStringLiteral("error"), QJsonValue::Null },
            { QStringLiteral("exitCode"), exitCannotMount },
            { QStringLiteral("details"), reason } });
    report.warn(QStringLiteral("%1 was found, but its volume could not be mounted; nothing was "
                               "written.")
                    .arg(name()));
    report.warn(reason);
    QCoreApplication::exit(exitCannotMount);
}

void Run::interrupt()
{
    // Once the write has begun the handler has said why it goes on.
    if (!writeBegun)
        finishInterrupted();
}

void Run::finishInterrupted()
{
    if (finished)
        return;
    finished = true;
    searching = 0;
    QCoreApplication::exit(interrupted(report, QStringLiteral("waiting for %1").arg(name())));
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
    // Not addHelpOption(): its --help-all would be an option this program never answers.
    const QCommandLineOption help(
        { QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Displays this help."));
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
    parser.addOptions({ help, package, timeout, json, quiet });
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

    if (parser.isSet(help))
        return printed(parser.helpText().toLocal8Bit() + exitCodesHelp);
    if (parser.isSet(version))
        return printed("tarsel-update " TARSEL_VERSION "\n");
#ifdef LC_MESSAGES
    // Our own lines are English; the system's reasons in them and in the JSON "reason" as well,
    // so that a script reads the same words whatever the user's language. Windows has no such
    // locale: its reasons come in the system's language.
    std::setlocale(LC_MESSAGES, "C");
#endif

    if (!installInterruptHandlers()) {
        qCritical() << "Can not install the Ctrl+C handler:" << strerror(errno);
        return 1;
    }
    searching = 1;
    // The search timer cannot fire while a stalled reader blocks the loop from the first line on;
    // this can.
    armSearchDeadline(unsigned(timeoutSeconds) + 1);
    // The same log as the wizard's, named after this program; it holds messages until open().
    RunLog log;
    Report report(parser.isSet(json) ? Report::Style::Json
            : parser.isSet(quiet)    ? Report::Style::Quiet
                                     : Report::Style::Human);
    const QString packagePath = parser.isSet(package)
        ? parser.value(package)
        : QCoreApplication::applicationDirPath() + QStringLiteral("/data.rcc");

    const bool jsonStyle = parser.isSet(json);
    loadingInterruptFd = jsonStyle ? STDOUT_FILENO : STDERR_FILENO;
    loadingInterruptLine = jsonStyle
        ? QByteArray("{\"event\":\"result\",\"error\":null,\"exitCode\":130,"
                     "\"outcome\":\"interrupted\"}\n")
        : QByteArray("Interrupted while loading the package; nothing was written.\n");
    bool ok = false;
    loadingPackage = 1;
    std::unique_ptr<ProductResource> resource(loadProductPackage(packagePath, ok));
    loadingPackage = 0;
    // A program reading the stream learns the end of every run from its last line.
    const auto unusablePackage = [&report] {
        searching = 0;
        report.event("result",
            { { QStringLiteral("outcome"), QStringLiteral("unusable-package") },
                { QStringLiteral("error"), QJsonValue::Null }, { QStringLiteral("exitCode"), 1 } });
        return 1;
    };
    if (interruptRequested)
        return interrupted(report, QStringLiteral("loading the package"));
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
    if (interruptRequested)
        return interrupted(report, QStringLiteral("loading the package"));
    log.open(core.get(), arguments.mid(1));

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
