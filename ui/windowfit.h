#pragma once

#include <QMargins>
#include <QObject>
#include <QRect>
#include <QSize>

class QWindow;

// The window's size for its screen: the design size (the minimum the pages are laid out for)
// where it fits the screen's available area with the window's frame, otherwise that area's
// room, dimension by dimension. The window's content scales to what is left (Main.qml).
QSize fittedWindowSize(const QSize &design, const QRect &available, const QMargins &frame);

// Keeps a window's minimum size at fittedWindowSize() and the window inside the available
// area, as the window's frame, screen or the screen's area become known or change. Owned by
// the window it watches; GUI thread only.
class WindowFit : public QObject
{
    Q_OBJECT

public:
    WindowFit(QWindow *window, const QSize &design);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fit();

    QWindow *window;
    const QSize design;
};
