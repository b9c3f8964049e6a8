#include "mounttable.h"

#include <QFile>
#include <QList>
#include <QMultiHash>
#include <algorithm>

namespace {

bool isOctal(char c)
{
    return c >= '0' && c <= '7';
}

bool parseInt(const QByteArray &text, int &value)
{
    bool ok = false;
    value = text.toInt(&ok, 10);
    return ok && value >= 0;
}

bool parseDevice(const QByteArray &text, quint32 &major, quint32 &minor)
{
    const int colon = text.indexOf(':');
    if (colon <= 0 || colon == text.size() - 1)
        return false;
    bool majorOk = false;
    bool minorOk = false;
    major = text.left(colon).toUInt(&majorOk, 10);
    minor = text.mid(colon + 1).toUInt(&minorOk, 10);
    return majorOk && minorOk;
}

// The kernel never writes a zero byte, escaped or not. Decoding would cut the text short there,
// so a mount point holding one would name a different folder: such a line is not read at all.
bool decodePath(const QByteArray &field, QString *path)
{
    const QByteArray bytes = unescapeMountField(field);
    if (bytes.contains('\0'))
        return false;
    *path = QFile::decodeName(bytes);
    return true;
}

} // namespace

QByteArray unescapeMountField(const QByteArray &field)
{
    QByteArray result;
    result.reserve(field.size());
    for (int i = 0; i < field.size(); ++i) {
        const char c = field.at(i);
        // Three octal digits above \377 would not fit a byte, so the first is at most 3.
        if (c == '\\' && i + 3 < field.size() && field.at(i + 1) >= '0' && field.at(i + 1) <= '3'
            && isOctal(field.at(i + 2)) && isOctal(field.at(i + 3))) {
            result.append(char(((field.at(i + 1) - '0') << 6) | ((field.at(i + 2) - '0') << 3)
                | (field.at(i + 3) - '0')));
            i += 3;
        } else {
            result.append(c);
        }
    }
    return result;
}

QVector<MountEntry> parseMountTable(const QByteArray &table)
{
    QVector<MountEntry> entries;
    for (const QByteArray &line : table.split('\n')) {
        // Fields are separated by single blanks; the kernel escapes blanks inside them.
        const QList<QByteArray> fields = line.split(' ');
        // id parent major:minor root mount-point options [optional...] - type source super
        if (fields.size() < 10)
            continue;
        int separator = -1;
        for (int i = 6; i < fields.size(); ++i) {
            if (fields.at(i) == "-") {
                separator = i;
                break;
            }
        }
        if (separator < 0 || separator + 3 > fields.size())
            continue;
        MountEntry entry;
        if (!parseInt(fields.at(0), entry.id) || !parseInt(fields.at(1), entry.parentId)
            || !parseDevice(fields.at(2), entry.major, entry.minor) || fields.at(3).isEmpty()
            || fields.at(4).isEmpty() || !decodePath(fields.at(3), &entry.root)
            || !decodePath(fields.at(4), &entry.mountPoint)
            || !decodePath(fields.at(separator + 1), &entry.fsType)
            || !decodePath(fields.at(separator + 2), &entry.source))
            continue;
        entries.append(entry);
    }
    return entries;
}

QVector<MountEntry> newMounts(
    const QVector<MountEntry> &previous, const QVector<MountEntry> &current)
{
    // Tables hold hundreds of mounts on some desktops; look the old ones up by id.
    QMultiHash<int, const MountEntry *> known;
    for (const MountEntry &entry : previous)
        known.insert(entry.id, &entry);
    QVector<MountEntry> arrived;
    for (const MountEntry &entry : current) {
        const auto same = known.equal_range(entry.id);
        if (std::none_of(same.first, same.second,
                [&entry](const MountEntry *old) { return old->sameMount(entry); }))
            arrived.append(entry);
    }
    return arrived;
}
