#include "productsimulator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QResource>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

#include <memory>
#include <unistd.h>

namespace {
QString xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    process.waitForFinished(10000);
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// One run of the updater as a user meets it: its window found on the display, keys and clicks
// sent there through XTEST, the pages followed through its "tarsel.ui" log.
class Wizard
{
public:
    Wizard(const QString &program, const ProductSimulator &simulator, const QStringList &arguments,
        const QString &lang, const QStringList &extraEnvironment = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : { "LC_ALL", "LC_MESSAGES", "LANGUAGE" })
            environment.remove(QLatin1String(name));
        environment.insert(QStringLiteral("LANG"), lang);
        environment.insert(QStringLiteral("TARSEL_SYSFS_ROOT"), simulator.sysfsRoot());
        environment.insert(QStringLiteral("TARSEL_MOUNTINFO"), simulator.mountTablePath());
        environment.insert(
            QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("tarsel.ui.debug=true"));
        for (const QString &assignment : extraEnvironment)
            environment.insert(assignment.section(QLatin1Char('='), 0, 0),
                assignment.section(QLatin1Char('='), 1));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start(program, arguments);
        process.waitForStarted(10000);
    }

    ~Wizard()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    // The window, once it is on the display.
    bool waitForWindow()
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 15000 && process.state() == QProcess::Running) {
            window = xdotool(
                { "search", "--onlyvisible", "--pid", QString::number(process.processId()) })
                         .section(QLatin1Char('\n'), 0, 0);
            if (!window.isEmpty())
                return true;
            QTest::qWait(100);
        }
        return false;
    }

    // The error code shown with the page, or -1 when the page did not appear in time.
    int waitForPage(const QString &page, int timeoutMs = 10000)
    {
        const QByteArray marker = "tarsel.ui: shown " + page.toLatin1() + ".qml errorCode ";
        QElapsedTimer timer;
        timer.start();
        do {
            log += process.readAllStandardError();
            const int at = log.indexOf(marker);
            if (at >= 0)
                return log.mid(at + marker.size(), 3).trimmed().split('\n').value(0).toInt();
            QTest::qWait(50);
        } while (timer.elapsed() < timeoutMs);
        return -1;
    }

    bool shown(const QString &page)
    {
        log += process.readAllStandardError();
        return log.contains("shown " + page.toLatin1() + ".qml");
    }

    void holdKey(const QString &name, int milliseconds)
    {
        xdotool({ "windowfocus", "--sync", window });
        xdotool({ "keydown", name });
        QTest::qWait(milliseconds);
        xdotool({ "keyup", name });
    }

    void key(const QString &name)
    {
        xdotool({ "windowfocus", "--sync", window });
        xdotool({ "key", name });
    }

    // At a distance from the window's bottom-right corner, once the page has slid into place.
    void click(int fromRight, int fromBottom)
    {
        QTest::qWait(1000);
        const QString geometry = xdotool({ "getwindowgeometry", "--shell", window });
        int width = 0, height = 0;
        for (const QString &line : geometry.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("WIDTH=")))
                width = line.mid(6).toInt();
            if (line.startsWith(QLatin1String("HEIGHT=")))
                height = line.mid(7).toInt();
        }
        xdotool({ "mousemove", "--window", window, QString::number(width - fromRight),
            QString::number(height - fromBottom), "click", "1" });
    }

    QString title() { return xdotool({ "getwindowname", window }); }

    // The exit code, or -1 when the process is still running after the timeout.
    int exitCode(int timeoutMs = 10000)
    {
        if (!process.waitForFinished(timeoutMs))
            return -1;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    }

    QByteArray output()
    {
        log += process.readAllStandardError();
        return log;
    }

private:
    QProcess process;
    QString window;
    QByteArray log;
};
} // namespace

class TestWizard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void runsToTheResult_data();
    void runsToTheResult();
    void readOnlyVolumeGivesUpdateError();
    void notFoundWhenSearchTimesOut();
    void heldReturnStopsOnPage2();
    void windowTitleFollowsLanguage_data();
    void windowTitleFollowsLanguage();

