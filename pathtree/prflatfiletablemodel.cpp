#include "pathtree/prflatfiletablemodel.h"

#include "platform/plaintext.h"

PRFlatFileTableModel::PRFlatFileTableModel(QList<ColumnSpec> columns, QObject *parent)
    : QAbstractTableModel(parent)
    , m_columns(std::move(columns))
{
}

int PRFlatFileTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

const QString &PRFlatFileTableModel::textOf(const FileRow &row, Field field)
{
    switch (field) {
    case Field::Name: return row.name;
    case Field::Size: return row.size;
    case Field::Type: return row.type;
    case Field::Path: return row.path;
    case Field::Date: return row.date;
    }
    return row.name;
}

QString PRFlatFileTableModel::label(const QString &text) const
{
    return PlainText::oneLine(text);
}

QVariant PRFlatFileTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this || index.row() >= rowCount() || index.column() >= m_columns.size())
        return {};
    const ColumnSpec &column = m_columns.at(index.column());
    switch (role) {
    case Qt::DisplayRole: return label(textOf(fileRow(index.row()), column.shown));
    case Qt::ToolTipRole: return PlainText::markup(textOf(fileRow(index.row()), column.tip));
    case Qt::TextAlignmentRole: return column.alignment ? QVariant(int(column.alignment)) : QVariant();
    case FilePathRole: return fileRow(index.row()).path;
    case BytesRole: {
        const FileRow row = fileRow(index.row());
        return row.bytes ? QVariant::fromValue<quint64>(*row.bytes) : QVariant();
    }
    case SortRole: {
        const FileRow row = fileRow(index.row());
        if (column.shown == Field::Size && row.bytes)
            return QVariant::fromValue<quint64>(*row.bytes);
        if (column.shown == Field::Date && row.modified.isValid())
            return row.modified;
        return textOf(row, column.shown);
    }
    default: return {};
    }
}

QVariant PRFlatFileTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= m_columns.size())
        return {};
    return m_columns.at(section).title;
}
