// The Windows functions of include/, answered from WinSim::machine, checking their arguments and
// failing as Windows does.
#include "winsim.h"

#include <setupapi.h>
#include <winioctl.h>

#include <cstdlib>
#include <cstring>

using namespace WinSim;

namespace {

Machine &m = machine;

QString idList()
{
    QString list;
    for (const Instance &i : qAsConst(m.instances))
        list += i.id + QChar(0);
    return list + QChar(0);
}

const Device *device(const QString &path)
{
    for (const Device &d : qAsConst(m.devices)) {
        if (d.path.compare(path, Qt::CaseInsensitive) == 0)
            return &d;
    }
    return nullptr;
}

} // namespace

Machine WinSim::machine;

DEVINST WinSim::addDevice(const QString &id, DEVINST parent)
{
    m.instances.append({ id, parent });
    return DEVINST(0xFF + m.instances.size());
}

CONFIGRET CM_Get_Device_ID_List_SizeW(ULONG *length, LPCWSTR, ULONG)
{
    *length = ULONG(idList().size());
    return CR_SUCCESS;
}

CONFIGRET CM_Get_Device_ID_ListW(LPCWSTR, WCHAR *buffer, ULONG length, ULONG)
{
    if (m.listGrowths > 0) {
        --m.listGrowths;
        addDevice(QStringLiteral("SWD\\WPDBUSENUM\\%1").arg(m.instances.size()));
    }
    const QString list = idList();
    if (length < ULONG(list.size()))
        return CR_BUFFER_SMALL;
    std::memcpy(buffer, list.utf16(), size_t(list.size()) * sizeof(WCHAR));
    return CR_SUCCESS;
}

CONFIGRET CM_Locate_DevNodeW(DEVINST *node, WCHAR *id, ULONG)
{
    const auto found = std::find_if(m.instances.cbegin(), m.instances.cend(),
        [id](auto &i) { return i.id.compare(QString::fromUtf16(id), Qt::CaseInsensitive) == 0; });
    *node = found == m.instances.cend() ? 0 : DEVINST(0x100 + (found - m.instances.cbegin()));
    return *node ? CR_SUCCESS : CR_NO_SUCH_DEVNODE;
}

CONFIGRET CM_Get_Child(DEVINST *child, DEVINST node, ULONG)
{
    const auto found = std::find_if(m.instances.cbegin(), m.instances.cend(),
        [node](auto &i) { return node && i.parent == node; });
    *child = found == m.instances.cend() ? 0 : DEVINST(0x100 + (found - m.instances.cbegin()));
    return *child ? CR_SUCCESS : CR_NO_SUCH_DEVNODE;
}

HDEVINFO SetupDiGetClassDevsW(const GUID *guid, LPCWSTR enumerator, HWND, DWORD flags)
{
    if (enumerator)
        return INVALID_HANDLE_VALUE;
    const HANDLE set = reinterpret_cast<HANDLE>(m.nextHandle += 8);
    // Without DIGCF_DEVICEINTERFACE the GUID names a setup class, which has no interfaces.
    m.sets.insert(quintptr(set),
        (flags & DIGCF_DEVICEINTERFACE) && guid->Data1 == GUID_DEVINTERFACE_DISK.Data1);
    return set;
}

BOOL SetupDiEnumDeviceInterfaces(
    HDEVINFO set, SP_DEVINFO_DATA *, const GUID *, DWORD index, SP_DEVICE_INTERFACE_DATA *data)
{
    for (int i = 0;
         m.sets.value(quintptr(set)) && data->cbSize == sizeof(*data) && i < m.devices.size();
         ++i) {
        if (m.devices[i].node && index-- == 0) {
            data->Reserved = std::uintptr_t(i);
            return TRUE;
        }
    }
    return FALSE;
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA *data,
    SP_DEVICE_INTERFACE_DETAIL_DATA_W *detail, DWORD size, DWORD *required, SP_DEVINFO_DATA *info)
{
    const Device &disk = m.devices.at(int(data->Reserved));
    const DWORD offset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    const DWORD needed = offset + DWORD(disk.path.size() + 1) * sizeof(WCHAR);
    if (required)
        *required = needed;
    // cbSize is the size of the fixed part, not of the buffer.
    if (!m.sets.contains(quintptr(set)) || data->cbSize != sizeof(*data) || !detail
        || detail->cbSize != sizeof(*detail) || size < needed || info->cbSize != sizeof(*info))
        return FALSE;
    std::memcpy(reinterpret_cast<char *>(detail) + offset, disk.path.utf16(), needed - offset);
    info->DevInst = disk.node;
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    m.badReleases += m.sets.remove(quintptr(set)) ? 0 : 1;
    return TRUE;
}

