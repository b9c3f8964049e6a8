#include "closeautoplaypopuptask.h"

#include <QString>

#include <windows.h>

namespace {

constexpr int titleBufferLength = 2048;
constexpr int imageBufferLength = 1024;
constexpr UINT closeTimeoutMs = 500;
constexpr DWORD pollIntervalMs = 50;
constexpr ULONGLONG watchPeriodMs = 3000;
// A pop-up that ignores WM_CLOSE is found again on every pass; without a limit the task would
// never end, and the global thread pool waits for it when the application quits.
constexpr ULONGLONG runLimitMs = 10000;

struct WindowSearch
{
    HWND hwnd = nullptr;
    QString titleFragment;
    DWORD shellProcess = 0;
};

QString fromWide(const WCHAR *text, int length)
{
    return QString::fromUtf16(reinterpret_cast<const ushort *>(text), length);
}

// The process of the desktop, when it is Windows' own explorer.exe: it shows the pop-ups. Other
// explorer.exe processes only hold folder windows; another program set up as the shell shows no
// AutoPlay, so then nothing is closed. Asked on every pass, as the shell may restart.
DWORD shellProcess()
{
    DWORD process = 0;
    const HWND desktop = GetShellWindow();
    if (!desktop || !GetWindowThreadProcessId(desktop, &process) || process == 0)
        return 0;
    const HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
    if (!handle)
        return 0;
    WCHAR image[imageBufferLength];
    DWORD length = imageBufferLength;
    const bool explorer = QueryFullProcessImageNameW(handle, 0, image, &length)
        && fromWide(image, int(length))
               .endsWith(QLatin1String("\\explorer.exe"), Qt::CaseInsensitive);
    CloseHandle(handle);
    return explorer ? process : 0;
}

BOOL CALLBACK enumWindowsProc(HWND window, LPARAM parameter)
{
    auto *search = reinterpret_cast<WindowSearch *>(parameter);
    // Another program's window may carry the word too, a page or a document about AutoPlay,
    // and closing it could lose what it holds.
    DWORD owner = 0;
    if (!GetWindowThreadProcessId(window, &owner) || owner != search->shellProcess)
        return TRUE;
    WCHAR title[titleBufferLength];
    const int length = GetWindowTextW(window, title, titleBufferLength);
    if (length <= 0)
        return TRUE;
    if (search->hwnd)
        return FALSE;
    const QString text = fromWide(title, qMin(length, titleBufferLength - 1));
    if (text.contains(search->titleFragment, Qt::CaseSensitive)) {
        search->hwnd = window;
        return FALSE;
    }
    return TRUE;
}

HWND findPopUp()
{
    WindowSearch search;
    search.titleFragment = QStringLiteral("AutoPlay");
    search.shellProcess = shellProcess();
    if (search.shellProcess == 0)
        return nullptr;
    EnumWindows(enumWindowsProc, reinterpret_cast<LPARAM>(&search));
    return search.hwnd;
}

} // namespace

void CloseAutoPlayPopUpTask::run()
{
    // The Windows tick count rather than QElapsedTimer: monotonic too, and a simulated Windows
    // can drive it.
    const ULONGLONG runStart = GetTickCount64();
    HWND window = findPopUp();
    const ULONGLONG watchStart = GetTickCount64();
    for (;;) {
        if (window)
            SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, closeTimeoutMs, nullptr);
        const ULONGLONG now = GetTickCount64();
        if (!window && now - watchStart >= watchPeriodMs)
            return;
        if (now - runStart >= runLimitMs)
            return;
        Sleep(pollIntervalMs);
        window = findPopUp();
    }
}

CloseAutoPlayPopUpTask::~CloseAutoPlayPopUpTask() = default;
