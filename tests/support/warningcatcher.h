#pragma once

#include <QStringList>
#include <QtGlobal>

// Collects the warnings logged while it lives instead of printing them, so a test can check
// that exactly the expected lines were written. Not nestable; one at a time.
class WarningCatcher
{
public:
    WarningCatcher();
    ~WarningCatcher();
    WarningCatcher(const WarningCatcher &) = delete;
    WarningCatcher &operator=(const WarningCatcher &) = delete;

    QStringList warnings() const;

private:
    QtMessageHandler previous;
};
