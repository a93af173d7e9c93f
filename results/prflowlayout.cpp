#include "results/prflowlayout.h"

#include <QStyle>
#include <QWidget>

#include <algorithm>

PRFlowLayout::PRFlowLayout(QWidget *parent, int maxRows)
    : QLayout(parent)
    , m_maxRows(std::max(maxRows, 1))
{
}

PRFlowLayout::~PRFlowLayout()
{
    while (QLayoutItem *item = takeAt(0))
        delete item;
}

void PRFlowLayout::addItem(QLayoutItem *item)
{
    m_items.append(item);
    invalidate();
}

int PRFlowLayout::count() const
{
    return int(m_items.size());
}

QLayoutItem *PRFlowLayout::itemAt(int index) const
{
    return index >= 0 && index < m_items.size() ? m_items.at(index) : nullptr;
}

QLayoutItem *PRFlowLayout::takeAt(int index)
{
    if (index < 0 || index >= m_items.size())
        return nullptr;
    QLayoutItem *item = m_items.takeAt(index);
    invalidate();
    return item;
}

Qt::Orientations PRFlowLayout::expandingDirections() const
{
    return {};
}

bool PRFlowLayout::hasHeightForWidth() const
{
    return true;
}

int PRFlowLayout::heightForWidth(int width) const
{
    return arrange(QRect(0, 0, width, 0), false);
}

int PRFlowLayout::linesAt(int width) const
{
    int lines = 0;
    arrange(QRect(0, 0, width, 0), false, &lines);
    return lines;
}

QSize PRFlowLayout::sizeHint() const
{
    const QMargins m = contentsMargins();
    int width = 0;
    int height = 0;
    for (QLayoutItem *item : m_items) {
        if (item->isEmpty())
            continue;
        const QSize hint = item->sizeHint();
        width += (width ? gap() : 0) + hint.width();
        height = std::max(height, hint.height());
    }
    return QSize(width + m.left() + m.right(), height + m.top() + m.bottom());
}

QSize PRFlowLayout::minimumSize() const
{
    if (m_minimum.isValid())
        return m_minimum;
    // The lines a width gives only fall as it grows: the narrowest width
    // that keeps to maxRows lines is found by halving.
    const QMargins m = contentsMargins();
    int low = m.left() + m.right();
    for (QLayoutItem *item : m_items)
        if (!item->isEmpty())
            low = std::max(low, item->sizeHint().width() + m.left() + m.right());
    int high = std::max(low, sizeHint().width());
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (linesAt(middle) <= m_maxRows)
            high = middle;
        else
            low = middle + 1;
    }
    m_minimum = QSize(low, heightForWidth(low));
    return m_minimum;
}

void PRFlowLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

void PRFlowLayout::invalidate()
{
    m_minimum = QSize();
    QLayout::invalidate();
}

int PRFlowLayout::gap() const
{
    if (spacing() >= 0)
        return spacing();
    const QWidget *host = parentWidget();
    const int styled = host ? host->style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing, nullptr, host) : -1;
    return styled >= 0 ? styled : 6;
}

int PRFlowLayout::arrange(const QRect &rect, bool apply, int *lines) const
{
    const QMargins m = contentsMargins();
    const QRect area = rect.marginsRemoved(m);
    const int space = gap();
    // Lines are measured first, then placed, so that each control sits
    // centred on its line.
    struct Line
    {
        QList<QLayoutItem *> items;
        int height = 0;
    };
    QList<Line> placed;
    int x = area.x();
    for (QLayoutItem *item : m_items) {
        if (item->isEmpty())
            continue;
        const QSize hint = item->sizeHint();
        if (placed.isEmpty() || (x > area.x() && x + hint.width() > area.right() + 1)) {
            placed.append(Line());
            x = area.x();
        }
        placed.last().items.append(item);
        placed.last().height = std::max(placed.last().height, hint.height());
        x += hint.width() + space;
    }
    if (lines)
        *lines = int(placed.size());
    int y = area.y();
    for (const Line &line : placed) {
        if (apply) {
            int left = area.x();
            for (QLayoutItem *item : line.items) {
                const QSize hint = item->sizeHint();
                item->setGeometry(QRect(QPoint(left, y + (line.height - hint.height()) / 2), hint));
                left += hint.width() + space;
            }
        }
        y += line.height + space;
    }
    const int used = placed.isEmpty() ? 0 : y - space - area.y();
    return used + m.top() + m.bottom();
}
