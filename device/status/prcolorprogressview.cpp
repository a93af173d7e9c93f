#include "device/status/prcolorprogressview.h"

#include <QLinearGradient>
#include <QPainter>

#include <cmath>

namespace {

// A fraction from the phone that is not a number counts as nothing.
float sane(float value)
{
    return std::isfinite(value) ? value : 0.0f;
}

void fillGradient(QPainter &painter, const QRectF &rect, const QColor &from, const QColor &to)
{
    // Bottom to top, as the bar has always been shaded.
    QLinearGradient gradient(rect.bottomLeft(), rect.topLeft());
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    painter.fillRect(rect, gradient);
}

} // namespace

PRColorProgressView::PRColorProgressView(QWidget *parent)
    : QPushButton(parent)
{
    setFlat(true);
    setFocusPolicy(Qt::NoFocus);
}

void PRColorProgressView::setProgressValueWithusedValue(float used, float free)
{
    usedValue = sane(used);
    freevalue = sane(free);
    bshowMore = false;
}

void PRColorProgressView::setProgressValueWithMusicValue(float music, float photo, float video, float app,
                                                         float others)
{
    musicValue = sane(music);
    photoValue = sane(photo);
    videoValue = sane(video);
    appValue = sane(app);
    othersValue = sane(others);
    bshowMore = true;
    update();
}

QList<PRColorProgressView::Piece> PRColorProgressView::pieces(qreal width, qreal height) const
{
    QList<Piece> out;
    const qreal barHeight = height - 3.5;
    if (bshowMore) {
        struct Segment
        {
            float value;
            QColor colour;
        };
        const Segment segments[] = {
            {musicValue, QColor(132, 113, 177)}, {photoValue, QColor(238, 126, 129)},
            {videoValue, QColor(90, 152, 215)},  {appValue, QColor(90, 215, 189)},
            {othersValue, QColor(252, 196, 77)},
        };
        qreal x = 0;
        for (const Segment &s : segments) {
            if (s.value <= 0)
                continue;
            const qreal w = qreal(s.value) * width > 1 ? qreal(s.value) * width : 2;
            out.append({QRectF(x, 1, w, barHeight), s.colour, s.colour});
            x += w;
        }
        return out;
    }
    if (freevalue > 1 || usedValue <= 0)
        return out;
    const qreal w = qreal(usedValue) * width > 0 ? qreal(usedValue) * width : 2;
    if (usedValue > 0.5f)
        out.append({QRectF(2, 1, w, barHeight), QColor(252, 61, 45), QColor(198, 39, 33)});
    else
        out.append({QRectF(2, 1, w, barHeight), QColor(139, 234, 254), QColor(115, 200, 223)});
    return out;
}

void PRColorProgressView::drawBezel(QPainter &painter)
{
    const qreal w = width(), h = height();
    painter.save();
    painter.setClipRect(QRectF(0, h / 2, w, h / 2));
    painter.setPen(QColor(255, 255, 255, 51));
    painter.drawRect(QRectF(0.5, 0, w - 1, h - 1));
    painter.restore();
    painter.fillRect(QRectF(1, -0.5, w, h - 1), QColor(219, 219, 219));
}

void PRColorProgressView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    drawBezel(painter);
    for (const Piece &p : pieces(width(), height()))
        fillGradient(painter, p.rect, p.from, p.to);
}
