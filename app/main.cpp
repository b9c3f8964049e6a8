#include "startup.h"

#include <QGuiApplication>

int main(int argc, char *argv[])
{
    prepareApplication();
    QGuiApplication app(argc, argv);
    if (!startUpdater())
        return 1;
    return app.exec();
}
