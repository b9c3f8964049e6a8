#pragma once

#include "idetector.h"

#include <QChar>
#include <QObject>

class WinDetectorHelper;

// Recognises the product's volume from the arrival broadcast that Windows sends to every
// top-level window, closes the AutoPlay pop-up it opens and reports it. GUI thread only.
class WinDetector : public QObject, public IDetector
{
    Q_OBJECT
    Q_INTERFACES(IDetector)
public:
    explicit WinDetector(Callback detectedCallback);
    ~WinDetector() override;

    void start(const QString &vid, const QString &pid, const QString &productString) override;
    QString mountPath() const override;

private:
    void onDiskAppeared(QChar letter, const QString &vid, const QString &pid);

    WinDetectorHelper *detectorHelper = nullptr;
    QChar diskLetter;
};
