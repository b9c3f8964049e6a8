#pragma once

#include "page.h"

#include <QObject>
#include <QString>

// The wizard's position. GUI thread only; currentIndexChanged is delivered synchronously, so a
// handler that moves the navigator again nests a second emission inside the first.
class PageNavigator : public QObject
{
    Q_OBJECT
    Q_PROPERTY(Page::PageEnum currentIndex READ currentIndex NOTIFY currentIndexChanged)

public:
    explicit PageNavigator(QObject *parent = nullptr);

    Page::PageEnum currentIndex() const { return static_cast<Page::PageEnum>(index); }

    // Stops exactly at Page5 / Page1: only goTo can leave the range, and beyond it these move
    // without limit.
    Q_INVOKABLE void next();
    Q_INVOKABLE void previous();
    // Accepts any integer.
    Q_INVOKABLE void goTo(int page);
    // "Page3.qml" for 2; ".qml" for a position the enumeration does not have.
    Q_INVOKABLE QString componentName(int index) const;

signals:
    void currentIndexChanged();

private:
    void setIndex(int page);

    int index = Page::Page1;
};
