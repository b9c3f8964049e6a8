#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QTemporaryDir>

// Builds a product package (a binary resource file) from files given in memory, for tests.
class TestPackage
{
public:
    enum class Compression { Default, None };

    ~TestPackage();

    void setFile(const QString &name, const QByteArray &content);
    // Packs the file at path under name without loading it, for images too large to hold.
    void setFileFromDisk(const QString &name, const QString &path);
    // firmware.bin and the matching firmware.md5.
    void setFirmware(const QByteArray &image);

    // Writes the .rcc into its own temporary folder; empty on failure (the reason is logged).
    QString build(Compression compression = Compression::Default);
    // Builds and registers under the package root, until unregisterPackage or the destructor.
    bool registerPackage(Compression compression = Compression::Default);
    void unregisterPackage();

    static QByteArray deviceXml(const QString &name = QStringLiteral("Tarsel Test Drive"),
        const QString &vid = QStringLiteral("0x1a2b"),
        const QString &pid = QStringLiteral("0x3c4d"));
    // size bytes of filler with the tag (terminated by 0A 0D) at offset 100.
    static QByteArray firmware(const QByteArray &tag, int size = 4096);
    static QByteArray md5Line(const QByteArray &firmware);

private:
    QTemporaryDir dir;
    QMap<QString, QByteArray> files;
    QMap<QString, QString> diskFiles;
    QString registeredPath;
    int builds = 0;
};
