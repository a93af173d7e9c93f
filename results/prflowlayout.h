#pragma once

#include <QLayout>
#include <QList>

// A row of controls that wraps: each control keeps the size it asks for (a
// button's whole text), and the ones that do not fit go on the next line.
// The narrowest width it accepts is the one at which the controls fit in
// maxRows lines, so a page that holds it knows its real minimum.
class PRFlowLayout : public QLayout
{
public:
    explicit PRFlowLayout(QWidget *parent = nullptr, int maxRows = 2);
    ~PRFlowLayout() override;

    void addItem(QLayoutItem *item) override;
    int count() const override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;

    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    // Every control on one line.
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;
    void invalidate() override;

    // How many lines the controls take at the given width (margins included).
    int linesAt(int width) const;

private:
    // Places the controls in rect (only measures unless apply); the height
    // used, margins included.
    int arrange(const QRect &rect, bool apply, int *lines = nullptr) const;
    int gap() const;

    QList<QLayoutItem *> m_items;
    int m_maxRows;
    mutable QSize m_minimum;
};
