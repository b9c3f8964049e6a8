#include "testpackage.h"
#include "testtranslation.h"
#include "windowminimumheight.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QTest>

#include <memory>

using Texts = QMap<QString, QString>;
using Images = QMap<int, QSize>;
Q_DECLARE_METATYPE(Images)

class TestWindowMinimumHeight : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void measuresTallestPage_data();
    void measuresTallestPage();
    void longerDescriptionAddsItsLines();
    void measuresWithTheInterfaceFont();
};

namespace {
// Heights as the pages' measurement is meant to take them, on the same screen metrics.
int titleHeight(int width, const QString &text)
{
    const QFontMetrics metrics(QFont(QStringLiteral("Lato"), 14));
    return metrics.boundingRect(QRect(0, 0, width, 20), Qt::TextWordWrap, text).height();
}

int descriptionHeight(int width, const QString &text)
{
    const QFontMetrics metrics(QFont(QStringLiteral("Lato"), 12));
    return metrics.boundingRect(QRect(0, 0, width, 20), Qt::TextWordWrap, text).height();
}

// Words of varied lengths, so that line breaks move with every few pixels of width.
QString words(int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << QString(1 + (i * 7) % 9, QLatin1Char(char('a' + i % 26)));
    return list.join(QLatin1Char(' '));
}

} // namespace

void TestWindowMinimumHeight::initTestCase()
{
    // Other pages keep their ids as text; they must never be the tallest by accident.
    QVERIFY(titleHeight(675, QStringLiteral("id-page4-title")) < 40);
}

void TestWindowMinimumHeight::measuresTallestPage_data()
{
    QTest::addColumn<Images>("images");
    QTest::addColumn<Texts>("texts");
    QTest::addColumn<QString>("deviceName");
    QTest::addColumn<int>("expected");
    // What a plausible fault would give instead; the row is pointless if it equals expected.
    QTest::addColumn<int>("wrong");

    const Images small { { 1, { 100, 100 } }, { 2, { 100, 100 } }, { 3, { 100, 100 } },
        { 4, { 100, 100 } } };
    const QString shortTitle = QStringLiteral("Title");
    const QString shortText = QStringLiteral("Description");
    const int shortPage
        = 100 + titleHeight(575, shortTitle) + descriptionHeight(575, shortText) + 160;
    const Texts shortTexts { { "id-page2-title", shortTitle },
        { "id-page2-description", shortText } };
    QTest::addRow("floor when every page is shorter")
        << small << shortTexts << "Vault" << 480 << shortPage;

    Images oneAbove = small;
    const int textRoom = titleHeight(575, shortTitle) + descriptionHeight(575, shortText);
    oneAbove[2] = QSize(100, 481 - 160 - textRoom);
    QTest::addRow("page height of 481") << oneAbove << shortTexts << "Vault" << 481 << 480;

    // The image is 300 wide, so the texts wrap at 375; wrapping at 675 (image ignored) or at 350
    // (the page's margin taken off too) gives other heights.
    QString at375;
    for (int count = 1; count < 400 && at375.isEmpty(); ++count) {
        const QString text = words(count);
        const int d = descriptionHeight(375, text);
        if (d != descriptionHeight(350, text) && d != descriptionHeight(675, text))
            at375 = text;
    }
    const Images wide { { 1, { 300, 250 } } };
    const Texts wideTexts { { "id-page1-title", shortTitle }, { "id-page1-description", at375 } };
    QTest::addRow("300-wide image wraps at 375")
        << wide << wideTexts << "Vault"
        << 250 + titleHeight(375, shortTitle) + descriptionHeight(375, at375) + 160
        << 250 + titleHeight(675, shortTitle) + descriptionHeight(675, at375) + 160;

    // Without images the texts take the whole 675; a missing image read as the provider's
    // 100 x 100 placeholder would narrow them and add 100.
    const QString longText = words(400);
    const Texts longTexts { { "id-page4-title", shortTitle },
        { "id-page4-description", longText } };
    QTest::addRow("no images") << Images() << longTexts << "Vault"
                               << titleHeight(675, shortTitle) + descriptionHeight(675, longText)
            + 160 << 100 + titleHeight(575, shortTitle) + descriptionHeight(575, longText) + 160;

    // The page-1 title is measured with "%1" in it, not with the name.
    const QString longName = QStringLiteral("Tarsel Vault Four Professional Desktop Edition");
    QString titleWithMarker;
    for (int count = 1; count < 100 && titleWithMarker.isEmpty(); ++count) {
        const QString text = QStringLiteral("Power off %1 ") + words(count);
        if (titleHeight(675, text) != titleHeight(675, QString(text).replace("%1", longName)))
            titleWithMarker = text;
    }
    const QString tallDescription = words(400);
    const Texts markerTexts { { "id-page1-title", titleWithMarker },
        { "id-page1-description", tallDescription } };
    QTest::addRow("page-1 title keeps its marker")
        << Images() << markerTexts << longName
        << titleHeight(675, titleWithMarker) + descriptionHeight(675, tallDescription) + 160
        << titleHeight(675, QString(titleWithMarker).replace("%1", longName))
            + descriptionHeight(675, tallDescription) + 160;

    // An empty name is measured as empty, not as the "[device_name]" that the pages show.
    QString emptyNameText;
    for (int count = 300; count < 500 && emptyNameText.isEmpty(); ++count) {
        const QString text = words(count);
        if (descriptionHeight(675, text)
            != descriptionHeight(675, QStringLiteral("[device_name] ") + text))
            emptyNameText = QStringLiteral("%1 ") + text;
    }
    const Texts emptyNameTexts { { "id-page3-title", shortTitle },
        { "id-page3-description", emptyNameText } };
    QTest::addRow("empty device name") << Images() << emptyNameTexts << ""
                                       << titleHeight(675, shortTitle)
            + descriptionHeight(675, QString(emptyNameText).replace("%1", "")) + 160
                                       << titleHeight(675, shortTitle)
            + descriptionHeight(675, QString(emptyNameText).replace("%1", "[device_name]")) + 160;

    // "<br>" is measured as four characters; read as markup each would add a line.
    QStringList lines;
    for (int i = 0; i < 20; ++i)
        lines << QStringLiteral("L%1").arg(i);
    const QString breaks = lines.join(QStringLiteral("<br>"));
    const Texts breakTexts { { "id-page2-title", shortTitle }, { "id-page2-description", breaks } };
    QTest::addRow("<br> counted as characters")
        << Images() << breakTexts << "Vault"
        << qMax(480, titleHeight(675, shortTitle) + descriptionHeight(675, breaks) + 160)
        << titleHeight(675, shortTitle) + descriptionHeight(675, lines.join(QLatin1Char('\n')))
            + 160;
}

