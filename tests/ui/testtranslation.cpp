#include "testtranslation.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QXmlStreamWriter>

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

    QProcess lrelease;
    lrelease.setProcessChannelMode(QProcess::MergedChannels);
    lrelease.start(QStringLiteral(TARSEL_LRELEASE),
        { QStringLiteral("-idbased"), QStringLiteral("-silent"), ts, QStringLiteral("-qm"), qm });
    if (!lrelease.waitForFinished(30000) || lrelease.exitCode() != 0) {
        qWarning("lrelease: %s", lrelease.readAll().constData());
        return;
    }
    installed = translator.load(qm) && QCoreApplication::installTranslator(&translator);
}

TestTranslation::~TestTranslation()
{
    if (installed)
        QCoreApplication::removeTranslator(&translator);
}

QByteArray testPng(const QSize &size, const QColor &colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
