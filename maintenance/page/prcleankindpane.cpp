#include "maintenance/page/prcleankindpane.h"

#include "filesafety/primages.h"
#include "pathtree/prapptreecontroller.h"
#include "pathtree/prpathfiletablemodel.h"
#include "results/prflowlayout.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

PRCleanKindPane::PRCleanKindPane(const QString &title, PRAppTreeController *tree, QWidget *pane, QObject *parent)
    : QObject(parent)
    , m_tree(tree)
{
    buildWidgets(pane, title);
    updateActions();
}

void PRCleanKindPane::buildWidgets(QWidget *pane, const QString &title)
{
    auto *layout = qobject_cast<QVBoxLayout *>(pane->layout());
    if (!layout)
        layout = new QVBoxLayout(pane);
    layout->setContentsMargins(8, 8, 8, 8);

    const auto action = [this](const QString &text, void (PRCleanKindPane::*signal)()) {
        auto *a = new QAction(text, this);
        connect(a, &QAction::triggered, this, signal);
        return a;
    };
    cleanFileAction = action(tr("Clean Selected Files"), &PRCleanKindPane::cleanFileRequested);
    cleanDirAction = action(tr("Clean This Folder"), &PRCleanKindPane::cleanDirRequested);
    cleanAllAction = action(tr("Clean All"), &PRCleanKindPane::cleanAllRequested);
    exportFileAction = action(tr("Export Selected Files"), &PRCleanKindPane::exportFileRequested);
    exportDirAction = action(tr("Export This Folder"), &PRCleanKindPane::exportDirRequested);

    titleLabel = new QLabel(title, pane);
    QFont head = titleLabel->font();
    head.setBold(true);
    titleLabel->setFont(head);
    layout->addWidget(titleLabel);

    outlineView = new QTreeView(pane);
    outlineView->setModel(m_tree);
    outlineView->setHeaderHidden(true);
    outlineView->setUniformRowHeights(true);
    outlineView->setIconSize(QSize(16, 16));
    outlineView->setMinimumWidth(200);
    outlineView->setContextMenuPolicy(Qt::CustomContextMenu);
    QFont small = outlineView->font();
    small.setPointSize(qMax(small.pointSize() - 1, 8));
    outlineView->setFont(small);
    connect(outlineView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PRCleanKindPane::outlineViewSelectionDidChange);
    connect(m_tree, &PRPathTreeController::refreshOutlineView, this, &PRCleanKindPane::refreshOutlineView);

    fileController = new PRPathFileTableModel(m_tree, this);
    fileSorter = new QSortFilterProxyModel(this);
    fileSorter->setSourceModel(fileController);
    fileTableView = new QTableView(pane);
    fileTableView->setModel(fileSorter);
    fileTableView->setSortingEnabled(true);
    fileTableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    fileTableView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    fileTableView->verticalHeader()->hide();
    fileTableView->horizontalHeader()->setStretchLastSection(true);
    fileTableView->setFont(small);
    fileTableView->setColumnWidth(0, 220);
    fileTableView->setContextMenuPolicy(Qt::CustomContextMenu);
    // A rescan or the phone leaving resets the tree, which drops the
    // selections without telling: the actions follow the rows left. The
    // models outlive the views at the end; the views end these links.
    const auto follow = [this] {
        if (outlineView && fileTableView)
            updateActions();
    };
    connect(m_tree, &QAbstractItemModel::modelReset, outlineView, follow);
    connect(m_tree, &QAbstractItemModel::rowsRemoved, outlineView, follow);
    connect(fileSorter, &QAbstractItemModel::modelReset, fileTableView, follow);
    connect(fileSorter, &QAbstractItemModel::rowsRemoved, fileTableView, follow);
    connect(outlineView, &QObject::destroyed, this, [this] { outlineView = nullptr; });
    connect(fileTableView, &QObject::destroyed, this, [this] { fileTableView = nullptr; });
    connect(fileTableView->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        updateActions();
        const QModelIndexList rows = selectedFileIndexes();
        if (rows.size() == 1)
            Q_EMIT fileChosen(rows.first());
    });

    imageView = new QLabel(pane);
    imageView->setAlignment(Qt::AlignCenter);
    imageView->setMinimumSize(160, 160);
    imageView->setFrameShape(QFrame::StyledPanel);

    fileMenu = new QMenu(pane);
    fileMenu->addActions({cleanFileAction, exportFileAction});
    dirMenu = new QMenu(pane);
    dirMenu->addActions({cleanDirAction, exportDirAction, cleanAllAction});
    // The menus share their actions with the buttons: once closed, the
    // buttons follow the selection again.
    connect(fileMenu, &QMenu::aboutToHide, this, &PRCleanKindPane::updateActions, Qt::QueuedConnection);
    connect(dirMenu, &QMenu::aboutToHide, this, &PRCleanKindPane::updateActions, Qt::QueuedConnection);
    connect(fileTableView, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        showMenu(fileMenu, fileTableView, fileTableView->indexAt(at), at);
    });
    connect(outlineView, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        showMenu(dirMenu, outlineView, outlineView->indexAt(at), at);
    });

    // The buttons wrap rather than cut their titles when the pane is narrow.
    auto *buttons = new PRFlowLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    for (QAction *a : {cleanFileAction, cleanDirAction, cleanAllAction, exportFileAction, exportDirAction}) {
        auto *button = new QToolButton(pane);
        button->setDefaultAction(a);
        buttons->addWidget(button);
    }

    auto *split = new QSplitter(Qt::Horizontal, pane);
    split->addWidget(outlineView);
    auto *tableSide = new QWidget(split);
    auto *tableLayout = new QVBoxLayout(tableSide);
    tableLayout->setContentsMargins(0, 0, 0, 0);
    tableLayout->addWidget(fileTableView, 1);
    tableLayout->addLayout(buttons);
    split->addWidget(tableSide);
    split->addWidget(imageView);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 4);
    split->setStretchFactor(2, 2);
    layout->addWidget(split, 1);
}

