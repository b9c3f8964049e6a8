#pragma once

#include "devicedetector.h"
#include "idetector.h"

#include <QStringList>
#include <memory>

// What a FakeDetector was asked and whether it still lives; outlives the detector, so a test
// can look after the DeviceDetector has released it.
struct FakeDetectorState
{
    int starts = 0;
    QStringList startArguments;
    bool destroyed = false;
    QString mountPath;
    IDetector::Callback callback;

    // Makes the living detector recognise a volume at path; false once it is gone.
    bool report(const QString &path)
    {
        if (destroyed || !callback)
            return false;
        mountPath = path;
        const IDetector::Callback call = callback; // the call may delete the detector
        call();
        return true;
    }
};

// A platform detector driven by the test instead of the operating system.
class FakeDetector : public IDetector
{
public:
    FakeDetector(Callback detectedCallback, std::shared_ptr<FakeDetectorState> state)
        : IDetector(detectedCallback)
        , state(std::move(state))
    {
        this->state->callback = std::move(detectedCallback);
    }
    ~FakeDetector() override
    {
        state->destroyed = true;
        state->callback = nullptr;
    }

    void start(const QString &vid, const QString &pid, const QString &productString) override
    {
        ++state->starts;
        state->startArguments = QStringList { vid, pid, productString };
    }
    QString mountPath() const override { return state->mountPath; }

    // A DeviceDetector (without parent) that owns a FakeDetector reporting through state.
    static DeviceDetector *newDeviceDetector(const std::shared_ptr<FakeDetectorState> &state)
    {
        return new DeviceDetector([state](Callback callback) -> std::unique_ptr<IDetector> {
            return std::make_unique<FakeDetector>(std::move(callback), state);
        });
    }

private:
    std::shared_ptr<FakeDetectorState> state;
};
