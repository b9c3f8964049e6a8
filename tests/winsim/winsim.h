#pragma once

#include <cfgmgr32.h>
#include <windows.h>

#include <QChar>
#include <QString>
#include <QVector>
#include <functional>
#include <optional>

// The simulated Windows machine behind the headers in include/: one process-wide model that tests
// fill, and the accounting of what the code under test opened and has not released. All of it is
// safe to call from any thread.
namespace WinSim {

// The most that CreateFileW grants on a device: an ordinary user may open a disk only for queries.
enum class Access { None, QueryOnly, ReadOnly, ReadWrite };

enum class WindowBehaviour {
    ClosesOnRequest,
    IgnoresClose,
    // Does not answer: a send returns at once when it may abort on a hung window, and only after
    // its whole time-out otherwise.
    Hung,
};

struct SentMessage
{
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    UINT flags = 0;
    UINT timeout = 0;
    ULONGLONG time = 0; // on the simulated clock
};

// Empties the machine: no devices, volumes or windows, clock at 0, every count at 0, sleepers
// released.
void reset();

// Device instances, listed by CM_Get_Device_ID_ListW in the order they were added. A present one
// has a device node, a child of parent when parent is not 0.
DEVINST addDevice(const QString &instanceId, DEVINST parent = 0);
// An instance the system remembers from an earlier connection: listed, but not in the device tree.
void addRememberedDevice(const QString &instanceId);
// Runs change once, right after the next device list size query has been answered.
void afterNextListSizeQuery(std::function<void()> change);

// A disk interface (GUID_DEVINTERFACE_DISK) of a present node. Without a device number the disk
// opens but fails IOCTL_STORAGE_GET_DEVICE_NUMBER.
void addDisk(DEVINST node, const QString &devicePath, std::optional<DWORD> deviceNumber,
    Access access = Access::QueryOnly);
// Makes SetupDiGetClassDevsW fail as when the interface list cannot be built.
void failDeviceInfoSets(bool fail);

// A drive letter with its type, openable as \\.\X: when access allows it.
void addVolume(QChar letter, UINT driveType, std::optional<DWORD> deviceNumber,
    Access access = Access::QueryOnly);

// A top-level window, enumerated after the ones added earlier, visible from the given time on.
HWND addWindow(const QString &title, WindowBehaviour behaviour = WindowBehaviour::ClosesOnRequest,
    ULONGLONG appearsAt = 0);
bool isWindowOpen(HWND window);
QVector<SentMessage> messagesSentTo(HWND window);
int enumWindowsCalls();

// The simulated clock in milliseconds; Sleep advances it and returns at once.
ULONGLONG now();
// While held, every Sleep blocks until released, so a worker thread stays in its task.
void holdSleepers(bool hold);
// The Sleep calls blocked now.
int heldSleepers();

// The access masks CreateFileW was asked for on a path, in call order.
QVector<DWORD> accessesRequested(const QString &path);

// What the code under test must have released by the end of each test.
int openHandles();
int openDeviceInfoSets();
// CloseHandle or SetupDiDestroyDeviceInfoList on something that was not open.
int badReleases();

} // namespace WinSim
