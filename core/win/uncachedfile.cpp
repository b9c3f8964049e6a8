#include "uncachedfile.h"

#include <QDebug>

#include <cstring>

namespace {
// A multiple of every sector size in use, 512 and 4096 bytes alike, so that offsets and lengths
// stay aligned without asking the volume; VirtualAlloc aligns the buffer to a page or more.
constexpr DWORD blockSize = 1024 * 1024;
} // namespace

UncachedFileReader::UncachedFileReader(const QString &path)
    : path(path)
    // Shared for writing too: the caller may still hold the file open.
    , handle(CreateFileW(reinterpret_cast<LPCWSTR>(QString(path).replace('/', '\\').utf16()),
          GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
          FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr))
    , block(static_cast<char *>(
          VirtualAlloc(nullptr, blockSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)))
{
    if (handle == INVALID_HANDLE_VALUE || !block) {
        qWarning() << "Can not open file" << path << "past the cache, error" << GetLastError();
        failed = true;
    }
}

UncachedFileReader::~UncachedFileReader()
{
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    if (block)
        VirtualFree(block, 0, MEM_RELEASE);
}

qint64 UncachedFileReader::read(char *data, qint64 maxSize)
{
    qint64 copied = 0;
    while (!failed && copied < maxSize) {
        if (taken == filled) {
            if (atEnd)
                break;
            DWORD got = 0;
            if (!ReadFile(handle, block, blockSize, &got, nullptr)) {
                qWarning() << "Can not read file" << path << "past the cache, error"
                           << GetLastError();
                failed = true;
                break;
            }
            // Only the file's last block comes back short; reading on from its unaligned end
            // would be refused.
            atEnd = got < blockSize;
            filled = got;
            taken = 0;
            continue;
        }
        const qint64 n = qMin(maxSize - copied, qint64(filled - taken));
        std::memcpy(data + copied, block + taken, size_t(n));
        copied += n;
        taken += DWORD(n);
    }
    return failed ? -1 : copied;
}
