#include "sketch.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QtMath>

const QColor Sketch::ink(0x2f, 0x36, 0x40);
const QColor Sketch::accent(0xe6, 0x7e, 0x22);
const QColor Sketch::light(0x2d, 0x7d, 0xd2);
const QColor Sketch::good(0x2e, 0x9e, 0x4f);
const QColor Sketch::bad(0xd6, 0x45, 0x41);

namespace {

const QColor paper(0xfb, 0xfb, 0xfb);
const QColor shade(0xea, 0xec, 0xef);
const QColor shadow(0xd3, 0xd8, 0xde);
const QColor groove(0x9a, 0xa3, 0xad);
const qreal line = 2.0;

QPen outline(qreal width = line, const QColor &colour = Sketch::ink)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QPointF along(qreal angle, qreal length)
{
    const qreal rad = qDegreesToRadians(angle);
    return QPointF(qCos(rad), qSin(rad)) * length;
}

} // namespace

Sketch::Sketch(QPainter &painter)
    : p(painter)
{
}

void Sketch::box(const QRectF &face, const QPointF &depth)
{
    const bool right = depth.x() > 0;
    const QPointF nearTop = right ? face.topRight() : face.topLeft();
    const QPointF nearBottom = right ? face.bottomRight() : face.bottomLeft();
    const QPolygonF top(QVector<QPointF> {
        face.topLeft(), face.topRight(), face.topRight() + depth, face.topLeft() + depth });
    const QPolygonF side(
        QVector<QPointF> { nearTop, nearTop + depth, nearBottom + depth, nearBottom });

    p.setPen(outline());
    p.setBrush(shade);
    p.drawPolygon(top);
    p.setBrush(shadow);
    p.drawPolygon(side);
    p.setBrush(paper);
    p.drawRect(face);
}

void Sketch::floor(const QRectF &face, const QPointF &depth)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 30));
    const QPointF centre(face.center().x() + depth.x() / 2, face.bottom() + depth.y() * 0.1);
    p.drawEllipse(centre, face.width() * 0.62 + qAbs(depth.x()) / 2, qAbs(depth.y()) * 0.45);
}

QPointF Sketch::sideCentre(const QRectF &face, const QPointF &depth)
{
    const QPointF nearTop = depth.x() > 0 ? face.topRight() : face.topLeft();
    return nearTop + depth / 2 + QPointF(0, face.height() / 2);
}

void Sketch::sidePort(const QRectF &face, const QPointF &depth)
{
    const QPointF centre = sideCentre(face, depth);
    // The side is seen at a slant: squeeze the port across it and shear it along the depth.
    p.save();
    p.translate(centre);
    p.setTransform(QTransform(0.55, 0.55 * depth.y() / depth.x(), 0, 1, 0, 0), true);
    usbPort(QPointF(), face.height() * 0.28, 0);
    p.restore();
}

void Sketch::driveFront(const QRectF &face, Led state)
{
    const qreal s = face.height() / 100;
    p.setPen(outline(1.6 * s, groove));
    for (int i = 0; i < 3; ++i) {
        const qreal y = face.top() + (22 + 10 * i) * s;
        p.drawLine(QPointF(face.left() + 16 * s, y), QPointF(face.left() + 60 * s, y));
    }
    led(QPointF(face.right() - 26 * s, face.top() + 22 * s), 4.5 * s, state);
    powerButton(QPointF(face.right() - 26 * s, face.bottom() - 28 * s), 12 * s);
}

QPointF Sketch::driveBack(const QRectF &face)
{
    const qreal s = face.height() / 100;
    const qreal y = face.center().y();
    usbPort(QPointF(face.left() + 38 * s, y), 28 * s, 0);

    p.setPen(outline());
    p.setBrush(shade);
    p.drawEllipse(QPointF(face.left() + 88 * s, y), 9 * s, 9 * s);
    p.setBrush(ink);
    p.drawEllipse(QPointF(face.left() + 88 * s, y), 2.5 * s, 2.5 * s);

    const QPointF hole(face.right() - 36 * s, y);
    p.setPen(outline(2 * s, groove));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(hole, 9 * s, 9 * s);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(hole, 3 * s, 3 * s);
    return hole;
}

