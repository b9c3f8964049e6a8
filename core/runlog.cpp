#include "runlog.h"

#include "core.h"
#include "device.h"
#include "productresource.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMetaEnum>
#include <QStandardPaths>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
RunLog *current = nullptr;

QString onOff(bool on)
{
    return on ? QStringLiteral("on") : QStringLiteral("off");
}
} // namespace

RunLog::RunLog(QObject *parent)
    : QObject(parent)
{
    clock.start();
    current = this;
    previous = qInstallMessageHandler(&RunLog::takeMessage);
}

RunLog::~RunLog()
{
    qInstallMessageHandler(previous);
    current = nullptr;
}

QString RunLog::folder()
{
    // One folder for the wizard and tarsel-update: support asks for a single place.
#if defined(Q_OS_WIN)
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/corvel/TarselUpdater/logs");
#elif defined(Q_OS_MACOS)
    return QDir::homePath() + QStringLiteral("/Library/Logs/TarselUpdater");
#else
    // Qt 5 has no place for state; the XDG base directories name it, logs among it.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/TarselUpdater/logs");
#endif
}

void RunLog::takeMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    static const char *const levels[] = { "debug", "warning", "critical", "fatal", "info" };
    if (current) {
        const QString category = context.category && qstrcmp(context.category, "default") != 0
            ? QLatin1String(context.category) + QLatin1String(": ")
            : QString();
        current->write(QLatin1String(levels[type <= QtInfoMsg ? type : 0]) + QLatin1String(": ")
            + category + text);
    }
    if (current && current->previous)
        current->previous(type, context, text);
}

void RunLog::write(const QString &text)
{
    const QString line
        = QStringLiteral("%1 s  %2\n").arg(clock.elapsed() / 1000.0, 8, 'f', 3).arg(text);
    QString failure;
    {
        QMutexLocker lock(&mutex);
        if (!file.isOpen()) {
            if (!unwritable)
                held << line;
            return;
        }
        // Line by line to the disk: a run that crashes or hangs still leaves its log.
        const QByteArray bytes = line.toUtf8();
        if (file.write(bytes) == bytes.size() && file.flush())
            return;
        failure = file.errorString();
        file.close();
        unwritable = true;
    }
    sayUnwritable(failure);
}

void RunLog::sayUnwritable(const QString &reason)
{
    // Once, on the console only: the file is closed by now, so the message is not held for it.
    qWarning().noquote() << "The run log" << QDir::toNativeSeparators(file.fileName())
                         << "cannot be written:" << reason;
}

bool RunLog::openFile(const QString &dir, QString *failure)
{
#if defined(Q_OS_UNIX)
    // The XDG base directories are the user's alone: what we create is 0700, the log 0600. A
    // logs folder that is a link may lead anywhere, so it is refused rather than followed.
    QString made = dir;
    QStringList missing;
    while (!QFileInfo::exists(made) && !QFileInfo(made).isSymLink() && !QDir(made).isRoot()) {
        missing.prepend(made);
        made = QFileInfo(made).path();
    }
    for (const QString &path : qAsConst(missing)) {
        if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST) {
            *failure = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
            return false;
        }
    }
    const int folderFd = ::open(
        QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folderFd < 0) {
        *failure = errno == ELOOP || errno == ENOTDIR
            ? QStringLiteral("%1 is not a folder (a link is not followed)").arg(dir)
            : QStringLiteral("%1: %2").arg(dir, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    const int fd = ::openat(folderFd, QFile::encodeName(QFileInfo(file.fileName()).fileName()),
        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    const int openErrno = errno;
    ::close(folderFd);
    if (fd < 0
        || !file.open(fd, QIODevice::WriteOnly | QIODevice::Text, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        *failure = QString::fromLocal8Bit(strerror(fd < 0 ? openErrno : EIO));
        return false;
    }
    return true;
#else
    if (!QDir().mkpath(dir)
        || !file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Text)) {
        *failure = file.errorString();
        return false;
    }
    return true;
#endif
}

bool RunLog::open(Core *core)
{
    return open(core, QCoreApplication::arguments().mid(1));
}

bool RunLog::open(Core *core, const QStringList &arguments)
{
    const QString dir = folder();
    const QDateTime now = QDateTime::currentDateTime();
    const QString stamp = now.toUTC().toString(
        QStringLiteral("yyyyMMdd-HHmmss-zzz")); // UTC: sorts across clock changes
    const QString prefix = QCoreApplication::applicationName() + QLatin1Char('-');
    {
        QMutexLocker lock(&mutex);
        file.setFileName(dir + QLatin1Char('/') + prefix + stamp + QStringLiteral(".log"));
        QString failure;
        if (!openFile(dir, &failure)) {
            held.clear();
            unwritable = true;
            lock.unlock();
            sayUnwritable(failure);
            return false;
        }
        // Names sort by their time stamp, so the oldest come first.
        QStringList logs = QDir(dir).entryList(
            { prefix + QStringLiteral("*.log") }, QDir::Files | QDir::NoSymLinks, QDir::Name);
        while (logs.size() > kept)
            QFile::remove(dir + QLatin1Char('/') + logs.takeFirst());
        const QString header
            = QStringLiteral("%1 %2, run started %3\n")
                  .arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion(),
                      now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate));
        file.write(header.toUtf8());
        file.write(held.join(QString()).toUtf8());
        held.clear();
    }
    write(QStringLiteral("command line: %1")
              .arg(arguments.isEmpty() ? QStringLiteral("no options")
                                       : arguments.join(QLatin1Char(' '))));
    if (const ProductResource *package = core->productResource())
        write(QStringLiteral("package: product \"%1\", USB %2:%3 \"%4\", new firmware %5")
                  .arg(package->name(), package->vid(), package->pid(), package->productString(),
                      core->newFirmwareVersion()));
    write(QStringLiteral("modes: force %1, recovery %2")
              .arg(onOff(core->forceMode()), onOff(core->recoveryMode())));
    follow(core);
    return true;
}

void RunLog::follow(Core *core)
{
    connect(core, &Core::stepEnded, this,
        [this](const QString &step, bool ok, qint64 milliseconds, const QString &reason) {
            write(QStringLiteral("%1 %2 in %3 ms%4")
                      .arg(step, ok ? QStringLiteral("done") : QStringLiteral("failed"))
                      .arg(milliseconds)
                      .arg(reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
        });
    connect(core, &Core::deviceFound, this, [this, core](bool ok) {
        if (ok && core->device())
            write(QStringLiteral("mount path: %1").arg(core->device()->mountPath()));
    });
    connect(core, &Core::previousFirmwareVersionChanged, this, [this, core] {
        write(QStringLiteral("firmware on the product: %1").arg(core->previousFirmwareVersion()));
    });
    connect(core, &Core::firmwareUpdated, this, [this, core](bool ok) {
        if (ok)
            write(QStringLiteral("outcome: success, firmware %1 written")
                      .arg(core->newFirmwareVersion()));
    });
    connect(core, &Core::errorCodeChanged, this, [this, core](ErrorCode::ErrorCodeEnum code) {
        const char *name = QMetaEnum::fromType<ErrorCode::ErrorCodeEnum>().valueToKey(code);
        write(QStringLiteral("outcome: %1").arg(QLatin1String(name ? name : "unknown code")));
        if (!core->errorDetails().isEmpty())
            write(QStringLiteral("details: %1").arg(core->errorDetails()));
    });
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
        [this] { write(QStringLiteral("quit")); });
}
