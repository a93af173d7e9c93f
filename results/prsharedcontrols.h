#pragma once

#include "filesafety/previewpicture.h"
#include "filesafety/previewtext.h"

#include <QFont>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QSize>
#include <QStyledItemDelegate>
#include <QTextEdit>
#include <QTextOption>
#include <QWidget>

class QAbstractItemView;
class QByteArray;
class QLabel;

// The small controls the pages share.

// Draws an icon before its text in table and tree cells, and tells whether a
// mouse-down hit the check icon (the backup file tree reads that flag).
class PRImageAndTextCell : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // The role that carries a cell's icon (a QImage); none draws text only.
    static constexpr int ImageRole = Qt::UserRole + 100;

    explicit PRImageAndTextCell(QObject *parent = nullptr);

    // Geometry of a cell of the given bounds with an image of imageSize
    // (an empty size for none). The image part is a strip of the image's
    // width plus 3 cut from the left.
    static QRect imageRectForBounds(const QRect &bounds, const QSize &imageSize);
    static QRect titleRectForBounds(const QRect &bounds, const QSize &imageSize);
    static QSize cellSize(const QSize &textSize, const QSize &imageSize);
    // Where the text of a cell without an image goes: 5 points lower.
    static QRect textRectWithoutImage(const QRect &frame);

    // The process-wide check-icon flag: set by every mouse-down on a cell,
    // to whether the press at window x lay on the icon of a cell whose frame
    // starts at cellX.
    static bool checkIconHit();
    static void trackMouse(int windowX, int cellX, int imageWidth);

    bool isChangeColor() const { return m_isChangeColor; }
    void setIsChangeColor(bool value) { m_isChangeColor = value; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;

private:
    bool m_isChangeColor = false;
};

// A read-only preview text: clicks, keys and context menus do nothing.
class PRTextView : public QTextEdit
{
    Q_OBJECT

public:
    explicit PRTextView(QWidget *parent = nullptr);

    // Shows a record's text as plain text, bounded as previewText() bounds it.
    void setPreviewText(const QString &text);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
};

// The feedback field: its first click clears the placeholder text.
class PRFeedBackView : public QTextEdit
{
    Q_OBJECT

public:
    explicit PRFeedBackView(QWidget *parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent *event) override;
};

// A plain dark-grey background.
class PRView : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// A background drawn from the application image "cutImage", scaled.
class PRBackView : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// A button that announces hovering as "PRbuttonMouseEntered" and
// "PRbuttonMouseExited" (object: the button).
class PRButton : public QPushButton
{
    Q_OBJECT

public:
    using QPushButton::QPushButton;

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
};

// A home tile: announces hovering ("PRViewbuttonMouseEntered",
// "PRViewbuttonMouseExited") and pressing ("MyViewbuttonMouseDown"); the
// press goes to the observers instead of the button's own click.
class PRViewButton : public QPushButton
{
    Q_OBJECT

public:
    using QPushButton::QPushButton;

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// The results page's scan progress bar: a rounded bezel and, for a value in
// (0, 1], a bar of that fraction.
class PRProgressView : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;

    float value() const { return m_value; }
    void setProgressValue(float value);

    // The bar's width for a value on a view of width w; 0 when no bar is drawn.
    static double barWidth(float value, double w);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    float m_value = 0.0f;
};

// A one-line label that takes the room its layout gives it and no more: a
// text too long for it is painted cut with "…", and then its whole text is its
// tooltip, shown as plain text. Line breaks read as spaces. The text is set as
// on any QLabel (setText), so code that knows it only as a QLabel still works.
class PRElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit PRElidedLabel(QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The text as painted at the present width, and whether it was cut.
    QString shownText() const;
    bool isElided() const { return shownText() != oneLineText(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    QString oneLineText() const;
};

// The application's text face ("Lucida Grande", or what the system puts
// in its place) at a point size.
QFont lucidaGrande(int points, bool bold = false);

// An alert shown as a sheet on parent (window-modal, deleted when closed):
// the message, the informative text and one button.
class QMessageBox;
QMessageBox *openSheetAlert(QWidget *parent, const QString &objectName, const QString &message,
                            const QString &informative, const QString &button);

// Sets a label's text to format with %1 replaced by a record's value, bounded
// to kPreviewFieldLimit and shown as plain text: a name like <img src="...">
// is shown, never loaded.
void setPreviewLabel(QLabel *label, const QString &format, const QString &value);
