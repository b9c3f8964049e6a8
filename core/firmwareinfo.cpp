#include "firmwareinfo.h"

#include "firmwarefile.h"

#include <QDebug>
#include <QFile>
#include <QRegExp>
#include <QStringList>
#include <string_view>

namespace {

const QByteArray marker("Ver:");
const QByteArray terminator("\x0a\x0d");
constexpr qint64 chunkSize = 256 * 1024;
// A real tag is a few dozen bytes; a longer run without a terminator is not a tag, and keeping
// it would let a hostile volume grow our memory with the file.
constexpr int maxTagLength = 1024 * 1024;

// memchr-based search: a multi-gigabyte volume file is scanned at memory speed.
int find(const QByteArray &haystack, const QByteArray &needle, int from = 0)
{
    const std::string_view view(haystack.constData(), size_t(haystack.size()));
    const size_t at
        = view.find(std::string_view(needle.constData(), size_t(needle.size())), size_t(from));
    return at == std::string_view::npos ? -1 : int(at);
}

} // namespace

bool scanVersionTag(QIODevice &device, QByteArray *tagText)
{
    // Before the marker only the last few bytes are kept, for a marker split across chunks;
    // after it the window holds the tag so far, for a terminator split across chunks.
    QByteArray window;
    // A file smaller than a chunk needs no more memory than its size.
    const qint64 remaining = device.isSequential() ? 0 : device.size() - device.pos();
    const qint64 bufferSize = remaining > 0 ? qMin(chunkSize, remaining) : chunkSize;
    QByteArray chunk(int(bufferSize), Qt::Uninitialized);
    bool inTag = false;
    for (;;) {
        const qint64 count = device.read(chunk.data(), bufferSize);
        // The end of the file and a failed read both leave no complete tag.
        if (count <= 0)
            return false;
        window.append(chunk.constData(), int(count));
        if (!inTag) {
            const int at = find(window, marker);
            if (at < 0) {
                window.remove(0, window.size() - (marker.size() - 1));
                continue;
            }
            window.remove(0, at + marker.size());
            inTag = true;
        }
        const int end = find(window, terminator);
        if (end >= 0) {
            *tagText = window.left(end);
            return true;
        }
        if (window.size() > maxTagLength)
            return false;
    }
}

QString decodeUpToZero(const QByteArray &bytes)
{
    return QString::fromUtf8(
        bytes.constData(), int(qstrnlen(bytes.constData(), uint(bytes.size()))));
}

std::unique_ptr<FirmwareInfo> parseVersionTag(const QByteArray &tagText)
{
    const QString text = decodeUpToZero(tagText);
    const QStringList pieces = text.split(QLatin1Char('-'));
    auto info = std::make_unique<FirmwareInfo>();
    bool ok = false;
    info->hardwareId = pieces.first().toInt(&ok, 10);
    if (!ok)
        info->hardwareId = 0;
    info->version = parseFirmwareVersion(pieces.last());
    return info;
}

std::unique_ptr<FirmwareInfo> readFirmwareInfo(const QString &path)
{
    QFile file(path);
    QString error;
    if (!openRegularFile(file, {}, &error)) {
        qWarning() << "Can not open file " << path << error;
        return nullptr;
    }
    QByteArray tagText;
    if (!scanVersionTag(file, &tagText))
        return nullptr;
    return parseVersionTag(tagText);
}

QVersionNumber parseFirmwareVersion(const QString &text)
{
    if (text.isEmpty())
        return QVersionNumber();
    QRegExp shape(QStringLiteral("^([\\w\\d]+)?[.]?([\\w\\d]+)?.?([\\w\\d]+)?[.]?([\\w\\d]+)?$"),
        Qt::CaseSensitive, QRegExp::RegExp);
    if (shape.indexIn(text, 0) < 0)
        return QVersionNumber();
    QVector<int> segments;
    for (int group = 1; group <= 4; ++group) {
        const QString captured = shape.cap(group);
        bool ok = false;
        const int value = captured.isEmpty() ? 0 : captured.toUpper().toInt(&ok, 16);
        segments.append(ok ? value : 0);
    }
    return QVersionNumber(segments);
}
