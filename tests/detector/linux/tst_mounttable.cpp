#include "linux/mounttable.h"

#include <QtTest>

class TestMountTable : public QObject
{
    Q_OBJECT
private slots:
    void parsesFields_data();
    void parsesFields();
    void skipsMalformedLines_data();
    void skipsMalformedLines();
    void findsNewMounts_data();
    void findsNewMounts();
};

void TestMountTable::parsesFields_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("parentId");
    QTest::addColumn<uint>("major");
    QTest::addColumn<uint>("minor");
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("mountPoint");
    QTest::addColumn<QString>("fsType");
    QTest::addColumn<QString>("source");

    QTest::addRow("no optional fields")
        << QByteArray("36 35 98:0 /mnt1 /mnt/parent rw,noatime - ext3 /dev/root rw") << 36 << 35
        << 98u << 0u << "/mnt1"
        << "/mnt/parent"
        << "ext3"
        << "/dev/root";
    QTest::addRow("several optional fields")
        << QByteArray("812 27 8:17 / /media/u/TARSEL rw,nosuid shared:5 master:1 propagate_from:2 "
                      "unbindable - vfat /dev/sdb1 rw,uid=1000")
        << 812 << 27 << 8u << 17u << "/"
        << "/media/u/TARSEL"
        << "vfat"
        << "/dev/sdb1";
    QTest::addRow("space") << QByteArray("40 27 8:17 / /media/u/MY\\040DISK rw - vfat /dev/sdb1 rw")
                           << 40 << 27 << 8u << 17u << "/"
                           << "/media/u/MY DISK"
                           << "vfat"
                           << "/dev/sdb1";
    QTest::addRow("tab") << QByteArray("40 27 8:17 / /media/u/A\\011B rw - vfat /dev/sdb1 rw") << 40
                         << 27 << 8u << 17u << "/"
                         << "/media/u/A\tB"
                         << "vfat"
                         << "/dev/sdb1";
    QTest::addRow("line feed") << QByteArray("40 27 8:17 / /media/u/A\\012B rw - vfat /dev/sdb1 rw")
                               << 40 << 27 << 8u << 17u << "/"
                               << "/media/u/A\nB"
                               << "vfat"
                               << "/dev/sdb1";
    QTest::addRow("backslash") << QByteArray("40 27 8:17 / /media/u/A\\134B rw - vfat /dev/sdb1 rw")
                               << 40 << 27 << 8u << 17u << "/"
                               << "/media/u/A\\B"
                               << "vfat"
                               << "/dev/sdb1";
    // An escaped backslash followed by digits must not turn into a second escape.
    QTest::addRow("escaped backslash before digits")
        << QByteArray("40 27 8:17 / /media/u/A\\134040 rw - vfat /dev/sdb1 rw") << 40 << 27 << 8u
        << 17u << "/"
        << "/media/u/A\\040"
        << "vfat"
        << "/dev/sdb1";
    QTest::addRow("escapes in root and source")
        << QByteArray("41 31 0:44 /sub\\040dir /srv/x rw - fuse.sshfs me@host:/a\\040b rw") << 41
        << 31 << 0u << 44u << "/sub dir"
        << "/srv/x"
        << "fuse.sshfs"
        << "me@host:/a b";
    QTest::addRow("not an escape stays")
        << QByteArray("42 27 8:17 / /m/a\\x\\9\\400\\04 rw - vfat /dev/sdb1 rw") << 42 << 27 << 8u
        << 17u << "/"
        << "/m/a\\x\\9\\400\\04"
        << "vfat"
        << "/dev/sdb1";
    QTest::addRow("UTF-8 mount point")
        << QByteArray("43 27 8:17 / /media/u/\xc3\x9c"
                      "BER rw - vfat /dev/sdb1 rw")
        << 43 << 27 << 8u << 17u << "/" << QStringLiteral("/media/u/\u00dcBER") << "vfat"
        << "/dev/sdb1";
    QTest::addRow("large device numbers")
        << QByteArray("44 27 259:1048575 / /boot/efi rw - vfat /dev/nvme0n1p1 rw") << 44 << 27
        << 259u << 1048575u << "/"
        << "/boot/efi"
        << "vfat"
        << "/dev/nvme0n1p1";
}

void TestMountTable::parsesFields()
{
    QFETCH(QByteArray, line);
    const QVector<MountEntry> entries = parseMountTable(line + '\n');
    QCOMPARE(entries.size(), 1);
    const MountEntry &entry = entries.first();
    QTEST(entry.id, "id");
    QTEST(entry.parentId, "parentId");
    QTEST(uint(entry.major), "major");
    QTEST(uint(entry.minor), "minor");
    QTEST(entry.root, "root");
    QTEST(entry.mountPoint, "mountPoint");
    QTEST(entry.fsType, "fsType");
    QTEST(entry.source, "source");
}

