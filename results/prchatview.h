#pragma once

#include <QColor>
#include <QLabel>
#include <QList>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <array>
#include <memory>

class QTextLayout;

// One message of a conversation preview: a bubble stretched from nine
// slices (grey at the left for received messages, green at the right for
// sent ones), a date line and either a text or a picture.
//
// Made with its frame in the parent, then built with one of the two
// initialisers; the conversation preview and the transfer page both use it.
class PRChatView : public QWidget
{
    Q_OBJECT

public:
    // The order of contentMatrix().
    enum Slice { BottomLeft, Bottom, BottomRight, CenterLeft, Center, CenterRight, TopLeft, Top, TopRight };

    static constexpr int kReceived = 1;
    static constexpr qreal kWidth = 240;
    static constexpr qreal kPictureHeight = 130;
    // A text bubble is this much higher than its calculateChatRect().
    static constexpr qreal kTextExtraHeight = 35;
    // The width the texts are wrapped to.
    static constexpr qreal kTextWidth = 140;

    explicit PRChatView(const QRectF &frame, QWidget *parent = nullptr);
    ~PRChatView() override;

    // A picture bubble; the name is not shown. The picture may also come
    // later through setPicture().
    PRChatView *initWithName(const QString &name, const QString &date, const QPixmap &image, int type);
    // A text bubble for a rectangle from calculateChatRect(); the name is
    // kept but not shown.
    PRChatView *initWithName(const QString &name, const QRectF &rect, const QString &date, const QString &text,
                             int type);

    // The size a text needs: its wrapped size plus the bubble's margins, at
    // least 15 high; a zero rectangle for no text, a single line break or a
    // single blank. Wraps anywhere when a text holds a run without a break
    // opportunity too long to wrap at words; the time still grows with the
    // text's length, so callers bound it (previewText()).
    static QRectF calculateChatRect(const QString &text);

    void setPicture(const QPixmap &picture);

    QRectF frame() const { return m_frame; }
    int messageType() const { return m_messageType; }
    bool isPicture() const { return m_isPicture; }
    QString name() const { return m_name; }
    // The slice images, top-left to bottom-right.
    const QList<QPixmap> &imageArray() const { return m_imageArray; }
    // The slice frames in the bubble's own (top-down) coordinates, in the
    // order of Slice.
    const std::array<QRectF, 9> &contentMatrix() const { return m_contentMatrix; }
    qreal contentLen() const { return m_contentLen; }
    qreal contentHeight() const { return m_contentHeight; }

    QString dateText() const { return m_dateText; }
    QColor dateColor() const { return m_dateColor; }
    QRectF dateFrame() const { return m_dateFrame; }
    QString shownText() const { return m_shownText; }
    QColor textColor() const { return m_textColor; }
    QRectF textFrame() const { return m_textFrame; }
    QPixmap picture() const { return m_picture; }
    QRectF imageFrame() const { return m_imageFrame; }

    static QColor receivedDateColor();
    static QColor sentDateColor();
    // Attachments named in place of their content, and a text never saved.
    static QColor fileTextColor();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void initNodeImage();
    void initRect(const QRectF &frame);
    void setUp(int type);
    void setDate(const QString &date, qreal top);

    QRectF m_frame;
    int m_messageType = 0;
    bool m_isPicture = false;
    QString m_name;
    QList<QPixmap> m_imageArray;
    std::array<QRectF, 9> m_contentMatrix{};
    qreal m_contentLen = 0;
    qreal m_contentHeight = 0;

    QString m_dateText;
    QColor m_dateColor;
    QRectF m_dateFrame;
    QString m_shownText;
    QColor m_textColor;
    QRectF m_textFrame;
    std::unique_ptr<QTextLayout> m_textLayout;
    QPixmap m_picture;
    QRectF m_imageFrame;
};

// The contact's name in a conversation's header.
class PRChatNameView : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

    PRChatNameView *initwithNameString(const QString &name);
};
