#include "transfer/page/prtransferapppane.h"

#include "results/prflowlayout.h"

#include "filebrowser/prbrowsercontroller.h"
#include "filesafety/primages.h"
#include "filesafety/prreveal.h"
#include "filesafety/prthumbnailer.h"
#include "pathtree/prapptreecontroller.h"
#include "pathtree/prpathfiletablemodel.h"
#include "platform/paths.h"
#include "platform/plaintext.h"
#include "transfer/apps/prapplistmodel.h"
#include "transfer/page/nophonelabel.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QSet>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardPaths>
#include <QTableView>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

const QString PRTransferAppPane::kDeleteQuestion =
    QStringLiteral("Are you sure you want to permanently delete the selected file(s) from your device?");
const QString PRTransferAppPane::kDeleteInformative = QStringLiteral(
    "CAUTION: Only advanced users should delete files. Because device databases manage many files types, includes "
    "photos and videos, deleting files may lead to unexpected results.");

PRTransferAppPane::PRTransferAppPane(QWidget *pane, QObject *parent)
    : QObject(parent)
{
    m_window = pane;
    m_confirm = [this](const QString &question, const QString &informative, const QString &accept,
                       const QString &reject) {
        const std::unique_ptr<QMessageBox> box =
            questionBox(m_window->window(), question, informative, accept, reject);
        box->exec();
        return box->clickedButton() && box->buttonRole(box->clickedButton()) == QMessageBox::AcceptRole;
    };
    m_alert = [this](const QString &text, const QString &button) {
        auto *box = new QMessageBox(QMessageBox::Warning, QString(), text, QMessageBox::NoButton, m_window->window());
        box->setTextFormat(Qt::PlainText);
        box->addButton(button, QMessageBox::AcceptRole);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    };
    m_notice = [this](const QString &title, const QString &text) {
        auto *box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, m_window->window());
        box->setTextFormat(Qt::PlainText);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    };
    m_reveal = [](const QString &folder) { PRReveal::showFolderLater(folder); };
    m_chooseFolder = [this] {
        return QFileDialog::getSaveFileName(m_window->window(), tr("Archive the app"),
                                            QDir(Paths::homeFolder()).filePath(QStringLiteral("Ostra_Archived App")),
                                            QString(),
                                            nullptr, QFileDialog::ShowDirsOnly);
    };
    m_chooseArchive = [this] {
        return QFileDialog::getOpenFileName(m_window->window(), tr("Install the app archived last time."),
                                            Paths::homeFolder(), tr("App archives (*.zip *.ipa)"));
    };
    m_chooseFile = [this] { return QFileDialog::getOpenFileName(m_window->window(), tr("Add a file to the app")); };
    m_browser = new PRBrowserController(this);
    m_browser->setNotice([this](const QString &title, const QString &text) {
        if (m_notice)
            m_notice(title, text);
    });
    m_browser->setReveal([this](const QString &folder) {
        if (m_reveal)
            m_reveal(folder);
    });
    buildWidgets(pane);
    connect(m_browser, &PRBrowserController::statusChanged, statusLab, &QLabel::setText);
    connect(m_browser, &PRBrowserController::actionEnded, this, &PRTransferAppPane::actionEnded);
    connect(m_browser, &PRBrowserController::busyChanged, this, [this](bool busy) {
        appDataExportProgressor->setVisible(busy);
        updateActions();
    });
    updateActions();
}

std::unique_ptr<QMessageBox> PRTransferAppPane::questionBox(QWidget *parent, const QString &question,
                                                             const QString &informative, const QString &accept,
                                                             const QString &reject)
{
    // A question may name what an archive or a phone calls itself: the main
    // text is plain and the informative text markup of itself.
    auto box = std::make_unique<QMessageBox>(QMessageBox::Warning, QString(), question, QMessageBox::NoButton, parent);
    box->setTextFormat(Qt::PlainText);
    if (!informative.isEmpty())
        box->setInformativeText(PlainText::markup(informative));
    box->addButton(accept, QMessageBox::AcceptRole);
    QPushButton *safe = box->addButton(reject, QMessageBox::RejectRole);
    box->setDefaultButton(safe);
    box->setEscapeButton(safe);
    return box;
}

// The lane cancels the pane's jobs and waits for none: one still in a phone's
// call ends on its own and finds nobody to tell.
PRTransferAppPane::~PRTransferAppPane()
{
    *m_cancel = true;
}

QString PRTransferAppPane::documentsFolder() const
{
    // The home the application reads, as every pane's Documents.
    return m_documents.isEmpty() ? Paths::userPath(QStringLiteral("/Users/%@/Documents")) : m_documents;
}

// -- Widgets --------------------------------------------------------------------------

