#include "packagebuilder.h"

#include "firmwareinfo.h"
#include "packagechecker.h"
#include "registeredpackage.h"
#include "wizardcontent.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <algorithm>

namespace {
constexpr int toolTimeout = 120000;

// Runs a tool to the end; on failure returns false with what it said.
bool runTool(
    const QString &program, const QStringList &arguments, const QString &workDir, QString *errors)
{
    QProcess process;
    process.setWorkingDirectory(workDir);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(toolTimeout);
    *errors = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        if (errors->isEmpty())
            *errors = finished ? QStringLiteral("exit code %1").arg(process.exitCode())
                               : process.errorString();
        return false;
    }
    return true;
}

std::unique_ptr<FirmwareInfo> readTag(const QString &path)
{
    QFile file(path);
    QByteArray tag;
    if (!file.open(QIODevice::ReadOnly) || !scanVersionTag(file, &tag))
        return nullptr;
    return parseVersionTag(tag);
}

// What the updater reads: the three package files, the page images and the translations; a
// name that merely looks like a translation is kept for the checker to explain.
bool readByUpdater(const QString &relative)
{
    const QString name = QFileInfo(relative).fileName();
    static const QStringList known = QStringList {
        QStringLiteral("device.xml"), QStringLiteral("firmware.bin"), QStringLiteral("firmware.md5")
    } + wizardImageNames();
    return known.contains(name) || name.contains(QLatin1String(".qm"), Qt::CaseInsensitive);
}

} // namespace

PackageBuilder::PackageBuilder(const QString &sourceDir, const QString &output)
    : sourceDir(QDir(sourceDir).absolutePath())
    , output(QFileInfo(output).absoluteFilePath())
{
}

void PackageBuilder::add(Diagnostic::Severity severity, const QString &file, const QString &message)
{
    found.append(Diagnostic { severity, file, 0, message });
}

bool PackageBuilder::build()
{
    found.clear();
    origin.clear();
    QTemporaryDir work;
    if (!work.isValid()) {
        add(Diagnostic::Error, output,
            QStringLiteral("no temporary folder: %1").arg(work.errorString()));
        return false;
    }
    const QString stageDir = work.filePath(QStringLiteral("stage"));
    if (!stage(stageDir))
        return false;

    if (!QDir().mkpath(QFileInfo(output).absolutePath())) {
        add(Diagnostic::Error, output, QStringLiteral("cannot create its folder"));
        return false;
    }
    const QString packed = output + QStringLiteral(".part");
    const auto removePacked = qScopeGuard([&packed] { QFile::remove(packed); });
    if (!pack(work.path(), stageDir, packed) || stopped())
        return false;

    {
        RegisteredPackage package(packed, QStringLiteral("/tarsel_build"));
        if (!package.isRegistered()) {
            add(Diagnostic::Error, output, QStringLiteral("rcc wrote no readable package"));
        } else {
            for (Diagnostic diagnostic : PackageChecker(QStringLiteral(":/tarsel_build")).run()) {
                diagnostic.file = origin.value(diagnostic.file, diagnostic.file);
                found.append(diagnostic);
            }
        }
    }
    compareWithPrevious(stageDir);
    if (stopped())
        return false;
    // Every finding counts, the builder's own too (a source replacing a shipped file).
    bool pass = std::none_of(found.cbegin(), found.cend(), [this](const Diagnostic &diagnostic) {
        return diagnostic.severity == Diagnostic::Error
            || (strict && diagnostic.severity == Diagnostic::Warning);
    });
    if (pass) {
        QFile::remove(output);
        if (!QFile::rename(packed, output)) {
            add(Diagnostic::Error, output, QStringLiteral("cannot be written"));
            pass = false;
        }
    }
    return pass;
}

bool PackageBuilder::stopped()
{
    if (!stopFlag || !*stopFlag)
        return false;
    add(Diagnostic::Error, output, QStringLiteral("interrupted: nothing written"));
    return true;
}

