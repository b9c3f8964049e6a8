#include "translationcandidate.h"

#include <QStringList>

TranslationCandidate parseLocaleName(const QString &name)
{
    const QStringList pieces = name.split(QLatin1Char('_'));
    TranslationCandidate candidate;
    candidate.language = pieces.value(0).toLower();
    candidate.country = pieces.value(1).toUpper();
    return candidate;
}

QString chooseTranslation(
    const QString &systemLocaleName, const QList<TranslationCandidate> &candidates)
{
    const TranslationCandidate system = parseLocaleName(systemLocaleName);
    QList<TranslationCandidate> languageMatches;
    for (const TranslationCandidate &candidate : candidates) {
        if (candidate.language != system.language)
            continue;
        if (candidate.country == system.country)
            return candidate.filePath;
        languageMatches.append(candidate);
    }
    return languageMatches.isEmpty() ? QString() : languageMatches.first().filePath;
}
