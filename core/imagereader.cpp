#include "imagereader.h"

#include "firmwarefile.h"

#include <QResource>

#include <cstring>
#if defined(Q_OS_LINUX)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {
// Handing pages back costs a system call; a few mebibytes at a time keep it cheap.
constexpr qint64 releaseStep = 8 * 1024 * 1024;

#if defined(Q_OS_LINUX)
// Dropped pages of a file's mapping are read again from the file when touched; those of memory
// of its own would come back as zeros. Qt maps a package where it can and reads it into memory
// where it cannot, so only a range that a file mapping covers whole is ever released.
bool fileMapped(const uchar *data, qint64 size)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    const quintptr begin = quintptr(data);
    const quintptr end = begin + quintptr(size);
    // procfs gives a size of 0, so atEnd() is no end: an empty line is.
    for (QByteArray line = maps.readLine(); !line.isEmpty(); line = maps.readLine()) {
        // "start-end perms offset dev inode path"; inode 0 is memory without a file.
        const QList<QByteArray> fields = line.simplified().split(' ');
        const QList<QByteArray> range = fields.value(0).split('-');
        const quintptr from = range.value(0).toULongLong(nullptr, 16);
        const quintptr to = range.value(1).toULongLong(nullptr, 16);
        if (begin >= from && begin < to)
            return end <= to && fields.value(4).toULongLong() != 0;
    }
    return false;
}
#endif
} // namespace

ImageReader::ImageReader(const QString &path)
    : file(path)
{
}

ImageReader::~ImageReader()
{
    releaseBehind(true);
}

bool ImageReader::open()
{
    if (file.fileName().startsWith(QLatin1Char(':'))) {
        const QResource resource(file.fileName());
        if (resource.isValid() && resource.compressionAlgorithm() == QResource::NoCompression
            && resource.data()) {
            mapped = resource.data();
            length = resource.size();
#if defined(Q_OS_LINUX)
            releasable = fileMapped(mapped, length);
#endif
            return true;
        }
    }
    // Unbuffered: the blocks go straight into the caller's buffer, without a copy through Qt's.
    if (!openRegularFile(file, QIODevice::Unbuffered, &error))
        return false;
    length = file.size();
    return true;
}

qint64 ImageReader::read(char *data, qint64 maxSize)
{
    if (!mapped) {
        const qint64 n = file.read(data, maxSize);
        if (n < 0)
            error = file.errorString();
        return n;
    }
    const qint64 n = qMin(maxSize, length - offset);
    std::memcpy(data, mapped + offset, size_t(n));
    offset += n;
    if (offset - released >= releaseStep)
        releaseBehind(false);
    return n;
}

void ImageReader::releaseBehind(bool all)
{
#if defined(Q_OS_LINUX)
    if (!releasable)
        return;
    const quintptr page = quintptr(sysconf(_SC_PAGESIZE));
    const quintptr base = quintptr(mapped);
    // Whole pages only: the first and last may hold the package's other files.
    const quintptr from = (base + quintptr(released) + page - 1) & ~(page - 1);
    const quintptr to = (base + quintptr(all ? length : offset)) & ~(page - 1);
    if (to > from)
        ::madvise(reinterpret_cast<void *>(from), to - from, MADV_DONTNEED);
    released = all ? length : offset;
#else
    Q_UNUSED(all);
#endif
}
