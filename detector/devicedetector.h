#pragma once

#include <QObject>
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

signals:
    void detected(const QString &mountPath);

private:
    void onDeviceDetected();

    std::unique_ptr<IDetector> detector;
};
