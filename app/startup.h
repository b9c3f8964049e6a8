#pragma once

class Core;

// The settings that must precede the QGuiApplication.
void prepareApplication();

// Names the application, loads the package beside the executable, starts Core and shows the
// window. Returns Core (alive to the end of the process), or null after logging why it could
// not start; the process then exits with 1.
Core *startUpdater();
