#pragma once

// The GUIDs of winioctl.h are already defined where they are declared.
