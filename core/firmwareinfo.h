#pragma once

#include <QString>
#include <QVersionNumber>
#include <memory>

class QIODevice;

// Hardware and version named by the "Ver:" tag of a firmware image.
struct FirmwareInfo
{
    qint32 hardwareId = 0;
    QVersionNumber version;
};

// Null when the file cannot be opened or read, or holds no complete tag.
std::unique_ptr<FirmwareInfo> readFirmwareInfo(const QString &path);

// Four segments read as hexadecimal, or none when the text does not have the version shape.
QVersionNumber parseFirmwareVersion(const QString &text);

// The tag's text, between "Ver:" and the first 0A 0D after it, found in bounded memory; false
// when the device holds no complete tag or a read fails.
bool scanVersionTag(QIODevice &device, QByteArray *tagText);

// Text stored in firmware files and checksum lists: UTF-8, ending at the first zero byte.
QString decodeUpToZero(const QByteArray &bytes);

// The record for a tag's text (the bytes between marker and terminator).
std::unique_ptr<FirmwareInfo> parseVersionTag(const QByteArray &tagText);
