#include "core.h"
#include "fakedetector.h"
#include "packagefixture.h"
#include "productresource.h"
#include "registeredpackage.h"
#include "testpackage.h"
#include "wizardcontent.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run runTool(const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TARSEL_PACKAGE_TOOL), arguments);
    Run run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// A source folder as a release maker keeps it: translation sources, a shipped compiled
// translation in a subfolder, and a checksum in the md5sum layout that the builder replaces.
QMap<QString, QByteArray> sourceFolderFiles()
{
    QMap<QString, QByteArray> files = PackageFixture::completeFiles();
    files.remove(QStringLiteral("en_US.qm"));
    files.insert(QStringLiteral("en_US.ts"),
        PackageFixture::translationSource(QStringLiteral("en_US"), wizardTextIds()));
    files.insert(QStringLiteral("de_DE.ts"),
        PackageFixture::translationSource(QStringLiteral("de_DE"), wizardTextIds()));
    files.insert(QStringLiteral("more/fr_FR.qm"),
        PackageFixture::compiledTranslation(QStringLiteral("fr_FR"), wizardTextIds()));
    files.insert(
        QStringLiteral("firmware.md5"), "d41d8cd98f00b204e9800998ecf8427e  firmware.bin\n");
    return files;
}

} // namespace

class PackageToolTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    // Builds the source folder with these changes into *output; exit code -1 when the folder
    // cannot be written.
    Run build(const QMap<QString, QByteArray> &changes, QString *output)
    {
        static int count = 0;
        const QString source = dir.filePath(QStringLiteral("source%1").arg(++count));
        QMap<QString, QByteArray> files = sourceFolderFiles();
        for (auto it = changes.cbegin(); it != changes.cend(); ++it)
            files.insert(it.key(), it.value());
        if (!PackageFixture::writeFolder(source, files))
            return Run();
        *output = dir.filePath(QStringLiteral("out%1/data.rcc").arg(count));
        return runTool({ QStringLiteral("build"), source, QStringLiteral("-o"), *output });
    }

