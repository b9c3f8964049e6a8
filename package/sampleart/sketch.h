#pragma once

#include <QColor>
#include <QPointF>
#include <QRectF>

class QPainter;
class QPainterPath;

// The pieces the page images are made of, drawn as outlined line art on an antialiased painter.
class Sketch
{
public:
    enum class Led { Off, On };
    enum class Mark { Tick, Cross };

    static const QColor ink; // outlines
    static const QColor accent; // what the user does: motion arrows
    static const QColor light; // what the product does: its lamp, progress, up to date
    static const QColor good;
    static const QColor bad;

    explicit Sketch(QPainter &painter);

    // A box seen slightly from above; depth is where the far edges lie from the near face's
    // edges (x > 0 shows the right side, x < 0 the left one).
    void box(const QRectF &face, const QPointF &depth);
    // A soft shadow on the floor under such a box.
    void floor(const QRectF &face, const QPointF &depth);
    // The middle of the box's visible side, and a port drawn there.
    static QPointF sideCentre(const QRectF &face, const QPointF &depth);
    void sidePort(const QRectF &face, const QPointF &depth);
    void driveFront(const QRectF &face, Led led);
    // Returns the centre of the recessed button's hole.
    QPointF driveBack(const QRectF &face);
    void powerSymbol(const QPointF &centre, qreal radius, const QColor &colour);
    void powerButton(const QPointF &centre, qreal radius);
    void led(const QPointF &centre, qreal radius, Led state);
    void usbPort(const QPointF &centre, qreal width, qreal angle);
    void laptop(const QRectF &screen);
    void chip(const QPointF &centre, qreal size);
    void cable(const QPainterPath &path, qreal width);
    // A USB plug whose contacts end at tip, pointing along angle (degrees, clockwise from +x).
    // An inserted plug hides its contacts in the port.
    void plug(const QPointF &tip, qreal angle, qreal scale, bool inserted);
    // Where the cable leaves such a plug.
    static QPointF plugRear(const QPointF &tip, qreal angle, qreal scale, bool inserted);
    // A paperclip unbent into a straight leg that ends at tip and points along angle.
    void paperclip(const QPointF &tip, qreal angle, qreal scale);
    void arrow(const QPointF &from, const QPointF &to, const QColor &colour, qreal width);
    void progressBar(const QRectF &rect, qreal fraction);
    void badge(const QPointF &centre, qreal radius, const QColor &colour, Mark mark);

private:
    QPainter &p;
};
