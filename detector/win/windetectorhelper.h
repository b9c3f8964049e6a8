#pragma once

#include <QAbstractNativeEventFilter>
#include <QChar>
#include <QObject>

// The application-wide native event filter that turns Windows' volume-arrival broadcasts into
// diskAppeared. Removes itself from the application when deleted.
class WinDetectorHelper : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT
public:
    explicit WinDetectorHelper(QObject *parent = nullptr);
    ~WinDetectorHelper() override;

    // Consumes every volume arrival (result 1) after emitting diskAppeared with its first letter;
    // passes everything else through untouched.
    bool nativeEventFilter(const QByteArray &eventType, void *message, long *result) override;

signals:
    void diskAppeared(QChar diskLetter);
};
