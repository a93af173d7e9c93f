#include "results/recordmodels.h"

#include "platform/plaintext.h"

#include "backup/nodes/prbookmarknode.h"
#include "backup/nodes/prcalendernode.h"
#include "backup/nodes/prcallhistorynode.h"
#include "backup/nodes/prcontactnode.h"
#include "backup/nodes/prmessagenode.h"
#include "backup/nodes/prnotenode.h"
#include "backup/nodes/prphotoandvideonode.h"

#include "results/prsharedcontrols.h"

#include <QColor>
#include <QFont>

namespace {

// A cell shows one line: long texts (message bodies, notes) are cut so that
// a table of many thousand rows still lays out quickly.
QString cellText(const QString &text)
{
    constexpr qsizetype maxLength = 200;
    QString line = text.left(maxLength + 1);
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    if (line.size() > maxLength)
        line = line.left(maxLength) + QStringLiteral("...");
    return line;
}

template<typename T, typename Getter>
std::function<QString(const PRNode &)> field(Getter getter)
{
    return [getter](const PRNode &node) { return cellText((static_cast<const T &>(node).*getter)()); };
}

const QString selectedId = QStringLiteral("bSelected");

} // namespace

QColor PRArrayController::deletedColor()
{
    return QColor(217, 81, 30);
}

PRArrayController::PRArrayController(QObject *parent)
    : QAbstractTableModel(parent)
{
    addColumn(selectedId, QString(), nullptr, 28);
}

void PRArrayController::addColumn(const QString &identifier, const QString &title,
                                  std::function<QString(const PRNode &)> text, int width)
{
    m_columns.push_back({identifier, title, std::move(text), width});
}

PRNodeRef PRArrayController::nodeAt(int row) const
{
    return row >= 0 && row < m_content.size() ? m_content.at(row) : nullptr;
}

void PRArrayController::setContent(const QList<PRNodeRef> &content)
{
    beginResetModel();
    m_content = content;
    endResetModel();
}

void PRArrayController::addObjects(const QList<PRNodeRef> &objects)
{
    if (objects.isEmpty())
        return;
    beginInsertRows({}, int(m_content.size()), int(m_content.size() + objects.size() - 1));
    m_content.append(objects);
    endInsertRows();
}

int PRArrayController::columnOf(const QString &identifier) const
{
    for (size_t i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].identifier == identifier)
            return int(i);
    return -1;
}

QString PRArrayController::columnIdentifier(int column) const
{
    return column >= 0 && size_t(column) < m_columns.size() ? m_columns[size_t(column)].identifier : QString();
}

int PRArrayController::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_content.size());
}

int PRArrayController::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant PRArrayController::data(const QModelIndex &index, int role) const
{
    const PRNodeRef node = index.isValid() ? nodeAt(index.row()) : nullptr;
    if (!node || size_t(index.column()) >= m_columns.size())
        return {};
    const Column &column = m_columns[size_t(index.column())];
    switch (role) {
    case Qt::DisplayRole:
        return column.text ? column.text(*node) : QVariant();
    case Qt::ToolTipRole:
        return column.text ? PlainText::markup(column.text(*node)) : QVariant();
    case Qt::CheckStateRole:
        if (column.identifier == selectedId)
            return isSelected(*node) ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::ForegroundRole:
        if (isDeleted(*node))
            return deletedColor();
        return {};
    case Qt::FontRole: {
        // Asked for every cell painted: made once.
        static const QFont font = lucidaGrande(11);
        return font;
    }
    case NodeRole:
        return QVariant::fromValue(node);
    default:
        return {};
    }
}

bool PRArrayController::setData(const QModelIndex &index, const QVariant &value, int role)
{
    const PRNodeRef node = index.isValid() ? nodeAt(index.row()) : nullptr;
    if (!node || role != Qt::CheckStateRole || columnIdentifier(index.column()) != selectedId)
        return false;
    const bool on = value.toInt() == Qt::Checked;
    if (isSelected(*node) == on)
        return true;
    setSelected(*node, on);
    Q_EMIT dataChanged(index, index, {Qt::CheckStateRole});
    Q_EMIT tickChanged(index.row(), on);
    return true;
}

