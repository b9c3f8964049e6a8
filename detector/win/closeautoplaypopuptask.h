#pragma once

#include <QRunnable>

// Closes the AutoPlay pop-ups that a volume arrival opens: for three seconds, every top-level
// window of the desktop's explorer.exe whose title contains "AutoPlay" is asked to close. Runs on a
// thread-pool worker, touches nothing but Windows, and is deleted by the pool when it ends.
class CloseAutoPlayPopUpTask : public QRunnable
{
public:
    void run() override;
    ~CloseAutoPlayPopUpTask() override;
};