private slots:
    void exitCodesFollowTheFindings_data()
    {
        QTest::addColumn<QString>("package"); // which file %1 stands for
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");

        const QStringList check { QStringLiteral("check"), QStringLiteral("%1") };
        const QStringList strict = check + QStringList { QStringLiteral("--strict") };
        QTest::addRow("clean package") << "clean" << check << 0 << "0 errors, 0 warnings";
        QTest::addRow("an error") << "error" << check << 1 << "1 error, 0 warnings";
        QTest::addRow("a warning") << "warning" << check << 0 << "0 errors, 1 warning";
        QTest::addRow("a warning, strict") << "warning" << strict << 1 << "0 errors, 1 warning";
        QTest::addRow("not a package")
            << "garbage" << check << 1 << "error: not a compiled resource file";
        QTest::addRow("no such file") << "missing" << check << 2 << "is not a file";
        QTest::addRow("no command") << "clean" << QStringList() << 2 << "usage:";
        QTest::addRow("unknown command")
            << "clean" << QStringList { "verify", "%1" } << 2 << "unknown command verify";
        QTest::addRow("unknown option")
            << "clean" << QStringList { "check", "%1", "--fast" } << 2 << "Unknown option";
        QTest::addRow("build without output")
            << "clean" << QStringList { "build", dir.path() } << 2 << "build needs -o FILE";
    }
    void exitCodesFollowTheFindings()
    {
        QFETCH(QString, package);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, said);

        TestPackage fixture;
        PackageFixture::fill(fixture);
        if (package == QLatin1String("error"))
            fixture.setFile(QStringLiteral("device.xml"), PackageFixture::deviceXml("1a2b"));
        if (package == QLatin1String("warning"))
            fixture.setFile(QStringLiteral("firmware.bin.qm.txt"), QByteArray("x"));
        QString file = fixture.build();
        QVERIFY(!file.isEmpty());
        if (package == QLatin1String("garbage")) {
            QFile garbage(file);
            QVERIFY(garbage.open(QIODevice::WriteOnly));
            garbage.write(QByteArray(1000, 'g'));
        }
        if (package == QLatin1String("missing"))
            file = dir.filePath(QStringLiteral("nothing.rcc"));
        for (QString &argument : arguments)
            argument.replace(QStringLiteral("%1"), file);

        const Run run = runTool(arguments);
        QVERIFY2(run.err.contains(said), qPrintable(run.err));
        QCOMPARE(run.exitCode, exitCode);
    }

    void buildsAPackageTheUpdaterAccepts()
    {
        QString output;
        const Run built = build({}, &output);
        QVERIFY2(built.exitCode == 0, qPrintable(built.err));
        QVERIFY(built.err.contains(
            QLatin1String("firmware.md5: note: replaced by the checksum the builder writes")));
        QVERIFY(QFileInfo::exists(output));
        const Run recheck = runTool({ QStringLiteral("check"), output });
        QCOMPARE(recheck.err, QStringLiteral("0 errors, 0 warnings\n"));
        QCOMPARE(recheck.exitCode, 0);

        const RegisteredPackage registered(output, ProductResource::packageRoot());
        QVERIFY(registered.isRegistered());
        auto *resource = new ProductResource;
        QVERIFY(resource->load());
        QCOMPARE(QFileInfo(ProductResource::translationFileFor(QStringLiteral("de_AT"))).fileName(),
            QStringLiteral("de_DE.qm"));
        QCOMPARE(ProductResource::translationFileFor(QStringLiteral("fr_FR")),
            QStringLiteral(":/tarsel_external/more/fr_FR.qm"));
        QTranslator german;
        QVERIFY(german.load(ProductResource::translationFileFor(QStringLiteral("de_DE")), QString(),
            QString(), QString()));
        QCOMPARE(german.translate(nullptr, "id-page5-quit"), QStringLiteral("de_DE id-page5-quit"));

        // The product holds older firmware of the same hardware: the updater's own check passes.
        QTemporaryDir volume;
        QFile old(volume.filePath(QStringLiteral("firmware.bin")));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(TestPackage::firmware("3-1.0.0.1"));
        old.close();
        const auto detector = std::make_shared<FakeDetectorState>();
        Core core(FakeDetector::newDeviceDetector(detector), nullptr);
        QVERIFY(core.initialize(resource));
        QCOMPARE(core.newFirmwareVersion(), QStringLiteral("1.0.0.2"));
        QSignalSpy found(&core, &Core::deviceFound);
        QSignalSpy checked(&core, &Core::firmwareChecked);
        connect(&core, &Core::deviceFound, &core, [&core](bool ok) {
            if (ok)
                core.checkFirmware();
        });
        core.findDevice();
        QVERIFY(detector->report(volume.path() + QLatin1Char('/')));
        QVERIFY(!checked.isEmpty() || checked.wait(10000));
        QCOMPARE(found.at(0).at(0).toBool(), true);
        QCOMPARE(checked.at(0).at(0).toBool(), true);
        QCOMPARE(core.errorCode(), ErrorCode::NoError);
    }

    void buildRefusesAFaultyFolder_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::addColumn<bool>("written");

        QTest::addRow("vid without prefix")
            << "device.xml" << PackageFixture::deviceXml("1a2b") << QStringList() << 1
            << "device.xml:3: error: device vid \"1a2b\" lacks its two-character prefix" << false;
        QTest::addRow("broken translation source")
            << "de_DE.ts" << QByteArray("<TS><context><message") << QStringList() << 1
            << "de_DE.ts: error: lrelease failed" << false;
        QByteArray partial
            = PackageFixture::translationSource(QStringLiteral("de_DE"), wizardTextIds().mid(1));
        QTest::addRow("source lacking an id, named as the source")
            << "de_DE.ts" << partial << QStringList() << 0
            << "de_DE.ts: warning: no text for \"id-application-title\"" << true;
        QTest::addRow("source lacking an id, strict")
            << "de_DE.ts" << partial << QStringList { "--strict" } << 1
            << "de_DE.ts: warning: no text for \"id-application-title\"" << false;
        QTest::addRow("compiled file shipped beside its source")
            << "de_DE.qm" << QByteArray("stale") << QStringList() << 0
            << "de_DE.ts: warning: replaces de_DE.qm of the source folder" << true;
    }
    void buildRefusesAFaultyFolder()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QFETCH(bool, written);

        QTemporaryDir work;
        QMap<QString, QByteArray> files = sourceFolderFiles();
        files.insert(file, content);
        QVERIFY(PackageFixture::writeFolder(work.filePath("src"), files));
        const QString output = work.filePath(QStringLiteral("data.rcc"));
        // A refused build leaves the earlier package alone.
        QFile earlier(output);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier");
        earlier.close();

        const Run run = runTool(QStringList { QStringLiteral("build"), work.filePath("src"),
                                    QStringLiteral("-o"), output }
            + options);
        QVERIFY2(run.err.contains(said), qPrintable(run.err));
        QCOMPARE(run.exitCode, exitCode);
        QFile result(output);
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(result.readAll() != "earlier", written);
        QVERIFY(!QFileInfo::exists(output + QStringLiteral(".part")));
    }

    void infoShowsTheUpdatersChoices()
    {
        QMap<QString, QByteArray> changes;
        changes.insert(QStringLiteral("page2_general_view.png"), PackageFixture::png(320, 240));
        QString package;
        QCOMPARE(build(changes, &package).exitCode, 0);
        const Run run = runTool({ QStringLiteral("info"), package });
        QCOMPARE(run.exitCode, 0);
        const QStringList expected {
            "  name            Tarsel Test Drive",
            "  vid             0x1a2b  (searched as VID_1a2b)",
            "  hardware id     3",
            "  version         1.0.0.2  (as the updater shows it; tag text \"1.0.0.2\")",
            "  firmware.md5    accepted",
            "  more/fr_FR.qm   25 of 25 texts",
            "  de_AT   -> de_DE.qm  (same language)",
            "  fr_FR   -> more/fr_FR.qm  (exact)",
            "  ja_JP   -> en_US.qm  (fallback)",
            "  page2_general_view.png            320 x 240",
        };
        const QStringList lines = run.out.split(QLatin1Char('\n'));
        for (const QString &line : expected)
            QVERIFY2(lines.contains(line), qPrintable(line + QStringLiteral("\n\n") + run.out));
    }

    void infoMeasuresTheWindowPerTranslation()
    {
        // A long German page-3 description needs more room than the short texts of the others,
        // which leave the floor; so the height follows the translation installed per line.
        QByteArray german
            = PackageFixture::translationSource(QStringLiteral("de_DE"), wizardTextIds());
        const QByteArray longText
            = QByteArray("Ein langer Satz, der die Seite wachsen l\xc3\xa4sst. ").repeated(40);
        german.replace("de_DE id-page3-description", longText);
        QMap<QString, QByteArray> changes;
        changes.insert(QStringLiteral("de_DE.ts"), german);
        QString package;
        QCOMPARE(build(changes, &package).exitCode, 0);
        const Run run = runTool({ QStringLiteral("info"), package });
        QCOMPARE(run.exitCode, 0);

        const QString section = run.out.section(QStringLiteral("Minimum window height"), 1);
        QVERIFY2(section.contains(QLatin1String("font            Lato Regular, embedded")),
            qPrintable(run.out));
        QVERIFY2(section.contains(QLatin1String(" dpi logical")), qPrintable(section));
        QHash<QString, int> heights;
        const QRegularExpression line(QStringLiteral("^  (\\S+(?: \\S+)?)\\s+(\\d+) px$"),
            QRegularExpression::MultilineOption);
        for (auto it = line.globalMatch(section); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            heights.insert(match.captured(1), match.captured(2).toInt());
        }
        QVERIFY2(heights.size() == 4, qPrintable(section));
        QVERIFY2(heights.value("de_DE.qm") > heights.value("en_US.qm"), qPrintable(section));
        QCOMPARE(heights.value("en_US.qm"), 480);
        QCOMPARE(heights.value("(raw ids)"), 480);
    }
};

QTEST_GUILESS_MAIN(PackageToolTest)
#include "tst_packagetool.moc"