void PRTransferAppPane::buildWidgets(QWidget *pane)
{
    // The page gives each pane a layout of its own; a bare widget gets one.
    auto *layout = qobject_cast<QVBoxLayout *>(pane->layout());
    if (!layout)
        layout = new QVBoxLayout(pane);
    layout->setContentsMargins(8, 8, 8, 8);
    noPhoneLab = makeNoPhoneLabel(pane);
    layout->addWidget(noPhoneLab);

    const auto action = [this](const QString &text, void (PRTransferAppPane::*slot)()) {
        auto *a = new QAction(text, this);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    archiveAction = action(tr("Archive"), &PRTransferAppPane::ClickAppArchiveAction);
    installAction = action(tr("Install"), &PRTransferAppPane::InstallArchiveSelectedApp);
    exportAppsAction = action(tr("Export Selected Apps"), &PRTransferAppPane::ExportSelectedAppToMac);
    exportAllAppsAction = action(tr("Export All Apps"), &PRTransferAppPane::ExportAllAppToMac);
    addFileAction = action(tr("Add File"), &PRTransferAppPane::addFilesToApp);
    selectAllAction = action(tr("Select All"), &PRTransferAppPane::AppSelectAll);
    unselectAllAction = action(tr("Unselect All"), &PRTransferAppPane::AppUnSelecteAll);
    deleteAction = action(tr("Delete"), &PRTransferAppPane::AppDeleted);
    exportFilesAction = action(tr("Export to Folder"), &PRTransferAppPane::AppExportFilestoMac);
    exportDocumentsAction = action(tr("Export to Documents"), &PRTransferAppPane::AppExportFilestoDocument);

    // Rows of buttons wrap rather than cut their titles when the pane is
    // narrow.
    const auto buttonRow = [pane](const QList<QAction *> &actions) {
        auto *row = new PRFlowLayout;
        row->setContentsMargins(0, 0, 0, 0);
        for (QAction *a : actions) {
            auto *button = new QToolButton(pane);
            button->setDefaultAction(a);
            row->addWidget(button);
        }
        return row;
    };

    // The app list with its scan indicators.
    auto *top = new QHBoxLayout;
    top->addLayout(buttonRow({archiveAction, installAction, exportAppsAction, exportAllAppsAction}), 1);
    scanAppImageView = new QLabel(pane);
    scanAppImageView->setPixmap(imageNamed(QStringLiteral("apps")).scaled(20, 20, Qt::KeepAspectRatio,
                                                                          Qt::SmoothTransformation));
    scanAppInfolab = new QLabel(tr("Scanning apps..."), pane);
    appProgress = new QProgressBar(pane);
    appProgress->setRange(0, 0);
    appProgress->setMaximumWidth(120);
    appDataExportProgressor = new QProgressBar(pane);
    appDataExportProgressor->setRange(0, 0);
    appDataExportProgressor->setMaximumWidth(80);
    top->addWidget(scanAppImageView);
    top->addWidget(scanAppInfolab);
    top->addWidget(appProgress);
    top->addWidget(appDataExportProgressor);
    layout->addLayout(top);

    appArray = new PRAppListModel(this);
    appBroswerView = new QListView(pane);
    appBroswerView->setViewMode(QListView::IconMode);
    appBroswerView->setIconSize(QSize(PRAppListModel::kIconSize, PRAppListModel::kIconSize));
    appBroswerView->setGridSize(QSize(110, 100));
    appBroswerView->setResizeMode(QListView::Adjust);
    appBroswerView->setMovement(QListView::Static);
    appBroswerView->setUniformItemSizes(true);
    appBroswerView->setWordWrap(true);
    appBroswerView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    appBroswerView->setModel(appArray);
    appBroswerView->setMinimumHeight(140);
    connect(appBroswerView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PRTransferAppPane::updateActions);
    // Choosing an app opens its documents in the outline.
    connect(appBroswerView, &QListView::activated, this, [this](const QModelIndex &index) {
        if (const PRAppListItem *app = appArray->item(index.row())) {
            expandApp(app->bundleId);
            if (PRAppDirTreeNode *root = appTreeController->appRoot(app->bundleId))
                appOutlineView->setCurrentIndex(appTreeController->indexOfNode(root));
        }
    });

    // The documents: outline, table and preview.
    appTreeController = new PRAppTreeController(this);
    appOutlineView = new QTreeView(pane);
    appOutlineView->setModel(appTreeController);
    appOutlineView->setHeaderHidden(true);
    appOutlineView->setUniformRowHeights(true);
    appOutlineView->setIconSize(QSize(18, 18));
    QFont small = appOutlineView->font();
    small.setPointSize(qMax(small.pointSize() - 1, 8));
    appOutlineView->setFont(small);
    connect(appOutlineView, &QTreeView::expanded, this, [this](const QModelIndex &index) {
        PRPathDirNode *node = appTreeController->dirNodeAt(index);
        PRAppDirTreeNode *app = node ? node->as<PRAppDirTreeNode>() : nullptr;
        if (app && !app->parent())
            expandApp(app->appBundleName());
    });
    connect(appOutlineView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PRTransferAppPane::outlineViewSelectionDidChange);
    // While the list loads, new roots arrive: the outline stays folded.
    connect(appTreeController, &PRPathTreeController::refreshOutlineView, this, [this] {
        if (!m_finished)
            appOutlineView->collapseAll();
    });

    appFileController = new PRPathFileTableModel(appTreeController, this);
    appFileSorter = new QSortFilterProxyModel(this);
    appFileSorter->setSourceModel(appFileController);
    appTableView = new QTableView(pane);
    appTableView->setModel(appFileSorter);
    appTableView->setSortingEnabled(true);
    appTableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    appTableView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    appTableView->verticalHeader()->hide();
    appTableView->horizontalHeader()->setStretchLastSection(true);
    appTableView->setFont(small);
    appTableView->setColumnWidth(0, 220);
    connect(appTableView->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        updateActions();
        tableViewSelectionDidChange();
    });

    appImageView = new QLabel(pane);
    appImageView->setAlignment(Qt::AlignCenter);
    appImageView->setMinimumSize(160, 160);
    appImageView->setFrameShape(QFrame::StyledPanel);

    auto *documents = new QSplitter(Qt::Horizontal, pane);
    documents->addWidget(appOutlineView);
    auto *tableSide = new QWidget(documents);
    auto *tableLayout = new QVBoxLayout(tableSide);
    tableLayout->setContentsMargins(0, 0, 0, 0);
    tableLayout->addWidget(appTableView, 1);
    tableLayout->addLayout(buttonRow({addFileAction, selectAllAction, unselectAllAction, deleteAction,
                                      exportFilesAction, exportDocumentsAction}));
    documents->addWidget(tableSide);
    documents->addWidget(appImageView);
    documents->setStretchFactor(0, 2);
    documents->setStretchFactor(1, 4);
    documents->setStretchFactor(2, 2);
    // Folder names need room; the picture less.
    appOutlineView->setMinimumWidth(220);

    auto *split = new QSplitter(Qt::Vertical, pane);
    split->addWidget(appBroswerView);
    split->addWidget(documents);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    layout->addWidget(split, 1);

    statusLab = new QLabel(pane);
    statusLab->setTextFormat(Qt::PlainText);
    statusLab->setWordWrap(true);
    layout->addWidget(statusLab);

    showScanning(false);
    appDataExportProgressor->hide();
    buildMenus();
}

