#pragma once

#include "core.h"
#include "fakedetector.h"
#include "testpackage.h"

#include <QStringList>
#include <memory>

// A Core over a test package (the standard one unless changed before initialize()) and a fake
// detector, with its result signals logged in arrival order as text such as "deviceFound(true)",
// "errorCodeChanged(FindDeviceError)" or "previousFirmwareVersionChanged(1.0.0.1)".
class CoreRun
{
public:
    CoreRun();
    ~CoreRun();

    // Registers the package and builds a Core initialised from it.
    bool initialize(TestPackage::Compression compression = TestPackage::Compression::Default);
    // Builds the Core only, for steps taken before initialising.
    void makeCore();
    // Runs the search and lets the detector report folder.
    bool found(const QString &folder);
    int activeTimers() const;

    static bool writeFile(const QString &path, const QByteArray &content);
    static QByteArray readFile(const QString &path);
    // What a step logs when it fails.
    static QStringList failed(const char *signal, const char *code);

    TestPackage package;
    std::shared_ptr<FakeDetectorState> detector;
    std::unique_ptr<Core> core;
    QStringList events;
    QList<int> progress;
    QString error;
};
