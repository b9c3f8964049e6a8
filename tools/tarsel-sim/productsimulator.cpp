#include "productsimulator.h"

#include "fakesysfs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSet>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr quint16 otherVendor = 0x0951;
constexpr quint16 otherProduct = 0x1666;
constexpr int firstFreeId = 35;

// A desktop's table before anything is plugged in, bind mount of a home subfolder included.
const char baseTable[]
    = "22 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw,errors=remount-ro\n"
      "23 22 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
      "24 22 0:22 / /sys rw,nosuid,nodev,noexec,relatime shared:2 - sysfs sysfs rw\n"
      "25 22 0:5 / /dev rw,nosuid,relatime shared:8 - devtmpfs udev "
      "rw,size=8049104k,nr_inodes=2012276,mode=755,inode64\n"
      "26 25 0:23 / /dev/pts rw,nosuid,noexec,relatime shared:9 - devpts devpts "
      "rw,gid=5,mode=620,ptmxmode=000\n"
      "27 22 0:24 / /run rw,nosuid,nodev,noexec,relatime shared:5 - tmpfs tmpfs "
      "rw,size=1615472k,mode=755,inode64\n"
      "28 25 0:25 / /dev/shm rw,nosuid,nodev shared:10 - tmpfs tmpfs rw,inode64\n"
      "29 24 0:26 / /sys/fs/cgroup rw,nosuid,nodev,noexec,relatime shared:3 - cgroup2 cgroup2 "
      "rw,nsdelegate,memory_recursiveprot\n"
      "30 22 259:1 / /boot/efi rw,relatime shared:29 - vfat /dev/nvme0n1p1 "
      "rw,fmask=0077,dmask=0077,codepage=437,iocharset=ascii,shortname=mixed,utf8,"
      "errors=remount-ro\n"
      "31 22 259:3 / /home rw,relatime shared:31 - ext4 /dev/nvme0n1p3 rw\n"
      "32 27 0:27 / /run/user/1000 rw,nosuid,nodev,relatime shared:250 - tmpfs tmpfs "
      "rw,size=1615468k,nr_inodes=403867,mode=700,uid=1000,gid=1000,inode64\n"
      "33 32 0:28 / /run/user/1000/gvfs rw,nosuid,nodev,relatime shared:260 - fuse.gvfsd-fuse "
      "gvfsd-fuse rw,user_id=1000,group_id=1000\n"
      "34 31 259:3 /user/Music /srv/music rw,relatime shared:31 - ext4 /dev/nvme0n1p3 rw\n";

// %1 is the mount id, %2 the mount point; udisks mounts a FAT stick like this.
const char vfatOptions[] = "rw,nosuid,nodev,relatime shared:%1 - vfat %3 "
                           "rw,uid=1000,gid=1000,fmask=0022,dmask=0022,codepage=437,"
                           "iocharset=utf8,shortname=mixed,showexec,utf8,flush,errors=remount-ro";

QByteArray mountLine(const char *device, const char *source)
{
    return QByteArray("%1 27 ") + device + " / %2 " + QByteArray(vfatOptions).replace("%3", source);
}

// Readers see the old table or the new one, never half of one. No sync to disk, unlike
// QSaveFile: the table is simulated, and a sync would dwarf the detection time being measured.
bool replaceFile(const QString &path, const QByteArray &contents, QString &error)
{
    QFile next(path + QStringLiteral(".new"));
    if (!next.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || next.write(contents) != contents.size() || !next.flush()) {
        error = QStringLiteral("cannot write %1: %2").arg(next.fileName(), next.errorString());
        next.remove();
        return false;
    }
    next.close();
    if (std::rename(
            QFile::encodeName(next.fileName()).constData(), QFile::encodeName(path).constData())
        != 0) {
        error = QStringLiteral("cannot replace %1: %2")
                    .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        next.remove();
        return false;
    }
    return true;
}

