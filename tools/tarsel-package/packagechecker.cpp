#include "packagechecker.h"

#include "firmwarechecksum.h"
#include "firmwareinfo.h"
#include "productresource.h"
#include "translationcandidate.h"
#include "wizardcontent.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLocale>
#include <QRegularExpression>
#include <QTranslator>
#include <QVersionNumber>
#include <QXmlStreamReader>

namespace {

const QString deviceXml = QStringLiteral("device.xml");
const QString firmwareBin = QStringLiteral("firmware.bin");
const QString firmwareMd5 = QStringLiteral("firmware.md5");
const QString fallbackTranslation = QStringLiteral("en_US.qm");

bool isHex(const QString &text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]+$"));
    return hex.match(text).hasMatch();
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// A language code that a real locale can carry; "app" from app_fr_FR.qm is none.
bool isLanguage(const QString &code)
{
    return !code.isEmpty() && QLocale(code).language() != QLocale::C;
}

} // namespace

QString firmwareSizeError(qint64 size)
{
    if (size <= maxFirmwareSize)
        return QString();
    return QStringLiteral("is %1 bytes, more than the %2 a FAT volume holds: the updater "
                          "refuses it")
        .arg(size)
        .arg(maxFirmwareSize);
}

PackageChecker::PackageChecker(const QString &root)
    : root(root)
{
}

QVector<Diagnostic> PackageChecker::run()
{
    found.clear();
    files.clear();
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(root).relativeFilePath(it.next()));
    files.sort();

    checkRequiredFiles();
    checkDeviceXml();
    QFile firmware;
    if (exists(firmwareBin) && open(firmware, firmwareBin)) {
        const QString tooLarge = firmwareSizeError(firmware.size());
        if (!tooLarge.isEmpty()) {
            add(Diagnostic::Error, firmwareBin, 0, tooLarge);
        } else {
            checkFirmwareTag(firmware);
            checkChecksum(firmware);
        }
    }
    checkTranslations();
    checkImages();
    return found;
}

void PackageChecker::add(
    Diagnostic::Severity severity, const QString &file, int line, const QString &message)
{
    found.append(Diagnostic { severity, file, line, message });
}

QString PackageChecker::path(const QString &relative) const
{
    return root + QLatin1Char('/') + relative;
}

bool PackageChecker::exists(const QString &relative) const
{
    return QFileInfo(path(relative)).isFile();
}

bool PackageChecker::open(QFile &file, const QString &relative)
{
    file.setFileName(path(relative));
    if (file.open(QIODevice::ReadOnly))
        return true;
    add(Diagnostic::Error, relative, 0,
        QStringLiteral("cannot be opened: %1").arg(file.errorString()));
    return false;
}

QString PackageChecker::foundElsewhere(const QString &name, const QString &why) const
{
    QStringList others;
    for (const QString &file : files) {
        if (file != name && QFileInfo(file).fileName().compare(name, Qt::CaseInsensitive) == 0)
            others.append(file);
    }
    if (others.isEmpty())
        return QString();
    return QStringLiteral(" (found %1%2)").arg(others.join(QStringLiteral(", ")), why);
}

void PackageChecker::checkRequiredFiles()
{
    for (const QString &name : { firmwareBin, firmwareMd5, deviceXml }) {
        if (exists(name))
            continue;
        QString message = QStringLiteral("missing: the updater refuses to start without it");
        const QString elsewhere = foundElsewhere(
            name, QStringLiteral(", but it must be named %1 at the top level").arg(name));
        if (!elsewhere.isEmpty())
            message += elsewhere;
        else if (name == firmwareMd5)
            message += QStringLiteral("; tarsel-package build writes it");
        add(Diagnostic::Error, name, 0, message);
    }
}

