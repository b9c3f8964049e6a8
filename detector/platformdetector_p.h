#pragma once

#include <functional>
#include <memory>

class IDetector;

// The one place that knows which platform detector exists; null where there is none.
std::unique_ptr<IDetector> createPlatformDetector(std::function<void()> detectedCallback);
