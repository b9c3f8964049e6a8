#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// One line of a mountinfo table, its text fields already unescaped.
struct MountEntry
{
    int id = 0;
    int parentId = 0;
    quint32 major = 0;
    quint32 minor = 0;
    QString root;
    QString mountPoint;
    QString fsType;
    QString source;
    // The kernel's never reused id of the mount (0: not read or not known). The table is read
    // after the fact, so a mount undone and redone in between can come back with the same id,
    // device and mount point; only this tells it apart.
    quint64 uniqueId = 0;

    // The kernel reuses mount ids, so a mount is only the same mount when its device and mount
    // point are the same too.
    bool sameMount(const MountEntry &other) const
    {
        return id == other.id && major == other.major && minor == other.minor
            && mountPoint == other.mountPoint
            && (uniqueId == 0 || other.uniqueId == 0 || uniqueId == other.uniqueId);
    }
};

// Parses the text of /proc/PID/mountinfo. Lines that do not have the kernel's shape are left
// out; no input makes it fail.
QVector<MountEntry> parseMountTable(const QByteArray &table);

// Undoes the kernel's octal escapes (\040 space, \011 tab, \012 line feed, \134 backslash and
// any other \ooo); a backslash that starts no escape stays as it is.
QByteArray unescapeMountField(const QByteArray &field);

// Mounts of current that previous did not have.
QVector<MountEntry> newMounts(
    const QVector<MountEntry> &previous, const QVector<MountEntry> &current);