void TestWindowMinimumHeight::measuresTallestPage()
{
    QFETCH(Images, images);
    QFETCH(Texts, texts);
    QFETCH(QString, deviceName);
    QFETCH(int, expected);
    QFETCH(int, wrong);
    QVERIFY2(expected != wrong, "the row cannot tell the fault from the behaviour");

    TestPackage package;
    for (auto it = images.cbegin(); it != images.cend(); ++it)
        package.setFile(
            QStringLiteral("page%1_general_view.png").arg(it.key()), testPng(it.value()));
    // Page 5 is never measured, even where an image at its pattern's path exists.
    package.setFile(QStringLiteral("page5_general_view.png"), testPng(QSize(10, 2000)));
    QVERIFY(package.registerPackage());
    const TestTranslation translation(texts);
    QVERIFY(translation.isInstalled());

    QCOMPARE(windowMinimumHeightFor(deviceName), expected);
}

void TestWindowMinimumHeight::longerDescriptionAddsItsLines()
{
    TestPackage package;
    package.setFile(QStringLiteral("page3_general_view.png"), testPng(QSize(200, 200)));
    QVERIFY(package.registerPackage());

    const QString shorter = words(60);
    const QString longer = words(120);
    const int added = descriptionHeight(475, longer) - descriptionHeight(475, shorter);
    QVERIFY(added > 0);

    int before = 0;
    {
        const TestTranslation translation({ { "id-page3-description", shorter } });
        QVERIFY(translation.isInstalled());
        before = windowMinimumHeightFor(QStringLiteral("Vault"));
    }
    QVERIFY(before > 480);
    const TestTranslation translation({ { "id-page3-description", longer } });
    QVERIFY(translation.isInstalled());
    QCOMPARE(windowMinimumHeightFor(QStringLiteral("Vault")), before + added);
}

void TestWindowMinimumHeight::measuresWithTheInterfaceFont()
{
    // The computation's font comes from the interface's resource; the oracle above names it.
    const int id
        = QFontDatabase::addApplicationFont(QStringLiteral(":/qml/Fonts/Lato-Regular.ttf"));
    QVERIFY(id != -1);
    QCOMPARE(QFontDatabase::applicationFontFamilies(id).value(0), QStringLiteral("Lato"));
}

QTEST_MAIN(TestWindowMinimumHeight)
#include "tst_windowminimumheight.moc"
