#pragma once
// Nothing to define: winioctl.h defines the GUIDs.
