#pragma once

#include <QString>
#include <QTemporaryDir>

// A tmpfs of a given size mounted on a fresh temporary folder, unmounted when destroyed. Needs
// root (CAP_SYS_ADMIN); call isolate() once first so that a crashed test leaves no mount behind.
class TmpfsMount
{
public:
    // Moves the calling thread into a private mount namespace. False, with the reason, where
    // that is not permitted; then no TmpfsMount can mount either.
    static bool isolate(QString *why);

    explicit TmpfsMount(qint64 sizeBytes);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount &) = delete;
    TmpfsMount &operator=(const TmpfsMount &) = delete;

    bool isMounted() const { return mounted; }
    QString errorString() const { return error; }
    QString path() const { return dir.path(); }
    QString filePath(const QString &name) const { return dir.filePath(name); }

    bool remountReadOnly();
    // Writes a filler file until only leaveFree bytes remain available.
    bool fill(qint64 leaveFree);

private:
    QTemporaryDir dir;
    QString error;
    bool mounted = false;
};
