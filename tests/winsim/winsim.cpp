// The Windows functions of include/, answered from one in-memory machine. Each checks its
// arguments as Windows does where the detector could get them wrong, and fails the Windows way.
#include "winsim.h"

#include <dbt.h>
#include <setupapi.h>
#include <winioctl.h>

#include <QHash>
#include <condition_variable>
#include <mutex>
#include <utility>

using namespace WinSim;

namespace {

struct Instance
{
    QString id;
    DEVINST node, parent;
};
// A disk interface (node set) or a volume (type set).
struct Device
{
    QString path;
    DEVINST node;
    UINT type;
    std::optional<DWORD> number;
    Access access;
};
struct Win
{
    QString title;
    Window behaviour;
    ULONGLONG appearsAt;
    bool closed;
    QVector<Sent> sent;
};
struct State
{
    QVector<Instance> instances;
    std::function<void()> afterSizeQuery;
    QVector<Device> devices;
    bool failSets = false;
    QHash<QString, QVector<DWORD>> accesses;
    quintptr nextHandle = 0x1000;
    QHash<quintptr, std::optional<DWORD>> handles;
    QHash<quintptr, QVector<int>> sets; // indices of their disks in devices
    int badReleases = 0;
    QVector<Win> windows;
    ULONGLONG clock = 0;
    bool hold = false;
    int held = 0;
};

std::mutex mutex;
std::condition_variable sleepersReleased;
State s;

using Lock = std::unique_lock<std::mutex>;

QVector<WCHAR> idList()
{
    QVector<WCHAR> list;
    for (const Instance &i : qAsConst(s.instances)) {
        for (QChar c : i.id)
            list.append(c.unicode());
        list.append(0);
    }
    list.append(0);
    return list;
}

Device *device(const QString &path)
{
    for (Device &d : s.devices) {
        if (d.path.compare(path, Qt::CaseInsensitive) == 0)
            return &d;
    }
    return nullptr;
}

Win *window(HWND handle)
{
    const int i = int((quintptr(handle) - 0x20000) / 16);
    if (i < 0 || i >= s.windows.size() || s.windows[i].closed || s.windows[i].appearsAt > s.clock)
        return nullptr;
    return &s.windows[i];
}

HANDLE newHandle()
{
    return reinterpret_cast<HANDLE>(s.nextHandle += 4);
}

} // namespace

namespace WinSim {

void reset()
{
    Lock lock(mutex);
    s = State();
    sleepersReleased.notify_all();
}

DEVINST addDevice(const QString &instanceId, DEVINST parent, bool present)
{
    Lock lock(mutex);
    // Start high, so that an index taken for a node shows.
    const DEVINST node = present ? DEVINST(0x100 + s.instances.size()) : 0;
    s.instances.append({ instanceId, node, parent });
    return node;
}

void afterNextListSizeQuery(std::function<void()> change)
{
    Lock lock(mutex);
    s.afterSizeQuery = std::move(change);
}

void addDisk(DEVINST node, const QString &path, std::optional<DWORD> number, Access access)
{
    Lock lock(mutex);
    s.devices.append({ path, node, 0, number, access });
}

void failDeviceInfoSets()
{
    Lock lock(mutex);
    s.failSets = true;
}

void addVolume(char letter, UINT type, std::optional<DWORD> number, Access access)
{
    Lock lock(mutex);
    s.devices.append({ QStringLiteral("\\\\.\\%1:").arg(letter), 0, type, number, access });
}

QVector<DWORD> accessesRequested(const QString &path)
{
    Lock lock(mutex);
    return s.accesses.value(path.toLower());
}

int leaks()
{
    Lock lock(mutex);
    return s.handles.size() + s.sets.size() + s.badReleases;
}

HWND addWindow(const QString &title, Window behaviour, ULONGLONG appearsAt)
{
    Lock lock(mutex);
    s.windows.append({ title, behaviour, appearsAt, false, {} });
    return reinterpret_cast<HWND>(quintptr(0x20000 + 16 * (s.windows.size() - 1)));
}

QVector<Sent> sentTo(HWND handle)
{
    Lock lock(mutex);
    return s.windows.value(int((quintptr(handle) - 0x20000) / 16)).sent;
}

ULONGLONG now()
{
    Lock lock(mutex);
    return s.clock;
}

void holdSleepers(bool hold)
{
    Lock lock(mutex);
    s.hold = hold;
    sleepersReleased.notify_all();
}

int heldSleepers()
{
    Lock lock(mutex);
    return s.held;
}

} // namespace WinSim

