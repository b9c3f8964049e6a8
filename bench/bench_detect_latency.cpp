// Time from the product's mount to DeviceDetector::detected, on the simulator's mount table and,
// where the process may mount, on the kernel's. Prints median, 90th percentile and maximum.
#include "devicedetector.h"
#include "fakesysfs.h"
#include "productsimulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

QTextStream out(stdout);

// One round: a fresh detector is armed, mount() makes the volume appear, unmount() takes it away.
// Returns milliseconds, or a negative value when nothing was detected within five seconds.
double measure(const std::function<bool()> &mount, const std::function<bool()> &unmount)
{
    DeviceDetector detector;
    detector.start(QStringLiteral("0x1a2b"), QStringLiteral("0x3c4d"), QString());
    QEventLoop loop;
    QElapsedTimer timer;
    qint64 elapsed = -1;
    QObject::connect(&detector, &DeviceDetector::detected, &loop, [&] {
        elapsed = timer.nsecsElapsed();
        loop.quit();
    });
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    timer.start();
    if (!mount())
        return -1;
    if (elapsed < 0)
        loop.exec();
    unmount();
    return elapsed < 0 ? -1 : elapsed / 1e6;
}

void report(const QString &name, QVector<double> samples, int rounds)
{
    const int missed = int(std::count(samples.cbegin(), samples.cend(), -1.0));
    samples.erase(std::remove(samples.begin(), samples.end(), -1.0), samples.end());
    std::sort(samples.begin(), samples.end());
    if (samples.isEmpty()) {
        out << name << ": nothing detected in " << rounds << " rounds\n";
        return;
    }
    const auto at = [&samples](double q) { return samples.at(int(q * (samples.size() - 1))); };
    out << QStringLiteral("%1: %2 rounds, median %3 ms, p90 %4 ms, max %5 ms, missed %6\n")
               .arg(name)
               .arg(rounds)
               .arg(at(0.5), 0, 'f', 3)
               .arg(at(0.9), 0, 'f', 3)
               .arg(samples.last(), 0, 'f', 3)
               .arg(missed);
    out.flush();
}

void simulated(const QString &folder, int rounds)
{
    ProductSimulator simulator(folder + QStringLiteral("/sim"));
    if (!simulator.create(ProductSimulator::Options())) {
        out << "simulator: " << simulator.errorString() << "\n";
        return;
    }
    qputenv("TARSEL_SYSFS_ROOT", QFile::encodeName(simulator.sysfsRoot()));
    qputenv("TARSEL_MOUNTINFO", QFile::encodeName(simulator.mountTablePath()));
    QVector<double> samples;
    for (int i = 0; i < rounds; ++i)
        samples.append(
            measure([&] { return simulator.plug(); }, [&] { return simulator.unplug(); }));
    report(QStringLiteral("simulated table (tarsel-sim plug)"), samples, rounds);
}

void kernel(const QString &folder, int rounds)
{
    const QByteArray volume = QFile::encodeName(folder + QStringLiteral("/volume"));
    const QByteArray bind = QFile::encodeName(folder + QStringLiteral("/bind"));
    QDir().mkpath(QFile::decodeName(volume));
    QDir().mkpath(QFile::decodeName(bind));
    if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0
        || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
        || mount("tarsel-bench", volume.constData(), "tmpfs", 0, "size=1m") != 0) {
        out << "kernel table (bind mount): skipped, mounting is not permitted here\n";
        return;
    }
    struct stat info = {};
    stat(volume.constData(), &info);
    FakeSysfs sys(folder + QStringLiteral("/sys"));
    sys.addUsbDisk(QStringLiteral("1-2"), "1a2b\n", "3c4d\n", QStringLiteral("sdx"),
        major(info.st_dev), minor(info.st_dev), true, 0);
    qputenv("TARSEL_SYSFS_ROOT", QFile::encodeName(sys.root()));
    qunsetenv("TARSEL_MOUNTINFO");
    QVector<double> samples;
    for (int i = 0; i < rounds; ++i)
        samples.append(measure(
            [&] {
                return mount(volume.constData(), bind.constData(), nullptr, MS_BIND, nullptr) == 0;
            },
            [&] { return umount2(bind.constData(), 0) == 0; }));
    umount2(volume.constData(), MNT_DETACH);
    report(QStringLiteral("kernel table (bind mount)"), samples, rounds);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 200;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    simulated(dir.path(), rounds);
    kernel(dir.path(), rounds);
    return 0;
}
