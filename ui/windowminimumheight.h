#pragma once

#include <QString>

// The smallest window height at which the tallest of the first four pages fits, measured with
// the installed translation, the package's large images and the interface's font. Computed anew
// on every call; each call registers the font file with the font database once more. Without a
// QGuiApplication it is the floor, 480.
int windowMinimumHeightFor(const QString &deviceName);