HANDLE CreateFileW(
    LPCWSTR name, DWORD access, DWORD share, void *, DWORD disposition, DWORD flags, HANDLE)
{
    const QString path = QString::fromUtf16(name);
    const auto file = m.files.find(path);
    if (file != m.files.end()) {
        if (access != GENERIC_READ || disposition != OPEN_EXISTING)
            return INVALID_HANDLE_VALUE;
        file->openFlags = flags;
        const HANDLE handle = reinterpret_cast<HANDLE>(m.nextHandle += 8);
        m.openFiles.insert(quintptr(handle), { path, flags, 0 });
        return handle;
    }
    const Device *d = device(path);
    // An ordinary user may open a disk or volume only for queries; the mounted file system holds
    // it open for reading and writing.
    if (!d || (access & (GENERIC_READ | GENERIC_WRITE)) || disposition != OPEN_EXISTING
        || share != (FILE_SHARE_READ | FILE_SHARE_WRITE))
        return INVALID_HANDLE_VALUE;
    const HANDLE handle = reinterpret_cast<HANDLE>(m.nextHandle += 8);
    m.handles.insert(quintptr(handle), d->number);
    return handle;
}

BOOL CloseHandle(HANDLE object)
{
    const quintptr h = quintptr(object);
    m.badReleases += m.handles.remove(h) + m.openFiles.remove(h) ? 0 : 1;
    return TRUE;
}

BOOL ReadFile(HANDLE handle, void *buffer, DWORD toRead, DWORD *read, OVERLAPPED *overlapped)
{
    const auto open = m.openFiles.find(quintptr(handle));
    if (open == m.openFiles.end() || overlapped)
        return FALSE;
    const File &file = m.files[open->path];
    // Unbuffered, the transfer goes straight between the device and the buffer, in whole sectors.
    const DWORD sector = file.sectorSize;
    if ((open->flags & FILE_FLAG_NO_BUFFERING)
        && (open->position % sector || toRead % sector || quintptr(buffer) % sector))
        return FALSE;
    // Near the end, only what the file still holds.
    *read = DWORD(qBound(qint64(0), file.bytes.size() - open->position, qint64(toRead)));
    std::memcpy(buffer, file.bytes.constData() + open->position, *read);
    open->position += *read;
    return TRUE;
}

// The code only logs it.
DWORD GetLastError()
{
    return 0;
}

void *VirtualAlloc(void *address, SIZE_T size, DWORD type, DWORD protect)
{
    if (address || type != (MEM_COMMIT | MEM_RESERVE) || protect != PAGE_READWRITE)
        return nullptr;
    ++m.allocations;
    // Windows places allocations on 64 KiB boundaries.
    return std::aligned_alloc(0x10000, (size + 0xFFFF) & ~SIZE_T(0xFFFF));
}

BOOL VirtualFree(void *address, SIZE_T size, DWORD type)
{
    if (size != 0 || type != MEM_RELEASE)
        return FALSE;
    --m.allocations;
    std::free(address);
    return TRUE;
}

BOOL DeviceIoControl(HANDLE device, DWORD code, void *, DWORD, void *out, DWORD outSize,
    DWORD *returned, OVERLAPPED *overlapped)
{
    const std::optional<DWORD> number = m.handles.value(quintptr(device));
    if (!number || code != IOCTL_STORAGE_GET_DEVICE_NUMBER
        || outSize < sizeof(STORAGE_DEVICE_NUMBER) || !returned || overlapped)
        return FALSE;
    *static_cast<STORAGE_DEVICE_NUMBER *>(out) = { 7 /* FILE_DEVICE_DISK */, *number, 0 };
    *returned = sizeof(STORAGE_DEVICE_NUMBER);
    return TRUE;
}

UINT GetDriveTypeW(LPCWSTR rootPath)
{
    // The trailing backslash is required.
    const QString root = QString::fromUtf16(rootPath);
    const Device *volume = root.endsWith(":\\") ? device("\\\\.\\" + root.chopped(1)) : nullptr;
    return volume ? volume->driveType : DRIVE_NO_ROOT_DIR;
}

void Sleep(DWORD milliseconds)
{
    m.clock += milliseconds;
}

ULONGLONG GetTickCount64()
{
    return m.clock;
}

// No desktop and no windows: the pop-up closer, which runs after each report, finds nothing to
// close and watches the simulated clock; tst_windetector tests it on Windows itself.
BOOL EnumWindows(BOOL (*)(HWND, LPARAM), LPARAM)
{
    return TRUE;
}

int GetWindowTextW(HWND, WCHAR *, int)
{
    return 0;
}

LPARAM SendMessageTimeoutW(HWND, UINT, WPARAM, LPARAM, UINT, UINT, std::uintptr_t *)
{
    return 0;
}

HWND GetShellWindow()
{
    return nullptr;
}

DWORD GetWindowThreadProcessId(HWND, DWORD *)
{
    return 0;
}

HANDLE OpenProcess(DWORD, BOOL, DWORD)
{
    return nullptr;
}

BOOL QueryFullProcessImageNameW(HANDLE, DWORD, WCHAR *, DWORD *)
{
    return FALSE;
}