void PRTransferAppPane::buildMenus()
{
    const auto item = [](QMenu *menu, const QString &text, auto slot) {
        connect(menu->addAction(text), &QAction::triggered, menu, slot);
    };
    const auto sortBy = [this](int column) {
        return [this, column] { appTableView->sortByColumn(column, Qt::AscendingOrder); };
    };
    appFileMenu = new QMenu(appTableView);
    appFileMenu->setObjectName(QStringLiteral("appFileMenu"));
    item(appFileMenu, tr("Select All"), [this] { AppSelectAll(); });
    item(appFileMenu, tr("Unselect All"), [this] { AppUnSelecteAll(); });
    appFileMenu->addSeparator();
    item(appFileMenu, tr("Export to Folder..."), [this] { AppExportFilestoMac(); });
    item(appFileMenu, tr("Export to Documents"), [this] { AppExportFilestoDocument(); });
    appFileMenu->addSeparator();
    item(appFileMenu, tr("Add File..."), [this] { addFilesToApp(); });
    item(appFileMenu, tr("Delete..."), [this] { AppDeleted(); });
    appFileMenu->addSeparator();
    item(appFileMenu, tr("Sort by Name"), sortBy(PRPathFileTableModel::NameColumn));
    item(appFileMenu, tr("Sort by Size"), sortBy(PRPathFileTableModel::SizeColumn));
    // The table's own Reload stays off: the folder's, in the outline's
    // menu, reads the phone again.
    appFileMenu->addAction(tr("Reload"));
    Q_ASSERT(appFileMenu->actions().size() == AppFileMenuItemCount);

    appDirMenu = new QMenu(appOutlineView);
    appDirMenu->setObjectName(QStringLiteral("appDirMenu"));
    item(appDirMenu, tr("Select All Files"), [this] { AppSelectAll(); });
    item(appDirMenu, tr("Add File..."), [this] { addFilesToFolder(); });
    item(appDirMenu, tr("Reload"), [this] { AppDirReload(); });
    Q_ASSERT(appDirMenu->actions().size() == AppDirMenuItemCount);

    for (auto [view, menu] : {std::pair<QAbstractItemView *, QMenu *>{appTableView, appFileMenu},
                              std::pair<QAbstractItemView *, QMenu *>{appOutlineView, appDirMenu}}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this, [this, view, menu](const QPoint &at) {
            menuNeedsUpdate(menu);
            menu->popup(view->viewport()->mapToGlobal(at));
        });
    }
}

void PRTransferAppPane::menuNeedsUpdate(QMenu *menu)
{
    const QList<QAction *> items = menu ? menu->actions() : QList<QAction *>();
    if (menu == appDirMenu) {
        const bool on = appOutlineView->selectionModel()->hasSelection();
        for (QAction *a : items)
            a->setEnabled(on);
    } else if (menu == appFileMenu) {
        const bool on = appTableView->selectionModel()->hasSelection();
        for (qsizetype i = 0; i < items.size(); ++i)
            items.at(i)->setEnabled(on && i != FileReloadItem);
    }
}

void PRTransferAppPane::updateActions()
{
    const bool phone = m_device >= 0 && !m_browser->isBusy();
    const bool apps = phone && appBroswerView->selectionModel()->hasSelection();
    const bool rows = phone && appTableView->selectionModel()->hasSelection();
    archiveAction->setEnabled(apps);
    installAction->setEnabled(phone);
    exportAppsAction->setEnabled(apps);
    exportAllAppsAction->setEnabled(phone && appArray->rowCount() > 0);
    addFileAction->setEnabled(rows);
    selectAllAction->setEnabled(m_device >= 0);
    unselectAllAction->setEnabled(m_device >= 0);
    deleteAction->setEnabled(rows);
    exportFilesAction->setEnabled(rows);
    exportDocumentsAction->setEnabled(rows);
    noPhoneLab->setVisible(m_device < 0);
}

void PRTransferAppPane::showScanning(bool on)
{
    scanAppImageView->setVisible(on);
    scanAppInfolab->setVisible(on);
    appProgress->setVisible(on);
}

void PRTransferAppPane::tell(const QString &title, const QString &text)
{
    m_browser->tell(title, text);
}

bool PRTransferAppPane::isBusy() const
{
    return m_browser->isBusy();
}

