#pragma once

#include <QIODevice>
#include <QString>
#include <functional>

class QFile;
class QFileDevice;

// Opens file read-only (with extraMode) only when its path names a regular file: a link, a
// folder, a FIFO or a device is refused at once, never followed or waited on. Resource paths
// open as usual. On failure error holds the reason.
bool openRegularFile(QFile &file, QIODevice::OpenMode extraMode, QString *error);

// Creates file write-only (with extraMode) where nothing exists yet: whatever entry took the old
// file's place, a link above all, is refused rather than followed or overwritten.
bool createNewFile(QFile &file, QIODevice::OpenMode extraMode);

// The largest file a FAT volume holds, and so the largest firmware image the product can take;
// the package tool refuses larger ones.
constexpr qint64 maxFirmwareSize = (qint64(1) << 32) - 1;

// True when both files exist, open, and hold the same bytes. Reads both in fixed-size chunks:
// memory stays bounded, and a volume that vanishes mid-way is a mismatch, not a crash. The
// reference may be a file of the package. progress hears the bytes found equal so far.
bool filesEqual(const QString &writtenPath, const QString &referencePath,
    const std::function<void(qint64)> &progress = nullptr);

// Whether the volume holding folder can take a file of newSize bytes once freed bytes are gone,
// counted in the volume's whole blocks.
bool hasRoomFor(const QString &folder, qint64 freed, qint64 newSize);

// Forces the file's data written so far onto the device.
bool syncData(QFileDevice &file);

// Forces path's folder entry onto the device (nothing to do on Windows, whose rename writes
// through).
bool syncFolderOf(const QString &path);

// Gives the file from the name to; replace says whether an entry there is replaced in one step
// or makes it fail. On failure error holds the reason.
bool renameInto(const QString &from, const QString &to, bool replace, QString *error);

// Forces the written data and the directory entry onto the device, then drops the file's cached
// pages where the system allows it, so that a later read comes from the volume. path is the
// file's own, for its folder: a file opened from a descriptor no longer knows its name.
bool syncToDevice(QFileDevice &file, const QString &path);

// Which file system holds path (on Linux its device, f_fsid and UUID; on Windows its volume
// serial number), or holds the open file; 0 when it cannot be told. Equal values mean the same
// volume.
quint64 volumeIdOf(const QString &path);
quint64 volumeIdOf(const QFileDevice &file);
