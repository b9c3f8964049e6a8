#pragma once

#include "winsim.h"

#include <QHash>
#include <condition_variable>
#include <mutex>

namespace WinSim {

struct Instance
{
    QString id;
    DEVINST node = 0; // 0 for a remembered instance
    DEVINST parent = 0;
};

struct Disk
{
    DEVINST node = 0;
    QString path;
    std::optional<DWORD> deviceNumber;
    Access access = Access::QueryOnly;
};

struct Volume
{
    UINT type = DRIVE_NO_ROOT_DIR;
    std::optional<DWORD> deviceNumber;
    Access access = Access::QueryOnly;
};

struct Window
{
    HWND handle = nullptr;
    QString title;
    WindowBehaviour behaviour = WindowBehaviour::ClosesOnRequest;
    ULONGLONG appearsAt = 0;
    bool closed = false;
    QVector<SentMessage> received;
};

struct OpenDevice
{
    std::optional<DWORD> deviceNumber;
    DWORD partitionNumber = 0;
};

struct DeviceInfoSet
{
    QVector<int> disks; // indices into Machine::disks
};

struct Machine
{
    std::mutex mutex;
    std::condition_variable sleepReleased;

    QVector<Instance> instances;
    std::function<void()> afterListSizeQuery;
    QVector<Disk> disks;
    bool failDeviceInfoSets = false;
    Volume volumes[26];
    QVector<Window> windows;
    int enumWindowsCalls = 0;

    ULONGLONG clock = 0;
    bool holdSleepers = false;
    int heldSleepers = 0;

    quintptr nextHandle = 0x1000;
    QHash<quintptr, OpenDevice> handles;
    QHash<quintptr, DeviceInfoSet> deviceInfoSets;
    int badReleases = 0;
    QHash<QString, QVector<DWORD>> accessesRequested; // keyed by the lower-case path

    Window *window(HWND handle);
};

Machine &machine();

} // namespace WinSim
