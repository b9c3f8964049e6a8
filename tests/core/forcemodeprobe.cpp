// Prints Core's force mode for the command line it is started with.
#include "core.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Core core;
    std::printf("%d\n", core.forceMode() ? 1 : 0);
    return 0;
}
