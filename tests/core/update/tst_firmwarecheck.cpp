#include "coresignallog.h"
#include "updatefixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

// Runs twice under CTest, once with --force-mode on the command line; every row states what
// both modes must give.
class TestFirmwareCheck : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void decidesAsTheVersionsAndPackageSay_data();
    void decidesAsTheVersionsAndPackageSay();
};

namespace {
enum DeviceFile { Tagged, Missing, Folder, Untagged };

QString prev(const char *version)
{
    return QStringLiteral("previousFirmwareVersionChanged(%1)").arg(QLatin1String(version));
}
const QString passed = QStringLiteral("firmwareChecked(true)");
const QString failed = QStringLiteral("firmwareChecked(false)");
const QString checkError = QStringLiteral("errorCodeChanged(CheckFirmwareError)");
const QString otherHardware = QStringLiteral("errorCodeChanged(FirmwareBad_HWError)");
const QString upToDate = QStringLiteral("errorCodeChanged(FirmwareSame_FWError)");
const QByteArray standardMd5 = "firmware.bin %d";
} // namespace

void TestFirmwareCheck::initTestCase()
{
    // Otherwise the run meant for the force column would quietly check the normal one again.
    const bool asked = QCoreApplication::arguments().contains(QStringLiteral("--force-mode"));
    QCOMPARE(Core().forceMode(), asked);
}

void TestFirmwareCheck::decidesAsTheVersionsAndPackageSay_data()
{
    QTest::addColumn<QByteArray>("packagedTag");
    QTest::addColumn<int>("deviceFile");
    QTest::addColumn<QByteArray>("deviceTag");
    // %d and %D stand for the packaged image's digest in lower and upper case.
    QTest::addColumn<QByteArray>("md5");
    QTest::addColumn<bool>("packageGone");
    QTest::addColumn<QStringList>("normal");
    QTest::addColumn<QStringList>("force");

    const QByteArray tag = "3-1.0.0.2";
    QTest::addRow("older device firmware")
        << tag << int(Tagged) << QByteArray("3-1.0.0.1") << standardMd5 << false
        << QStringList { prev("1.0.0.1"), passed } << QStringList { prev("1.0.0.1"), passed };
    QTest::addRow("older in an early segment, more in a late one")
        << tag << int(Tagged) << QByteArray("3-0.F.F.F") << standardMd5 << false
        << QStringList { prev("0.15.15.15"), passed } << QStringList { prev("0.15.15.15"), passed };
    QTest::addRow("equal version") << tag << int(Tagged) << tag << standardMd5 << false
                                   << QStringList { prev("1.0.0.2"), failed, upToDate }
                                   << QStringList { prev("1.0.0.2"), passed };
    QTest::addRow("newer device firmware")
        << tag << int(Tagged) << QByteArray("3-1.0.1.0") << standardMd5 << false
        << QStringList { prev("1.0.1.0"), failed, upToDate }
        << QStringList { prev("1.0.1.0"), passed };
    // As text 1.0.0.10 sorts before 1.0.0.2; as numbers it is newer.
    QTest::addRow("newer only when segments compare as numbers")
        << tag << int(Tagged) << QByteArray("3-1.0.0.A") << standardMd5 << false
        << QStringList { prev("1.0.0.10"), failed, upToDate }
        << QStringList { prev("1.0.0.10"), passed };
    QTest::addRow("other hardware, older version")
        << tag << int(Tagged) << QByteArray("4-1.0.0.1") << standardMd5 << false
        << QStringList { failed, otherHardware } << QStringList { prev("1.0.0.1"), passed };
    QTest::addRow("other hardware, equal version")
        << tag << int(Tagged) << QByteArray("4-1.0.0.2") << standardMd5 << false
        << QStringList { failed, otherHardware } << QStringList { prev("1.0.0.2"), passed };
    QTest::addRow("device version equal to the initial text")
        << tag << int(Tagged) << QByteArray("3-0.0.0.0") << standardMd5 << false
        << QStringList { passed } << QStringList { passed };

    QTest::addRow("digest alone, lower case")
        << tag << int(Tagged) << QByteArray("3-1.0.0.1") << QByteArray("%d") << false
        << QStringList { prev("1.0.0.1"), passed } << QStringList { prev("1.0.0.1"), passed };
    QTest::addRow("digest in upper case")
        << tag << int(Tagged) << QByteArray("3-1.0.0.1") << QByteArray("firmware.bin %D") << false
        << QStringList { prev("1.0.0.1"), passed } << QStringList { prev("1.0.0.1"), passed };
    QTest::addRow("digest with a trailing line break")
        << tag << int(Tagged) << QByteArray("3-1.0.0.1") << QByteArray("firmware.bin %d\n") << false
        << QStringList { failed, checkError } << QStringList { prev("1.0.0.1"), passed };
    QTest::addRow("digest with a trailing blank")
        << tag << int(Tagged) << QByteArray("3-1.0.0.1") << QByteArray("firmware.bin %d ") << false
        << QStringList { failed, checkError } << QStringList { prev("1.0.0.1"), passed };
    QTest::addRow("damaged package")
        << tag << int(Tagged) << QByteArray("3-1.0.0.1")
        << QByteArray("firmware.bin 0123456789abcdef0123456789abcdef") << false
        << QStringList { failed, checkError } << QStringList { prev("1.0.0.1"), passed };

    QTest::addRow("no firmware.bin on the volume")
        << tag << int(Missing) << QByteArray() << standardMd5 << false
        << QStringList { failed, checkError } << QStringList { failed, checkError };
    QTest::addRow("firmware.bin on the volume is a folder")
        << tag << int(Folder) << QByteArray() << standardMd5 << false
        << QStringList { failed, checkError } << QStringList { failed, checkError };
    QTest::addRow("device firmware without a tag")
        << tag << int(Untagged) << QByteArray() << standardMd5 << false
        << QStringList { failed, checkError } << QStringList { failed, checkError };
    QTest::addRow("packaged firmware without a tag")
        << QByteArray() << int(Tagged) << QByteArray("3-1.0.0.1") << standardMd5 << false
        << QStringList { failed, checkError } << QStringList { failed, checkError };
    QTest::addRow("package unregistered after initialising")
        << tag << int(Tagged) << QByteArray("3-1.0.0.1") << standardMd5 << true
        << QStringList { failed, checkError } << QStringList { failed, checkError };

    QTest::addRow("device version without segments")
        << tag << int(Tagged) << QByteArray("3-") << standardMd5 << false
        << QStringList { prev(""), passed } << QStringList { prev(""), passed };
    QTest::addRow("device version of another shape")
        << tag << int(Tagged) << QByteArray("3-1.2.3.4.5") << standardMd5 << false
        << QStringList { prev(""), passed } << QStringList { prev(""), passed };
    QTest::addRow("device version without segments, packaged 0.0.0.1")
        << QByteArray("3-0.0.0.1") << int(Tagged) << QByteArray("3-") << standardMd5 << false
        << QStringList { prev(""), passed } << QStringList { prev(""), passed };
    QTest::addRow("packaged version without segments")
        << QByteArray("3-") << int(Tagged) << QByteArray("3-0.0.0.1") << standardMd5 << false
        << QStringList { prev("0.0.0.1"), failed, upToDate }
        << QStringList { prev("0.0.0.1"), passed };
    QTest::addRow("neither version has segments")
        << QByteArray("3-") << int(Tagged) << QByteArray("3-") << standardMd5 << false
        << QStringList { prev(""), failed, upToDate } << QStringList { prev(""), passed };
}

