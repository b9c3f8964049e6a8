#pragma once

#include <cfgmgr32.h>
#include <windows.h>

#include <QString>
#include <QVector>
#include <functional>
#include <optional>

// The simulated Windows machine behind include/: one process-wide model that tests fill, safe to
// call from any thread.
namespace WinSim {

// The most CreateFileW grants on a device: an ordinary user may open a disk only for queries.
enum class Access { None, QueryOnly, ReadOnly, ReadWrite };
// A hung window makes a send wait its whole time-out unless it may abort on a hung window.
enum class Window { Closes, IgnoresClose, Hung };

struct Sent
{
    UINT message, flags, timeout;
    ULONGLONG time;
};

// Empties the machine: no devices, volumes or windows, clock at 0, sleepers released.
void reset();
// A device instance, listed in the order added. A present one is a device node, the child of
// parent when that is not 0; an absent one is only remembered from an earlier connection.
DEVINST addDevice(const QString &instanceId, DEVINST parent = 0, bool present = true);
// Runs change once, right after the next device list size query is answered.
void afterNextListSizeQuery(std::function<void()> change);
// A disk interface of a node; without a number, IOCTL_STORAGE_GET_DEVICE_NUMBER fails on it.
void addDisk(DEVINST node, const QString &path, std::optional<DWORD> number,
    Access access = Access::QueryOnly);
void failDeviceInfoSets();
// A drive letter of the type, opened as \\.\X:.
void addVolume(
    char letter, UINT type, std::optional<DWORD> number, Access access = Access::QueryOnly);
// The access masks CreateFileW was asked for on a path, in order.
QVector<DWORD> accessesRequested(const QString &path);
// Open handles and device information sets, plus releases of what was not open.
int leaks();

// A top-level window, enumerated after those added before, visible from appearsAt on.
HWND addWindow(const QString &title, Window behaviour = Window::Closes, ULONGLONG appearsAt = 0);
QVector<Sent> sentTo(HWND window);
ULONGLONG now();
// While held, every Sleep blocks, so a task on a worker thread stays where it is.
void holdSleepers(bool hold);
int heldSleepers();

} // namespace WinSim
