#include "udiskswatch.h"

#include "detectorlog.h"

#include <QDBusAbstractInterface>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFile>

#include <sys/sysmacros.h>

using InterfaceProperties = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceProperties>;
Q_DECLARE_METATYPE(InterfaceProperties)
Q_DECLARE_METATYPE(ManagedObjects)

namespace {

const QString udisksService = QStringLiteral("org.freedesktop.UDisks2");
const QString managerPath = QStringLiteral("/org/freedesktop/UDisks2");
const QString blockDevicesPrefix = QStringLiteral("/org/freedesktop/UDisks2/block_devices/");
const QString objectManagerInterface = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString blockInterface = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString fileSystemInterface = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
// A password dialog may stand between the call and its answer; the search itself lasts five
// minutes.
constexpr int mountTimeoutMs = 300000;

// UDisks2 sends a{sv} values of a type QtDBus does not unpack (MountPoints, aay) as an argument
// still to be read.
bool hasEntries(const QVariant &value)
{
    if (value.userType() == qMetaTypeId<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        argument.beginArray();
        const bool any = !argument.atEnd();
        argument.endArray();
        return any;
    }
    return !value.toList().isEmpty();
}

} // namespace

// The object manager's signals as typed Qt signals.
class UDisksObjectManager : public QDBusAbstractInterface
{
    Q_OBJECT
public:
    UDisksObjectManager(const QDBusConnection &bus, QObject *parent)
        : QDBusAbstractInterface(
            udisksService, managerPath, objectManagerInterface.toLatin1().constData(), bus, parent)
    {
    }

signals:
    void InterfacesAdded(const QDBusObjectPath &object, const InterfaceProperties &interfaces);
    void InterfacesRemoved(const QDBusObjectPath &object, const QStringList &interfaces);
};

UDisksWatch::UDisksWatch(QObject *parent)
    : QObject(parent)
    , connectionName(QStringLiteral("tarsel-udisks-%1").arg(quintptr(this), 0, 16))
    , bus(connectionName)
{
}

UDisksWatch::~UDisksWatch()
{
    delete manager;
    bus = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(connectionName);
}

bool UDisksWatch::start()
{
    // A connection of its own: it goes with the detector, and a bus that starts later is found by
    // the next search.
    bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, connectionName);
    if (!bus.isConnected()) {
        qCDebug(lcDetector) << "No system bus, mounts are left to others:"
                            << bus.lastError().message();
        return false;
    }
    qDBusRegisterMetaType<InterfaceProperties>();
    qDBusRegisterMetaType<ManagedObjects>();
    manager = new UDisksObjectManager(bus, this);
    connect(manager, &UDisksObjectManager::InterfacesAdded, this, &UDisksWatch::onInterfacesAdded);
    connect(
        manager, &UDisksObjectManager::InterfacesRemoved, this, &UDisksWatch::onInterfacesRemoved);
    // Asked after connecting, so that nothing added in between is lost. The call starts UDisks2
    // where the bus can activate it.
    const QDBusMessage call = QDBusMessage::createMethodCall(
        udisksService, managerPath, objectManagerInterface, QStringLiteral("GetManagedObjects"));
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<ManagedObjects> reply = *w;
        if (reply.isError()) {
            qCDebug(lcDetector) << "No UDisks2, mounts are left to others:"
                                << reply.error().message();
            return;
        }
        QVector<UDisksFileSystem> found;
        const ManagedObjects all = reply.value();
        for (auto it = all.cbegin(); it != all.cend(); ++it) {
            if (learn(it.key().path(), it.value()))
                found.append(fileSystem(it.key().path()));
        }
        qCDebug(lcDetector) << "UDisks2 knows" << found.size() << "file system(s)";
        emit fileSystemsAppeared(found);
    });
    return true;
}

bool UDisksWatch::learn(const QString &object, const InterfaceProperties &interfaces)
{
    if (!object.startsWith(blockDevicesPrefix))
        return false;
    Known &known = objects[object];
    const auto block = interfaces.constFind(blockInterface);
    if (block != interfaces.cend()) {
        known.block = true;
        known.deviceNumber = block->value(QStringLiteral("DeviceNumber")).toULongLong();
        QByteArray device = block->value(QStringLiteral("Device")).toByteArray();
        // A D-Bus byte string carries its terminating zero.
        if (device.endsWith('\0'))
            device.chop(1);
        known.device = QFile::decodeName(device);
    }
    const auto fileSystem = interfaces.constFind(fileSystemInterface);
    if (fileSystem != interfaces.cend()) {
        known.fileSystem = true;
        known.mounted = hasEntries(fileSystem->value(QStringLiteral("MountPoints")));
    }
    // Only news about the block or its file system count: a device gains its file system after it
    // first appears when a medium is inserted or a loop device attached.
    return known.block && known.fileSystem
        && (block != interfaces.cend() || fileSystem != interfaces.cend());
}

UDisksFileSystem UDisksWatch::fileSystem(const QString &object) const
{
    const Known known = objects.value(object);
    UDisksFileSystem result;
    result.object = object;
    result.major = gnu_dev_major(known.deviceNumber);
    result.minor = gnu_dev_minor(known.deviceNumber);
    result.device = known.device;
    result.mounted = known.mounted;
    return result;
}

void UDisksWatch::onInterfacesAdded(const QDBusObjectPath &object, const InterfaceProperties &added)
{
    if (learn(object.path(), added))
        emit fileSystemsAppeared({ fileSystem(object.path()) });
}

void UDisksWatch::onInterfacesRemoved(const QDBusObjectPath &object, const QStringList &removed)
{
    const auto known = objects.find(object.path());
    if (known == objects.end())
        return;
    if (removed.contains(blockInterface))
        objects.erase(known);
    else if (removed.contains(fileSystemInterface))
        known->fileSystem = false;
    else
        return;
    emit fileSystemRemoved(object.path());
}

void UDisksWatch::mount(const QString &object)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        udisksService, object, fileSystemInterface, QStringLiteral("Mount"));
    // As a file manager does: no options of our own, and a user who is not allowed to mount
    // unasked is asked for a password rather than refused.
    call << QVariantMap { { QStringLiteral("auth.no_user_interaction"), false } };
    call.setInteractiveAuthorizationAllowed(true);
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, mountTimeoutMs), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this, [object](QDBusPendingCallWatcher *w) {
            w->deleteLater();
            const QDBusPendingReply<QString> reply = *w;
            if (reply.isError())
                qCDebug(lcDetector) << "UDisks2 did not mount" << object << reply.error().name()
                                    << reply.error().message();
            else
                qCDebug(lcDetector) << "UDisks2 mounted" << object << "at" << reply.value();
        });
}

#include "udiskswatch.moc"