void Sketch::powerSymbol(const QPointF &centre, qreal radius, const QColor &colour)
{
    p.setPen(outline(radius * 0.3, colour));
    p.setBrush(Qt::NoBrush);
    const QRectF circle(centre - QPointF(radius, radius), centre + QPointF(radius, radius));
    // The gap at twelve o'clock is where the stroke comes down.
    p.drawArc(circle, 125 * 16, 290 * 16);
    p.drawLine(centre + QPointF(0, -1.15 * radius), centre + QPointF(0, -0.2 * radius));
}

void Sketch::powerButton(const QPointF &centre, qreal radius)
{
    p.setPen(outline());
    p.setBrush(shade);
    p.drawEllipse(centre, radius, radius);
    powerSymbol(centre, radius * 0.5, ink);
}

void Sketch::led(const QPointF &centre, qreal radius, Led state)
{
    if (state == Led::On) {
        p.setPen(Qt::NoPen);
        QColor glow = light;
        glow.setAlpha(70);
        p.setBrush(glow);
        p.drawEllipse(centre, radius * 2.2, radius * 2.2);
    }
    p.setPen(outline(1.4));
    p.setBrush(state == Led::On ? light : QColor(0xb4, 0xbb, 0xc3));
    p.drawEllipse(centre, radius, radius);
}

void Sketch::usbPort(const QPointF &centre, qreal width, qreal angle)
{
    p.save();
    p.translate(centre);
    p.rotate(angle);
    p.setPen(outline());
    p.setBrush(shade);
    p.drawRoundedRect(
        QRectF(-width / 2, -width * 0.22, width, width * 0.44), width * 0.12, width * 0.12);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawRect(QRectF(-width * 0.3, -width * 0.05, width * 0.6, width * 0.1));
    p.restore();
}

void Sketch::laptop(const QRectF &screen)
{
    p.setPen(outline());
    p.setBrush(paper);
    p.drawRoundedRect(screen, 6, 6);
    p.setPen(outline(1.2));
    p.setBrush(QColor(0xe1, 0xea, 0xf3));
    p.drawRect(screen.adjusted(8, 8, -8, -8));

    const qreal flare = screen.width() * 0.12;
    const qreal depth = screen.height() * 0.22;
    const QPointF bottomLeft = screen.bottomLeft() + QPointF(-flare, depth);
    const QPointF bottomRight = screen.bottomRight() + QPointF(flare, depth);
    p.setPen(outline());
    p.setBrush(shade);
    p.drawPolygon(QPolygonF(
        QVector<QPointF> { screen.bottomLeft(), screen.bottomRight(), bottomRight, bottomLeft }));
    const QRectF lip(bottomLeft, bottomRight + QPointF(0, 6));
    p.setBrush(shadow);
    p.drawRoundedRect(lip, 3, 3);

    // Keyboard rows, foreshortened like the deck they lie on.
    p.setPen(outline(1.2, groove));
    for (int row = 1; row <= 3; ++row) {
        const qreal t = row / 4.0;
        const qreal inset = flare * (1 - t) + screen.width() * 0.1;
        const qreal y = screen.bottom() + depth * t * 0.8;
        p.drawLine(QPointF(screen.left() - flare * t + inset, y),
            QPointF(screen.right() + flare * t - inset, y));
    }
}

void Sketch::chip(const QPointF &centre, qreal size)
{
    const qreal h = size / 2;
    p.setPen(outline(1.6));
    for (int i = -2; i <= 2; ++i) {
        const qreal o = i * size / 6;
        p.drawLine(centre + QPointF(o, -h - 6), centre + QPointF(o, h + 6));
        p.drawLine(centre + QPointF(-h - 6, o), centre + QPointF(h + 6, o));
    }
    p.setPen(outline());
    p.setBrush(QColor(0x4a, 0x52, 0x5c));
    p.drawRoundedRect(QRectF(centre - QPointF(h, h), centre + QPointF(h, h)), 4, 4);
    p.setPen(outline(1.4, groove));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(centre - QPointF(h, h) * 0.55, centre + QPointF(h, h) * 0.55), 2, 2);
}

void Sketch::cable(const QPainterPath &path, qreal width)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(outline(width, QColor(0x4a, 0x52, 0x5c)));
    p.drawPath(path);
}

