// The sample texts keep markers and line breaks and are translated (build --strict: the rest).
#include "wizardcontent.h"

#include <QtTest>

class TestSamplePackage : public QObject
{
    Q_OBJECT

private slots:
    void textsKeepTheirMarkers()
    {
        QVERIFY(QResource::registerResource(TARSEL_BIN_DIR "/data.rcc", "/tst_samplepackage"));
        // An id per "%1" of its text.
        const QString markers = QStringLiteral(
            "footer-updater-version footer-previousFW-version footer-newFW-version page1-title "
            "page1-description page2-description page3-description page4-description "
            "page5-title-failed page5-noerror page5-noerror page5-find-device-error "
            "page5-same-fw-error page1-image page2-image page3-image page3-waiting page4-image "
            "page3-searching page4-progress-value page5-details-search-timeout page3-mount-failed "
            "page5-safe-to-power-off page5-still-mounted page5-other-product "
            "page5-details-package-unreadable page5-details-remove page5-details-create "
            "page5-details-write page5-details-sync page4-file-progress page5-update-running-error "
            "page5-firmware-gone page5-details-rename");
        QTranslator english, translator;
        QVERIFY(english.load(":/tst_samplepackage/en_US.qm"));
        for (const QString locale : { "en_US", "de_DE", "fr_FR" }) {
            QVERIFY(translator.load(":/tst_samplepackage/" + locale + ".qm"));
            for (const QString &id : wizardTextIds()) {
                // As qtTrId looks it up; an id missing from the catalogue gives no text.
                const QString text = translator.translate(nullptr, qPrintable(id)),
                              inEnglish = english.translate(nullptr, qPrintable(id));
                QVERIFY2(!text.isEmpty() && text.count("%1") == markers.split(' ').count(id.mid(3))
                        && text.count("<br>") == inEnglish.count("<br>")
                        && (locale == "en_US" || text != inEnglish),
                    qPrintable(locale + ' ' + id + ": " + text));
            }
        }
    }

    // The package check knows every text the updater asks for, so a release lacking one fails.
    void everyIdTheUpdaterUsesIsChecked()
    {
        const QRegularExpression quotedId("\"(id-[A-Za-z0-9-]+)\"");
        QSet<QString> used;
        for (const char *folder : { "qml", "app", "core", "ui" }) {
            QDirIterator files(
                TARSEL_SOURCE_DIR "/" + QString(folder), QDir::Files, QDirIterator::Subdirectories);
            while (files.hasNext()) {
                QFile file(files.next());
                QVERIFY(file.open(QIODevice::ReadOnly));
                auto ids = quotedId.globalMatch(QString::fromUtf8(file.readAll()));
                while (ids.hasNext())
                    used << ids.next().captured(1);
            }
        }
        QVERIFY(used.size() > 40);
        for (const QString &id : used)
            QVERIFY2(wizardTextIds().contains(id), qPrintable(id));
    }
};

QTEST_GUILESS_MAIN(TestSamplePackage)
#include "tst_samplepackage.moc"
