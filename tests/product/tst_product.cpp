// The package as the updater reads it (the checksums and the system locale: elsewhere; a missing
// file: tst_startup; the usual choices of a translation: tst_packagetool's info).
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
        QTest::newRow("repeated device: the last wins, absent attributes empty; Device is none")
            << "<p>" + device + "<device name=\"B\" vid=\"4\"/><Device name=\"A\" vid=\"1\"/></p>"
            << "B 4    ";
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

    void choosesTheTranslation_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("files");
        QTest::addColumn<QString>("expected");
        QTest::newRow("exact match after a language match")
            << QString("de_DE") << QString("de_AT.qm de_DE.qm") << QString("de_DE.qm");
        QTest::newRow("prefixed name never matches")
            << QString("es_ES") << QString("app_es_ES.qm") << QString("en_US.qm");
        QTest::newRow("upper-case suffix is none, a second dot is")
            << QString("fr_FR") << QString("fr_FR.QM fr_FR.old.qm") << QString("fr_FR.old.qm");
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
        QCOMPARE(ProductResource::translationFileFor(locale),
            ProductResource::packageRoot() + '/' + expected);
    }
};

QTEST_GUILESS_MAIN(TestProduct)
#include "tst_product.moc"
