#include "report.h"

#include <QJsonDocument>

#include <cstdio>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

volatile sig_atomic_t reportBlocked = 0;
void (*reportWillBlock)() = nullptr;

namespace {
void put(FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    reportBlocked = 1;
#ifndef Q_OS_WIN
    // On Windows the console handler and the deadline run on threads of their own and end a run
    // blocked here themselves.
    pollfd ready { fileno(stream), POLLOUT, 0 };
    if (poll(&ready, 1, 0) == 0 && reportWillBlock)
        reportWillBlock();
#endif
    // A script reading the stream acts on each event as it happens.
    std::fflush(stream);
    reportBlocked = 0;
}

#ifdef Q_OS_WIN
// A console shows UTF-16 text in any code page; a pipe or a file gets the bytes.
bool putConsole(FILE *stream, const QString &text)
{
    const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(handle, &mode))
        return false;
    std::fflush(stream);
    DWORD written = 0;
    return WriteConsoleW(handle, reinterpret_cast<const wchar_t *>(text.utf16()),
        DWORD(text.size()), &written, nullptr);
}

bool stdoutIsTerminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode);
}
#else
bool putConsole(FILE *, const QString &)
{
    return false;
}
bool stdoutIsTerminal()
{
    return isatty(STDOUT_FILENO) == 1;
}
#endif

void putLine(FILE *stream, const QString &line)
{
    if (!putConsole(stream, line + QLatin1Char('\n')))
        put(stream, line.toLocal8Bit() + '\n');
}
} // namespace

bool Report::outputOk()
{
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

Report::Report(Style style)
    : style(style)
    , terminal(stdoutIsTerminal())
{
}

void Report::say(const QString &line)
{
    if (style != Style::Human)
        return;
    endProgressLine();
    putLine(stdout, line);
}

void Report::warn(const QString &line)
{
    if (style == Style::Json)
        return;
    endProgressLine();
    putLine(stderr, line);
}

void Report::event(const char *name, const QJsonObject &fields)
{
    if (style != Style::Json)
        return;
    // The event's name first, for a reader scanning the lines (objects sort their keys).
    QByteArray line = QByteArray("{\"event\":\"") + name + '"';
    const QByteArray rest = QJsonDocument(fields).toJson(QJsonDocument::Compact);
    if (!fields.isEmpty())
        line += ',' + rest.mid(1, rest.size() - 2);
    put(stdout, line + "}\n");
}

void Report::progress(int percent)
{
    if (style != Style::Human)
        return;
    percent = qBound(0, percent, 100);
    const QByteArray text = "Finishing the update: " + QByteArray::number(percent) + '%';
    if (terminal) {
#ifdef Q_OS_WIN
        // Older consoles print escape sequences as they are; the line only grows, so a return
        // alone rewrites it.
        put(stdout, '\r' + text);
#else
        put(stdout, "\r\033[K" + text);
#endif
        progressLineOpen = true;
        return;
    }
    // A log file gets a line per quarter, not one per tick.
    const int step = percent / 25;
    if (step > lastPlainStep) {
        lastPlainStep = step;
        put(stdout, text + '\n');
    }
}

void Report::fileProgress(qint64 written, qint64 verified, qint64 total)
{
    const auto percent
        = [total](qint64 bytes) { return total > 0 ? int(bytes * 100 / total) : 100; };
    const int w = percent(written);
    const int v = percent(verified);
    // A line per whole percent for a program; per quarter into a file; every report on a terminal.
    const bool changed = w != lastWritten || v != lastVerified;
    const bool quarter = w / 25 != lastWritten / 25 || v / 25 != lastVerified / 25;
    lastWritten = w;
    lastVerified = v;
    if (style == Style::Json) {
        if (changed)
            event("progress",
                { { QStringLiteral("written"), written }, { QStringLiteral("verified"), verified },
                    { QStringLiteral("total"), total } });
        return;
    }
    if (style != Style::Human || (!terminal && !quarter))
        return;
    const QByteArray text = QStringLiteral("Written %1%, verified %2% of %3 bytes")
                                .arg(w)
                                .arg(v)
                                .arg(total)
                                .toLocal8Bit();
    if (terminal) {
        put(stdout, "\r\033[K" + text);
        progressLineOpen = true;
        return;
    }
    put(stdout, text + '\n');
}

void Report::endProgressLine()
{
    if (!progressLineOpen)
        return;
    progressLineOpen = false;
    put(stdout, "\n");
}
