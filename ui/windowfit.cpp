#include "windowfit.h"
#include "uilog.h"

#include <QEvent>
#include <QScreen>
#include <QWindow>

QSize fittedWindowSize(const QSize &design, const QRect &available, const QMargins &frame)
{
    const QSize room = available.size().shrunkBy(frame);
    // A screen too small for any window still gets one a user can grab.
    return design.boundedTo(room).expandedTo(QSize(160, 120));
}

WindowFit::WindowFit(QWindow *window, const QSize &design)
    : QObject(window)
    , window(window)
    , design(design)
{
    window->installEventFilter(this);
    connect(window, &QWindow::screenChanged, this, [this](QScreen *screen) {
        if (screen)
            connect(screen, &QScreen::availableGeometryChanged, this, &WindowFit::fit,
                Qt::UniqueConnection);
        fit();
    });
    if (QScreen *screen = window->screen())
        connect(screen, &QScreen::availableGeometryChanged, this, &WindowFit::fit);
    fit();
}

bool WindowFit::eventFilter(QObject *watched, QEvent *event)
{
    // The frame is known only once a window manager has framed the shown window.
    if (event->type() == QEvent::Expose || event->type() == QEvent::Move)
        fit();
    return QObject::eventFilter(watched, event);
}

void WindowFit::fit()
{
    const QScreen *screen = window->screen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    const QMargins frame = window->frameMargins();
    const QSize fitted = fittedWindowSize(design, available, frame);
    if (window->minimumSize() != fitted) {
        qCDebug(uiLog) << "window fits" << fitted << "in" << available << "framed by" << frame;
        window->setMinimumSize(fitted);
    }
    const QSize room = available.size().shrunkBy(frame);
    const QSize size = window->size().boundedTo(room).expandedTo(fitted);
    if (size != window->size())
        window->resize(size);
    // Moved only where it would reach past the area; a window manager's placement stays.
    const QRect framed = window->frameGeometry();
    if (!window->isVisible() || available.contains(framed) || framed.isEmpty())
        return;
    QPoint corner = framed.topLeft();
    corner.setX(qBound(available.left(), corner.x(), available.right() + 1 - framed.width()));
    corner.setY(qBound(available.top(), corner.y(), available.bottom() + 1 - framed.height()));
    if (corner != framed.topLeft())
        window->setFramePosition(corner);
}
