#include "testpackage.h"

#include "productresource.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QResource>

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

void TestPackage::setFirmware(const QByteArray &image)
{
    setFile(QStringLiteral("firmware.bin"), image);
    setFile(QStringLiteral("firmware.md5"), md5Line(image));
}

QString TestPackage::build(Compression compression)
{
    const QString source = dir.filePath(QStringLiteral("src%1/").arg(++builds));
    QByteArray qrc = "<!DOCTYPE RCC><RCC version=\"1.0\"><qresource prefix=\"/\">\n";
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QDir().mkpath(QFileInfo(source + it.key()).absolutePath());
        QFile out(source + it.key());
        if (!out.open(QIODevice::WriteOnly) || out.write(it.value()) != it.value().size())
            return QString();
        qrc += "<file>" + it.key().toUtf8() + "</file>\n";
    }
    for (auto it = diskFiles.cbegin(); it != diskFiles.cend(); ++it)
        qrc += "<file alias=\"" + it.key().toUtf8() + "\">" + it.value().toUtf8() + "</file>\n";
    QDir().mkpath(source);
    QFile qrcFile(source + QStringLiteral("package.qrc"));
    if (!qrcFile.open(QIODevice::WriteOnly) || qrcFile.write(qrc + "</qresource></RCC>\n") <= 0)
        return QString();
    qrcFile.close();

    const QString output = dir.filePath(QStringLiteral("out%1/data.rcc").arg(builds));
    QDir().mkpath(QFileInfo(output).absolutePath());
    QProcess rcc;
    rcc.setWorkingDirectory(source);
    QStringList arguments { QStringLiteral("--binary") };
    if (compression == Compression::None)
        arguments << QStringLiteral("--no-compress");
    rcc.start(QStringLiteral(TARSEL_RCC),
        arguments << "package.qrc"
                  << "-o" << output);
    // Packing a gibibyte takes minutes on a busy machine.
    if (!rcc.waitForFinished(600000) || rcc.exitCode() != 0) {
        qWarning() << "rcc failed:" << rcc.error() << rcc.exitStatus() << rcc.exitCode()
                   << rcc.readAllStandardOutput() << rcc.readAllStandardError();
        return QString();
    }
    return output;
}

bool TestPackage::registerPackage(Compression compression)
{
    unregisterPackage();
    const QString path = build(compression);
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

QByteArray TestPackage::firmware(const QByteArray &tag, int size)
{
    return QByteArray(size, '\x5a').replace(100, tag.size() + 6, "Ver:" + tag + "\x0a\x0d");
}

QByteArray TestPackage::md5Line(const QByteArray &firmware)
{
    return "firmware.bin " + QCryptographicHash::hash(firmware, QCryptographicHash::Md5).toHex();
}
