// Times the firmware check, write and verify against md5sum, cp, sync and cmp on the same files,
// and reports peak memory. One image size and one folder per run; bench/update/run.sh drives it.
#include "corerun.h"
#include "firmwarefile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {
QTextStream out(stdout);

// Streams a deterministic image with a tag into path, so that preparing never holds it whole.
QByteArray writeImage(const QString &path, qint64 size, const QByteArray &tag)
{
    QFile file(path);
    QCryptographicHash md5(QCryptographicHash::Md5);
    if (!file.open(QIODevice::WriteOnly))
        return QByteArray();
    quint32 state = 0x9e3779b9u;
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    for (qint64 done = 0; done < size; done += block.size()) {
        for (int i = 0; i < block.size(); ++i) {
            state = state * 1664525u + 1013904223u;
            block[i] = char(state >> 24);
        }
        block.replace("Ver:", "ver:");
        if (done == 0)
            block.replace(4096, tag.size(), tag);
        const QByteArray piece = block.left(int(qMin<qint64>(block.size(), size - done)));
        md5.addData(piece);
        if (file.write(piece) != piece.size())
            return QByteArray();
    }
    return md5.result().toHex();
}

// Runs a command and returns its wall time in ms, negative on failure.
double runCommand(const QStringList &command)
{
    QList<QByteArray> args;
    for (const QString &a : command)
        args << QFile::encodeName(a);
    std::vector<char *> argv;
    for (QByteArray &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return clock.nsecsElapsed() / 1e6;
}

// Peak memory of a command in KiB, through GNU time: a child's own maxrss would count this
// process's memory from before its exec.
long commandPeakKiB(const QStringList &command, const QString &report)
{
    const QString time = QStringLiteral("/usr/bin/time");
    if (!QFile::exists(time)
        || runCommand(QStringList { time, QStringLiteral("-f"), QStringLiteral("%M"),
                          QStringLiteral("-o"), report }
               + command)
            < 0)
        return -1;
    QFile file(report);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLong() : -1;
}

long peakRssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

void resetPeakRss()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? -1 : values.at(values.size() / 2);
}

double timeCompare(const QString &written, const QString &reference, bool dropCache)
{
    if (dropCache) {
        const int fd = ::open(QFile::encodeName(written).constData(), O_RDONLY);
        if (fd >= 0) {
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
    QElapsedTimer clock;
    clock.start();
    const bool equal = filesEqual(written, reference);
    return equal ? clock.nsecsElapsed() / 1e6 : -1;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 5) {
        QTextStream(stderr) << "usage: tarsel-bench-update LABEL FOLDER SIZE_MIB REPETITIONS\n";
        return 2;
    }
    const QString label = args.at(1);
    const QDir dir(args.at(2));
    const qint64 size = args.at(3).toLongLong() * 1024 * 1024;
    const int repetitions = qMax(1, args.at(4).toInt());
    for (const char *sub : { "pkg", "vol", "base" })
        dir.mkpath(QLatin1String(sub));
    const QString source = dir.filePath(QStringLiteral("pkg/firmware.bin"));
    const QString device = dir.filePath(QStringLiteral("vol/firmware.bin"));
    const QString copy = dir.filePath(QStringLiteral("base/firmware.bin"));

    const QByteArray digest = writeImage(source, size, "Ver:3-1.0.0.2\x0a\x0d");
    if (digest.isEmpty()) {
        QTextStream(stderr) << "cannot write " << source << "\n";
        return 1;
    }
    CoreRun fixture;
    fixture.package.setFileFromDisk(QStringLiteral("firmware.bin"), source);
    fixture.package.setFile(QStringLiteral("firmware.md5"), "firmware.bin " + digest);
    const QByteArray oldImage = TestPackage::firmware("3-1.0.0.1", 4096);
    if (!CoreRun::writeFile(device, oldImage) || !fixture.initialize(TestPackage::Compression::None)
        || !fixture.found(dir.filePath(QStringLiteral("vol")) + QLatin1Char('/'))) {
        QTextStream(stderr) << "cannot prepare the update: " << fixture.error << "\n";
        return 1;
    }
    Core &core = *fixture.core;
    const QString reference = core.productResource()->firmwarePath();
    bool failed = false;
    QObject::connect(&core, &Core::firmwareChecked, &core, [&](bool ok) { failed |= !ok; });
    QObject::connect(&core, &Core::firmwareUpdated, &core, [&](bool ok) { failed |= !ok; });

    const QList<QStringList> baselineCommands {
        { QStringLiteral("md5sum"), source },
        { QStringLiteral("cp"), source, copy },
        { QStringLiteral("sync") },
        { QStringLiteral("cmp"), source, copy },
    };
    QList<double> checks, ours, baseline, cmpTimes, coldCompare, warmCompare;
    resetPeakRss();
    for (int r = 0; r < repetitions && !failed; ++r) {
        CoreRun::writeFile(device, oldImage);
        QElapsedTimer clock;
        clock.start();
        core.checkFirmware();
        checks << clock.nsecsElapsed() / 1e6;
        fixture.update();
        ours << clock.nsecsElapsed() / 1e6;

        QFile::remove(copy);
        double total = 0;
        double cmpMs = 0;
        for (const QStringList &command : baselineCommands) {
            const double ms = runCommand(command);
            if (ms < 0) {
                QTextStream(stderr)
                    << "baseline failed: " << command.join(QLatin1Char(' ')) << "\n";
                return 1;
            }
            total += ms;
            cmpMs = ms;
        }
        baseline << total;
        cmpTimes << cmpMs;
        coldCompare << timeCompare(device, reference, true);
        warmCompare << timeCompare(device, reference, false);
    }
    const long oursPeak = peakRssKiB();
    long baselinePeak = 0;
    for (const QStringList &command : baselineCommands)
        baselinePeak = std::max(
            baselinePeak, commandPeakKiB(command, dir.filePath(QStringLiteral("time.out"))));
    if (failed) {
        QTextStream(stderr) << "the update failed\n";
        return 1;
    }
    const double o = median(ours);
    const double b = median(baseline);
    out << label << ' ' << size / (1024 * 1024) << ' ' << QString::number(o, 'f', 1) << ' '
        << QString::number(b, 'f', 1) << ' ' << QString::number(o / b, 'f', 2) << ' '
        << oursPeak / 1024 << ' ' << baselinePeak / 1024 << ' ' << 96 << ' '
        << QString::number(median(cmpTimes), 'f', 1) << ' '
        << QString::number(median(coldCompare), 'f', 1) << ' '
        << QString::number(median(warmCompare), 'f', 1) << ' '
        << QString::number(median(checks), 'f', 1) << '\n';
    return 0;
}
