#include "devicedetector.h"

#include "idetector.h"
#include "platformdetector_p.h"

DeviceDetector::DeviceDetector(QObject *parent)
    : QObject(parent)
    , detector(createPlatformDetector([this] { onDeviceDetected(); }))
{
    if (detector)
        detector->setProblemCallback([this](const QString &reason) { emit mountFailed(reason); });
}

DeviceDetector::DeviceDetector(
    const std::function<std::unique_ptr<IDetector>(std::function<void()>)> &factory,
    QObject *parent)
    : QObject(parent)
    , detector(factory([this] { onDeviceDetected(); }))
{
    if (detector)
        detector->setProblemCallback([this](const QString &reason) { emit mountFailed(reason); });
}

DeviceDetector::~DeviceDetector() = default;

void DeviceDetector::start(const QString &vid, const QString &pid, const QString &productString)
{
    if (detector)
        detector->start(vid, pid, productString);
}

void DeviceDetector::onDeviceDetected()
{
    if (detector)
        emit detected(detector->mountPath());
}

QStringList DeviceDetector::otherProducts() const
{
    return detector ? detector->otherProducts() : QStringList();
}

bool DeviceDetector::canReleaseVolume() const
{
    return detector && detector->canReleaseVolume();
}

void DeviceDetector::releaseVolume(const QString &mountPath, QObject *context, ReleaseDone done)
{
    releasePlatformVolume(mountPath, context, std::move(done));
}
