// tarsel-update run as a script runs it, without a display, on the simulated product.
#include "productsimulator.h"

#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("absent");
}
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
    // The volume's firmware ("packaged": the package's own; empty: never powered on).
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QStringList>("options");
    // read-only, interrupt, no-file (and what an interrupted write left), signals when writing,
    // locked (by another), stalled, logs-link, full disk
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("events"); // with --json; otherwise a line standard output holds
    const auto add = [](const char *name, const QString &tag, const QString &options,
                         const QString &how, int exitCode, const QString &events) {
        QTest::newRow(name) << tag << options.split(' ') << how << exitCode
                            << events.split(
                                   options.contains("--json") ? ' ' : '\n', Qt::SkipEmptyParts);
    };
    const QString updated = "package waiting found checked writing written verified result",
                  refused = "package waiting found checked result";
    add("updated", "3-1.0.0.1", "--json", "", 0, updated);
    add("up to date", "packaged", "--json", "", 14, refused);
    add("another run holds the product", "3-1.0.0.1", "--json", "locked", 16, refused);
    add("other hardware", "4-1.0.0.1", "--json", "", 13, refused);
    // Core takes an option it does not know for "force mode off"; ours must not reach it.
    add("force mode beside our options", "4-1.0.0.1", "--json --timeout 20 --force-mode", "", 0,
        updated);
    // Ctrl+C, a supervisor's stop, a dropped session and Ctrl+\ do not cut the write short.
    add("recovery of a missing firmware.bin, interrupted once writing", "3-1.0.0.1",
        "--json --recover", "no-file, signals when writing", 0, updated);
    add("read-only volume", "3-1.0.0.1", "--json", "read-only", 15,
        "package waiting found checked writing result");
    add("not found in time, the logs folder a link", "", "--timeout 1", "logs-link", 11,
        "Waiting for Tarsel Vault 4 (up to 1 s). Power it on in update mode.");
    add("Ctrl+C while waiting", "", "--json", "interrupt", 130, "package waiting result");
    // The package is a FIFO without a writer: opening it blocks, as on a hung network share.
    add("Ctrl+C while loading the package", "", "--json --package FIFO", "interrupt while loading",
        130, "result");
    add("missing package", "", "--json --package /nonexistent/x", "", 1, "result");
    add("bad timeout", "", "--timeout soon", "", 2, "");
    add("--version into a full disk", "", "--version", "full disk", 1, "");
    add("an option it does not answer", "", "--help-all", "", 2, "");
    // A full pipe blocks the output, and with it the event loop that acts on signals and timers.
    add("SIGTERM with a stalled reader", "", "--json", "stalled interrupt", 130, "");
    add("time-out with a stalled reader", "", "--timeout 1", "stalled", 11, "");
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
    if (how.startsWith("no-file"))
        QVERIFY(QFile::remove(firmware) && QFile::copy(TARSEL_PACKAGED_FIRMWARE, leftover));
    const QByteArray before = contents(firmware);
    // Held as a run of the wizard holds it, with flock on the volume's folder.
    const QByteArray volume = QFile::encodeName(simulator.volumePath());
    const int held = ::open(volume, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    QVERIFY(held >= 0 && (how != "locked" || ::flock(held, LOCK_EX) == 0));
    const auto release = qScopeGuard([&] {
        ::close(held);
        if (how == "read-only")
            ::umount2(volume, MNT_DETACH);
    });
    if (how == "read-only") {
        if (geteuid() != 0)
            QSKIP("a read-only mount needs root");
        QVERIFY(::mount(volume, volume, nullptr, MS_BIND, nullptr) == 0
            && ::mount(nullptr, volume, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0);
    }

    // The run log's folders do not exist yet: the program makes them.
    const QString logs = dir.filePath("state/TarselUpdater/logs");
    QVERIFY(how != "logs-link"
        || (QDir().mkpath(dir.filePath("elsewhere"))
            && QDir().mkpath(dir.filePath("state/TarselUpdater"))
            && QFile::link(dir.filePath("elsewhere"), logs)));

    // Standard output into a pipe that is full and never read: a reader that stalled.
    int stalled[2] = { -1, -1 };
    const auto closeStalled = qScopeGuard([&stalled] {
        for (int fd : stalled)
            ::close(fd);
    });
    QProcess process;
    if (how.startsWith("stalled")) {
        const char page[4096] = {};
        QVERIFY(pipe2(stalled, O_CLOEXEC | O_NONBLOCK) == 0);
        while (::write(stalled[1], page, sizeof page) > 0) { }
        // Opened anew, the pipe's end blocks.
        process.setStandardOutputFile(QString("/proc/self/fd/%1").arg(stalled[1]));
    }
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
        // Interrupted where it waits for a writer that never comes: once the FIFO had one, the
        // load would fail at once and race the signal.
        QTRY_COMPARE_WITH_TIMEOUT(contents(QString("/proc/%1/wchan").arg(process.processId())),
            "wait_for_partner", 10000);
        QCOMPARE(::kill(pid_t(process.processId()), SIGINT), 0);
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
        for (int signal : { SIGINT, SIGTERM, SIGHUP, SIGQUIT })
            QCOMPARE(::kill(pid_t(process.processId()), signal), 0);
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
    QCOMPARE(QFile::exists(leftover), exitCode != 0 && how.startsWith("no-file"));

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
    QVERIFY(firstProgress < 0
        || (firstProgress > names.indexOf("writing") && lastProgress < names.indexOf("written")
            && objects.at(lastProgress).value("verified")
                == objects.at(lastProgress).value("total")));
    QCOMPARE(QStringList(names).filter(QRegularExpression("^(?!progress$)")), events);
    const auto field = [&](const char *event, const char *name) {
        return objects.value(names.indexOf(event)).value(name);
    };
    QCOMPARE(field("result", "exitCode").toInt(), exitCode);
    if (names.contains("found")) {
        QCOMPARE(QDir(field("found", "mountPath").toString()).canonicalPath(),
            QDir(simulator.volumePath()).canonicalPath());
        QCOMPARE(field("checked", "packaged").toString(), QString("1.0.0.2"));
        // Read from the tag also where the hardware refuses it: the ids say why. Null without one.
        QCOMPARE(QString::number(field("checked", "installedHardware").toInt(-1)) + ' '
                + field("checked", "installed").toString("null"),
            how.startsWith("no-file") || exitCode == 16 ? "-1 null"
                : tag == "packaged"                     ? "3 1.0.0.2"
                                                        : QString(tag).replace('-', ' '));
    }
    const QMap<int, QString> errors { { 0, "NoError" }, { 14, "FirmwareSame_FWError" },
        { 16, "UpdateRunningError" } };
    if (errors.contains(exitCode))
        QCOMPARE(field("result", "error").toString(), errors[exitCode]);
    if (exitCode == 0)
        QCOMPARE(field("written", "bytes").toInt(), after.size());
    if (exitCode == 15)
        QVERIFY2(field("result", "details").toString().contains("Read-only file system"), out);
    // The fields for a program stay English whatever the user's language.
    if (exitCode == 13)
        QCOMPARE(field("result", "reason").toString(), QString("hardware 4, the package's 3"));
}

QTEST_GUILESS_MAIN(TestUpdateCli)
#include "tst_updatecli.moc"