void PackageChecker::checkDeviceXml()
{
    QFile file;
    if (!exists(deviceXml) || !open(file, deviceXml))
        return;

    // The updater reads without complaint and lets the last element win; this pass only finds
    // the lines and the repeats that its reading hides.
    QXmlStreamReader xml(&file);
    QHash<QString, QVector<int>> lines;
    while (!xml.atEnd() && !xml.hasError()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString name = xml.name().toString();
        const int line = int(xml.lineNumber());
        if (name == QLatin1String("device") || name == QLatin1String("firmware")) {
            lines[name].append(line);
        } else if (name.compare(QLatin1String("device"), Qt::CaseInsensitive) == 0
            || name.compare(QLatin1String("firmware"), Qt::CaseInsensitive) == 0) {
            add(Diagnostic::Warning, deviceXml, line,
                QStringLiteral("element <%1> is ignored: element names are case-sensitive (<%2>)")
                    .arg(name, name.toLower()));
        }
    }
    if (xml.hasError()) {
        add(Diagnostic::Error, deviceXml, int(xml.lineNumber()),
            QStringLiteral("not well-formed: %1; the updater keeps only what comes before it")
                .arg(xml.errorString()));
    }

    product = ProductResource::readDeviceXml(path(deviceXml));

    for (const QString &element : { QStringLiteral("device"), QStringLiteral("firmware") }) {
        const QVector<int> at = lines.value(element);
        if (at.isEmpty()) {
            add(Diagnostic::Error, deviceXml, 0,
                element == QLatin1String("device")
                    ? QStringLiteral("no <device> element: the product has no name and no USB "
                                     "ids, so the updater never finds it")
                    : QStringLiteral("no <firmware> element"));
            continue;
        }
        for (int i = 1; i < at.size(); ++i) {
            add(Diagnostic::Warning, deviceXml, at.at(i),
                QStringLiteral("<%1> repeated (first at line %2): the updater takes the last one, "
                               "attributes it lacks included")
                    .arg(element)
                    .arg(at.first()));
        }
    }
    const QVector<int> firmwareLines = lines.value(QStringLiteral("firmware"));
    firmwareLine = firmwareLines.isEmpty() ? 0 : firmwareLines.last();
    if (lines.value(QStringLiteral("device")).isEmpty())
        return;

    const int deviceLine = lines.value(QStringLiteral("device")).last();
    if (product.name.isEmpty())
        add(Diagnostic::Error, deviceXml, deviceLine,
            QStringLiteral("device name is missing or empty: the pages would show "
                           "\"[device_name]\""));
    if (product.productString.isEmpty())
        add(Diagnostic::Error, deviceXml, deviceLine,
            QStringLiteral("device product_string is missing or empty: the device search has "
                           "nothing to match"));
    checkIdentifier(QStringLiteral("vid"), product.vid, QStringLiteral("VID_"), deviceLine);
    checkIdentifier(QStringLiteral("pid"), product.pid, QStringLiteral("PID_"), deviceLine);
}

void PackageChecker::checkIdentifier(
    const QString &attribute, const QString &value, const QString &usbKey, int line)
{
    static const QRegularExpression shape(QStringLiteral("^..[0-9A-Fa-f]{4}$"));
    if (shape.match(value).hasMatch())
        return;
    QString message;
    if (value.isEmpty()) {
        message = QStringLiteral("device %1 is missing or empty: the updater never finds the "
                                 "product")
                      .arg(attribute);
    } else if (value.size() == 4 && isHex(value)) {
        message = QStringLiteral("device %1 %2 lacks its two-character prefix (write 0x%3): the "
                                 "updater drops the first two characters and would look for %4 "
                                 "after %5")
                      .arg(attribute, quoted(value), value, quoted(value.mid(2)), usbKey);
    } else {
        message = QStringLiteral("device %1 %2 is not a two-character prefix and four "
                                 "hexadecimal digits (like 0x1a2b): the updater would look for "
                                 "%3 after %4")
                      .arg(attribute, quoted(value), quoted(value.mid(2)), usbKey);
    }
    add(Diagnostic::Error, deviceXml, line, message);
}

