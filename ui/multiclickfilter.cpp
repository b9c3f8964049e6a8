#include "multiclickfilter.h"
#include "uilog.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>

bool MultiClickFilter::eventFilter(QObject *watched, QEvent *event)
{
    // Qt's own mark of a second press, which the press before it has already decided about.
    if (event->type() == QEvent::MouseButtonDblClick)
        return true;
    if (event->type() == QEvent::MouseButtonPress) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const unsigned long interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
        const bool continues = pressed && mouse->timestamp() - pressedAt < interval;
        pressed = true;
        pressedAt = mouse->timestamp();
        if (continues) {
            qCDebug(uiLog) << "multi-click press dropped";
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
