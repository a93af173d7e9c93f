#include "maintenance/icloud/priclouddircontroller.h"

#include "platform/plaintext.h"

#include "filesafety/exportpaths.h"

#include <QApplication>
#include <QFile>
#include <QStyle>

PRiCloudDirController::PRiCloudDirController(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void PRiCloudDirController::setContent(const QList<PRiCloudDirNode> &nodes)
{
    beginResetModel();
    m_nodes = nodes;
    endResetModel();
}

const PRiCloudDirNode *PRiCloudDirController::nodeAt(int row) const
{
    return row >= 0 && row < m_nodes.size() ? &m_nodes[row] : nullptr;
}

int PRiCloudDirController::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_nodes.size());
}

int PRiCloudDirController::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PRiCloudDirController::data(const QModelIndex &index, int role) const
{
    const PRiCloudDirNode *node = nodeAt(index.row());
    if (!node || index.column() < 0 || index.column() >= ColumnCount)
        return {};
    if (index.column() == NameColumn) {
        if (role == Qt::DisplayRole)
            return plainLabel(node->iCloudDirName);
        if (role == Qt::ToolTipRole)
            return PlainText::markup(PRExportPaths::withoutFormatCharacters(node->iCloudDirName));
        if (role == Qt::DecorationRole)
            return iconFor(node->iCloudDirIcon);
    } else if (index.column() == FilesColumn) {
        if (role == Qt::DisplayRole)
            return node->truncated ? tr("%1+").arg(node->iCloudFileChildArray.size())
                                   : QString::number(node->iCloudFileChildArray.size());
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignRight | Qt::AlignVCenter);
    }
    return {};
}

QVariant PRiCloudDirController::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return tr("Name");
    case FilesColumn:
        return tr("Files");
    default:
        return {};
    }
}

QString PRiCloudDirController::plainLabel(const QString &text)
{
    return PlainText::oneLine(PRExportPaths::withoutFormatCharacters(text));
}

QIcon PRiCloudDirController::iconFor(const QString &name) const
{
    auto it = m_icons.constFind(name);
    if (it == m_icons.cend()) {
        // The application's own image when it has one, else the desktop's
        // folder icon.
        const QString resource = QStringLiteral(":/images/%1.png").arg(name);
        QIcon icon = QFile::exists(resource) ? QIcon(resource) : QIcon::fromTheme(name);
        if (icon.isNull() && qobject_cast<QApplication *>(QCoreApplication::instance()))
            icon = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
        it = m_icons.insert(name, icon);
    }
    return *it;
}