void PackageChecker::checkFirmwareTag(QFile &firmware)
{
    QByteArray tagText;
    if (!scanVersionTag(firmware, &tagText)) {
        firmware.seek(0);
        const QByteArray content = firmware.readAll();
        const int marker = content.indexOf("Ver:");
        QString message;
        if (marker < 0) {
            message = QStringLiteral("no version tag (\"Ver:\", hardware id, \"-\", version, then "
                                     "the bytes 0A 0D): the updater cannot read its version and "
                                     "never installs it");
        } else {
            message = QStringLiteral("the version tag at byte %1 has no 0A 0D after it (line "
                                     "feed, then carriage return)")
                          .arg(marker);
            if (content.indexOf("\x0d\x0a", marker) >= 0)
                message += QStringLiteral("; it ends with 0D 0A, the reverse order");
            message += QStringLiteral(": the updater cannot read its version");
        }
        add(Diagnostic::Error, firmwareBin, 0, message);
        return;
    }

    const QString text = decodeUpToZero(tagText);
    const std::unique_ptr<FirmwareInfo> info = parseVersionTag(tagText);
    const QStringList pieces = text.split(QLatin1Char('-'));
    tagRead = true;
    tagVersion = pieces.last();

    bool decimal = false;
    pieces.first().toInt(&decimal, 10);
    if (!decimal) {
        add(Diagnostic::Error, firmwareBin, 0,
            QStringLiteral("the hardware id %1 of the tag %2 is not a decimal number: the updater "
                           "reads it as 0")
                .arg(quoted(pieces.first()), quoted(text)));
    }

    const QVersionNumber &shown = info->version;
    if (shown.isNull()) {
        add(Diagnostic::Error, firmwareBin, 0,
            QStringLiteral("the version %1 of the tag %2 is not up to four groups joined by "
                           "dots: the updater reads no version, so every product counts as up "
                           "to date")
                .arg(quoted(tagVersion), quoted(text)));
        return;
    }
    const QStringList groups = tagVersion.split(QLatin1Char('.'));
    QString padded = tagVersion;
    if (groups.size() < 4) {
        for (int i = groups.size(); i < 4; ++i)
            padded += QStringLiteral(".0");
        add(Diagnostic::Warning, firmwareBin, 0,
            QStringLiteral("the version %1 has %2 groups, not four: the updater shows it as %3")
                .arg(quoted(tagVersion))
                .arg(groups.size())
                .arg(shown.toString()));
    }
    for (const QString &group : groups) {
        if (!isHex(group)) {
            add(Diagnostic::Warning, firmwareBin, 0,
                QStringLiteral("the group %1 of the version %2 is not hexadecimal: the updater "
                               "shows the version as %3")
                    .arg(quoted(group), quoted(tagVersion), shown.toString()));
        }
    }
    // Padding alone was reported above; any other difference comes from the hexadecimal reading.
    if (shown.toString() != tagVersion && shown.toString() != padded) {
        add(Diagnostic::Warning, firmwareBin, 0,
            QStringLiteral("the updater reads the version groups as hexadecimal and shows the "
                           "version %1 as %2")
                .arg(quoted(tagVersion), shown.toString()));
    }
    if (firmwareLine > 0 && product.firmwareVersion != tagVersion) {
        add(Diagnostic::Warning, deviceXml, firmwareLine,
            QStringLiteral("firmware version %1 differs from the version %2 in the tag of "
                           "firmware.bin, which is the one the updater uses")
                .arg(quoted(product.firmwareVersion), quoted(tagVersion)));
    }
}

void PackageChecker::checkChecksum(QFile &firmware)
{
    if (!exists(firmwareMd5))
        return;
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (!firmware.seek(0) || !hash.addData(&firmware))
        return; // reported with the tag
    const QByteArray digest = hash.result();
    const QByteArray expected = ProductResource::readFirmwareMd5(path(firmwareMd5));
    if (checksumMatches(digest, expected))
        return;

    QFile file;
    if (!open(file, firmwareMd5))
        return;
    const QByteArray content = file.readAll();
    const QByteArray hex = digest.toHex();
    const QByteArray trimmed = content.trimmed();
    const QByteArray lastPiece = trimmed.mid(trimmed.lastIndexOf(' ') + 1);
    const QString fix = QStringLiteral("write \"firmware.bin %1\" without a line break (printf "
                                       "'firmware.bin %%s' ...), or let tarsel-package build "
                                       "write it")
                            .arg(QString::fromLatin1(hex));
    QString message;
    if (content.isEmpty()) {
        message = QStringLiteral("is empty: %1").arg(fix);
    } else if (checksumMatches(digest, lastPiece)) {
        const char last = content.at(content.size() - 1);
        if (last == '\n' || last == '\r')
            message = QStringLiteral("ends with a line break, which the updater compares as part "
                                     "of the checksum: remove it (printf instead of echo)");
        else
            message = QStringLiteral("ends with a blank, which the updater compares as part of "
                                     "the checksum: remove it");
    } else if (checksumMatches(digest, trimmed.left(trimmed.indexOf(' ')))) {
        message = QStringLiteral("has the md5sum layout (checksum, then the file name): the "
                                 "updater reads the last piece after a space, so %1")
                      .arg(fix);
    } else if (lastPiece.size() == 32 && isHex(QString::fromLatin1(lastPiece))) {
        message = QStringLiteral("names the checksum %1, but the MD5 of firmware.bin is %2")
                      .arg(QString::fromLatin1(lastPiece), QString::fromLatin1(hex));
    } else {
        message = QStringLiteral("does not end with the 32 hexadecimal digits of the MD5 of "
                                 "firmware.bin: %1")
                      .arg(fix);
    }
    add(Diagnostic::Error, firmwareMd5, 1, message);
}

