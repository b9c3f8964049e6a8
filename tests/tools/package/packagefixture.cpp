#include "packagefixture.h"

#include "testpackage.h"
#include "wizardcontent.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

namespace PackageFixture {

QByteArray deviceXml(
    const QString &vid, const QString &pid, const QString &version, const QString &name)
{
    // TestPackage's, with the firmware version that rows about the tag vary.
    return TestPackage::deviceXml(name, vid, pid)
        .replace("version=\"1.0.0.2\"", "version=\"" + version.toUtf8() + "\"");
}

QByteArray png(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::darkCyan);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data();
}

QByteArray translationSource(const QString &language, const QStringList &ids)
{
    QByteArray ts = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n"
                    "<TS version=\"2.1\" language=\""
        + language.toUtf8() + "\">\n<context>\n    <name></name>\n";
    for (const QString &id : ids) {
        ts += "    <message id=\"" + id.toUtf8() + "\">\n        <source>" + id.toUtf8()
            + "</source>\n        <translation>" + language.toUtf8() + " " + id.toUtf8()
            + "</translation>\n    </message>\n";
    }
    return ts + "</context>\n</TS>\n";
}

QByteArray compileTranslation(const QByteArray &source, const QStringList &options)
{
    QTemporaryDir dir;
    QFile ts(dir.filePath(QStringLiteral("texts.ts")));
    const QString target = dir.filePath(QStringLiteral("texts.qm"));
    if (!ts.open(QIODevice::WriteOnly) || ts.write(source) != source.size())
        return QByteArray();
    ts.close();
    QProcess lrelease;
    lrelease.start(QStringLiteral(TARSEL_LRELEASE),
        options
            + QStringList {
                QStringLiteral("-silent"), ts.fileName(), QStringLiteral("-qm"), target });
    if (!lrelease.waitForFinished(60000) || lrelease.exitCode() != 0)
        return QByteArray();
    QFile qm(target);
    return qm.open(QIODevice::ReadOnly) ? qm.readAll() : QByteArray();
}

QByteArray compiledTranslation(const QString &language, const QStringList &ids)
{
    return compileTranslation(translationSource(language, ids));
}

QMap<QString, QByteArray> completeFiles()
{
    QMap<QString, QByteArray> files;
    const QByteArray firmware = TestPackage::firmware("3-1.0.0.2");
    files.insert(QStringLiteral("device.xml"), deviceXml());
    files.insert(QStringLiteral("firmware.bin"), firmware);
    files.insert(QStringLiteral("firmware.md5"), TestPackage::md5Line(firmware));
    files.insert(QStringLiteral("en_US.qm"), compiledTranslation("en_US", wizardTextIds()));
    for (const QString &image : wizardImageNames())
        files.insert(image, png(40, 30));
    return files;
}

void fill(TestPackage &package)
{
    const QMap<QString, QByteArray> files = completeFiles();
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        package.setFile(it.key(), it.value());
}

bool writeFolder(const QString &dir, const QMap<QString, QByteArray> &files)
{
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString path = dir + QLatin1Char('/') + it.key();
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(it.value()) != it.value().size())
            return false;
    }
    return true;
}

} // namespace PackageFixture
