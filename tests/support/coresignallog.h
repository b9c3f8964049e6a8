#pragma once

#include <QObject>
#include <QStringList>

class Core;

// Records Core's result signals across signal kinds in the order they arrive, as text such as
// "deviceFound(true)" or "errorCodeChanged(FindDeviceError)", so a test compares whole
// sequences. Progress is kept apart, in progress.
class CoreSignalLog : public QObject
{
    Q_OBJECT
public:
    explicit CoreSignalLog(Core *core);

    // What a step records when it fails: its result signal with false, then its error code.
    static const QStringList notFound;
    static const QStringList notChecked;
    static const QStringList notUpdated;

    QStringList events;
    QList<int> progress;
};
