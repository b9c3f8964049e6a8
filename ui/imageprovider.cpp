#include "imageprovider.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QPixmap>

namespace {
const QHash<QByteArray, QByteArray> &imageTable()
{
    // The package's files sit at the top of its tree: the resource lookup finds these root paths
    // in a package registered under ":/tarsel_external" too.
    static const QHash<QByteArray, QByteArray> table {
        { "page1/big.png", ":/page1_general_view.png" },
        { "page1/small.png", ":/page1_detail_view.png" },
        { "page2/big.png", ":/page2_general_view.png" },
        { "page2/small.png", ":/page2_detail_view.png" },
        { "page3/big.png", ":/page3_general_view.png" },
        { "page3/small.png", ":/page3_detail_view.png" },
        { "page4/big.png", ":/page4_general_view.png" },
        { "page5/big_success.png", ":/page5_success_general_view.png" },
        { "page5/big_failure.png", ":/page5_failure_general_view.png" },
        { "page5/big_up2date.png", ":/page5_uptodate_general_view.png" },
    };
    return table;
}
} // namespace

ImageProvider::ImageProvider()
    : QQuickImageProvider(QQuickImageProvider::Pixmap)
{
}

QPixmap ImageProvider::requestPixmap(const QString &id, QSize *size, const QSize &requestedSize)
{
    Q_UNUSED(size);
    Q_UNUSED(requestedSize);
    const QByteArray path = imageTable().value(id.toUtf8());
    const QImage image(QString::fromUtf8(path));
    if (image.isNull()) {
        QPixmap placeholder(100, 100);
        placeholder.fill(Qt::transparent);
        return placeholder;
    }
    return QPixmap::fromImage(image);
}
