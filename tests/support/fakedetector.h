#pragma once

#include "idetector.h"

#include <QStringList>
#include <memory>

class DeviceDetector;

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
    bool report(const QString &path);
};

// A platform detector driven by the test instead of the operating system.
class FakeDetector : public IDetector
{
public:
    FakeDetector(Callback detectedCallback, std::shared_ptr<FakeDetectorState> state);
    ~FakeDetector() override;

    void start(const QString &vid, const QString &pid, const QString &productString) override;
    QString mountPath() const override { return state->mountPath; }

    // A DeviceDetector (without parent) that owns a FakeDetector reporting through state.
    static DeviceDetector *newDeviceDetector(const std::shared_ptr<FakeDetectorState> &state);

private:
    std::shared_ptr<FakeDetectorState> state;
};
