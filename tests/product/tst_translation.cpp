#include "productresource.h"
#include "testpackage.h"
#include "translationcandidate.h"

#include <QDirIterator>
#include <QProcess>
#include <QtTest>

namespace {
QList<TranslationCandidate> candidatesFrom(const QStringList &files)
{
    QList<TranslationCandidate> list;
    for (const QString &file : files) {
        TranslationCandidate candidate
            = parseLocaleName(file.section(QLatin1Char('/'), -1).section(QLatin1Char('.'), 0, 0));
        candidate.filePath = file;
        list.append(candidate);
    }
    return list;
}
} // namespace

class TranslationTest : public QObject
{
    Q_OBJECT

private slots:
    void parsesLocaleNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("country");
        QTest::addRow("plain") << "de_DE"
                               << "de"
                               << "DE";
        QTest::addRow("cases normalised") << "FR_fr"
                                          << "fr"
                                          << "FR";
        QTest::addRow("third piece ignored") << "de_DE_1"
                                             << "de"
                                             << "DE";
        QTest::addRow("no country") << "qt"
                                    << "qt"
                                    << "";
        QTest::addRow("prefixed name") << "app_fr_FR"
                                       << "app"
                                       << "FR";
        QTest::addRow("empty") << ""
                               << ""
                               << "";
    }
    void parsesLocaleNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, language);
        QFETCH(QString, country);
        const TranslationCandidate candidate = parseLocaleName(name);
        QCOMPARE(candidate.language, language);
        QCOMPARE(candidate.country, country);
        QVERIFY(candidate.filePath.isEmpty());
    }

    void choosesByLanguageAndCountry_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("chosen");
        QTest::addRow("exact match after a language match")
            << "de_DE" << QStringList { "/p/de_AT.qm", "/p/de_DE.qm" } << "/p/de_DE.qm";
        QTest::addRow("language only: the first one")
            << "de_CH" << QStringList { "/p/de_DE.qm", "/p/de_AT.qm" } << "/p/de_DE.qm";
        QTest::addRow("no file of the language: fallback")
            << "ja_JP" << QStringList { "/p/de_DE.qm", "/p/fr_FR.qm" } << "";
        QTest::addRow("file name case ignored")
            << "fr_FR" << QStringList { "/p/FR_fr.qm" } << "/p/FR_fr.qm";
        QTest::addRow("prefixed name never matches")
            << "fr_FR" << QStringList { "/p/app_fr_FR.qm" } << "";
        QTest::addRow("third piece ignored")
            << "de_DE" << QStringList { "/p/de_DE_1.qm" } << "/p/de_DE_1.qm";
        QTest::addRow("first of two exact matches")
            << "fr_FR" << QStringList { "/p/a/fr_FR.qm", "/p/fr_FR.qm" } << "/p/a/fr_FR.qm";
        QTest::addRow("file without country matches on language")
            << "de_DE" << QStringList { "/p/de.qm" } << "/p/de.qm";
        QTest::addRow("system locale without country")
            << "C" << QStringList { "/p/de_DE.qm" } << "";
    }
    void choosesByLanguageAndCountry()
    {
        QFETCH(QString, locale);
        QFETCH(QStringList, files);
        QFETCH(QString, chosen);
        QCOMPARE(chooseTranslation(locale, candidatesFrom(files)), chosen);
    }

    // The whole chain in a child process, so that the system locale really is the environment's.
    void translationFileFollowsTheEnvironment_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("expected"); // any of these, in iteration order
        const QStringList all = { "en_US.qm", "de_AT.qm", "de_DE.qm", "fr_FR.QM", "fr_FR.old.qm",
            "sub/dir/it_IT.qm", "app_es_ES.qm" };
        QTest::addRow("exact German") << all << "LANG"
                                      << "de_DE.UTF-8" << QStringList { "de_DE.qm" };
        QTest::addRow("Swiss German: whichever is yielded first")
            << all << "LC_ALL"
            << "de_CH.UTF-8" << QStringList { "de_AT.qm", "de_DE.qm" };
        QTest::addRow("upper-case suffix is no candidate, a second dot is")
            << all << "LANG"
            << "fr_FR.UTF-8" << QStringList { "fr_FR.old.qm" };
        QTest::addRow("found in a subfolder")
            << all << "LANG"
            << "it_IT.UTF-8" << QStringList { "sub/dir/it_IT.qm" };
        QTest::addRow("Japanese falls back") << all << "LANG"
                                             << "ja_JP.UTF-8" << QStringList { "en_US.qm" };
        QTest::addRow("prefixed file never chosen") << all << "LANG"
                                                    << "es_ES.UTF-8" << QStringList { "en_US.qm" };
        QTest::addRow("fallback named even when absent")
            << QStringList { "de_DE.qm" } << "LANG"
            << "ja_JP.UTF-8" << QStringList { "en_US.qm" };
    }
    void translationFileFollowsTheEnvironment()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, variable);
        QFETCH(QString, locale);
        QFETCH(QStringList, expected);
        TestPackage package;
        package.fillStandard();
        for (const QString &file : files)
            package.setFile(file, QByteArray("qm"));
        const QString rcc = package.build();
        QVERIFY(!rcc.isEmpty());

        // Where the order of iteration decides, read that order back instead of assuming it.
        QVERIFY(package.registerPackage());
        QStringList yielded;
        QDirIterator it(ProductResource::packageRoot(), QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            for (const QString &name : expected)
                if (path.endsWith(QLatin1Char('/') + name))
                    yielded.append(name);
        }
        package.unregisterPackage();
        const QString first = yielded.value(0, expected.first());

        QProcess probe;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : { "LANG", "LC_ALL", "LC_MESSAGES", "LANGUAGE" })
            environment.remove(QLatin1String(name));
        environment.insert(variable, locale);
        probe.setProcessEnvironment(environment);
        probe.start(QStringLiteral(TRANSLATIONPROBE), { rcc });
        QVERIFY(probe.waitForFinished(30000));
        QCOMPARE(probe.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(probe.readAllStandardOutput()).trimmed(),
            QStringLiteral(":/tarsel_external/") + first);
    }
};

QTEST_GUILESS_MAIN(TranslationTest)
#include "tst_translation.moc"