bool PRTransferAppPane::hasPendingResults() const
{
    return m_pendingResults > 0 || m_browser->pendingActions() > 0;
}

// -- The list --------------------------------------------------------------------------

void PRTransferAppPane::runWorker(int deviceId, std::function<void(const Post &post)> work, std::function<void()> gone)
{
    runJob(deviceId, [work = std::move(work)](const devjobs::JobControl &, const Post &post) { work(post); },
           std::move(gone));
}

void PRTransferAppPane::runJob(int deviceId, std::function<void(const devjobs::JobControl &, const Post &)> work,
                               std::function<void()> gone)
{
    ++m_pendingResults;
    using Call = std::function<void()>;
    std::erase_if(m_jobs, [](const devjobs::JobHandle &job) { return job.ended(); });
    m_jobs.push_back(m_lane.start<Call>(
        deviceId,
        [work = std::move(work), cancel = m_cancel](devjobs::JobContext<Call> &job) {
            job.onCancel([cancel](devjobs::JobError::Kind) { *cancel = true; });
            work(job, [&job](Call call) { job.progress(std::move(call)); });
            return true;
        },
        [this, gone = std::move(gone)](bool ran, const devjobs::JobError &) {
            --m_pendingResults;
            if (!ran && gone)
                gone();
        },
        [](const Call &call) { call(); }));
}

void PRTransferAppPane::actionGone(quint64 generation)
{
    PRAppActionReport gone;
    gone.deviceGone = true;
    gone.message = tr("The iPhone was disconnected.");
    finishAction(generation, gone);
}

void PRTransferAppPane::ShowApp(int deviceId)
{
    if (deviceId < 0)
        return;
    if (deviceId != m_device) {
        forget();
        // What the pane asks before touching the phone after a question:
        // has it left meanwhile? The registry tells.
        m_phoneLeft = false;
        m_phoneWatch = m_lane.watch(deviceId, [this, deviceId] { m_phoneLeft = m_phoneLeft || deviceId == m_device; });
    } else if (m_started || m_finished) {
        return;
    }
    m_device = deviceId;
    m_browser->setDevice(PRBrowserDevice(deviceId));
    m_started = true;
    showScanning(true);
    statusLab->clear();
    updateActions();
    Q_EMIT loadStarted(deviceId);

    const quint64 generation = m_generation;
    const auto cancel = m_cancel;
    runWorker(
        deviceId,
        [this, generation, cancel, deviceId](const Post &post) {
            PRAppListLoad load(deviceId);
            const auto result = load.StartAppThread([&](const QList<PRAppListItem> &items) {
                if (*cancel)
                    load.cancel();
                post([this, generation, items] { UpAppImageDataSource(generation, items); });
            });
            post([this, generation, result] { ScanAppFinishHandle(generation, result); });
        },
        [this, generation] { ScanAppFinishHandle(generation, PRAppListLoad::Result::DeviceGone); });
}

void PRTransferAppPane::UpAppImageDataSource(quint64 generation, const QList<PRAppListItem> &items)
{
    if (generation != m_generation)
        return;
    appArray->append(items);
    // Each app gets its root in the outline, named by its display name and
    // carrying its icon; its container is read when it is opened.
    for (const PRAppListItem &item : items)
        appTreeController->addAppRoot(item.bundleId, item.displayName, item.icon);
    updateActions();
}

void PRTransferAppPane::ScanAppFinishHandle(quint64 generation, PRAppListLoad::Result result)
{
    if (generation != m_generation)
        return;
    showScanning(false);
    m_started = false;
    const int device = m_device;
    if (result == PRAppListLoad::Result::Loaded) {
        m_finished = true;
        statusLab->setText(tr("%n app(s)", nullptr, appArray->rowCount()));
        updateActions();
        Q_EMIT loadFinished(device);
        return;
    }
    // A load that did not end is forgotten whole, so the next choice of
    // the row loads again instead of showing half a list.
    const QString why = result == PRAppListLoad::Result::DeviceGone
                            ? tr("The iPhone was disconnected while its apps were read.")
                            : result == PRAppListLoad::Result::NoAppService
                                  ? tr("The iPhone's app service could not be opened.")
                                  : tr("The app list was not read.");
    forget();
    m_device = device;
    m_browser->setDevice(PRBrowserDevice(device));
    statusLab->setText(why);
    updateActions();
    Q_EMIT loadFailed(device, why);
}

void PRTransferAppPane::forget()
{
    ++m_generation;
    *m_cancel = true;
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    for (const devjobs::JobHandle &job : std::exchange(m_jobs, {}))
        job.cancel();
    m_started = false;
    m_finished = false;
    m_browser->forget();
    m_exportRows.clear();
    m_exportApps.clear();
    appFileController->setFolder(nullptr);
    appArray->clear();
    appTreeController->clearTree();
    appImageView->clear();
    m_previewPath.clear();
    showScanning(false);
    appDataExportProgressor->hide();
    m_device = -1;
    updateActions();
}

void PRTransferAppPane::deviceRemoved(int deviceId)
{
    if (deviceId != m_device)
        return;
    const bool wasLoading = m_started;
    forget();
    statusLab->setText(tr("The iPhone was disconnected."));
    if (wasLoading)
        Q_EMIT loadFailed(deviceId, tr("The iPhone was disconnected while its apps were read."));
}

// -- Actions ---------------------------------------------------------------------------

bool PRTransferAppPane::startAction(const QString &text)
{
    return m_browser->startAction(text);
}

