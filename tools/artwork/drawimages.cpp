// Draws every image the window loads from ":/images/..." and the .qrc that
// lists them. The artwork lives here as code so a colour or a glyph can be
// changed in one place and the whole set redrawn consistently.

#include <QDir>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSaveFile>
#include <QtMath>

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <tuple>
#include <vector>

namespace {

const QColor kPrimary(0x4A, 0x78, 0xB5);
const QColor kHighlight(157, 181, 212); // sidebar row under the white glyphs
const QColor kSidebar(227, 234, 239);
const QColor kSlate(0x3C, 0x4A, 0x5C);
const QColor kSent(0x4C, 0xB0, 0x50);
const QColor kReceived(0xE5, 0xE5, 0xEA);
const QColor kPale(0xDF, 0xE8, 0xF4);
const QColor kPaper(0xA9, 0xB6, 0xC6);

constexpr qreal kStroke = 1.7;

// ---------------------------------------------------------------------------
// Shape helpers. Glyphs are drawn in a 24x24 box in opaque black; drawGlyph()
// scales and tints them, so one glyph serves every size and colour.

using Glyph = void (*)(QPainter &);

QPen ink(qreal width = kStroke, const QColor &color = Qt::black)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void stroke(QPainter &p, const QPainterPath &path, qreal width = kStroke, const QColor &color = Qt::black)
{
    p.strokePath(path, ink(width, color));
}

void fill(QPainter &p, const QPainterPath &path, const QBrush &brush = Qt::black)
{
    p.fillPath(path, brush);
}

// Erases what lies under a shape, so overlapping parts of a glyph stay
// separated by a gap instead of merging into a blob at small sizes.
void punch(QPainter &p, const QPainterPath &path, qreal halo = 0)
{
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.fillPath(path, Qt::black);
    if (halo > 0)
        p.strokePath(path, ink(halo));
    p.restore();
}

QPainterPath rounded(qreal x, qreal y, qreal w, qreal h, qreal r)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(x, y, w, h), r, r);
    return path;
}

QPainterPath disc(qreal cx, qreal cy, qreal r)
{
    QPainterPath path;
    path.addEllipse(QPointF(cx, cy), r, r);
    return path;
}

QPainterPath poly(std::initializer_list<QPointF> points, bool closed = false)
{
    QPainterPath path;
    for (const QPointF &pt : points)
        path.elementCount() == 0 ? path.moveTo(pt) : path.lineTo(pt);
    if (closed)
        path.closeSubpath();
    return path;
}

QPainterPath seg(qreal x1, qreal y1, qreal x2, qreal y2)
{
    return poly({{x1, y1}, {x2, y2}});
}

QPainterPath triangle(QPointF tip, QPointF dir, qreal size)
{
    const QPointF n(-dir.y(), dir.x());
    return poly({tip, tip - dir * size + n * size * 0.62, tip - dir * size - n * size * 0.62}, true);
}

void arrow(QPainter &p, QPointF from, QPointF to, qreal width, qreal head, const QColor &color = Qt::black)
{
    QPointF dir = to - from;
    dir /= std::hypot(dir.x(), dir.y());
    stroke(p, poly({from, to - dir * head * 0.7}), width, color);
    fill(p, triangle(to, dir, head), color);
}

// Angles count as QPainterPath::arcTo counts them: degrees, counter-clockwise
// from three o'clock.
void arcArrow(QPainter &p, QPointF c, qreal r, qreal start, qreal span, qreal width, qreal head,
              const QColor &color = Qt::black)
{
    const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
    const qreal sign = span < 0 ? -1 : 1;
    const qreal trim = qRadiansToDegrees(head * 0.6 / r) * sign;
    QPainterPath arc;
    arc.arcMoveTo(box, start);
    arc.arcTo(box, start, span - trim);
    stroke(p, arc, width, color);
    const qreal a = qDegreesToRadians(start + span);
    const QPointF tip = c + QPointF(std::cos(a), -std::sin(a)) * r;
    fill(p, triangle(tip, QPointF(-std::sin(a), -std::cos(a)) * sign, head), color);
}

QPainterPath folderShape(qreal x, qreal y, qreal w, qreal h)
{
    const qreal tab = h * 0.28;
    return poly({{x, y + h}, {x, y}, {x + w * 0.38, y}, {x + w * 0.5, y + tab}, {x + w, y + tab}, {x + w, y + h}},
                true);
}

QPainterPath bubbleShape(qreal x, qreal y, qreal w, qreal h)
{
    const qreal bottom = y + h;
    const QPainterPath tail = poly({{x + 3, bottom - 2}, {x + 2.5, bottom + 4.5}, {x + 9, bottom - 0.5}}, true);
    return rounded(x, y, w, h, h * 0.34).united(tail);
}

QPainterPath sparkle(qreal cx, qreal cy, qreal r)
{
    QPainterPath path(QPointF(cx, cy - r));
    for (const QPointF &to : {QPointF(cx + r, cy), QPointF(cx, cy + r), QPointF(cx - r, cy), QPointF(cx, cy - r)})
        path.quadTo(QPointF(cx, cy), to);
    return path;
}

// ---------------------------------------------------------------------------
// Glyphs, 24x24 box.

void phoneInfo(QPainter &p)
{
    stroke(p, rounded(6, 2, 12, 20, 2.6));
    stroke(p, seg(10.8, 4.7, 13.2, 4.7), 1.2);
    fill(p, disc(12, 9.3, 1.3));
    stroke(p, seg(12, 12.3, 12, 17.6), 2);
}

void folderTree(QPainter &p)
{
    fill(p, folderShape(2.5, 2.5, 9, 6.8));
    stroke(p, poly({{5.2, 9}, {5.2, 19.2}, {10, 19.2}}), 1.5);
    stroke(p, seg(5.2, 12.9, 10, 12.9), 1.5);
    fill(p, folderShape(11, 9.8, 10.5, 6.2));
    fill(p, folderShape(11, 16.2, 10.5, 6.2));
}

