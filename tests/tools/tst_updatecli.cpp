// tarsel-update run as a script runs it, without a display, on the simulated product.
#include "productsimulator.h"

#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("absent");
}

// Standard output into a pipe that is full and never read: a reader that stalled.
class StalledReaderProcess : public QProcess
{
public:
    StalledReaderProcess()
    {
        if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        const QByteArray page(4096, 'x');
        while (::write(fds[1], page.constData(), size_t(page.size())) > 0) { }
        fcntl(fds[1], F_SETFL, 0);
    }
    ~StalledReaderProcess() override
    {
        waitForFinished();
        for (int fd : fds)
            ::close(fd);
    }

protected:
    void setupChildProcess() override { dup2(fds[1], STDOUT_FILENO); }

private:
    int fds[2] = { -1, -1 };
};
} // namespace

class TestUpdateCli : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
};

void TestUpdateCli::run_data()
{
    // The volume's firmware ("packaged": the package's own); empty: never powered on.
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QStringList>("options");
    // read-only, interrupt, no-file (and what an interrupted write left), locked (by another),
    // stalled, logs-link, full disk
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("events"); // with --json; otherwise a line standard output holds

    const QStringList updated { "package", "waiting", "found", "checked", "writing", "written",
        "verified", "result" };
    const QStringList refused { "package", "waiting", "found", "checked", "result" };
    QTest::newRow("updated") << "3-1.0.0.1" << QStringList { "--json" } << "" << 0 << updated;
    QTest::newRow("up to date") << "packaged" << QStringList { "--json" } << "" << 14 << refused;
    QTest::newRow("packaged version, other bytes")
        << "3-1.0.0.2" << QStringList { "--json" } << "" << 0 << updated;
    QTest::newRow("another run holds the product")
        << "3-1.0.0.1" << QStringList { "--json" } << "locked" << 16 << refused;
    QTest::newRow("other hardware")
        << "4-1.0.0.1" << QStringList { "--json" } << "" << 13 << refused;
    // Core takes an option it does not know for "force mode off"; ours must not reach it.
    QTest::newRow("force mode beside our options")
        << "4-1.0.0.1" << QStringList { "--json", "--timeout", "20", "--force-mode" } << "" << 0
        << updated;
    QTest::newRow("recovery of a missing firmware.bin")
        << "3-1.0.0.1" << QStringList { "--json", "--recover" } << "no-file" << 0 << updated;
    QTest::newRow("Ctrl+C once writing")
        << "3-1.0.0.1" << QStringList { "--json" } << "interrupt when writing" << 0 << updated;
    QTest::newRow("Ctrl+\\ once writing")
        << "3-1.0.0.1" << QStringList { "--json" } << "quit when writing" << 0 << updated;
    QTest::newRow("read-only volume")
        << "3-1.0.0.1" << QStringList { "--json" } << "read-only" << 15
        << QStringList { "package", "waiting", "found", "checked", "writing", "result" };
    QTest::newRow("not found in time")
        << "" << QStringList { "--timeout", "1" } << "" << 11
        << QStringList { "Waiting for Tarsel Vault 4 (up to 1 s). Power it on in update mode." };
    QTest::newRow("Ctrl+C while waiting") << "" << QStringList { "--json" } << "interrupt" << 130
                                          << QStringList { "package", "waiting", "result" };
    // The package is a FIFO whose reads block, as on a hung network share.
    QTest::newRow("Ctrl+C while loading the package")
        << "" << QStringList { "--json", "--package", "FIFO" } << "interrupt while loading" << 130
        << QStringList { "result" };
    QTest::newRow("missing package")
        << "" << QStringList { "--json", "--package", "/nonexistent/x" } << "" << 1
        << QStringList { "result" };
    QTest::newRow("bad timeout") << "" << QStringList { "--timeout", "soon" } << "" << 2
                                 << QStringList();
    QTest::newRow("--version into a full disk")
        << "" << QStringList { "--version" } << "full disk" << 1 << QStringList();
    QTest::newRow("an option it does not answer")
        << "" << QStringList { "--help-all" } << "" << 2 << QStringList();
    // A full pipe blocks the output, and with it the event loop that acts on signals and timers.
    QTest::newRow("SIGTERM with a stalled reader")
        << "" << QStringList { "--json" } << "stalled interrupt" << 130 << QStringList();
    QTest::newRow("time-out with a stalled reader")
        << "" << QStringList { "--timeout", "1" } << "stalled" << 11 << QStringList();
    QTest::newRow("logs folder is a link")
        << "" << QStringList { "--timeout", "1" } << "logs-link" << 11 << QStringList();
}

