#include "transfer/apps/prapplistmodel.h"

#include "platform/plaintext.h"

PRAppListModel::PRAppListModel(QObject *parent)
    : QAbstractListModel(parent)
{
}

void PRAppListModel::append(const QList<PRAppListItem> &items)
{
    QList<PRAppListItem> fresh;
    for (const PRAppListItem &item : items) {
        // A bundle id is listed once even if a load hands it over twice.
        if (!item.bundleId.isEmpty() && !m_rows.contains(item.bundleId)) {
            fresh.append(item);
            m_rows.insert(item.bundleId, -1);
        }
    }
    if (fresh.isEmpty())
        return;
    beginInsertRows({}, int(m_items.size()), int(m_items.size() + fresh.size() - 1));
    for (PRAppListItem &item : fresh) {
        // Scaled once here, not in every paint.
        if (!item.icon.isNull() && (item.icon.width() > kIconSize || item.icon.height() > kIconSize))
            item.icon = item.icon.scaled(kIconSize, kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        m_rows.insert(item.bundleId, int(m_items.size()));
        m_items.append(std::move(item));
    }
    endInsertRows();
}

void PRAppListModel::clear()
{
    if (m_items.isEmpty())
        return;
    beginResetModel();
    m_items.clear();
    m_rows.clear();
    endResetModel();
}

int PRAppListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

const PRAppListItem *PRAppListModel::item(int row) const
{
    return row >= 0 && row < m_items.size() ? &m_items[row] : nullptr;
}

int PRAppListModel::rowOf(const QString &bundleId) const
{
    return m_rows.value(bundleId, -1);
}

QVariant PRAppListModel::data(const QModelIndex &index, int role) const
{
    const PRAppListItem *app = index.isValid() ? item(index.row()) : nullptr;
    if (!app)
        return {};
    switch (role) {
    case Qt::DisplayRole: return app->fileName;
    case Qt::DecorationRole: return app->icon;
    case Qt::ToolTipRole:
        return PlainText::markup(QStringLiteral("%1\n%2%3").arg(
            app->shownName(), app->bundleId, app->version.isEmpty() ? QString() : QStringLiteral("\n") + app->version));
    case BundleIdRole: return app->bundleId;
    case DisplayNameRole: return app->displayName;
    default: return {};
    }
}
