#include "platformdetector_p.h"

#include "idetector.h"

// The only file with per-backend conditionals: each backend's sources are added by CMake for its
// platform, and this factory picks the one that was built.
#if defined(Q_OS_WIN)
#include "win/windetector.h"
#elif defined(TARSEL_HAVE_LINUX_DETECTOR)
#include "linux/linuxdetector.h"
#include "linux/volumereleaser.h"
#endif

std::unique_ptr<IDetector> createPlatformDetector(std::function<void()> detectedCallback)
{
#if defined(Q_OS_WIN)
    return std::make_unique<WinDetector>(std::move(detectedCallback));
#elif defined(TARSEL_HAVE_LINUX_DETECTOR)
    return std::make_unique<LinuxDetector>(std::move(detectedCallback));
#else
    Q_UNUSED(detectedCallback);
    return nullptr;
#endif
}

void releasePlatformVolume(
    const QString &mountPath, QObject *context, DeviceDetector::ReleaseDone done)
{
#if defined(TARSEL_HAVE_LINUX_DETECTOR)
    VolumeReleaser::start(mountPath, context, std::move(done));
#else
    Q_UNUSED(mountPath);
    Q_UNUSED(context);
    done(DeviceDetector::Release::NotTried, QString());
#endif
}