void PRTransferAppPane::endAction(const PRAppActionReport &report, const QString &reveal)
{
    m_browser->endAction(report.ok, report.message, report.ok ? reveal : QString());
}

void PRTransferAppPane::finishAction(quint64 generation, const PRAppActionReport &report, const QString &reveal)
{
    if (generation == m_generation) {
        endAction(report, reveal);
        return;
    }
    // Another phone's state now: only the user is told.
    if (!report.message.isEmpty())
        tell(report.ok ? tr("Done") : tr("Not done"), report.message);
    Q_EMIT actionEnded(report.ok, report.message);
}

bool PRTransferAppPane::isShownPhone(int deviceId, quint64 generation) const
{
    return generation == m_generation && deviceId == m_device && deviceId >= 0 && !m_phoneLeft;
}

QList<PRAppRef> PRTransferAppPane::selectedApps() const
{
    QList<int> rows;
    for (const QModelIndex &index : appBroswerView->selectionModel()->selectedIndexes())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    QList<PRAppRef> apps;
    for (int row : rows) {
        if (const PRAppListItem *item = appArray->item(row))
            apps.append({item->bundleId, item->shownName()});
    }
    return apps;
}

QList<PRAppRef> PRTransferAppPane::allApps() const
{
    QList<PRAppRef> apps;
    for (const PRAppListItem &item : appArray->items())
        apps.append({item.bundleId, item.shownName()});
    return apps;
}

PRBrowserActions::Rows PRTransferAppPane::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : appTableView->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    PRBrowserActions::Rows refs;
    for (int row : rows) {
        if (const PRAppFileTreeNode *file = fileNodeAtViewRow(row))
            refs.append(rowRef(file));
    }
    return refs;
}

PRAppFileTreeNode *PRTransferAppPane::fileNodeAtViewRow(int row) const
{
    const QModelIndex source = appFileSorter->mapToSource(appFileSorter->index(row, 0));
    PRPathFileNode *node = source.isValid() ? appFileController->fileNodeAt(source.row()) : nullptr;
    return node ? node->as<PRAppFileTreeNode>() : nullptr;
}

void PRTransferAppPane::ClickAppArchiveAction()
{
    const QList<PRAppRef> apps = selectedApps();
    if (apps.isEmpty() || m_browser->isBusy())
        return;
    const QString folder = m_chooseFolder ? m_chooseFolder() : QString();
    if (!folder.isEmpty())
        archiveToFolder(folder);
}

void PRTransferAppPane::archiveToFolder(const QString &exportPath)
{
    const QList<PRAppRef> apps = selectedApps();
    // Only the first selected app is archived, as the phone packs one at a time.
    if (apps.isEmpty() || exportPath.isEmpty() || !startAction(tr("Archiving %1...").arg(apps.first().shownName)))
        return;
    const PRAppRef app = apps.first();
    const int device = m_device;
    const quint64 generation = m_generation;
    const auto cancel = m_cancel;
    runWorker(device, [=, this](const Post &post) {
        const PRAppActionReport report =
            PRAppArchive::AppArchiveThreader(device, app.bundleId, app.shownName, exportPath, cancel.get());
        post([=, this] {
            finishAction(generation, report, report.ok ? QFileInfo(report.writtenPath).path() : QString());
        });
    }, [this, generation] { actionGone(generation); });
}

void PRTransferAppPane::InstallArchiveSelectedApp()
{
    if (m_browser->isBusy() || m_device < 0)
        return;
    const QString path = m_chooseArchive ? m_chooseArchive() : QString();
    if (!path.isEmpty())
        installArchive(path);
}

void PRTransferAppPane::installArchive(const QString &archivePath)
{
    if (archivePath.isEmpty() || !startAction(tr("Reading %1...").arg(QFileInfo(archivePath).fileName())))
        return;
    const int device = m_device;
    const quint64 generation = m_generation;
    const auto cancel = m_cancel;
    runWorker(device, [=, this](const Post &post) {
        const PRAppPackageCheck check = PRAppInstall::checkArchive(archivePath, PRAppInstall::Limits(), cancel.get());
        post([=, this] {
            installConfirmed(device, generation, check);
        });
    }, [this, generation] { actionGone(generation); });
}

void PRTransferAppPane::installConfirmed(int deviceId, quint64 generation, const PRAppPackageCheck &check)
{
    PRAppActionReport gone;
    gone.deviceGone = true;
    gone.message = tr("The iPhone was disconnected: nothing was installed.");
    // Nobody is asked about a phone that is no longer there.
    if (!isShownPhone(deviceId, generation)) {
        finishAction(generation, gone);
        return;
    }
    if (check.notArchive) {
        // Its own alert, in place of the notice of other refusals.
        m_browser->release();
        statusLab->setText(check.message);
        if (m_alert)
            m_alert(check.message, tr(" OK "));
        Q_EMIT actionEnded(false, check.message);
        return;
    }
    if (!check.ok) {
        PRAppActionReport refused;
        refused.message = check.message;
        endAction(refused);
        return;
    }
    const bool installed = appArray->rowOf(check.bundleId) >= 0;
    const QString name = PlainText::oneLine(check.displayName);
    const QString question = installed ? tr("Install \"%1\" over the app on the iPhone?").arg(name)
                                       : tr("Install \"%1\" on the iPhone?").arg(name);
    const QString informative = installed ? tr("The app's documents stay on the iPhone.") : QString();
    const bool yes = m_confirm && m_confirm(question, informative, tr("Install"), tr("Cancel"));
    // The question waits for the user; the phone may have gone meanwhile.
    if (!isShownPhone(deviceId, generation)) {
        finishAction(generation, gone);
        return;
    }
    if (!yes) {
        endAction({true, false, tr("Nothing was installed."), {}});
        return;
    }
    runWorker(deviceId, [=, this](const Post &post) {
        const PRAppActionReport report = PRAppInstall::installChecked(deviceId, check);
        post([=, this] {
            finishAction(generation, report);
        });
    }, [this, generation] { actionGone(generation); });
}

