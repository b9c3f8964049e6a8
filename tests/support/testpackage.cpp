#include "testpackage.h"

#include "productresource.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QResource>

TestPackage::TestPackage() = default;

TestPackage::~TestPackage()
{
    unregisterPackage();
}

void TestPackage::fillStandard(const QByteArray &tag)
{
    const QByteArray image = firmware(tag);
    setFile(QStringLiteral("device.xml"), deviceXml());
    setFile(QStringLiteral("firmware.bin"), image);
    setFile(QStringLiteral("firmware.md5"), md5Line(image));
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

void TestPackage::setFirmware(const QByteArray &image)
{
    setFile(QStringLiteral("firmware.bin"), image);
    setFile(QStringLiteral("firmware.md5"), md5Line(image));
}

void TestPackage::removeFile(const QString &name)
{
    files.remove(name);
    diskFiles.remove(name);
}

QString TestPackage::build(const QString &fileName, Compression compression)
{
    const QString source = dir.filePath(QStringLiteral("src%1").arg(++builds));
    QByteArray qrc = "<!DOCTYPE RCC><RCC version=\"1.0\"><qresource prefix=\"/\">\n";
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString path = source + QLatin1Char('/') + it.key();
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(it.value()) != it.value().size()) {
            qWarning() << "cannot write" << path;
            return QString();
        }
        qrc += "<file>" + it.key().toUtf8() + "</file>\n";
    }
    for (auto it = diskFiles.cbegin(); it != diskFiles.cend(); ++it)
        qrc += "<file alias=\"" + it.key().toUtf8() + "\">" + it.value().toUtf8() + "</file>\n";
    qrc += "</qresource></RCC>\n";
    QFile qrcFile(source + QStringLiteral("/package.qrc"));
    if (!qrcFile.open(QIODevice::WriteOnly) || qrcFile.write(qrc) != qrc.size())
        return QString();
    qrcFile.close();

    const QString output = dir.filePath(QStringLiteral("out%1/").arg(builds)) + fileName;
    QDir().mkpath(QFileInfo(output).absolutePath());
    QProcess rcc;
    rcc.setWorkingDirectory(source);
    QStringList arguments { QStringLiteral("--binary") };
    if (compression == Compression::None)
        arguments << QStringLiteral("--no-compress");
    arguments << QStringLiteral("package.qrc") << QStringLiteral("-o") << output;
    rcc.start(QStringLiteral(TARSEL_RCC), arguments);
    if (!rcc.waitForFinished(60000) || rcc.exitCode() != 0) {
        qWarning() << "rcc failed:" << rcc.readAllStandardError();
        return QString();
    }
    return output;
}

bool TestPackage::registerPackage(Compression compression)
{
    unregisterPackage();
    const QString path = build(QStringLiteral("data.rcc"), compression);
    if (path.isEmpty() || !QResource::registerResource(path, ProductResource::packageRoot()))
        return false;
    registeredPath = path;
    return true;
}

void TestPackage::unregisterPackage()
{
    if (!registeredPath.isEmpty())
        QResource::unregisterResource(registeredPath, ProductResource::packageRoot());
    registeredPath.clear();
}

QByteArray TestPackage::deviceXml(const QString &name, const QString &vid, const QString &pid)
{
    return QStringLiteral(
        "<?xml version=\"1.0\"?>\n<product>\n"
        "  <device name=\"%1\" vid=\"%2\" pid=\"%3\" product_string=\"%1 Update\"/>\n"
        "  <firmware name=\"firmware.bin\" version=\"1.0.0.2\"/>\n</product>\n")
        .arg(name, vid, pid)
        .toUtf8();
}

QByteArray TestPackage::firmware(const QByteArray &tag, int size, int offset)
{
    QByteArray image(size, '\x5a');
    const QByteArray tagged = "Ver:" + tag + "\x0a\x0d";
    image.replace(offset, tagged.size(), tagged);
    return image;
}

QByteArray TestPackage::md5Line(const QByteArray &firmware)
{
    return "firmware.bin " + QCryptographicHash::hash(firmware, QCryptographicHash::Md5).toHex();
}
