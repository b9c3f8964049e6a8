#pragma once

#include <QObject>

// Names the wizard's pages for the meta-object system and QML. Each enumerator is also the base
// name of the page's QML document, and the values run from 0 in declaration order.
class Page
{
    Q_GADGET
public:
    enum PageEnum {
        Page1 = 0,
        Page2 = 1,
        Page3 = 2,
        Page4 = 3,
        Page5 = 4,
    };
    Q_ENUM(PageEnum)

    Page() = delete;
};
