#pragma once

#include <QColor>
#include <QList>
#include <QPushButton>
#include <QRectF>

// The status page's storage bar: used against free, or, once the phone's
// media metrics arrived, five coloured segments (music, photo, video, apps,
// others).
class PRColorProgressView : public QPushButton
{
    Q_OBJECT

public:
    explicit PRColorProgressView(QWidget *parent = nullptr);

    // Used/free mode; the caller asks for redisplay.
    void setProgressValueWithusedValue(float used, float free);
    // Five-segment mode, redisplayed at once.
    void setProgressValueWithMusicValue(float music, float photo, float video, float app, float others);

    bool showsMore() const { return bshowMore; }

    // One filled rectangle of the bar, with its gradient's two ends.
    struct Piece
    {
        QRectF rect;
        QColor from, to;
    };
    // What the bar draws over its grey free part, for a frame of that size.
    QList<Piece> pieces(qreal width, qreal height) const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void drawBezel(class QPainter &painter);

    float usedValue = 0, freevalue = 0;
    float musicValue = 0, photoValue = 0, videoValue = 0, appValue = 0, othersValue = 0;
    bool bshowMore = false;
};
