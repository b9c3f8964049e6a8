#pragma once

#include <QString>
#include <functional>

class QFileDevice;

// True when both files exist, open, and hold the same bytes. Reads both in fixed-size chunks:
// memory stays bounded, and a volume that vanishes mid-way is a mismatch, not a crash.
bool filesEqual(const QString &writtenPath, const QString &referencePath);

// Whether the volume holding oldFilePath can take newSize bytes once the old file is gone.
bool hasRoomFor(const QString &oldFilePath, qint64 newSize);

// Forces the written data and the directory entry onto the device, then drops the file's cached
// pages where the system allows it, so that a later read comes from the volume.
bool syncToDevice(QFileDevice &file);

// Seams for fault tests; empty in the app.
struct FirmwareFileHooks
{
    // Replaces the durability call.
    std::function<bool(QFileDevice &)> sync;
    // Runs after the old file is removed and before the new one is created.
    std::function<void()> afterRemove;
    // Replaces the single write of the image; returns what the write would.
    std::function<qint64(QFileDevice &, const QByteArray &)> write;
    // Runs between two chunks of the comparison with the offset reached.
    std::function<void(qint64)> betweenChunks;
};
FirmwareFileHooks &firmwareFileHooks();
