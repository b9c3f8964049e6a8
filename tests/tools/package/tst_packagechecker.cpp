#include "packagechecker.h"
#include "packagefixture.h"
#include "registeredpackage.h"
#include "testpackage.h"
#include "wizardcontent.h"

#include <QCryptographicHash>
#include <QtTest>

namespace {

// What a row does to the complete package.
struct Spoil
{
    QMap<QString, QByteArray> set;
    QStringList remove;
};

Spoil setting(const QString &name, const QByteArray &content)
{
    Spoil spoil;
    spoil.set.insert(name, content);
    return spoil;
}

Spoil removing(const QStringList &names)
{
    Spoil spoil;
    spoil.remove = names;
    return spoil;
}

// A firmware with its matching checksum, so that only the tag is at fault.
Spoil firmwareWith(const QByteArray &image)
{
    Spoil spoil;
    spoil.set.insert(QStringLiteral("firmware.bin"), image);
    spoil.set.insert(QStringLiteral("firmware.md5"), TestPackage::md5Line(image));
    return spoil;
}

Spoil taggedAs(const QByteArray &tag, const QString &xmlVersion)
{
    Spoil spoil = firmwareWith(TestPackage::firmware(tag));
    spoil.set.insert(QStringLiteral("device.xml"),
        PackageFixture::deviceXml(QStringLiteral("0x1a2b"), QStringLiteral("0x3c4d"), xmlVersion));
    return spoil;
}

QByteArray standardFirmware()
{
    return TestPackage::firmware("3-1.0.0.2");
}

QByteArray standardDigest()
{
    return QCryptographicHash::hash(standardFirmware(), QCryptographicHash::Md5).toHex();
}

QStringList toStrings(const QVector<Diagnostic> &diagnostics)
{
    QStringList lines;
    for (const Diagnostic &diagnostic : diagnostics)
        lines.append(diagnostic.toString());
    return lines;
}

} // namespace

Q_DECLARE_METATYPE(Spoil)