private:
    std::unique_ptr<ProductSimulator> simulate(const QStringList &createOptions);
    // Next, Next, the product on, then whatever the result page says; checks that page and quits.
    void walkToResult(Wizard &wizard, ProductSimulator &simulator, int expectedCode,
        bool plugOtherFirst, bool useMouse);

    QTemporaryDir workDir;
    QByteArray packagedFirmware;
    QMap<QString, QString> titles;
    int simulations = 0;
};

void TestWizard::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display (ctest runs under xvfb-run in scripts/test.sh)");
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("needs xdotool to send input events (scripts/deps.sh installs it)");
    QVERIFY(workDir.isValid());

    const QString root = QStringLiteral("/tst_wizard_package");
    QVERIFY(QResource::registerResource(QStringLiteral(TARSEL_PACKAGE), root));
    packagedFirmware = readAll(QLatin1Char(':') + root + QStringLiteral("/firmware.bin"));
    QVERIFY(packagedFirmware.contains("Ver:3-1.0.0.2"));
    for (const char *locale : { "en_US", "de_DE", "fr_FR" }) {
        QTranslator translator;
        QVERIFY(translator.load(QStringLiteral(":%1/%2.qm").arg(root, QLatin1String(locale))));
        titles.insert(QLatin1String(locale), translator.translate(nullptr, "id-application-title"));
    }
    QResource::unregisterResource(QStringLiteral(TARSEL_PACKAGE), root);
}

std::unique_ptr<ProductSimulator> TestWizard::simulate(const QStringList &createOptions)
{
    auto simulator = std::make_unique<ProductSimulator>(
        workDir.filePath(QStringLiteral("sim%1").arg(++simulations)));
    ProductSimulator::Options options;
    for (const QString &option : createOptions) {
        if (option.startsWith(QLatin1String("tag=")))
            options.tag = option.mid(4);
        else if (option.startsWith(QLatin1String("vid=")))
            options.vid = option.mid(4);
    }
    if (!simulator->create(options)) {
        qWarning("%s", qPrintable(simulator->errorString()));
        return nullptr;
    }
    return simulator;
}

void TestWizard::walkToResult(Wizard &wizard, ProductSimulator &simulator, int expectedCode,
    bool plugOtherFirst, bool useMouse)
{
    QVERIFY2(wizard.waitForWindow(), wizard.output().constData());
    QCOMPARE(wizard.waitForPage(QStringLiteral("Page1")), 0);
    // The Next buttons' centres, with one footer line below them.
    if (useMouse)
        wizard.click(63, 53);
    else
        wizard.key(QStringLiteral("Return"));
    QCOMPARE(wizard.waitForPage(QStringLiteral("Page2")), 0);
    if (useMouse)
        wizard.click(63, 53);
    else
        wizard.key(QStringLiteral("Return"));
    QCOMPARE(wizard.waitForPage(QStringLiteral("Page3")), 0);

    if (plugOtherFirst) {
        QVERIFY(simulator.plugOther());
        QTest::qWait(1500);
        QVERIFY2(!wizard.shown(QStringLiteral("Page4")) && !wizard.shown(QStringLiteral("Page5")),
            "an unrelated stick moved the wizard");
    }
    QVERIFY(simulator.plug());

    if (expectedCode == 0 || expectedCode == 5)
        QCOMPARE(wizard.waitForPage(QStringLiteral("Page4")), 0);
    // The write's progress runs five seconds before the result.
    QCOMPARE(wizard.waitForPage(QStringLiteral("Page5"), 15000), expectedCode);
    // Page 4 is reached by a passed check, also when the write then fails.
    QCOMPARE(wizard.shown(QStringLiteral("Page4")), expectedCode == 0 || expectedCode == 5);

    // Quit, with three footer lines below it.
    if (useMouse)
        wizard.click(63, 83);
    else
        wizard.key(QStringLiteral("Return"));
    QCOMPARE(wizard.exitCode(), 0);
}

