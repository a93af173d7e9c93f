#include "transfer/photos/prphotobrowsermodel.h"

#include "platform/plaintext.h"

#include "filesafety/exportpaths.h"
#include "filesafety/primages.h"
#include "transfer/photos/prphotolibrary.h"

namespace {

// Phone text as it may be shown: no format characters (a right-to-left
// override turns "IMG\u202Egpj.exe" into "IMGexe.jpg"), no control characters.
QString harmless(const QString &text)
{
    QString shown = PRExportPaths::withoutFormatCharacters(text);
    for (QChar &c : shown)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    return shown;
}

} // namespace

PRPhotoBrowserModel::PRPhotoBrowserModel(QObject *parent)
    : PRRangeThumbnailModel(DefaultCacheBytes, QStringLiteral("quicktime"), parent)
{
}

void PRPhotoBrowserModel::setLoad(std::shared_ptr<PhotoLibraryLoad> load)
{
    beginResetModel();
    forgetThumbnails();
    m_items.clear();
    m_load = std::move(load);
    endResetModel();
}

void PRPhotoBrowserModel::appendItems(const PRPhotoItemList &items)
{
    if (items.isEmpty())
        return;
    const int first = int(m_items.size());
    beginInsertRows(QModelIndex(), first, first + int(items.size()) - 1);
    m_items += items;
    endInsertRows();
}

PRPhotoItemPtr PRPhotoBrowserModel::item(int row) const
{
    return row >= 0 && row < m_items.size() ? m_items.at(row) : nullptr;
}

std::optional<PRRangeThumbnailModel::Source> PRPhotoBrowserModel::thumbnailSource(int row) const
{
    // A row without a copy keeps its icon: there is nothing to decode.
    const PRPhotoItemPtr &node = m_items.at(row);
    if (!node || !node->bhasCopy)
        return std::nullopt;
    return Source{node->hasCopy, node->isMovie()};
}

int PRPhotoBrowserModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QPixmap PRPhotoBrowserModel::placeholder(int row) const
{
    const PRPhotoItem &item = *m_items.at(row);
    if (!item.bhasCopy)
        return imageNamed(QStringLiteral("document.png"));
    return imageNamed(item.isMovie() ? QStringLiteral("mov") : QStringLiteral("Image"));
}

QVariant PRPhotoBrowserModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size() || !m_items.at(index.row()))
        return {};
    const int row = index.row();
    const PRPhotoItem &node = *m_items.at(row);
    switch (role) {
    case DevicePathRole: return harmless(node.devicePath);
    case NameRole: return harmless(node.fileName);
    // The browser shows no titles; the name is there on hover.
    case Qt::ToolTipRole:
        return PlainText::markup(harmless(node.fileName));
    case MovieRole: return node.isMovie();
    default: return PRRangeThumbnailModel::data(index, role);
    }
}

Qt::ItemFlags PRPhotoBrowserModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