void PRTransferAppPane::AppSelectAll()
{
    appTableView->selectAll();
}

void PRTransferAppPane::AppUnSelecteAll()
{
    appTableView->clearSelection();
}

void PRTransferAppPane::AppDeleted()
{
    // The rows and their phone are taken now, before the question: the
    // answer is about them, and about no other phone shown meanwhile.
    const PRBrowserActions::Rows rows = selectedRows();
    if (rows.isEmpty() || m_browser->isBusy())
        return;
    const int device = m_device;
    const quint64 generation = m_generation;
    if (!m_confirm
        || !m_confirm(tr(kDeleteQuestion.toUtf8().constData()), tr(kDeleteInformative.toUtf8().constData()),
                      tr("Deleted"), tr("Cancel")))
        return;
    if (!isShownPhone(device, generation)) {
        statusLab->setText(tr("The iPhone the files were on is no longer shown: nothing was deleted."));
        return;
    }
    if (!startAction(tr("Deleting %n file(s)...", nullptr, int(rows.size()))))
        return;
    // The folders are read again, so the rows show what the phone holds
    // after the delete, whatever it did.
    const auto listings = std::make_shared<QList<PRBrowserActions::Listing>>();
    m_browser->run(
        [rows, listings](const devjobs::JobControl &job) {
            const PRBrowserReport report = PRBrowserActions::remove(PRBrowserDevice::of(job), rows, job);
            QSet<QPair<QString, QString>> folders;
            for (const PRBrowserFileRef &row : rows) {
                const QPair<QString, QString> folder{row.bundleId, PRBrowserActions::folderOf(row.filePath)};
                if (report.phoneGone() || folders.contains(folder))
                    continue;
                folders.insert(folder);
                listings->append(PRBrowserActions::readFolder(
                    PRBrowserDevice::of(job), PRAppDocuments::plan(row.bundleId, row.displayName), folder.second, &job));
            }
            return report;
        },
        [this, rows, listings, generation](const PRBrowserReport &report) {
            // What the phone said it removed goes in any case.
            QList<PRPathFileNode *> gone;
            for (const PRBrowserFileRef &ref : rows) {
                if (PRAppFileTreeNode *node = report.donePaths.contains(ref.filePath) ? rowNode(ref) : nullptr)
                    gone.append(node);
            }
            appTreeController->removeFileRows(gone);
            for (const PRBrowserActions::Listing &listing : std::as_const(*listings))
                applyListing(generation, listing);
        });
}

void PRTransferAppPane::AppExportFilestoMac()
{
    m_exportRows = selectedRows();
    if (m_exportRows.isEmpty() || m_browser->isBusy())
        return;
    Q_EMIT exportSheetRequested(TransferExport::AppSelected);
}

void PRTransferAppPane::ExportSelectedAppToMac()
{
    m_exportApps = selectedApps();
    if (m_exportApps.isEmpty() || m_browser->isBusy())
        return;
    Q_EMIT exportSheetRequested(TransferExport::AppDir);
}

void PRTransferAppPane::ExportAllAppToMac()
{
    m_exportApps = allApps();
    if (m_exportApps.isEmpty() || m_browser->isBusy())
        return;
    Q_EMIT exportSheetRequested(TransferExport::AppAll);
}

void PRTransferAppPane::exportSheetCancelled()
{
    m_exportRows.clear();
    m_exportApps.clear();
}

void PRTransferAppPane::exportToFolder(const QString &path, TransferExport which)
{
    if (path.isEmpty())
        return;
    const PRBrowserActions::Rows rows = m_exportRows;
    const QList<PRAppRef> apps = m_exportApps;
    m_exportRows.clear();
    m_exportApps.clear();
    const bool files = which == TransferExport::AppSelected;
    if ((files ? rows.isEmpty() : apps.isEmpty()) || !startAction(tr("Copying to %1...").arg(path)))
        return;
    m_browser->run(
        [=](const devjobs::JobControl &job) {
            const PRBrowserDevice phone = PRBrowserDevice::of(job);
            return files ? PRAppDocuments::ExportSelectedAppToMacThreadHandle(phone, rows, path, true, &job)
                         : PRAppDocuments::ExportDirAppToMacThread(phone, apps, path, &job);
        },
        {}, path);
}

void PRTransferAppPane::AppExportFilestoDocument()
{
    const PRBrowserActions::Rows rows = selectedRows();
    if (rows.isEmpty() || !startAction(tr("Copying to Documents...")))
        return;
    const QString folder = documentsFolder();
    m_browser->run([=](const devjobs::JobControl &job) {
        return PRAppDocuments::ExportSelectedAppToMacThreadHandle(PRBrowserDevice::of(job), rows, folder, false, &job);
    });
}

void PRTransferAppPane::addFilesToApp()
{
    const PRBrowserActions::Rows rows = selectedRows();
    if (!rows.isEmpty())
        addFileInto({rows.first().bundleId, rows.first().displayName}, PRBrowserActions::folderOf(rows.first().filePath));
}

