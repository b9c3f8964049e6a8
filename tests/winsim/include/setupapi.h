#pragma once
#include <windows.h>
// clang-format off
using HDEVINFO = void *;
#define DIGCF_PRESENT 0x02
#define DIGCF_DEVICEINTERFACE 0x10

// The layouts of a 64-bit build, whose sizes SetupAPI insists on in cbSize.
struct SP_DEVINFO_DATA { DWORD cbSize; GUID ClassGuid; DWORD DevInst; std::uintptr_t Reserved; };
struct SP_DEVICE_INTERFACE_DATA { DWORD cbSize; GUID InterfaceClassGuid; DWORD Flags; std::uintptr_t Reserved; };
struct SP_DEVICE_INTERFACE_DETAIL_DATA_W { DWORD cbSize; WCHAR DevicePath[1]; };
static_assert(sizeof(SP_DEVINFO_DATA) == 32 && sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == 8);

HDEVINFO SetupDiGetClassDevsW(const GUID *guid, LPCWSTR enumerator, HWND parent, DWORD flags);
BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA *info, const GUID *guid, DWORD index, SP_DEVICE_INTERFACE_DATA *data);
BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA *data, SP_DEVICE_INTERFACE_DETAIL_DATA_W *detail, DWORD size, DWORD *required, SP_DEVINFO_DATA *info);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);
// clang-format on
