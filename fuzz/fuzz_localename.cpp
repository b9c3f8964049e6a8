// The locale-name parser and the translation choice on arbitrary names: the input's lines are
// the system locale's name followed by the base names of the package's translation files.
#include "scratchfile.h"
#include "translationcandidate.h"

#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QStringList names = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size))
                                  .split(QLatin1Char('\n'));
    QList<TranslationCandidate> candidates;
    for (int i = 1; i < names.size(); ++i) {
        const TranslationCandidate candidate = parseLocaleName(names.at(i));
        FUZZ_CHECK(candidate.filePath.isEmpty());
        // Only the text before the first "_" can be the language, and case never matters.
        FUZZ_CHECK(!candidate.language.contains(QLatin1Char('_')));
        FUZZ_CHECK(parseLocaleName(names.at(i).toUpper()).country == candidate.country);
        FUZZ_CHECK(parseLocaleName(names.at(i).toLower()).language == candidate.language);
        candidates.append(
            { candidate.language, candidate.country, QStringLiteral("/package/%1.qm").arg(i) });
    }

    const TranslationCandidate system = parseLocaleName(names.first());
    const QString chosen = chooseTranslation(names.first(), candidates);
    int firstExact = -1;
    int firstLanguage = -1;
    for (int i = 0; i < candidates.size(); ++i) {
        if (candidates.at(i).language != system.language)
            continue;
        if (firstExact < 0 && candidates.at(i).country == system.country)
            firstExact = i;
        if (firstLanguage < 0)
            firstLanguage = i;
    }
    // An exact match anywhere beats a language match found earlier; the first of each kind wins.
    const int expected = firstExact >= 0 ? firstExact : firstLanguage;
    FUZZ_CHECK(chosen == (expected < 0 ? QString() : candidates.at(expected).filePath));
    return 0;
}
