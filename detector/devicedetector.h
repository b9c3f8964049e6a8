#pragma once

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

class IDetector;

// Hides the platform detector behind one signal. Lives and signals on the GUI thread.
class DeviceDetector : public QObject
{
    Q_OBJECT
public:
    explicit DeviceDetector(QObject *parent = nullptr);
    // For tests: owns the given detector instead of creating the platform's one. The factory
    // receives the callback that the detector must call on recognition.
    DeviceDetector(const std::function<std::unique_ptr<IDetector>(std::function<void()>)> &factory,
        QObject *parent = nullptr);
    ~DeviceDetector() override;

    // Forwards to the platform detector; does nothing without one.
    void start(const QString &vid, const QString &pid, const QString &productString);
    // Valid while detected() is emitted; see IDetector.
    QStringList otherProducts() const;
    bool canReleaseVolume() const;

    enum class Release { Released, Refused, NotTried };
    using ReleaseDone = std::function<void(Release release, const QString &reason)>;
    // Unmounts the volume at mountPath as a file manager's "Safely remove" does, so that the
    // product can be powered off; done is called on the GUI thread, unless context is deleted
    // first. Refused comes with the system's reason (a busy volume); NotTried where the platform
    // has no such step.
    static void releaseVolume(const QString &mountPath, QObject *context, ReleaseDone done);

signals:
    void detected(const QString &mountPath);
    // A volume of the product could not be mounted; the search goes on.
    void mountFailed(const QString &reason);

private:
    void onDeviceDetected();

    std::unique_ptr<IDetector> detector;
};
