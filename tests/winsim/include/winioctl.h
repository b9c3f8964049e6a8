#pragma once
#include <windows.h>
// clang-format off
#define IOCTL_STORAGE_GET_DEVICE_NUMBER 0x2D1080
struct STORAGE_DEVICE_NUMBER { DWORD DeviceType, DeviceNumber, PartitionNumber; };
// The real headers define it only after initguid.h.
inline constexpr GUID GUID_DEVINTERFACE_DISK = { 0x53f56307, 0xb6bf, 0x11d0, { 0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b } };
// clang-format on
