#pragma once

#include "diagnostic.h"

#include <QHash>
#include <QString>
#include <QVector>

#include <csignal>

// Makes a product package from a source folder: compiles its translation sources, writes the
// checksum file, packs everything with rcc and checks the result as `check` would. The output
// is only written when the result passes.
class PackageBuilder
{
public:
    PackageBuilder(const QString &sourceDir, const QString &output);

    void setRcc(const QString &path) { rcc = path; }
    void setLrelease(const QString &path) { lrelease = path; }
    // Warnings then also keep the package from being written.
    void setStrict(bool on) { strict = on; }
    // The last release's package: the new firmware must be newer and for the same hardware,
    // unless allowed knowingly.
    void setPrevious(const QString &path, bool allowDowngrade, bool allowOtherHardware)
    {
        previous = path;
        this->allowDowngrade = allowDowngrade;
        this->allowOtherHardware = allowOtherHardware;
    }

    // Checked between the steps: once set, the build stops, leaving neither the output nor its
    // staged copy behind (a signal handler sets it).
    void setStopFlag(const volatile sig_atomic_t *flag) { stopFlag = flag; }

    bool build();
    QVector<Diagnostic> diagnostics() const { return found; }

private:
    bool stage(const QString &stageDir);
    bool compileTranslation(const QString &source, const QString &target);
    bool checkSuppliedChecksum(const QByteArray &supplied, const QByteArray &digest);
    bool stopped();
    // Its refusals are errors among the findings.
    void compareWithPrevious(const QString &stageDir);
    bool pack(const QString &workDir, const QString &stageDir, const QString &packed);
    void add(Diagnostic::Severity severity, const QString &file, const QString &message);

    QString sourceDir;
    QString output;
    QString rcc;
    QString lrelease;
    bool strict = false;
    QString previous;
    bool allowDowngrade = false;
    bool allowOtherHardware = false;
    const volatile sig_atomic_t *stopFlag = nullptr;
    // Staged file -> the source file it came from, for naming findings after the sources.
    QHash<QString, QString> origin;
    QVector<Diagnostic> found;
};
