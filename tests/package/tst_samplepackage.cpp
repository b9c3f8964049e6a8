// The sample texts keep markers and line breaks, and are translated (build --strict checks the
// rest).
#include "wizardcontent.h"

#include <QtTest>

class TestSamplePackage : public QObject
{
    Q_OBJECT

    // Looked up as the pages do, so an id missing from the catalogue comes back as the id.
    static QString translate(const QString &locale, const QString &id)
    {
        QTranslator translator;
        if (!translator.load(":/tst_samplepackage/" + locale + ".qm"))
            return QString();
        QCoreApplication::installTranslator(&translator);
        const QString text = qtTrId(qPrintable(id));
        QCoreApplication::removeTranslator(&translator);
        return text;
    }

private slots:
    void textsKeepTheirMarkers()
    {
        QVERIFY(QResource::registerResource(TARSEL_BIN_DIR "/data.rcc", "/tst_samplepackage"));
        const QStringList markers = QString("footer-updater-version footer-previousFW-version "
                                            "footer-newFW-version page1-title page1-description "
                                            "page2-description page3-description page4-description "
                                            "page5-title-failed page5-noerror page5-noerror "
                                            "page5-find-device-error page5-same-fw-error")
                                        .split(' '); // an id per "%1" of its text
        for (const QString locale : { "en_US", "de_DE", "fr_FR" }) {
            for (const QString &id : wizardTextIds()) {
                const QString text = translate(locale, id), english = translate("en_US", id);
                QVERIFY2(text != id && text.count("%1") == markers.count(id.mid(3))
                        && text.count("<br>") == english.count("<br>")
                        && (locale == "en_US" || text != english),
                    qPrintable(locale + ' ' + id + ": " + text));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestSamplePackage)
#include "tst_samplepackage.moc"
