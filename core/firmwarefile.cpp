#include "firmwarefile.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <cstring>

#if defined(Q_OS_WIN)
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {
constexpr qint64 compareChunk = 1024 * 1024;

bool openForReading(QFile &file)
{
    // Unbuffered: the chunks go straight into the caller's buffer, without a copy through Qt's.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        qWarning() << "Can not open file" << file.fileName() << file.errorString();
        return false;
    }
    return true;
}

bool exists(const QString &path)
{
    if (!QFile::exists(path)) {
        qWarning() << "File" << path << "does not exist";
        return false;
    }
    return true;
}

bool syncDirectoryOf(const QString &path)
{
#if defined(Q_OS_WIN)
    Q_UNUSED(path);
    return true;
#else
    const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
#endif
}
} // namespace

FirmwareFileHooks &firmwareFileHooks()
{
    static FirmwareFileHooks hooks;
    return hooks;
}

bool filesEqual(const QString &writtenPath, const QString &referencePath)
{
    if (!exists(writtenPath) || !exists(referencePath))
        return false;
    QFile written(writtenPath);
    QFile reference(referencePath);
    if (!openForReading(written) || !openForReading(reference))
        return false;
    const qint64 size = reference.size();
    if (written.size() != size)
        return false;
    // Two buffers reused for every chunk: fresh ones would be faulted in page by page each time.
    QByteArray a(int(compareChunk), Qt::Uninitialized);
    QByteArray b(int(compareChunk), Qt::Uninitialized);
    qint64 offset = 0;
    for (;;) {
        const qint64 n = written.read(a.data(), compareChunk);
        const qint64 m = reference.read(b.data(), compareChunk);
        // A failed read, or one file ending before the other (truncated meanwhile), is a mismatch.
        if (n < 0 || n != m)
            return false;
        if (n == 0)
            return offset == size;
        if (std::memcmp(a.constData(), b.constData(), size_t(n)) != 0)
            return false;
        offset += n;
        if (const auto &hook = firmwareFileHooks().betweenChunks)
            hook(offset);
    }
}

bool hasRoomFor(const QString &oldFilePath, qint64 newSize)
{
    const QFileInfo old(oldFilePath);
    const QStorageInfo volume(old.absolutePath());
    if (!volume.isValid() || !volume.isReady())
        return false;
    return volume.bytesAvailable() + old.size() >= newSize;
}

bool syncToDevice(QFileDevice &file)
{
    if (const auto &hook = firmwareFileHooks().sync)
        return hook(file);
    if (!file.flush())
        return false;
#if defined(Q_OS_WIN)
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle);
#else
    const int fd = file.handle();
    if (fd < 0)
        return false;
#if defined(F_FULLFSYNC)
    // On macOS fsync stops at the drive's own cache; F_FULLFSYNC reaches the medium.
    if (::fcntl(fd, F_FULLFSYNC) != 0 && ::fsync(fd) != 0)
        return false;
#else
    if (::fsync(fd) != 0)
        return false;
#endif
    if (!syncDirectoryOf(file.fileName()))
        return false;
#if defined(POSIX_FADV_DONTNEED)
    // Advisory: where it is refused the comparison still runs, only possibly from the cache.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
#endif
    return true;
#endif
}
