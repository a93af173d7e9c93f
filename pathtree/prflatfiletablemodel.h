#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>

#include <optional>

// A flat table of files, one row a file, its columns chosen from the fields
// below by the subclass, which holds the rows. Texts are plain on one line,
// tool tips are markup that shows the text itself, and SortRole orders sizes
// and dates by value where the subclass knows them.
class PRFlatFileTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum class Field { Name, Size, Type, Path, Date };
    enum Role {
        FilePathRole = Qt::UserRole + 1, // the row's path (QString)
        SortRole = Qt::UserRole + 8,     // what the column sorts by
        BytesRole,                       // the size in bytes (quint64), where known
    };

    // One column: the field it shows, the field its tool tip shows, its title.
    struct ColumnSpec
    {
        Field shown;
        Field tip;
        QString title;
        Qt::Alignment alignment = {};
    };

    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

protected:
    // A row as the table shows it; texts as they came, made plain here.
    struct FileRow
    {
        QString name;
        QString size;
        QString type;
        QString path;
        QString date;
        std::optional<quint64> bytes;
        QDateTime modified;
    };

    PRFlatFileTableModel(QList<ColumnSpec> columns, QObject *parent = nullptr);

    // Called for rows below rowCount() only.
    virtual FileRow fileRow(int row) const = 0;
    // A text of a row as shown in a cell.
    virtual QString label(const QString &text) const;

private:
    static const QString &textOf(const FileRow &row, Field field);

    QList<ColumnSpec> m_columns;
};
