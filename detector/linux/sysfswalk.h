#pragma once

#include <QString>

// What a block device's USB ancestor says about it.
struct UsbDisk
{
    QString idVendor;
    QString idProduct;
    // The disk's own removable attribute, also when the file system lies on a partition.
    bool removable = false;
};

// Walks a sysfs tree below a root folder ("/sys", or a fake tree in tests). Every link is
// resolved, and a result that resolves outside the root is treated as missing. Pure reads, no
// state.
class SysfsWalk
{
public:
    explicit SysfsWalk(const QString &root);

    // The block device folder for a mount: dev/block/MAJ:MIN, else class/block/NAME for a source
    // /dev/NAME (file systems with an anonymous device number: btrfs, FUSE, overlay). Empty when
    // neither exists.
    QString blockDevice(quint32 major, quint32 minor, const QString &source) const;

    // The first ancestor of the block device in subsystem usb that has idVendor and idProduct
    // (interfaces have neither). False when there is none below the root.
    bool usbDiskOf(const QString &blockDevice, UsbDisk &disk) const;

    QString root() const { return rootPath; }

private:
    QString resolved(const QString &path) const;
    bool inside(const QString &canonicalPath) const;

    QString rootPath;
};
