#pragma once

#include <QString>

// One update at a time per product, whoever runs it: the wizard or tarsel-update, this user or
// another. The lock is held on the volume itself, so that every process reaching the product
// meets it whatever path it mounted the volume at, and the system drops it with the process:
// a run killed or powered off leaves no lock behind. On Linux the volume's root folder is
// locked (flock); on Windows a file on it is held open unshared and goes when it is closed.
class VolumeLock
{
public:
    enum class Result { Taken, Busy, Unsupported };

    VolumeLock() = default;
    ~VolumeLock() { release(); }

    // Busy when another run holds the volume; Unsupported when the volume takes no lock, with
    // the reason in error. Taking it again while held is Taken.
    Result take(const QString &mountPath, QString *error);
    void release();
    bool held() const;

private:
    Q_DISABLE_COPY(VolumeLock)
#if defined(Q_OS_WIN)
    void *handle = nullptr;
#else
    int fd = -1;
#endif
};
