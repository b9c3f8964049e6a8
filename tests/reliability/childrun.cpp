#include "childrun.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
qint64 statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

bool writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}
} // namespace

ChildOutcome runInChild(const std::function<QByteArray()> &body, int deadlineMs)
{
    ChildOutcome outcome;
    int channel[2];
    if (::pipe(channel) != 0) {
        outcome.failure = QStringLiteral("pipe: ") + QString::fromLocal8Bit(std::strerror(errno));
        return outcome;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        outcome.failure = QStringLiteral("fork: ") + QString::fromLocal8Bit(std::strerror(errno));
        ::close(channel[0]);
        ::close(channel[1]);
        return outcome;
    }
    if (child == 0) {
        ::close(channel[0]);
        // Starts the peak at what the child holds now: the fork's copy is not the body's doing.
        {
            QFile refs(QStringLiteral("/proc/self/clear_refs"));
            if (refs.open(QIODevice::WriteOnly))
                refs.write("5");
        }
        const qint64 start = statusKiB("VmRSS:");
        const QByteArray output = body();
        const qint64 peak = statusKiB("VmHWM:");
        const qint64 rise = start < 0 || peak < 0 ? -1 : (peak - start) * 1024;
        const bool ok = writeAll(channel[1], reinterpret_cast<const char *>(&rise), sizeof rise)
            && writeAll(channel[1], output.constData(), size_t(output.size()));
        ::_exit(ok ? 0 : 3);
    }
    ::close(channel[1]);

    QByteArray received;
    QElapsedTimer clock;
    clock.start();
    bool ended = false;
    while (!ended) {
        const qint64 left = deadlineMs - clock.elapsed();
        if (left <= 0)
            break;
        pollfd p { channel[0], POLLIN, 0 };
        const int ready = ::poll(&p, 1, int(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char buffer[4096];
        const ssize_t n = ::read(channel[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ended = true;
        else
            received.append(buffer, int(n));
    }
    ::close(channel[0]);
    if (!ended)
        ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    if (!ended) {
        outcome.failure = QStringLiteral("still running after %1 ms, killed").arg(deadlineMs);
        return outcome;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || received.size() < int(sizeof(qint64))) {
        outcome.failure = WIFSIGNALED(status)
            ? QStringLiteral("child died of signal %1").arg(WTERMSIG(status))
            : QStringLiteral("child ended with status %1").arg(WEXITSTATUS(status));
        return outcome;
    }
    std::memcpy(&outcome.peakRiseBytes, received.constData(), sizeof(qint64));
    outcome.output = received.mid(int(sizeof(qint64)));
    outcome.finished = true;
    return outcome;
}
