#pragma once

#include <QJsonObject>
#include <QString>

#include <csignal>

// Set while a line goes to a stream that may block on a stalled reader (a full pipe); signal
// handlers read it to end the process rather than wait for an event loop that cannot run.
extern volatile sig_atomic_t reportBlocked;
// Called, with reportBlocked set, when the stream cannot take the line at once: it may end the
// process for a signal or a time-out that came before.
extern void (*reportWillBlock)();

// What tarsel-update tells its user: plain lines for a person (a self-rewriting progress line on
// a terminal), one JSON object per line for a program, or nothing but failures. Standard output
// carries only the chosen form; failures for a person and interruption notes go to standard error.
class Report
{
public:
    enum class Style { Human, Quiet, Json };

    explicit Report(Style style);

    // A line for a person; dropped in quiet and JSON mode.
    void say(const QString &line);
    // A line for a person that also counts in quiet mode (a failure).
    void warn(const QString &line);
    // One event object, its name a fixed word; only in JSON mode.
    void event(const char *name, const QJsonObject &fields = QJsonObject());
    void progress(int percent);
    // False once a write to standard output failed (a full disk, a closed reader).
    static bool outputOk();
    // The file work: bytes written and read back equal, of total.
    void fileProgress(qint64 written, qint64 verified, qint64 total);

private:
    void endProgressLine();

    const Style style;
    const bool terminal;
    bool progressLineOpen = false;
    int lastPlainStep = 0;
    int lastWritten = -1;
    int lastVerified = -1;
};
