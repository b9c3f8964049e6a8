#pragma once
// The Windows API that detector/win and core/win call, with 64-bit types, answered by winsim.h;
// one per line.
#include <cstddef>
#include <cstdint>
// clang-format off
using BOOL = int; using BYTE = unsigned char; using WORD = std::uint16_t; using DWORD = std::uint32_t;
using ULONG = DWORD; using UINT = unsigned int; using ULONGLONG = std::uint64_t; using WCHAR = char16_t;
using LPCWSTR = const WCHAR *; using WPARAM = std::uintptr_t; using LPARAM = std::intptr_t;
using HANDLE = void *; using HWND = struct HWND__ *; using SIZE_T = std::size_t;

#define CALLBACK
#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(std::intptr_t(-1)))
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 1u
#define FILE_SHARE_WRITE 2u
#define OPEN_EXISTING 3
#define FILE_FLAG_NO_BUFFERING 0x20000000u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define MEM_COMMIT 0x1000u
#define MEM_RESERVE 0x2000u
#define MEM_RELEASE 0x8000u
#define PAGE_READWRITE 0x04u
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3
#define WM_CLOSE 0x0010
#define WM_DEVICECHANGE 0x0219
#define SMTO_ABORTIFHUNG 2
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000

struct GUID { DWORD Data1; WORD Data2, Data3; BYTE Data4[8]; };
struct MSG { HWND hwnd; UINT message; WPARAM wParam; LPARAM lParam; };

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, void *security, DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL CloseHandle(HANDLE object);
BOOL ReadFile(HANDLE file, void *buffer, DWORD toRead, DWORD *read, struct OVERLAPPED *overlapped);
DWORD GetLastError();
void *VirtualAlloc(void *address, SIZE_T size, DWORD type, DWORD protect);
BOOL VirtualFree(void *address, SIZE_T size, DWORD type);
BOOL DeviceIoControl(HANDLE device, DWORD code, void *in, DWORD inSize, void *out, DWORD outSize, DWORD *returned, struct OVERLAPPED *overlapped);
UINT GetDriveTypeW(LPCWSTR rootPath);
void Sleep(DWORD milliseconds);
ULONGLONG GetTickCount64();
BOOL EnumWindows(BOOL (*callback)(HWND, LPARAM), LPARAM parameter);
int GetWindowTextW(HWND window, WCHAR *text, int maxCount);
LPARAM SendMessageTimeoutW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeout, std::uintptr_t *result);
HWND GetShellWindow();
DWORD GetWindowThreadProcessId(HWND window, DWORD *process);
HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD process);
BOOL QueryFullProcessImageNameW(HANDLE process, DWORD flags, WCHAR *name, DWORD *size);
// clang-format on
