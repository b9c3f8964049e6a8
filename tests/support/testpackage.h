#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QTemporaryDir>

// A product package made at test time: its files are packed into a data.rcc by the resource
// compiler and registered under ProductResource::packageRoot() until unregistered or destroyed.
// Only one package can be registered under that root at a time.
class TestPackage
{
public:
    enum class Compression { Default, None };

    // Starts with a device.xml for a test product; no firmware yet.
    TestPackage();
    ~TestPackage();
    TestPackage(const TestPackage &) = delete;
    TestPackage &operator=(const TestPackage &) = delete;

    void setFile(const QString &name, const QByteArray &content);
    // Packs the file at path under name without loading it, for images too large to hold.
    void setFileFromDisk(const QString &name, const QString &path);
    void removeFile(const QString &name);
    // firmware.bin, and a firmware.md5 holding "firmware.bin", one blank and its digest.
    void setFirmware(const QByteArray &image);

    // Packs the files and registers the result; false, with errorString(), when rcc or the
    // registration fails. A package registered before is unregistered first.
    bool registerPackage(Compression compression = Compression::Default);
    bool unregisterPackage();
    bool isRegistered() const { return registered; }

    // The packed file and the loose copies it was made from, on disk.
    QString rccPath() const;
    QString stagedPath(const QString &name) const;
    QString errorString() const { return error; }

    // An image holding the tag "Ver:" versionText 0A 0D near its start, padded to size bytes
    // with a pattern that compresses well and holds no tag piece of its own.
    static QByteArray firmwareImage(const QByteArray &versionText, int size = 4096);
    static QByteArray md5Hex(const QByteArray &data);
    static QByteArray deviceXml(
        const QString &name, const QString &vid, const QString &pid, const QString &productString);

private:
    QTemporaryDir stage;
    QMap<QString, QByteArray> files;
    QMap<QString, QString> diskFiles;
    QString error;
    bool registered = false;
};
