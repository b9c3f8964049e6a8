#include "keyrepeatfilter.h"

#include <QKeyEvent>
#include <QLoggingCategory>

// The window's category: end-to-end tests see there that a held key really repeated.
Q_LOGGING_CATEGORY(keyLog, "tarsel.ui", QtWarningMsg)

bool KeyRepeatFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyRelease) {
        const auto *key = static_cast<QKeyEvent *>(event);
        releasedKey = key->key();
        releasedAt = key->timestamp();
    } else if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool unmarked
            = !key->isAutoRepeat() && key->key() == releasedKey && key->timestamp() == releasedAt;
        if (unmarked || key->isAutoRepeat())
            qCDebug(keyLog) << "key repeat" << key->key();
        if (unmarked)
            return true;
    }
    return QObject::eventFilter(watched, event);
}
