#include "pagenavigator.h"

#include <QMetaEnum>

PageNavigator::PageNavigator(QObject *parent)
    : QObject(parent)
{
}

void PageNavigator::next()
{
    if (index != Page::Page5)
        setIndex(index + 1);
}

void PageNavigator::previous()
{
    if (index != Page::Page1)
        setIndex(index - 1);
}

void PageNavigator::goTo(int page)
{
    setIndex(page);
}

QString PageNavigator::componentName(int index) const
{
    // key() is by position and null outside the enumeration, which leaves ".qml".
    const char *name = QMetaEnum::fromType<Page::PageEnum>().key(index);
    return QStringLiteral("%1.qml").arg(QString::fromLatin1(name));
}

void PageNavigator::setIndex(int page)
{
    if (page == index)
        return;
    index = page;
    emit currentIndexChanged();
}
