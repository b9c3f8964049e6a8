#pragma once

#include <cfgmgr32.h>

#include <QHash>
#include <QVector>
#include <functional>
#include <optional>

// The simulated Windows machine behind include/. Tests fill it directly before
// the code runs.
namespace WinSim {

// The most CreateFileW grants: an ordinary user may open a disk only for
// queries.
enum class Access { None, Query, Read, ReadWrite };

struct Instance
{
    QString id;
    DEVINST parent; // its node is its index + 0x100, far from 0, so that a stray
                    // index shows
};
struct Device
{
    QString path; // of a disk interface, or \\.\X: for a volume
    std::optional<DWORD> number; // what IOCTL_STORAGE_GET_DEVICE_NUMBER answers
    Access access = Access::Query;
    DEVINST node = 0; // of a disk
    UINT driveType = 0; // of a volume
};
struct Sent
{
    UINT message, flags, timeout;
    ULONGLONG time;
};
struct Window
{
    QString title;
    bool closes = true; // on WM_CLOSE
    bool closed = false;
    QVector<Sent> sent;
};
struct Machine
{
    QVector<Instance> instances;
    std::function<void()> afterListSizeQuery; // right after each size query
    QVector<Device> devices;
    bool failDeviceInfoSets = false;
    QVector<DWORD> accessesRequested;
    QHash<quintptr, std::optional<DWORD>> handles; // open, with their device's number
    QHash<quintptr, bool> sets; // open, and whether they list the disk interfaces
    int badReleases = 0;
    QVector<Window> windows; // HWND i + 1
    ULONGLONG clock = 0;
    bool holdSleepers = false;
};
extern Machine machine;

void reset();
DEVINST addDevice(const QString &id, DEVINST parent = 0);
// While held, Sleep blocks instead of advancing the clock, so that pool threads
// stay in their tasks. Windows and clock are shared with those threads only
// through this lock.
void holdSleepers(bool hold);

} // namespace WinSim
