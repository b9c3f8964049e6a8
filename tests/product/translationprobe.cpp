// Registers the package given as the only argument and prints the translation chosen for the
// system locale of this process's environment.
#include "productresource.h"

#include <QCoreApplication>
#include <QResource>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2
        || !QResource::registerResource(
            QString::fromLocal8Bit(argv[1]), ProductResource::packageRoot()))
        return 2;
    std::printf("%s\n", qPrintable(ProductResource().translationFile()));
    return 0;
}
