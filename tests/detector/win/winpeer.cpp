// Another program beside the detector's tests on Windows itself:
//   winpeer arrival WINDOW HEX   sends the volume-arrival record HEX to WINDOW and exits with
//                                what the window answered (100: not delivered)
//   winpeer window shell|other TITLE...
//                                shows a window per TITLE (the first on top; "!" before a title:
//                                the window ignores WM_CLOSE), with a window of its own made the
//                                desktop's shell or not, prints the number of that window, and on
//                                WM_APP to it prints how often each titled window was sent
//                                WM_CLOSE
// Linked statically, so that a copy under another name runs anywhere.
#include <windows.h>

#include <dbt.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

// In user32, but not declared by MinGW's headers.
extern "C" __declspec(dllimport) BOOL WINAPI SetShellWindow(HWND);

namespace {

std::vector<HWND> windows; // titled, in the order given
std::map<HWND, int> closes;
std::map<HWND, bool> stays;

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        ++closes[window];
        if (!stays[window])
            DestroyWindow(window);
        return 0;
    }
    if (message == WM_APP) {
        for (const HWND titled : windows)
            std::printf("%d ", closes[titled]);
        std::fflush(stdout);
        PostQuitMessage(0);
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

int showWindows(bool shell, int count, char **titles)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TarselTestPeer";
    RegisterClassW(&windowClass);
    const auto create = [&](const char *title) {
        return CreateWindowExA(0, "TarselTestPeer", title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
            nullptr, nullptr, windowClass.hInstance, nullptr);
    };
    const HWND control = create("");
    if (!control || (shell && !SetShellWindow(control)))
        return 100;
    windows.resize(size_t(count));
    // Made last to first: the newest window is the first one listed.
    for (int i = count - 1; i >= 0; --i) {
        const bool ignoresClose = titles[i][0] == '!';
        windows[size_t(i)] = create(titles[i] + (ignoresClose ? 1 : 0));
        if (!windows[size_t(i)])
            return 100;
        stays[windows[size_t(i)]] = ignoresClose;
        ShowWindow(windows[size_t(i)], SW_SHOWNOACTIVATE);
    }
    std::printf("%llu\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(control)));
    std::fflush(stdout);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "arrival") == 0)
        return sendArrival(argv[2], argv[3]);
    if (argc >= 3 && std::strcmp(argv[1], "window") == 0)
        return showWindows(std::strcmp(argv[2], "shell") == 0, argc - 3, argv + 3);
    std::fputs("usage: winpeer arrival WINDOW HEX | winpeer window shell|other TITLE...\n", stderr);
    return 2;
}
