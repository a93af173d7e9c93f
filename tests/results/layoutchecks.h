#pragma once

#include "results/prsharedcontrols.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTreeView>
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

// The columns of a table or outline: each wide enough for its title, and
// those past the view's edge reachable by scrolling.
inline void expectColumnsReachable(QAbstractItemView *view)
{
    QHeaderView *header = nullptr;
    if (auto *table = qobject_cast<QTableView *>(view))
        header = table->horizontalHeader();
    else if (auto *tree = qobject_cast<QTreeView *>(view))
        header = tree->header();
    if (!header || header->isHidden())
        return;
    const QString name = nameOf(view);
    for (int i = 0; i < header->count(); ++i) {
        if (header->isSectionHidden(i))
            continue;
        const QString title = header->model()->headerData(i, Qt::Horizontal).toString();
        EXPECT_GE(header->sectionSize(i), header->fontMetrics().horizontalAdvance(title))
            << qPrintable(name) << " column \"" << qPrintable(title) << "\" is squeezed";
    }
    const int past = header->length() - view->viewport()->width();
    if (past > 0) {
        EXPECT_GE(view->horizontalScrollBar()->maximum(), past)
            << qPrintable(name) << " hides columns it cannot scroll to";
    }
}

// Whether w is a part of a control that draws and places its own pieces.
inline bool insideControl(const QWidget *w, const QWidget *page)
{
    for (const QWidget *p = w->parentWidget(); p && p != page; p = p->parentWidget())
        if (qobject_cast<const QAbstractScrollArea *>(p) || qobject_cast<const QComboBox *>(p)
            || qobject_cast<const QAbstractSpinBox *>(p))
            return true;
    return false;
}

// Every visible control of a page, as expectClean() checks a bar: each
// group of controls that one widget holds side by side lies inside it,
// apart, and whole (or elided with its text as tooltip); every table's
// columns are reachable.
inline void expectPageClean(QWidget *page)
{
    QList<QWidget *> holders = page->findChildren<QWidget *>();
    holders.prepend(page);
    for (QWidget *holder : holders) {
        if (!holder->isVisible() || insideControl(holder, page) || holder->isWindow())
            continue;
        if (auto *view = qobject_cast<QAbstractItemView *>(holder)) {
            SCOPED_TRACE(qPrintable(nameOf(view)));
            expectColumnsReachable(view);
        }
        if (qobject_cast<QAbstractScrollArea *>(holder) || qobject_cast<QComboBox *>(holder)
            || qobject_cast<QAbstractSpinBox *>(holder))
            continue;
        QList<QWidget *> parts;
        for (QObject *child : holder->children())
            if (auto *w = qobject_cast<QWidget *>(child); w && !w->isWindow() && w->isVisible()
                && !qobject_cast<QSplitterHandle *>(w))
                parts.append(w);
        if (parts.isEmpty())
            continue;
        SCOPED_TRACE(qPrintable(nameOf(holder)));
        expectClean(holder, parts);
    }
}

} // namespace LayoutChecks
