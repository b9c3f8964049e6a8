#include "externalresources.h"

#include "productresource.h"

#include <QDebug>
#include <QFile>
#include <QResource>

ProductResource *initExternalResources(const QString &appDirPath, bool &ok)
{
    return loadProductPackage(appDirPath + QLatin1Char('/') + QStringLiteral("data.rcc"), ok);
}

ProductResource *loadProductPackage(const QString &path, bool &ok)
{
    if (!QFile::exists(path)) {
        qWarning() << "File" << path << "does not exist";
        ok = false;
        return nullptr;
    }
    if (!QResource::registerResource(path, ProductResource::packageRoot())) {
        qWarning() << "Could not register" << path << "file";
        ok = false;
        return nullptr;
    }
    auto *resource = new ProductResource();
    ok = resource->load();
    return resource;
}
