#pragma once

#include <QObject>
#include <QString>

// The product's update-mode volume, as found by the search.
class Device : public QObject
{
    Q_OBJECT
public:
    explicit Device(const QString &mountPath, QObject *parent = nullptr);

    bool isEmpty() const;
    // Canonical path of the regular file "firmware.bin" directly on the volume; empty when it
    // is absent, not a regular file, a link, or resolves outside the volume.
    QString firmwareFilePath() const;
    QString mountPath() const { return m_mountPath; }

private:
    const QString m_mountPath;
};
