// The "Ver:" tag reader on arbitrary firmware files: the bounded chunked scan must find the same
// tag text as a search over the whole file, however the device splits its reads, and the parsed
// record must have the shape the firmware check relies on.
#include "firmwareinfo.h"
#include "scratchfile.h"

#include <QBuffer>
#include <QStringList>
#include <algorithm>

namespace {

// Hands out at most a few bytes per read, as a slow or fragmenting device would, so markers and
// terminators fall across chunk boundaries of the scan.
class ShortReadDevice : public QIODevice
{
public:
    ShortReadDevice(const QByteArray &bytes, qint64 step, bool sequential)
        : bytes(bytes)
        , step(step)
        , sequential(sequential)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return sequential; }
    qint64 size() const override { return sequential ? 0 : bytes.size(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 count = std::min({ maxSize, step, qint64(bytes.size()) - position });
        std::copy_n(bytes.constData() + position, count, data);
        position += count;
        return count;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    const QByteArray bytes;
    const qint64 step;
    const bool sequential;
    qint64 position = 0;
};

bool referenceTag(const QByteArray &file, QByteArray *tag)
{
    const int marker = file.indexOf("Ver:");
    if (marker < 0)
        return false;
    const int end = file.indexOf("\x0a\x0d", marker + 4);
    if (end < 0)
        return false;
    *tag = file.mid(marker + 4, end - marker - 4);
    return true;
}

void checkScan(QIODevice &device, bool expectedFound, const QByteArray &expectedTag)
{
    QByteArray tag;
    const bool found = scanVersionTag(device, &tag);
    FUZZ_CHECK(found == expectedFound);
    if (found)
        FUZZ_CHECK(tag == expectedTag);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the read size of the fragmenting device and whether it can tell its
    // size, as a pipe cannot; the rest is the file.
    const qint64 step = 1 + data[0] % 16;
    const bool sequential = data[0] & 0x80;
    const QByteArray file(reinterpret_cast<const char *>(data) + 1, int(size - 1));

    QByteArray expectedTag;
    const bool expectedFound = referenceTag(file, &expectedTag);

    QBuffer whole;
    whole.setData(file);
    whole.open(QIODevice::ReadOnly);
    checkScan(whole, expectedFound, expectedTag);
    ShortReadDevice fragmented(file, step, sequential);
    checkScan(fragmented, expectedFound, expectedTag);

    const auto info = readFirmwareInfo(writeScratchFile(data + 1, size - 1));
    FUZZ_CHECK(bool(info) == expectedFound);
    if (!info)
        return 0;
    const auto parsed = parseVersionTag(expectedTag);
    FUZZ_CHECK(parsed->hardwareId == info->hardwareId && parsed->version == info->version);

    // The firmware check compares four-segment versions; anything else must be no version.
    const QVector<int> segments = info->version.segments();
    FUZZ_CHECK(segments.isEmpty() || segments.size() == 4);
    for (int segment : segments)
        FUZZ_CHECK(segment >= 0);
    if (!segments.isEmpty()) {
        // The hexadecimal text of a version reads back as the same version.
        QStringList hex;
        for (int segment : segments)
            hex << QString::number(segment, 16);
        FUZZ_CHECK(parseFirmwareVersion(hex.join(QLatin1Char('.'))) == info->version);
    }
    return 0;
}
