#include "imageprovider.h"
#include "pagenavigator.h"
#include "testpackage.h"
#include "windowminimumheight.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

namespace {
QByteArray png(const QSize &size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data();
}

// An id-based catalogue in memory.
struct Texts : QTranslator
{
    QMap<QString, QString> texts;
    bool isEmpty() const override { return false; }
    QString translate(const char *, const char *id, const char *, int) const override
    {
        return texts.value(QString::fromUtf8(id));
    }
};

// A page's height as the window is meant to measure it, in the interface's font.
int pageHeight(const QSize &image, const QString &title, const QString &description)
{
    const QRect column(0, 0, 675 - image.width(), 20);
    const auto height = [&](int points, const QString &text) {
        const QFontMetrics metrics(QFont(QStringLiteral("Lato"), points));
        return metrics.boundingRect(column, Qt::TextWordWrap, text).height();
    };
    return std::max(480, image.height() + height(14, title) + height(12, description) + 160);
}
} // namespace

class TestUi : public QObject
{
    Q_OBJECT

private slots:
    // Moves: "n" next, "p" previous, "gN" goTo N.
    void navigatorMoves_data()
    {
        QTest::addColumn<QString>("moves");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("emissions");
        QTest::addColumn<QString>("document");
        QTest::addRow("a fifth next stays on Page5") << "n n n n n" << 4 << 4 << "Page5.qml";
        QTest::addRow("previous on Page1 is ignored") << "p" << 0 << 0 << "Page1.qml";
        QTest::addRow("back from Page2") << "n p" << 0 << 2 << "Page1.qml";
        QTest::addRow("goTo the current page is silent") << "n n g2" << 2 << 2 << "Page3.qml";
        QTest::addRow("previous from Page5") << "g4 p" << 3 << 2 << "Page4.qml";
        QTest::addRow("no stop beyond the range") << "g7 n p p" << 6 << 4 << ".qml";
        QTest::addRow("no stop below Page1") << "g-1 p" << -2 << 2 << ".qml";
    }
    void navigatorMoves()
    {
        QFETCH(QString, moves);
        QFETCH(int, index);
        PageNavigator navigator;
        QSignalSpy spy(&navigator, &PageNavigator::currentIndexChanged);
        // A handler must already see the new position.
        int seen = 0;
        connect(&navigator, &PageNavigator::currentIndexChanged, this,
            [&] { seen = navigator.property("currentIndex").toInt(); });
        for (const QString &move : moves.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (move == QLatin1String("n"))
                navigator.next();
            else if (move == QLatin1String("p"))
                navigator.previous();
            else
                navigator.goTo(move.mid(1).toInt());
        }
        QCOMPARE(int(navigator.currentIndex()), index);
        QCOMPARE(seen, index);
        QTEST(int(spy.count()), "emissions");
        QTEST(navigator.componentName(index), "document");
    }

    void imageProviderServesThePackage()
    {
        const char *table[][2] = { { "page1/big.png", "page1_general_view" },
            { "page1/small.png", "page1_detail_view" }, { "page2/big.png", "page2_general_view" },
            { "page2/small.png", "page2_detail_view" }, { "page3/big.png", "page3_general_view" },
            { "page3/small.png", "page3_detail_view" }, { "page4/big.png", "page4_general_view" },
            { "page5/big_success.png", "page5_success_general_view" },
            { "page5/big_failure.png", "page5_failure_general_view" },
            { "page5/big_up2date.png", "page5_uptodate_general_view" } };
        // Each file at a size of its own, so that an id served from another file shows; the
        // file of page2/big.png is left out.
        TestPackage package;
        for (int i = 0; i < 10; ++i) {
            if (i != 2)
                package.setFile(QLatin1String(table[i][1]) + ".png", png(QSize(40 + i, 30 + i)));
        }
        package.setFile(QStringLiteral("page4_detail_view.png"), png(QSize(11, 11)));
        QVERIFY(package.registerPackage());
        ImageProvider provider;
        QSize untouched(7, 7);
        for (int i = 0; i < 10; ++i) {
            const QImage image = provider.requestPixmap(table[i][0], &untouched, {}).toImage();
            QCOMPARE(image.size(), i == 2 ? QSize(100, 100) : QSize(40 + i, 30 + i));
            QCOMPARE(image.pixelColor(0, 0).alpha(), i == 2 ? 0 : 255);
        }
        QCOMPARE(untouched, QSize(7, 7));
        for (const char *id : { "page4/small.png", "Page1/big.png", "page1_general_view.png", "" })
            QCOMPARE(provider.requestPixmap(id, nullptr, { 9, 9 }).size(), QSize(100, 100));
    }

    void minimumHeightFitsTheTallestPage_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QSize>("image");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("expected");
        const QString name = QStringLiteral("Tarsel Vault Four Professional Edition ").repeated(5);
        const QString text = QStringLiteral("Save your files, then turn it off. ").repeated(40);
        QTest::addRow("floor when every page is shorter") << 2 << QSize(100, 100) << "Title"
                                                          << "Text"
                                                          << "Vault" << 480;
        QTest::addRow("page 4 wraps beside a 300-wide image")
            << 4 << QSize(300, 250) << "Title" << text << "Vault"
            << pageHeight({ 300, 250 }, "Title", text);
        QTest::addRow("device name in the description")
            << 3 << QSize(0, 0) << "Title"
            << "%1 " + text << name << pageHeight({ 0, 0 }, "Title", name + " " + text);
        QTest::addRow("page-1 title measured with its marker")
            << 1 << QSize(0, 0) << "Power off %1" << text << name
            << pageHeight({ 0, 0 }, "Power off %1", text);
        QTest::addRow("<br> measured as characters")
            << 2 << QSize(0, 0) << "Title" << QStringLiteral("Line<br>").repeated(20) << "Vault"
            << 480;
    }
    void minimumHeightFitsTheTallestPage()
    {
        QFETCH(int, page);
        QFETCH(QSize, image);
        TestPackage package;
        if (!image.isEmpty())
            package.setFile(QStringLiteral("page%1_general_view.png").arg(page), png(image));
        // Page 5 is never measured.
        package.setFile(QStringLiteral("page5_general_view.png"), png(QSize(10, 2000)));
        QVERIFY(package.registerPackage());
        Texts texts;
        QFETCH(QString, title);
        QFETCH(QString, description);
        texts.texts = { { QStringLiteral("id-page%1-title").arg(page), title },
            { QStringLiteral("id-page%1-description").arg(page), description } };
        QCoreApplication::installTranslator(&texts);
        QFETCH(QString, name);
        QTEST(windowMinimumHeightFor(name), "expected");
    }
};

QTEST_MAIN(TestUi)
#include "tst_ui.moc"
