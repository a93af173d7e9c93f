#include "maintenance/icloud/pricloudpane.h"

#include "filesafety/prheifimage.h"
#include "filesafety/primages.h"
#include "filesafety/prreveal.h"
#include "maintenance/icloud/pricloudscan.h"
#include "platform/regularfile.h"

#include <QAbstractProxyModel>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The index of the model the view's model is built on (the view may sort).
QModelIndex sourceIndex(QModelIndex index)
{
    while (const auto *proxy = qobject_cast<const QAbstractProxyModel *>(index.model()))
        index = proxy->mapToSource(index);
    return index;
}

QTableView *makeTable(QWidget *parent, const QString &name)
{
    auto *table = new QTableView(parent);
    table->setObjectName(name);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setAlternatingRowColors(true);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    table->setWordWrap(false);
    return table;
}

} // namespace

PRiCloudPane::PRiCloudPane(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("iCloudPane"));

    icloudDirController = new PRiCloudDirController(this);
    icloudFileController = new PRiCloudFileController(this);

    icloudDirTableView = makeTable(this, QStringLiteral("icloudDirTableView"));
    icloudDirTableView->setSelectionMode(QAbstractItemView::SingleSelection);
    icloudDirTableView->setModel(icloudDirController);

    m_fileProxy = new QSortFilterProxyModel(this);
    m_fileProxy->setSourceModel(icloudFileController);
    m_fileProxy->setSortRole(PRiCloudFileController::SortRole);
    icloudFileTableView = makeTable(this, QStringLiteral("icloudFileTableView"));
    icloudFileTableView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    icloudFileTableView->setModel(m_fileProxy);
    icloudFileTableView->setSortingEnabled(true);
    icloudFileTableView->sortByColumn(-1, Qt::AscendingOrder); // the walk's order until a header is clicked

    previewImageView = new QLabel(this);
    previewImageView->setObjectName(QStringLiteral("iCloudImageView"));
    previewImageView->setAlignment(Qt::AlignCenter);
    previewImageView->setMinimumSize(160, 160);
    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("iCloudStatus"));
    statusLabel->setTextFormat(Qt::PlainText);
    statusLabel->setWordWrap(true);

    selectAllButton = new QPushButton(tr("Select All"), this);
    deselectAllButton = new QPushButton(tr("Deselect All"), this);
    copyButton = new QPushButton(tr("Copy to Documents"), this);

    auto *tables = new QHBoxLayout;
    tables->addWidget(icloudDirTableView, 1);
    tables->addWidget(icloudFileTableView, 2);
    auto *side = new QVBoxLayout;
    side->addWidget(previewImageView, 1);
    side->addWidget(statusLabel);
    tables->addLayout(side, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(selectAllButton);
    buttons->addWidget(deselectAllButton);
    buttons->addWidget(copyButton);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(tables, 1);
    layout->addLayout(buttons);

    connect(icloudDirTableView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PRiCloudPane::dirSelectionChanged);
    connect(icloudFileTableView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PRiCloudPane::fileSelectionChanged);
    connect(selectAllButton, &QPushButton::clicked, this, &PRiCloudPane::SelectAlliCloudFileAction);
    connect(deselectAllButton, &QPushButton::clicked, this, &PRiCloudPane::UnSelectAlliCloudFileAction);
    connect(copyButton, &QPushButton::clicked, this, [this] { ExportiCloudFileToDocumentAction(); });
    updateButtons();
}

void PRiCloudPane::ScaniCloudDocumentAndData()
{
    if (m_scanning)
        return;
    m_scanning = true;
    statusLabel->setText(tr("Reading the iCloud folder..."));
    updateButtons();
    m_lane.start(
        devjobs::kNoPhone,
        [](devjobs::JobControl &job) { return PRiCloudScan::ScaniCloudDocumentAndData({}, &job.cancelFlag()); },
        [this](const PRiCloudScan::Result &result, const devjobs::JobError &) {
            m_scanning = false;
            icloudFileController->setContent({});
            icloudDirController->setContent(result.iCloudDirDataArray);
            icloudDirTableView->clearSelection();
            m_hasScanFinish = result.libraryFound;
            if (!result.folderFound)
                statusLabel->setText(tr("There is no iCloud folder on this computer."));
            else if (result.truncated)
                statusLabel->setText(tr("The iCloud folder holds more than can be listed; %1 files are shown.")
                                         .arg(result.files));
            else
                statusLabel->clear();
            updateButtons();
            Q_EMIT scanFinished(int(result.iCloudDirDataArray.size()), int(result.files), result.truncated);
        });
}

void PRiCloudPane::SelectAlliCloudFileAction()
{
    icloudFileTableView->selectAll();
}

