#pragma once

#include "core.h"
#include "fakedetector.h"
#include "testpackage.h"

#include <QString>
#include <memory>

// A Core initialised from a test package (the standard one unless a test changes it) and, once
// found() ran, holding the device at a volume folder, as the page flow leaves it right before the
// check.
class UpdateFixture
{
public:
    UpdateFixture();
    ~UpdateFixture();

    // Registers the package, then builds and initialises a Core with a fake detector.
    bool initialize(TestPackage::Compression compression = TestPackage::Compression::Default);
    // Runs the search and lets the detector report mountPath.
    bool found(const QString &mountPath);

    static bool writeFile(const QString &path, const QByteArray &content);
    static QByteArray readFile(const QString &path);

    TestPackage package;
    std::shared_ptr<FakeDetectorState> detector;
    std::unique_ptr<Core> core;
    QString error;
};
