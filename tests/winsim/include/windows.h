#pragma once

// The part of the Windows API that the detector calls, with the types of a 64-bit Windows build,
// answered by the simulated machine of winsim.h.
#include <cstddef>
#include <cstdint>
#include <cstring>

using BOOL = int;
using BYTE = unsigned char;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using UINT = unsigned int;
using ULONGLONG = std::uint64_t;
using WCHAR = char16_t;
using ULONG_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using PULONG = ULONG *;
using PDWORD = DWORD *;
using PDWORD_PTR = ULONG_PTR *;
using PVOID = void *;
using PWCHAR = WCHAR *;
using LPWSTR = WCHAR *;
using LPCWSTR = const WCHAR *;
using PCWSTR = const WCHAR *;
using HANDLE = void *;
using HWND = struct HWND__ *;

#define WINAPI
#define CALLBACK
#define TRUE 1
#define FALSE 0
#define ANYSIZE_ARRAY 1
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(std::intptr_t(-1)))

struct GUID
{
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
inline bool operator==(const GUID &a, const GUID &b)
{
    return !std::memcmp(&a, &b, sizeof a);
}

struct MSG
{
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    struct
    {
        std::int32_t x, y;
    } pt;
};

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x1u
#define FILE_SHARE_WRITE 0x2u
#define OPEN_EXISTING 3

HANDLE WINAPI CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, void *security,
    DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL WINAPI CloseHandle(HANDLE object);
BOOL WINAPI DeviceIoControl(HANDLE device, DWORD ioControlCode, PVOID inBuffer, DWORD inBufferSize,
    PVOID outBuffer, DWORD outBufferSize, PDWORD bytesReturned, struct OVERLAPPED *overlapped);

#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3
UINT WINAPI GetDriveTypeW(LPCWSTR rootPathName);

// Sleep advances the simulated clock at once (see WinSim::holdSleepers).
void WINAPI Sleep(DWORD milliseconds);
ULONGLONG WINAPI GetTickCount64();

#define WM_CLOSE 0x0010
#define WM_DEVICECHANGE 0x0219
#define SMTO_ABORTIFHUNG 0x0002
using WNDENUMPROC = BOOL(CALLBACK *)(HWND, LPARAM);
BOOL WINAPI EnumWindows(WNDENUMPROC enumFunc, LPARAM lParam);
int WINAPI GetWindowTextW(HWND window, LPWSTR string, int maxCount);
LRESULT WINAPI SendMessageTimeoutW(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
    UINT flags, UINT timeout, PDWORD_PTR result);
