#pragma once

#include "devicedetector.h"

#include <QObject>
#include <QString>

class UDisksWatch;

// Unmounts the product's volume before the user powers it off: through UDisks2 where it runs (as
// a file manager does, so a FAT volume is left clean), else by the system call where this
// process may. Lives under its context and deletes itself once done has been called.
class VolumeReleaser : public QObject
{
    Q_OBJECT
public:
    static void start(const QString &mountPath, QObject *context, DeviceDetector::ReleaseDone done);

private:
    VolumeReleaser(const QString &mountPath, DeviceDetector::ReleaseDone done, QObject *context);
    void onUDisksReady(bool available);
    void finish(DeviceDetector::Release release, const QString &reason);

    const QString mountPath;
    quint64 deviceNumber = 0;
    DeviceDetector::ReleaseDone done;
    UDisksWatch *udisks = nullptr;
};
