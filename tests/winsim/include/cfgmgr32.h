#pragma once
#include <windows.h>
// clang-format off
using CONFIGRET = DWORD; using DEVINST = DWORD;
#define CR_SUCCESS 0x00
#define CR_NO_SUCH_DEVNODE 0x0D
#define CR_BUFFER_SMALL 0x1A
#define CM_GETIDLIST_FILTER_NONE 0
#define CM_LOCATE_DEVNODE_NORMAL 0

CONFIGRET CM_Get_Device_ID_List_SizeW(ULONG *length, LPCWSTR filter, ULONG flags);
CONFIGRET CM_Get_Device_ID_ListW(LPCWSTR filter, WCHAR *buffer, ULONG length, ULONG flags);
CONFIGRET CM_Locate_DevNodeW(DEVINST *node, WCHAR *id, ULONG flags);
CONFIGRET CM_Get_Child(DEVINST *child, DEVINST node, ULONG flags);
// clang-format on
