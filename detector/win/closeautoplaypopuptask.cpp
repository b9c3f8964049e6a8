#include "closeautoplaypopuptask.h"

#include <QString>

#include <windows.h>

namespace {

constexpr int titleBufferLength = 2048;
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
};

BOOL CALLBACK enumWindowsProc(HWND window, LPARAM parameter)
{
    auto *search = reinterpret_cast<WindowSearch *>(parameter);
    WCHAR title[titleBufferLength];
    const int length = GetWindowTextW(window, title, titleBufferLength);
    if (length <= 0)
        return TRUE;
    if (search->hwnd)
        return FALSE;
    const QString text = QString::fromUtf16(
        reinterpret_cast<const ushort *>(title), qMin(length, titleBufferLength - 1));
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
