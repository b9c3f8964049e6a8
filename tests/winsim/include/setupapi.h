#pragma once
#include <windows.h>

using HDEVINFO = PVOID;
#define DIGCF_PRESENT 0x02
#define DIGCF_DEVICEINTERFACE 0x10

struct SP_DEVINFO_DATA
{
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
};
struct SP_DEVICE_INTERFACE_DATA
{
    DWORD cbSize;
    GUID InterfaceClassGuid;
    DWORD Flags;
    ULONG_PTR Reserved;
};
struct SP_DEVICE_INTERFACE_DETAIL_DATA_W
{
    DWORD cbSize;
    WCHAR DevicePath[ANYSIZE_ARRAY];
};
// The sizes of a 64-bit build, which SetupAPI insists on in the cbSize fields.
static_assert(sizeof(SP_DEVINFO_DATA) == 32 && sizeof(SP_DEVICE_INTERFACE_DATA) == 32
    && sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == 8);

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID *classGuid, PCWSTR enumerator, HWND, DWORD flags);
BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA *devInfo,
    const GUID *interfaceClass, DWORD index, SP_DEVICE_INTERFACE_DATA *interfaceData);
BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA *interfaceData,
    SP_DEVICE_INTERFACE_DETAIL_DATA_W *detail, DWORD detailSize, PDWORD requiredSize,
    SP_DEVINFO_DATA *devInfo);
BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set);
