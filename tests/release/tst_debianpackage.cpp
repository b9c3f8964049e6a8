#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;
};

Result run(const QString &program, const QStringList &arguments, int timeout = 600000)
{
    QProcess process;
    process.start(program, arguments);
    Result result;
    if (!process.waitForFinished(timeout) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

const QString appId = QStringLiteral("com.corvel.TarselUpdater");

} // namespace

class DebianPackageTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir work;
    QString deb;
    QString root;
    // "path" -> the dpkg-deb -c line of it
    QMap<QString, QString> listing;

    QProcessEnvironment quietGui()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        const QString runtime = work.filePath(QStringLiteral("runtime"));
        QDir().mkpath(runtime);
        QFile::setPermissions(
            runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
        return environment;
    }

private slots:
    void initTestCase()
    {
        for (const char *tool : { "dpkg", "dpkg-deb", "dpkg-shlibdeps", "lintian", "appstreamcli",
                 "desktop-file-validate" }) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("needs %1 (scripts/deps.sh installs it)")
                                     .arg(QLatin1String(tool))));
        }
        const Result architecture
            = run(QStringLiteral("dpkg"), { QStringLiteral("--print-architecture") });
        QCOMPARE(architecture.exitCode, 0);

        const Result packed = run(QStringLiteral(TARSEL_CPACK),
            { QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                QStringLiteral(TARSEL_CPACK_CONFIG), QStringLiteral("-B"), work.path() });
        QVERIFY2(packed.exitCode == 0, qPrintable(packed.out + packed.err));
        deb = work.filePath(QStringLiteral("tarsel-updater_%1_%2.deb")
                                .arg(QStringLiteral(TARSEL_VERSION), architecture.out.trimmed()));
        QVERIFY2(QFile::exists(deb), qPrintable(packed.out));

        root = work.filePath(QStringLiteral("root"));
        const Result unpacked = run(QStringLiteral("dpkg"), { QStringLiteral("-x"), deb, root });
        QVERIFY2(unpacked.exitCode == 0, qPrintable(unpacked.err));

        const Result contents = run(QStringLiteral("dpkg-deb"), { QStringLiteral("-c"), deb });
        QCOMPARE(contents.exitCode, 0);
        for (const QString &line : contents.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            // mode owner size date time path [-> target]
            const QStringList fields = line.simplified().split(QLatin1Char(' '));
            if (fields.size() >= 6)
                listing.insert(fields.at(5), line);
        }
    }

    void carriesTheInstalledLayout_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("linkTarget");
        QTest::addRow("link on PATH") << "./usr/bin/tarsel-updater"
                                      << "lrwxrwxrwx"
                                      << "../lib/tarsel-updater/TarselUpdater";
        QTest::addRow("executable") << "./usr/lib/tarsel-updater/TarselUpdater"
                                    << "-rwxr-xr-x" << QString();
        QTest::addRow("package beside it") << "./usr/lib/tarsel-updater/data.rcc"
                                           << "-rw-r--r--" << QString();
        QTest::addRow("desktop entry") << "./usr/share/applications/" + appId + ".desktop"
                                       << "-rw-r--r--" << QString();
        QTest::addRow("icon") << "./usr/share/icons/hicolor/scalable/apps/" + appId + ".svg"
                              << "-rw-r--r--" << QString();
        QTest::addRow("metainfo") << "./usr/share/metainfo/" + appId + ".metainfo.xml"
                                  << "-rw-r--r--" << QString();
        QTest::addRow("copyright") << "./usr/share/doc/tarsel-updater/copyright"
                                   << "-rw-r--r--" << QString();
        QTest::addRow("changelog") << "./usr/share/doc/tarsel-updater/changelog.gz"
                                   << "-rw-r--r--" << QString();
        QTest::addRow("manual page") << "./usr/share/man/man1/tarsel-updater.1.gz"
                                     << "-rw-r--r--" << QString();
    }
    void carriesTheInstalledLayout()
    {
        QFETCH(QString, path);
        QFETCH(QString, mode);
        QFETCH(QString, linkTarget);
        QVERIFY2(listing.contains(path), qPrintable(QStringList(listing.keys()).join('\n')));
        const QStringList fields = listing.value(path).simplified().split(QLatin1Char(' '));
        QCOMPARE(fields.at(0), mode);
        QCOMPARE(fields.at(1), QStringLiteral("root/root"));
        if (!linkTarget.isEmpty()) {
            QCOMPARE(fields.value(6), QStringLiteral("->"));
            QCOMPARE(fields.value(7), linkTarget);
        }
    }

    void dependsOnTheQtRuntime_data()
    {
        QTest::addColumn<QString>("package");
        for (const char *name : { "libqt5core5a", "libqt5gui5", "libqt5qml5", "libqt5quick5",
                 "qml-module-qtquick2", "qml-module-qtquick-controls", "qml-module-qtquick-layouts",
                 "qml-module-qtquick-window2" })
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void dependsOnTheQtRuntime()
    {
        QFETCH(QString, package);
        const Result depends = run(QStringLiteral("dpkg-deb"),
            { QStringLiteral("--field"), deb, QStringLiteral("Depends") });
        QCOMPARE(depends.exitCode, 0);
        QStringList names;
        for (const QString &entry : depends.out.split(QLatin1Char(','))) {
            // "libqt5gui5 (>= 5.0.2) | libqt5gui5-gles (>= 5.0.2)": the first alternative.
            names.append(entry.trimmed().section(QLatin1Char(' '), 0, 0));
        }
        QVERIFY2(names.contains(package), qPrintable(depends.out));
        // The interface's font is compiled in.
        QVERIFY2(names.filter(QStringLiteral("fonts-")).isEmpty(), qPrintable(depends.out));
    }

    void lintianReportsNoErrors()
    {
        const Result lintian
            = run(QStringLiteral("lintian"), { QStringLiteral("--display-info"), deb });
        QStringList errors;
        for (const QString &line : lintian.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (line.startsWith(QLatin1String("E: ")))
                errors.append(line);
            else
                qInfo("%s", qPrintable(line));
        }
        QVERIFY2(lintian.exitCode >= 0, "lintian did not finish");
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
    }

    void metadataValidates_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addRow("AppStream metainfo")
            << "appstreamcli"
            << QStringList { "validate", "--no-net",
                   root + "/usr/share/metainfo/" + appId + ".metainfo.xml" };
        QTest::addRow("desktop entry")
            << "desktop-file-validate"
            << QStringList { root + "/usr/share/applications/" + appId + ".desktop" };
    }
    void metadataValidates()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        const Result validated = run(program, arguments);
        QVERIFY2(validated.exitCode == 0, qPrintable(validated.out + validated.err));
    }

    void shippedPackagePassesTheReleaseCheck()
    {
        const Result checked = run(QStringLiteral(TARSEL_PACKAGE_TOOL),
            { QStringLiteral("check"), QStringLiteral("--strict"),
                root + QStringLiteral("/usr/lib/tarsel-updater/data.rcc") });
        QVERIFY2(checked.exitCode == 0, qPrintable(checked.err));
    }

    void installedUpdaterFindsItsPackageBesideItself()
    {
        QTemporaryDir elsewhere;
        QProcess updater;
        updater.setProcessEnvironment(quietGui());
        updater.setWorkingDirectory(elsewhere.path());
        updater.start(root + QStringLiteral("/usr/bin/tarsel-updater"), QStringList());
        QVERIFY(updater.waitForStarted(30000));

        // The package is mapped once registered: proof that the link was resolved to the
        // folder of the real executable.
        const QString expected = root + QStringLiteral("/usr/lib/tarsel-updater/data.rcc");
        QFile maps(QStringLiteral("/proc/%1/maps").arg(updater.processId()));
        bool mapped = false;
        for (int i = 0; i < 150 && !mapped && updater.state() == QProcess::Running; ++i) {
            QTest::qWait(100);
            if (maps.open(QIODevice::ReadOnly)) {
                mapped = QString::fromUtf8(maps.readAll()).contains(expected);
                maps.close();
            }
        }
        const bool running = updater.state() == QProcess::Running;
        updater.kill();
        updater.waitForFinished(10000);
        QVERIFY2(mapped, qPrintable(QString::fromUtf8(updater.readAllStandardError())));
        QVERIFY(running);

        // Copied away from its package, the same executable gives up: the check above can fail.
        const QString lonely = elsewhere.filePath(QStringLiteral("TarselUpdater"));
        QVERIFY(
            QFile::copy(root + QStringLiteral("/usr/lib/tarsel-updater/TarselUpdater"), lonely));
        QProcess alone;
        alone.setProcessEnvironment(quietGui());
        alone.start(lonely, QStringList());
        QVERIFY(alone.waitForFinished(30000));
        QCOMPARE(alone.exitCode(), 1);
        QVERIFY(QString::fromUtf8(alone.readAllStandardError())
                    .contains(elsewhere.filePath(QStringLiteral("data.rcc"))));
    }
};

QTEST_GUILESS_MAIN(DebianPackageTest)
#include "tst_debianpackage.moc"
