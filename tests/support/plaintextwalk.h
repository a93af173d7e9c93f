#pragma once

// What a user reads of the texts a window shows: Qt renders a tool tip or an
// AutoText label that looks like markup as markup (and loads the pictures it
// names). The walk checks that a hostile name reads as itself wherever the
// window shows it.

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QLabel>
#include <QStringList>
#include <QTextDocument>
#include <QWidget>

namespace testsupport {

inline QString shownText(const QString &text, Qt::TextFormat format = Qt::AutoText)
{
    if (format == Qt::PlainText || (format == Qt::AutoText && !Qt::mightBeRichText(text)))
        return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

struct ShownPlaces
{
    int places = 0;      // tool tips and labels that mention the name
    QStringList wrong;   // of them, those that do not read as the name
};

// Every item tool tip of every view, every widget tool tip and every label
// under root that mentions marker must read as holding text (a piece of
// markup that rendering would swallow).
inline ShownPlaces walkShownText(QWidget *root, const QString &marker, const QString &text)
{
    ShownPlaces out;
    const auto check = [&](const QString &where, const QString &shown, Qt::TextFormat format) {
        if (!shown.contains(marker))
            return;
        ++out.places;
        if (!shownText(shown, format).contains(text))
            out.wrong << where + QStringLiteral(": ") + shown.left(200);
    };
    for (QAbstractItemView *view : root->findChildren<QAbstractItemView *>()) {
        const QAbstractItemModel *model = view->model();
        if (!model)
            continue;
        QList<QModelIndex> parents{QModelIndex()};
        int seen = 0;
        while (!parents.isEmpty() && seen < 20000) {
            const QModelIndex parent = parents.takeLast();
            for (int row = 0; row < model->rowCount(parent) && seen < 20000; ++row) {
                for (int column = 0; column < model->columnCount(parent); ++column, ++seen) {
                    const QModelIndex index = model->index(row, column, parent);
                    check(view->objectName() + QLatin1Char('/') + QLatin1String(model->metaObject()->className()),
                          index.data(Qt::ToolTipRole).toString(), Qt::AutoText);
                    if (column == 0 && model->hasChildren(index))
                        parents.append(index);
                }
            }
        }
    }
    for (QWidget *widget : root->findChildren<QWidget *>()) {
        check(QLatin1String(widget->metaObject()->className()) + QStringLiteral(" tool tip"), widget->toolTip(),
              Qt::AutoText);
        if (const auto *label = qobject_cast<QLabel *>(widget))
            check(QStringLiteral("label ") + label->objectName(), label->text(), label->textFormat());
    }
    return out;
}

} // namespace testsupport
