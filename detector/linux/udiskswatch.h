#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <QVector>

class QDBusObjectPath;
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
// mount one. Without a system bus or UDisks2 it reports nothing. GUI thread only.
class UDisksWatch : public QObject
{
    Q_OBJECT
public:
    explicit UDisksWatch(QObject *parent = nullptr);
    ~UDisksWatch() override;

    // Connects and asks UDisks2 for its objects; false when there is no system bus.
    bool start();
    // Mounts where UDisks2 chooses (/media/USER/LABEL, /run/media/...); it may ask the user to
    // authorise. The mount itself is seen in the mount table.
    void mount(const QString &object);

signals:
    // Those present at start() come in one batch, later ones as they appear.
    void fileSystemsAppeared(const QVector<UDisksFileSystem> &fileSystems);
    void fileSystemRemoved(const QString &object);

private:
    struct Known
    {
        quint64 deviceNumber = 0;
        QString device;
        bool block = false;
        bool fileSystem = false;
        bool mounted = false;
    };

    void onInterfacesAdded(const QDBusObjectPath &object, const QMap<QString, QVariantMap> &added);
    void onInterfacesRemoved(const QDBusObjectPath &object, const QStringList &removed);
    // Takes in what the interfaces say; true when the object holds a file system it now knows.
    bool learn(const QString &object, const QMap<QString, QVariantMap> &interfaces);
    UDisksFileSystem fileSystem(const QString &object) const;

    QString connectionName;
    QDBusConnection bus;
    UDisksObjectManager *manager = nullptr;
    QHash<QString, Known> objects;
};
