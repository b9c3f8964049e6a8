#include "corerun.h"

#include "productresource.h"

#include <QFile>
#include <QMetaEnum>
#include <QTimer>

CoreRun::CoreRun()
    : detector(std::make_shared<FakeDetectorState>())
{
    package.fillStandard();
}

// The Core holds the package's files open through its resource; it goes first.
CoreRun::~CoreRun() = default;

void CoreRun::makeCore()
{
    core = std::make_unique<Core>(FakeDetector::newDeviceDetector(detector), nullptr);
    Core *c = core.get();
    const auto log = [this](const char *signal, bool ok) {
        events << QStringLiteral("%1(%2)").arg(QLatin1String(signal), ok ? "true" : "false");
    };
    QObject::connect(c, &Core::deviceFound, c, [log](bool ok) { log("deviceFound", ok); });
    QObject::connect(c, &Core::firmwareChecked, c, [log](bool ok) { log("firmwareChecked", ok); });
    QObject::connect(c, &Core::firmwareUpdated, c, [log](bool ok) { log("firmwareUpdated", ok); });
    QObject::connect(c, &Core::errorCodeChanged, c, [this](ErrorCode::ErrorCodeEnum code) {
        const char *name = QMetaEnum::fromType<ErrorCode::ErrorCodeEnum>().valueToKey(code);
        events << QStringLiteral("errorCodeChanged(%1)").arg(QLatin1String(name ? name : "?"));
    });
    QObject::connect(c, &Core::previousFirmwareVersionChanged, c, [this, c] {
        events << QStringLiteral("previousFirmwareVersionChanged(%1)")
                      .arg(c->previousFirmwareVersion());
    });
    QObject::connect(c, &Core::progressChanged, c, [this](int value) { progress << value; });
}

bool CoreRun::initialize(TestPackage::Compression compression)
{
    if (!package.registerPackage(compression)) {
        error = QStringLiteral("the package does not build or register (see the log)");
        return false;
    }
    makeCore();
    auto resource = std::make_unique<ProductResource>();
    if (!resource->load()) {
        error = QStringLiteral("the package does not load");
        return false;
    }
    return core->initialize(resource.release());
}

bool CoreRun::found(const QString &folder)
{
    core->findDevice();
    if (!detector->report(folder)) {
        error = QStringLiteral("the detector is not armed");
        return false;
    }
    return core->device() != nullptr;
}

int CoreRun::activeTimers() const
{
    int n = 0;
    for (const QTimer *timer : core->findChildren<QTimer *>())
        n += timer->isActive() ? 1 : 0;
    return n;
}

bool CoreRun::writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray CoreRun::readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList CoreRun::failed(const char *signal, const char *code)
{
    return { QStringLiteral("%1(false)").arg(QLatin1String(signal)),
        QStringLiteral("errorCodeChanged(%1)").arg(QLatin1String(code)) };
}
