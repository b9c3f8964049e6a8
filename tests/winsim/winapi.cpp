// The Windows functions of include/, answered from the simulated machine. Each checks its
// arguments as far as Windows does for the cases the detector meets, and fails the Windows way.

#include "winsim_p.h"

#include <cfgmgr32.h>
#include <dbt.h>
#include <setupapi.h>
#include <windows.h>
#include <winioctl.h>

#include <cstring>

using namespace WinSim;

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

constexpr GUID diskDriveSetupClass
    = { 0x4d36e967, 0xe325, 0x11ce, { 0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18 } };

QString fromWide(const WCHAR *text)
{
    return QString::fromUtf16(text);
}

BOOL fail(DWORD error)
{
    lastError = error;
    return FALSE;
}

QVector<WCHAR> deviceIdList(const Machine &m)
{
    QVector<WCHAR> list;
    for (const Instance &instance : m.instances) {
        for (QChar c : instance.id)
            list.append(c.unicode());
        list.append(0);
    }
    list.append(0);
    return list;
}

const Instance *presentInstance(const Machine &m, DEVINST node)
{
    for (const Instance &instance : m.instances) {
        if (node != 0 && instance.node == node)
            return &instance;
    }
    return nullptr;
}

// The device a path names: a volume \\.\X: with a letter, or a disk interface's device path.
bool findDevice(const Machine &m, const QString &path, Access *access, OpenDevice *device)
{
    if (path.size() == 6 && path.startsWith(QLatin1String("\\\\.\\"))
        && path[5] == QLatin1Char(':')) {
        const int index = path[4].toUpper().unicode() - 'A';
        if (index >= 0 && index < 26 && m.volumes[index].type != DRIVE_NO_ROOT_DIR) {
            *access = m.volumes[index].access;
            *device = { m.volumes[index].deviceNumber, 1 };
            return true;
        }
        return false;
    }
    for (const Disk &disk : m.disks) {
        if (disk.path.compare(path, Qt::CaseInsensitive) == 0) {
            *access = disk.access;
            *device = { disk.deviceNumber, 0 };
            return true;
        }
    }
    return false;
}

Access accessNeeded(DWORD desiredAccess)
{
    if (desiredAccess & GENERIC_WRITE)
        return Access::ReadWrite;
    if (desiredAccess & GENERIC_READ)
        return Access::ReadOnly;
    return Access::QueryOnly;
}

HANDLE newHandle(Machine &m)
{
    const quintptr value = m.nextHandle;
    m.nextHandle += 4;
    return reinterpret_cast<HANDLE>(value);
}

} // namespace

DWORD WINAPI GetLastError()
{
    return lastError;
}

void WINAPI SetLastError(DWORD error)
{
    lastError = error;
}

