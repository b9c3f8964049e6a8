#pragma once

#include "productinfo.h"

#include <QString>
#include <QStringList>

class QTextStream;

// What a release maker wants to see of a package: product, firmware, translations and which
// locale gets which, images, and the window height per translation. The package must be
// registered under the updater's own root, since the choices are made by the updater's code.
class PackageReport
{
public:
    explicit PackageReport(const QString &fileName);

    void write(QTextStream &out) const;

private:
    void writeProduct(QTextStream &out, const ProductInfo &info) const;
    void writeFirmware(QTextStream &out, const ProductInfo &info) const;
    void writeTranslations(QTextStream &out, const QStringList &files) const;
    void writeImages(QTextStream &out) const;
    void writeWindowHeights(
        QTextStream &out, const ProductInfo &info, const QStringList &files) const;

    QString fileName;
};
