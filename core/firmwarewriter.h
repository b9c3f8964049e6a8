#pragma once

#include <QString>
#include <functional>

// The file work of an update, made to run off the GUI thread. The packaged image goes to a
// temporary name on the volume in blocks, is synced, read back and compared, and only then
// renamed to firmware.bin: the product and any later run find the old firmware, no firmware.bin
// at all, or the new one complete, never a part of the new under its name. Old and new stand
// side by side where the volume holds both; where it does not, the old one is deleted first.
class FirmwareWriter
{
public:
    // A step ("clean", "delete", "create", "write", "sync", "verify" or "rename") as it ended;
    // a failed one is the last, with the text id that explains it to the user.
    struct Step
    {
        const char *name;
        bool ok;
        qint64 milliseconds;
        QString reason;
        const char *detailsId;
    };
    using StepReport = std::function<void(const Step &)>;
    // Bytes on the volume so far, and bytes of them read back equal.
    using Progress = std::function<void(qint64 written, qint64 verified)>;

    // The name an interrupted write leaves, which the next run removes: 8.3, as the product's
    // own FAT reader may know no other names.
    static QString temporaryName() { return QStringLiteral("firmware.new"); }

    // oldFirmware: the volume's firmware.bin as the check found it, empty when there is none to
    // replace (a recovery). volumeId: the file system everything written must land on.
    FirmwareWriter(const QString &packagedPath, const QString &mountPath,
        const QString &oldFirmware, quint64 volumeId);

    bool run(const StepReport &report, const Progress &progress);

    // Whether the volume is left without a firmware.bin of its own: deleted and not replaced,
    // or missing from the start.
    bool firmwareGone() const { return gone; }

private:
    bool fail(const char *step, const char *detailsId, const QString &reason);
    bool done(const char *step, const QString &reason = QString());
    bool onVolume(const QString &path) const;
    bool removeLeftover();
    bool copy(const Progress &progress);

    const QString packagedPath;
    const QString folder;
    const QString target;
    const QString temporary;
    const QString oldFirmware;
    const quint64 volumeId;
    StepReport report;
    qint64 stepStart = 0;
    qint64 size = 0;
    bool gone;
    bool temporaryMade = false;
};
