#pragma once

#include <windows.h>

using DEVICE_TYPE = DWORD;

#define FILE_DEVICE_DISK 0x00000007
#define IOCTL_STORAGE_GET_DEVICE_NUMBER 0x002D1080

struct STORAGE_DEVICE_NUMBER
{
    DEVICE_TYPE DeviceType;
    DWORD DeviceNumber;
    DWORD PartitionNumber;
};
using PSTORAGE_DEVICE_NUMBER = STORAGE_DEVICE_NUMBER *;

// Defined here rather than through initguid.h, which the real headers need for it.
inline constexpr GUID GUID_DEVINTERFACE_DISK
    = { 0x53f56307, 0xb6bf, 0x11d0, { 0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b } };
inline constexpr GUID GUID_DEVINTERFACE_VOLUME
    = { 0x53f5630d, 0xb6bf, 0x11d0, { 0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b } };
