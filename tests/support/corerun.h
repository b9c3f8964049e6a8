#pragma once

#include "core.h"
#include "fakedetector.h"
#include "productresource.h"
#include "testpackage.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QMetaEnum>
#include <QTimer>
#include <memory>

// A Core over a test package (one the updater accepts unless changed before initialize()) and a
// fake detector, its result signals logged in order as text such as "deviceFound(true)".
class CoreRun
{
public:
    TestPackage package;
    std::shared_ptr<FakeDetectorState> detector = std::make_shared<FakeDetectorState>();
    std::unique_ptr<Core> core; // after package: it holds the package's files open
    QStringList events;
    QList<int> progress;
    QString error;

    CoreRun()
    {
        package.setFile(QStringLiteral("device.xml"), TestPackage::deviceXml());
        package.setFirmware(TestPackage::firmware("3-1.0.0.2"));
    }

    // A Core not initialised yet, for steps taken too early.
    void makeCore()
    {
        core = std::make_unique<Core>(FakeDetector::newDeviceDetector(detector), nullptr);
        Core *c = core.get();
        const auto log = [this](const char *signal) {
            return
                [this, signal](bool ok) { events << signal + QString(ok ? "(true)" : "(false)"); };
        };
        QObject::connect(c, &Core::deviceFound, c, log("deviceFound"));
        QObject::connect(c, &Core::firmwareChecked, c, log("firmwareChecked"));
        QObject::connect(c, &Core::firmwareUpdated, c, log("firmwareUpdated"));
        QObject::connect(c, &Core::errorCodeChanged, c, [this](ErrorCode::ErrorCodeEnum code) {
            const char *name = QMetaEnum::fromType<ErrorCode::ErrorCodeEnum>().valueToKey(code);
            events << QStringLiteral("errorCodeChanged(%1)").arg(name ? name : "?");
        });
        QObject::connect(c, &Core::previousFirmwareVersionChanged, c, [this, c] {
            events << "previousFirmwareVersionChanged(" + c->previousFirmwareVersion() + ')';
        });
        QObject::connect(c, &Core::progressChanged, c, [this](int value) { progress << value; });
    }

    bool initialize(TestPackage::Compression compression = TestPackage::Compression::Default)
    {
        error = QStringLiteral("the package does not register or load (see the log)");
        if (!package.registerPackage(compression))
            return false;
        makeCore();
        auto resource = std::make_unique<ProductResource>();
        return resource->load() && core->initialize(resource.release());
    }

    // Runs the search and lets the detector report folder.
    bool found(const QString &folder)
    {
        core->findDevice();
        error = QStringLiteral("the detector is not armed");
        return detector->report(folder) && core->device();
    }

    // Runs the update and waits for its file work to end; false when it never does.
    bool update(int milliseconds = 60000)
    {
        core->updateFirmware();
        QDeadlineTimer deadline(milliseconds);
        while (core->writing() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return !core->writing();
    }

    int activeTimers() const
    {
        int n = 0;
        for (const QTimer *timer : core->findChildren<QTimer *>())
            n += timer->isActive() ? 1 : 0;
        return n;
    }

    static bool writeFile(const QString &path, const QByteArray &content)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }
    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // What a step logs when it fails.
    static QStringList failed(const QString &signal, const QString &code)
    {
        return { signal + "(false)", "errorCodeChanged(" + code + ')' };
    }
};
