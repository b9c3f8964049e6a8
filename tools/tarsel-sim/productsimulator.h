#pragma once

#include <QByteArray>
#include <QString>

// Plays the product on a machine without it: a folder holds a fake sysfs tree with the product's
// USB device, a mount table, and the update-mode volume's contents. Plugging adds the volume's
// mount to the table (replacing the file atomically, as a reader of it would see a kernel
// table change), unplugging takes it away. Used by the tarsel-sim program, tests and the demo.
class ProductSimulator
{
public:
    struct Options
    {
        QString vid = QStringLiteral("0x1a2b");
        QString pid = QStringLiteral("0x3c4d");
        // Hardware and version of the volume's firmware.bin; ignored when firmwareFile is set.
        QString tag = QStringLiteral("3-1.0.0.1");
        QString firmwareFile;
    };

    explicit ProductSimulator(const QString &folder);

    // Makes the folder (and its parent folders) and everything in it; refuses a folder that
    // already holds a simulation.
    bool create(const Options &options);
    bool plug() { return setMounted(volumePath(), productMountLine(), true); }
    bool unplug() { return setMounted(volumePath(), productMountLine(), false); }
    // An unrelated USB stick with other ids and a folder of its own, to be ignored.
    bool plugOther() { return setMounted(otherVolumePath(), otherMountLine(), true); }
    bool unplugOther() { return setMounted(otherVolumePath(), otherMountLine(), false); }

    QString sysfsRoot() const;
    QString mountTablePath() const;
    QString volumePath() const;
    QString otherVolumePath() const;
    // Shell lines that point the updater at this simulation.
    QString environmentAssignments() const;

    QString errorString() const { return error; }

    // A USB id as device.xml or a user writes it ("0x1a2b", "1A2B"): up to four hex digits.
    static bool parseId(const QString &text, quint16 &id);
    // idVendor and idProduct as the kernel writes them: four lower-case digits and a line feed.
    static QByteArray kernelIdText(quint16 id);
    static QByteArray firmwareImage(const QByteArray &tag);
    // A path as the kernel writes it into a mount table.
    static QByteArray escapeMountField(const QString &path);

private:
    bool setMounted(const QString &mountPoint, const QByteArray &lineTemplate, bool mounted);
    bool checkFolder();
    bool fail(const QString &message);
    QByteArray productMountLine() const;
    QByteArray otherMountLine() const;

    QString folder;
    QString error;
};
