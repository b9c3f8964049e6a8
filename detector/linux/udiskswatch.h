#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <QVector>

class QDBusObjectPath;
class QDBusPendingCallWatcher;
class QLocalSocket;
class UDisksObjectManager;

// A file system on a block device, as UDisks2 describes it.
struct UDisksFileSystem
{
    QString object;
    quint32 major = 0;
    quint32 minor = 0;
    QString device;
    bool mounted = false;
};

// Follows UDisks2's block devices that hold a file system, over the system bus, and asks it to
// mount or unmount one. Without a system bus or UDisks2 it reports nothing; nothing it does waits
// on the bus. GUI thread only.
class UDisksWatch : public QObject
{
    Q_OBJECT
public:
    explicit UDisksWatch(QObject *parent = nullptr);
    ~UDisksWatch() override;

    // Looks for the bus and UDisks2; ends in ready(). A bus that does not answer within a few
    // seconds counts as none.
    void start();
    // Mounts where UDisks2 chooses (/media/USER/LABEL, /run/media/...); it may ask the user to
    // authorise. The mount itself is seen in the mount table; a refusal comes as mountFailed().
    void mount(const QString &object);
    // Unmounts as a file manager's "Safely remove" does; ends in unmountFinished().
    void unmount(const QString &object);
    // The object of the file system on this device number; empty when UDisks2 does not know it.
    QString fileSystemObject(quint64 deviceNumber) const;

signals:
    // Once per start(): after UDisks2's first answer, or when there is no bus or no UDisks2.
    void ready(bool available);
    // Those present at the first answer come in one batch, as do those after a restart of
    // UDisks2; later ones as they appear.
    void fileSystemsAppeared(const QVector<UDisksFileSystem> &fileSystems);
    void fileSystemRemoved(const QString &object);
    void mountFailed(const QString &object, const QString &reason);
    void unmountFinished(bool ok, const QString &reason);

private:
    struct Known
    {
        quint64 deviceNumber = 0;
        QString device;
        bool block = false;
        bool fileSystem = false;
        bool mounted = false;
    };

    // Ends the bus probe; false when it had ended already.
    bool endProbe();
    void connectBus();
    void noBus(const QString &reason);
    void list();
    void onOwnerChanged(const QString &oldOwner, const QString &newOwner);
    void onInterfacesAdded(const QDBusObjectPath &object, const QMap<QString, QVariantMap> &added);
    void onInterfacesRemoved(const QDBusObjectPath &object, const QStringList &removed);
    // Takes in what the interfaces say; true when the object holds a file system it now knows.
    bool learn(const QString &object, const QMap<QString, QVariantMap> &interfaces);
    UDisksFileSystem fileSystem(const QString &object) const;
    QDBusPendingCallWatcher *call(const QString &object, const QString &method, int timeoutMs);

    QString connectionName;
    QDBusConnection bus;
    QLocalSocket *probe = nullptr;
    UDisksObjectManager *manager = nullptr;
    QDBusPendingCallWatcher *listing = nullptr;
    bool readySent = false;
    QHash<QString, Known> objects;
};
