#pragma once

#include <QLineEdit>

class QMenu;

// A field for read-only texts of the transfer page: it shows its text and
// nothing more. Clicks, keys and right clicks are swallowed, so there is no
// editing, no selection and never a context menu.
class PRTextFiled : public QLineEdit
{
    Q_OBJECT

public:
    explicit PRTextFiled(QWidget *parent = nullptr);
    explicit PRTextFiled(const QString &text, QWidget *parent = nullptr);

    // Follows the pointer over the whole field.
    void awakeFromNib();
    // The field takes no menu.
    void setMenu(QMenu *menu);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
};
