// tarsel-package as a release maker runs it: `check` on spoiled packages, `build` and `info`.
#include "packagechecker.h"
#include "testpackage.h"
#include "wizardcontent.h"

#include <QtTest>

namespace {
struct Run
{
    int exitCode = -1;
    QString out, err;
};

Run tool(const QStringList &arguments, const QStringList &environment = {},
    const QString &outputFile = QString())
{
    QProcess process;
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const QString &variable : environment)
        variables.insert(variable.section('=', 0, 0), variable.section('=', 1));
    process.setProcessEnvironment(variables);
    if (!outputFile.isEmpty())
        process.setStandardOutputFile(outputFile);
    process.start(TARSEL_PACKAGE_TOOL, arguments);
    process.waitForFinished(120000);
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        process.readAllStandardOutput(), process.readAllStandardError() };
}

QByteArray ts(const QString &language, const QStringList &ids = wizardTextIds())
{
    QByteArray ts = "<TS language=\"" + language.toUtf8() + "\"><context><name/>\n";
    for (const QString &id : ids)
        ts += "<message id=\"" + id.toUtf8() + "\"><source/><translation>" + language.toUtf8() + ' '
            + id.toUtf8() + "</translation></message>\n";
    return ts + "</context></TS>\n";
}

using Files = QMap<QString, QByteArray>;

QString write(const QString &dir, const Files &files)
{
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QFile file(dir + '/' + it.key());
        if (!QDir().mkpath(QFileInfo(file).path()) || !file.open(QIODevice::WriteOnly)
            || file.write(it.value()) != it.value().size())
            return QString();
    }
    return dir;
}
QByteArray qm(const QByteArray &source)
{
    QTemporaryDir dir;
    write(dir.path(), { { "t.ts", source } });
    QProcess::execute(TARSEL_LRELEASE,
        { "-idbased", "-silent", dir.filePath("t.ts"), "-qm", dir.filePath("qm") });
    QFile compiled(dir.filePath("qm"));
    return compiled.open(QIODevice::ReadOnly) ? compiled.readAll() : QByteArray();
}

// A package every release rule accepts: TestPackage's, the fallback texts and the page images.
Files completeFiles()
{
    const QByteArray firmware = TestPackage::firmware("3-1.0.0.2");
    Files files { { "device.xml", TestPackage::deviceXml() }, { "firmware.bin", firmware },
        { "firmware.md5", TestPackage::md5Line(firmware) }, { "en_US.qm", qm(ts("en_US")) } };
    for (const QString &image : wizardImageNames()) // two pixels, as PNG
        files.insert(image,
            QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAIAAAABCAYAAAD0In+"
                                   "KAAAADklEQVR42mMwaGj4D8IAEUMEXxSrAoUAAAAASUVORK5CYII="));
    return files;
}
} // namespace