QString shellQuoted(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

ProductSimulator::ProductSimulator(const QString &folder)
    : folder(QDir(folder).absolutePath())
{
}

bool ProductSimulator::fail(const QString &message)
{
    error = message;
    return false;
}

QString ProductSimulator::sysfsRoot() const
{
    return folder + QLatin1String("/sysfs");
}

QString ProductSimulator::mountTablePath() const
{
    return folder + QLatin1String("/mountinfo");
}

QString ProductSimulator::volumePath() const
{
    return folder + QLatin1String("/volume");
}

QString ProductSimulator::otherVolumePath() const
{
    return folder + QLatin1String("/other");
}

QString ProductSimulator::environmentAssignments() const
{
    return QStringLiteral("export TARSEL_SYSFS_ROOT=%1\nexport TARSEL_MOUNTINFO=%2\n")
        .arg(shellQuoted(sysfsRoot()), shellQuoted(mountTablePath()));
}

bool ProductSimulator::parseId(const QString &text, quint16 &id)
{
    QString digits = text.trimmed();
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        digits = digits.mid(2);
    if (digits.isEmpty() || digits.size() > 4)
        return false;
    bool ok = false;
    const uint value = digits.toUInt(&ok, 16);
    // toUInt accepts a leading sign or blanks; an id is hex digits only.
    for (const QChar c : digits)
        ok = ok && (c.isDigit() || QStringLiteral("abcdefABCDEF").contains(c));
    if (ok)
        id = quint16(value);
    return ok;
}

QByteArray ProductSimulator::kernelIdText(quint16 id)
{
    return QByteArray::number(id, 16).rightJustified(4, '0') + '\n';
}

QByteArray ProductSimulator::firmwareImage(const QByteArray &tag)
{
    // Erased flash around the tag, as an image fresh from the vendor's tool pads it.
    QByteArray image(4096, '\xff');
    image += "Ver:" + tag + "\x0a\x0d";
    image += QByteArray(65536 - image.size(), '\xff');
    return image;
}

QByteArray ProductSimulator::escapeMountField(const QString &path)
{
    QByteArray escaped;
    for (const char c : QFile::encodeName(path)) {
        switch (c) {
        case ' ':
            escaped += "\\040";
            break;
        case '\t':
            escaped += "\\011";
            break;
        case '\n':
            escaped += "\\012";
            break;
        case '\\':
            escaped += "\\134";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QByteArray ProductSimulator::productMountLine() const
{
    return mountLine("8:17", "/dev/sdb1");
}

QByteArray ProductSimulator::otherMountLine() const
{
    return mountLine("8:33", "/dev/sdc1");
}

bool ProductSimulator::create(const Options &options)
{
    quint16 vid = 0;
    quint16 pid = 0;
    if (!parseId(options.vid, vid))
        return fail(
            QStringLiteral("bad vendor id \"%1\": give up to four hex digits, such as 0x1a2b")
                .arg(options.vid));
    if (!parseId(options.pid, pid))
        return fail(QStringLiteral("bad product id \"%1\": give up to four hex digits, such as "
                                   "0x3c4d")
                        .arg(options.pid));
    QByteArray firmware;
    if (!options.firmwareFile.isEmpty()) {
        QFile file(options.firmwareFile);
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read firmware file %1: %2")
                            .arg(options.firmwareFile, file.errorString()));
        firmware = file.readAll();
        if (file.error() != QFile::NoError)
            return fail(QStringLiteral("cannot read firmware file %1: %2")
                            .arg(options.firmwareFile, file.errorString()));
    } else {
        const QByteArray tag = options.tag.toUtf8();
        if (tag.isEmpty() || tag.contains('\n') || tag.contains('\r'))
            return fail(QStringLiteral("bad tag \"%1\": give HW-VERSION, such as 3-1.0.0.1")
                            .arg(options.tag));
        firmware = firmwareImage(tag);
    }
    if (QFileInfo::exists(sysfsRoot()) || QFileInfo::exists(mountTablePath()))
        return fail(QStringLiteral("%1 already holds a simulated product").arg(folder));

    FakeSysfs sysfs(sysfsRoot());
    // Other ids must stay other, whatever the product's are.
    const quint16 otherId
        = (vid == otherVendor && pid == otherProduct) ? otherProduct + 1 : otherProduct;
    if (!sysfs.addNvmeDisk(QStringLiteral("nvme0n1"), 259, 0, 3)
        || !sysfs.addUsbDisk(QStringLiteral("1-2"), kernelIdText(vid), kernelIdText(pid),
            QStringLiteral("sdb"), 8, 16, true, 1)
        || !sysfs.addUsbDisk(QStringLiteral("1-3"), kernelIdText(otherVendor),
            kernelIdText(otherId), QStringLiteral("sdc"), 8, 32, true, 1))
        return fail(sysfs.errorString());

    if (!QDir().mkpath(volumePath()) || !QDir().mkpath(otherVolumePath()))
        return fail(QStringLiteral("cannot create the volume folders in %1").arg(folder));
    QFile image(volumePath() + QLatin1String("/firmware.bin"));
    if (!image.open(QIODevice::WriteOnly) || image.write(firmware) != firmware.size())
        return fail(
            QStringLiteral("cannot write %1: %2").arg(image.fileName(), image.errorString()));
    return replaceFile(mountTablePath(), baseTable, error);
}

bool ProductSimulator::checkFolder()
{
    if (!QFileInfo(folder).isDir())
        return fail(QStringLiteral("%1 does not exist").arg(folder));
    if (!QFileInfo(sysfsRoot()).isDir() || !QFileInfo(mountTablePath()).isFile())
        return fail(QStringLiteral("%1 holds no simulated product; run tarsel-sim create first")
                        .arg(folder));
    return true;
}

bool ProductSimulator::setMounted(
    const QString &mountPoint, const QByteArray &lineTemplate, bool mounted)
{
    if (!checkFolder())
        return false;
    QFile current(mountTablePath());
    if (!current.open(QIODevice::ReadOnly))
        return fail(
            QStringLiteral("cannot read %1: %2").arg(current.fileName(), current.errorString()));
    const QByteArray escapedPoint = escapeMountField(mountPoint);
    QList<QByteArray> lines = current.readAll().split('\n');
    QSet<int> usedIds;
    int existing = -1;
    for (int i = 0; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).split(' ');
        if (fields.size() < 5)
            continue;
        usedIds.insert(fields.at(0).toInt());
        if (fields.at(4) == escapedPoint)
            existing = i;
    }
    if (mounted && existing >= 0)
        return fail(QStringLiteral("%1 is already plugged in").arg(mountPoint));
    if (!mounted && existing < 0)
        return fail(QStringLiteral("%1 is not plugged in").arg(mountPoint));

    if (mounted) {
        // The kernel hands out the lowest free mount id, so a re-plug can get a gone mount's;
        // the ids below the base table's belong to mounts of other namespaces.
        int id = firstFreeId;
        while (usedIds.contains(id))
            ++id;
        QByteArray line = lineTemplate;
        line.replace("%1", QByteArray::number(id)).replace("%2", escapedPoint);
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.insert(lines.size() - 1, line);
        else
            lines.append(line);
    } else {
        lines.removeAt(existing);
    }
    return replaceFile(mountTablePath(), lines.join('\n'), error);
}