class PackageCheckerTest : public QObject
{
    Q_OBJECT

private:
    QVector<Diagnostic> check(const Spoil &spoil)
    {
        TestPackage package;
        PackageFixture::fill(package);
        for (auto it = spoil.set.cbegin(); it != spoil.set.cend(); ++it)
            package.setFile(it.key(), it.value());
        for (const QString &name : spoil.remove)
            package.removeFile(name);
        const QString file = package.build();
        const RegisteredPackage registered(file, QStringLiteral("/checked"));
        if (file.isEmpty() || !registered.isRegistered())
            return { Diagnostic { Diagnostic::Error, file, 0, QStringLiteral("fixture failed") } };
        return PackageChecker(QStringLiteral(":/checked")).run();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!PackageFixture::compiledTranslation("en_US", wizardTextIds()).isEmpty(),
            "lrelease does not work");
    }

    void acceptsTheCompletePackage()
    {
        const QStringList lines = toStrings(check(Spoil()));
        QVERIFY2(lines.isEmpty(), qPrintable(lines.join(QLatin1Char('\n'))));
    }

    void namesEachFault_data()
    {
        QTest::addColumn<Spoil>("spoil");
        // Each finding that must come out, as a piece of its text; nothing else may.
        QTest::addColumn<QStringList>("expected");

        const QByteArray xmlHead = "<?xml version=\"1.0\"?>\n<product>\n";
        const QByteArray device = "  <device name=\"N\" vid=\"0x1a2b\" pid=\"0x3c4d\" "
                                  "product_string=\"S\"/>\n";
        const QByteArray firmware = "  <firmware name=\"firmware.bin\" version=\"1.0.0.2\"/>\n";
        const QString xml = QStringLiteral("device.xml");

        QTest::addRow("device.xml breaks off")
            << setting(xml, xmlHead + device + "  <firmware name=\"firmware.bin\"\n")
            << QStringList { "device.xml:5: error: not well-formed",
                   "device.xml: error: no <firmware> element" };
        QTest::addRow("device.xml without device")
            << setting(xml, xmlHead + firmware + "</product>\n")
            << QStringList { "device.xml: error: no <device> element" };
        QTest::addRow("device repeated")
            << setting(xml, xmlHead + device + device + firmware + "</product>\n")
            << QStringList { "device.xml:4: warning: <device> repeated (first at line 3)" };
        QTest::addRow("firmware repeated")
            << setting(xml, xmlHead + device + firmware + firmware + "</product>\n")
            << QStringList { "device.xml:5: warning: <firmware> repeated (first at line 4)" };
        QTest::addRow("element Device in other case")
            << setting(
                   xml, xmlHead + device + "  <Device name=\"X\"/>\n" + firmware + "</product>\n")
            << QStringList { "device.xml:4: warning: element <Device> is ignored" };
        QTest::addRow("vid without prefix")
            << setting(xml, PackageFixture::deviceXml("1a2b"))
            << QStringList { "device.xml:3: error: device vid \"1a2b\" lacks its two-character "
                             "prefix (write 0x1a2b): the updater drops the first two characters "
                             "and would look for \"2b\" after VID_" };
        QTest::addRow("pid of three digits")
            << setting(xml, PackageFixture::deviceXml("0x1a2b", "0x3c4"))
            << QStringList { "device.xml:3: error: device pid \"0x3c4\" is not a two-character "
                             "prefix and four hexadecimal digits" };
        QTest::addRow("pid not hexadecimal")
            << setting(xml, PackageFixture::deviceXml("0x1a2b", "0x3g4d"))
            << QStringList { "device.xml:3: error: device pid \"0x3g4d\" is not" };
        QTest::addRow("vid absent")
            << setting(xml,
                   xmlHead + "  <device name=\"N\" pid=\"0x3c4d\" product_string=\"S\"/>\n"
                       + firmware + "</product>\n")
            << QStringList { "device.xml:3: error: device vid is missing or empty" };
        QTest::addRow("name empty")
            << setting(xml, PackageFixture::deviceXml("0x1a2b", "0x3c4d", "1.0.0.2", ""))
            << QStringList { "device.xml:3: error: device name is missing or empty" };
        QTest::addRow("product string empty")
            << setting(xml,
                   xmlHead
                       + "  <device name=\"N\" vid=\"0x1a2b\" pid=\"0x3c4d\" "
                         "product_string=\"\"/>\n"
                       + firmware + "</product>\n")
            << QStringList { "device.xml:3: error: device product_string is missing or empty" };
        QTest::addRow("no firmware element") << setting(xml, xmlHead + device + "</product>\n")
                                             << QStringList { "error: no <firmware> element" };

        QTest::addRow("firmware untagged") << firmwareWith(QByteArray(4096, 'x'))
                                           << QStringList { "firmware.bin: error: no version tag" };
        QByteArray reversed = QByteArray(200, 'x') + "Ver:3-1.0.0.2\x0d\x0a" + QByteArray(50, 'x');
        QTest::addRow("tag ended by 0D 0A")
            << firmwareWith(reversed)
            << QStringList { "firmware.bin: error: the version tag at byte 200 has no 0A 0D after "
                             "it (line feed, then carriage return); it ends with 0D 0A, the "
                             "reverse order" };
        QTest::addRow("hardware id not decimal")
            << taggedAs("x3-1.0.0.2", "1.0.0.2")
            << QStringList {
                   "firmware.bin: error: the hardware id \"x3\" of the tag \"x3-1.0.0.2\" "
                   "is not a decimal number"
               };
        QTest::addRow("no hardware id at all")
            << taggedAs("1.0.0.2", "1.0.0.2")
            << QStringList { "error: the hardware id \"1.0.0.2\" of the tag \"1.0.0.2\"" };
        QTest::addRow("five groups")
            << taggedAs("3-1.2.3.4.5", "1.2.3.4.5")
            << QStringList { "firmware.bin: error: the version \"1.2.3.4.5\" of the tag "
                             "\"3-1.2.3.4.5\" is not up to four groups" };
        QTest::addRow("two groups")
            << taggedAs("3-1.2", "1.2")
            << QStringList { "firmware.bin: warning: the version \"1.2\" has 2 groups, not four: "
                             "the updater shows it as 1.2.0.0" };
        QTest::addRow("a group not hexadecimal")
            << taggedAs("3-1.0.g.2", "1.0.g.2")
            << QStringList { "warning: the group \"g\" of the version \"1.0.g.2\" is not "
                             "hexadecimal: the updater shows the version as 1.0.0.2",
                   "warning: the updater reads the version groups as hexadecimal and shows the "
                   "version \"1.0.g.2\" as 1.0.0.2" };
        QTest::addRow("decimal reading differs")
            << taggedAs("3-2.10.0.0", "2.10.0.0")
            << QStringList { "firmware.bin: warning: the updater reads the version groups as "
                             "hexadecimal and shows the version \"2.10.0.0\" as 2.16.0.0" };
        QTest::addRow("device.xml version differs from the tag")
            << taggedAs("3-1.0.0.3", "1.0.0.2")
            << QStringList { "device.xml:4: warning: firmware version \"1.0.0.2\" differs from "
                             "the version \"1.0.0.3\" in the tag" };

        const QString md5 = QStringLiteral("firmware.md5");
        QTest::addRow("checksum with a line break")
            << setting(md5, TestPackage::md5Line(standardFirmware()) + "\n")
            << QStringList { "firmware.md5:1: error: ends with a line break" };
        QTest::addRow("checksum with a trailing blank") << setting(md5,
            standardDigest() + " ") << QStringList { "firmware.md5:1: error: ends with a blank" };
        QTest::addRow("md5sum layout")
            << setting(md5, standardDigest() + "  firmware.bin\n")
            << QStringList { "firmware.md5:1: error: has the md5sum layout" };
        QTest::addRow("wrong checksum")
            << setting(md5, "firmware.bin 0123456789abcdef0123456789abcdef")
            << QStringList { "firmware.md5:1: error: names the checksum "
                             "0123456789abcdef0123456789abcdef, but the MD5 of firmware.bin is "
                   + standardDigest() };
        QTest::addRow("empty checksum file")
            << setting(md5, QByteArray()) << QStringList { "firmware.md5:1: error: is empty" };
        QTest::addRow("checksum file missing")
            << removing({ md5 }) << QStringList { "firmware.md5: error: missing" };
        QTest::addRow("firmware missing") << removing({ QStringLiteral("firmware.bin") })
                                          << QStringList { "firmware.bin: error: missing" };
        QTest::addRow("device.xml missing")
            << removing({ xml }) << QStringList { "device.xml: error: missing" };

        const QByteArray english = PackageFixture::compiledTranslation("en_US", wizardTextIds());
        Spoil fallbackDeeper = removing({ QStringLiteral("en_US.qm") });
        fallbackDeeper.set.insert(QStringLiteral("texts/en_US.qm"), english);
        QTest::addRow("en_US only in a subfolder")
            << fallbackDeeper
            << QStringList { "en_US.qm: error: missing at the top level: users whose language "
                             "has no translation see raw text ids (found texts/en_US.qm" };
        const QByteArray french = PackageFixture::compiledTranslation("fr_FR", wizardTextIds());
        QTest::addRow("suffix in capitals") << setting(QStringLiteral("fr_FR.QM"),
            french) << QStringList { "fr_FR.QM: warning: the suffix \"QM\" is not exactly \"qm\"" };
        QTest::addRow("backup suffix") << setting(QStringLiteral("fr_FR.qm.old"),
            french) << QStringList { "fr_FR.qm.old: warning: the suffix \"old\"" };
        QTest::addRow("base name without country, no language")
            << setting(QStringLiteral("qt.qm"), french)
            << QStringList { "qt.qm: warning: the base name \"qt\" is not language_COUNTRY: the "
                             "updater never chooses it" };
        QTest::addRow("base name without country")
            << setting(QStringLiteral("fr.qm"), french)
            << QStringList { "fr.qm: warning: the base name \"fr\" has no \"_\" and country" };
        QTest::addRow("prefixed name")
            << setting(QStringLiteral("app_fr_FR.qm"), french)
            << QStringList { "app_fr_FR.qm: warning: the base name \"app_fr_FR\" reads as the "
                             "language \"app\": the updater never chooses it (name it fr_FR.qm)" };
        QTest::addRow("translation source packed")
            << setting(QStringLiteral("fr_FR.ts"),
                   PackageFixture::translationSource("fr_FR", wizardTextIds()))
            << QStringList { "fr_FR.ts: warning: is a translation source" };
        QStringList someIds = wizardTextIds();
        someIds.removeAll(QStringLiteral("id-page3-title"));
        someIds.removeAll(QStringLiteral("id-page5-quit"));
        QTest::addRow("translation lacking two ids")
            << setting(QStringLiteral("texts/de_DE.qm"),
                   PackageFixture::compiledTranslation("de_DE", someIds))
            << QStringList { "texts/de_DE.qm: warning: no text for \"id-page3-title\"",
                   "texts/de_DE.qm: warning: no text for \"id-page5-quit\"" };
        QTest::addRow("translation not compiled")
            << setting(QStringLiteral("de_DE.qm"), QByteArray("not a catalogue"))
            << QStringList { "de_DE.qm: error: is not a compiled translation" };

        const QString image = QStringLiteral("page3_detail_view.png");
        Spoil imageDeeper = removing({ image });
        imageDeeper.set.insert(QStringLiteral("images/") + image, PackageFixture::png(4, 4));
        QTest::addRow("image missing")
            << removing({ image })
            << QStringList { "page3_detail_view.png: error: missing: its page shows an empty" };
        QTest::addRow("image in a subfolder")
            << imageDeeper
            << QStringList { "page3_detail_view.png: error: missing: its page shows an empty 100 x "
                             "100 placeholder (found images/page3_detail_view.png" };
        QTest::addRow("image unreadable")
            << setting(QStringLiteral("page5_failure_general_view.png"), QByteArray(300, 'x'))
            << QStringList { "page5_failure_general_view.png: error: cannot be read as an image" };
    }
    void namesEachFault()
    {
        QFETCH(Spoil, spoil);
        QFETCH(QStringList, expected);
        const QStringList lines = toStrings(check(spoil));
        const QString all = lines.join(QLatin1Char('\n'));
        for (const QString &piece : expected) {
            QVERIFY2(lines.filter(piece).size() == 1,
                qPrintable(QStringLiteral("expected once: %1\nfound:\n%2").arg(piece, all)));
        }
        QVERIFY2(lines.size() == expected.size(), qPrintable(all));
    }

    void tellsAboutCataloguesWithoutIds()
    {
        const QString context = QStringLiteral("<context>\n    <name>Page</name>\n");
        QByteArray source = PackageFixture::translationSource("de_DE", { "Next" });
        source.replace("<context>\n    <name></name>\n", context.toUtf8());
        source.replace(" id=\"Next\"", "");
        const QByteArray qm = PackageFixture::compileTranslation(source, {});
        QVERIFY(!qm.isEmpty());

        const QVector<Diagnostic> found = check(setting(QStringLiteral("de_DE.qm"), qm));
        int missing = 0;
        bool noted = false;
        for (const Diagnostic &diagnostic : found) {
            missing += diagnostic.severity == Diagnostic::Warning ? 1 : 0;
            noted = noted
                || (diagnostic.severity == Diagnostic::Note
                    && diagnostic.message.contains(QLatin1String("lrelease -idbased")));
        }
        QCOMPARE(missing, wizardTextIds().size());
        QVERIFY(noted);
    }
};

QTEST_GUILESS_MAIN(PackageCheckerTest)
#include "tst_packagechecker.moc"
