#pragma once

#include "diagnostic.h"
#include "firmwarefile.h"
#include "productinfo.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

class QFile;
class QTranslator;

// Empty when a firmware.bin of this size can be shipped: what the product's FAT volume holds
// (maxFirmwareSize), the updater's own limit.
QString firmwareSizeError(qint64 size);

// Applies the release rules to a product package, through the updater's own readers. The root
// is a folder or the resource root under which a package is registered; file names in the
// findings are relative to it.
class PackageChecker
{
public:
    explicit PackageChecker(const QString &root);

    QVector<Diagnostic> run();

private:
    void checkRequiredFiles();
    void checkDeviceXml();
    void checkIdentifier(
        const QString &attribute, const QString &value, const QString &usbKey, int line);
    void checkFirmwareTag(QFile &firmware);
    void checkChecksum(QFile &firmware);
    void checkTranslations();
    void checkTextIds(const QString &relative, const QTranslator &english);
    void checkImages();

    void add(Diagnostic::Severity severity, const QString &file, int line, const QString &message);
    QString path(const QString &relative) const;
    bool exists(const QString &relative) const;
    // Opens a file of the package for reading; says so when it cannot.
    bool open(QFile &file, const QString &relative);
    // " (found <files><why>)" for files below the root whose name equals this one ignoring
    // case, but not the one at the top; empty when there are none.
    QString foundElsewhere(const QString &name, const QString &why) const;

    QString root;
    QStringList files;
    ProductInfo product;
    int firmwareLine = 0;
    QString tagVersion;
    bool tagRead = false;
    QVector<Diagnostic> found;
};
