#pragma once

#include "diagnostic.h"
#include "productinfo.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

class QFile;
class QTranslator;

// The updater writes the image from one byte array (which stops short of 2 GiB) and rcc packs
// each file whole in memory; a product's update volume is far smaller still. Beyond this a
// package is refused outright rather than misread.
constexpr qint64 maxFirmwareSize = qint64(1) << 30;
// Empty when a firmware.bin of this size can be shipped.
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
