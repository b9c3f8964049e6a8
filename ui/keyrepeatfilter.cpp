#include "keyrepeatfilter.h"
#include "uilog.h"

#include <QKeyEvent>

// An unmarked repeat's press follows its release at once; a person's next stroke takes far
// longer than this.
static constexpr qint64 sameStrokeNs = 10'000'000;

bool KeyRepeatFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyRelease) {
        const auto *key = static_cast<QKeyEvent *>(event);
        releasedKey = key->key();
        releasedAt = key->timestamp();
        releaseHandled.start();
    } else if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        // The accessibility bridge, with a screen reader listening, posts every key event again
        // with no time stamp (0): equal stamps then tell nothing, and every press would match.
        const bool sameMoment = key->timestamp() != 0 || releasedAt != 0
            ? key->timestamp() == releasedAt
            : releaseHandled.isValid() && releaseHandled.nsecsElapsed() < sameStrokeNs;
        const bool unmarked = !key->isAutoRepeat() && key->key() == releasedKey && sameMoment;
        if (unmarked || key->isAutoRepeat())
            qCDebug(uiLog) << "key repeat" << key->key();
        if (unmarked)
            return true;
    }
    return QObject::eventFilter(watched, event);
}