void TestWizard::runsToTheResult_data()
{
    QTest::addColumn<QStringList>("createOptions");
    QTest::addColumn<bool>("removeFirmware");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("plugOtherFirst");
    QTest::addColumn<bool>("useMouse");
    QTest::addColumn<int>("errorCode");
    QTest::addColumn<bool>("updated");

    QTest::addRow("older firmware is replaced")
        << QStringList { "tag=3-1.0.0.1" } << false << QStringList() << false << false << 0 << true;
    QTest::addRow("mouse clicks") << QStringList { "tag=3-1.0.0.1" } << false << QStringList()
                                  << false << true << 0 << true;
    QTest::addRow("unrelated stick plugged first is ignored")
        << QStringList { "tag=3-1.0.0.1" } << false << QStringList() << true << false << 0 << true;
    QTest::addRow("same version is up to date") << QStringList { "tag=3-1.0.0.2" } << false
                                                << QStringList() << false << false << 4 << false;
    QTest::addRow("newer version is up to date") << QStringList { "tag=3-1.0.1.0" } << false
                                                 << QStringList() << false << false << 4 << false;
    QTest::addRow("other hardware is refused") << QStringList { "tag=7-1.0.0.1" } << false
                                               << QStringList() << false << false << 3 << false;
    QTest::addRow("volume without firmware.bin")
        << QStringList { "tag=3-1.0.0.1" } << true << QStringList() << false << false << 2 << false;
    QTest::addRow("force mode updates other hardware")
        << QStringList { "tag=7-1.0.0.1" } << false << QStringList { "--force-mode" } << false
        << false << 0 << true;
}

void TestWizard::runsToTheResult()
{
    QFETCH(QStringList, createOptions);
    QFETCH(bool, removeFirmware);
    QFETCH(QStringList, arguments);
    QFETCH(bool, plugOtherFirst);
    QFETCH(bool, useMouse);
    QFETCH(int, errorCode);
    QFETCH(bool, updated);

    const auto simulator = simulate(createOptions);
    QVERIFY(simulator);
    const QString volumeFirmware = simulator->volumePath() + QStringLiteral("/firmware.bin");
    if (removeFirmware)
        QVERIFY(QFile::remove(volumeFirmware));
    const QByteArray before = removeFirmware ? QByteArray() : readAll(volumeFirmware);

    Wizard wizard(
        QStringLiteral(TARSEL_UPDATER), *simulator, arguments, QStringLiteral("en_US.UTF-8"));
    walkToResult(wizard, *simulator, errorCode, plugOtherFirst, useMouse);
    if (QTest::currentTestFailed()) {
        qWarning("%s", wizard.output().constData());
        return;
    }

    if (updated)
        QVERIFY(readAll(volumeFirmware) == packagedFirmware);
    else if (removeFirmware)
        QVERIFY(!QFile::exists(volumeFirmware));
    else
        QVERIFY(readAll(volumeFirmware) == before);
}

void TestWizard::readOnlyVolumeGivesUpdateError()
{
    if (geteuid() != 0)
        QSKIP("needs root to mount the volume read-only");
    const auto simulator = simulate({ "tag=3-1.0.0.1" });
    QVERIFY(simulator);
    const QString volume = simulator->volumePath();
    const QByteArray before = readAll(volume + QStringLiteral("/firmware.bin"));
    if (QProcess::execute(QStringLiteral("mount"), { "--bind", volume, volume }) != 0)
        QSKIP("cannot bind-mount here");
    const bool readOnly
        = QProcess::execute(QStringLiteral("mount"), { "-o", "remount,bind,ro", volume }) == 0;
    auto unmount = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), { volume }); });
    if (!readOnly)
        QSKIP("cannot remount read-only here");

    Wizard wizard(QStringLiteral(TARSEL_UPDATER), *simulator, {}, QStringLiteral("en_US.UTF-8"));
    // The check reads the volume fine; removing its file fails.
    walkToResult(wizard, *simulator, 5, false, false);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(readAll(volume + QStringLiteral("/firmware.bin")) == before);
}

