#include "startup.h"

#include <QGuiApplication>

int main(int argc, char *argv[])
{
    if (const int code = answerHelpOrVersion(argc, argv); code >= 0)
        return code;
    prepareApplication();
    QGuiApplication app(argc, argv);
    if (!startUpdater())
        return 1;
    return app.exec();
}
