#include "diagnostic.h"

QString Diagnostic::toString() const
{
    static const char *const names[] = { "error", "warning", "note" };
    QString where = file;
    if (line > 0)
        where += QLatin1Char(':') + QString::number(line);
    return QStringLiteral("%1: %2: %3").arg(where, QLatin1String(names[severity]), message);
}