void appGrid(QPainter &p)
{
    for (qreal x : {3.0, 13.0})
        for (qreal y : {3.0, 13.0})
            fill(p, rounded(x, y, 8, 8, 2.2));
}

void photo(QPainter &p)
{
    const QPainterPath frame = rounded(2.5, 4.5, 19, 15, 2.5);
    stroke(p, frame);
    fill(p, disc(16, 9.6, 1.9));
    fill(p,
         poly({{2.5, 18}, {8.5, 11.2}, {13, 15.8}, {15.6, 13.4}, {21.5, 18.8}, {21.5, 19.5}, {2.5, 19.5}}, true)
             .intersected(frame));
}

void musicNote(QPainter &p)
{
    fill(p, poly({{8.6, 4.6}, {20.4, 2.2}, {20.4, 5.4}, {8.6, 7.8}}, true));
    fill(p, rounded(8.6, 5, 1.8, 12.5, 0.4));
    fill(p, rounded(18.6, 3, 1.8, 12.5, 0.4));
    for (const QPointF c : {QPointF(6.9, 17.6), QPointF(16.9, 15.6)})
        fill(p, QTransform().translate(c.x(), c.y()).rotate(-22).scale(1.375, 1).map(disc(0, 0, 2.4)));
}

void film(QPainter &p)
{
    fill(p, rounded(3, 3, 18, 18, 2.5));
    for (qreal y : {4.8, 10.6, 16.4}) {
        punch(p, rounded(4.6, y, 2.4, 2.8, 0.6));
        punch(p, rounded(17, y, 2.4, 2.8, 0.6));
    }
    punch(p, rounded(8.6, 4.6, 6.8, 14.8, 1));
    fill(p, poly({{10.6, 9.2}, {10.6, 14.8}, {14.6, 12}}, true));
}

void trashCan(QPainter &p)
{
    stroke(p, seg(3.5, 6, 20.5, 6));
    stroke(p, poly({{9.3, 6}, {9.3, 3.2}, {14.7, 3.2}, {14.7, 6}}));
    stroke(p, poly({{5.8, 6.5}, {7, 21}, {17, 21}, {18.2, 6.5}}));
    stroke(p, seg(10, 10, 10.2, 17.5), 1.4);
    stroke(p, seg(14, 10, 13.8, 17.5), 1.4);
}

void diskStack(QPainter &p)
{
    const qreal x = 4.5, w = 15, h = 5.5;
    QPainterPath body;
    body.addEllipse(QRectF(x, 2.8, w, h));
    body.moveTo(x, 5.55);
    body.lineTo(x, 18.25);
    body.arcTo(QRectF(x, 15.5, w, h), 180, 180);
    body.lineTo(x + w, 5.55);
    for (qreal y : {7.6, 11.8}) {
        body.arcMoveTo(QRectF(x, y, w, h), 180);
        body.arcTo(QRectF(x, y, w, h), 180, 180);
    }
    stroke(p, body);
}

void cookie(QPainter &p)
{
    stroke(p, disc(12, 12.5, 9).subtracted(disc(19.8, 4.8, 4.4)));
    for (const auto &[x, y, r] : {std::tuple{8.3, 9.6, 1.35}, {13.2, 14.6, 1.35}, {7.9, 16.2, 1.15}, {13.4, 8.6, 1.1},
                                  {17.4, 15.4, 1.1}})
        fill(p, disc(x, y, r));
}

void syncBroken(QPainter &p)
{
    // The arcs leave gaps where the slash crosses the circle.
    arcArrow(p, {12, 12}, 7.6, 62, 140, kStroke, 4.2);
    arcArrow(p, {12, 12}, 7.6, 242, 140, kStroke, 4.2);
    const QPainterPath slash = seg(4, 20, 20, 4);
    punch(p, slash, 4.6);
    stroke(p, slash);
}

void phoneIntoBox(QPainter &p)
{
    stroke(p, rounded(3, 1.8, 8, 12, 1.8));
    stroke(p, seg(6, 11, 8, 11), 1.1);
    arrow(p, {17, 2}, {17, 12.4}, kStroke, 4);
    stroke(p, poly({{3, 14.6}, {3, 21.2}, {21, 21.2}, {21, 14.6}}));
    stroke(p, poly({{3, 15.6}, {7.8, 15.6}, {9.2, 18}, {14.8, 18}, {16.2, 15.6}, {21, 15.6}}), 1.4);
}

void boxWithMagnifier(QPainter &p)
{
    stroke(p, rounded(2.5, 3.5, 15, 4.5, 1));
    stroke(p, poly({{3.8, 8}, {3.8, 17.5}, {16.2, 17.5}, {16.2, 8}}));
    stroke(p, seg(8, 11.2, 12, 11.2));
    punch(p, disc(16, 15.5, 6.4));
    stroke(p, disc(16, 15.5, 4));
    stroke(p, seg(18.8, 18.3, 21.8, 21.3), 2.4);
}

// Head and shoulders; the outline variant sits a little inside the box so
// its stroke lands where the solid one's edge does.
QPainterPath personShape(qreal side, qreal shoulder, qreal bottom, qreal headY, qreal head)
{
    QPainterPath path = disc(12, headY, head);
    path.moveTo(side, bottom);
    path.cubicTo(side, bottom - 5, 12 - (12 - side) * 0.55, shoulder, 12, shoulder);
    path.cubicTo(12 + (12 - side) * 0.55, shoulder, 24 - side, bottom - 5, 24 - side, bottom);
    path.closeSubpath();
    return path;
}

void person(QPainter &p)
{
    stroke(p, personShape(4, 14.2, 21.2, 7.6, 4.3));
}

void personSolid(QPainter &p)
{
    fill(p, personShape(3, 13.6, 22, 7.4, 4.8));
}