CONFIGRET WINAPI CM_Get_Device_ID_List_SizeW(PULONG length, PCWSTR, ULONG)
{
    Lock lock(mutex);
    *length = ULONG(idList().size());
    const std::function<void()> change = std::exchange(s.afterSizeQuery, nullptr);
    lock.unlock();
    if (change)
        change();
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Device_ID_ListW(PCWSTR, PWCHAR buffer, ULONG length, ULONG)
{
    Lock lock(mutex);
    const QVector<WCHAR> list = idList();
    // A short buffer gets an unterminated start of the list, to punish a caller that reads it.
    std::memcpy(buffer, list.constData(), qMin(length, ULONG(list.size())) * sizeof(WCHAR));
    return length < ULONG(list.size()) ? CR_BUFFER_SMALL : CR_SUCCESS;
}

CONFIGRET WINAPI CM_Locate_DevNodeW(DEVINST *devInst, WCHAR *deviceId, ULONG)
{
    Lock lock(mutex);
    *devInst = 0;
    for (const Instance &i : qAsConst(s.instances)) {
        if (i.node && i.id.compare(QString::fromUtf16(deviceId), Qt::CaseInsensitive) == 0) {
            *devInst = i.node;
            return CR_SUCCESS;
        }
    }
    return CR_NO_SUCH_DEVNODE;
}

CONFIGRET WINAPI CM_Get_Child(DEVINST *devInst, DEVINST parent, ULONG)
{
    Lock lock(mutex);
    *devInst = 0;
    if (parent == 0)
        return CR_INVALID_DEVNODE;
    for (const Instance &i : qAsConst(s.instances)) {
        if (i.node && i.parent == parent) {
            *devInst = i.node;
            return CR_SUCCESS;
        }
    }
    return CR_NO_SUCH_DEVNODE;
}

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID *classGuid, PCWSTR enumerator, HWND, DWORD flags)
{
    Lock lock(mutex);
    if (s.failSets || enumerator || !classGuid)
        return INVALID_HANDLE_VALUE;
    QVector<int> disks;
    // Without DIGCF_DEVICEINTERFACE the GUID names a setup class, which has no disk interfaces.
    for (int i = 0; i < s.devices.size(); ++i) {
        if (s.devices[i].node && (flags & DIGCF_DEVICEINTERFACE)
            && *classGuid == GUID_DEVINTERFACE_DISK)
            disks.append(i);
    }
    const HANDLE set = newHandle();
    s.sets.insert(quintptr(set), disks);
    return set;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA *, const GUID *, DWORD index,
    SP_DEVICE_INTERFACE_DATA *interfaceData)
{
    Lock lock(mutex);
    const QVector<int> disks = s.sets.value(quintptr(set));
    if (interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || index >= DWORD(disks.size()))
        return FALSE;
    interfaceData->Reserved = ULONG_PTR(disks[int(index)] + 1);
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA *interfaceData,
    SP_DEVICE_INTERFACE_DETAIL_DATA_W *detail, DWORD detailSize, PDWORD requiredSize,
    SP_DEVINFO_DATA *devInfo)
{
    Lock lock(mutex);
    const int disk = int(interfaceData->Reserved) - 1;
    if (interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)
        || !s.sets.value(quintptr(set)).contains(disk))
        return FALSE;
    const Device &d = s.devices[disk];
    const DWORD offset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    const DWORD needed = offset + DWORD(d.path.size() + 1) * sizeof(WCHAR);
    if (requiredSize)
        *requiredSize = needed;
    // cbSize is the size of the fixed part, not of the buffer.
    if (!detail || detail->cbSize != sizeof(*detail) || detailSize < needed
        || (devInfo && devInfo->cbSize != sizeof(*devInfo)))
        return FALSE;
    std::memcpy(reinterpret_cast<char *>(detail) + offset, d.path.utf16(), needed - offset);
    if (devInfo)
        devInfo->DevInst = d.node;
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    Lock lock(mutex);
    s.badReleases += s.sets.remove(quintptr(set)) ? 0 : 1;
    return TRUE;
}

