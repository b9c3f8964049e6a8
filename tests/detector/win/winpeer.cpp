// Another program beside the detector's tests on Windows itself:
//   winpeer arrival WINDOW HEX   sends the volume-arrival record HEX to WINDOW and exits with
//                                what the window answered (100: not delivered)
//   winpeer window TITLE shell|other
//                                shows a window titled TITLE (as the desktop's shell, or not),
//                                prints the number of a window to post WM_APP to, and on it exits
//                                with the number of WM_CLOSE the window was sent
// Linked statically, so that a copy under another name runs anywhere.
#include <windows.h>

#include <dbt.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// In user32, but not declared by MinGW's headers.
extern "C" __declspec(dllimport) BOOL WINAPI SetShellWindow(HWND);

namespace {

int closes = 0;

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        ++closes;
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_APP) {
        PostQuitMessage(closes);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int sendArrival(const char *window, const char *hex)
{
    std::vector<unsigned char> record;
    for (size_t i = 0; i + 1 < std::strlen(hex); i += 2) {
        const char byte[3] = { hex[i], hex[i + 1], 0 };
        record.push_back(static_cast<unsigned char>(std::strtoul(byte, nullptr, 16)));
    }
    DWORD_PTR answer = 0;
    const auto target = reinterpret_cast<HWND>(std::strtoull(window, nullptr, 10));
    if (!SendMessageTimeoutW(target, WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
            record.empty() ? 0 : reinterpret_cast<LPARAM>(record.data()), SMTO_ABORTIFHUNG, 20000,
            &answer))
        return 100;
    return static_cast<int>(answer);
}

int showWindow(const char *title, bool shell)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TarselTestPeer";
    RegisterClassW(&windowClass);
    const HWND control = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10,
        nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!control || (shell && !SetShellWindow(control)))
        return 100;
    const HWND window = CreateWindowExA(0, "TarselTestPeer", title, WS_OVERLAPPEDWINDOW, 0, 0, 200,
        100, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window)
        return 100;
    ShowWindow(window, SW_SHOWNOACTIVATE);
    std::printf("%llu\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(control)));
    std::fflush(stdout);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return static_cast<int>(message.wParam);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "arrival") == 0)
        return sendArrival(argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "window") == 0)
        return showWindow(argv[2], std::strcmp(argv[3], "shell") == 0);
    std::fputs("usage: winpeer arrival WINDOW HEX | winpeer window TITLE shell|other\n", stderr);
    return 2;
}
