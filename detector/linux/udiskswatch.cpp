#include "udiskswatch.h"

#include "detectorlog.h"

#include <QDBusAbstractInterface>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QFile>
#include <QLocalSocket>
#include <QTimer>
#include <QUrl>

#include <utility>

#include <sys/sysmacros.h>
#include <unistd.h>

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
constexpr int unmountTimeoutMs = 60000;
// A bus that is up answers in milliseconds; a stopped one must not hold the search.
constexpr int busAnswerMs = 3000;
constexpr int listTimeoutMs = 10000;

// Where the system bus listens, when it is a socket we can reach ourselves; empty otherwise.
QString systemBusSocket()
{
    const QString address = qEnvironmentVariableIsSet("DBUS_SYSTEM_BUS_ADDRESS")
        ? qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS")
        : QStringLiteral("unix:path=/var/run/dbus/system_bus_socket");
    for (const QString &entry : address.split(QLatin1Char(';'))) {
        if (!entry.startsWith(QLatin1String("unix:")))
            continue;
        for (const QString &key : entry.mid(5).split(QLatin1Char(','))) {
            if (key.startsWith(QLatin1String("path=")))
                return QUrl::fromPercentEncoding(key.mid(5).toUtf8());
        }
    }
    return QString();
}

// The system's words where it gave some ("wrong fs type", "Not authorized ..."), else its name.
QString reasonOf(const QDBusError &error)
{
    return error.message().isEmpty() ? error.name() : error.message();
}

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
    // The pending calls, the manager and the probe go while the connection they use still
    // exists: dropped after it, a call's watcher freed what the connection had freed already.
    qDeleteAll(findChildren<QObject *>(QString(), Qt::FindDirectChildrenOnly));
    bus = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(connectionName);
}

void UDisksWatch::start()
{
    // Qt's connect waits on the bus without a limit, and a stopped bus daemon still accepts the
    // socket: so the bus must first answer a handshake of our own, without blocking.
    const QString socket = systemBusSocket();
    if (socket.isEmpty())
        return connectBus();
    probe = new QLocalSocket(this);
    connect(probe, &QLocalSocket::connected, probe, [this] {
        probe->write(QByteArray("\0AUTH EXTERNAL ", 16)
            + QByteArray::number(uint(::getuid())).toHex() + "\r\n");
    });
    // Any answer will do: a bus that answers at all answers Qt's own handshake too.
    connect(probe, &QLocalSocket::readyRead, probe, [this] {
        if (probe->canReadLine() && endProbe())
            connectBus();
    });
    connect(probe, &QLocalSocket::errorOccurred, probe, [this] {
        const QString reason = probe->errorString();
        if (endProbe())
            noBus(reason);
    });
    QTimer::singleShot(busAnswerMs, probe, [this] {
        if (endProbe())
            noBus(QStringLiteral("the system bus did not answer within %1 ms").arg(busAnswerMs));
    });
    probe->connectToServer(socket);
}

bool UDisksWatch::endProbe()
{
    QLocalSocket *socket = std::exchange(probe, nullptr);
    if (!socket)
        return false;
    socket->abort();
    socket->deleteLater();
    return true;
}

void UDisksWatch::noBus(const QString &reason)
{
    qCDebug(lcDetector) << "No system bus, mounts are left to others:" << reason;
    if (!std::exchange(readySent, true))
        emit ready(false);
}

void UDisksWatch::connectBus()
{
    // A connection of its own: it goes with the detector, and a bus that starts later is found by
    // the next search.
    bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, connectionName);
    if (!bus.isConnected())
        return noBus(bus.lastError().message());
    qDBusRegisterMetaType<InterfaceProperties>();
    qDBusRegisterMetaType<ManagedObjects>();
    manager = new UDisksObjectManager(bus, this);
    connect(manager, &UDisksObjectManager::InterfacesAdded, this, &UDisksWatch::onInterfacesAdded);
    connect(
        manager, &UDisksObjectManager::InterfacesRemoved, this, &UDisksWatch::onInterfacesRemoved);
    // Devices that arrive while UDisks2 is down are only told by the listing after its restart.
    auto *owner = new QDBusServiceWatcher(
        udisksService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(owner, &QDBusServiceWatcher::serviceOwnerChanged, this,
        [this](const QString &, const QString &oldOwner, const QString &newOwner) {
            onOwnerChanged(oldOwner, newOwner);
        });
    list();
}