QPointF Sketch::plugRear(const QPointF &tip, qreal angle, qreal scale, bool inserted)
{
    return tip - along(angle, (inserted ? 25 : 34) * scale);
}

void Sketch::plug(const QPointF &tip, qreal angle, qreal scale, bool inserted)
{
    p.save();
    p.translate(tip);
    p.rotate(angle);
    p.scale(scale, scale);
    p.setPen(outline(1.5));
    if (inserted) {
        p.translate(9, 0);
    } else {
        p.setBrush(QColor(0xd5, 0xd9, 0xde));
        p.drawRect(QRectF(-9, -3.5, 9, 7));
    }
    p.setBrush(QColor(0x4a, 0x52, 0x5c));
    p.drawRoundedRect(QRectF(-26, -6, 17, 12), 2, 2);
    p.drawPolygon(QPolygonF(QVector<QPointF> {
        QPointF(-26, -4), QPointF(-34, -2.5), QPointF(-34, 2.5), QPointF(-26, 4) }));
    p.restore();
}

void Sketch::paperclip(const QPointF &tip, qreal angle, qreal scale)
{
    // Drawn pointing along +x with the tip at the origin; the straightened leg is the outer wire.
    QPainterPath wire(QPointF(0, 0));
    wire.lineTo(-140, 0);
    wire.arcTo(QRectF(-149, 0, 18, 18), 90, 180);
    wire.lineTo(-55, 18);
    wire.arcTo(QRectF(-61.5, 5, 13, 13), 270, 180);
    wire.lineTo(-125, 5);
    wire.arcTo(QRectF(-129, 5, 8, 8), 90, 180);
    wire.lineTo(-72, 13);

    p.save();
    p.translate(tip);
    p.rotate(angle);
    p.scale(scale, scale);
    p.setBrush(Qt::NoBrush);
    p.setPen(outline(4.2, QColor(0x5d, 0x66, 0x70)));
    p.drawPath(wire);
    p.setPen(outline(2.0, QColor(0xd4, 0xd8, 0xdd)));
    p.drawPath(wire);
    p.restore();
}

void Sketch::arrow(const QPointF &from, const QPointF &to, const QColor &colour, qreal width)
{
    const QPointF d = to - from;
    const qreal length = qSqrt(QPointF::dotProduct(d, d));
    if (length <= 0)
        return;
    const QPointF unit = d / length;
    const QPointF normal(-unit.y(), unit.x());
    const qreal head = width * 3.2;
    const QPointF base = to - unit * head;

    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, base + unit * 1.0);
    p.setPen(outline(1.0, colour));
    p.setBrush(colour);
    p.drawPolygon(QPolygonF(
        QVector<QPointF> { to, base + normal * width * 2.2, base - normal * width * 2.2 }));
}

void Sketch::progressBar(const QRectF &rect, qreal fraction)
{
    const qreal r = rect.height() / 2;
    QPainterPath track;
    track.addRoundedRect(rect, r, r);
    p.setPen(Qt::NoPen);
    p.setBrush(paper);
    p.drawPath(track);
    p.save();
    p.setClipPath(track);
    p.setBrush(light);
    p.drawRect(QRectF(rect.topLeft(), QSizeF(rect.width() * fraction, rect.height())));
    p.restore();
    p.setPen(outline());
    p.setBrush(Qt::NoBrush);
    p.drawPath(track);
}

void Sketch::badge(const QPointF &centre, qreal radius, const QColor &colour, Mark mark)
{
    p.setPen(outline(3, Qt::white));
    p.setBrush(colour);
    p.drawEllipse(centre, radius, radius);
    p.setPen(outline(radius * 0.2, Qt::white));
    p.setBrush(Qt::NoBrush);
    if (mark == Mark::Tick) {
        p.drawPolyline(QPolygonF(QVector<QPointF> { centre + QPointF(-0.45, 0.02) * radius,
            centre + QPointF(-0.13, 0.34) * radius, centre + QPointF(0.47, -0.3) * radius }));
    } else {
        const qreal a = 0.36 * radius;
        p.drawLine(centre + QPointF(-a, -a), centre + QPointF(a, a));
        p.drawLine(centre + QPointF(-a, a), centre + QPointF(a, -a));
    }
}
