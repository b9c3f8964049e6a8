#include "volumereleaser.h"

#include "detectorlog.h"
#include "linuxdetector.h"
#include "udiskswatch.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/mount.h>
#include <sys/stat.h>

VolumeReleaser::VolumeReleaser(
    const QString &mountPath, DeviceDetector::ReleaseDone done, QObject *context)
    : QObject(context)
    , mountPath(QFileInfo(mountPath).absoluteFilePath())
    , done(std::move(done))
{
}

void VolumeReleaser::start(
    const QString &mountPath, QObject *context, DeviceDetector::ReleaseDone done)
{
    struct stat volume;
    struct stat parent;
    const QByteArray path = QFile::encodeName(mountPath);
    // Only the root of a mount is released: a folder of the computer's own disk is no volume.
    if (::stat(path.constData(), &volume) != 0
        || ::stat(QFile::encodeName(mountPath + QStringLiteral("/..")).constData(), &parent) != 0
        || (volume.st_dev == parent.st_dev && volume.st_ino != parent.st_ino)) {
        done(DeviceDetector::Release::NotTried, QString());
        return;
    }
    auto *releaser = new VolumeReleaser(mountPath, std::move(done), context);
    releaser->deviceNumber = volume.st_dev;
    releaser->udisks = new UDisksWatch(releaser);
    connect(releaser->udisks, &UDisksWatch::ready, releaser, &VolumeReleaser::onUDisksReady);
    releaser->udisks->start();
}

void VolumeReleaser::onUDisksReady(bool available)
{
    const QString object = available ? udisks->fileSystemObject(deviceNumber) : QString();
    if (!object.isEmpty()) {
        connect(
            udisks, &UDisksWatch::unmountFinished, this, [this](bool ok, const QString &reason) {
                finish(ok ? DeviceDetector::Release::Released : DeviceDetector::Release::Refused,
                    reason);
            });
        udisks->unmount(object);
        return;
    }
    // No UDisks2, or one that does not know the volume: the system call, where this process has
    // the right to unmount.
    qCDebug(lcDetector) << "Unmounting" << mountPath << "without UDisks2";
    if (::umount2(QFile::encodeName(mountPath).constData(), 0) == 0)
        finish(DeviceDetector::Release::Released, QString());
    else
        finish(DeviceDetector::Release::Refused, qt_error_string(errno));
}

void VolumeReleaser::finish(DeviceDetector::Release release, const QString &reason)
{
    const DeviceDetector::ReleaseDone call = std::move(done);
    deleteLater();
    if (call)
        call(release, reason);
}
