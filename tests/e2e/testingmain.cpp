// The updater for tests and scripts/screenshots.sh: TARSEL_TEST_FIND_TIMEOUT_MS ends the device
// search after that many milliseconds instead of five minutes, which no real fault can hasten.
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
    if (const int timeout = qEnvironmentVariableIntValue("TARSEL_TEST_FIND_TIMEOUT_MS");
        timeout > 0)
        core->setFindTimeout(timeout);
    return app.exec();
}
