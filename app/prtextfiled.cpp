#include "app/prtextfiled.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>

PRTextFiled::PRTextFiled(QWidget *parent)
    : PRTextFiled(QString(), parent)
{
}

PRTextFiled::PRTextFiled(const QString &text, QWidget *parent)
    : QLineEdit(text, parent)
{
    setReadOnly(true);
    awakeFromNib();
}

void PRTextFiled::awakeFromNib()
{
    setMouseTracking(true);
}

void PRTextFiled::setMenu(QMenu *)
{
}

// Each swallowed event is accepted, so it does not travel on to the parent
// (which might select, scroll or open a menu of its own).

void PRTextFiled::mousePressEvent(QMouseEvent *event)
{
    setMenu(nullptr);
    event->accept();
}

void PRTextFiled::mouseMoveEvent(QMouseEvent *event)
{
    // Without this a drag with the button down would still select.
    event->accept();
}

void PRTextFiled::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
}

void PRTextFiled::mouseDoubleClickEvent(QMouseEvent *event)
{
    setMenu(nullptr);
    event->accept();
}

void PRTextFiled::keyPressEvent(QKeyEvent *event)
{
    setMenu(nullptr);
    event->accept();
}

void PRTextFiled::contextMenuEvent(QContextMenuEvent *event)
{
    setMenu(nullptr);
    event->accept();
}
