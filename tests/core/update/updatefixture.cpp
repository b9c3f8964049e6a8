#include "updatefixture.h"

#include "firmwarefile.h"
#include "productresource.h"

#include <QFile>

UpdateFixture::UpdateFixture()
    : detector(std::make_shared<FakeDetectorState>())
{
    package.fillStandard();
}

UpdateFixture::~UpdateFixture()
{
    // The Core holds the package's files open through its resource; drop it first.
    core.reset();
    firmwareFileHooks() = FirmwareFileHooks();
}

bool UpdateFixture::initialize(TestPackage::Compression compression)
{
    if (!package.registerPackage(compression)) {
        error = QStringLiteral("the package does not build or register (see the log)");
        return false;
    }
    core = std::make_unique<Core>(FakeDetector::newDeviceDetector(detector), nullptr);
    auto *resource = new ProductResource;
    if (!resource->load()) {
        delete resource;
        error = QStringLiteral("the package does not load");
        return false;
    }
    return core->initialize(resource);
}

bool UpdateFixture::found(const QString &mountPath)
{
    core->findDevice();
    if (!detector->report(mountPath)) {
        error = QStringLiteral("the detector is not armed");
        return false;
    }
    return core->device() != nullptr;
}

bool UpdateFixture::writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray UpdateFixture::readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
