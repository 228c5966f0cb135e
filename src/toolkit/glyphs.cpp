// The pictures, drawn with QPainter in logical pixels. Outlines run along half-pixel lines and
// fills on whole pixels, so straight edges fall on pixel boundaries at 1x and at 2x.
#include "toolkit/glyphs.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace vendrix {

namespace {

struct TPaper {
    QColor paper, border, lines;
};

const TPaper kRedPaper {
    QColor(0xFF, 0xE8, 0xE8), QColor(0xB0, 0x00, 0x00), QColor(0xE0, 0xA0, 0xA0)};
const TPaper kGreyPaper {
    QColor(0xF4, 0xF4, 0xF4), QColor(0x7A, 0x7A, 0x7A), QColor(0xB8, 0xB8, 0xB8)};
const TPaper kGreenPaper {
    QColor(0xEA, 0xF7, 0xEA), QColor(0x1E, 0x7D, 0x1E), QColor(0x8C, 0xC8, 0x8C)};

qreal Ratio(qreal ratio)
{
    if (ratio > 0)
        return ratio;
    return qApp ? qApp->devicePixelRatio() : 1.0;
}

QPixmap Canvas(int width, int height, qreal ratio)
{
    QPixmap pixmap(QSize(
        static_cast<int>(std::ceil(width * ratio)), static_cast<int>(std::ceil(height * ratio))));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QPen Pen(const QColor& color, qreal width)
{
    QPen pen(color, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// A sheet with a folded top-right corner and three lines of text, 10 x 12, left edge at x.
void Document(QPainter& p, qreal x, const TPaper& colours)
{
    QPainterPath sheet;
    sheet.moveTo(x + 0.5, 0.5);
    sheet.lineTo(x + 6.5, 0.5);
    sheet.lineTo(x + 9.5, 3.5);
    sheet.lineTo(x + 9.5, 11.5);
    sheet.lineTo(x + 0.5, 11.5);
    sheet.closeSubpath();
    p.setPen(QPen(colours.border, 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(colours.paper);
    p.drawPath(sheet);
    QPainterPath fold;
    fold.moveTo(x + 6.5, 0.5);
    fold.lineTo(x + 6.5, 3.5);
    fold.lineTo(x + 9.5, 3.5);
    p.setBrush(Qt::NoBrush);
    p.drawPath(fold);
    p.fillRect(QRectF(x + 2, 5, 6, 1), colours.lines);
    p.fillRect(QRectF(x + 2, 7, 6, 1), colours.lines);
    p.fillRect(QRectF(x + 2, 9, 4, 1), colours.lines);
}

// A tick drawn over a white rim, so it reads on the sheet and beside it.
void Tick(QPainter& p, const QPointF& a, const QPointF& b, const QPointF& c)
{
    const QPointF points[] = {a, b, c};
    p.setBrush(Qt::NoBrush);
    p.setPen(Pen(Qt::white, 3.6));
    p.drawPolyline(points, 3);
    p.setPen(Pen(QColor(0x00, 0xA0, 0x00), 2));
    p.drawPolyline(points, 3);
}

void Pencil(QPainter& p, qreal x)
{
    p.setPen(Pen(Qt::white, 4.4));
    p.drawLine(QPointF(x + 15, 1), QPointF(x + 9.4, 6.6));
    p.setPen(QPen(QColor(0x8A, 0x5A, 0x00), 3.2, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(x + 15.2, 0.8), QPointF(x + 10.6, 5.4));
    p.setPen(QPen(QColor(0xFF, 0xC4, 0x20), 1.6, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(x + 15.2, 0.8), QPointF(x + 10.6, 5.4));
    p.setPen(QPen(QColor(0xF0, 0x80, 0x90), 3.2, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(x + 15.6, 0.4), QPointF(x + 15.0, 1.0));
    QPainterPath tip;
    tip.moveTo(x + 11.7, 6.5);
    tip.lineTo(x + 9.3, 6.7);
    tip.lineTo(x + 9.5, 4.3);
    tip.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x40, 0x30, 0x20));
    p.drawPath(tip);
}

void Bell(QPainter& p, qreal x)
{
    QPainterPath bell;
    bell.moveTo(x + 9.5, 10.5);
    bell.lineTo(x + 10.5, 9.0);
    bell.lineTo(x + 10.5, 6.5);
    bell.quadTo(x + 10.5, 3.5, x + 12.5, 3.5);
    bell.quadTo(x + 14.5, 3.5, x + 14.5, 6.5);
    bell.lineTo(x + 14.5, 9.0);
    bell.lineTo(x + 15.5, 10.5);
    bell.closeSubpath();
    p.setPen(Pen(Qt::white, 2.4));
    p.setBrush(Qt::NoBrush);
    p.drawPath(bell);
    p.setPen(Pen(QColor(0x9A, 0x70, 0x00), 1));
    p.setBrush(QColor(0xFF, 0xD2, 0x00));
    p.drawPath(bell);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x9A, 0x70, 0x00));
    p.drawEllipse(QPointF(x + 12.5, 11.0), 1.1, 1.0);
    p.fillRect(QRectF(x + 12, 2, 1, 1), QColor(0x9A, 0x70, 0x00));
}

QPixmap StateStrip(qreal ratio)
{
    QPixmap pixmap = Canvas(80, 12, ratio);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    // 0: written off by the office, a red sheet crossed out in red.
    Document(p, 2, kRedPaper);
    p.setPen(Pen(QColor(0xE0, 0x00, 0x00), 2));
    p.drawLine(QPointF(2, 1.5), QPointF(13, 10.5));
    p.drawLine(QPointF(13, 1.5), QPointF(2, 10.5));
    // 1: a grey sheet.
    Document(p, 16 + 2, kGreyPaper);
    // 2: a green sheet with a tick.
    Document(p, 32 + 1, kGreenPaper);
    Tick(p, QPointF(32 + 8, 7.5), QPointF(32 + 10.3, 9.8), QPointF(32 + 14.8, 4.6));
    // 3: the same with a pencil.
    Document(p, 48 + 1, kGreenPaper);
    Tick(p, QPointF(48 + 7.6, 8.4), QPointF(48 + 9.7, 10.5), QPointF(48 + 14.4, 6.2));
    Pencil(p, 48);
    // 4: a green sheet with a yellow bell.
    Document(p, 64 + 1, kGreenPaper);
    Bell(p, 64);
    return pixmap;
}

void FolderBack(QPainter& p, qreal x)
{
    QPainterPath back;
    back.moveTo(x + 1.5, 3.5);
    back.lineTo(x + 6.0, 3.5);
    back.lineTo(x + 7.5, 5.0);
    back.lineTo(x + 14.5, 5.0);
    back.lineTo(x + 14.5, 13.5);
    back.lineTo(x + 1.5, 13.5);
    back.closeSubpath();
    p.setPen(QPen(QColor(0xA0, 0x78, 0x18), 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(QColor(0xF2, 0xC1, 0x4E));
    p.drawPath(back);
}

QPixmap ClosedFolder(QPixmap pixmap, qreal x)
{
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    FolderBack(p, x);
    p.fillRect(QRectF(x + 2, 7, 12, 1), QColor(0xFF, 0xE0, 0x8A));
    return pixmap;
}

QPixmap Folders(qreal ratio)
{
    QPixmap pixmap = ClosedFolder(Canvas(32, 16, ratio), 0);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    FolderBack(p, 16);
    QPainterPath flap;
    flap.moveTo(16 + 4.0, 7.5);
    flap.lineTo(16 + 15.5, 7.5);
    flap.lineTo(16 + 13.5, 13.5);
    flap.lineTo(16 + 1.5, 13.5);
    flap.closeSubpath();
    p.setPen(QPen(QColor(0xA0, 0x78, 0x18), 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(QColor(0xFF, 0xDA, 0x70));
    p.drawPath(flap);
    return pixmap;
}

QPixmap Magnifier(qreal ratio)
{
    QPixmap pixmap = Canvas(16, 16, ratio);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Pen(QColor(0x50, 0x50, 0x50), 2.6));
    p.drawLine(QPointF(9.8, 9.8), QPointF(14, 14));
    p.setPen(Pen(QColor(0x30, 0x30, 0x30), 1.5));
    p.setBrush(QColor(0xD8, 0xEC, 0xFF));
    p.drawEllipse(QPointF(6.5, 6.5), 4.5, 4.5);
    p.setPen(Pen(Qt::white, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(4, 4, 5, 5), 100 * 16, 70 * 16);
    return pixmap;
}

// The icon: a white order sheet with a green tick badge on a blue tile, designed on 32 x 32.
QPixmap IconPicture(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.scale(size / 32.0, size / 32.0);
    QLinearGradient tile(0, 0, 0, 32);
    tile.setColorAt(0, QColor(0x2E, 0x72, 0xCC));
    tile.setColorAt(1, QColor(0x15, 0x43, 0x80));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    QPainterPath sheet;
    sheet.moveTo(7, 5);
    sheet.lineTo(19, 5);
    sheet.lineTo(25, 11);
    sheet.lineTo(25, 27);
    sheet.lineTo(7, 27);
    sheet.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    QPainterPath fold;
    fold.moveTo(19, 5);
    fold.lineTo(19, 11);
    fold.lineTo(25, 11);
    fold.closeSubpath();
    p.setBrush(QColor(0xC8, 0xD6, 0xE8));
    p.drawPath(fold);
    p.setBrush(QColor(0x9A, 0xB0, 0xCC));
    p.drawRect(QRectF(10, 13, 11, 2));
    p.drawRect(QRectF(10, 17, 8, 2));
    p.drawRect(QRectF(10, 21, 6, 2));
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(QColor(0x1F, 0xA8, 0x3E));
    p.drawEllipse(QPointF(23, 23), 6.5, 6.5);
    const QPointF tick[] = {{19.8, 23.2}, {22.2, 25.6}, {26.4, 20.6}};
    p.setPen(Pen(Qt::white, 2.2));
    p.drawPolyline(tick, 3);
    return pixmap;
}

} // namespace

QPixmap ResourceBitmap(const QString& name, qreal ratio)
{
    const qreal r = Ratio(ratio);
    if (name == QLatin1String("FMAIN_IL_STATES"))
        return StateStrip(r);
    if (name == QLatin1String("BITBTN1_BITMAP"))
        return ClosedFolder(Canvas(16, 16, r), 0);
    if (name == QLatin1String("BITBTN4_BITMAP"))
        return Magnifier(r);
    if (name == QLatin1String("FSPRMULTISEL_IL1"))
        return Folders(r);
    return {};
}

std::vector<QPixmap> ImageList(const QString& name, int width, int height, qreal ratio)
{
    const qreal r = Ratio(ratio);
    const QPixmap strip = ResourceBitmap(name, r);
    std::vector<QPixmap> images;
    if (strip.isNull() || width <= 0)
        return images;
    const int count = static_cast<int>(strip.deviceIndependentSize().width()) / width;
    for (int i = 0; i < count; ++i) {
        QPixmap image
            = strip.copy(QRect(qRound(i * width * r), 0, qRound(width * r), qRound(height * r)));
        image.setDevicePixelRatio(r);
        images.push_back(image);
    }
    return images;
}

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(IconPicture(size));
    return icon;
}

} // namespace vendrix
