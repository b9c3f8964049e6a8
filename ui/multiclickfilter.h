#pragma once

#include <QObject>

// Drops a mouse press that continues a multi-click gesture: one within the double-click
// interval of the press before it, whether that one was dropped or not. Fast hands would
// otherwise go on through the pages that slide in under the pointer. Installed on the window;
// GUI thread only.
class MultiClickFilter : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool pressed = false;
    unsigned long pressedAt = 0;
};
