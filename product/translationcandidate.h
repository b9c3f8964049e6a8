#pragma once

#include <QList>
#include <QString>

struct TranslationCandidate
{
    QString language;
    QString country;
    QString filePath;
};

// "de_DE_1" -> {de, DE}; a name without "_" gets an empty country.
TranslationCandidate parseLocaleName(const QString &name);

// The choice of translationFile over an explicit candidate list and locale name, apart from any
// directory walk so it can be tested on fixtures. Returns the chosen file path (not yet
// canonical), or an empty string when the fallback applies.
QString chooseTranslation(
    const QString &systemLocaleName, const QList<TranslationCandidate> &candidates);