bool PackageBuilder::stage(const QString &stageDir)
{
    // Copying, hashing and packing it would only fail later, with misleading findings.
    const QString tooLarge
        = firmwareSizeError(QFileInfo(sourceDir + QStringLiteral("/firmware.bin")).size());
    if (!tooLarge.isEmpty()) {
        add(Diagnostic::Error, QStringLiteral("firmware.bin"), tooLarge);
        return false;
    }
    QStringList sources;
    QDirIterator it(sourceDir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (QFileInfo(path).absoluteFilePath() != output)
            sources.append(QDir(sourceDir).relativeFilePath(path));
    }
    sources.sort();

    bool ok = true;
    QByteArray suppliedMd5;
    // Copies first, so that a compiled source can be seen to replace a shipped file.
    for (const QString &relative : qAsConst(sources)) {
        if (stopped())
            return false;
        if (relative.endsWith(QLatin1String(".ts")))
            continue;
        // A stray file (an old data.rcc, notes) would only make every product's download larger.
        if (!readByUpdater(relative)) {
            add(strict ? Diagnostic::Error : Diagnostic::Warning, relative,
                QStringLiteral("is not read by the updater: left out of the package"));
            continue;
        }
        if (relative == QLatin1String("firmware.md5")) {
            QFile supplied(sourceDir + QLatin1Char('/') + relative);
            // Not empty even when the file is, so that it is compared all the same.
            suppliedMd5 = supplied.open(QIODevice::ReadOnly) ? supplied.readAll() + ' ' : " ";
            continue;
        }
        const QString target = stageDir + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (!QFile::copy(sourceDir + QLatin1Char('/') + relative, target)) {
            add(Diagnostic::Error, relative, QStringLiteral("cannot be copied"));
            ok = false;
        }
        origin.insert(relative, relative);
    }
    for (const QString &relative : qAsConst(sources)) {
        if (!relative.endsWith(QLatin1String(".ts")))
            continue;
        const QFileInfo info(relative);
        const QString compiled
            = (info.path() == QLatin1String(".") ? QString() : info.path() + QLatin1Char('/'))
            + info.completeBaseName() + QStringLiteral(".qm");
        if (origin.contains(compiled))
            add(Diagnostic::Warning, relative,
                QStringLiteral("replaces %1 of the source folder with its compiled texts")
                    .arg(compiled));
        origin.insert(compiled, relative);
        if (stopped())
            return false;
        if (!compileTranslation(relative, stageDir + QLatin1Char('/') + compiled))
            ok = false;
    }

    QFile firmware(stageDir + QStringLiteral("/firmware.bin"));
    if (firmware.exists()) {
        QCryptographicHash hash(QCryptographicHash::Md5);
        QFile md5(stageDir + QStringLiteral("/firmware.md5"));
        // The one layout the updater accepts: name, one space, the digest, no line break.
        const bool written = firmware.open(QIODevice::ReadOnly) && hash.addData(&firmware)
            && md5.open(QIODevice::WriteOnly)
            && md5.write("firmware.bin " + hash.result().toHex()) == 45;
        if (!written) {
            add(Diagnostic::Error, QStringLiteral("firmware.bin"),
                QStringLiteral("cannot be read for its checksum"));
            ok = false;
        } else if (!suppliedMd5.isEmpty() && !checkSuppliedChecksum(suppliedMd5, hash.result())) {
            ok = false;
        }
    }
    return ok;
}

bool PackageBuilder::checkSuppliedChecksum(const QByteArray &supplied, const QByteArray &digest)
{
    // Either layout, the updater's or md5sum's: what matters is that it names this image. A list
    // of several files (md5sum's output for a whole release) is read by the name on each line.
    static const QRegularExpression hex(QStringLiteral("(?:^|\\s)([0-9A-Fa-f]{32})(?=\\s)"));
    static const QRegularExpression named(QStringLiteral(
        "^\\s*(?:([0-9A-Fa-f]{32}) [ *](?:\\./)?(\\S.*?)|(?:\\./)?(\\S+) ([0-9A-Fa-f]{32}))\\s*$"));
    QString text = QString::fromLatin1(supplied);
    QStringList lines = text.split(QLatin1Char('\n'));
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                    [](const QString &line) { return line.trimmed().isEmpty(); }),
        lines.end());
    if (lines.size() > 1) {
        text.clear(); // none names firmware.bin: no MD5 for it
        for (const QString &line : lines) {
            const QRegularExpressionMatch entry = named.match(line);
            const bool md5sum = entry.hasMatch() && !entry.captured(1).isEmpty();
            if (entry.captured(md5sum ? 2 : 3) == QLatin1String("firmware.bin")) {
                text = entry.captured(md5sum ? 1 : 4) + QLatin1Char(' ');
                break;
            }
        }
    }
    const QRegularExpressionMatch match = hex.match(text);
    const QString actual = QString::fromLatin1(digest.toHex());
    const QString file = QStringLiteral("firmware.md5");
    if (!match.hasMatch()) {
        found.append(Diagnostic { Diagnostic::Error, file, 1,
            QStringLiteral("names no MD5 (32 hexadecimal digits); firmware.bin's is %1")
                .arg(actual) });
        return false;
    }
    if (match.captured(1).compare(actual, Qt::CaseInsensitive) != 0) {
        found.append(Diagnostic { Diagnostic::Error, file, 1,
            QStringLiteral("names the MD5 %1, but firmware.bin's is %2: this is not the image "
                           "that was handed over")
                .arg(match.captured(1), actual) });
        return false;
    }
    add(Diagnostic::Note, file,
        QStringLiteral("matches firmware.bin; written again in the layout the updater reads"));
    return true;
}

