#include "qttool.h"

#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QStandardPaths>

namespace {
bool isExecutable(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}
} // namespace

QString locateQtTool(const QString &name, const QString &override)
{
    if (!override.isEmpty())
        return isExecutable(override) ? QFileInfo(override).absoluteFilePath() : QString();
    const QByteArray variable = "TARSEL_" + name.toUpper().toLatin1();
    const QString fromEnvironment = qEnvironmentVariable(variable.constData());
    if (!fromEnvironment.isEmpty())
        return isExecutable(fromEnvironment) ? QFileInfo(fromEnvironment).absoluteFilePath()
                                             : QString();
    // PATH may hold qtchooser's wrappers or another Qt's tools; the ones of the Qt we link
    // against write files this Qt reads.
    const QString bundled = QDir(QLibraryInfo::location(QLibraryInfo::BinariesPath)).filePath(name);
    if (isExecutable(bundled))
        return bundled;
    return QStandardPaths::findExecutable(name);
}
