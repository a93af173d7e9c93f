#pragma once

#include "backup/nodes/prnode.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>

#include <functional>
#include <vector>

// A table's content: the record nodes it lists, in order, with columns
// named by the identifiers the page tests ("bSelected", "Name", "Size"...).
// Rows of carved records are painted red; the "bSelected" column is the
// record's tick box.
class PRArrayController : public QAbstractTableModel
{
    Q_OBJECT

public:
    struct Column
    {
        QString identifier;
        QString title;
        std::function<QString(const PRNode &)> text;
        int width = 120;
    };

    // The red of deleted rows.
    static QColor deletedColor();
    static constexpr int NodeRole = Qt::UserRole + 1;

    explicit PRArrayController(QObject *parent = nullptr);

    const QList<PRNodeRef> &arrangedObjects() const { return m_content; }
    PRNodeRef nodeAt(int row) const;
    // Replaces the content; an empty list stands for "no content".
    void setContent(const QList<PRNodeRef> &content);
    void addObjects(const QList<PRNodeRef> &objects);
    void removeAllObjects() { setContent({}); }

    const std::vector<Column> &columns() const { return m_columns; }
    int columnOf(const QString &identifier) const;
    QString columnIdentifier(int column) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The tick and deleted flags of a record of this table's class.
    virtual bool isSelected(const PRNode &node) const = 0;
    virtual void setSelected(PRNode &node, bool on) const = 0;
    virtual bool isDeleted(const PRNode &node) const = 0;

Q_SIGNALS:
    // A record's tick really changed (the page keeps its count from this).
    void tickChanged(int row, bool on);

protected:
    void addColumn(const QString &identifier, const QString &title, std::function<QString(const PRNode &)> text,
                   int width = 120);

private:
    std::vector<Column> m_columns;
    QList<PRNodeRef> m_content;
};

// One table model per record kind; each adds only its columns (its object
// name is its class name).
#define PR_DECLARE_CONTROLLER(Name)                                                                           \
    class Name : public PRArrayController                                                                     \
    {                                                                                                         \
    public:                                                                                                   \
        explicit Name(QObject *parent = nullptr);                                                             \
        bool isSelected(const PRNode &node) const override;                                                   \
        void setSelected(PRNode &node, bool on) const override;                                               \
        bool isDeleted(const PRNode &node) const override;                                                    \
    };

PR_DECLARE_CONTROLLER(PRPhotoAndVideoController)
PR_DECLARE_CONTROLLER(PRContactController)
PR_DECLARE_CONTROLLER(PRMessageController)
PR_DECLARE_CONTROLLER(PRMessageTreeController)
PR_DECLARE_CONTROLLER(PRCallHistoryController)
PR_DECLARE_CONTROLLER(PRNoteController)
PR_DECLARE_CONTROLLER(PRBookMarkController)
PR_DECLARE_CONTROLLER(PRCalendarController)
PR_DECLARE_CONTROLLER(PRFaceTwitterController)

#undef PR_DECLARE_CONTROLLER
