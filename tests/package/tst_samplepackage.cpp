// Checks what the build puts into the sample package: complete catalogues and usable drawings.
#include <QDir>
#include <QImage>
#include <QResource>
#include <QTest>
#include <QTranslator>

#include <memory>

namespace {

const QStringList locales { QStringLiteral("en_US"), QStringLiteral("de_DE"),
    QStringLiteral("fr_FR") };

// Every id the pages look up, with the number of "%1" its text carries.
const QList<QPair<const char *, int>> textIds {
    { "id-application-title", 0 },
    { "id-footer-updater-version", 1 },
    { "id-footer-previousFW-version", 1 },
    { "id-footer-newFW-version", 1 },
    { "id-page1-title", 1 },
    { "id-page1-description", 1 },
    { "id-page1-next", 0 },
    { "id-page2-title", 0 },
    { "id-page2-description", 1 },
    { "id-page2-back", 0 },
    { "id-page2-next", 0 },
    { "id-page3-title", 0 },
    { "id-page3-description", 1 },
    { "id-page4-title", 0 },
    { "id-page4-description", 1 },
    { "id-page5-title-successful", 0 },
    { "id-page5-title-uptodate", 0 },
    { "id-page5-title-failed", 1 },
    { "id-page5-noerror", 2 },
    { "id-page5-find-device-error", 1 },
    { "id-page5-check-firmware-error", 0 },
    { "id-page5-bad-hw-error", 0 },
    { "id-page5-same-fw-error", 1 },
    { "id-page5-update-firmware-error", 0 },
    { "id-page5-quit", 0 },
};

const QStringList generalViews { QStringLiteral("page1_general_view.png"),
    QStringLiteral("page2_general_view.png"), QStringLiteral("page3_general_view.png"),
    QStringLiteral("page4_general_view.png"), QStringLiteral("page5_success_general_view.png"),
    QStringLiteral("page5_failure_general_view.png"),
    QStringLiteral("page5_uptodate_general_view.png") };
const QStringList detailViews { QStringLiteral("page1_detail_view.png"),
    QStringLiteral("page2_detail_view.png"), QStringLiteral("page3_detail_view.png") };

} // namespace

class SamplePackageTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyIdIsTranslatedKeepingItsMarkers_data();
    void everyIdIsTranslatedKeepingItsMarkers();
    void imagesHaveTheirViewSize_data();
    void imagesHaveTheirViewSize();
    void packageCarriesTranslationsAndImages_data();
    void packageCarriesTranslationsAndImages();

private:
    QString translate(const QString &locale, const char *id);

    const QDir stage { QStringLiteral(TARSEL_SAMPLE_STAGE) };
    QHash<QString, std::shared_ptr<QTranslator>> translators;
};

void SamplePackageTest::initTestCase()
{
    // The stage holds translation sources; the catalogues exist only inside the package.
    const QByteArray root = "/tst_samplepackage_texts";
    QVERIFY(QResource::registerResource(QStringLiteral(TARSEL_BIN_DIR "/data.rcc"), root));
    for (const QString &locale : locales) {
        auto translator = std::make_shared<QTranslator>();
        QVERIFY2(
            translator->load(QStringLiteral(":%1/%2.qm").arg(root, locale)), qPrintable(locale));
        translators.insert(locale, translator);
    }
}

QString SamplePackageTest::translate(const QString &locale, const char *id)
{
    // Installed and looked up as the pages do, so an id missing from the catalogue comes back
    // as the id itself.
    QTranslator *translator = translators.value(locale).get();
    QCoreApplication::installTranslator(translator);
    const QString text = qtTrId(id);
    QCoreApplication::removeTranslator(translator);
    return text;
}

void SamplePackageTest::everyIdIsTranslatedKeepingItsMarkers_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<int>("markers");
    for (const QString &locale : locales) {
        for (const auto &entry : textIds)
            QTest::addRow("%s %s", qPrintable(locale), entry.first)
                << locale << QByteArray(entry.first) << entry.second;
    }
}

void SamplePackageTest::everyIdIsTranslatedKeepingItsMarkers()
{
    QFETCH(QString, locale);
    QFETCH(QByteArray, id);
    QFETCH(int, markers);

    const QString text = translate(locale, id.constData());
    QVERIFY(!text.trimmed().isEmpty());
    QVERIFY2(text != QLatin1String(id), "missing from the catalogue");
    QCOMPARE(text.count(QLatin1String("%1")), markers);

    const QString english = translate(QStringLiteral("en_US"), id.constData());
    QCOMPARE(text.count(QLatin1String("<br>")), english.count(QLatin1String("<br>")));
    if (locale != QLatin1String("en_US"))
        QVERIFY2(text != english, "left in English");
}

void SamplePackageTest::imagesHaveTheirViewSize_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QSize>("maximum");
    for (const QString &name : generalViews)
        QTest::newRow(qPrintable(name)) << name << QSize(250, 250) << QSize(350, 350);
    for (const QString &name : detailViews)
        QTest::newRow(qPrintable(name)) << name << QSize(120, 80) << QSize(180, 120);
}

void SamplePackageTest::imagesHaveTheirViewSize()
{
    QFETCH(QString, name);
    QFETCH(QSize, minimum);
    QFETCH(QSize, maximum);

    const QImage image(stage.filePath(name));
    QVERIFY2(!image.isNull(), "not a readable image");
    QVERIFY2(image.width() >= minimum.width() && image.width() <= maximum.width(),
        qPrintable(QString::number(image.width())));
    QVERIFY2(image.height() >= minimum.height() && image.height() <= maximum.height(),
        qPrintable(QString::number(image.height())));

    // A painter that drew nothing still leaves a well-sized, empty image.
    int inked = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) > 128 && qGray(pixel) < 160)
                ++inked;
        }
    }
    QVERIFY2(inked > image.width() * image.height() / 100, qPrintable(QString::number(inked)));
}

void SamplePackageTest::packageCarriesTranslationsAndImages_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &locale : locales)
        QTest::newRow(qPrintable(locale)) << locale + QStringLiteral(".qm");
    for (const QString &name : generalViews + detailViews)
        QTest::newRow(qPrintable(name)) << name;
}

void SamplePackageTest::packageCarriesTranslationsAndImages()
{
    QFETCH(QString, name);
    const QString rcc = QStringLiteral(TARSEL_BIN_DIR "/data.rcc");
    const QString root = QStringLiteral("/tst_samplepackage");
    QVERIFY(QResource::registerResource(rcc, root));
    const QFileInfo packed(QLatin1Char(':') + root + QLatin1Char('/') + name);
    const QFileInfo staged(stage.filePath(name));
    // Catalogues are compiled from the staged sources, so only their presence can be compared.
    const bool same = packed.exists()
        && (name.endsWith(QLatin1String(".qm")) || packed.size() == staged.size());
    QResource::unregisterResource(rcc, root);
    QVERIFY2(same, "missing from data.rcc or not the staged file");
}

QTEST_GUILESS_MAIN(SamplePackageTest)
#include "tst_samplepackage.moc"