Qt::ItemFlags PRArrayController::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (columnIdentifier(index.column()) == selectedId)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant PRArrayController::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && size_t(section) < m_columns.size())
        return m_columns[size_t(section)].title;
    return QAbstractTableModel::headerData(section, orientation, role);
}

// Each kind's flags live under names of their own.
#define PR_FLAGS(Name, Node, selectedGetter, selectedSetter, deletedExpr)                                      \
    bool Name::isSelected(const PRNode &node) const { return static_cast<const Node &>(node).selectedGetter(); } \
    void Name::setSelected(PRNode &node, bool on) const { static_cast<Node &>(node).selectedSetter(on); }     \
    bool Name::isDeleted([[maybe_unused]] const PRNode &node) const { return deletedExpr; }

PR_FLAGS(PRPhotoAndVideoController, PRPhotoAndVideoNode, bSelected, setBSelected, false)
PR_FLAGS(PRContactController, PRContactNode, bSelected, setBSelected,
         static_cast<const PRContactNode &>(node).bDeleted())
PR_FLAGS(PRMessageController, PRMessageNode, bSelected, setBSelected,
         static_cast<const PRMessageNode &>(node).bDeleted())
PR_FLAGS(PRMessageTreeController, PRMessageTreeNode, bSelected, setBSelected,
         static_cast<const PRMessageTreeNode &>(node).bdeleted())
PR_FLAGS(PRCallHistoryController, PRCallHistoryNode, bSelected, setBSelected,
         static_cast<const PRCallHistoryNode &>(node).bDeleted())
PR_FLAGS(PRNoteController, PRNoteNode, bSelected, setBSelected, static_cast<const PRNoteNode &>(node).bDeleted())
PR_FLAGS(PRBookMarkController, PRBookMarkNode, bSelected, setBSelected,
         static_cast<const PRBookMarkNode &>(node).bDeleted())
PR_FLAGS(PRCalendarController, PRCalenderNode, bSelected, setBSelected,
         static_cast<const PRCalenderNode &>(node).bDeleted())
PR_FLAGS(PRFaceTwitterController, PRFaceTwitterNode, bSelected, setBSelected, false)

#undef PR_FLAGS

PRPhotoAndVideoController::PRPhotoAndVideoController(QObject *parent)
    : PRArrayController(parent)
{
    setObjectName(QStringLiteral("PRPhotoAndVideoController"));
    addColumn(QStringLiteral("Name"), tr("Name"), field<PRPhotoAndVideoNode>(&PRPhotoAndVideoNode::fileNodeName), 260);
    addColumn(QStringLiteral("Size"), tr("Size"), field<PRPhotoAndVideoNode>(&PRPhotoAndVideoNode::fileNodeSize));
}

PRContactController::PRContactController(QObject *parent)
    : PRArrayController(parent)
{
    setObjectName(QStringLiteral("PRContactController"));
    addColumn(QStringLiteral("Name"), tr("Name"), field<PRContactNode>(&PRContactNode::contactName), 200);
    addColumn(QStringLiteral("Phone"), tr("Phone"), field<PRContactNode>(&PRContactNode::contactPhone), 200);
}

PRMessageController::PRMessageController(QObject *parent)
    : PRArrayController(parent)
{
    setObjectName(QStringLiteral("PRMessageController"));
    addColumn(QStringLiteral("Name"), tr("Name"), field<PRMessageNode>(&PRMessageNode::messageName), 140);
    addColumn(QStringLiteral("Phone"), tr("Phone"), field<PRMessageNode>(&PRMessageNode::messagePhone), 140);
    addColumn(QStringLiteral("Content"), tr("Content"), field<PRMessageNode>(&PRMessageNode::messageContent), 240);
    addColumn(QStringLiteral("Date"), tr("Date"), field<PRMessageNode>(&PRMessageNode::messageDate), 130);
}

