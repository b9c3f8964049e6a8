#include "fakedetector.h"

#include "devicedetector.h"

bool FakeDetectorState::report(const QString &path)
{
    if (destroyed || !callback)
        return false;
    mountPath = path;
    // Copied: the callback may end in the detector's own deletion.
    const IDetector::Callback call = callback;
    call();
    return true;
}

FakeDetector::FakeDetector(Callback detectedCallback, std::shared_ptr<FakeDetectorState> state)
    : IDetector(detectedCallback)
    , state(std::move(state))
{
    this->state->callback = std::move(detectedCallback);
}

FakeDetector::~FakeDetector()
{
    state->destroyed = true;
    state->callback = nullptr;
}

void FakeDetector::start(const QString &vid, const QString &pid, const QString &productString)
{
    ++state->starts;
    state->startArguments = QStringList { vid, pid, productString };
}

DeviceDetector *FakeDetector::newDeviceDetector(const std::shared_ptr<FakeDetectorState> &state)
{
    return new DeviceDetector(
        [state](IDetector::Callback callback) -> std::unique_ptr<IDetector> {
            return std::make_unique<FakeDetector>(std::move(callback), state);
        },
        nullptr);
}
