#include "windowminimumheight.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QRect>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>

namespace {
const int textColumnBase = 675;
const int measuringHeight = 20;
const int fixedRoom = 160;
const int floorHeight = 480;

QString translated(const char *format, int page)
{
    return qtTrId(QString::fromLatin1(format).arg(page).toLatin1().constData());
}
} // namespace

int windowMinimumHeightFor(const QString &deviceName)
{
    // Fonts need a QGuiApplication (the font database crashes without one); a process without
    // it, such as a GUI-less test, gets the floor.
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return floorHeight;
    const int fontId
        = QFontDatabase::addApplicationFont(QStringLiteral(":/qml/Fonts/Lato-Regular.ttf"));
    const QStringList families
        = fontId == -1 ? QStringList() : QFontDatabase::applicationFontFamilies(fontId);
    // An empty family selects the default font.
    const QString family = families.value(0);
    // The pages use larger sizes on macOS; the measurement deliberately does not.
    const QFontMetrics titleMetrics(QFont(family, 14));
    const QFontMetrics descriptionMetrics(QFont(family, 12));

    int tallest = 0;
    for (int page = 1; page <= 4; ++page) {
        const QString imagePath = QStringLiteral(":/page%1_general_view.png").arg(page);
        const int imageWidth = QImage(imagePath).width();
        const int imageHeight = QImage(imagePath).height();
        const QRect column(0, 0, textColumnBase - imageWidth, measuringHeight);

        // The page-1 title keeps its marker: it is measured as "%1", not as the name.
        const QString title = translated("id-page%1-title", page);
        const QString description
            = translated("id-page%1-description", page).replace(QLatin1String("%1"), deviceName);

        const int titleHeight = titleMetrics.boundingRect(column, Qt::TextWordWrap, title).height();
        const int descriptionHeight
            = descriptionMetrics.boundingRect(column, Qt::TextWordWrap, description).height();
        tallest = std::max(tallest, imageHeight + titleHeight + descriptionHeight + fixedRoom);
    }
    return std::max(tallest, floorHeight);
}
