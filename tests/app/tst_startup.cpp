#include "testpackage.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// Where the updater would be installed: its own folder, with or without a package beside it.
struct Installation
{
    QTemporaryDir dir;
    QString executable;

    bool install()
    {
        executable = dir.filePath(QStringLiteral("TarselUpdater"));
        return QFile::copy(QStringLiteral(TARSEL_UPDATER), executable);
    }
    QString packagePath() const { return dir.filePath(QStringLiteral("data.rcc")); }
};

QProcessEnvironment quietEnvironment(const QString &runtimeDir)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Without it the platform plugin adds a line of its own to the log.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    environment.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    environment.remove(QStringLiteral("QT_LOGGING_RULES"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    return environment;
}
} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir elsewhere;

    void start(QProcess &process, const Installation &installation)
    {
        QFile::setPermissions(elsewhere.path(),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        process.setProcessEnvironment(quietEnvironment(elsewhere.path()));
        process.setWorkingDirectory(elsewhere.path());
        process.start(installation.executable, QStringList());
    }

private slots:
    void badPackagesEndStartUp_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<QString>("firstLine");
        QTest::addRow("no package") << "missing"
                                    << "File \"%1\" does not exist";
        QTest::addRow("not a resource file") << "garbage"
                                             << "Could not register \"%1\" file";
        QTest::addRow("empty file") << "empty"
                                    << "Could not register \"%1\" file";
        QTest::addRow("without firmware.bin")
            << "firmware.bin"
            << "File \":/tarsel_external/firmware.bin\" does not exist";
        QTest::addRow("without firmware.md5")
            << "firmware.md5"
            << "File \":/tarsel_external/firmware.md5\" does not exist";
        QTest::addRow("without device.xml")
            << "device.xml"
            << "File \":/tarsel_external/device.xml\" does not exist";
    }
    void badPackagesEndStartUp()
    {
        QFETCH(QString, variant);
        QFETCH(QString, firstLine);
        Installation installation;
        QVERIFY(installation.install());
        if (variant == QLatin1String("garbage") || variant == QLatin1String("empty")) {
            QFile file(installation.packagePath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (variant == QLatin1String("garbage"))
                file.write(QByteArray(4096, '\x42'));
        } else if (variant != QLatin1String("missing")) {
            TestPackage package;
            package.fillStandard();
            package.removeFile(variant);
            package.setFile(QStringLiteral("en_US.qm"), QByteArray("x"));
            const QString rcc = package.build();
            QVERIFY(!rcc.isEmpty());
            QVERIFY(QFile::copy(rcc, installation.packagePath()));
        }

        QProcess process;
        start(process, installation);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        if (firstLine.contains(QLatin1String("%1")))
            firstLine = firstLine.arg(installation.packagePath());
        const QByteArray expected
            = firstLine.toUtf8() + "\nCan not initialize external resources.\n";
        QCOMPARE(process.readAllStandardError(), expected);
    }

    void goodPackageStartsAndRuns()
    {
        Installation installation;
        QVERIFY(installation.install());
        TestPackage package;
        package.fillStandard();
        const QString rcc = package.build();
        QVERIFY(!rcc.isEmpty());
        QVERIFY(QFile::copy(rcc, installation.packagePath()));

        QProcess process;
        start(process, installation);
        QVERIFY(process.waitForStarted(30000));
        // A start that fails ends within moments; a good one waits for the user.
        QVERIFY(!process.waitForFinished(3000));
        QCOMPARE(process.state(), QProcess::Running);
        const QByteArray errors = process.readAllStandardError();
        QVERIFY2(!errors.contains("Can not initialize"), errors.constData());
        process.kill();
        process.waitForFinished(10000);
    }
};

QTEST_GUILESS_MAIN(StartupTest)
#include "tst_startup.moc"
