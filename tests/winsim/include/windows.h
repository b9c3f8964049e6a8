#pragma once

// The part of the Windows API that the detector calls, with the types of a 64-bit Windows build
// (32-bit DWORD and ULONG, 16-bit WCHAR, pointer-sized handles and message parameters), backed
// by the in-memory machine of winsim.h.

#include <cstddef>
#include <cstdint>

using BOOL = int;
using BYTE = unsigned char;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using ULONGLONG = std::uint64_t;
using WCHAR = char16_t;
using ULONG_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using DWORD_PTR = ULONG_PTR;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;

using PULONG = ULONG *;
using PDWORD = DWORD *;
using LPDWORD = DWORD *;
using PDWORD_PTR = DWORD_PTR *;
using LPVOID = void *;
using PVOID = void *;
using PWCHAR = WCHAR *;
using LPWSTR = WCHAR *;
using PWSTR = WCHAR *;
using LPCWSTR = const WCHAR *;
using PCWSTR = const WCHAR *;

using HANDLE = void *;
struct HWND__;
using HWND = HWND__ *;

#define WINAPI
#define CALLBACK
#define CONST const
#define TRUE 1
#define FALSE 0
#define ANYSIZE_ARRAY 1
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))

struct GUID
{
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};

inline bool operator==(const GUID &a, const GUID &b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i])
            return false;
    }
    return true;
}
inline bool operator!=(const GUID &a, const GUID &b)
{
    return !(a == b);
}

struct POINT
{
    LONG x;
    LONG y;
};

struct MSG
{
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
using PMSG = MSG *;
using LPMSG = MSG *;

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES *;
struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED *;

#define ERROR_SUCCESS 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_TIMEOUT 1460L
#define ERROR_INVALID_USER_BUFFER 1784L

DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD error);

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

HANDLE WINAPI CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
    LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition, DWORD flagsAndAttributes,
    HANDLE templateFile);
BOOL WINAPI CloseHandle(HANDLE object);
BOOL WINAPI DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
    LPVOID outBuffer, DWORD outBufferSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped);

#define DRIVE_UNKNOWN 0
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3
#define DRIVE_REMOTE 4
#define DRIVE_CDROM 5
#define DRIVE_RAMDISK 6

UINT WINAPI GetDriveTypeW(LPCWSTR rootPathName);

// The simulated clock: Sleep advances it at once instead of waiting (see WinSim::holdSleepers).
void WINAPI Sleep(DWORD milliseconds);
ULONGLONG WINAPI GetTickCount64();

#define WM_CLOSE 0x0010
#define WM_DEVICECHANGE 0x0219
#define SMTO_NORMAL 0x0000
#define SMTO_BLOCK 0x0001
#define SMTO_ABORTIFHUNG 0x0002

using WNDENUMPROC = BOOL(CALLBACK *)(HWND, LPARAM);

BOOL WINAPI EnumWindows(WNDENUMPROC enumFunc, LPARAM lParam);
int WINAPI GetWindowTextW(HWND window, LPWSTR string, int maxCount);
LRESULT WINAPI SendMessageTimeoutW(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
    UINT flags, UINT timeout, PDWORD_PTR result);