CONFIGRET WINAPI CM_Get_Device_ID_List_SizeW(PULONG pulLen, PCWSTR pszFilter, ULONG ulFlags)
{
    Q_UNUSED(pszFilter); // ignored by Windows without a filter flag
    if (!pulLen)
        return CR_INVALID_POINTER;
    if (ulFlags != CM_GETIDLIST_FILTER_NONE)
        return CR_INVALID_FLAG; // filtered lists are not simulated
    Machine &m = machine();
    std::function<void()> change;
    {
        std::lock_guard<std::mutex> lock(m.mutex);
        *pulLen = ULONG(deviceIdList(m).size());
        change = std::move(m.afterListSizeQuery);
        m.afterListSizeQuery = nullptr;
    }
    if (change)
        change();
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Device_ID_ListW(
    PCWSTR pszFilter, PWCHAR Buffer, ULONG BufferLen, ULONG ulFlags)
{
    Q_UNUSED(pszFilter);
    if (!Buffer)
        return CR_INVALID_POINTER;
    if (ulFlags != CM_GETIDLIST_FILTER_NONE)
        return CR_INVALID_FLAG;
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    const QVector<WCHAR> list = deviceIdList(m);
    if (BufferLen < ULONG(list.size())) {
        // What a short buffer holds afterwards is undefined; a plausible but unterminated start of
        // the list punishes a caller that reads it anyway.
        std::memcpy(Buffer, list.constData(), BufferLen * sizeof(WCHAR));
        return CR_BUFFER_SMALL;
    }
    std::memcpy(Buffer, list.constData(), size_t(list.size()) * sizeof(WCHAR));
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Locate_DevNodeW(PDEVINST pdnDevInst, DEVINSTID_W pDeviceID, ULONG ulFlags)
{
    if (!pdnDevInst)
        return CR_INVALID_POINTER;
    if (ulFlags != CM_LOCATE_DEVNODE_NORMAL)
        return CR_INVALID_FLAG; // phantom nodes are not simulated
    *pdnDevInst = 0;
    if (!pDeviceID || !*pDeviceID)
        return CR_NO_SUCH_DEVNODE; // the root node is not simulated
    const QString id = fromWide(pDeviceID);
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    for (const Instance &instance : m.instances) {
        if (instance.node != 0 && instance.id.compare(id, Qt::CaseInsensitive) == 0) {
            *pdnDevInst = instance.node;
            return CR_SUCCESS;
        }
    }
    return CR_NO_SUCH_DEVNODE;
}

CONFIGRET WINAPI CM_Get_Child(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags)
{
    if (!pdnDevInst)
        return CR_INVALID_POINTER;
    if (ulFlags != 0)
        return CR_INVALID_FLAG;
    *pdnDevInst = 0;
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    if (!presentInstance(m, dnDevInst))
        return CR_INVALID_DEVNODE;
    for (const Instance &instance : m.instances) {
        if (instance.node != 0 && instance.parent == dnDevInst) {
            *pdnDevInst = instance.node;
            return CR_SUCCESS;
        }
    }
    return CR_NO_SUCH_DEVNODE;
}

HDEVINFO WINAPI SetupDiGetClassDevsW(
    const GUID *ClassGuid, PCWSTR Enumerator, HWND hwndParent, DWORD Flags)
{
    Q_UNUSED(hwndParent);
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    if (m.failDeviceInfoSets || Enumerator || (!ClassGuid && !(Flags & DIGCF_ALLCLASSES))) {
        lastError = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    DeviceInfoSet set;
    // Without DIGCF_DEVICEINTERFACE the GUID names a setup class, whose set has no disk interfaces.
    if ((Flags & DIGCF_DEVICEINTERFACE) && ClassGuid && *ClassGuid == GUID_DEVINTERFACE_DISK) {
        for (int i = 0; i < m.disks.size(); ++i) {
            if (presentInstance(m, m.disks[i].node))
                set.disks.append(i);
        }
    }
    const HANDLE handle = newHandle(m);
    m.deviceInfoSets.insert(quintptr(handle), set);
    return handle;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
    const GUID *InterfaceClassGuid, DWORD MemberIndex,
    PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData)
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    const auto set = m.deviceInfoSets.constFind(quintptr(DeviceInfoSet));
    if (set == m.deviceInfoSets.constEnd())
        return fail(ERROR_INVALID_HANDLE);
    if (!InterfaceClassGuid || !DeviceInterfaceData)
        return fail(ERROR_INVALID_PARAMETER);
    if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)
        || (DeviceInfoData && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)))
        return fail(ERROR_INVALID_USER_BUFFER);
    QVector<int> members;
    if (*InterfaceClassGuid == GUID_DEVINTERFACE_DISK) {
        for (int disk : set->disks) {
            if (!DeviceInfoData || DeviceInfoData->DevInst == m.disks[disk].node)
                members.append(disk);
        }
    }
    if (MemberIndex >= DWORD(members.size()))
        return fail(ERROR_NO_MORE_ITEMS);
    DeviceInterfaceData->InterfaceClassGuid = *InterfaceClassGuid;
    DeviceInterfaceData->Flags = SPINT_ACTIVE;
    DeviceInterfaceData->Reserved = ULONG_PTR(members[int(MemberIndex)] + 1);
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO DeviceInfoSet,
    PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_W DeviceInterfaceDetailData,
    DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData)
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    const auto set = m.deviceInfoSets.constFind(quintptr(DeviceInfoSet));
    if (set == m.deviceInfoSets.constEnd())
        return fail(ERROR_INVALID_HANDLE);
    if (!DeviceInterfaceData || DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)
        || !set->disks.contains(int(DeviceInterfaceData->Reserved) - 1))
        return fail(ERROR_INVALID_PARAMETER);
    const Disk &disk = m.disks[int(DeviceInterfaceData->Reserved) - 1];
    const DWORD pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    const DWORD needed = pathOffset + DWORD(disk.path.size() + 1) * sizeof(WCHAR);

    if (!DeviceInterfaceDetailData) {
        if (DeviceInterfaceDetailDataSize != 0)
            return fail(ERROR_INVALID_USER_BUFFER);
        if (RequiredSize)
            *RequiredSize = needed;
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    // cbSize is the size of the fixed part, not of the buffer: 8 in a 64-bit build, 6 in a 32-bit
    // one; anything else is refused.
    if (DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
        return fail(ERROR_INVALID_USER_BUFFER);
    if (DeviceInterfaceDetailDataSize < needed) {
        if (RequiredSize)
            *RequiredSize = needed;
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    if (DeviceInfoData && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA))
        return fail(ERROR_INVALID_USER_BUFFER);

    std::memcpy(reinterpret_cast<char *>(DeviceInterfaceDetailData) + pathOffset, disk.path.utf16(),
        size_t(disk.path.size() + 1) * sizeof(WCHAR));
    if (DeviceInfoData) {
        DeviceInfoData->ClassGuid = diskDriveSetupClass;
        DeviceInfoData->DevInst = disk.node;
        DeviceInfoData->Reserved = ULONG_PTR(disk.node);
    }
    if (RequiredSize)
        *RequiredSize = needed;
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet)
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    if (!m.deviceInfoSets.remove(quintptr(DeviceInfoSet))) {
        ++m.badReleases;
        return fail(ERROR_INVALID_HANDLE);
    }
    return TRUE;
}

