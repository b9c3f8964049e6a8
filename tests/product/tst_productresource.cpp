#include "productresource.h"
#include "testpackage.h"

#include <QTemporaryDir>
#include <QtTest>

class ProductResourceTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    QString writeFile(const QString &name, const QByteArray &content)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return QString();
        return path;
    }

private slots:
    void pathsLieAtThePackageTop()
    {
        TestPackage package;
        package.fillStandard();
        QVERIFY(package.registerPackage());
        ProductResource resource;
        QCOMPARE(resource.deviceXmlPath(), QStringLiteral(":/tarsel_external/device.xml"));
        QCOMPARE(resource.firmwarePath(), QStringLiteral(":/tarsel_external/firmware.bin"));
        QCOMPARE(resource.firmwareMd5Path(), QStringLiteral(":/tarsel_external/firmware.md5"));
    }

    void loadStopsAtTheFirstMissingFile_data()
    {
        QTest::addColumn<QStringList>("missing");
        QTest::addColumn<QString>("reported");
        QTest::addRow("firmware.bin") << QStringList { "firmware.bin" } << "firmware.bin";
        QTest::addRow("firmware.md5") << QStringList { "firmware.md5" } << "firmware.md5";
        QTest::addRow("device.xml") << QStringList { "device.xml" } << "device.xml";
        QTest::addRow("all three: firmware.bin first")
            << QStringList { "device.xml", "firmware.md5", "firmware.bin" } << "firmware.bin";
        QTest::addRow("checksum and description: checksum first")
            << QStringList { "device.xml", "firmware.md5" } << "firmware.md5";
    }
    void loadStopsAtTheFirstMissingFile()
    {
        QFETCH(QStringList, missing);
        QFETCH(QString, reported);
        TestPackage package;
        package.fillStandard();
        for (const QString &name : missing)
            package.removeFile(name);
        package.setFile(QStringLiteral("en_US.qm"), QByteArray("x"));
        QVERIFY(package.registerPackage());
        ProductResource resource;
        QTest::ignoreMessage(QtWarningMsg,
            qPrintable(
                QStringLiteral("File \":/tarsel_external/%1\" does not exist").arg(reported)));
        QVERIFY(!resource.load());
        QCOMPARE(resource.name(), QString());
        QVERIFY(resource.firmwareMd5().isEmpty());
    }

    void readsTheProductDescription_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QStringList>("expected"); // name vid pid product firmwareName version
        QTest::addRow("flat") << QByteArray(
            "<p><device name=\"N\" vid=\"0x1a2b\" pid=\"0x3c4d\" product_string=\"S\"/>"
            "<firmware name=\"F\" version=\"1.0\"/></p>")
                              << QStringList { "N", "0x1a2b", "0x3c4d", "S", "F", "1.0" };
        QTest::addRow("nested deeply, firmware first")
            << QByteArray(
                   "<a><firmware name=\"F\" version=\"2\"/><b><c x=\"1\">text<!-- c -->"
                   "<device name=\"N\" vid=\"V\" pid=\"P\" product_string=\"S\"/></c></b></a>")
            << QStringList { "N", "V", "P", "S", "F", "2" };
        QTest::addRow("repeated device: the last wins, absent attributes empty") << QByteArray(
            "<p><device name=\"A\" vid=\"1\" pid=\"2\" product_string=\"3\"/>"
            "<device name=\"B\" vid=\"4\"/></p>") << QStringList { "B", "4", "", "", "", "" };
        QTest::addRow("element named Device is ignored")
            << QByteArray("<p><Device name=\"A\" vid=\"1\" pid=\"2\" product_string=\"3\"/></p>")
            << QStringList { "", "", "", "", "", "" };
        QTest::addRow("namespace prefix: local name counts")
            << QByteArray("<p xmlns:t=\"urn:t\"><t:device name=\"N\" vid=\"V\"/></p>")
            << QStringList { "N", "V", "", "", "", "" };
        QTest::addRow("document that breaks off keeps what came before") << QByteArray(
            "<p><device name=\"N\" vid=\"V\" pid=\"P\" product_string=\"S\"/>"
            "<firmware name=\"F\" vers") << QStringList { "N", "V", "P", "S", "", "" };
        QTest::addRow("error before the elements")
            << QByteArray("<p><<device name=\"N\"/></p>") << QStringList { "", "", "", "", "", "" };
        QTest::addRow("element content is never read")
            << QByteArray("<p><device>name</device></p>") << QStringList { "", "", "", "", "", "" };
    }
    void readsTheProductDescription()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QStringList, expected);
        const ProductInfo info = ProductResource::readDeviceXml(writeFile("device.xml", xml));
        const QStringList actual = { info.name, info.vid, info.pid, info.productString,
            info.firmwareName, info.firmwareVersion };
        QCOMPARE(actual, expected);
        QVERIFY(info.firmwareMd5.isEmpty());
    }

    void loadsAGoodPackage()
    {
        TestPackage package;
        package.fillStandard();
        QVERIFY(package.registerPackage());
        ProductResource resource;
        QVERIFY(resource.load());
        QCOMPARE(resource.name(), QStringLiteral("Tarsel Test Drive"));
        QCOMPARE(resource.vid(), QStringLiteral("0x1a2b"));
        QCOMPARE(resource.pid(), QStringLiteral("0x3c4d"));
        QCOMPARE(resource.productString(), QStringLiteral("Tarsel Test Drive Update"));
        QCOMPARE(resource.productInfo().firmwareVersion, QStringLiteral("1.0.0.2"));
        QCOMPARE(resource.firmwareMd5().size(), 32);
        QCOMPARE(QByteArray("firmware.bin ") + resource.firmwareMd5(),
            package.file(QStringLiteral("firmware.md5")));
    }

    void unreadableDescriptionWarnsAndLeavesValuesEmpty()
    {
        const QString path = dir.filePath(QStringLiteral("absent.xml"));
        QTest::ignoreMessage(QtWarningMsg,
            qPrintable(
                QStringLiteral("Can not open \"%1\" \"No such file or directory\"").arg(path)));
        const ProductInfo info = ProductResource::readDeviceXml(path);
        QVERIFY(info.name.isEmpty() && info.vid.isEmpty());
        QTest::ignoreMessage(QtWarningMsg,
            qPrintable(
                QStringLiteral("Can not open \"%1\" \"No such file or directory\"").arg(path)));
        QVERIFY(ProductResource::readFirmwareMd5(path).isEmpty());
    }

    void checksumListKeepsTheLastPiece_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("stored");
        const QByteArray digits = "0123456789abcdef0123456789abcdef";
        QTest::addRow("digits alone") << digits << digits;
        QTest::addRow("upper-case digits kept as they are") << digits.toUpper() << digits.toUpper();
        QTest::addRow("name, one space, digits") << "firmware.bin " + digits << digits;
        QTest::addRow("digits and a line break") << digits + "\n" << digits + "\n";
        QTest::addRow("md5sum layout with two spaces and a line break") << digits
                + "  firmware.bin\n" << QByteArray("firmware.bin\n");
        QTest::addRow("trailing space stores nothing") << digits + " " << QByteArray();
        QTest::addRow("empty file") << QByteArray() << QByteArray();
        QTest::addRow("tab is content") << "name\t" + digits << "name\t" + digits;
    }
    void checksumListKeepsTheLastPiece()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, stored);
        QCOMPARE(ProductResource::readFirmwareMd5(writeFile("firmware.md5", content)), stored);
    }
};

QTEST_GUILESS_MAIN(ProductResourceTest)
#include "tst_productresource.moc"