void TestMountTable::skipsMalformedLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addRow("empty") << QByteArray("");
    QTest::addRow("too few fields") << QByteArray("36 35 98:0 / /mnt rw - ext3");
    QTest::addRow("no separator") << QByteArray("36 35 98:0 / /mnt rw shared:1 ext3 /dev/a rw x");
    QTest::addRow("separator too late") << QByteArray("36 35 98:0 / /mnt rw a b c d e - ext3");
    QTest::addRow("id not a number") << QByteArray("x6 35 98:0 / /mnt rw - ext3 /dev/a rw");
    QTest::addRow("negative id") << QByteArray("-36 35 98:0 / /mnt rw - ext3 /dev/a rw");
    QTest::addRow("device without colon") << QByteArray("36 35 980 / /mnt rw - ext3 /dev/a rw");
    QTest::addRow("device without minor") << QByteArray("36 35 98: / /mnt rw - ext3 /dev/a rw");
    QTest::addRow("device not a number") << QByteArray("36 35 98:z / /mnt rw - ext3 /dev/a rw");
    QTest::addRow("double blank") << QByteArray("36 35 98:0  /mnt rw - ext3 /dev/a rw");
    QTest::addRow("binary") << QByteArray::fromRawData("\0\xff\\ - - - - - - - - -", 21);
    // Read as text, the mount points would name the folder /media/a instead.
    QTest::addRow("escaped zero byte in the mount point")
        << QByteArray("40 27 8:17 / /media/a\\000b rw - vfat /dev/sdb1 rw");
    QTest::addRow("zero byte in the mount point")
        << QByteArray::fromRawData("40 27 8:17 / /media/a\0b rw - vfat /dev/sdb1 rw", 46);
    QTest::addRow("escaped zero byte in the source")
        << QByteArray("40 27 8:17 / /media/a rw - vfat /dev/sdb1\\000 rw");
}

// A bad line costs only itself: the lines around it are still read.
void TestMountTable::skipsMalformedLines()
{
    QFETCH(QByteArray, line);
    const QByteArray table = "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n" + line
        + "\n3 1 8:2 / /home rw - ext4 /dev/sda2 rw";
    const QVector<MountEntry> entries = parseMountTable(table);
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries.at(0).id, 1);
    QCOMPARE(entries.at(1).mountPoint, QStringLiteral("/home"));
}

void TestMountTable::findsNewMounts_data()
{
    QTest::addColumn<QByteArray>("previous");
    QTest::addColumn<QByteArray>("current");
    QTest::addColumn<QStringList>("arrived");

    const QByteArray base = "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                            "2 1 0:5 / /run rw - tmpfs tmpfs rw\n";
    QTest::addRow("nothing changed") << base << base << QStringList();
    QTest::addRow("one more") << base << base + "40 2 8:17 / /media/A rw - vfat /dev/sdb1 rw"
                              << QStringList { "/media/A" };
    QTest::addRow("remount is no arrival")
        << base + "40 2 8:17 / /media/A rw - vfat /dev/sdb1 rw"
        << base + "40 2 8:17 / /media/A ro - vfat /dev/sdb1 ro" << QStringList();
    QTest::addRow("gone mount is no arrival")
        << base + "40 2 8:17 / /media/A rw - vfat /dev/sdb1 rw" << base << QStringList();
    QTest::addRow("reused id, other mount point")
        << base + "40 2 8:17 / /media/A rw - vfat /dev/sdb1 rw"
        << base + "40 2 8:17 / /media/B rw - vfat /dev/sdb1 rw" << QStringList { "/media/B" };
    QTest::addRow("reused id and mount point, other device")
        << base + "40 2 8:33 / /media/A rw - vfat /dev/sdc1 rw"
        << base + "40 2 8:17 / /media/A rw - vfat /dev/sdb1 rw" << QStringList { "/media/A" };
    QTest::addRow("same mount under a new id")
        << base + "40 2 8:17 / /media/A rw - vfat /dev/sdb1 rw"
        << base + "41 2 8:17 / /media/A rw - vfat /dev/sdb1 rw" << QStringList { "/media/A" };
    QTest::addRow("several, in table order") << base
                                             << base
            + "41 2 8:17 / /media/B rw - vfat /dev/sdb1 rw\n"
              "40 2 8:18 / /media/A rw - vfat /dev/sdb2 rw"
                                             << QStringList { "/media/B", "/media/A" };
}

void TestMountTable::findsNewMounts()
{
    QFETCH(QByteArray, previous);
    QFETCH(QByteArray, current);
    QStringList points;
    for (const MountEntry &entry : newMounts(parseMountTable(previous), parseMountTable(current)))
        points.append(entry.mountPoint);
    QTEST(points, "arrived");
}

QTEST_GUILESS_MAIN(TestMountTable)
#include "tst_mounttable.moc"
