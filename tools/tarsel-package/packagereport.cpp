#include "packagereport.h"

#include "firmwarechecksum.h"
#include "firmwareinfo.h"
#include "productresource.h"
#include "translationcandidate.h"
#include "windowminimumheight.h"
#include "wizardcontent.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QScreen>
#include <QTextStream>
#include <QTranslator>

namespace {
QString root()
{
    return ProductResource::packageRoot();
}

QString packaged(const QString &name)
{
    return root() + QLatin1Char('/') + name;
}

QString relative(const QString &path)
{
    return QDir(root()).relativeFilePath(path);
}

QStringList translationFiles()
{
    QStringList result;
    QDirIterator it(root(), QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (it.fileInfo().suffix() == QLatin1String("qm"))
            result.append(it.fileInfo().absoluteFilePath());
    }
    return result;
}

// A few locales whose choice the report shows.
QStringList sampleLocales()
{
    return { QStringLiteral("en_US"), QStringLiteral("en_GB"), QStringLiteral("de_DE"),
        QStringLiteral("de_AT"), QStringLiteral("fr_FR"), QStringLiteral("fr_CA"),
        QStringLiteral("es_ES"), QStringLiteral("it_IT"), QStringLiteral("ja_JP"),
        QStringLiteral("zh_CN") };
}

QString orNone(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("(none)") : text;
}
} // namespace

PackageReport::PackageReport(const QString &fileName)
    : fileName(fileName)
{
}

void PackageReport::write(QTextStream &out) const
{
    const ProductInfo info = ProductResource::readDeviceXml(packaged(QStringLiteral("device.xml")));
    const QStringList files = translationFiles();
    out << "Package " << fileName << "\n";
    writeProduct(out, info);
    writeFirmware(out, info);
    writeTranslations(out, files);
    writeImages(out);
    writeWindowHeights(out, info, files);
}

void PackageReport::writeProduct(QTextStream &out, const ProductInfo &info) const
{
    out << "\nProduct\n";
    out << "  name            " << orNone(info.name) << "\n";
    out << "  vid             " << orNone(info.vid) << "  (searched as VID_" << info.vid.mid(2)
        << ")\n";
    out << "  pid             " << orNone(info.pid) << "  (searched as PID_" << info.pid.mid(2)
        << ")\n";
    out << "  product string  " << orNone(info.productString) << "\n";
}

void PackageReport::writeFirmware(QTextStream &out, const ProductInfo &info) const
{
    const QString path = packaged(QStringLiteral("firmware.bin"));
    out << "\nFirmware\n";
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        out << "  firmware.bin    missing\n";
        return;
    }
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(&file);
    out << "  firmware.bin    " << file.size() << " bytes, MD5 " << hash.result().toHex() << "\n";
    file.seek(0);
    QByteArray tag;
    if (scanVersionTag(file, &tag)) {
        const std::unique_ptr<FirmwareInfo> firmware = parseVersionTag(tag);
        out << "  tag             \"Ver:" << QString::fromUtf8(tag) << "\"\n";
        out << "  hardware id     " << firmware->hardwareId << "\n";
        out << "  version         " << orNone(firmware->version.toString())
            << "  (as the updater shows it; tag text \"" << QString::fromUtf8(tag).section('-', -1)
            << "\")\n";
    } else {
        out << "  tag             none found\n";
    }
    out << "  device.xml      version \"" << info.firmwareVersion << "\", name \""
        << info.firmwareName << "\"\n";
    const QByteArray expected
        = ProductResource::readFirmwareMd5(packaged(QStringLiteral("firmware.md5")));
    out << "  firmware.md5    "
        << (checksumMatches(hash.result(), expected) ? "accepted" : "NOT accepted") << "\n";
}

void PackageReport::writeTranslations(QTextStream &out, const QStringList &files) const
{
    out << "\nTranslations\n";
    const QStringList ids = wizardTextIds();
    for (const QString &path : files) {
        QTranslator translator;
        int present = 0;
        if (translator.load(path, QString(), QString(), QString())) {
            for (const QString &id : ids)
                present += translator.translate(nullptr, id.toUtf8().constData()).isEmpty() ? 0 : 1;
        }
        out << "  " << relative(path).leftJustified(16) << present << " of " << ids.size()
            << " texts\n";
    }
    if (files.isEmpty())
        out << "  none\n";

    out << "\nLocale choice\n";
    const QString fallback = packaged(QStringLiteral("en_US.qm"));
    for (const QString &locale : sampleLocales()) {
        const QString chosen = ProductResource::translationFileFor(locale);
        const TranslationCandidate wanted = parseLocaleName(locale);
        const TranslationCandidate got = parseLocaleName(QFileInfo(chosen).baseName());
        QString how;
        if (!QFileInfo::exists(chosen))
            how = QStringLiteral("fallback, missing: raw ids");
        else if (got.language != wanted.language)
            how = QStringLiteral("fallback");
        else
            how = got.country == wanted.country ? QStringLiteral("exact")
                                                : QStringLiteral("same language");
        out << "  " << locale.leftJustified(8) << "-> "
            << relative(QFileInfo::exists(chosen) ? chosen : fallback) << "  (" << how << ")\n";
    }
}

void PackageReport::writeImages(QTextStream &out) const
{
    out << "\nImages\n";
    for (const QString &name : wizardImageNames()) {
        QImageReader reader(packaged(name));
        reader.setDecideFormatFromContent(true);
        const QImage image = reader.read();
        out << "  " << name.leftJustified(34);
        if (image.isNull())
            out << (QFileInfo::exists(packaged(name)) ? "unreadable" : "missing") << "\n";
        else
            out << image.width() << " x " << image.height() << "\n";
    }
}

void PackageReport::writeWindowHeights(
    QTextStream &out, const ProductInfo &info, const QStringList &files) const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const bool embedded = QFile::exists(QStringLiteral(":/qml/Fonts/Lato-Regular.ttf"));
    out << "\nMinimum window height, measured as the updater measures it\n";
    out << "  font            " << (embedded ? "Lato Regular, embedded" : "default (no Lato)")
        << "\n";
    if (screen) {
        const QString name
            = screen->name().isEmpty() ? QString() : QStringLiteral(" \"%1\"").arg(screen->name());
        out << "  screen          " << QGuiApplication::platformName() << name << ", "
            << screen->logicalDotsPerInch() << " dpi logical, device pixel ratio "
            << screen->devicePixelRatio() << "\n";
    }
    // The empty path stands for no translation installed.
    for (const QString &path : files + QStringList { QString() }) {
        QTranslator translator;
        if (!path.isEmpty()) {
            translator.load(path, QString(), QString(), QString());
            QCoreApplication::installTranslator(&translator);
        }
        const int height = windowMinimumHeightFor(info.name);
        if (!path.isEmpty())
            QCoreApplication::removeTranslator(&translator);
        out << "  "
            << (path.isEmpty() ? QStringLiteral("(raw ids)") : relative(path)).leftJustified(16)
            << height << " px\n";
    }
}
