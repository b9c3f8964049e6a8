#pragma once

#include <QByteArray>
#include <QString>

// Builds a sysfs-shaped tree below a root folder, laid out as the kernel lays out block devices
// (devices/..., dev/block/MAJ:MIN and class/block/NAME as relative links, subsystem links), so
// that code reading /sys can read it instead.
class FakeSysfs
{
public:
    explicit FakeSysfs(const QString &root);

    // A USB mass-storage device on a root-hub port ("1-2"), with one interface, one disk and
    // the given number of partitions (minor numbers follow the disk's). idVendor and idProduct
    // are written exactly as given, so callers choose the kernel's form or another.
    bool addUsbDisk(const QString &port, const QByteArray &idVendor, const QByteArray &idProduct,
        const QString &disk, quint32 major, quint32 minor, bool removable, int partitions);
    // An NVMe disk on the PCI bus, with no USB device above it.
    bool addNvmeDisk(const QString &disk, quint32 major, quint32 minor, int partitions);

    // Folder of a disk or partition added before, by name ("sdb", "sdb1"); empty if unknown.
    QString blockDevicePath(const QString &name) const;
    // Folder of the USB device on a port ("1-2").
    QString usbDevicePath(const QString &port) const;

    QString root() const { return rootPath; }
    QString errorString() const { return error; }

    // A relative link as the kernel makes them; replaces what is at linkPath.
    bool link(const QString &target, const QString &linkPath);

private:
    bool write(const QString &path, const QByteArray &contents);
    bool makeFolder(const QString &path);
    bool addBlockDevices(const QString &parent, const QString &disk, quint32 major, quint32 minor,
        bool removable, int partitions);
    bool addSubsystem(const QString &device, const QString &subsystem);
    bool fail(const QString &message);

    QString rootPath;
    QString error;
    int nextScsiHost = 6;
};
