#include "pagenavigator.h"

#include <QSignalSpy>
#include <QTest>

class TestPageNavigator : public QObject
{
    Q_OBJECT

private slots:
    void movesAndEmitsOncePerChange_data();
    void movesAndEmitsOncePerChange();
    void componentNameFollowsEnumeration_data();
    void componentNameFollowsEnumeration();
    void handlerMovingAgainNestsEmission();
};

// Moves are written as "n" (next), "p" (previous) and "gN" (goTo N), separated by blanks.
void TestPageNavigator::movesAndEmitsOncePerChange_data()
{
    QTest::addColumn<QString>("moves");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("emissions");

    QTest::addRow("new navigator") << "" << int(Page::Page1) << 0;
    QTest::addRow("four nexts reach Page5") << "n n n n" << int(Page::Page5) << 4;
    QTest::addRow("fifth next is ignored") << "n n n n n" << int(Page::Page5) << 4;
    QTest::addRow("previous at Page1 is ignored") << "p" << int(Page::Page1) << 0;
    QTest::addRow("previous from Page2") << "n p" << int(Page::Page1) << 2;
    QTest::addRow("goTo current page is silent") << "n n g2" << int(Page::Page3) << 2;
    QTest::addRow("goTo Page5 from Page3") << "n n g4" << int(Page::Page5) << 3;
    QTest::addRow("previous leaves Page5") << "g4 p" << int(Page::Page4) << 2;
    QTest::addRow("next beyond the range") << "g7 n" << 8 << 2;
    QTest::addRow("previous beyond the range") << "g7 p" << 6 << 2;
    QTest::addRow("no lower stop below Page1") << "g-1 p p" << -3 << 3;
    QTest::addRow("back into the range stops again") << "g5 p n" << int(Page::Page5) << 2;
}

void TestPageNavigator::movesAndEmitsOncePerChange()
{
    QFETCH(QString, moves);
    QFETCH(int, index);
    QFETCH(int, emissions);

    PageNavigator navigator;
    QSignalSpy spy(&navigator, &PageNavigator::currentIndexChanged);
    const QStringList steps = moves.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &step : steps) {
        if (step == QLatin1String("n"))
            navigator.next();
        else if (step == QLatin1String("p"))
            navigator.previous();
        else
            navigator.goTo(step.mid(1).toInt());
    }
    QCOMPARE(int(navigator.currentIndex()), index);
    QCOMPARE(spy.count(), emissions);
    QCOMPARE(navigator.property("currentIndex").toInt(), index);
}

void TestPageNavigator::componentNameFollowsEnumeration_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");

    QTest::addRow("first") << 0 << "Page1.qml";
    QTest::addRow("third") << 2 << "Page3.qml";
    QTest::addRow("last") << 4 << "Page5.qml";
    QTest::addRow("one past the end") << 5 << ".qml";
    QTest::addRow("negative") << -1 << ".qml";
    QTest::addRow("far beyond") << 8 << ".qml";
}

void TestPageNavigator::componentNameFollowsEnumeration()
{
    QFETCH(int, index);
    QFETCH(QString, name);
    PageNavigator navigator;
    QCOMPARE(navigator.componentName(index), name);
}

void TestPageNavigator::handlerMovingAgainNestsEmission()
{
    PageNavigator navigator;
    QList<int> seen;
    connect(&navigator, &PageNavigator::currentIndexChanged, this, [&] {
        seen << int(navigator.currentIndex());
        // The property must already hold the new value when the handler runs.
        if (navigator.currentIndex() == Page::Page2)
            navigator.goTo(Page::Page5);
        seen << -int(navigator.currentIndex());
    });
    navigator.next();
    QCOMPARE(seen, (QList<int> { 1, 4, -4, -4 }));
}

QTEST_APPLESS_MAIN(TestPageNavigator)
#include "tst_pagenavigator.moc"