void speechBubble(QPainter &p)
{
    stroke(p, bubbleShape(2.5, 3.5, 19, 13.5));
    for (qreal x : {8.0, 12.0, 16.0})
        fill(p, disc(x, 10.25, 1.25));
}

void notePage(QPainter &p)
{
    stroke(p, poly({{14.5, 2.5}, {5, 2.5}, {5, 21.5}, {19, 21.5}, {19, 7}, {14.5, 2.5}, {14.5, 7}, {19, 7}}));
    for (const auto &[y, len] : {std::pair{11.0, 8.0}, {14.5, 8.0}, {18.0, 5.0}})
        stroke(p, seg(8.3, y, 8.3 + len, y), 1.4);
}

void handset(QPainter &p)
{
    // Drawn lying on its back and turned so the handle runs along the
    // lower left, as the familiar call symbol has it.
    p.save();
    p.setTransform(QTransform().translate(12, 12).rotate(-135).translate(-12, -12), true);
    QPainterPath handle(QPointF(5.5, 12.5));
    handle.cubicTo(8, 7.2, 16, 7.2, 18.5, 12.5);
    stroke(p, handle, 3.6);
    fill(p, QTransform().translate(5.2, 14).rotate(-28).map(rounded(-3, -2.6, 6, 5.2, 1.8)));
    fill(p, QTransform().translate(18.8, 14).rotate(28).map(rounded(-3, -2.6, 6, 5.2, 1.8)));
    p.restore();
}

void bookmarkBook(QPainter &p)
{
    QPainterPath pages(QPointF(12, 6.5));
    pages.cubicTo(9.5, 4.6, 6, 4.1, 2.5, 4.6);
    pages.lineTo(2.5, 19);
    pages.cubicTo(6, 18.6, 9.5, 19.1, 12, 20.8);
    pages.cubicTo(14.5, 19.1, 18, 18.6, 21.5, 19);
    pages.lineTo(21.5, 4.6);
    pages.cubicTo(18, 4.1, 14.5, 4.6, 12, 6.5);
    pages.lineTo(12, 20.8);
    stroke(p, pages);
    fill(p, poly({{15, 4.6}, {15, 12.4}, {16.6, 11}, {18.2, 12.4}, {18.2, 4.3}}, true));
}

void calendar(QPainter &p)
{
    const QPainterPath sheet = rounded(3, 4.5, 18, 16.5, 2.2);
    stroke(p, sheet);
    fill(p, sheet.intersected(rounded(3, 4.5, 18, 4.8, 0)));
    for (qreal x : {8.0, 16.0}) {
        punch(p, seg(x, 2.2, x, 6.6), 3.8);
        stroke(p, seg(x, 2.2, x, 6.6));
    }
    for (qreal y : {12.2, 16.4})
        for (qreal x : {6.4, 10.9, 15.4})
            fill(p, rounded(x, y, 2.2, 2.2, 0.4));
}

void twoBubbles(QPainter &p)
{
    stroke(p, rounded(9, 2.5, 12.5, 10, 3.4));
    const QPainterPath front = bubbleShape(2.5, 11.5, 11, 8.5);
    punch(p, front, 3.4);
    fill(p, front);
}

// The broom stands upright in the box and is turned by the caller's
// transform; the bristle gaps are returned apart so they can be cut out.
QPainterPath broomShape(const QTransform &place, QPainterPath *gaps)
{
    QPainterPath solid = rounded(11.1, 0.5, 1.8, 11, 0.9).united(rounded(8, 11, 8, 2.4, 0.8));
    QPainterPath bristles(QPointF(8.3, 13.9));
    bristles.lineTo(15.7, 13.9);
    bristles.lineTo(18, 21.6);
    bristles.quadTo(12, 23, 6, 21.6);
    bristles.closeSubpath();
    solid = solid.united(bristles);
    QPainterPathStroker thin;
    thin.setWidth(0.9);
    thin.setCapStyle(Qt::RoundCap);
    for (const auto &[top, bottom] : {std::pair{10.2, 9.0}, {12.0, 12.0}, {13.8, 15.0}})
        *gaps = gaps->united(place.map(thin.createStroke(seg(top, 16.4, bottom, 23))));
    return place.map(solid);
}

void cleanCloud(QPainter &p)
{
    const QPainterPath puffs = disc(5.4, 11.7, 4.2).united(disc(10.6, 7.5, 5.9)).united(disc(15.3, 11.2, 4.7));
    fill(p, puffs.united(rounded(5.4, 10.7, 10, 5.2, 0)));
    QPainterPath gaps;
    const QPainterPath broom
        = broomShape(QTransform().translate(15.5, 14.5).rotate(35).scale(0.8, 0.8).translate(-12, -12), &gaps);
    // The cloud is cut back around the broom so the two stay apart.
    punch(p, broom, 2.8);
    fill(p, broom);
    punch(p, gaps);
    fill(p, sparkle(20.5, 3.8, 2.6));
    fill(p, sparkle(3.6, 19.5, 2));
}

void usbToPhone(QPainter &p)
{
    stroke(p, rounded(13, 2, 8.5, 14.5, 1.8));
    stroke(p, seg(16, 13.8, 18.5, 13.8), 1.1);
    fill(p, rounded(2.5, 8.6, 6.5, 6.6, 1));
    fill(p, rounded(3.8, 5.6, 1.4, 3.4, 0.3));
    fill(p, rounded(6.3, 5.6, 1.4, 3.4, 0.3));
    fill(p, rounded(4.8, 15, 1.9, 2.2, 0.3));
    QPainterPath cable(QPointF(5.75, 17));
    cable.cubicTo(5.75, 22.8, 17.25, 22.8, 17.25, 17.2);
    stroke(p, cable, 1.5);
}

void phoneOutline(QPainter &p)
{
    stroke(p, rounded(7, 1.5, 10, 21, 2.2), 1.4);
    stroke(p, seg(10.6, 3.8, 13.4, 3.8), 1);
    stroke(p, disc(12, 19.9, 1), 0.9);
}