PRMessageTreeController::PRMessageTreeController(QObject *parent)
    : PRArrayController(parent)
{
    setObjectName(QStringLiteral("PRMessageTreeController"));
    addColumn(QStringLiteral("Name"), tr("Name"), field<PRMessageTreeNode>(&PRMessageTreeNode::messageTreeNodeName),
              160);
    addColumn(QStringLiteral("Phone"), tr("Phone"),
              field<PRMessageTreeNode>(&PRMessageTreeNode::messageTreeNodeAdress), 160);
    addColumn(QStringLiteral("Count"), tr("Messages"),
              [](const PRNode &node) {
                  return QString::number(static_cast<const PRMessageTreeNode &>(node).MessageNodeArray().size());
              },
              80);
}

PRCallHistoryController::PRCallHistoryController(QObject *parent)
    : PRArrayController(parent)
{
    setObjectName(QStringLiteral("PRCallHistoryController"));
    addColumn(QStringLiteral("Name"), tr("Name"), field<PRCallHistoryNode>(&PRCallHistoryNode::callName), 150);
    addColumn(QStringLiteral("Phone"), tr("Phone"), field<PRCallHistoryNode>(&PRCallHistoryNode::callPhone), 174);
    addColumn(QStringLiteral("Date"), tr("Date"), field<PRCallHistoryNode>(&PRCallHistoryNode::callDate), 130);
    addColumn(QStringLiteral("Type"), tr("Type"), field<PRCallHistoryNode>(&PRCallHistoryNode::callType), 90);
}

PRNoteController::PRNoteController(QObject *parent)
    : PRArrayController(parent)
{
    setObjectName(QStringLiteral("PRNoteController"));
    addColumn(QStringLiteral("Title"), tr("Title"), field<PRNoteNode>(&PRNoteNode::noteTitle), 160);
    addColumn(QStringLiteral("Content"), tr("Content"), field<PRNoteNode>(&PRNoteNode::noteContent), 307);
    addColumn(QStringLiteral("Date"), tr("Date"), field<PRNoteNode>(&PRNoteNode::noteDate), 130);
}

PRBookMarkController::PRBookMarkController(QObject *parent)
    : PRArrayController(parent)
{
    setObjectName(QStringLiteral("PRBookMarkController"));
    addColumn(QStringLiteral("Title"), tr("Title"), field<PRBookMarkNode>(&PRBookMarkNode::bookMarkTitle), 200);
    addColumn(QStringLiteral("URL"), tr("URL"), field<PRBookMarkNode>(&PRBookMarkNode::bookMarkURL), 300);
}

PRCalendarController::PRCalendarController(QObject *parent)
    : PRArrayController(parent)
{
    setObjectName(QStringLiteral("PRCalendarController"));
    addColumn(QStringLiteral("Title"), tr("Title"), field<PRCalenderNode>(&PRCalenderNode::calTitle), 200);
    addColumn(QStringLiteral("Start"), tr("Start"), field<PRCalenderNode>(&PRCalenderNode::startDate), 130);
    addColumn(QStringLiteral("End"), tr("End"), field<PRCalenderNode>(&PRCalenderNode::endDate), 130);
}

PRFaceTwitterController::PRFaceTwitterController(QObject *parent)
    : PRArrayController(parent)
{
    setObjectName(QStringLiteral("PRFaceTwitterController"));
    addColumn(QStringLiteral("Name"), tr("Name"), field<PRFaceTwitterNode>(&PRFaceTwitterNode::faceTwitterFileName),
              300);
    addColumn(QStringLiteral("Size"), tr("Size"), field<PRFaceTwitterNode>(&PRFaceTwitterNode::fileSize));
}
