#include "testpackage.h"

#include "productresource.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QResource>

TestPackage::TestPackage()
{
    setFile(QStringLiteral("device.xml"),
        deviceXml(QStringLiteral("Test Product"), QStringLiteral("0x1a2b"),
            QStringLiteral("0x3c4d"), QStringLiteral("Test Product Update")));
}

TestPackage::~TestPackage()
{
    unregisterPackage();
}

void TestPackage::setFile(const QString &name, const QByteArray &content)
{
    diskFiles.remove(name);
    files.insert(name, content);
}

void TestPackage::setFileFromDisk(const QString &name, const QString &path)
{
    files.remove(name);
    diskFiles.insert(name, QFileInfo(path).absoluteFilePath());
}

void TestPackage::removeFile(const QString &name)
{
    files.remove(name);
    diskFiles.remove(name);
}

void TestPackage::setFirmware(const QByteArray &image)
{
    setFile(QStringLiteral("firmware.bin"), image);
    setFile(QStringLiteral("firmware.md5"), "firmware.bin " + md5Hex(image));
}

QString TestPackage::rccPath() const
{
    return stage.filePath(QStringLiteral("data.rcc"));
}

QString TestPackage::stagedPath(const QString &name) const
{
    return stage.filePath(QStringLiteral("files/") + name);
}

bool TestPackage::registerPackage(Compression compression)
{
    unregisterPackage();
    if (!stage.isValid()) {
        error = QStringLiteral("no temporary folder: ") + stage.errorString();
        return false;
    }
    QDir dir(stage.path());
    dir.mkpath(QStringLiteral("files"));
    QByteArray qrc = "<!DOCTYPE RCC><RCC version=\"1.0\"><qresource prefix=\"/\">\n";
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QFile file(stagedPath(it.key()));
        if (!file.open(QIODevice::WriteOnly) || file.write(it.value()) != it.value().size()) {
            error = QStringLiteral("cannot stage ") + it.key() + QLatin1Char(' ')
                + file.errorString();
            return false;
        }
        qrc += "<file>" + it.key().toUtf8() + "</file>\n";
    }
    for (auto it = diskFiles.cbegin(); it != diskFiles.cend(); ++it)
        qrc += "<file alias=\"" + it.key().toUtf8() + "\">" + it.value().toUtf8() + "</file>\n";
    qrc += "</qresource></RCC>\n";
    QFile qrcFile(stage.filePath(QStringLiteral("files/data.qrc")));
    if (!qrcFile.open(QIODevice::WriteOnly) || qrcFile.write(qrc) != qrc.size()) {
        error = QStringLiteral("cannot write data.qrc");
        return false;
    }
    qrcFile.close();
    // A stale package from an earlier call must not survive a failed run of rcc.
    QFile::remove(rccPath());

    QStringList arguments { QStringLiteral("--binary") };
    if (compression == Compression::None)
        arguments << QStringLiteral("--no-compress");
    arguments << qrcFile.fileName() << QStringLiteral("-o") << rccPath();
    QProcess rcc;
    rcc.setWorkingDirectory(stage.filePath(QStringLiteral("files")));
    rcc.start(QStringLiteral(TARSEL_RCC), arguments);
    if (!rcc.waitForFinished(120000) || rcc.exitStatus() != QProcess::NormalExit
        || rcc.exitCode() != 0) {
        error = QStringLiteral("rcc failed: ") + QString::fromLocal8Bit(rcc.readAllStandardError())
            + rcc.errorString();
        return false;
    }
    if (!QResource::registerResource(rccPath(), ProductResource::packageRoot())) {
        error = QStringLiteral("cannot register ") + rccPath();
        return false;
    }
    registered = true;
    return true;
}

bool TestPackage::unregisterPackage()
{
    if (!registered)
        return false;
    registered = false;
    return QResource::unregisterResource(rccPath(), ProductResource::packageRoot());
}

QByteArray TestPackage::firmwareImage(const QByteArray &versionText, int size)
{
    QByteArray image("TARSEL-TEST-IMAGE-----\0\0", 24);
    image += "Ver:" + versionText + "\x0a\x0d";
    // Neighbours differ by 7 (mod 251), so neither "Ver:" nor 0A 0D can appear in the padding.
    for (int i = image.size(); i < size; ++i)
        image += char((i * 7) % 251);
    return image;
}

QByteArray TestPackage::md5Hex(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
}

QByteArray TestPackage::deviceXml(
    const QString &name, const QString &vid, const QString &pid, const QString &productString)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<product>\n"
                          "    <device name=\"%1\" vid=\"%2\" pid=\"%3\" product_string=\"%4\"/>\n"
                          "</product>\n")
        .arg(name, vid, pid, productString)
        .toUtf8();
}