void TestWizard::notFoundWhenSearchTimesOut()
{
    const auto simulator = simulate({ "tag=3-1.0.0.1" });
    QVERIFY(simulator);
    const QByteArray before = readAll(simulator->volumePath() + QStringLiteral("/firmware.bin"));
    // The testing build's seam: two seconds instead of five minutes.
    Wizard wizard(QStringLiteral(TARSEL_UPDATER_TESTING), *simulator, {},
        QStringLiteral("en_US.UTF-8"), { "TARSEL_TEST_FIND_TIMEOUT_MS=2000" });
    QVERIFY2(wizard.waitForWindow(), wizard.output().constData());
    QCOMPARE(wizard.waitForPage(QStringLiteral("Page1")), 0);
    wizard.key(QStringLiteral("Return"));
    QCOMPARE(wizard.waitForPage(QStringLiteral("Page2")), 0);
    wizard.key(QStringLiteral("Return"));
    QCOMPARE(wizard.waitForPage(QStringLiteral("Page3")), 0);
    // Page 3 has no control: Return must not reach Page 2's hidden Next.
    wizard.key(QStringLiteral("Return"));
    QCOMPARE(wizard.waitForPage(QStringLiteral("Page5"), 10000), 1);
    // Powered on too late: the search is over.
    QVERIFY(simulator->plug());
    QTest::qWait(500);
    QVERIFY(!wizard.shown(QStringLiteral("Page4")));
    wizard.key(QStringLiteral("Return"));
    QCOMPARE(wizard.exitCode(), 0);
    QVERIFY(readAll(simulator->volumePath() + QStringLiteral("/firmware.bin")) == before);
}

void TestWizard::heldReturnStopsOnPage2()
{
    const auto simulator = simulate({ "tag=3-1.0.0.1" });
    QVERIFY(simulator);
    Wizard wizard(QStringLiteral(TARSEL_UPDATER), *simulator, {}, QStringLiteral("en_US.UTF-8"));
    QVERIFY2(wizard.waitForWindow(), wizard.output().constData());
    QCOMPARE(wizard.waitForPage(QStringLiteral("Page1")), 0);
    // Long enough for the server's key repeat to start and land on Page 2's Next.
    wizard.holdKey(QStringLiteral("Return"), 1500);
    QCOMPARE(wizard.waitForPage(QStringLiteral("Page2")), 0);
    QTest::qWait(500);
    QVERIFY2(!wizard.shown(QStringLiteral("Page3")), "a held key started the search");
}

void TestWizard::windowTitleFollowsLanguage_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("catalogue");

    QTest::addRow("German") << "de_DE.UTF-8"
                            << "de_DE";
    QTest::addRow("French") << "fr_FR.UTF-8"
                            << "fr_FR";
    QTest::addRow("English") << "en_US.UTF-8"
                             << "en_US";
    QTest::addRow("Japanese falls back to English") << "ja_JP.UTF-8"
                                                    << "en_US";
}

void TestWizard::windowTitleFollowsLanguage()
{
    QFETCH(QString, lang);
    QFETCH(QString, catalogue);

    const QString expected = titles.value(catalogue);
    QVERIFY(!expected.isEmpty() && expected != QLatin1String("id-application-title"));
    if (catalogue != QLatin1String("en_US"))
        QVERIFY2(expected != titles.value(QStringLiteral("en_US")), "the catalogue is English");

    const auto simulator = simulate({});
    QVERIFY(simulator);
    Wizard wizard(QStringLiteral(TARSEL_UPDATER), *simulator, {}, lang);
    QVERIFY2(wizard.waitForWindow(), wizard.output().constData());
    QCOMPARE(wizard.title(), expected);
}

int main(int argc, char *argv[])
{
    // A connection of its own for the whole run: Xvfb resets when its last client leaves and
    // refuses the next updater while it does.
    std::unique_ptr<QCoreApplication> app;
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QGuiApplication>(argc, argv);
    TestWizard test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_wizard.moc"
