#pragma once

#include <QString>

#include <windows.h>

// Reads a file from its volume rather than from the system cache, which after FlushFileBuffers
// still holds what was written: the handle is unbuffered, so every read is of whole aligned
// blocks into an aligned buffer, and the caller is served from there.
class UncachedFileReader
{
public:
    explicit UncachedFileReader(const QString &path);
    ~UncachedFileReader();

    // As QIODevice::read: up to maxSize of the next bytes, 0 at the end, -1 once anything failed,
    // the open included.
    qint64 read(char *data, qint64 maxSize);

private:
    Q_DISABLE_COPY(UncachedFileReader)

    QString path;
    HANDLE handle;
    char *block;
    DWORD filled = 0;
    DWORD taken = 0;
    bool atEnd = false;
    bool failed = false;
};