const PRAppDirTreeNode *PRTransferAppPane::selectedFolder(PRAppRef *app, QString *path) const
{
    const QModelIndex current = appOutlineView->selectionModel()->currentIndex();
    PRPathDirNode *node = current.isValid() ? appTreeController->dirNodeAt(current) : nullptr;
    const PRAppDirTreeNode *folder = node ? node->as<PRAppDirTreeNode>() : nullptr;
    if (!folder)
        return nullptr;
    // An app without a display name is named by its bundle id, as its root.
    *app = {folder->appBundleName(),
            folder->appDisplayName().isEmpty() ? folder->appBundleName() : folder->appDisplayName()};
    *path = folder->filePath().isEmpty() ? QStringLiteral("/") : folder->filePath();
    return folder;
}

void PRTransferAppPane::addFilesToFolder()
{
    PRAppRef app;
    QString path;
    if (selectedFolder(&app, &path))
        addFileInto(app, path);
}

void PRTransferAppPane::addFileInto(const PRAppRef &app, const QString &folderPath)
{
    if (m_browser->isBusy() || m_device < 0 || app.bundleId.isEmpty())
        return;
    const QString file = m_chooseFile ? m_chooseFile() : QString();
    if (!file.isEmpty())
        startAdd(app, folderPath, file, false);
}

void PRTransferAppPane::startAdd(const PRAppRef &app, const QString &folderPath, const QString &localFile,
                                 bool replace)
{
    if (!startAction(tr("Adding %1...").arg(QFileInfo(localFile).fileName())))
        return;
    const int device = m_device;
    const quint64 generation = m_generation;
    runJob(device, [=, this](const devjobs::JobControl &job, const Post &post) {
        const PRBrowserDevice phone = PRBrowserDevice::of(job);
        using IfTaken = PRBrowserActions::IfTaken;
        const PRBrowserReport report = PRBrowserActions::upload(phone, app.bundleId, folderPath, localFile,
                                                          replace ? IfTaken::Replace : IfTaken::Ask, &job);
        // The folder as the phone holds it now: a new row, or the new size
        // of the one replaced.
        const PRBrowserActions::Listing listing =
            report.ok && report.existingName.isEmpty()
                ? PRBrowserActions::readFolder(phone, PRAppDocuments::plan(app.bundleId, app.shownName), folderPath, &job)
                : PRBrowserActions::Listing();
        post([=, this] {
            if (!report.existingName.isEmpty()) {
                if (generation == m_generation) {
                    askReplace(device, generation, app, folderPath, localFile, report.existingName);
                } else {
                    PRAppActionReport gone;
                    gone.deviceGone = true;
                    gone.message = tr("The iPhone was disconnected: nothing was added.");
                    finishAction(generation, gone);
                }
                return;
            }
            applyListing(generation, listing);
            finishAction(generation, appReport(report));
        });
    }, [this, generation] { actionGone(generation); });
}

void PRTransferAppPane::askReplace(int deviceId, quint64 generation, const PRAppRef &app, const QString &folderPath,
                                   const QString &localFile, const QString &existingName)
{
    // The question is a pause of the add, not work: the pane is free while
    // it is up (and the phone may leave meanwhile).
    m_browser->release();
    const QString name = PlainText::oneLine(existingName);
    const QString question =
        tr("\"%1\" already exists in %2 of \"%3\" on the iPhone. Replace it with the file from this computer?")
            .arg(name, PlainText::oneLine(folderPath), PlainText::oneLine(app.shownName));
    const bool replace =
        m_confirm
        && m_confirm(question, tr("Replacing overwrites the app's document on the iPhone; keeping it adds nothing."),
                     tr("Replace"), tr("Keep"));
    const bool shown = isShownPhone(deviceId, generation);
    if (!shown || !replace) {
        const QString told = shown ? tr("Nothing was added: \"%1\" on the iPhone was kept.").arg(name)
                                   : tr("The iPhone the file was for is no longer shown: nothing was added.");
        if (generation == m_generation)
            statusLab->setText(told);
        Q_EMIT actionEnded(shown, told);
        return;
    }
    startAdd(app, folderPath, localFile, true);
}

void PRTransferAppPane::AppDirReload()
{
    PRAppRef app;
    QString path;
    if (!selectedFolder(&app, &path) || m_device < 0)
        return;
    const int device = m_device;
    const quint64 generation = m_generation;
    runJob(device, [=, this](const devjobs::JobControl &job, const Post &post) {
        const PRBrowserActions::Listing listing = PRBrowserActions::readFolder(
            PRBrowserDevice::of(job), PRAppDocuments::plan(app.bundleId, app.shownName), path, &job);
        post([=, this] {
            applyListing(generation, listing);
            if (generation == m_generation && !listing.read)
                statusLab->setText(tr("The folder %1 could not be read on the iPhone.").arg(path));
        });
    });
}

void PRTransferAppPane::applyListing(quint64 generation, const PRBrowserActions::Listing &listing)
{
    PRAppDirTreeNode *root = generation == m_generation && listing.read ? appTreeController->appRoot(listing.bundleId)
                                                                        : nullptr;
    if (!root)
        return;
    QSet<QString> held;
    for (const PRPathEntryBatch &batch : listing.batches) {
        for (const PRPathEntry &entry : batch.entries)
            held.insert(entry.filePath);
        appTreeController->fileEntries(batch);
    }
    // Rows are dropped only on a listing that read everything below.
    PRPathDirNode *folder = listing.folderPath == QLatin1String("/")
                                ? root
                                : appTreeController->folderAtPath(root, listing.folderPath);
    if (!listing.complete || !folder)
        return;
    QList<PRPathFileNode *> gone;
    QList<PRPathDirNode *> folders{folder};
    while (!folders.isEmpty()) {
        const PRPathDirNode *next = folders.takeLast();
        folders.append(next->children());
        for (PRPathFileNode *row : next->fileChildren()) {
            if (row->isFile() && !held.contains(row->filePath()))
                gone.append(row);
        }
    }
    appTreeController->removeFileRows(gone);
}