void PRCleanKindPane::showMenu(QMenu *menu, QWidget *view, const QModelIndex &clicked, const QPoint &at)
{
    auto *itemView = qobject_cast<QAbstractItemView *>(view);
    const bool onRow = clicked.isValid();
    // The menu acts on what it was opened on: a row outside the selection
    // becomes the selection first.
    if (onRow && itemView && !itemView->selectionModel()->isSelected(clicked))
        itemView->selectionModel()->select(clicked, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    for (QAction *item : menu->actions())
        item->setEnabled(onRow);
    menu->popup(view->mapToGlobal(at));
}

void PRCleanKindPane::setKindState(bool hasFiles, bool idle)
{
    m_hasFiles = hasFiles;
    m_idle = idle;
    updateActions();
}

namespace {

// A folder whose files were all removed stays in the tree; its actions
// would act on nothing.
bool holdsFiles(const PRPathDirNode *folder)
{
    QList<const PRPathDirNode *> stack{folder};
    while (!stack.isEmpty()) {
        const PRPathDirNode *at = stack.takeLast();
        if (!at)
            continue;
        if (!at->fileChildren().isEmpty())
            return true;
        for (const PRPathDirNode *child : at->children())
            stack.append(child);
    }
    return false;
}

} // namespace

void PRCleanKindPane::updateActions()
{
    const bool files = !selectedFileIndexes().isEmpty();
    const QModelIndex selected = selectedFolderIndex();
    const bool folder = selected.isValid() && holdsFiles(m_tree->dirNodeAt(selected));
    cleanFileAction->setEnabled(files && m_idle);
    exportFileAction->setEnabled(files);
    cleanDirAction->setEnabled(folder && m_idle);
    exportDirAction->setEnabled(folder);
    cleanAllAction->setEnabled(m_hasFiles && m_idle);
}

QModelIndexList PRCleanKindPane::selectedFileIndexes() const
{
    QModelIndexList rows = fileTableView->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    return rows;
}

QModelIndex PRCleanKindPane::selectedFolderIndex() const
{
    const QModelIndexList rows = outlineView->selectionModel()->selectedRows();
    return rows.isEmpty() ? QModelIndex() : rows.first();
}

void PRCleanKindPane::outlineViewSelectionDidChange()
{
    updateActions();
    // While the tree tells its views of new folders the selection moves on
    // its own; the table follows the user only.
    if (m_tree->BRefreshTreeFlag())
        return;
    const QModelIndex folder = selectedFolderIndex();
    fileController->setFolder(folder.isValid() ? m_tree->dirNodeAt(folder) : nullptr);
    fileTableView->clearSelection();
}

void PRCleanKindPane::refreshOutlineView()
{
    if (m_tree->rowCount() > 0)
        outlineView->expand(m_tree->index(0, 0));
    updateActions();
}

void PRCleanKindPane::showPreview(const QImage &image, const QString &iconName)
{
    if (!image.isNull()) {
        imageView->setPixmap(QPixmap::fromImage(image).scaled(imageView->size(), Qt::KeepAspectRatio,
                                                              Qt::SmoothTransformation));
        return;
    }
    imageView->setPixmap(imageNamed(iconName.isEmpty() ? QStringLiteral("document") : iconName)
                             .scaled(96, 96, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void PRCleanKindPane::clearPreview()
{
    imageView->clear();
}
