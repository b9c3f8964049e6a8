// The updater with one seam, for tests and scripts/screenshots.sh only: TARSEL_TEST_FIND_TIMEOUT_MS
// ends the device search after that many milliseconds instead of five minutes, a time-out no real
// fault can bring on sooner.
#include "core.h"
#include "startup.h"

#include <QGuiApplication>

int main(int argc, char *argv[])
{
    prepareApplication();
    QGuiApplication app(argc, argv);
    Core *core = startUpdater();
    if (!core)
        return 1;
    if (const int timeout = qEnvironmentVariableIntValue("TARSEL_TEST_FIND_TIMEOUT_MS"); timeout > 0)
        core->setFindTimeoutForTesting(timeout);
    return app.exec();
}
