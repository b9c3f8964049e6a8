#pragma once
#include <windows.h>
// clang-format off
#define DBT_DEVICEARRIVAL 0x8000
#define DBT_DEVTYP_VOLUME 2
#define DBT_DEVTYP_PORT 3

struct DEV_BROADCAST_HDR { DWORD dbch_size, dbch_devicetype, dbch_reserved; };
struct DEV_BROADCAST_VOLUME { DWORD dbcv_size, dbcv_devicetype, dbcv_reserved, dbcv_unitmask; WORD dbcv_flags; };
// clang-format on
