#pragma once

#include <QString>

class ProductResource;

// Registers appDirPath/data.rcc under ":/tarsel_external" and loads it. Returns the resource
// (also when loading failed) or null; ok is true only when it was found, registered and loaded.
ProductResource *initExternalResources(const QString &appDirPath, bool &ok);

// The same for the package file at path, with the same log lines; tarsel-update's --package.
ProductResource *loadProductPackage(const QString &path, bool &ok);
