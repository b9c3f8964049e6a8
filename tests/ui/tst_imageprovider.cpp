#include "imageprovider.h"
#include "testpackage.h"
#include "testtranslation.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QTest>

#include <memory>

class TestImageProvider : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void servesPackageImageAtItsOwnSize_data();
    void servesPackageImageAtItsOwnSize();
    void givesTransparentPlaceholder_data();
    void givesTransparentPlaceholder();

private:
    std::unique_ptr<TestPackage> package;
};

namespace {
struct Entry
{
    const char *id;
    const char *file;
};
// Every id of the table except page2/big.png, whose file is left out to test the placeholder.
const Entry entries[] = {
    { "page1/big.png", "page1_general_view.png" },
    { "page1/small.png", "page1_detail_view.png" },
    { "page2/small.png", "page2_detail_view.png" },
    { "page3/big.png", "page3_general_view.png" },
    { "page3/small.png", "page3_detail_view.png" },
    { "page4/big.png", "page4_general_view.png" },
    { "page5/big_success.png", "page5_success_general_view.png" },
    { "page5/big_failure.png", "page5_failure_general_view.png" },
    { "page5/big_up2date.png", "page5_uptodate_general_view.png" },
};

// A different size for every file, so that an id mapped to the wrong file shows.
QSize sizeOf(int entry)
{
    return QSize(40 + 7 * entry, 30 + 3 * entry);
}
} // namespace

void TestImageProvider::initTestCase()
{
    package = std::make_unique<TestPackage>();
    for (int i = 0; i < int(std::size(entries)); ++i)
        package->setFile(QString::fromLatin1(entries[i].file), testPng(sizeOf(i)));
    // A file outside the table must never be reachable through an id.
    package->setFile(QStringLiteral("page4_detail_view.png"), testPng(QSize(11, 11)));
    QVERIFY(package->registerPackage());
}

void TestImageProvider::servesPackageImageAtItsOwnSize_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QSize>("requested");
    QTest::addColumn<QSize>("expected");

    for (int i = 0; i < int(std::size(entries)); ++i)
        QTest::addRow("%s", entries[i].id)
            << QString::fromLatin1(entries[i].id) << QSize() << sizeOf(i);
    QTest::addRow("requested size is ignored")
        << QStringLiteral("page1/big.png") << QSize(10, 10) << sizeOf(0);
}

void TestImageProvider::servesPackageImageAtItsOwnSize()
{
    QFETCH(QString, id);
    QFETCH(QSize, requested);
    QFETCH(QSize, expected);

    ImageProvider provider;
    QCOMPARE(provider.imageType(), QQmlImageProviderBase::Pixmap);
    QCOMPARE(provider.flags(), QQmlImageProviderBase::Flags());
    QSize reported(7, 7);
    const QPixmap pixmap = provider.requestPixmap(id, &reported, requested);
    QCOMPARE(pixmap.size(), expected);
    QCOMPARE(pixmap.toImage().pixelColor(0, 0), QColor(Qt::red));
    QCOMPARE(reported, QSize(7, 7));
}

void TestImageProvider::givesTransparentPlaceholder_data()
{
    QTest::addColumn<QString>("id");

    QTest::addRow("no small image for page 4") << "page4/small.png";
    QTest::addRow("letter case differs") << "Page1/big.png";
    QTest::addRow("table entry without its file") << "page2/big.png";
    QTest::addRow("file name instead of id") << "page1_general_view.png";
    QTest::addRow("empty id") << "";
}

void TestImageProvider::givesTransparentPlaceholder()
{
    QFETCH(QString, id);

    ImageProvider provider;
    const QPixmap pixmap = provider.requestPixmap(id, nullptr, QSize(20, 20));
    QCOMPARE(pixmap.size(), QSize(100, 100));
    const QImage image = pixmap.toImage();
    QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
    QCOMPARE(image.pixelColor(99, 99).alpha(), 0);
}

QTEST_MAIN(TestImageProvider)
#include "tst_imageprovider.moc"
