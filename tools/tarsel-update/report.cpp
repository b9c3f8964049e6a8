#include "report.h"

#include <QJsonDocument>

#include <cstdio>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <unistd.h>
#endif

namespace {
void put(FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    // A script reading the stream acts on each event as it happens.
    std::fflush(stream);
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

void Report::endProgressLine()
{
    if (!progressLineOpen)
        return;
    progressLineOpen = false;
    put(stdout, "\n");
}