void PackageChecker::checkTranslations()
{
    // The fallback's texts say which carry a "%1" that each language must keep.
    QTranslator english;
    if (!exists(fallbackTranslation)) {
        const QString message
            = QStringLiteral("missing at the top level: users whose language has no "
                             "translation see raw text ids")
            + foundElsewhere(fallbackTranslation,
                QStringLiteral("; the fallback is looked up by exactly this name, at the top"));
        add(Diagnostic::Error, fallbackTranslation, 0, message);
    } else {
        english.load(path(fallbackTranslation), QString(), QString(), QString());
    }

    for (const QString &file : qAsConst(files)) {
        const QFileInfo info(file);
        const QString lower = info.fileName().toLower();
        const bool looksCompiled
            = lower.endsWith(QLatin1String(".qm")) || lower.contains(QLatin1String(".qm."));
        if (info.suffix() == QLatin1String("ts")) {
            add(Diagnostic::Warning, file, 0,
                QStringLiteral("is a translation source: the updater reads only compiled .qm "
                               "files (tarsel-package build compiles it)"));
            continue;
        }
        if (!looksCompiled)
            continue;
        if (info.suffix() != QLatin1String("qm")) {
            add(Diagnostic::Warning, file, 0,
                QStringLiteral("the suffix %1 is not exactly \"qm\": the updater never chooses "
                               "this file")
                    .arg(quoted(info.suffix())));
            continue;
        }

        const QString base = info.baseName();
        const TranslationCandidate candidate = parseLocaleName(base);
        if (!base.contains(QLatin1Char('_'))) {
            add(Diagnostic::Warning, file, 0,
                isLanguage(candidate.language)
                    ? QStringLiteral("the base name %1 has no \"_\" and country: the updater "
                                     "chooses it only as a language match, never for a "
                                     "language and country")
                          .arg(quoted(base))
                    : QStringLiteral("the base name %1 is not language_COUNTRY: the updater "
                                     "never chooses it")
                          .arg(quoted(base)));
        } else if (!isLanguage(candidate.language)) {
            const QString rest = base.section(QLatin1Char('_'), 1);
            QString message = QStringLiteral("the base name %1 reads as the language %2: the "
                                             "updater never chooses it")
                                  .arg(quoted(base), quoted(candidate.language));
            if (isLanguage(parseLocaleName(rest).language))
                message += QStringLiteral(" (name it %1.qm)").arg(rest);
            add(Diagnostic::Warning, file, 0, message);
        }
        checkTextIds(file, english);
    }
}

void PackageChecker::checkTextIds(const QString &relative, const QTranslator &english)
{
    QTranslator translator;
    if (!translator.load(path(relative), QString(), QString(), QString())) {
        add(Diagnostic::Error, relative, 0,
            QStringLiteral("is not a compiled translation: the updater loads nothing from it and "
                           "shows raw text ids"));
        return;
    }
    const QStringList ids = wizardTextIds();
    int missing = 0;
    for (const QString &id : ids) {
        // The lookup the pages' qsTrId makes: no context, the id as the source text.
        const QByteArray key = id.toUtf8();
        const QString text = translator.translate(nullptr, key.constData());
        if (text.isEmpty()) {
            ++missing;
            add(Diagnostic::Error, relative, 0,
                QStringLiteral("no text for %1: its users see the id itself").arg(quoted(id)));
        } else if (!text.contains(QLatin1String("%1"))
            && english.translate(nullptr, key.constData()).contains(QLatin1String("%1"))) {
            add(Diagnostic::Error, relative, 0,
                QStringLiteral("the text for %1 lacks the \"%2\" of en_US.qm: its users never "
                               "see the name or version it stands for")
                    .arg(quoted(id), QStringLiteral("%1")));
        }
    }
    if (missing == ids.size() && !translator.isEmpty())
        add(Diagnostic::Note, relative, 0,
            QStringLiteral("it holds texts, but none by id: was it compiled without "
                           "lrelease -idbased?"));
}

void PackageChecker::checkImages()
{
    for (const QString &name : wizardImageNames()) {
        if (!exists(name)) {
            add(Diagnostic::Error, name, 0,
                QStringLiteral("missing: its page shows an empty 100 x 100 placeholder")
                    + foundElsewhere(name,
                        QStringLiteral("; images are looked up by exactly this name, at the top")));
            continue;
        }
        QImageReader reader(path(name));
        reader.setDecideFormatFromContent(true);
        if (reader.read().isNull())
            add(Diagnostic::Error, name, 0,
                QStringLiteral("cannot be read as an image (%1): its page shows an empty "
                               "placeholder")
                    .arg(reader.errorString()));
    }
}
