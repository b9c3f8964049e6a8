#include "registeredpackage.h"

#include <QResource>

RegisteredPackage::RegisteredPackage(const QString &file, const QString &root)
    : file(file)
    , mountRoot(root)
    , registered(QResource::registerResource(file, root))
{
}

RegisteredPackage::~RegisteredPackage()
{
    if (registered)
        QResource::unregisterResource(file, mountRoot);
}