void tabletOutline(QPainter &p)
{
    stroke(p, rounded(4, 1.5, 16, 21, 2), 1.4);
    fill(p, disc(12, 3.5, 0.55));
    stroke(p, disc(12, 20.2, 0.9), 0.9);
}

void tick(QPainter &p)
{
    stroke(p, poly({{5.5, 12.5}, {10, 17}, {18.5, 7.5}}), 3);
}

void dash(QPainter &p)
{
    stroke(p, seg(6.5, 12, 17.5, 12), 3);
}

void playBadge(QPainter &p)
{
    fill(p, disc(12, 12, 10));
    punch(p, poly({{9.4, 7}, {9.4, 17}, {17.4, 12}}, true));
}

// Renders a glyph on a layer of its own so its cut-outs only cut the glyph,
// then tints the layer and lays it on what is already painted.
void drawGlyph(QPainter &p, const QRectF &box, Glyph glyph, const QColor &color)
{
    QImage layer(p.device()->width(), p.device()->height(), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter lp(&layer);
        lp.setRenderHint(QPainter::Antialiasing);
        lp.setTransform(p.transform());
        lp.translate(box.topLeft());
        lp.scale(box.width() / 24, box.height() / 24);
        glyph(lp);
        lp.resetTransform();
        lp.setCompositionMode(QPainter::CompositionMode_SourceIn);
        lp.fillRect(layer.rect(), color);
    }
    p.save();
    p.resetTransform();
    p.drawImage(0, 0, layer);
    p.restore();
}

// ---------------------------------------------------------------------------
// Larger pieces.

QLinearGradient vertical(qreal top, qreal bottom, const QColor &from, const QColor &to)
{
    QLinearGradient g(0, top, 0, bottom);
    g.setColorAt(0, from);
    g.setColorAt(1, to);
    return g;
}

using Painter = std::function<void(QPainter &)>;

// Backgrounds get stretched by the window, so they are plain gradients with
// at most a one-pixel edge that survives the stretching.
Painter strip(const QColor &top, const QColor &bottom, const QColor &edge, bool lineAtTop)
{
    return [=](QPainter &p) {
        const int w = p.device()->width(), h = p.device()->height();
        p.fillRect(QRectF(0, 0, w, h), vertical(0, h, top, bottom));
        p.fillRect(QRectF(0, lineAtTop ? 0 : h - 1, w, 1), edge);
    };
}

Painter panel(qreal radius, const QColor &top, const QColor &bottom, const QColor &edge)
{
    return [=](QPainter &p) {
        const int w = p.device()->width(), h = p.device()->height();
        const QPainterPath shape = rounded(0.5, 0.5, w - 1, h - 1, radius);
        fill(p, shape, vertical(0, h, top, bottom));
        stroke(p, shape, 1, edge);
    };
}

void text(QPainter &p, const QRectF &box, const QString &label, const QColor &color, int pixels, bool bold)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(bold);
    // Long captions step the size down rather than being clipped.
    for (; pixels > 7; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetricsF(font).horizontalAdvance(label) <= box.width())
            break;
    }
    p.setFont(font);
    p.setPen(color);
    p.drawText(box, Qt::AlignCenter, label);
}

void homeTile(QPainter &p, int hue, Glyph glyph, const QString &caption, bool pressed)
{
    const QColor base = QColor::fromHslF(hue / 360.0, 0.50, pressed ? 0.43 : 0.53);
    QRectF r(3, 2, 104, 104);
    if (pressed)
        r.adjust(2, 2, -2, -2);
    else
        fill(p, rounded(r.x(), r.y() + 1.5, r.width(), r.height(), 20), QColor(0, 0, 0, 45));
    const QPainterPath shape = rounded(r.x(), r.y(), r.width(), r.height(), 20);
    fill(p, shape, vertical(r.top(), r.bottom(), base.lighter(pressed ? 108 : 118), base.darker(pressed ? 112 : 106)));
    if (pressed) {
        // A shadow along the top edge reads as the tile being pushed in.
        p.save();
        p.setClipPath(shape);
        p.fillRect(QRectF(r.left(), r.top(), r.width(), 8),
                   vertical(r.top(), r.top() + 8, QColor(0, 0, 0, 60), Qt::transparent));
        p.restore();
    }
    stroke(p, shape, 1, base.darker(130));
    const qreal g = pressed ? 48 : 52;
    drawGlyph(p, QRectF(55 - g / 2, r.top() + (pressed ? 13 : 12), g, g), glyph, Qt::white);
    text(p, QRectF(r.left() + 6, r.bottom() - 30, r.width() - 12, 22), caption, Qt::white, pressed ? 12 : 13, true);
}

void categoryButton(QPainter &p, Glyph glyph, bool on)
{
    if (on) {
        fill(p, rounded(0.5, 0.5, 27, 27, 6), kPale);
        stroke(p, rounded(0.5, 0.5, 27, 27, 6), 1, kHighlight);
    }
    drawGlyph(p, QRectF(4, 4, 20, 20), glyph, on ? kPrimary : kSlate);
}

void checkBox(QPainter &p, Glyph mark)
{
    const QPainterPath box = rounded(1.5, 1.5, 13, 13, 3);
    if (!mark) {
        fill(p, box, Qt::white);
        stroke(p, box, 1, QColor(0x8A, 0x9B, 0xB0));
        return;
    }
    fill(p, box, vertical(1.5, 14.5, kPrimary.lighter(112), kPrimary.darker(108)));
    stroke(p, box, 1, kPrimary.darker(125));
    drawGlyph(p, QRectF(2, 2, 12, 12), mark, Qt::white);
}

void pushButton(QPainter &p, const QString &label)
{
    const QPainterPath shape = rounded(0.5, 0.5, 89, 27, 6);
    fill(p, shape, vertical(0, 28, QColor(0x5E, 0x8C, 0xCA), QColor(0x41, 0x6E, 0xAA)));
    stroke(p, shape, 1, QColor(0x36, 0x5F, 0x97));
    text(p, QRectF(0, 0, 90, 27), label, Qt::white, 13, true);
}

