#pragma once
#include <windows.h>

using CONFIGRET = DWORD;
using DEVINST = DWORD;
#define CR_SUCCESS 0x00
#define CR_INVALID_DEVNODE 0x05
#define CR_NO_SUCH_DEVNODE 0x0D
#define CR_BUFFER_SMALL 0x1A
#define CM_GETIDLIST_FILTER_NONE 0
#define CM_LOCATE_DEVNODE_NORMAL 0

CONFIGRET WINAPI CM_Get_Device_ID_List_SizeW(PULONG pulLen, PCWSTR pszFilter, ULONG ulFlags);
CONFIGRET WINAPI CM_Get_Device_ID_ListW(PCWSTR filter, PWCHAR buffer, ULONG length, ULONG flags);
CONFIGRET WINAPI CM_Locate_DevNodeW(DEVINST *devInst, WCHAR *deviceId, ULONG flags);
CONFIGRET WINAPI CM_Get_Child(DEVINST *devInst, DEVINST parent, ULONG flags);
