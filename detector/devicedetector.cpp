#include "devicedetector.h"

#include "idetector.h"
#include "platformdetector_p.h"

DeviceDetector::DeviceDetector(QObject *parent)
    : QObject(parent)
    , detector(createPlatformDetector([this] { onDeviceDetected(); }))
{
}

DeviceDetector::DeviceDetector(
    const std::function<std::unique_ptr<IDetector>(std::function<void()>)> &factory,
    QObject *parent)
    : QObject(parent)
    , detector(factory([this] { onDeviceDetected(); }))
{
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
