#pragma once

#include "results/prsharedcontrols.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QHelpEvent>
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

} // namespace LayoutChecks
