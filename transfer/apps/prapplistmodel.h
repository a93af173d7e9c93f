#pragma once

#include "transfer/apps/prapplistload.h"

#include <QAbstractListModel>
#include <QHash>

// The app browser's content (appArray): one row per user app in load order,
// its title under its icon. Items are only appended while a load runs; a
// phone that left empties it.
class PRAppListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role { BundleIdRole = Qt::UserRole + 1, DisplayNameRole };
    static constexpr int kIconSize = 64;

    explicit PRAppListModel(QObject *parent = nullptr);

    // UpAppImageDataSource: moves the items read since the last batch in.
    void append(const QList<PRAppListItem> &items);
    void clear();

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    const QList<PRAppListItem> &items() const { return m_items; }
    const PRAppListItem *item(int row) const;
    // The row of a bundle id, or -1.
    int rowOf(const QString &bundleId) const;

private:
    QList<PRAppListItem> m_items;
    QHash<QString, int> m_rows;
};
