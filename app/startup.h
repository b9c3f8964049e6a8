#pragma once

class Core;

// The settings that must precede the QGuiApplication.
void prepareApplication();

// Answers -h/--help/--help-all or -v/--version on standard output, without a display, and
// returns the exit code; -1 for any other command line, which goes to the wizard as before.
int answerHelpOrVersion(int argc, char *argv[]);

// Names the application, loads the package beside the executable, starts Core and shows the
// window. Returns Core (alive to the end of the process), or null after logging why it could
// not start; the process then exits with 1.
Core *startUpdater();
