// The package as the updater reads it (the checksums and the system locale: elsewhere).
#include "productresource.h"
#include "testpackage.h"

#include <QtTest>

class TestProduct : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void readsTheDescription_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("expected"); // name vid pid product_string, firmware name version
        const QByteArray device = "<device name=\"N\" vid=\"V\" pid=\"P\" product_string=\"S\"/>";
        QTest::newRow("nested deeply, firmware first")
            << "<a><firmware name=\"F\" version=\"2\"/><b><c x=\"1\">t<!-- c -->" + device
                + "</c></b></a>"
            << "N V P S F 2";
        QTest::newRow("repeated device: the last wins, absent attributes empty")
            << "<p>" + device + "<device name=\"B\" vid=\"4\"/></p>"
            << "B 4    ";
        QTest::newRow("element named Device is ignored")
            << QByteArray("<p><Device name=\"A\" vid=\"1\"/></p>") << "     ";
    }
    void readsTheDescription()
    {
        QFETCH(QByteArray, xml);
        QFile file(dir.filePath("device.xml"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(xml) == xml.size());
        file.close();
        const ProductInfo info = ProductResource::readDeviceXml(file.fileName());
        QTEST(QStringList({ info.name, info.vid, info.pid, info.productString, info.firmwareName,
                              info.firmwareVersion })
                  .join(' '),
            "expected");
    }

    // Removed one after the other, the first missing in the updater's order is named.
    void loadNeedsAllThreeFiles()
    {
        TestPackage package;
        package.fillStandard();
        package.setFile("en_US.qm", "x"); // the package never empty
        const QByteArray md5 = package.file("firmware.md5").mid(13);
        for (const QString missing : { "", "device.xml", "firmware.md5", "firmware.bin" }) {
            package.removeFile(missing);
            QVERIFY(package.registerPackage());
            if (!missing.isEmpty())
                QTest::ignoreMessage(QtWarningMsg,
                    qPrintable("File \":/tarsel_external/" + missing + "\" does not exist"));
            ProductResource resource;
            QCOMPARE(resource.load(), missing.isEmpty());
            QCOMPARE(resource.name() + resource.vid() + resource.pid() + resource.firmwareMd5(),
                missing.isEmpty() ? "Tarsel Test Drive0x1a2b0x3c4d" + md5 : "");
        }
    }

    void choosesTheTranslation_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("files");
        QTest::addColumn<QString>("expected"); // any of these, the first the package yields
        const auto add
            = [](const char *name, const char *locale, const char *files, const char *expected) {
                  QTest::newRow(name) << locale << files << expected;
              };
        add("exact match after a language match", "de_DE", "de_AT.qm de_DE.qm", "de_DE.qm");
        add("language only: the first one", "de_CH", "de_DE.qm de_AT.qm", "de_DE.qm de_AT.qm");
        add("no file of the language: fallback", "ja_JP", "de_DE.qm fr_FR.qm", "en_US.qm");
        add("prefixed name never matches", "es_ES", "app_es_ES.qm", "en_US.qm");
        add("upper-case suffix is none, a second dot is", "fr_FR", "fr_FR.QM fr_FR.old.qm",
            "fr_FR.old.qm");
    }
    void choosesTheTranslation()
    {
        QFETCH(QString, locale);
        QFETCH(QString, files);
        QFETCH(QString, expected);
        TestPackage package;
        for (const QString &file : (files + " en_US.qm").split(' '))
            package.setFile(file, "qm");
        QVERIFY(package.registerPackage());
        // Where the order of iteration decides, read that order back instead of assuming it.
        const QString root = ProductResource::packageRoot() + '/';
        QString first;
        for (QDirIterator it(root, QDirIterator::Subdirectories); first.isEmpty() && it.hasNext();)
            first = expected.split(' ').contains(it.next().mid(root.size())) ? it.filePath() : "";
        QCOMPARE(ProductResource::translationFileFor(locale), first);
    }
};

QTEST_GUILESS_MAIN(TestProduct)
#include "tst_product.moc"
