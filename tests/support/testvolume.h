#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real mounted volume for fault tests: a tmpfs of a given size, or the faultfs FUSE server
// over a backing folder, failing as its fault word says (see tests/reliability/faultfs.cpp).
// Needs root; isolate() first, so that whatever a failed test leaves mounted goes with the process.
class TestVolume
{
public:
    // Moves the process into a private mount namespace; false, with the reason, where it cannot.
    static bool isolate(QString *why);

    explicit TestVolume(qint64 tmpfsBytes);
    TestVolume(const QString &faultfs, const QString &fault, const QString &outsideTarget);
    ~TestVolume();
    TestVolume(const TestVolume &) = delete;
    TestVolume &operator=(const TestVolume &) = delete;

    // Where the updater sees the volume, and where its bytes really are.
    QString path() const { return mount.path(); }
    QString store() const { return storePath; }
    bool remountReadOnly();

    bool mounted = false;
    QString error;

private:
    QTemporaryDir mount;
    QTemporaryDir backing;
    QProcess server;
    QString storePath;
};