void UDisksWatch::list()
{
    // One listing at a time: the one that starts UDisks2 also brings its owner change.
    if (listing)
        return;
    // Asked after connecting, so that nothing added in between is lost. The call starts UDisks2
    // where the bus can activate it.
    const QDBusMessage message = QDBusMessage::createMethodCall(
        udisksService, managerPath, objectManagerInterface, QStringLiteral("GetManagedObjects"));
    listing = new QDBusPendingCallWatcher(bus.asyncCall(message, listTimeoutMs), this);
    connect(listing, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        listing = nullptr;
        const QDBusPendingReply<ManagedObjects> reply = *w;
        if (reply.isError()) {
            qCDebug(lcDetector) << "No UDisks2, mounts are left to others:"
                                << reply.error().message();
            if (!std::exchange(readySent, true))
                emit ready(false);
            return;
        }
        QVector<UDisksFileSystem> found;
        const ManagedObjects all = reply.value();
        for (auto it = all.cbegin(); it != all.cend(); ++it) {
            if (learn(it.key().path(), it.value()))
                found.append(fileSystem(it.key().path()));
        }
        qCDebug(lcDetector) << "UDisks2 knows" << found.size() << "file system(s)";
        if (!std::exchange(readySent, true))
            emit ready(true);
        emit fileSystemsAppeared(found);
    });
}

void UDisksWatch::onOwnerChanged(const QString &oldOwner, const QString &newOwner)
{
    if (!oldOwner.isEmpty()) {
        qCDebug(lcDetector) << "UDisks2 has gone";
        const QStringList known = objects.keys();
        objects.clear();
        for (const QString &object : known)
            emit fileSystemRemoved(object);
    }
    if (!newOwner.isEmpty()) {
        qCDebug(lcDetector) << "UDisks2 is back, asking again";
        list();
    }
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

QDBusPendingCallWatcher *UDisksWatch::call(
    const QString &object, const QString &method, int timeoutMs)
{
    QDBusMessage message
        = QDBusMessage::createMethodCall(udisksService, object, fileSystemInterface, method);
    // As a file manager does: no options of our own, and a user who is not allowed to act
    // unasked is asked for a password rather than refused.
    message << QVariantMap { { QStringLiteral("auth.no_user_interaction"), false } };
    message.setInteractiveAuthorizationAllowed(true);
    return new QDBusPendingCallWatcher(bus.asyncCall(message, timeoutMs), this);
}

void UDisksWatch::mount(const QString &object)
{
    auto *watcher = call(object, QStringLiteral("Mount"), mountTimeoutMs);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, object](QDBusPendingCallWatcher *w) {
            w->deleteLater();
            const QDBusPendingReply<QString> reply = *w;
            if (!reply.isError()) {
                qCDebug(lcDetector) << "UDisks2 mounted" << object << "at" << reply.value();
                return;
            }
            qCDebug(lcDetector) << "UDisks2 did not mount" << object << reply.error().name()
                                << reply.error().message();
            emit mountFailed(object, reasonOf(reply.error()));
        });
}

void UDisksWatch::unmount(const QString &object)
{
    auto *watcher = call(object, QStringLiteral("Unmount"), unmountTimeoutMs);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, object](QDBusPendingCallWatcher *w) {
            w->deleteLater();
            const QDBusPendingReply<> reply = *w;
            qCDebug(lcDetector) << "UDisks2 unmount of" << object
                                << "ended:" << (reply.isError() ? reply.error().message() : "done");
            emit unmountFinished(
                !reply.isError(), reply.isError() ? reasonOf(reply.error()) : QString());
        });
}

QString UDisksWatch::fileSystemObject(quint64 deviceNumber) const
{
    for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
        if (it->fileSystem && it->deviceNumber == deviceNumber)
            return it.key();
    }
    return QString();
}

#include "udiskswatch.moc"
