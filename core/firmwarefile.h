#pragma once

#include <QIODevice>
#include <QString>

class QFile;
class QFileDevice;

// Opens file read-only (with extraMode) only when its path names a regular file: a link, a
// folder, a FIFO or a device is refused at once, never followed or waited on. Resource paths
// open as usual. On failure error holds the reason.
bool openRegularFile(QFile &file, QIODevice::OpenMode extraMode, QString *error);

// Creates file write-only (with extraMode) where nothing exists yet: whatever entry took the old
// file's place, a link above all, is refused rather than followed or overwritten.
bool createNewFile(QFile &file, QIODevice::OpenMode extraMode);

// True when both files exist, open, and hold the same bytes. Reads both in fixed-size chunks:
// memory stays bounded, and a volume that vanishes mid-way is a mismatch, not a crash.
bool filesEqual(const QString &writtenPath, const QString &referencePath);

// Whether the volume holding oldFilePath can take newSize bytes once the old file is gone.
bool hasRoomFor(const QString &oldFilePath, qint64 newSize);

// Forces the written data and the directory entry onto the device, then drops the file's cached
// pages where the system allows it, so that a later read comes from the volume. path is the
// file's own, for its folder: a file opened from a descriptor no longer knows its name.
bool syncToDevice(QFileDevice &file, const QString &path);

// Which file system holds path (on Linux its device, f_fsid and UUID; on Windows its volume
// serial number), or holds the open file; 0 when it cannot be told. Equal values mean the same
// volume.
quint64 volumeIdOf(const QString &path);
quint64 volumeIdOf(const QFileDevice &file);