// -- Documents ----------------------------------------------------------------------------

void PRTransferAppPane::expandApp(const QString &bundleId)
{
    PRAppDirTreeNode *root = appTreeController->appRoot(bundleId);
    if (!root || m_device < 0 || !appTreeController->claimExpand(root))
        return;
    ++m_walksStarted;
    const int device = m_device;
    const quint64 generation = m_generation;
    const QString displayName = root->appDisplayName().isEmpty() ? bundleId : root->appDisplayName();
    const QImage icon = root->appIcon();
    runJob(device, [=, this](const devjobs::JobControl &job, const Post &post) {
        const PRBrowserWalk::Report report = PRAppDocuments::ExpandItemThread(
            PRBrowserDevice::of(job), bundleId, displayName, icon,
            [this, generation, &post](PRPathEntryBatch batch) {
                post([this, generation, batch] {
                    if (generation == m_generation)
                        appTreeController->fileEntries(batch);
                });
            },
            &job);
        post([=, this] {
            if (generation != m_generation)
                return;
            if (!report.message.isEmpty())
                statusLab->setText(report.message);
            if (report.access == PRBrowserAccess::None && !report.phoneGone())
                tell(tr("Not opened"), report.message);
            Q_EMIT walkEnded(bundleId, report.entries);
        });
    }, [this, generation, bundleId] {
        if (generation == m_generation)
            Q_EMIT walkEnded(bundleId, 0);
    });
}

void PRTransferAppPane::outlineViewSelectionDidChange()
{
    if (appTreeController->BRefreshTreeFlag())
        return;
    const QModelIndex current = appOutlineView->selectionModel()->currentIndex();
    PRPathDirNode *folder = current.isValid() ? appTreeController->dirNodeAt(current) : nullptr;
    if (!folder)
        return;
    if (PRAppDirTreeNode *app = folder->as<PRAppDirTreeNode>(); app && !app->parent())
        expandApp(app->appBundleName());
    appFileController->setFolder(folder);
    appTableView->clearSelection();
    appTableView->viewport()->update();
}

PRBrowserFileRef PRTransferAppPane::rowRef(const PRAppFileTreeNode *file)
{
    const QString copy = file->btransfer() ? file->transferPath() : QString();
    return {file->filePath(), true, copy, file->appBundleName(), file->appDisplayName()};
}

PRAppActionReport PRTransferAppPane::appReport(const PRBrowserReport &report)
{
    return {report.ok, report.phoneGone(), report.message, report.writtenPath};
}

PRAppFileTreeNode *PRTransferAppPane::rowNode(const PRBrowserFileRef &ref) const
{
    PRAppDirTreeNode *root = appTreeController->appRoot(ref.bundleId);
    if (!root)
        return nullptr;
    const QString parentPath = ref.filePath.section(QLatin1Char('/'), 0, -2);
    PRPathDirNode *folder = parentPath.isEmpty() ? root : appTreeController->folderAtPath(root, parentPath);
    PRPathFileNode *row = folder ? folder->fileChildNamed(ref.filePath.section(QLatin1Char('/'), -1)) : nullptr;
    return row ? row->as<PRAppFileTreeNode>() : nullptr;
}

void PRTransferAppPane::showPreviewImage(const QImage &image, const QString &path)
{
    QPixmap pixmap = image.isNull() ? imageNamed(QStringLiteral("document")) : QPixmap::fromImage(image);
    if (pixmap.width() > appImageView->width() || pixmap.height() > appImageView->height())
        pixmap = pixmap.scaled(appImageView->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    appImageView->setPixmap(pixmap);
    m_previewPath = path;
    Q_EMIT previewShown(path);
}

void PRTransferAppPane::tableViewSelectionDidChange()
{
    // The row the user selected last (the current one), or the first of
    // the selection.
    QItemSelectionModel *selection = appTableView->selectionModel();
    const QModelIndex current = appTableView->currentIndex();
    QList<int> rows;
    for (const QModelIndex &index : selection->selectedRows())
        rows.append(index.row());
    if (rows.isEmpty() || m_device < 0)
        return;
    const int row = current.isValid() && selection->isRowSelected(current.row(), {})
                        ? current.row()
                        : *std::min_element(rows.cbegin(), rows.cend());
    PRAppFileTreeNode *node = fileNodeAtViewRow(row);
    if (!node || !node->isFile())
        return;
    const PRBrowserFileRef ref = rowRef(node);
    m_browser->preview(
        ref, PRBrowserActions::kMaxPreviewPictureBytes,
        [](const QString &local) { return PRThumbnailer::makeThumbnail(local, false).image; },
        [this, ref](const QString &local, const QImage &image) {
            // Only a whole copy marks the row copied: a failed download is
            // tried again on the next selection.
            if (local != ref.localCopy) {
                if (PRAppFileTreeNode *row = rowNode(ref)) {
                    row->setBtransfer(true);
                    row->setTransferPath(local);
                }
            }
            showPreviewImage(image, local);
        });
}
