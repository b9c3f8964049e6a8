#include "device.h"

#include <QDir>
#include <QFileInfo>

Device::Device(const QString &mountPath, QObject *parent)
    : QObject(parent)
    , m_mountPath(mountPath)
{
}

bool Device::isEmpty() const
{
    return m_mountPath.isEmpty();
}

QString Device::firmwareFilePath() const
{
    if (m_mountPath.isEmpty())
        return QString();
    const QString formed = QStringLiteral("%1%2%3").arg(
        m_mountPath, QDir::separator(), QStringLiteral("firmware.bin"));
    // A link named firmware.bin would make the update delete and overwrite a file elsewhere on
    // the computer; a real FAT volume has no links, so only regular files directly on it count.
    const QFileInfo entry(formed);
    if (entry.isSymLink() || !entry.isFile())
        return QString();
    const QString canonical = QDir(formed).canonicalPath();
    const QString mountRoot = QDir(m_mountPath).canonicalPath();
    if (canonical.isEmpty() || mountRoot.isEmpty()
        || QFileInfo(canonical).absolutePath() != QDir(mountRoot).absolutePath())
        return QString();
    return canonical;
}
