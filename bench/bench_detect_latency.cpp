// Time from the product's mount to DeviceDetector::detected, on the simulator's mount table and,
// where the process may mount, on the kernel's. Prints minimum, median, 90th percentile and
// maximum.
#include "detectlatency.h"
#include "fakesysfs.h"
#include "productsimulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

QTextStream out(stdout);
constexpr int timeoutMs = 5000;

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
        samples.append(detectlatency::measure(
            [&] { return simulator.plug(); }, [&] { simulator.unplug(); }, timeoutMs));
    detectlatency::report(out, QStringLiteral("simulated table (tarsel-sim plug)"), samples);
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
        samples.append(detectlatency::measure(
            [&] {
                return mount(volume.constData(), bind.constData(), nullptr, MS_BIND, nullptr) == 0;
            },
            [&] { umount2(bind.constData(), 0); }, timeoutMs));
    umount2(volume.constData(), MNT_DETACH);
    detectlatency::report(out, QStringLiteral("kernel table (bind mount)"), samples);
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
