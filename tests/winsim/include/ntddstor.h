#pragma once

// The storage definitions the detector uses all live in winioctl.h here.
#include <winioctl.h>