void TestFirmwareCheck::decidesAsTheVersionsAndPackageSay()
{
    QFETCH(QByteArray, packagedTag);
    QFETCH(int, deviceFile);
    QFETCH(QByteArray, deviceTag);
    QFETCH(QByteArray, md5);
    QFETCH(bool, packageGone);
    QFETCH(QStringList, normal);
    QFETCH(QStringList, force);

    QTemporaryDir volume;
    QVERIFY(volume.isValid());
    UpdateFixture fixture;
    const QByteArray image
        = packagedTag.isNull() ? QByteArray(4096, 'x') : TestPackage::firmware(packagedTag);
    fixture.package.setFirmware(image);
    const QByteArray digest = QCryptographicHash::hash(image, QCryptographicHash::Md5).toHex();
    fixture.package.setFile(QStringLiteral("firmware.md5"),
        QByteArray(md5).replace("%d", digest).replace("%D", digest.toUpper()));
    QVERIFY2(fixture.initialize(), qPrintable(fixture.error));

    const QString devicePath = volume.filePath(QStringLiteral("firmware.bin"));
    switch (deviceFile) {
    case Tagged:
        QVERIFY(UpdateFixture::writeFile(devicePath, TestPackage::firmware(deviceTag, 2048)));
        break;
    case Folder:
        QVERIFY(QDir(volume.path()).mkdir(QStringLiteral("firmware.bin")));
        break;
    case Untagged:
        QVERIFY(UpdateFixture::writeFile(devicePath, QByteArray(2048, 'y')));
        break;
    }
    QVERIFY2(fixture.found(volume.path() + QLatin1Char('/')), qPrintable(fixture.error));
    if (packageGone)
        fixture.package.unregisterPackage();

    Core &core = *fixture.core;
    CoreSignalLog log(&core);
    core.checkFirmware();

    const QStringList expected = core.forceMode() ? force : normal;
    QCOMPARE(log.events, expected);
    QString previous = QStringLiteral("0.0.0.0");
    for (const QString &event : expected) {
        if (event.startsWith(QLatin1String("previousFirmwareVersionChanged(")))
            previous = event.mid(31).chopped(1);
    }
    QCOMPARE(core.previousFirmwareVersion(), previous);
}

int main(int argc, char *argv[])
{
    // Core reads force mode from the application's arguments; Qt Test must not see the option.
    QCoreApplication app(argc, argv);
    QStringList testArguments = QCoreApplication::arguments();
    testArguments.removeAll(QStringLiteral("--force-mode"));
    TestFirmwareCheck test;
    return QTest::qExec(&test, testArguments);
}

#include "tst_firmwarecheck.moc"
