#pragma once

#include <windows.h>

// Owns a Windows file handle and closes it when it goes out of scope.
class DeviceHandle
{
public:
    explicit DeviceHandle(HANDLE handle = INVALID_HANDLE_VALUE);
    DeviceHandle(DeviceHandle &&other) noexcept;
    DeviceHandle &operator=(DeviceHandle &&other) noexcept;
    DeviceHandle(const DeviceHandle &) = delete;
    DeviceHandle &operator=(const DeviceHandle &) = delete;
    ~DeviceHandle();

    bool isUsable() const;
    HANDLE get() const { return handle; }

private:
    void close();

    HANDLE handle;
};

// Opens a disk or volume for the device-number query, with the most access rights granted: an
// ordinary user gets no read access to disks, but a handle without rights still answers.
DeviceHandle openDevice(LPCWSTR devicePath, DWORD flagsAndAttributes);
