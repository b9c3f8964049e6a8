#include "firmwarefile.h"

#include "imagereader.h"

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
#include <QDirIterator>
#include <sys/stat.h>
#include <sys/statfs.h>
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
#if !defined(Q_OS_WIN)
// The UUID udev names the file system on device by (FAT's serial number, ext4's UUID); empty
// where there is none or no udev.
QByteArray fileSystemUuid(dev_t device)
{
    QDirIterator links(QStringLiteral("/dev/disk/by-uuid"),
        QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    while (links.hasNext()) {
        struct stat target;
        if (::stat(QFile::encodeName(links.next()).constData(), &target) == 0
            && S_ISBLK(target.st_mode) && target.st_rdev == device)
            return QFile::encodeName(links.fileName());
    }
    return QByteArray();
}

// The device number alone names the slot, not what is in it: another image attached to the
// same loop device, or another card in the same reader, has the same one. f_fsid comes from the
// UUID on ext4, btrfs and XFS, but from the device on FAT, whose serial udev knows.
quint64 fileSystemId(dev_t device, const struct statfs &fileSystem)
{
    QByteArray key = QByteArray::number(quint64(device)) + ':'
        + QByteArray::number(fileSystem.f_fsid.__val[0]) + ':'
        + QByteArray::number(fileSystem.f_fsid.__val[1]) + ':'
        + QByteArray::number(qint64(fileSystem.f_type)) + ':' + fileSystemUuid(device);
    quint64 hash = 14695981039346656037ULL; // FNV-1a
    for (const char c : qAsConst(key))
        hash = (hash ^ quint8(c)) * 1099511628211ULL;
    return hash ? hash : 1; // 0 stays "unknown"
}
#endif

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

bool filesEqual(const QString &writtenPath, const QString &referencePath,
    const std::function<void(qint64)> &progress)
{
    if (!exists(writtenPath) || !exists(referencePath))
        return false;
    QFile written(writtenPath);
    ImageReader reference(referencePath);
    if (!openForReading(written))
        return false;
    if (!reference.open()) {
        qWarning() << "Can not open file" << referencePath << reference.errorString();
        return false;
    }
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
        if (progress)
            progress(offset);
    }
}

bool hasRoomFor(const QString &folder, qint64 freed, qint64 newSize)
{
    const QStorageInfo volume(folder);
    if (!volume.isValid() || !volume.isReady())
        return false;
    // A file takes whole blocks (a FAT volume's clusters); what is freed is counted short.
    const qint64 block = qMax(1, volume.blockSize());
    const qint64 needed = (newSize + block - 1) / block * block;
    return volume.bytesAvailable() + freed / block * block >= needed;
}

bool syncData(QFileDevice &file)
{
    if (!file.flush())
        return false;
#if defined(Q_OS_WIN)
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle);
#elif defined(Q_OS_LINUX)
    return file.handle() >= 0 && ::fdatasync(file.handle()) == 0;
#else
    return file.handle() >= 0 && ::fsync(file.handle()) == 0;
#endif
}

bool syncFolderOf(const QString &path)
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

bool renameInto(const QString &from, const QString &to, bool replace, QString *error)
{
#if defined(Q_OS_WIN)
    // Without MOVEFILE_REPLACE_EXISTING an existing entry makes the move fail.
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(from).utf16()),
            reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(to).utf16()), flags))
        return true;
    *error = qt_error_string(int(GetLastError()));
    return false;
#else
    const QByteArray source = QFile::encodeName(from);
    const QByteArray destination = QFile::encodeName(to);
    int rc = -1;
    if (replace) {
        rc = ::rename(source.constData(), destination.constData());
    } else {
#if defined(Q_OS_LINUX)
        rc = ::renameat2(
            AT_FDCWD, source.constData(), AT_FDCWD, destination.constData(), RENAME_NOREPLACE);
        if (rc != 0 && (errno == EINVAL || errno == ENOSYS))
#endif
        {
            // Where the file system knows no such rename, a look first narrows the window.
            struct stat status;
            if (::lstat(destination.constData(), &status) == 0)
                errno = EEXIST;
            else
                rc = ::rename(source.constData(), destination.constData());
        }
    }
    if (rc == 0)
        return true;
    *error = qt_error_string(errno);
    return false;
#endif
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
    if (!syncFolderOf(path))
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
    const QByteArray name = QFile::encodeName(path);
    struct stat status;
    struct statfs fileSystem;
    if (::stat(name.constData(), &status) != 0 || ::statfs(name.constData(), &fileSystem) != 0)
        return 0;
    return fileSystemId(status.st_dev, fileSystem);
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
    struct statfs fileSystem;
    if (::fstat(file.handle(), &status) != 0 || ::fstatfs(file.handle(), &fileSystem) != 0)
        return 0;
    return fileSystemId(status.st_dev, fileSystem);
#endif
}
