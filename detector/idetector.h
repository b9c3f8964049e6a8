#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

// The platform side of device detection. Implementations are QObjects that list IDetector in
// Q_INTERFACES, so a meta-cast by the name "IDetector" finds this part.
class IDetector
{
public:
    using Callback = std::function<void()>;

    // The callback is called on the GUI thread exactly when the product's volume is recognised
    // and mountPath() can answer.
    explicit IDetector(Callback detectedCallback)
        : detectedCallback(std::move(detectedCallback))
    {
    }
    // Removes everything the implementation installed; the owner deletes through this pointer.
    virtual ~IDetector() = default;

    // Arms detection of the USB device with these identifiers, as written in device.xml. Called
    // once per detector, on the GUI thread; returns at once.
    virtual void start(const QString &vid, const QString &pid, const QString &productString) = 0;

    // Mount path of the recognised volume ("E:/", "/media/user/TARSEL/"); empty before.
    virtual QString mountPath() const = 0;

    // Called on the GUI thread, the system's reason in hand, when a volume of the product was seen
    // but could not be mounted; the detector goes on watching.
    using ProblemCallback = std::function<void(const QString &reason)>;
    void setProblemCallback(ProblemCallback callback) { problemCallback = std::move(callback); }

    // Other volumes of the product (their devices) seen by the time of recognition; they are
    // left as they are.
    virtual QStringList otherProducts() const { return QStringList(); }

    // Whether the recognised volume is a real mount the platform can release before power-off.
    virtual bool canReleaseVolume() const { return false; }

protected:
    Callback detectedCallback;
    ProblemCallback problemCallback;
};

Q_DECLARE_INTERFACE(IDetector, "IDetector")
