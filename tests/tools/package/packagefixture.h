#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

class TestPackage;

// The files of a complete product package that every release rule accepts, for the tests of
// the package tool. Each test spoils one thing.
namespace PackageFixture {

QByteArray deviceXml(const QString &vid = QStringLiteral("0x1a2b"),
    const QString &pid = QStringLiteral("0x3c4d"),
    const QString &version = QStringLiteral("1.0.0.2"),
    const QString &name = QStringLiteral("Tarsel Test Drive"));
QByteArray png(int width, int height);
// A translation source with a text for each id.
QByteArray translationSource(const QString &language, const QStringList &ids);
// A translation source compiled by lrelease with these options; empty on failure.
QByteArray compileTranslation(
    const QByteArray &source, const QStringList &options = { QStringLiteral("-idbased") });
// translationSource compiled with lrelease -idbased; empty on failure.
QByteArray compiledTranslation(const QString &language, const QStringList &ids);

// name -> content: device.xml, firmware.bin tagged 3-1.0.0.2, firmware.md5, en_US.qm and the
// ten page images.
QMap<QString, QByteArray> completeFiles();
void fill(TestPackage &package);

// Writes the files below dir; false when one cannot be written.
bool writeFolder(const QString &dir, const QMap<QString, QByteArray> &files);

} // namespace PackageFixture
