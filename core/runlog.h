#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QRecursiveMutex>
#include <QStringList>

class Core;

// The run's log file: every message the console gets, as it comes, and what Core reports of the
// run. One file per run in folder(); only the newest few are kept.
class RunLog : public QObject
{
    Q_OBJECT
public:
    // Takes the process's messages from now on (the console still gets them) and holds them
    // until open() names the file. One at a time.
    explicit RunLog(QObject *parent = nullptr);
    ~RunLog() override;

    // $XDG_STATE_HOME/TarselUpdater/logs (~/.local/state/...) on Linux and other Unix systems,
    // %LOCALAPPDATA%/corvel/TarselUpdater/logs on Windows, ~/Library/Logs/TarselUpdater on macOS;
    // the same for every program of the updater, each file named after its program.
    static QString folder();
    static constexpr int kept = 10;

    // Creates this run's file, drops the oldest of this program beyond kept, and follows core.
    // False when the folder cannot be written: the run goes on without a log, and the console
    // is told once (also when a later line cannot be written).
    bool open(Core *core);
    // The same, logging arguments as the command line (a program that hands Core only part of it).
    bool open(Core *core, const QStringList &arguments);
    QString filePath() const { return file.fileName(); }

private:
    void write(const QString &text);
    bool openFile(const QString &dir, QString *failure);
    void sayUnwritable(const QString &reason);
    void follow(Core *core);
    static void takeMessage(QtMsgType type, const QMessageLogContext &context, const QString &text);

    QRecursiveMutex mutex; // a warning raised while writing comes back here
    QFile file;
    QElapsedTimer clock;
    QStringList held;
    bool unwritable = false; // open() failed: nothing more is held for a file that never comes
    QtMessageHandler previous = nullptr;
};