void TestUpdateCli::run()
{
    QFETCH(QString, tag);
    QFETCH(QStringList, options);
    QFETCH(QString, how);
    QFETCH(int, exitCode);
    QFETCH(QStringList, events);

    QTemporaryDir dir;
    ProductSimulator simulator(dir.filePath("sim"));
    ProductSimulator::Options simulated;
    if (tag == "packaged")
        simulated.firmwareFile = TARSEL_PACKAGED_FIRMWARE;
    else if (!tag.isEmpty())
        simulated.tag = tag;
    QVERIFY2(simulator.create(simulated), qPrintable(simulator.errorString()));
    const QString firmware = simulator.volumePath() + "/firmware.bin";
    const QString leftover = simulator.volumePath() + "/firmware.new";
    if (how == "no-file")
        QVERIFY(QFile::remove(firmware) && QFile::copy(TARSEL_PACKAGED_FIRMWARE, leftover));
    const QByteArray before = contents(firmware);
    // The flock(1) of util-linux holds the volume as a run of the wizard would.
    QProcess holder;
    const auto release = qScopeGuard([&] {
        holder.kill();
        holder.waitForFinished();
    });
    if (how == "locked") {
        holder.start("flock", { simulator.volumePath(), "sh", "-c", "echo held; sleep 60" });
        QVERIFY(holder.waitForReadyRead(10000));
    }

    const QByteArray volume = QFile::encodeName(simulator.volumePath());
    bool mounted = false;
    const auto unmount = qScopeGuard([&] {
        if (mounted)
            ::umount2(volume.constData(), MNT_DETACH);
    });
    if (how == "read-only") {
        if (geteuid() != 0)
            QSKIP("a read-only mount needs root");
        mounted = ::mount(volume, volume, nullptr, MS_BIND, nullptr) == 0;
        QVERIFY(mounted);
        QVERIFY(::mount(nullptr, volume, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0);
    }

    // The run log's folders do not exist yet: the program makes them.
    const QString logs = dir.filePath("state/TarselUpdater/logs");
    if (how == "logs-link") {
        QVERIFY(QDir().mkpath(dir.filePath("elsewhere"))
            && QDir().mkpath(dir.filePath("state/TarselUpdater")));
        QVERIFY(QFile::link(dir.filePath("elsewhere"), logs));
    }

    std::unique_ptr<QProcess> started(
        how.startsWith("stalled") ? new StalledReaderProcess : new QProcess);
    QProcess &process = *started;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *display : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        environment.remove(display);
    environment.insert("TARSEL_SYSFS_ROOT", simulator.sysfsRoot());
    environment.insert("TARSEL_MOUNTINFO", simulator.mountTablePath());
    environment.insert("XDG_STATE_HOME", dir.filePath("state"));
    if (exitCode == 13) { // a German user
        environment.remove("LC_ALL");
        environment.insert("LANG", "de_DE.UTF-8");
    }
    process.setProcessEnvironment(environment);
    if (how == "full disk")
        process.setStandardOutputFile("/dev/full");
    if (how == "interrupt while loading") {
        QVERIFY(mkfifo(QFile::encodeName(dir.filePath("fifo")), 0600) == 0);
        options.replace(options.indexOf("FIFO"), dir.filePath("fifo"));
    }
    process.start(TARSEL_UPDATE_TOOL, options);
    QVERIFY(process.waitForStarted());
    if (how == "interrupt while loading") {
        // Open once the program reads it; held open, its read waits for bytes that never come.
        const int writer = ::open(QFile::encodeName(dir.filePath("fifo")), O_WRONLY);
        QVERIFY(writer >= 0);
        QCOMPARE(::kill(pid_t(process.processId()), SIGINT), 0);
        const bool ended = process.waitForFinished(30000);
        ::close(writer);
        QVERIFY(ended);
    }
    if (how == "stalled interrupt") {
        QTest::qWait(500);
        QCOMPARE(::kill(pid_t(process.processId()), SIGTERM), 0);
    }

    // The product is powered on (or Ctrl+C pressed) once the program says it waits.
    QByteArray out;
    if (!tag.isEmpty() || how == "interrupt") {
        QTRY_VERIFY_WITH_TIMEOUT(
            (out += process.readAllStandardOutput()).contains("waiting"), 10000);
        if (how == "interrupt")
            QCOMPARE(::kill(pid_t(process.processId()), SIGINT), 0);
        else
            QVERIFY2(simulator.plug(), qPrintable(simulator.errorString()));
    }
    if (how.endsWith("when writing")) {
        QTRY_VERIFY_WITH_TIMEOUT(
            (out += process.readAllStandardOutput()).contains("\"writing\""), 10000);
        QCOMPARE(::kill(pid_t(process.processId()), how.startsWith("quit") ? SIGQUIT : SIGINT), 0);
    }
    QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(30000));
    out += process.readAllStandardOutput();
    const QByteArray err = process.readAllStandardError();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY2(process.exitCode() == exitCode, out + err);

    const QByteArray after = contents(firmware);
    QCOMPARE(after == contents(TARSEL_PACKAGED_FIRMWARE), exitCode == 0 || tag == "packaged");
    if (exitCode != 0)
        QCOMPARE(after, before);
    QCOMPARE(QFile::exists(leftover), exitCode != 0 && how == "no-file");

    // Every run that got its package leaves a log, named after the program, in folders of the
    // user's alone; a logs folder that is a link is not followed, and the console says so once.
    const QStringList logFiles = QDir(logs).entryList({ "tarsel-update-*.log" });
    if (how == "logs-link") {
        QVERIFY2(logFiles.isEmpty() && err.count("cannot be written") == 1, err);
    } else if (exitCode != 1 && exitCode != 2 && !how.startsWith("stalled")
        && !how.endsWith("loading")) {
        QCOMPARE(logFiles.size(), 1);
        QVERIFY(contents(logs + '/' + logFiles.first())
                    .contains("command line: " + options.join(' ').toUtf8()));
        QCOMPARE(QFileInfo(dir.filePath("state")).permissions() & 0x0077, QFile::Permissions());
    }
    if (how.startsWith("stalled"))
        return;

    if (!options.contains("--json")) {
        for (const QString &line : events)
            QVERIFY2(out.split('\n').contains(line.toUtf8()), out);
        return;
    }

    // Every line of standard output is one event object, in the order of the run.
    QStringList names;
    QList<QJsonObject> objects;
    for (const QByteArray &line : out.trimmed().split('\n')) {
        QJsonParseError error {};
        objects << QJsonDocument::fromJson(line, &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, line);
        names << objects.last().value("event").toString();
    }
    // The file work's progress, between "writing" and "written", ends with all bytes verified.
    const int firstProgress = names.indexOf("progress"),
              lastProgress = names.lastIndexOf("progress");
    QCOMPARE(firstProgress >= 0, events.contains("written"));
    if (firstProgress >= 0) {
        QVERIFY(
            firstProgress > names.indexOf("writing") && lastProgress < names.indexOf("written"));
        const QJsonObject last = objects.at(lastProgress);
        QCOMPARE(last.value("verified").toDouble(), last.value("total").toDouble());
        objects.erase(objects.begin() + firstProgress, objects.begin() + lastProgress + 1);
        names.erase(names.begin() + firstProgress, names.begin() + lastProgress + 1);
    }
    QCOMPARE(names, events);
    const auto field = [&](const char *event, const char *name) {
        return objects.value(names.indexOf(event)).value(name);
    };
    QCOMPARE(field("result", "exitCode").toInt(), exitCode);
    if (names.contains("found")) {
        QCOMPARE(QDir(field("found", "mountPath").toString()).canonicalPath(),
            QDir(simulator.volumePath()).canonicalPath());
        QCOMPARE(field("checked", "packaged").toString(), QString("1.0.0.2"));
        // Other hardware is refused before the volume's version is taken.
        // Read from the tag also where the hardware refuses it; the ids say why.
        QCOMPARE(field("checked", "installed").toString(),
            how == "no-file" || exitCode == 16 ? QString()
                : tag == "packaged"            ? "1.0.0.2"
                                               : tag.section('-', 1));
        QCOMPARE(field("checked", "installedHardware"),
            how == "no-file" || exitCode == 16
                ? QJsonValue()
                : QJsonValue(tag == "packaged" ? 3 : tag.section('-', 0, 0).toInt()));
    }
    if (exitCode == 0) {
        QCOMPARE(field("result", "error").toString(), QString("NoError"));
        QCOMPARE(field("written", "bytes").toInt(), after.size());
    }
    if (exitCode == 14 || exitCode == 16)
        QCOMPARE(field("result", "error").toString(),
            exitCode == 14 ? "FirmwareSame_FWError" : "UpdateRunningError");
    if (exitCode == 15)
        QVERIFY2(field("result", "details").toString().contains("Read-only file system"), out);
    // The fields for a program stay English whatever the user's language.
    if (exitCode == 13)
        QCOMPARE(field("result", "reason").toString(), QString("hardware 4, the package's 3"));
}

QTEST_GUILESS_MAIN(TestUpdateCli)
#include "tst_updatecli.moc"