void PackageBuilder::compareWithPrevious(const QString &stageDir)
{
    if (previous.isEmpty())
        return;
    RegisteredPackage old(previous, QStringLiteral("/tarsel_previous"));
    const std::unique_ptr<FirmwareInfo> before
        = old.isRegistered() ? readTag(QStringLiteral(":/tarsel_previous/firmware.bin")) : nullptr;
    if (!before) {
        add(Diagnostic::Error, previous,
            QStringLiteral("is no package with a tagged firmware.bin to compare the release with"));
        return;
    }
    const std::unique_ptr<FirmwareInfo> now = readTag(stageDir + QStringLiteral("/firmware.bin"));
    if (!now)
        return; // the checker has said why
    const QString file = QStringLiteral("firmware.bin");
    if (now->hardwareId != before->hardwareId) {
        add(allowOtherHardware ? Diagnostic::Note : Diagnostic::Error, file,
            QStringLiteral("is for hardware id %1, the previous release %2 for %3: products "
                           "running that refuse it as other hardware%4")
                .arg(QString::number(now->hardwareId), previous,
                    QString::number(before->hardwareId),
                    allowOtherHardware ? QStringLiteral(" (allowed by --allow-other-hardware)")
                                       : QStringLiteral(" (--allow-other-hardware ships it)")));
    }
    if (QVersionNumber::compare(now->version, before->version) <= 0) {
        add(allowDowngrade ? Diagnostic::Note : Diagnostic::Error, file,
            QStringLiteral("version %1 is not newer than %2 of the previous release %3: products "
                           "running that count as up to date and are not updated%4")
                .arg(now->version.toString(), before->version.toString(), previous,
                    allowDowngrade ? QStringLiteral(" (allowed by --allow-downgrade)")
                                   : QStringLiteral(" (--allow-downgrade ships it)")));
    }
}

bool PackageBuilder::compileTranslation(const QString &source, const QString &target)
{
    if (lrelease.isEmpty()) {
        add(Diagnostic::Error, source,
            QStringLiteral("cannot be compiled: no lrelease found (give --lrelease or set "
                           "TARSEL_LRELEASE)"));
        return false;
    }
    QDir().mkpath(QFileInfo(target).absolutePath());
    QString errors;
    // The pages look their texts up by id, so only an id-based catalogue serves them.
    const bool ok = runTool(lrelease,
        { QStringLiteral("-idbased"), QStringLiteral("-silent"),
            sourceDir + QLatin1Char('/') + source, QStringLiteral("-qm"), target },
        sourceDir, &errors);
    if (!ok || !QFileInfo::exists(target)) {
        add(Diagnostic::Error, source, QStringLiteral("lrelease failed: %1").arg(errors));
        return false;
    }
    if (!errors.isEmpty())
        add(Diagnostic::Note, source, QStringLiteral("lrelease: %1").arg(errors));
    return true;
}

bool PackageBuilder::pack(const QString &workDir, const QString &stageDir, const QString &packed)
{
    if (rcc.isEmpty()) {
        add(Diagnostic::Error, output,
            QStringLiteral("cannot be packed: no rcc found (give --rcc or set TARSEL_RCC)"));
        return false;
    }
    QByteArray qrc = "<!DOCTYPE RCC><RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
    QDirIterator it(stageDir, QDir::Files, QDirIterator::Subdirectories);
    QStringList staged;
    while (it.hasNext())
        staged.append(QDir(stageDir).relativeFilePath(it.next()));
    staged.sort();
    for (const QString &relative : qAsConst(staged)) {
        const QByteArray name = relative.toHtmlEscaped().toUtf8();
        qrc += "<file alias=\"" + name + "\">stage/" + name + "</file>\n";
    }
    qrc += "</qresource>\n</RCC>\n";
    QFile qrcFile(workDir + QStringLiteral("/package.qrc"));
    if (!qrcFile.open(QIODevice::WriteOnly) || qrcFile.write(qrc) != qrc.size()) {
        add(Diagnostic::Error, output, QStringLiteral("cannot write the resource list"));
        return false;
    }
    qrcFile.close();
    QString errors;
    if (!runTool(rcc,
            // Stored as they are, the updater reads the firmware from the package's mapping in
            // bounded memory; a compressed one Qt would unpack whole into memory.
            { QStringLiteral("--binary"), QStringLiteral("--no-compress"),
                QStringLiteral("package.qrc"), QStringLiteral("-o"), packed },
            workDir, &errors)) {
        add(Diagnostic::Error, output, QStringLiteral("rcc failed: %1").arg(errors));
        QFile::remove(packed);
        return false;
    }
    return true;
}
