// Draws the sample package's page images into the folder given as the only argument. Line art
// only, no text: the same picture on every machine, whatever its fonts.
#include "sketch.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

namespace {

const QSize generalView(300, 300);
// Detail views are drawn on a 150 x 100 canvas and shown at 120 x 80: wider, Page 2's picture
// runs under its Back button, which sits 40 to the left of Next.
const QSize detailCanvas(150, 100);
const QSize detailView(120, 80);

// The drive as most general views show it: front face towards the viewer, right side visible.
const QRectF driveFace(55, 150, 160, 100);
const QPointF driveDepth(45, -32);

void drive(Sketch &s, const QRectF &face, const QPointF &depth, Sketch::Led led)
{
    s.floor(face, depth);
    s.box(face, depth);
    s.driveFront(face, led);
}

void page1General(QPainter &p, Sketch &s)
{
    const QRectF face(30, 110, 160, 100);
    drive(s, face, driveDepth, Sketch::Led::Off);
    const QPointF button(face.right() - 26, face.bottom() - 28);
    const QPointF callout(235, 245);
    p.setPen(QPen(Sketch::ink, 1.5, Qt::DashLine, Qt::RoundCap));
    p.drawLine(button + QPointF(9, 9), callout - QPointF(24, 24));
    p.setPen(QPen(Sketch::ink, 2));
    p.setBrush(Qt::white);
    p.drawEllipse(callout, 34, 34);
    s.powerSymbol(callout, 16, Sketch::bad);
}

void page1Detail(QPainter &, Sketch &s)
{
    const QRectF face(-10, 22, 128, 100);
    s.box(face, QPointF(26, -16));
    s.led(QPointF(34, 48), 6, Sketch::Led::Off);
    s.powerButton(QPointF(84, 66), 21);
    s.arrow(QPointF(18, 92), QPointF(58, 76), Sketch::accent, 3);
}

void page2General(QPainter &, Sketch &s)
{
    const QRectF screen(110, 38, 140, 90);
    s.laptop(screen);
    const qreal plugScale = 0.7;
    // Halfway down the right edge of the deck, which flares out as it comes forward.
    const QPointF laptopTip
        = screen.bottomRight() + QPointF(screen.width() * 0.12, screen.height() * 0.22) * 0.5;
    const QPointF laptopRear = Sketch::plugRear(laptopTip, 180, plugScale, true);

    const QRectF face(20, 195, 130, 80);
    const QPointF depth(36, -26);
    drive(s, face, depth, Sketch::Led::Off);
    const QPointF port = Sketch::sideCentre(face, depth);
    const QPointF driveRear = Sketch::plugRear(port, 180, plugScale, true);

    QPainterPath wire(driveRear);
    wire.cubicTo(driveRear + QPointF(60, 10), laptopRear + QPointF(25, 90), laptopRear);
    s.cable(wire, 3.5);
    s.plug(port, 180, plugScale, true);
    s.plug(laptopTip, 180, plugScale, true);
}

void page2Detail(QPainter &, Sketch &s)
{
    const QRectF face(-60, 30, 110, 90);
    const QPointF depth(50, -24);
    s.box(face, depth);
    s.sidePort(face, depth);
    const QPointF port = Sketch::sideCentre(face, depth);
    const qreal plugScale = 1.3;
    const QPointF tip = port + QPointF(20, 0);
    const QPointF rear = Sketch::plugRear(tip, 180, plugScale, false);
    QPainterPath wire(rear);
    wire.cubicTo(rear + QPointF(20, 0), rear + QPointF(10, 30), rear + QPointF(30, 45));
    s.cable(wire, 5);
    s.plug(tip, 180, plugScale, false);
    s.arrow(tip + QPointF(40, -30), port + QPointF(8, -30), Sketch::accent, 3);
}

void page3General(QPainter &, Sketch &s)
{
    // Seen from behind, so the other side shows.
    const QRectF face(85, 150, 170, 100);
    const QPointF depth(-45, -32);
    s.floor(face, depth);
    s.box(face, depth);
    const QPointF hole = s.driveBack(face);
    s.paperclip(hole + QPointF(2, -3), 120, 1.0);
    s.arrow(hole + QPointF(58, -70), hole + QPointF(28, -20), Sketch::accent, 3);
}

void page3Detail(QPainter &p, Sketch &s)
{
    p.setPen(QPen(Sketch::ink, 2));
    p.setBrush(QColor(0xea, 0xec, 0xef));
    p.drawPolygon(QPolygonF(
        QVector<QPointF> { QPointF(-10, 16), QPointF(160, 16), QPointF(160, 0), QPointF(-10, 0) }));
    p.setBrush(QColor(0xfb, 0xfb, 0xfb));
    p.drawRect(QRectF(-10, 16, 170, 100));
    const QPointF hole(45, 64);
    p.setPen(QPen(QColor(0x9a, 0xa3, 0xad), 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(hole, 17, 17);
    p.setPen(Qt::NoPen);
    p.setBrush(Sketch::ink);
    p.drawEllipse(hole, 6.5, 6.5);
    s.paperclip(hole + QPointF(3, -2), 150, 1.3);
    s.arrow(hole + QPointF(70, 8), hole + QPointF(30, 30), Sketch::accent, 3);
}

void page4General(QPainter &, Sketch &s)
{
    const QRectF face(55, 160, 160, 100);
    drive(s, face, driveDepth, Sketch::Led::On);
    const QPointF chip(157, 45);
    s.chip(chip, 34);
    s.arrow(chip + QPointF(0, 34), QPointF(157, 138), Sketch::accent, 5);
    s.progressBar(QRectF(60, 276, 190, 12), 0.6);
}

void result(QPainter &p, Sketch &s, const QColor &colour, Sketch::Mark mark, bool sealed)
{
    const QRectF face(40, 160, 160, 100);
    drive(s, face, driveDepth, Sketch::Led::On);
    const QPointF centre(222, 92);
    if (sealed) {
        // A second ring tells "already current" apart from "just updated" at a glance.
        p.setPen(QPen(colour, 3));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(centre, 52, 52);
    }
    s.badge(centre, 44, colour, mark);
}

void page5Success(QPainter &p, Sketch &s)
{
    result(p, s, Sketch::good, Sketch::Mark::Tick, false);
}
void page5Failure(QPainter &p, Sketch &s)
{
    result(p, s, Sketch::bad, Sketch::Mark::Cross, false);
}
void page5UpToDate(QPainter &p, Sketch &s)
{
    result(p, s, Sketch::light, Sketch::Mark::Tick, true);
}

struct Picture
{
    const char *name;
    QSize size;
    void (*draw)(QPainter &, Sketch &);
};

const Picture pictures[] = {
    { "page1_general_view.png", generalView, page1General },
    { "page1_detail_view.png", detailView, page1Detail },
    { "page2_general_view.png", generalView, page2General },
    { "page2_detail_view.png", detailView, page2Detail },
    { "page3_general_view.png", generalView, page3General },
    { "page3_detail_view.png", detailView, page3Detail },
    { "page4_general_view.png", generalView, page4General },
    { "page5_success_general_view.png", generalView, page5Success },
    { "page5_failure_general_view.png", generalView, page5Failure },
    { "page5_uptodate_general_view.png", generalView, page5UpToDate },
};

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 2) {
        QTextStream(stderr) << "usage: tarsel-sampleart OUTDIR\n";
        return 2;
    }
    const QDir out(args.at(1));
    if (!out.mkpath(QStringLiteral("."))) {
        QTextStream(stderr) << "cannot create " << args.at(1) << "\n";
        return 1;
    }

    for (const Picture &picture : pictures) {
        QImage image(picture.size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        if (picture.size == detailView)
            painter.scale(qreal(detailView.width()) / detailCanvas.width(),
                qreal(detailView.height()) / detailCanvas.height());
        Sketch sketch(painter);
        picture.draw(painter, sketch);
        painter.end();
        const QString path = out.filePath(QString::fromLatin1(picture.name));
        if (!image.save(path, "PNG")) {
            QTextStream(stderr) << "cannot write " << path << "\n";
            return 1;
        }
    }
    return 0;
}