void PRiCloudPane::UnSelectAlliCloudFileAction()
{
    icloudFileTableView->clearSelection();
}

QList<PRiCloudFileNode> PRiCloudPane::selectedFileNodes() const
{
    QModelIndexList rows = icloudFileTableView->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    QList<PRiCloudFileNode> nodes;
    for (const QModelIndex &row : rows) {
        const QModelIndex source = sourceIndex(row);
        if (source.model() != icloudFileController)
            continue;
        if (const PRiCloudFileNode *node = icloudFileController->nodeAt(source.row()))
            nodes.append(*node);
    }
    return nodes;
}

bool PRiCloudPane::ExportiCloudFileToDocumentAction()
{
    if (m_copying)
        return false;
    const QList<PRiCloudFileNode> nodes = selectedFileNodes();
    if (nodes.isEmpty())
        return false;
    m_copying = true;
    updateButtons();
    statusLabel->setText(tr("Copying %n file(s) to Documents...", nullptr, int(nodes.size())));
    const QString target = PRiCloudCopy::documentsPath();
    m_lane.start(
        devjobs::kNoPhone,
        [nodes, target](devjobs::JobControl &job) {
            return PRiCloudCopy::ExportiCloudFileToDocumentAction(nodes, target, &job.cancelFlag());
        },
        [this](const PRiCloudCopyReport &report, const devjobs::JobError &) {
            m_copying = false;
            updateButtons();
            statusLabel->setText(report.failed == 0
                                     ? tr("%n file(s) copied to Documents.", nullptr, report.copied)
                                     : report.message);
            // As every export ends: the folder shown, once something is in it.
            if (report.copied > 0)
                PRReveal::showFolderLater(report.targetFolder);
            Q_EMIT copyFinished(report);
        });
    return true;
}

void PRiCloudPane::dirSelectionChanged()
{
    const QModelIndexList rows = icloudDirTableView->selectionModel()->selectedRows();
    icloudFileTableView->clearSelection();
    const PRiCloudDirNode *node = rows.isEmpty() ? nullptr : icloudDirController->nodeAt(sourceIndex(rows.first()).row());
    icloudFileController->setContent(node ? node->iCloudFileChildArray : QList<PRiCloudFileNode>());
    icloudFileTableView->clearSelection();
    updateButtons();
}

void PRiCloudPane::fileSelectionChanged()
{
    updateButtons();
    const QItemSelectionModel *selection = icloudFileTableView->selectionModel();
    QModelIndex row = selection->currentIndex();
    if (!row.isValid() || !selection->isRowSelected(row.row(), row.parent())) {
        const QModelIndexList rows = selection->selectedRows();
        row = rows.isEmpty() ? QModelIndex() : rows.first();
    }
    const PRiCloudFileNode *node = row.isValid() ? icloudFileController->nodeAt(sourceIndex(row).row()) : nullptr;
    m_previewLane.newGeneration();
    if (!node) {
        previewImageView->clear();
        return;
    }
    const QString path = node->nodeFullPath;
    m_previewLane.start(
        devjobs::kNoPhone,
        [path](devjobs::JobControl &job) { return job.cancelled() ? QImage() : previewImageOf(path); },
        [this, path](const QImage &image, const devjobs::JobError &) { showPreview(path, image); });
}

void PRiCloudPane::showPreview(const QString &path, const QImage &image)
{
    QPixmap pixmap = image.isNull() ? imageNamed(QStringLiteral("document")) : QPixmap::fromImage(image);
    const QSize room = previewImageView->size().boundedTo(QSize(kPreviewSide, kPreviewSide));
    if (!pixmap.isNull() && room.width() > 16 && room.height() > 16
        && (pixmap.width() > room.width() || pixmap.height() > room.height()))
        pixmap = pixmap.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    previewImageView->setPixmap(pixmap);
    Q_EMIT previewShown(path, !image.isNull());
}

QImage PRiCloudPane::previewImageOf(const QString &path, int side)
{
    QFile file;
    if (!RegularFile::openFile(file, path) || file.size() > kMaxPreviewBytes)
        return {};
    const QByteArray head = file.peek(32);
    if (PRHeifImage::isHeif(head))
        return PRHeifImage::read(&file, side);
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > side || size.height() > side))
        reader.setScaledSize(size.scaled(side, side, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    if (!image.isNull() && (image.width() > side || image.height() > side))
        image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

void PRiCloudPane::updateButtons()
{
    const bool rows = icloudFileController->rowCount() > 0;
    selectAllButton->setEnabled(rows);
    deselectAllButton->setEnabled(rows);
    copyButton->setEnabled(!m_copying && icloudFileTableView->selectionModel()->hasSelection());
}