HANDLE WINAPI CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
    LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition, DWORD flagsAndAttributes,
    HANDLE templateFile)
{
    Q_UNUSED(securityAttributes);
    Q_UNUSED(flagsAndAttributes);
    Q_UNUSED(templateFile);
    if (!fileName) {
        lastError = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    const QString path = fromWide(fileName);
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.accessesRequested[path.toLower()].append(desiredAccess);

    Access allowed = Access::None;
    OpenDevice device;
    DWORD error = ERROR_SUCCESS;
    if (!findDevice(m, path, &allowed, &device))
        error = ERROR_FILE_NOT_FOUND;
    else if (creationDisposition != OPEN_EXISTING)
        error = ERROR_INVALID_PARAMETER; // devices are opened, never created
    else if ((shareMode & (FILE_SHARE_READ | FILE_SHARE_WRITE))
        != (FILE_SHARE_READ | FILE_SHARE_WRITE))
        error = ERROR_SHARING_VIOLATION; // the mounted file system holds it open for both
    else if (allowed < accessNeeded(desiredAccess))
        error = ERROR_ACCESS_DENIED;
    if (error != ERROR_SUCCESS) {
        lastError = error;
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE handle = newHandle(m);
    m.handles.insert(quintptr(handle), device);
    return handle;
}

BOOL WINAPI CloseHandle(HANDLE object)
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    if (!m.handles.remove(quintptr(object))) {
        ++m.badReleases;
        return fail(ERROR_INVALID_HANDLE);
    }
    return TRUE;
}

BOOL WINAPI DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize,
    LPVOID outBuffer, DWORD outBufferSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped)
{
    Q_UNUSED(inBuffer);
    Q_UNUSED(inBufferSize);
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    const auto open = m.handles.constFind(quintptr(device));
    if (open == m.handles.constEnd())
        return fail(ERROR_INVALID_HANDLE);
    // A synchronous call must give somewhere to store the byte count; overlapped handles are not
    // simulated.
    if (overlapped || !bytesReturned)
        return fail(ERROR_INVALID_PARAMETER);
    if (ioControlCode != IOCTL_STORAGE_GET_DEVICE_NUMBER)
        return fail(ERROR_INVALID_FUNCTION);
    if (!outBuffer || outBufferSize < sizeof(STORAGE_DEVICE_NUMBER))
        return fail(ERROR_INSUFFICIENT_BUFFER);
    if (!open->deviceNumber)
        return fail(ERROR_INVALID_FUNCTION);
    auto *number = static_cast<STORAGE_DEVICE_NUMBER *>(outBuffer);
    number->DeviceType = FILE_DEVICE_DISK;
    number->DeviceNumber = *open->deviceNumber;
    number->PartitionNumber = open->partitionNumber;
    *bytesReturned = sizeof(STORAGE_DEVICE_NUMBER);
    return TRUE;
}

