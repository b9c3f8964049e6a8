#pragma once

#include "devicedetector.h"

#include <functional>
#include <memory>

class IDetector;

// The one place that knows which platform detector exists; null where there is none.
std::unique_ptr<IDetector> createPlatformDetector(std::function<void()> detectedCallback);

// The platform's "Safely remove"; where there is none, done hears NotTried at once.
void releasePlatformVolume(
    const QString &mountPath, QObject *context, DeviceDetector::ReleaseDone done);
