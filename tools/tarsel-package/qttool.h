#pragma once

#include <QString>

// Path of a Qt build tool such as "rcc" or "lrelease": the given override when not empty, else
// the environment variable (TARSEL_RCC, TARSEL_LRELEASE: the name upper-cased), else the one in
// Qt's binaries folder, else the first on PATH. Empty when none of them is an executable file.
QString locateQtTool(const QString &name, const QString &override = QString());
