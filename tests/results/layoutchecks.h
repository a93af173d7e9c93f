#pragma once

#include "results/prsharedcontrols.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QScrollBar>
#include <QSplitter>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QToolTip>
#include <QWidget>

#include <gtest/gtest.h>

// Checks of a laid-out row of controls, for the pages' bars at the smallest
// sizes their windows take.
namespace LayoutChecks {

inline QString nameOf(const QWidget *w)
{
    if (const auto *b = qobject_cast<const QAbstractButton *>(w))
        return QStringLiteral("%1 \"%2\"").arg(QLatin1String(w->metaObject()->className()), b->text());
    if (const auto *l = qobject_cast<const QLabel *>(w))
        return QStringLiteral("%1 \"%2\"").arg(QLatin1String(w->metaObject()->className()), l->text());
    return QLatin1String(w->metaObject()->className()) + QLatin1Char(' ') + w->objectName();
}

// The tooltip an elided label shows when the pointer rests on it.
inline QString toolTipShown(PRElidedLabel *label)
{
    QHelpEvent help(QEvent::ToolTip, label->rect().center(), label->mapToGlobal(label->rect().center()));
    QApplication::sendEvent(label, &help);
    const QString shown = QToolTip::isVisible() ? QToolTip::text() : QString();
    QToolTip::hideText();
    return shown;
}

// Every visible widget of widgets lies inside bar, none overlaps another,
// and every text is whole: a button, box or plain label at least as wide as
// it asks to be, an elided label either whole or with its whole text as its
// tooltip.
inline void expectClean(QWidget *bar, const QList<QWidget *> &widgets)
{
    QList<QPair<QWidget *, QRect>> shown;
    for (QWidget *w : widgets) {
        if (!w->isVisibleTo(bar->window()) || !w->isVisible())
            continue;
        const QRect r(w->mapTo(bar, QPoint(0, 0)), w->size());
        EXPECT_TRUE(bar->rect().contains(r)) << qPrintable(nameOf(w)) << " leaves its bar";
        for (const auto &[other, otherRect] : shown)
            EXPECT_FALSE(r.intersects(otherRect)) << qPrintable(nameOf(w)) << " lies over " << qPrintable(nameOf(other));
        shown.append({w, r});

        if (auto *elided = qobject_cast<PRElidedLabel *>(w)) {
            if (elided->isElided()) {
                EXPECT_TRUE(elided->shownText().endsWith(QChar(0x2026))) << qPrintable(nameOf(w));
                EXPECT_EQ(toolTipShown(elided), Qt::convertFromPlainText(elided->text(), Qt::WhiteSpaceNormal))
                    << qPrintable(nameOf(w));
            }
            EXPECT_GE(w->width(), w->minimumSizeHint().width()) << qPrintable(nameOf(w));
        } else if (auto *picture = qobject_cast<QLabel *>(w); picture && picture->text().isEmpty()) {
            // A picture scales to the room it gets.
            continue;
        } else if (auto *wrapped = qobject_cast<QLabel *>(w); wrapped && wrapped->wordWrap()) {
            EXPECT_GE(w->height(), wrapped->heightForWidth(w->width())) << qPrintable(nameOf(w)) << " is cut";
        } else if (qobject_cast<QAbstractButton *>(w) || qobject_cast<QLabel *>(w)) {
            EXPECT_GE(w->width(), w->sizeHint().width()) << qPrintable(nameOf(w)) << " is cut";
        } else {
            EXPECT_GE(w->width(), w->minimumSizeHint().width()) << qPrintable(nameOf(w)) << " is squeezed";
        }
        EXPECT_GE(w->height(), std::min(w->sizeHint().height(), w->minimumSizeHint().height()))
            << qPrintable(nameOf(w));
    }
}

// The columns of a table or outline: each as wide as its title, and those
// past the view's edge reachable by scrolling.
inline void expectColumnsReachable(QAbstractItemView *view)
{
    for (QHeaderView *header : view->findChildren<QHeaderView *>(Qt::FindDirectChildrenOnly)) {
        if (header->orientation() != Qt::Horizontal || header->isHidden())
            continue;
        for (int i = 0; i < header->count(); ++i) {
            const QString title = header->model()->headerData(i, Qt::Horizontal).toString();
            if (!header->isSectionHidden(i)) {
                EXPECT_GE(header->sectionSize(i), header->fontMetrics().horizontalAdvance(title)) << qPrintable(title);
            }
        }
        EXPECT_GE(view->horizontalScrollBar()->maximum(), header->length() - view->viewport()->width())
            << qPrintable(nameOf(view)) << " hides columns it cannot scroll to";
    }
}

// Every visible control of a page as expectClean() checks a bar: what one
// widget holds lies inside it, apart and whole; tables keep their columns
// reachable. Controls that place their own pieces are not looked into.
inline void expectPageClean(QWidget *page)
{
    const auto placesItsOwn = [](const QObject *w) {
        return qobject_cast<const QAbstractScrollArea *>(w) || qobject_cast<const QComboBox *>(w);
    };
    QList<QWidget *> holders = page->findChildren<QWidget *>();
    holders.prepend(page);
    for (QWidget *holder : holders) {
        bool inside = false;
        for (const QWidget *p = holder->parentWidget(); p && p != page; p = p->parentWidget())
            inside = inside || placesItsOwn(p);
        if (!holder->isVisible() || inside)
            continue;
        SCOPED_TRACE(qPrintable(nameOf(holder)));
        if (auto *view = qobject_cast<QAbstractItemView *>(holder))
            expectColumnsReachable(view);
        QList<QWidget *> parts;
        for (QObject *child : holder->children())
            if (auto *w = qobject_cast<QWidget *>(child);
                w && !w->isWindow() && w->isVisible() && !qobject_cast<QSplitterHandle *>(w))
                parts.append(w);
        if (!placesItsOwn(holder))
            expectClean(holder, parts);
    }
}

} // namespace LayoutChecks
