#include "fakesysfs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

const QString usbHostController = QStringLiteral("devices/pci0000:00/0000:00:14.0");
const QString nvmeController = QStringLiteral("devices/pci0000:00/0000:00:1d.0/0000:3d:00.0");

QString partitionName(const QString &disk, int number)
{
    // The kernel puts a "p" between a disk name ending in a digit and the number (nvme0n1p1).
    const bool digit = !disk.isEmpty() && disk.back().isDigit();
    return disk + (digit ? QStringLiteral("p") : QString()) + QString::number(number);
}

QByteArray line(const QString &text)
{
    return text.toUtf8() + '\n';
}

} // namespace

FakeSysfs::FakeSysfs(const QString &root)
    : rootPath(QDir(root).absolutePath())
{
}

bool FakeSysfs::fail(const QString &message)
{
    error = message;
    return false;
}

bool FakeSysfs::makeFolder(const QString &path)
{
    if (!QDir().mkpath(path))
        return fail(QStringLiteral("cannot create folder %1").arg(path));
    return true;
}

bool FakeSysfs::write(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) < 0)
        return fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    return true;
}

bool FakeSysfs::link(const QString &target, const QString &linkPath)
{
    const QFileInfo existing(linkPath);
    if ((existing.exists() || existing.isSymLink()) && !QFile::remove(linkPath))
        return fail(QStringLiteral("cannot replace %1").arg(linkPath));
    if (!makeFolder(existing.absolutePath()))
        return false;
    const QString relative = QDir(existing.absolutePath()).relativeFilePath(target);
    if (::symlink(QFile::encodeName(relative).constData(), QFile::encodeName(linkPath).constData())
        != 0)
        return fail(QStringLiteral("cannot link %1: %2")
                        .arg(linkPath, QString::fromLocal8Bit(std::strerror(errno))));
    return true;
}

bool FakeSysfs::addSubsystem(const QString &device, const QString &subsystem)
{
    const QString target = rootPath + QLatin1Char('/') + subsystem;
    return makeFolder(target) && link(target, device + QLatin1String("/subsystem"));
}

bool FakeSysfs::addBlockDevices(const QString &parent, const QString &disk, quint32 major,
    quint32 minor, bool removable, int partitions)
{
    const QString diskPath = parent + QLatin1String("/block/") + disk;
    const auto addOne
        = [this](const QString &path, const QString &name, quint32 devMajor, quint32 devMinor) {
              const QString number = QStringLiteral("%1:%2").arg(devMajor).arg(devMinor);
              return makeFolder(path) && write(path + QLatin1String("/dev"), line(number))
                  && write(path + QLatin1String("/uevent"),
                      line(QStringLiteral("MAJOR=%1\nMINOR=%2\nDEVNAME=%3")
                               .arg(devMajor)
                               .arg(devMinor)
                               .arg(name)))
                  && addSubsystem(path, QStringLiteral("class/block"))
                  && link(path, rootPath + QLatin1String("/dev/block/") + number)
                  && link(path, rootPath + QLatin1String("/class/block/") + name);
          };
    if (!addOne(diskPath, disk, major, minor)
        || !write(diskPath + QLatin1String("/removable"), removable ? "1\n" : "0\n")
        || !write(diskPath + QLatin1String("/size"), "7864320\n")
        || !write(diskPath + QLatin1String("/ro"), "0\n")
        || !link(parent, diskPath + QLatin1String("/device")))
        return false;
    for (int i = 1; i <= partitions; ++i) {
        const QString name = partitionName(disk, i);
        const QString path = diskPath + QLatin1Char('/') + name;
        if (!addOne(path, name, major, minor + quint32(i))
            || !write(path + QLatin1String("/partition"), line(QString::number(i)))
            || !write(path + QLatin1String("/start"), "2048\n"))
            return false;
    }
    return true;
}

bool FakeSysfs::addUsbDisk(const QString &port, const QByteArray &idVendor,
    const QByteArray &idProduct, const QString &disk, quint32 major, quint32 minor, bool removable,
    int partitions)
{
    const QString bus = port.section(QLatin1Char('-'), 0, 0);
    const QString hub = QStringLiteral("%1/%2/usb%3").arg(rootPath, usbHostController, bus);
    // The root hub is a USB device with ids of its own; the walk must stop below it.
    if (!QFileInfo::exists(hub)
        && !(makeFolder(hub) && write(hub + QLatin1String("/idVendor"), "1d6b\n")
            && write(hub + QLatin1String("/idProduct"), "0002\n")
            && addSubsystem(hub, QStringLiteral("bus/usb"))))
        return false;
    const QString device = hub + QLatin1Char('/') + port;
    const QString interface = device + QLatin1Char('/') + port + QLatin1String(":1.0");
    const int host = nextScsiHost++;
    const QString scsi = QStringLiteral("%1/host%2/target%2:0:0/%2:0:0:0").arg(interface).arg(host);
    return makeFolder(device) && write(device + QLatin1String("/idVendor"), idVendor)
        && write(device + QLatin1String("/idProduct"), idProduct)
        && write(device + QLatin1String("/manufacturer"), "Tarsel\n")
        && write(device + QLatin1String("/product"), "Mass Storage\n")
        && write(device + QLatin1String("/bDeviceClass"), "00\n")
        && addSubsystem(device, QStringLiteral("bus/usb")) && makeFolder(interface)
        && write(interface + QLatin1String("/bInterfaceClass"), "08\n")
        && write(interface + QLatin1String("/bInterfaceSubClass"), "06\n")
        && addSubsystem(interface, QStringLiteral("bus/usb")) && makeFolder(scsi)
        && addSubsystem(scsi, QStringLiteral("bus/scsi"))
        && addBlockDevices(scsi, disk, major, minor, removable, partitions);
}

bool FakeSysfs::addNvmeDisk(const QString &disk, quint32 major, quint32 minor, int partitions)
{
    const QString pci = rootPath + QLatin1Char('/') + nvmeController;
    const QString controller = pci + QLatin1String("/nvme/nvme0");
    return makeFolder(controller) && addSubsystem(pci, QStringLiteral("bus/pci"))
        && write(pci + QLatin1String("/vendor"), "0x144d\n")
        && addSubsystem(controller, QStringLiteral("class/nvme"))
        && addBlockDevices(controller, disk, major, minor, false, partitions);
}

QString FakeSysfs::blockDevicePath(const QString &name) const
{
    const QFileInfo entry(rootPath + QLatin1String("/class/block/") + name);
    return entry.isSymLink() ? entry.canonicalFilePath() : QString();
}

QString FakeSysfs::usbDevicePath(const QString &port) const
{
    const QString bus = port.section(QLatin1Char('-'), 0, 0);
    return QStringLiteral("%1/%2/usb%3/%4").arg(rootPath, usbHostController, bus, port);
}
