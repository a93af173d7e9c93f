#include "filesafety/prrangethumbnailmodel.h"

#include "filesafety/primages.h"

PRRangeThumbnailModel::PRRangeThumbnailModel(qsizetype cacheBytes, const QString &noFrameIcon, QObject *parent)
    : QAbstractListModel(parent)
    , m_noFrameIcon(noFrameIcon)
    , m_pictures(cacheBytes)
    , m_thumbnailer(new PRThumbnailer(this))
{
    connect(m_thumbnailer, &PRThumbnailer::thumbnailReady, this, &PRRangeThumbnailModel::thumbnailReady);
}

PRRangeThumbnailModel::~PRRangeThumbnailModel()
{
    cancelAndWait();
}

QPixmap PRRangeThumbnailModel::thumbnail(int row) const
{
    const Picture *picture = m_pictures.object(row);
    return picture ? picture->pixmap : QPixmap();
}

void PRRangeThumbnailModel::loadRange(int first, int last)
{
    first = qMax(0, first);
    last = qMin(rowCount() - 1, last);
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
        if (m_pictures.contains(row) || m_jobOfRow.contains(row))
            continue;
        const std::optional<Source> source = thumbnailSource(row);
        if (!source)
            continue;
        const quint64 id = m_thumbnailer->request(source->filePath, source->movie);
        m_jobOfRow.insert(row, id);
        m_rowOfJob.insert(id, row);
        ++m_requested;
    }
}

void PRRangeThumbnailModel::cancelAndWait()
{
    dropRequests();
    m_thumbnailer->cancelAndWait();
}

QVariant PRRangeThumbnailModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const Picture *picture = m_pictures.object(index.row());
    switch (role) {
    case Qt::DecorationRole: return picture ? picture->pixmap : placeholder(index.row());
    case LoadedRole: return picture != nullptr;
    case KindRole: return picture ? int(picture->kind) : -1;
    default: return {};
    }
}

void PRRangeThumbnailModel::forgetThumbnails()
{
    dropRequests();
    m_pictures.clear();
    m_requested = 0;
}

void PRRangeThumbnailModel::thumbnailReady(quint64 id, const PRThumbnail &thumbnail)
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
    case Kind::NoMovieFrame: pixmap = imageNamed(m_noFrameIcon); break;
    case Kind::NoThumbnail: pixmap = imageNamed(QStringLiteral("Image")); break;
    }
    // Icons are shared by every row that shows them and cost nothing here.
    const qsizetype cost = thumbnail.image.isNull() ? 1 : qsizetype(thumbnail.image.sizeInBytes());
    m_pictures.insert(row, new Picture{thumbnail.kind, pixmap}, qMin(cost, m_pictures.maxCost()));
    Q_EMIT dataChanged(index(row), index(row), {Qt::DecorationRole, LoadedRole, KindRole});
    Q_EMIT thumbnailLoaded(row);
}

void PRRangeThumbnailModel::dropRequests()
{
    m_thumbnailer->cancelAll();
    m_jobOfRow.clear();
    m_rowOfJob.clear();
}