class TestPackageTool : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void checkNamesEachFault_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content"); // null: removed
        QTest::addColumn<QStringList>("expected"); // a piece of each line; nothing else may come
        const auto add = [](const char *name, const QString &file, const QByteArray &content,
                             const QStringList &expected) {
            QTest::newRow(name) << file << content << expected;
        };
        const QByteArray good = TestPackage::deviceXml("N");
        const QString xml = "device.xml", md5 = "firmware.md5";
        add("clean", "", "", {});
        add("device.xml breaks off", xml, good.left(good.lastIndexOf(" version")) + '\n',
            { "device.xml:5: error: not well-formed", "device.xml: error: no <firmware>" });
        add("no device", xml, QByteArray(good).replace("<device", "<devices"),
            { "device.xml: error: no <device>" });
        add("vid without prefix, pid of three digits", xml,
            TestPackage::deviceXml("N", "1a2b", "0x3c4"),
            { "device.xml:3: error: device vid \"1a2b\" lacks its two-character prefix",
                "device.xml:3: error: device pid \"0x3c4\" is not a two-character prefix" });
        add("name and vid empty", xml, TestPackage::deviceXml("", ""),
            { "device.xml:3: error: device name", "device vid is missing" });
        add("product string empty", xml, QByteArray(good).replace("N Update", ""),
            { "device.xml:3: error: device product_string is missing" });
        add("untagged", "firmware.bin", QByteArray(99, 'x'), { "firmware.bin: error: no version" });
        add("tag ended by 0D 0A", "firmware.bin", QByteArray(200, 'x') + "Ver:3-1.0.0.2\x0d\x0a",
            { "(line feed, then carriage return); it ends with 0D 0A" });
        add("hardware id not decimal", "firmware.bin", TestPackage::firmware("x3-1.0.0.2"),
            { "error: the hardware id \"x3\" of the tag \"x3-1.0.0.2\" is not a decimal" });
        add("two groups", "firmware.bin", TestPackage::firmware("3-1.2"),
            { "the version \"1.2\" has 2 groups, not four: the updater shows it as 1.2.0.0",
                "device.xml:4: warning: firmware version \"1.0.0.2\" differs from the version "
                "\"1.2\"" });
        add("decimal reading differs", "firmware.bin", TestPackage::firmware("3-2.10.0.0"),
            { "shows the version \"2.10.0.0\" as 2.16.0.0",
                "differs from the version \"2.10.0.0\"" });
        const QByteArray digest = completeFiles().value(md5).mid(13);
        add("checksum and a line break", md5, "firmware.bin " + digest + "\n",
            { "firmware.md5:1: error: ends with a line break" });
        add("md5sum layout", md5, digest + "  firmware.bin\n", { "error: has the md5sum layout" });
        add("wrong checksum", md5, "firmware.bin " + QByteArray(32, 'a'),
            { QByteArray(32, 'a') + ", but the MD5 of firmware.bin is " + digest });
        for (const char *name : { "firmware.md5", "firmware.bin", "device.xml" })
            add(name, name, QByteArray(), { QString(name) + ": error: missing" });
        add("en_US only in a subfolder", "en_US.qm>t/en_US.qm", "",
            { "translation see raw text ids (found t/en_US.qm" });
        const QByteArray french = qm(ts("fr_FR"));
        add("suffix in capitals", "fr_FR.QM", french, { "fr_FR.QM: warning: the suffix \"QM\"" });
        add("prefixed name", "app_fr_FR.qm", french,
            { "\"app_fr_FR\" reads as the language \"app\": the updater never chooses it" });
        add("not compiled", "de_DE.qm", "x", { "de_DE.qm: error: is not a compiled translation" });
        add("image unreadable", "page1_detail_view.png", "x",
            { "page1_detail_view.png: error: cannot be read as an image" });
    }
    void checkNamesEachFault()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, expected);
        Files files = completeFiles();
        if (file == "firmware.bin" && !content.isNull()) {
            files.insert(file, content);
            files.insert("firmware.md5", TestPackage::md5Line(content));
        } else if (file.contains('>')) { // moved there
            files.insert(file.section('>', 1), files.take(file.section('>', 0, 0)));
        } else if (!file.isEmpty()) {
            files.insert(file, content);
            if (content.isNull())
                files.remove(file);
        }
        TestPackage package;
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            package.setFile(it.key(), it.value());
        const QString built = package.build();
        const Run run = tool({ "check", built });
        QStringList lines = run.err.split('\n', Qt::SkipEmptyParts);
        lines.removeLast(); // the summary
        for (const QString &piece : expected)
            QVERIFY2(lines.filter(piece).size() == 1, qPrintable(piece + "\nfound:\n" + run.err));
        QVERIFY2(lines.size() == expected.size(), qPrintable(run.err));
        const int errors = lines.filter(": error: ").size();
        QCOMPARE(run.exitCode, errors > 0 ? 1 : 0);
        const bool warned = !lines.filter(": warning: ").isEmpty();
        QCOMPARE(tool({ "--strict", "check", built }).exitCode, errors || warned ? 1 : 0);
    }

    // The release's own faults that only the builder can see, and the rules it shares with check
    // that a release maker first meets there.
    void buildRefuses_data()
    {
        QTest::addColumn<Files>("changed"); // null: removed; "sparse": a hole one byte too large
        QTest::addColumn<QByteArray>("previousTag"); // the last release's firmware; "-": no package
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("expected"); // a piece of each error; nothing else may come
        const auto add = [](const char *name, const Files &changed, const QByteArray &previousTag,
                             const QStringList &arguments, const QStringList &expected) {
            QTest::newRow(name) << changed << previousTag << arguments << expected;
        };
        const QByteArray digest = completeFiles().value("firmware.md5").mid(13);
        add("md5 of another image", { { "firmware.md5", "firmware.bin " + QByteArray(32, 'a') } },
            "", {},
            { "firmware.md5:1: error: names the MD5 " + QByteArray(32, 'a')
                + ", but firmware.bin's is " + digest });
        add("md5 naming nothing", { { "firmware.md5", digest.left(31) } }, "", {},
            { "firmware.md5:1: error: names no MD5" });
        add("firmware of 4 GiB", { { "firmware.bin", "sparse" } }, "", {},
            { "firmware.bin: error: is 4294967296 bytes" });
        // The checker's findings on what was packed, and the builder's own, side by side.
        add("a language lacks a text and drops a %1, a stray file, no previous package",
            { { "en_US.qm", qm(ts("en_US").replace("en_US id-page2-title", "%1 en_US")) },
                { "de_DE.qm", qm(ts("de_DE", wizardTextIds().mid(1))) },
                { "old/data.rcc", "an earlier package" } },
            "-", { "--strict" },
            { "de_DE.qm: error: no text for \"id-application-title\"",
                "de_DE.qm: error: the text for \"id-page2-title\" lacks the \"%1\"",
                "old/data.rcc: error: is not read by the updater",
                "error: is no package with a tagged firmware" });
        add("previous older", {}, "3-1.0.0.1", {}, {});
        add("previous equal", {}, "3-1.0.0.2", {},
            { "firmware.bin: error: version 1.0.0.2 is not newer than 1.0.0.2 of the previous" });
        add("downgrade allowed, not other hardware", {}, "4-1.0.0.3", { "--allow-downgrade" },
            { "firmware.bin: error: is for hardware id 3, the previous release" });
        add("both allowed", {}, "4-1.0.0.3", { "--allow-downgrade", "--allow-other-hardware" }, {});
        add("md5sum's list of the whole release",
            { { "firmware.md5",
                QByteArray(32, 'a') + "  notes.txt\n" + digest + "  firmware.bin\n" } },
            "", {}, {});
        // The stand-in for rcc leaves a part-written package and presses Ctrl+C.
        add("Ctrl+C while packing", {}, "", { "--rcc", "interrupting-rcc" },
            { "error: interrupted: nothing written" });
    }
    void buildRefuses()
    {
        QFETCH(Files, changed);
        QFETCH(QByteArray, previousTag);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, expected);
        Files files = completeFiles();
        for (auto it = changed.cbegin(); it != changed.cend(); ++it)
            files.insert(it.key(), it.value());
        QTemporaryDir work;
        const QString source = write(work.filePath("src"), files);
        if (arguments.contains("interrupting-rcc")) {
            arguments.last()
                = write(work.path(),
                      { { "rcc", "#!/bin/sh\n: >\"$4\"\nkill -INT $PPID\nsleep 1\n" } })
                + "/rcc";
            QVERIFY(QFile::setPermissions(arguments.last(), QFile::ReadOwner | QFile::ExeOwner));
        }
        if (changed.value("firmware.bin") == "sparse")
            QVERIFY(QFile::resize(source + "/firmware.bin", maxFirmwareSize + 1));
        TestPackage previous;
        previous.setFirmware(TestPackage::firmware(previousTag));
        if (!previousTag.isEmpty())
            arguments << "--previous"
                      << (previousTag == "-"
                                 ? write(work.path(), { { "old.rcc", "x" } }) + "/old.rcc"
                                 : previous.build());
        const QString output = work.filePath("data.rcc");
        // The staged copy goes to TMPDIR, which must be empty again whatever happened.
        QVERIFY(QDir().mkpath(work.filePath("tmp")));
        const Run run = tool(QStringList { "build", source, "-o", output } + arguments,
            { "TMPDIR=" + work.filePath("tmp") });
        QCOMPARE(QDir(work.filePath("tmp")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
            QStringList());
        QVERIFY(!QFileInfo::exists(output + ".part"));
        const QStringList errors = run.err.split('\n').filter(": error: ");
        for (const QString &piece : expected)
            QVERIFY2(errors.filter(piece).size() == 1, qPrintable(piece + "\nfound:\n" + run.err));
        QVERIFY2(errors.size() == expected.size(), qPrintable(run.err));
        QCOMPARE(run.exitCode,
            expected.isEmpty()                             ? 0
                : expected.first().contains("interrupted") ? 130
                                                           : 1);
        QCOMPARE(QFileInfo::exists(output), expected.isEmpty());
    }

    // A release maker's folder: sources, a stale compiled file beside its source, a translation in
    // a subfolder, a checksum in the md5sum layout.
    void buildMakesWhatTheUpdaterReads()
    {
        Files files = completeFiles();
        files.remove("en_US.qm");
        files.insert("en_US.ts", ts("en_US"));
        // A long German text needs more room than the others, which leave the floor.
        files.insert("de_DE.ts",
            ts("de_DE").replace("de_DE id-page3-description",
                QByteArray("Ein langer Satz, der die Seite wachsen l\xc3\xa4sst. ").repeated(40)));
        files.insert("de_DE.qm", "stale");
        files.insert("more/fr_FR.qm", qm(ts("fr_FR")));
        files.insert("firmware.md5", files.value("firmware.md5").mid(13) + "  firmware.bin\n");
        const QString source = write(dir.filePath("src"), files),
                      package = dir.filePath("data.rcc");
        QVERIFY(!write(dir.path(), { { "data.rcc", "earlier" } }).isEmpty());
        // Strict, the warnings keep the earlier package; they name the file to mend.
        const QStringList build { "build", source, "-o", package };
        const Run refused = tool(build + QStringList("--strict"));
        QVERIFY2(refused.err.contains("de_DE.ts: warning: replaces de_DE.qm of the source folder"),
            qPrintable(refused.err));
        QCOMPARE(refused.exitCode, 1);
        QFile earlier(package);
        QVERIFY(earlier.open(QIODevice::ReadOnly) && earlier.readAll() == "earlier");
        const Run built = tool(build);
        QCOMPARE(built.exitCode, 0);
        QVERIFY(built.err.contains("firmware.md5: note: matches firmware.bin"));
        QVERIFY(!QFileInfo::exists(package + ".part"));
        QCOMPARE(tool({ "check", package }).err.section('\n', -2), "0 errors, 0 warnings\n");
        // A display that cannot be reached (a stale DISPLAY) does not stop it.
        const Run info = tool({ "info", package }, { "DISPLAY=:4093", "QT_QPA_PLATFORM=" });
        QCOMPARE(info.exitCode, 0);
        for (const char *line : { "  firmware.md5    accepted", "  de_DE.qm        62 of 62 texts",
                 "  more/fr_FR.qm   62 of 62 texts", "  de_AT   -> de_DE.qm  (same language)",
                 "  fr_FR   -> more/fr_FR.qm  (exact)", "  ja_JP   -> en_US.qm  (fallback)",
                 "  en_US.qm        480 px", "  (raw ids)       480 px" })
            QVERIFY2(info.out.split('\n').contains(line), qPrintable(line + ("\n" + info.out)));
        QVERIFY(!info.out.contains("  de_DE.qm        480 px")); // the long text needs more
        QCOMPARE(tool({ "check", source + "/device.xml" }).exitCode, 1);
        QCOMPARE(tool({ "verify", package }).exitCode, 2);
        QCOMPARE(tool({ "--version" }).out, "tarsel-package " TARSEL_VERSION "\n");
        QCOMPARE(tool({ "--version" }, {}, "/dev/full").exitCode, 1);
        // An allowance without the release it compares with would allow nothing.
        QCOMPARE(tool(build + QStringList("--allow-downgrade")).exitCode, 2);
    }
};

QTEST_GUILESS_MAIN(TestPackageTool)
#include "tst_packagetool.moc"
