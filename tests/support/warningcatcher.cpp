#include "warningcatcher.h"

namespace {
QStringList caught;
QtMessageHandler forwardTo = nullptr;

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg)
        caught << message;
    else if (forwardTo)
        forwardTo(type, context, message);
}
} // namespace

WarningCatcher::WarningCatcher()
{
    caught.clear();
    previous = qInstallMessageHandler(handler);
    forwardTo = previous;
}

WarningCatcher::~WarningCatcher()
{
    qInstallMessageHandler(previous);
    forwardTo = nullptr;
}

QStringList WarningCatcher::warnings() const
{
    return caught;
}
