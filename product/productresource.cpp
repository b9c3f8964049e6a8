#include "productresource.h"

#include "translationcandidate.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QXmlStreamReader>

ProductResource::ProductResource(QObject *parent)
    : QObject(parent)
{
}

QString ProductResource::packagePath(const QString &fileName)
{
    return QDir(QStringLiteral("%1%2%3").arg(packageRoot(), QDir::separator(), fileName))
        .canonicalPath();
}

QString ProductResource::deviceXmlPath() const
{
    return packagePath(QStringLiteral("device.xml"));
}

QString ProductResource::firmwarePath() const
{
    return packagePath(QStringLiteral("firmware.bin"));
}

QString ProductResource::firmwareMd5Path() const
{
    return packagePath(QStringLiteral("firmware.md5"));
}

bool ProductResource::load()
{
    for (const QString &path : { firmwarePath(), firmwareMd5Path(), deviceXmlPath() }) {
        if (!QFile::exists(path)) {
            qWarning() << "File" << path << "does not exist";
            return false;
        }
    }
    info = readDeviceXml(deviceXmlPath());
    info.firmwareMd5 = readFirmwareMd5(firmwareMd5Path());
    return true;
}

ProductInfo ProductResource::readDeviceXml(const QString &path)
{
    ProductInfo result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "Can not open" << path << file.errorString();
        return result;
    }
    QXmlStreamReader xml(&file);
    while (!xml.atEnd() && !xml.hasError()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        const auto value = [&attributes](const char *name) {
            return attributes.value(QLatin1String(name)).toString();
        };
        if (xml.name() == QLatin1String("device")) {
            result.name = value("name");
            result.vid = value("vid");
            result.pid = value("pid");
            result.productString = value("product_string");
        } else if (xml.name() == QLatin1String("firmware")) {
            result.firmwareName = value("name");
            result.firmwareVersion = value("version");
        }
    }
    return result;
}

QByteArray ProductResource::readFirmwareMd5(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "Can not open" << path << file.errorString();
        return QByteArray();
    }
    const QByteArray content = file.readAll();
    const int lastSpace = content.lastIndexOf(' ');
    return lastSpace < 0 ? content : content.mid(lastSpace + 1);
}

QString ProductResource::translationFile() const
{
    return translationFileFor(QLocale::system().name());
}

QString ProductResource::translationFileFor(const QString &localeName)
{
    QList<TranslationCandidate> candidates;
    QDirIterator it(packageRoot(), QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo entry = it.fileInfo();
        if (entry.suffix() != QLatin1String("qm"))
            continue;
        TranslationCandidate candidate = parseLocaleName(entry.baseName());
        candidate.filePath = entry.absoluteFilePath();
        candidates.append(candidate);
    }
    const QString chosen = chooseTranslation(localeName, candidates);
    if (!chosen.isEmpty())
        return QDir(chosen).canonicalPath();
    return QDir(QStringLiteral("%1%2en_US.qm").arg(packageRoot(), QDir::separator()))
        .canonicalPath();
}
