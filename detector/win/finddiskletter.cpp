#include "finddiskletter.h"

#include "devicehandle.h"

#include <algorithm>
#include <vector>

#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include <initguid.h>

#include <ntddstor.h>
#include <winioctl.h>

namespace {

constexpr int listAttempts = 4;

LPCWSTR wide(const QString &text)
{
    return reinterpret_cast<LPCWSTR>(text.utf16());
}

QString dropPrefix(const QString &identifier)
{
    return identifier.size() < 2 ? identifier : identifier.mid(2);
}

bool queryDeviceNumber(const DeviceHandle &device, STORAGE_DEVICE_NUMBER *number)
{
    DWORD returned = 0;
    return DeviceIoControl(device.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, number,
        sizeof(*number), &returned, nullptr);
}

} // namespace

QChar findDiskLetter(const QString &vid, const QString &pid)
{
    const DEVINST child = findUsbChildDevInst(vid, pid);
    if (child == 0)
        return QChar();
    const QMap<DEVINST, DWORD> disks = diskNumbersByDevInst(GUID_DEVINTERFACE_DISK);
    const auto disk = disks.constFind(child);
    if (disk == disks.constEnd())
        return QChar();
    return volumeLettersByDiskNumber(DRIVE_REMOVABLE).value(qint32(disk.value()));
}

DEVINST findUsbChildDevInst(const QString &vid, const QString &pid)
{
    const QString filter
        = QStringLiteral("USB\\VID_%1&PID_%2").arg(dropPrefix(vid), dropPrefix(pid));

    // A device node created between the size query and the fetch (Windows adds portable-device
    // nodes right after a volume mounts) makes the fetch fail; the product's volume arrives only
    // once, so ask again a few times rather than miss it.
    std::vector<WCHAR> list;
    CONFIGRET result = CR_BUFFER_SMALL;
    for (int attempt = 0; attempt < listAttempts && result == CR_BUFFER_SMALL; ++attempt) {
        ULONG length = 0;
        if (CM_Get_Device_ID_List_SizeW(&length, nullptr, CM_GETIDLIST_FILTER_NONE) != CR_SUCCESS
            || length == 0)
            return 0;
        list.assign(length, 0);
        result = CM_Get_Device_ID_ListW(nullptr, list.data(), length, CM_GETIDLIST_FILTER_NONE);
    }
    if (result != CR_SUCCESS)
        return 0;

    WCHAR *const end = list.data() + list.size();
    for (WCHAR *id = list.data(); id < end && *id != 0;) {
        WCHAR *const idEnd = std::find(id, end, WCHAR(0));
        if (idEnd == end)
            break;
        const QString instanceId
            = QString::fromUtf16(reinterpret_cast<const ushort *>(id), int(idEnd - id));
        if (instanceId.contains(filter, Qt::CaseInsensitive)) {
            DEVINST node = 0;
            DEVINST childNode = 0;
            if (CM_Locate_DevNodeW(&node, id, CM_LOCATE_DEVNODE_NORMAL) == CR_SUCCESS
                && CM_Get_Child(&childNode, node, 0) == CR_SUCCESS)
                return childNode;
        }
        id = idEnd + 1;
    }
    return 0;
}

QMap<DEVINST, DWORD> diskNumbersByDevInst(const GUID &interfaceClass)
{
    QMap<DEVINST, DWORD> disks;
    const HDEVINFO set = SetupDiGetClassDevsW(
        &interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return disks;

    std::vector<BYTE> detailBuffer(1024);
    SP_DEVICE_INTERFACE_DATA interfaceData = {};
    interfaceData.cbSize = sizeof(interfaceData);
    for (DWORD index = 0;
         SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceClass, index, &interfaceData);
         ++index) {
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, &required, nullptr);
        if (required == 0)
            continue;
        if (detailBuffer.size() < required)
            detailBuffer.resize(required);

        auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(detailBuffer.data());
        // The size of the fixed part only (8 bytes in a 64-bit build), not of the buffer.
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA deviceInfo = {};
        deviceInfo.cbSize = sizeof(deviceInfo);
        if (!SetupDiGetDeviceInterfaceDetailW(
                set, &interfaceData, detail, required, nullptr, &deviceInfo))
            continue;

        const DeviceHandle device = openDevice(detail->DevicePath, 0);
        if (!device.isUsable())
            continue;
        STORAGE_DEVICE_NUMBER number = {};
        if (queryDeviceNumber(device, &number))
            disks.insert(deviceInfo.DevInst, number.DeviceNumber);
    }
    SetupDiDestroyDeviceInfoList(set);
    return disks;
}

QMap<qint32, QChar> volumeLettersByDiskNumber(UINT driveType)
{
    QMap<qint32, QChar> volumes;
    QString rootPath = QStringLiteral("?:\\");
    QString volumePath = QStringLiteral("\\\\.\\?:");
    for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
        rootPath[0] = QChar(letter);
        if (GetDriveTypeW(wide(rootPath)) != driveType)
            continue;
        volumePath[4] = QChar(letter);
        const DeviceHandle device = openDevice(wide(volumePath), 0);
        if (!device.isUsable())
            continue;
        STORAGE_DEVICE_NUMBER number = {};
        // Partitions of one disk share its number; the later letter replaces the earlier.
        if (queryDeviceNumber(device, &number))
            volumes.insert(qint32(number.DeviceNumber), QChar(letter));
    }
    return volumes;
}
