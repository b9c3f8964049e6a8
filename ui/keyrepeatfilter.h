#pragma once

#include <QElapsedTimer>
#include <QObject>

// Drops the key presses that repeat a held key but arrive unmarked. X11 sends each repeat as a
// release and a press with one time stamp; when the press has not been read yet as the release
// is handled, Qt delivers both as new key strokes, and a held key would press on. Installed on
// the window, where each key event arrives once; GUI thread only.
class KeyRepeatFilter : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int releasedKey = 0;
    unsigned long releasedAt = 0;
    // When the release was handled: the only clock left for events without a time stamp.
    QElapsedTimer releaseHandled;
};
