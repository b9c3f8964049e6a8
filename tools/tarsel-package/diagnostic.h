#pragma once

#include <QString>

// One finding about a product package, named by the file it is about and, where there is one,
// its line.
struct Diagnostic
{
    enum Severity { Error, Warning, Note };

    Severity severity = Error;
    // Relative to the package root (or to the source folder when building).
    QString file;
    int line = 0;
    QString message;

    // "device.xml:3: error: ...", the layout compilers use, so editors can jump to it.
    QString toString() const;
};
