// Many update runs in one process, each with a fresh Core and its own ProductResource, on the
// product simulator with the real Linux detector. Prints resident memory, open descriptors and
// threads after every run, then the growth between the first and the last runs.
#include "core.h"
#include "corerun.h"
#include "externalresources.h"
#include "productresource.h"
#include "productsimulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QResource>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>

namespace {

QTextStream out(stdout);

enum class Outcome { Updated, SameVersion, OtherHardware, NoFirmwareFile, NotFound };
const Outcome cycle[] = { Outcome::Updated, Outcome::SameVersion, Outcome::OtherHardware,
    Outcome::NoFirmwareFile, Outcome::NotFound };

const char *outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Updated:
        return "updated";
    case Outcome::SameVersion:
        return "same-version";
    case Outcome::OtherHardware:
        return "other-hardware";
    case Outcome::NoFirmwareFile:
        return "no-firmware";
    case Outcome::NotFound:
        return "not-found";
    }
    return "?";
}

ErrorCode::ErrorCodeEnum expectedCode(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Updated:
        return ErrorCode::NoError;
    case Outcome::SameVersion:
        return ErrorCode::FirmwareSame_FWError;
    case Outcome::OtherHardware:
        return ErrorCode::FirmwareBad_HWError;
    case Outcome::NoFirmwareFile:
        return ErrorCode::CheckFirmwareError;
    case Outcome::NotFound:
        return ErrorCode::FindDeviceError;
    }
    return ErrorCode::NoError;
}

qint64 statusKiB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

int entries(const QString &folder)
{
    return int(
        QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
}

bool prepareVolume(const ProductSimulator &simulator, Outcome outcome)
{
    const QString path = simulator.volumePath() + QStringLiteral("/firmware.bin");
    QFile::remove(path);
    if (outcome == Outcome::NoFirmwareFile)
        return true;
    const char *tag = "3-1.0.0.1";
    if (outcome == Outcome::SameVersion)
        tag = "3-1.0.0.2";
    else if (outcome == Outcome::OtherHardware)
        tag = "4-1.0.0.1";
    return CoreRun::writeFile(path, ProductSimulator::firmwareImage(tag));
}

// One run as the pages drive it: search, then check inside the found signal, then write.
bool runOnce(
    const QString &packageFolder, ProductSimulator &simulator, Outcome outcome, QString &failure)
{
    bool ok = false;
    ProductResource *resource = initExternalResources(packageFolder, ok);
    if (!ok) {
        failure = QStringLiteral("package not loaded");
        delete resource;
        return false;
    }
    bool finished = false;
    {
        Core core;
        if (!core.initialize(resource)) {
            failure = QStringLiteral("initialize refused");
            return false;
        }
        core.setFindTimeout(outcome == Outcome::NotFound ? 300 : 10000);
        QEventLoop loop;
        const auto finish = [&] {
            finished = true;
            loop.quit();
        };
        QObject::connect(&core, &Core::deviceFound, &loop, [&](bool found) {
            if (found)
                core.checkFirmware();
            else
                finish();
        });
        QObject::connect(&core, &Core::firmwareChecked, &loop, [&](bool checked) {
            if (checked)
                core.updateFirmware();
            else
                finish();
        });
        QObject::connect(&core, &Core::firmwareUpdated, &loop, finish);
        QObject::connect(&core, &Core::errorCodeChanged, &loop, [&](ErrorCode::ErrorCodeEnum) {
            if (core.errorCode() == ErrorCode::FindDeviceError)
                finish();
        });
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        core.findDevice();
        if (outcome != Outcome::NotFound && !simulator.plug()) {
            failure = simulator.errorString();
            return false;
        }
        if (!finished)
            loop.exec();
        if (outcome != Outcome::NotFound)
            simulator.unplug();
        if (!finished)
            failure = QStringLiteral("no outcome within 30 s");
        else if (core.errorCode() != expectedCode(outcome))
            failure = QStringLiteral("error code %1").arg(int(core.errorCode()));
        // The detector is deleted later; let it go before measuring.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QResource::unregisterResource(
        packageFolder + QStringLiteral("/data.rcc"), ProductResource::packageRoot());
    return finished && failure.isEmpty();
}

double median(QVector<qint64> values)
{
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        QTextStream(stderr) << "usage: tarsel-bench-soak FOLDER_WITH_DATA_RCC [RUNS]\n";
        return 2;
    }
    const QString packageFolder = QDir(args.at(1)).absolutePath();
    const int runs = args.size() > 2 ? args.at(2).toInt() : 100;

    QTemporaryDir folder;
    ProductSimulator simulator(folder.filePath(QStringLiteral("sim")));
    if (!folder.isValid() || !simulator.create(ProductSimulator::Options())) {
        QTextStream(stderr) << "simulator: " << simulator.errorString() << "\n";
        return 1;
    }
    qputenv("TARSEL_SYSFS_ROOT", QFile::encodeName(simulator.sysfsRoot()));
    qputenv("TARSEL_MOUNTINFO", QFile::encodeName(simulator.mountTablePath()));

    QVector<qint64> rss, fds, threads;
    int failures = 0;
    out << "run outcome rss_kib fds threads result\n";
    for (int i = 0; i < runs; ++i) {
        const Outcome outcome = cycle[i % (sizeof cycle / sizeof cycle[0])];
        QString failure;
        const bool passed = prepareVolume(simulator, outcome)
            && runOnce(packageFolder, simulator, outcome, failure);
        if (!passed)
            ++failures;
        rss << statusKiB("VmRSS");
        fds << entries(QStringLiteral("/proc/self/fd"));
        threads << entries(QStringLiteral("/proc/self/task"));
        out << i + 1 << ' ' << outcomeName(outcome) << ' ' << rss.last() << ' ' << fds.last() << ' '
            << threads.last() << ' ' << (passed ? QStringLiteral("ok") : failure) << '\n';
        out.flush();
    }

    // Growth is judged on whole cycles of outcomes, after the first cycle warmed Qt up.
    const int window = std::min<int>(10, runs / 3);
    const auto firstAndLast = [window](const QVector<qint64> &values) {
        return qMakePair(median(values.mid(5, window)), median(values.mid(values.size() - window)));
    };
    const auto [rssFirst, rssLast] = firstAndLast(rss);
    const auto [fdFirst, fdLast] = firstAndLast(fds);
    const auto [threadFirst, threadLast] = firstAndLast(threads);
    out << QStringLiteral("summary: runs %1, failed %2\n").arg(runs).arg(failures);
    out << QStringLiteral("rss KiB: runs 6-%1 median %2, last %3 median %4, growth %5 KiB "
                          "(%6 KiB per run), max %7\n")
               .arg(5 + window)
               .arg(rssFirst)
               .arg(window)
               .arg(rssLast)
               .arg(rssLast - rssFirst)
               .arg((rssLast - rssFirst) / double(runs - 5 - window), 0, 'f', 2)
               .arg(*std::max_element(rss.cbegin(), rss.cend()));
    out << QStringLiteral("fds: first %1, last %2, max %3; threads: first %4, last %5\n")
               .arg(fdFirst)
               .arg(fdLast)
               .arg(*std::max_element(fds.cbegin(), fds.cend()))
               .arg(threadFirst)
               .arg(threadLast);
    return failures == 0 ? 0 : 1;
}
