#include "volumelock.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#if defined(Q_OS_WIN)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#if defined(Q_OS_WIN)
VolumeLock::Result VolumeLock::take(const QString &mountPath, QString *error)
{
    if (handle)
        return Result::Taken;
    // 8.3, hidden, and gone once closed, by this process or by the system when it ends.
    const QString path
        = QDir::toNativeSeparators(QDir::cleanPath(mountPath + QStringLiteral("/tarsel.lck")));
    const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()),
        GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        handle = file;
        return Result::Taken;
    }
    const DWORD code = GetLastError();
    *error = qt_error_string(int(code));
    return code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED ? Result::Busy
                                                                          : Result::Unsupported;
}

void VolumeLock::release()
{
    if (handle)
        CloseHandle(handle);
    handle = nullptr;
}

bool VolumeLock::held() const
{
    return handle != nullptr;
}
#else
VolumeLock::Result VolumeLock::take(const QString &mountPath, QString *error)
{
    if (fd >= 0)
        return Result::Taken;
    // A folder opens for reading whoever owns it, and flock works on what it opened.
    const int folder
        = ::open(QFile::encodeName(mountPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        *error = qt_error_string(errno);
        return Result::Unsupported;
    }
    if (::flock(folder, LOCK_EX | LOCK_NB) == 0) {
        fd = folder;
        return Result::Taken;
    }
    const int code = errno;
    ::close(folder);
    *error = qt_error_string(code);
    return code == EWOULDBLOCK ? Result::Busy : Result::Unsupported;
}

void VolumeLock::release()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool VolumeLock::held() const
{
    return fd >= 0;
}
#endif