UINT WINAPI GetDriveTypeW(LPCWSTR rootPathName)
{
    if (!rootPathName)
        return DRIVE_NO_ROOT_DIR; // no current directory is simulated
    const QString root = fromWide(rootPathName);
    // The trailing backslash is required.
    if (root.size() != 3 || root[1] != QLatin1Char(':') || root[2] != QLatin1Char('\\'))
        return DRIVE_NO_ROOT_DIR;
    const int index = root[0].toUpper().unicode() - 'A';
    if (index < 0 || index >= 26)
        return DRIVE_NO_ROOT_DIR;
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    return m.volumes[index].type;
}

void WINAPI Sleep(DWORD milliseconds)
{
    Machine &m = machine();
    std::unique_lock<std::mutex> lock(m.mutex);
    ++m.heldSleepers;
    m.sleepReleased.wait(lock, [&m] { return !m.holdSleepers; });
    --m.heldSleepers;
    m.clock += milliseconds;
}

ULONGLONG WINAPI GetTickCount64()
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    return m.clock;
}

BOOL WINAPI EnumWindows(WNDENUMPROC enumFunc, LPARAM lParam)
{
    if (!enumFunc)
        return fail(ERROR_INVALID_PARAMETER);
    Machine &m = machine();
    QVector<HWND> visible;
    {
        std::lock_guard<std::mutex> lock(m.mutex);
        ++m.enumWindowsCalls;
        for (const Window &w : m.windows) {
            if (!w.closed && w.appearsAt <= m.clock)
                visible.append(w.handle);
        }
    }
    // The callback calls back into the machine, so it runs without the lock.
    for (HWND window : visible) {
        if (!enumFunc(window, lParam))
            return FALSE;
    }
    return TRUE;
}

int WINAPI GetWindowTextW(HWND window, LPWSTR string, int maxCount)
{
    if (!string || maxCount <= 0)
        return 0;
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    string[0] = 0;
    const Window *w = m.window(window);
    if (!w || w->closed || w->appearsAt > m.clock) {
        lastError = ERROR_INVALID_WINDOW_HANDLE;
        return 0;
    }
    const int copied = qMin(w->title.size(), maxCount - 1);
    std::memcpy(string, w->title.utf16(), size_t(copied) * sizeof(WCHAR));
    string[copied] = 0;
    return copied;
}

LRESULT WINAPI SendMessageTimeoutW(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
    UINT flags, UINT timeout, PDWORD_PTR result)
{
    Machine &m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    Window *w = m.window(window);
    if (!w || w->closed || w->appearsAt > m.clock) {
        lastError = ERROR_INVALID_WINDOW_HANDLE;
        return 0;
    }
    w->received.append({ message, wParam, lParam, flags, timeout, m.clock });
    if (result)
        *result = 0;
    switch (w->behaviour) {
    case WindowBehaviour::ClosesOnRequest:
        if (message == WM_CLOSE)
            w->closed = true;
        return 1;
    case WindowBehaviour::IgnoresClose:
        return 1;
    case WindowBehaviour::Hung:
        if (!(flags & SMTO_ABORTIFHUNG))
            m.clock += timeout;
        lastError = ERROR_TIMEOUT;
        return 0;
    }
    return 0;
}
