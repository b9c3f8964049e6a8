// Registers the package given as the only argument and prints the translation chosen for the
// system locale of this process's environment.
#include "productresource.h"

#include <QCoreApplication>
#include <QResource>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    const QString package = QString::fromLocal8Bit(argv[1]);
    if (!QResource::registerResource(package, ProductResource::packageRoot()))
        return 2;
    std::printf("%s\n", qPrintable(ProductResource().translationFile()));
    // Qt keeps a registration until it is undone, and frees nothing of it at exit.
    QResource::unregisterResource(package, ProductResource::packageRoot());
    return 0;
}