HANDLE WINAPI CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, void *,
    DWORD creationDisposition, DWORD, HANDLE)
{
    Lock lock(mutex);
    const QString path = QString::fromUtf16(fileName);
    s.accesses[path.toLower()].append(desiredAccess);
    const Device *d = device(path);
    const Access needed = desiredAccess & GENERIC_WRITE ? Access::ReadWrite
        : desiredAccess & GENERIC_READ                  ? Access::ReadOnly
                                                        : Access::QueryOnly;
    // The mounted file system holds the device open for reading and writing.
    if (!d || creationDisposition != OPEN_EXISTING || d->access < needed
        || shareMode != (FILE_SHARE_READ | FILE_SHARE_WRITE))
        return INVALID_HANDLE_VALUE;
    const HANDLE handle = newHandle();
    s.handles.insert(quintptr(handle), d->number);
    return handle;
}

BOOL WINAPI CloseHandle(HANDLE object)
{
    Lock lock(mutex);
    s.badReleases += s.handles.remove(quintptr(object)) ? 0 : 1;
    return TRUE;
}

BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, PVOID, DWORD, PVOID out, DWORD outSize,
    PDWORD returned, OVERLAPPED *overlapped)
{
    Lock lock(mutex);
    const std::optional<DWORD> number = s.handles.value(quintptr(device));
    if (!number || code != IOCTL_STORAGE_GET_DEVICE_NUMBER
        || outSize < sizeof(STORAGE_DEVICE_NUMBER) || !returned || overlapped)
        return FALSE;
    *static_cast<STORAGE_DEVICE_NUMBER *>(out) = { 7 /* FILE_DEVICE_DISK */, *number, 0 };
    *returned = sizeof(STORAGE_DEVICE_NUMBER);
    return TRUE;
}

UINT WINAPI GetDriveTypeW(LPCWSTR rootPathName)
{
    Lock lock(mutex);
    const QString root = QString::fromUtf16(rootPathName);
    // The trailing backslash is required.
    const Device *d = root.size() == 3 && root.endsWith(QLatin1String(":\\"))
        ? device(QLatin1String("\\\\.\\") + root.left(2))
        : nullptr;
    return d ? d->type : DRIVE_NO_ROOT_DIR;
}

void WINAPI Sleep(DWORD milliseconds)
{
    Lock lock(mutex);
    ++s.held;
    sleepersReleased.wait(lock, [] { return !s.hold; });
    --s.held;
    s.clock += milliseconds;
}

ULONGLONG WINAPI GetTickCount64()
{
    return now();
}

BOOL WINAPI EnumWindows(WNDENUMPROC enumFunc, LPARAM lParam)
{
    Lock lock(mutex);
    QVector<HWND> visible;
    for (int i = 0; i < s.windows.size(); ++i) {
        const HWND handle = reinterpret_cast<HWND>(quintptr(0x20000 + 16 * i));
        if (window(handle))
            visible.append(handle);
    }
    // The callback calls back into the machine.
    lock.unlock();
    for (HWND handle : qAsConst(visible)) {
        if (!enumFunc(handle, lParam))
            return FALSE;
    }
    return TRUE;
}

int WINAPI GetWindowTextW(HWND handle, LPWSTR text, int maxCount)
{
    Lock lock(mutex);
    const Win *w = window(handle);
    const int copied = w ? qMin(w->title.size(), maxCount - 1) : 0;
    if (w)
        std::memcpy(text, w->title.utf16(), size_t(copied) * sizeof(WCHAR));
    text[copied] = 0;
    return copied;
}

LRESULT WINAPI SendMessageTimeoutW(
    HWND handle, UINT message, WPARAM, LPARAM, UINT flags, UINT timeout, PDWORD_PTR)
{
    Lock lock(mutex);
    Win *w = window(handle);
    if (!w)
        return 0;
    w->sent.append({ message, flags, timeout, s.clock });
    if (w->behaviour == Window::Hung && !(flags & SMTO_ABORTIFHUNG))
        s.clock += timeout;
    w->closed = w->behaviour == Window::Closes && message == WM_CLOSE;
    return w->behaviour != Window::Hung;
}
