#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// What a body run in a child process gave back.
struct ChildOutcome
{
    bool finished = false; // false: killed at the deadline, or it crashed
    QByteArray output; // what the body returned
    qint64 peakRiseBytes = -1; // peak resident memory above the child's start, -1 unknown
    QString failure; // why it did not finish, for the test's message
};

// Runs body in a forked copy of this process and waits at most deadlineMs for it, so a body
// that blocks (an open that waits forever) fails the test instead of hanging it. The child
// never returns into the test framework: it leaves with _exit.
ChildOutcome runInChild(const std::function<QByteArray()> &body, int deadlineMs);
