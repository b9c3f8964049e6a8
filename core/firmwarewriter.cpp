#include "firmwarewriter.h"

#include "firmwarefile.h"
#include "imagereader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

namespace {
// Small enough that progress moves every few seconds on a volume writing 100 KB/s.
constexpr qint64 writeBlock = 256 * 1024;
// A USB stick takes writes into the system's cache at once and stores them at the end: synced
// now and then, "written" counts bytes the volume holds, and the last sync is short.
constexpr qint64 syncEvery = 16 * 1024 * 1024;

QElapsedTimer &stepClock()
{
    thread_local QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer;
}

QString volumeChanged()
{
    return QStringLiteral("the volume found is no longer at its path");
}
} // namespace

FirmwareWriter::FirmwareWriter(const QString &packagedPath, const QString &mountPath,
    const QString &oldFirmware, quint64 volumeId)
    : packagedPath(packagedPath)
    , folder(QDir::cleanPath(mountPath))
    , target(folder + QStringLiteral("/firmware.bin"))
    , temporary(folder + QLatin1Char('/') + temporaryName())
    , oldFirmware(oldFirmware)
    , volumeId(volumeId)
    , gone(oldFirmware.isEmpty())
{
}

bool FirmwareWriter::fail(const char *step, const char *detailsId, const QString &reason)
{
    // What an interrupted run would leave, the next would remove; a failed one leaves nothing.
    if (temporaryMade && onVolume(folder))
        QFile::remove(temporary);
    report({ step, false, stepClock().elapsed() - stepStart, reason, detailsId });
    return false;
}

bool FirmwareWriter::done(const char *step, const QString &reason)
{
    const qint64 now = stepClock().elapsed();
    report({ step, true, now - stepStart, reason, nullptr });
    stepStart = now;
    return true;
}

bool FirmwareWriter::onVolume(const QString &path) const
{
    return volumeId != 0 && volumeIdOf(path) == volumeId;
}

bool FirmwareWriter::removeLeftover()
{
    const QFileInfo leftover(temporary);
    if (!leftover.exists() && !leftover.isSymLink())
        return true;
    if (!onVolume(folder))
        return fail("clean", "id-page5-details-volume-changed", volumeChanged());
    // A folder under the name is no leftover of ours; a link is removed, never followed.
    QFile file(temporary);
    if (leftover.isDir() && !leftover.isSymLink())
        return fail("clean", "id-page5-details-create",
            QStringLiteral("%1 is a folder").arg(temporaryName()));
    const qint64 bytes = leftover.isSymLink() ? 0 : leftover.size();
    if (!file.remove())
        return fail("clean", "id-page5-details-create", file.errorString());
    return done("clean", QStringLiteral("removed %1 bytes an interrupted update left").arg(bytes));
}

bool FirmwareWriter::run(const StepReport &stepReport, const Progress &progress)
{
    report = stepReport;
    stepStart = stepClock().elapsed();
    if (!removeLeftover())
        return false;

    size = QFileInfo(packagedPath).size();
    if (!gone && !QFileInfo(oldFirmware).isFile()) {
        gone = true;
        return fail("delete", "id-page5-details-firmware-missing",
            QStringLiteral("firmware.bin is gone since the check"));
    }
    if (!onVolume(gone ? folder : oldFirmware))
        return fail("delete", "id-page5-details-volume-changed", volumeChanged());
    // Side by side keeps the old firmware until the new one is complete; deleting first is
    // what a volume too small for both leaves, and finding no room after it would leave none.
    const qint64 oldSize = gone ? 0 : QFileInfo(oldFirmware).size();
    const bool sideBySide = !gone && hasRoomFor(folder, 0, size);
    if (!sideBySide && !hasRoomFor(folder, oldSize, size))
        return fail(
            "delete", "id-page5-details-no-room", QStringLiteral("no room for %1 bytes").arg(size));
    if (!sideBySide && !gone) {
        gone = true;
        QFile old(oldFirmware);
        if (!old.remove())
            return fail("delete", "id-page5-details-remove", old.errorString());
        done("delete", QStringLiteral("no room for old and new side by side"));
    }

    // A volume detached since leaves its mount point behind, on the computer's own disk: the
    // file is created by path, so where it landed is checked before and after.
    if (!onVolume(folder))
        return fail("create", "id-page5-details-volume-changed", volumeChanged());
    QFile file(temporary);
    if (!createNewFile(file, QIODevice::Unbuffered))
        return fail("create", "id-page5-details-create", qt_error_string());
    if (volumeIdOf(file) != volumeId) {
        file.close();
        QFile::remove(temporary);
        return fail("create", "id-page5-details-volume-changed", volumeChanged());
    }
    temporaryMade = true;
    done("create", sideBySide ? QStringLiteral("beside the old firmware.bin") : QString());

    ImageReader image(packagedPath);
    if (!image.open())
        return fail("write", "id-page5-details-package-unreadable", image.errorString());
    QByteArray block(int(writeBlock), Qt::Uninitialized);
    qint64 written = 0;
    qint64 synced = 0;
    for (;;) {
        const qint64 n = image.read(block.data(), writeBlock);
        if (n < 0)
            return fail("write", "id-page5-details-package-unreadable", image.errorString());
        if (n == 0)
            break;
        if (file.write(block.constData(), n) != n)
            return fail("write", "id-page5-details-write", file.errorString());
        written += n;
        if (written - synced >= syncEvery) {
            if (!syncData(file))
                return fail("write", "id-page5-details-sync", qt_error_string());
            synced = written;
        }
        progress(written, 0);
    }
    if (written != size)
        return fail("write", "id-page5-details-package-unreadable",
            QStringLiteral("the package gave %1 of %2 bytes").arg(written).arg(size));
    done("write", QStringLiteral("%1 bytes").arg(written));
    // Success is only reported for bytes the device really holds.
    if (!syncToDevice(file, temporary)) {
        const QString reason
            = file.error() != QFileDevice::NoError ? file.errorString() : qt_error_string();
        return fail("sync", "id-page5-details-sync", reason);
    }
    file.close();
    done("sync");

    if (!onVolume(temporary))
        return fail("verify", "id-page5-details-volume-changed", volumeChanged());
    const auto verified = [&progress, written](qint64 bytes) { progress(written, bytes); };
    if (!filesEqual(temporary, packagedPath, verified) || !onVolume(temporary))
        return fail("verify", "id-page5-details-verify",
            QStringLiteral("firmware.bin read back differs or could not be read"));
    done("verify");

    // Replacing keeps the old firmware.bin until the new one takes its name in one step. After
    // a delete nothing may stand there: whatever took the name meanwhile is not overwritten.
    QString error;
    if (!onVolume(folder))
        return fail("rename", "id-page5-details-volume-changed", volumeChanged());
    if (!renameInto(temporary, target, sideBySide, &error))
        return fail("rename", "id-page5-details-rename", error);
    temporaryMade = false;
    gone = false;
    if (!syncFolderOf(target))
        return fail("rename", "id-page5-details-sync", qt_error_string());
    if (!onVolume(target))
        return fail("rename", "id-page5-details-volume-changed", volumeChanged());
    return done("rename");
}