void steps(QPainter &p, int current)
{
    stroke(p, seg(20, 12, 220, 12), 2, kHighlight);
    for (int i = 0; i < 3; ++i) {
        const qreal cx = 20 + 100 * i;
        const bool here = i == current;
        fill(p, disc(cx, 12, 10.5), here ? kPrimary : Qt::white);
        stroke(p, disc(cx, 12, 10.5), 1.2, here ? kPrimary.darker(115) : kHighlight);
        text(p, QRectF(cx - 10, 2, 20, 20), QString::number(i + 1), here ? Qt::white : kPrimary, 12, true);
    }
}

// A file page with a folded corner; icons for file types put their mark on it.
void page(QPainter &p, const QRectF &r, qreal fold, qreal line)
{
    const QPainterPath sheet = poly(
        {r.topLeft(), {r.right() - fold, r.top()}, {r.right(), r.top() + fold}, r.bottomRight(), r.bottomLeft()}, true);
    fill(p, sheet, vertical(r.top(), r.bottom(), Qt::white, QColor(0xEE, 0xF2, 0xF7)));
    stroke(p, sheet, line, kPaper);
    const QPainterPath corner
        = poly({{r.right() - fold, r.top()}, {r.right() - fold, r.top() + fold}, {r.right(), r.top() + fold}}, true);
    fill(p, corner, QColor(0xDC, 0xE3, 0xEC));
    stroke(p, corner, line, kPaper);
}

void phoneBody(QPainter &p, const QRectF &r)
{
    const qreal radius = r.width() * 0.16;
    fill(p, rounded(r.x(), r.y(), r.width(), r.height(), radius),
         vertical(r.top(), r.bottom(), kSlate.lighter(125), kSlate));
    const QRectF screen = r.adjusted(r.width() * 0.08, r.height() * 0.1, -r.width() * 0.08, -r.height() * 0.1);
    fill(p, rounded(screen.x(), screen.y(), screen.width(), screen.height(), 2),
         vertical(screen.top(), screen.bottom(), QColor(0xE4, 0xEE, 0xF9), kHighlight));
    const qreal cx = r.center().x();
    stroke(p, seg(cx - r.width() * 0.1, r.top() + r.height() * 0.05, cx + r.width() * 0.1, r.top() + r.height() * 0.05),
           r.width() * 0.04, kSlate.lighter(170));
    stroke(p, disc(cx, r.bottom() - r.height() * 0.05, r.width() * 0.06), r.width() * 0.025, kSlate.lighter(170));
}

void helpPanel(QPainter &p)
{
    panel(14, QColor(0xF6, 0xF9, 0xFC), QColor(0xE7, 0xEE, 0xF7), QColor(0xD3, 0xDE, 0xEB))(p);
}

void helpRestart(QPainter &p)
{
    helpPanel(p);
    arcArrow(p, {200, 110}, 88, 105, -318, 7, 20, kPrimary);
    phoneBody(p, QRectF(170, 50, 60, 120));
    // A power symbol on the screen says "switch it off and on".
    QPainterPath ring;
    ring.arcMoveTo(QRectF(186, 96, 28, 28), 122);
    ring.arcTo(QRectF(186, 96, 28, 28), 122, 296);
    stroke(p, ring, 3.5, kPrimary);
    stroke(p, seg(200, 91, 200, 109), 3.5, kPrimary);
}

void helpConnect(QPainter &p)
{
    helpPanel(p);
    QPainterPath cable(QPointF(85, 168));
    cable.cubicTo(85, 205, 190, 205, 212, 162);
    stroke(p, cable, 4, QColor(0x7A, 0x87, 0x97));
    fill(p, rounded(80, 160, 10, 12, 2), kSlate);
    phoneBody(p, QRectF(58, 62, 54, 100));
    // Laptop: lid, screen and a base drawn a little wider than the lid.
    fill(p, rounded(222, 48, 134, 92, 7), vertical(48, 140, kSlate.lighter(125), kSlate));
    fill(p, rounded(230, 56, 118, 76, 2), vertical(56, 132, QColor(0xE4, 0xEE, 0xF9), kHighlight));
    const QPainterPath base = poly({{214, 140}, {364, 140}, {378, 156}, {200, 156}}, true);
    fill(p, base, vertical(140, 156, QColor(0xD5, 0xDD, 0xE7), QColor(0xAE, 0xBB, 0xCA)));
    stroke(p, base, 1, QColor(0x8C, 0x9A, 0xAB));
    stroke(p, seg(272, 144, 306, 144), 2, QColor(0x8C, 0x9A, 0xAB));
    drawGlyph(p, QRectF(265, 68, 48, 48), diskStack, kPrimary);
    QPainterPath flow(QPointF(122, 74));
    flow.quadTo(170, 22, 220, 60);
    stroke(p, flow, 7, kPrimary);
    fill(p, triangle({238, 74}, QPointF(0.79, 0.61), 22), kPrimary);
}

void helpScan(QPainter &p)
{
    helpPanel(p);
    const QPainterPath sheet = rounded(70, 26, 200, 170, 8);
    fill(p, sheet, Qt::white);
    stroke(p, sheet, 1.2, QColor(0xC4, 0xD0, 0xDE));
    for (int i = 0; i < 5; ++i) {
        const qreal y = 40 + i * 30;
        if (i == 2)
            fill(p, rounded(76, y - 4, 188, 28, 4), kPale);
        fill(p, rounded(84, y, 20, 20, 4), i == 2 ? kPrimary : kHighlight);
        fill(p, rounded(114, y + 3, 110 - (i % 2) * 30, 5, 2.5), QColor(0xB3, 0xC0, 0xD0));
        fill(p, rounded(114, y + 12, 70 + (i % 3) * 12, 4, 2), QColor(0xD5, 0xDD, 0xE7));
    }
    fill(p, disc(232, 112, 40), QColor(255, 255, 255, 110));
    stroke(p, disc(232, 112, 40), 9, kSlate);
    stroke(p, seg(262, 142, 300, 180), 16, kSlate);
    arcArrow(p, {340, 62}, 26, 100, -150, 6, 16, kPrimary);
    arcArrow(p, {340, 62}, 26, 280, -150, 6, 16, kPrimary);
}

