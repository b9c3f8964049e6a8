#include "testpackage.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QResource>
#include <QXmlStreamWriter>

namespace {
bool run(const QString &program, const QStringList &arguments, QString &error)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        error = program + QLatin1String(": ") + QString::fromLocal8Bit(process.readAll());
        return false;
    }
    return true;
}
} // namespace

TestPackage::TestPackage() = default;

TestPackage::~TestPackage()
{
    if (!rccPath.isEmpty())
        QResource::unregisterResource(rccPath, QStringLiteral("/tarsel_external"));
}

void TestPackage::addImage(const QString &name, const QSize &size, Qt::GlobalColor colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    image.save(dir.filePath(name), "PNG");
    files << name;
}

void TestPackage::addFile(const QString &name, const QByteArray &contents)
{
    QFile file(dir.filePath(name));
    if (file.open(QIODevice::WriteOnly))
        file.write(contents);
    files << name;
}

bool TestPackage::registerPackage()
{
    QFile qrc(dir.filePath(QStringLiteral("package.qrc")));
    if (!qrc.open(QIODevice::WriteOnly))
        return false;
    QXmlStreamWriter xml(&qrc);
    xml.writeStartElement(QStringLiteral("RCC"));
    xml.writeStartElement(QStringLiteral("qresource"));
    xml.writeAttribute(QStringLiteral("prefix"), QStringLiteral("/"));
    for (const QString &file : qAsConst(files))
        xml.writeTextElement(QStringLiteral("file"), file);
    xml.writeEndElement();
    xml.writeEndElement();
    qrc.close();

    const QString rcc = dir.filePath(QStringLiteral("data.rcc"));
    if (!run(QStringLiteral(TARSEL_RCC),
            { QStringLiteral("--binary"), qrc.fileName(), QStringLiteral("-o"), rcc }, error))
        return false;
    if (!QResource::registerResource(rcc, QStringLiteral("/tarsel_external"))) {
        error = QStringLiteral("cannot register ") + rcc;
        return false;
    }
    rccPath = rcc;
    return true;
}

TestTranslation::TestTranslation(const QMap<QString, QString> &texts)
{
    const QString ts = dir.filePath(QStringLiteral("texts.ts"));
    const QString qm = dir.filePath(QStringLiteral("texts.qm"));
    QFile file(ts);
    if (!file.open(QIODevice::WriteOnly))
        return;
    QXmlStreamWriter xml(&file);
    xml.writeStartDocument();
    xml.writeDTD(QStringLiteral("<!DOCTYPE TS>"));
    xml.writeStartElement(QStringLiteral("TS"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("2.1"));
    xml.writeAttribute(QStringLiteral("language"), QStringLiteral("en_US"));
    xml.writeStartElement(QStringLiteral("context"));
    xml.writeTextElement(QStringLiteral("name"), QString());
    for (auto it = texts.cbegin(); it != texts.cend(); ++it) {
        xml.writeStartElement(QStringLiteral("message"));
        xml.writeAttribute(QStringLiteral("id"), it.key());
        xml.writeTextElement(QStringLiteral("source"), it.value());
        xml.writeTextElement(QStringLiteral("translation"), it.value());
        xml.writeEndElement();
    }
    xml.writeEndDocument();
    file.close();

    QString error;
    if (!run(QStringLiteral(TARSEL_LRELEASE),
            { QStringLiteral("-idbased"), QStringLiteral("-silent"), ts, QStringLiteral("-qm"),
                qm },
            error)) {
        qWarning("%s", qPrintable(error));
        return;
    }
    installed = translator.load(qm) && QCoreApplication::installTranslator(&translator);
}

TestTranslation::~TestTranslation()
{
    if (installed)
        QCoreApplication::removeTranslator(&translator);
}
