#include "testpackage.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The installed updater, started as a process beside a package that cannot be used.
class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void badPackageEndsStartUp_data()
    {
        QTest::addColumn<QString>("package");
        QTest::addColumn<QString>("firstLine");
        QTest::addRow("no package") << ""
                                    << "File \"%1\" does not exist";
        QTest::addRow("not a resource file") << "garbage"
                                             << "Could not register \"%1\" file";
        QTest::addRow("empty file") << "empty"
                                    << "Could not register \"%1\" file";
        for (const char *file : { "firmware.bin", "firmware.md5", "device.xml" })
            QTest::addRow("without %s", file) << QString::fromLatin1(
                file) << QStringLiteral("File \":/tarsel_external/%1\" does not exist").arg(file);
    }
    void badPackageEndsStartUp()
    {
        QFETCH(QString, package);
        QFETCH(QString, firstLine);
        QTemporaryDir dir;
        const QString executable = dir.filePath(QStringLiteral("TarselUpdater"));
        const QString packagePath = dir.filePath(QStringLiteral("data.rcc"));
        QVERIFY(QFile::copy(QStringLiteral(TARSEL_UPDATER), executable));
        QFile file(packagePath);
        if (package == QLatin1String("garbage") || package == QLatin1String("empty")) {
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(package == QLatin1String("garbage") ? 4096 : 0, '\x42'));
            file.close();
        } else if (!package.isEmpty()) {
            TestPackage content;
            content.fillStandard();
            content.removeFile(package);
            // Present, so that the first file missing is the one taken out.
            content.setFile(QStringLiteral("en_US.qm"), QByteArray("x"));
            QVERIFY(QFile::copy(content.build(), packagePath));
        }

        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // Without it the platform plugin adds a line of its own to the log.
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        environment.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
        environment.remove(QStringLiteral("QT_LOGGING_RULES"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.start(executable, QStringList());
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
            firstLine.replace(QLatin1String("%1"), packagePath)
                + QStringLiteral("\nCan not initialize external resources.\n"));
    }
};

QTEST_GUILESS_MAIN(StartupTest)
#include "tst_startup.moc"
