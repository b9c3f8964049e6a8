#pragma once

#include <QStringList>

// The translation ids the wizard's pages look up, in page order.
QStringList wizardTextIds();

// The page images the updater loads from the top of the package.
QStringList wizardImageNames();
