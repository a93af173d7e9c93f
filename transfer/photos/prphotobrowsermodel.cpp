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
    : QAbstractListModel(parent)
    , m_pictures(DefaultCacheBytes)
    , m_thumbnailer(new PRThumbnailer(this))
{
    connect(m_thumbnailer, &PRThumbnailer::thumbnailReady, this, &PRPhotoBrowserModel::thumbnailReady);
}

PRPhotoBrowserModel::~PRPhotoBrowserModel()
{
    cancelAndWait();
}

void PRPhotoBrowserModel::setLoad(std::shared_ptr<PhotoLibraryLoad> load)
{
    beginResetModel();
    dropRequests();
    m_pictures.clear();
    m_items.clear();
    m_requested = 0;
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

QPixmap PRPhotoBrowserModel::thumbnail(int row) const
{
    const Picture *picture = m_pictures.object(row);
    return picture ? picture->pixmap : QPixmap();
}

void PRPhotoBrowserModel::loadRange(int first, int last)
{
    first = qMax(0, first);
    last = qMin(int(m_items.size()) - 1, last);
    // Rows scrolled away are not worth a thread any more.
    for (auto it = m_jobOfRow.begin(); it != m_jobOfRow.end();) {
        if (it.key() < first || it.key() > last) {
            m_thumbnailer->cancel(it.value());
            m_rowOfJob.remove(it.value());
            it = m_jobOfRow.erase(it);
        } else {
            ++it;
        }
    }
    for (int row = first; row <= last; ++row) {
        const PRPhotoItemPtr &node = m_items.at(row);
        // A row without a copy keeps its icon: there is nothing to decode.
        if (!node || !node->bhasCopy || m_pictures.contains(row) || m_jobOfRow.contains(row))
            continue;
        const quint64 id = m_thumbnailer->request(node->hasCopy, node->isMovie());
        m_jobOfRow.insert(row, id);
        m_rowOfJob.insert(id, row);
        ++m_requested;
    }
}

void PRPhotoBrowserModel::cancelAndWait()
{
    dropRequests();
    m_thumbnailer->cancelAndWait();
}

int PRPhotoBrowserModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QPixmap PRPhotoBrowserModel::placeholder(const PRPhotoItem &item) const
{
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
    case Qt::DecorationRole: {
        const Picture *picture = m_pictures.object(row);
        return picture ? picture->pixmap : placeholder(node);
    }
    case DevicePathRole: return harmless(node.devicePath);
    case NameRole: return harmless(node.fileName);
    // The browser shows no titles; the name is there on hover.
    case Qt::ToolTipRole:
        return PlainText::markup(harmless(node.fileName));
    case LoadedRole: return m_pictures.contains(row);
    case KindRole: {
        const Picture *picture = m_pictures.object(row);
        return picture ? int(picture->kind) : -1;
    }
    case MovieRole: return node.isMovie();
    default: return {};
    }
}

Qt::ItemFlags PRPhotoBrowserModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void PRPhotoBrowserModel::thumbnailReady(quint64 id, const PRThumbnail &thumbnail)
{
    const auto found = m_rowOfJob.constFind(id);
    if (found == m_rowOfJob.constEnd())
        return;
    const int row = found.value();
    m_rowOfJob.erase(found);
    m_jobOfRow.remove(row);
    using Kind = PRThumbnail::Kind;
    QPixmap pixmap;
    switch (thumbnail.kind) {
    case Kind::Picture:
    case Kind::MovieFrame: pixmap = QPixmap::fromImage(thumbnail.image); break;
    case Kind::Unreadable: pixmap = imageNamed(QStringLiteral("document.png")); break;
    case Kind::MovieTooLarge: pixmap = imageNamed(QStringLiteral("mov")); break;
    case Kind::NoMovieFrame: pixmap = imageNamed(QStringLiteral("quicktime")); break;
    case Kind::NoThumbnail: pixmap = imageNamed(QStringLiteral("Image")); break;
    }
    // Icons are shared by every row that shows them and cost nothing here.
    const qsizetype cost = thumbnail.image.isNull() ? 1 : qsizetype(thumbnail.image.sizeInBytes());
    m_pictures.insert(row, new Picture{thumbnail.kind, pixmap}, qMin(cost, m_pictures.maxCost()));
    Q_EMIT dataChanged(index(row), index(row), {Qt::DecorationRole, LoadedRole, KindRole});
    Q_EMIT thumbnailLoaded(row);
}

void PRPhotoBrowserModel::dropRequests()
{
    m_thumbnailer->cancelAll();
    m_jobOfRow.clear();
    m_rowOfJob.clear();
}
