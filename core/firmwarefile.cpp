#include "firmwarefile.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#if defined(Q_OS_WIN)
#include "win/uncachedfile.h"
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
constexpr qint64 compareChunk = 1024 * 1024;

bool openForReading(QFile &file)
{
    QString error;
    // Unbuffered: the chunks go straight into the caller's buffer, without a copy through Qt's.
    if (!openRegularFile(file, QIODevice::Unbuffered, &error)) {
        qWarning() << "Can not open file" << file.fileName() << error;
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

#if !defined(Q_OS_WIN)
bool syncDirectoryOf(const QString &path)
{
    const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}
#endif

// The bytes compared must still be the file at the volume's path: a volume detached during the
// comparison leaves the open file readable while the product's folder no longer holds it.
bool stillAtPath(const QFile &file, const QString &path)
{
#if defined(Q_OS_WIN)
    Q_UNUSED(file);
    Q_UNUSED(path);
    return true;
#else
    struct stat opened;
    struct stat named;
    return ::fstat(file.handle(), &opened) == 0
        && ::stat(QFile::encodeName(path).constData(), &named) == 0 && opened.st_dev == named.st_dev
        && opened.st_ino == named.st_ino;
#endif
}
} // namespace

bool openRegularFile(QFile &file, QIODevice::OpenMode extraMode, QString *error)
{
    const QIODevice::OpenMode mode = QIODevice::ReadOnly | extraMode;
#if !defined(Q_OS_WIN)
    if (!file.fileName().startsWith(QLatin1Char(':'))) {
        // The caller's stat may be stale: a FIFO swapped in since would block this open until a
        // writer came, and a device would never end, so only the descriptor's own type counts.
        const int fd = ::open(QFile::encodeName(file.fileName()).constData(),
            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            *error = qt_error_string(errno);
            return false;
        }
        struct stat status;
        const bool known = ::fstat(fd, &status) == 0;
        if (!known || !S_ISREG(status.st_mode)) {
            *error = known && S_ISDIR(status.st_mode) ? QIODevice::tr("file to open is a directory")
                                                      : QStringLiteral("not a regular file");
            ::close(fd);
            return false;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        if (file.open(fd, mode, QFileDevice::AutoCloseHandle))
            return true;
        *error = file.errorString();
        return false;
    }
#endif
    if (file.open(mode))
        return true;
    *error = file.errorString();
    return false;
}

bool createNewFile(QFile &file, QIODevice::OpenMode extraMode)
{
    const QString path = file.fileName();
#if defined(Q_OS_WIN)
    // CREATE_NEW fails on any existing entry, a link or junction included.
    const HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()),
        GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return false;
    }
#else
    // O_EXCL alone already refuses a link; O_NOFOLLOW says so where a system bends O_EXCL.
    const int fd = ::open(QFile::encodeName(path).constData(),
        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
#endif
    return file.open(fd, QIODevice::WriteOnly | extraMode, QFileDevice::AutoCloseHandle);
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
#if defined(Q_OS_WIN)
    // FlushFileBuffers leaves the written bytes in the system cache: compare the volume's.
    UncachedFileReader disk(writtenPath);
    const auto readWritten = [&disk](char *data, qint64 max) { return disk.read(data, max); };
#else
    const auto readWritten = [&written](char *data, qint64 max) { return written.read(data, max); };
#endif
    // Two buffers reused for every chunk: fresh ones would be faulted in page by page each time.
    QByteArray a(int(compareChunk), Qt::Uninitialized);
    QByteArray b(int(compareChunk), Qt::Uninitialized);
    qint64 offset = 0;
    for (;;) {
        const qint64 n = readWritten(a.data(), compareChunk);
        const qint64 m = reference.read(b.data(), compareChunk);
        // A failed read, or one file ending before the other (truncated meanwhile), is a mismatch.
        if (n < 0 || n != m)
            return false;
        if (n == 0)
            return offset == size && stillAtPath(written, writtenPath);
        if (std::memcmp(a.constData(), b.constData(), size_t(n)) != 0)
            return false;
        offset += n;
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

bool syncToDevice(QFileDevice &file, const QString &path)
{
    if (!file.flush())
        return false;
#if defined(Q_OS_WIN)
    Q_UNUSED(path);
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
    if (!syncDirectoryOf(path))
        return false;
#if defined(POSIX_FADV_DONTNEED)
    // Advisory: where it is refused the comparison still runs, only possibly from the cache.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
#endif
    return true;
#endif
}

quint64 volumeIdOf(const QString &path)
{
    if (path.isEmpty())
        return 0;
#if defined(Q_OS_WIN)
    // The serial number the volume's boot sector holds; tagged so that 0 stays "unknown".
    wchar_t root[MAX_PATH + 1] = {};
    const QString native = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    DWORD serial = 0;
    if (!GetVolumePathNameW(reinterpret_cast<const wchar_t *>(native.utf16()), root, MAX_PATH)
        || !GetVolumeInformationW(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0))
        return 0;
    return (quint64(1) << 32) | serial;
#else
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return 0;
    return quint64(status.st_dev) + 1; // 0 stays "unknown"
#endif
}

quint64 volumeIdOf(const QFileDevice &file)
{
    if (file.handle() < 0)
        return 0;
#if defined(Q_OS_WIN)
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
    BY_HANDLE_FILE_INFORMATION info = {};
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info))
        return 0;
    return (quint64(1) << 32) | info.dwVolumeSerialNumber;
#else
    struct stat status;
    if (::fstat(file.handle(), &status) != 0)
        return 0;
    return quint64(status.st_dev) + 1;
#endif
}
