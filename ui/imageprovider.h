#pragma once

#include <QQuickImageProvider>

// Serves the pages' logical image ids ("page1/big.png") from the product package. Pixmap kind, so
// the engine calls it synchronously on the GUI thread.
class ImageProvider : public QQuickImageProvider
{
public:
    ImageProvider();

    // The image at its own size whatever was asked for, or a transparent 100 x 100 placeholder
    // for an unknown id or a missing file; size is never written.
    QPixmap requestPixmap(const QString &id, QSize *size, const QSize &requestedSize) override;
};
