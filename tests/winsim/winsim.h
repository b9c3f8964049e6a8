#pragma once

#include <cfgmgr32.h>

#include <QHash>
#include <QVector>
#include <optional>

// The simulated Windows machine behind include/, which tests fill directly. Unlike Windows not
// thread-safe: tests let the pop-up closer's pool thread end before they call in again.
namespace WinSim {

struct Instance
{
    QString id;
    DEVINST parent; // its own node is its index + 0x100, so that a stray index shows
};
struct Device
{
    QString path; // of a disk interface, or \\.\X: for a volume
    std::optional<DWORD> number; // what IOCTL_STORAGE_GET_DEVICE_NUMBER answers
    DEVINST node; // of a disk
    UINT driveType; // of a volume
};
struct File
{
    QByteArray bytes;
    DWORD sectorSize;
    DWORD openFlags; // of the last CreateFileW
};
struct OpenFile
{
    QString path;
    DWORD flags;
    qint64 position;
};
struct Machine
{
    QVector<Instance> instances;
    QVector<Device> devices;
    int listGrowths = 0; // fetches of the identifier list before which a node appears
    QHash<QString, File> files;
    QHash<quintptr, OpenFile> openFiles;
    int allocations = 0; // by VirtualAlloc, not yet freed
    QHash<quintptr, bool> sets; // open, and whether they list the disk interfaces
    int badReleases = 0;
    quintptr nextHandle = 0x1000;
    QHash<quintptr, std::optional<DWORD>> handles; // open, with their device's number
    ULONGLONG clock = 0;
};
extern Machine machine;

DEVINST addDevice(const QString &id, DEVINST parent = 0);

} // namespace WinSim
