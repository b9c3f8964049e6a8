#include "sysfswalk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QByteArray readAttribute(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    // Attributes are short; a page is what the kernel ever hands out for one.
    return file.read(4096).trimmed();
}

} // namespace

SysfsWalk::SysfsWalk(const QString &root)
    : rootPath(QFileInfo(root).canonicalFilePath())
{
}

bool SysfsWalk::inside(const QString &canonicalPath) const
{
    if (rootPath.isEmpty() || canonicalPath.isEmpty())
        return false;
    if (rootPath == QLatin1String("/"))
        return true;
    return canonicalPath == rootPath || canonicalPath.startsWith(rootPath + QLatin1Char('/'));
}

QString SysfsWalk::resolved(const QString &path) const
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return inside(canonical) ? canonical : QString();
}

QString SysfsWalk::blockDevice(quint32 major, quint32 minor, const QString &source) const
{
    if (rootPath.isEmpty())
        return QString();
    const QString byNumber
        = resolved(QStringLiteral("%1/dev/block/%2:%3")
                       .arg(rootPath, QString::number(major), QString::number(minor)));
    if (!byNumber.isEmpty() && QFileInfo(byNumber).isDir())
        return byNumber;
    const QString prefix = QStringLiteral("/dev/");
    if (!source.startsWith(prefix))
        return QString();
    const QString name = source.mid(prefix.size());
    // A name is one folder entry of class/block; anything else could walk out of it.
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QLatin1String(".")
        || name == QLatin1String(".."))
        return QString();
    const QString byName = resolved(QStringLiteral("%1/class/block/%2").arg(rootPath, name));
    return !byName.isEmpty() && QFileInfo(byName).isDir() ? byName : QString();
}

bool SysfsWalk::usbDiskOf(const QString &blockDevice, UsbDisk &disk) const
{
    QString current = resolved(blockDevice);
    if (current.isEmpty())
        return false;
    // A partition's removable flag lives on its disk, the folder above it.
    const bool partition = QFileInfo::exists(current + QLatin1String("/partition"));
    const QString diskPath = partition ? QFileInfo(current).path() : current;
    if (!inside(diskPath))
        return false;
    const bool removable = readAttribute(diskPath + QLatin1String("/removable")) == "1";

    for (; inside(current) && current != rootPath; current = QFileInfo(current).path()) {
        const QString subsystem = QFileInfo(current + QLatin1String("/subsystem")).symLinkTarget();
        if (QFileInfo(subsystem).fileName() != QLatin1String("usb"))
            continue;
        const QString vendorPath = current + QLatin1String("/idVendor");
        const QString productPath = current + QLatin1String("/idProduct");
        if (!QFileInfo(vendorPath).isFile() || !QFileInfo(productPath).isFile())
            continue;
        disk.idVendor = QString::fromLatin1(readAttribute(vendorPath));
        disk.idProduct = QString::fromLatin1(readAttribute(productPath));
        disk.removable = removable;
        return true;
    }
    return false;
}