// The bubble is drawn whole and cut into nine pieces, so the pieces meet
// without seams. The body keeps its corners inside the corner pieces and
// the tail below the middle row, which leaves the one-pixel middle row and
// column uniform and safe to stretch.
QImage bubble(bool sent)
{
    QImage whole(38, 34, QImage::Format_ARGB32_Premultiplied);
    whole.fill(Qt::transparent);
    QPainter p(&whole);
    p.setRenderHint(QPainter::Antialiasing);
    if (sent) {
        p.translate(38, 0);
        p.scale(-1, 1);
    }
    QPainterPath body = rounded(6, 0, 32, 34, 12);
    QPainterPath tail(QPointF(6, 19));
    tail.cubicTo(6, 27, 4, 31, 0.3, 33.7);
    tail.cubicTo(4.5, 34, 9, 33.8, 14, 32.6);
    tail.lineTo(14, 19);
    tail.closeSubpath();
    fill(p, body.united(tail), sent ? kSent : kReceived);
    return whole;
}

void bubblePiece(QPainter &p, bool sent, int column, int row)
{
    const int left = sent ? 17 : 20;
    const int xs[] = {0, left, left + 1, 38};
    const int ys[] = {0, 16, 17, 34};
    const QRect from(QPoint(xs[column], ys[row]), QPoint(xs[column + 1] - 1, ys[row + 1] - 1));
    p.drawImage(QPointF(0, 0), bubble(sent), from);
}

void appIcon(QPainter &p)
{
    // Upper shell: a ribbed fan hinged behind the pearl.
    const QPointF hinge(128, 160);
    const int lobes = 7;
    const auto at = [&](qreal step, qreal radius) {
        const qreal a = qDegreesToRadians(165.0 - 150.0 * step / lobes);
        return hinge + QPointF(std::cos(a), -std::sin(a)) * radius;
    };
    QPainterPath fan(hinge);
    fan.lineTo(at(0, 112));
    for (int i = 1; i <= lobes; ++i)
        fan.quadTo(at(i - 0.5, 128), at(i, 112));
    fan.closeSubpath();
    QRadialGradient shine(hinge, 130);
    shine.setColorAt(0, kPrimary.darker(110));
    shine.setColorAt(1, kHighlight.lighter(108));
    fill(p, fan, shine);
    for (int i = 1; i < lobes; ++i)
        stroke(p, poly({at(i, 30), at(i, 108)}), 3, QColor(255, 255, 255, 90));
    stroke(p, fan, 3, kPrimary.darker(135));
    // Open mouth of the lower shell, the pearl resting in it, then the lip.
    fill(p, QTransform().translate(128, 162).scale(1, 52.0 / 188).map(disc(0, 0, 94)), QColor(0x2A, 0x45, 0x6E));
    QRadialGradient pearl(QPointF(116, 128), 46);
    pearl.setColorAt(0, Qt::white);
    pearl.setColorAt(0.55, QColor(0xEA, 0xF0, 0xF8));
    pearl.setColorAt(1, QColor(0xB7, 0xC8, 0xDF));
    fill(p, disc(128, 142, 34), pearl);
    fill(p, disc(116, 128, 8), QColor(255, 255, 255, 200));
    QPainterPath shell(QPointF(22, 160));
    shell.cubicTo(34, 176, 222, 176, 234, 160);
    shell.cubicTo(228, 214, 176, 240, 128, 240);
    shell.cubicTo(80, 240, 28, 214, 22, 160);
    fill(p, shell, vertical(160, 240, kPrimary.lighter(115), kPrimary.darker(140)));
    stroke(p, shell, 3, kPrimary.darker(150));
    for (qreal x : {76.0, 128.0, 180.0})
        stroke(p, seg(x, 178, x + (x - 128) * 0.15, 228), 3, QColor(255, 255, 255, 70));
}

// ---------------------------------------------------------------------------
// The table of images.

struct Picture {
    QString name;
    QSize size;
    Painter paint;
};

Painter glyphOnly(Glyph glyph, const QColor &color, int size)
{
    return [=](QPainter &p) { drawGlyph(p, QRectF(0, 0, size, size), glyph, color); };
}

