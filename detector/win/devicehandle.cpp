#include "devicehandle.h"

#include <utility>

DeviceHandle::DeviceHandle(HANDLE handle)
    : handle(handle)
{
}

DeviceHandle::DeviceHandle(DeviceHandle &&other) noexcept
    : handle(std::exchange(other.handle, INVALID_HANDLE_VALUE))
{
}

DeviceHandle &DeviceHandle::operator=(DeviceHandle &&other) noexcept
{
    if (this != &other) {
        close();
        handle = std::exchange(other.handle, INVALID_HANDLE_VALUE);
    }
    return *this;
}

DeviceHandle::~DeviceHandle()
{
    close();
}

bool DeviceHandle::isUsable() const
{
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

void DeviceHandle::close()
{
    if (isUsable())
        CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}

DeviceHandle openDevice(LPCWSTR devicePath, DWORD flagsAndAttributes)
{
    const DWORD accessMasks[] = { GENERIC_READ | GENERIC_WRITE, GENERIC_READ, 0 };
    DeviceHandle device;
    for (DWORD access : accessMasks) {
        device = DeviceHandle(CreateFileW(devicePath, access, FILE_SHARE_READ | FILE_SHARE_WRITE,
            nullptr, OPEN_EXISTING, flagsAndAttributes, nullptr));
        if (device.isUsable())
            break;
    }
    return device;
}
