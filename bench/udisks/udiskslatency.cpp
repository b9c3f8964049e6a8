// Time from a loop device's appearance to DeviceDetector::detected, the volume mounted
// - by the detector through UDisks2, after its grace period and with none;
// - by a stand-in for a desktop's automounter, which asks UDisks2 to mount as soon as UDisks2
//   announces the file system, while the detector only watches the mount table (the path of a
//   desktop that automounts).
// - by nobody: UDisks2 refuses the mount (an ext4 feature the kernel lacks), and the time runs to
//   the refusal's reason reaching the caller (page 3's line, tarsel-update's exit 17), where the
//   user used to wait for the search's time-out (300 s) to read "not found".
// Needs root and a running system bus, udevd and udisksd: run.sh starts them.
#include "detectlatency.h"
#include "fakesysfs.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtDBus>

#include <algorithm>

namespace {

const QString udisks = QStringLiteral("org.freedesktop.UDisks2");
const QString fileSystemInterface = QStringLiteral("org.freedesktop.UDisks2.Filesystem");

QTextStream out(stdout);

QString runOutput(const QString &program, const QStringList &arguments, bool *ok)
{
    QProcess process;
    process.start(program, arguments);
    *ok = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

QString objectOf(const QString &device)
{
    return QStringLiteral("/org/freedesktop/UDisks2/block_devices/") + device.mid(5);
}

void callFileSystem(const QString &device, const QString &method, bool async)
{
    QDBusMessage call
        = QDBusMessage::createMethodCall(udisks, objectOf(device), fileSystemInterface, method);
    call << QVariantMap();
    if (async)
        QDBusConnection::systemBus().asyncCall(call);
    else
        QDBusConnection::systemBus().call(call);
}

// Mounts a file system on the device as soon as UDisks2 announces it, as a desktop does.
class Automounter : public QObject
{
    Q_OBJECT
public:
    QString device;

    Automounter()
    {
        QDBusConnection::systemBus().connect(udisks, QStringLiteral("/org/freedesktop/UDisks2"),
            QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("InterfacesAdded"),
            this, SLOT(onInterfacesAdded(QDBusMessage)));
    }

private slots:
    void onInterfacesAdded(const QDBusMessage &message)
    {
        const QList<QVariant> arguments = message.arguments();
        if (device.isEmpty() || arguments.size() < 2
            || arguments.at(0).value<QDBusObjectPath>().path() != objectOf(device))
            return;
        const auto interfaces
            = qdbus_cast<QMap<QString, QVariantMap>>(arguments.at(1).value<QDBusArgument>());
        if (interfaces.contains(fileSystemInterface))
            callFileSystem(device, QStringLiteral("Mount"), true);
    }
};

// One round: the product's identity is given to a free loop device, which is then attached.
double measure(FakeSysfs &sysfs, const QString &image, Automounter *automounter)
{
    bool ok = false;
    const QString device = runOutput(QStringLiteral("losetup"), { QStringLiteral("-f") }, &ok);
    const quint32 minor = device.mid(9).toUInt();
    if (!ok
        || !sysfs.addUsbDisk(
            QStringLiteral("1-2"), "1a2b\n", "3c4d\n", device.mid(5), 7, minor, true, 0))
        return -1;
    // Armed and settled: the detector has had UDisks2's answer before the device appears.
    return detectlatency::measure(
        [&] {
            if (automounter)
                automounter->device = device;
            runOutput(QStringLiteral("losetup"), { device, image }, &ok);
            return ok;
        },
        [&] {
            if (automounter)
                automounter->device.clear();
            callFileSystem(device, QStringLiteral("Unmount"), false);
            runOutput(QStringLiteral("losetup"), { QStringLiteral("-d"), device }, &ok);
            detectlatency::wait(300);
        },
        20000, 300);
}

// Milliseconds from attaching the image that cannot be mounted to the reason; negative if none.
double measureRefusal(FakeSysfs &sysfs, const QString &image)
{
    bool ok = false;
    const QString device = runOutput(QStringLiteral("losetup"), { QStringLiteral("-f") }, &ok);
    if (!ok
        || !sysfs.addUsbDisk(QStringLiteral("1-2"), "1a2b\n", "3c4d\n", device.mid(5), 7,
            device.mid(9).toUInt(), true, 0))
        return -1;
    return detectlatency::measure(
        [&] {
            runOutput(QStringLiteral("losetup"), { device, image }, &ok);
            return ok;
        },
        [&] {
            runOutput(QStringLiteral("losetup"), { QStringLiteral("-d"), device }, &ok);
            detectlatency::wait(300);
        },
        20000, 300, &DeviceDetector::mountFailed);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 5;
    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("product"));
    bool ok = false;
    if (!QFile(image).open(QIODevice::WriteOnly) || !QFile::resize(image, 8 << 20)) {
        out << "cannot create " << image << "\n";
        return 1;
    }
    runOutput(QStringLiteral("mkfs.ext4"),
        { QStringLiteral("-q"), QStringLiteral("-L"), QStringLiteral("TARSEL"), image }, &ok);
    if (!ok || !QDBusConnection::systemBus().interface()->isServiceRegistered(udisks)) {
        out << "needs mkfs.ext4 and UDisks2 on the system bus (bench/udisks/run.sh)\n";
        return 1;
    }
    FakeSysfs sysfs(dir.filePath(QStringLiteral("sys")));
    qputenv("TARSEL_SYSFS_ROOT", QFile::encodeName(sysfs.root()));
    qunsetenv("TARSEL_MOUNTINFO");

    Automounter automounter;
    const struct
    {
        const char *name;
        const char *grace;
        Automounter *mounter;
    } modes[] = {
        { "mounted by an automounter (detector watches the table)", "600000", &automounter },
        { "mounted by the detector through UDisks2, default grace", "", nullptr },
        { "mounted by the detector through UDisks2, no grace", "0", nullptr },
    };
    // Still ext4 to UDisks2, with an incompatible feature the kernel does not know.
    const QString unmountable = dir.filePath(QStringLiteral("unmountable"));
    QFile broken(unmountable);
    if (broken.open(QIODevice::WriteOnly))
        broken.close();
    QFile::resize(unmountable, 8 << 20);
    runOutput(QStringLiteral("mkfs.ext4"),
        { QStringLiteral("-q"), QStringLiteral("-O"), QStringLiteral("^metadata_csum"),
            unmountable },
        &ok);
    if (!ok || !broken.open(QIODevice::ReadWrite) || !broken.seek(1024 + 0x60 + 3)
        || !broken.putChar('\x80')) {
        out << "cannot make the unmountable image\n";
        return 1;
    }
    broken.close();

    for (const auto &mode : modes) {
        qputenv("TARSEL_MOUNT_GRACE_MS", mode.grace);
        QVector<double> samples;
        for (int i = 0; i < rounds; ++i)
            samples.append(measure(sysfs, image, mode.mounter));
        detectlatency::report(out, QString::fromLatin1(mode.name), samples);
    }
    qputenv("TARSEL_MOUNT_GRACE_MS", "");
    QVector<double> refusals;
    for (int i = 0; i < rounds; ++i)
        refusals.append(measureRefusal(sysfs, unmountable));
    detectlatency::report(out,
        QStringLiteral("mount refused: plug to the reason shown, default grace (before: the "
                       "300000 ms time-out)"),
        refusals);
    return 0;
}

#include "udiskslatency.moc"