std::vector<Picture> pictures()
{
    std::vector<Picture> list;
    auto add = [&](const QString &name, int w, int h, Painter paint) {
        list.push_back({name, {w, h}, std::move(paint)});
    };

    const struct {
        const char *normal, *highlighted;
        Glyph glyph;
    } sidebar[] = {
        {"iDeviceStartup01", "iDeviceStartup02", phoneInfo}, {"SystemLibrary01", "SystemLibrary02", folderTree},
        {"app01", "app02", appGrid}, {"photos01", "photos02", photo},
        {"music01", "music02", musicNote}, {"videos01", "videos02", film},
        {"TempJunkFiles01", "TempJunkFiles02", trashCan}, {"CacheFiles01", "CacheFiles02", diskStack},
        {"CookiesScriptFiles01", "CookiesScriptFiles02", cookie},
        {"SyncfailedMedia01", "SyncfailedMedia02", syncBroken},
        {"BackupiDevice01", "BackupiDevice02", phoneIntoBox}, {"BackupBroswer01", "BackupBroswer02", boxWithMagnifier},
        {"transContactNom", "transContactDown", person}, {"transMessageNom", "transMessageDown", speechBubble},
        {"transNoteNom", "transNoteDown", notePage}, {"ConnectDevice01", "ConnectDevice02", usbToPhone},
    };
    for (const auto &row : sidebar) {
        add(QLatin1String(row.normal), 24, 24, glyphOnly(row.glyph, kSlate, 24));
        add(QLatin1String(row.highlighted), 24, 24, glyphOnly(row.glyph, Qt::white, 24));
    }

    const struct {
        const char *name, *caption;
        int hue;
        Glyph glyph;
    } tiles[] = {
        {"photos", "Photos", 208, photo}, {"musicBtn", "Music", 330, musicNote},
        {"apps", "Apps", 262, appGrid}, {"videos", "Videos", 6, film},
        {"filesystem", "File System", 32, folderTree}, {"contactBtn", "Contacts", 178, personSolid},
        {"Messages", "Messages", 128, speechBubble}, {"Notes", "Notes", 42, notePage},
        {"itunesbackup", "Backup Browser", 228, boxWithMagnifier}, {"icloudbackup", "Cleaner", 192, cleanCloud},
    };
    for (const auto &tile : tiles) {
        for (bool pressed : {false, true}) {
            const QString name
                = QLatin1String(tile.name) + (pressed ? QStringLiteral("_Down.png") : QStringLiteral(".png"));
            add(name, 110, 110, [tile, pressed](QPainter &p) {
                homeTile(p, tile.hue, tile.glyph, QLatin1String(tile.caption), pressed);
            });
        }
    }

    add("bottom", 849, 40, strip(QColor(0xF5, 0xF7, 0xF9), QColor(0xE4, 0xE8, 0xED), QColor(0xC8, 0xD0, 0xD9), true));
    add("leftground", 200, 560, [](QPainter &p) {
        p.fillRect(QRect(0, 0, 200, 560), vertical(0, 560, kSidebar.lighter(103), kSidebar.darker(103)));
        p.fillRect(QRect(199, 0, 1, 560), QColor(0xC4, 0xCF, 0xDA));
    });
    add("topGround", 849, 64, [](QPainter &p) {
        p.fillRect(QRect(0, 0, 849, 64), vertical(0, 64, QColor(0x62, 0x8F, 0xCA), QColor(0x3D, 0x69, 0xA4)));
        p.fillRect(QRect(0, 0, 849, 1), QColor(0x8A, 0xAE, 0xDC));
        p.fillRect(QRect(0, 63, 849, 1), QColor(0x30, 0x55, 0x88));
    });
    add("bottomGroundImage", 849, 40,
        strip(QColor(0xEA, 0xEF, 0xF5), QColor(0xD9, 0xE2, 0xEC), QColor(0xB9, 0xC6, 0xD5), true));
    add("whiteimg", 32, 32, [](QPainter &p) { p.fillRect(QRect(0, 0, 32, 32), Qt::white); });
    add("cutImage", 32, 32, strip(QColor(0xFB, 0xFC, 0xFD), QColor(0xF2, 0xF5, 0xF8), QColor(0xDB, 0xE2, 0xEA), false));
    add("progressGorund", 640, 70,
        panel(10, QColor(0xF7, 0xF9, 0xFC), QColor(0xEC, 0xF1, 0xF7), QColor(0xD3, 0xDD, 0xE8)));
    add("backgroundlog", 220, 34,
        panel(16.5, QColor(0xEA, 0xF1, 0xFA), QColor(0xD9, 0xE5, 0xF4), QColor(0xB4, 0xC8, 0xE2)));

    add("iphone", 32, 32, glyphOnly(phoneOutline, kSlate, 32));
    add("ipad", 32, 32, glyphOnly(tabletOutline, kSlate, 32));
    add("unselected", 16, 16, [](QPainter &p) { checkBox(p, nullptr); });
    add("selected", 16, 16, [](QPainter &p) { checkBox(p, tick); });
    add("selectedSome", 16, 16, [](QPainter &p) { checkBox(p, dash); });

    const struct {
        const char *normal, *on;
        Glyph glyph;
    } categories[] = {
        {"phone&videoNom", "phone&videoOn", photo}, {"contactNom", "contactOn", person},
        {"messageNom", "messageOn", speechBubble}, {"noteNom", "noteOn", notePage},
        {"callNom", "callOn", handset}, {"Safari-BookMarkNom", "Safari-BookMarkOn", bookmarkBook},
        {"CalendarReminderNom", "CalendarReminderOn", calendar},
        {"TwitterFaceBookNom", "TwitterFaceBookOn", twoBubbles},
        {"backupborswerNom", "backupborswerDown", folderTree},
    };
    for (const auto &row : categories) {
        add(QLatin1String(row.normal), 28, 28, [row](QPainter &p) { categoryButton(p, row.glyph, false); });
        add(QLatin1String(row.on), 28, 28, [row](QPainter &p) { categoryButton(p, row.glyph, true); });
    }

    add("firstSteppic", 400, 220, helpRestart);
    add("secondStepPic", 400, 220, helpConnect);
    add("thirdSteppic", 400, 220, helpScan);
    const char *stepNames[] = {"firstStep", "secondStep", "thirdStep"};
    for (int i = 0; i < 3; ++i)
        add(QLatin1String(stepNames[i]), 240, 24, [i](QPainter &p) { steps(p, i); });
    add("nextBtn", 90, 28, [](QPainter &p) { pushButton(p, QStringLiteral("Next")); });
    add("DoneNom", 90, 28, [](QPainter &p) { pushButton(p, QStringLiteral("Done")); });

    const char *rows[] = {"top", "center", "bottom"};
    const char *columns[] = {"l", "", "r"};
    for (bool sent : {false, true}) {
        const int left = sent ? 17 : 20;
        const int widths[] = {left, 1, 37 - left};
        const int heights[] = {16, 1, 17};
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 3; ++column)
                add(QLatin1String(sent ? "Green" : "Gry") + QLatin1String(rows[row]) + QLatin1String(columns[column]),
                    widths[column], heights[row], [=](QPainter &p) { bubblePiece(p, sent, column, row); });
    }

    add("chatHead", 425, 76, [](QPainter &p) {
        p.fillRect(QRect(0, 0, 425, 70), vertical(0, 70, QColor(0xF8, 0xFA, 0xFC), QColor(0xE9, 0xEE, 0xF4)));
        p.fillRect(QRect(0, 69, 425, 1), QColor(0xC9, 0xD3, 0xDE));
        p.fillRect(QRect(0, 70, 425, 6), vertical(70, 76, QColor(0, 0, 0, 38), Qt::transparent));
    });
    add("contact", 80, 60, [](QPainter &p) {
        const QPainterPath round = disc(40, 30, 28);
        fill(p, round, vertical(2, 58, QColor(0xE6, 0xED, 0xF5), QColor(0xD3, 0xDE, 0xEA)));
        p.save();
        p.setClipPath(round);
        drawGlyph(p, QRectF(18, 12, 44, 48), personSolid, QColor(0xA3, 0xB4, 0xC8));
        p.restore();
    });
    add("Contact", 48, 48, [](QPainter &p) {
        const QPainterPath card = rounded(3.5, 8.5, 41, 31, 4);
        fill(p, card, vertical(8, 40, Qt::white, QColor(0xEE, 0xF2, 0xF7)));
        stroke(p, card, 1, kPaper);
        fill(p, disc(15, 24, 8), kPale);
        drawGlyph(p, QRectF(8, 17, 14, 14), personSolid, kPrimary);
        for (const auto &[y, w] : {std::pair{18.0, 14.0}, {23.0, 11.0}, {28.0, 13.0}})
            fill(p, rounded(27, y, w, 2.6, 1.3), QColor(0xB5, 0xC2, 0xD2));
    });
    auto fileIcon = [](Glyph glyph, const QColor &color) {
        return [=](QPainter &p) {
            page(p, QRectF(8.5, 3.5, 31, 41), 9, 1);
            drawGlyph(p, QRectF(13, 16.5, 22, 22), glyph, color);
        };
    };
    add("quicktime", 48, 48, fileIcon(playBadge, kPrimary));
    add("mov", 48, 48, fileIcon(film, kSlate));
    add("Image", 48, 48, fileIcon(photo, kPrimary));
    add("location", 48, 48, [](QPainter &p) {
        fill(p, QTransform().translate(24, 42.5).scale(1, 5.0 / 18).map(disc(0, 0, 9)), QColor(0, 0, 0, 45));
        QPainterPath pin(QPointF(24, 43));
        pin.cubicTo(20, 34, 10, 28, 10, 17);
        pin.arcTo(QRectF(10, 3, 28, 28), 180, -180);
        pin.cubicTo(38, 28, 28, 34, 24, 43);
        fill(p, pin, vertical(3, 43, kPrimary.lighter(120), kPrimary.darker(115)));
        stroke(p, pin, 1, kPrimary.darker(140));
        fill(p, disc(24, 17, 5.5), Qt::white);
    });
    add("document.png", 128, 128, [](QPainter &p) {
        page(p, QRectF(20.5, 8.5, 87, 111), 24, 2);
        for (int i = 0; i < 7; ++i)
            fill(p, rounded(33, 44 + i * 10, i == 6 ? 38 : 62 - (i % 3) * 8, 4, 2), QColor(0xC2, 0xCD, 0xDA));
    });
    add("music.png", 128, 128, [](QPainter &p) {
        page(p, QRectF(20.5, 8.5, 87, 111), 24, 2);
        drawGlyph(p, QRectF(34, 42, 60, 60), musicNote, kPrimary);
    });
    // A track's artwork when its file carries none: a plain cover.
    add("defaultMuisc", 240, 240, [](QPainter &p) {
        const QPainterPath cover = rounded(8.5, 8.5, 223, 223, 10);
        fill(p, cover, vertical(8, 232, kPale, QColor(0xC4, 0xD3, 0xE6)));
        stroke(p, cover, 1, kPaper);
        fill(p, disc(120, 120, 78), QColor(255, 255, 255, 150));
        drawGlyph(p, QRectF(72, 72, 96, 96), musicNote, kPrimary);
    });
    add("ostra", 256, 256, appIcon);
    return list;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr,
                     "usage: ostra-draw-images <outdir>\n"
                     "Writes <outdir>/images/*.png and <outdir>/ostra.qrc.\n");
        return 2;
    }
    const QDir out(args.at(1));
    if (!out.mkpath(QStringLiteral("images"))) {
        std::fprintf(stderr, "ostra-draw-images: cannot create %s/images\n", qPrintable(out.path()));
        return 1;
    }

    int failures = 0;
    QString qrc = QStringLiteral("<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/\">\n");
    for (const Picture &picture : pictures()) {
        QImage image(picture.size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
            picture.paint(p);
        }
        const bool named = picture.name.endsWith(QLatin1String(".png"));
        const QString file = named ? picture.name : picture.name + QLatin1String(".png");
        // Build tools read the file list of the .qrc without decoding XML
        // entities (and split it at ';'), so resource names keep to plain
        // characters; the application maps '&' the same way when it looks
        // an image up.
        QString stored = file;
        stored.replace(QLatin1Char('&'), QLatin1String("_and_"));
        if (!image.save(out.filePath(QStringLiteral("images/") + stored), "PNG")) {
            std::fprintf(stderr, "ostra-draw-images: could not save %s\n", qPrintable(file));
            ++failures;
        }
        qrc += QStringLiteral("    <file>images/%1</file>\n").arg(stored);
    }
    qrc += QStringLiteral("</qresource>\n</RCC>\n");

    QSaveFile qrcFile(out.filePath(QStringLiteral("ostra.qrc")));
    if (!qrcFile.open(QIODevice::WriteOnly | QIODevice::Text) || qrcFile.write(qrc.toUtf8()) < 0 || !qrcFile.commit()) {
        std::fprintf(stderr, "ostra-draw-images: could not write ostra.qrc\n");
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}
