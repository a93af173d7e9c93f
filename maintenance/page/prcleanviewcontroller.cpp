#include "maintenance/page/prcleanviewcontroller.h"

#include "filesafety/exportpaths.h"
#include "filesafety/prreveal.h"
#include "maintenance/clean/prcleanexport.h"
#include "maintenance/clean/prcleanfix.h"
#include "maintenance/clean/prcleanpreview.h"
#include "maintenance/clean/prcleanresults.h"
#include "maintenance/icloud/pricloudpane.h"
#include "maintenance/page/prcleankindpane.h"
#include "maintenance/page/prcleansummarypanel.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStackedWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

using Kind = PRCleanFileRef::Kind;

PRCleanViewController::PRCleanViewController(QObject *parent)
    : QObject(parent)
    , m_results(new PRCleanResults(this))
    , m_scan(new PRCleanScan(m_results, this))
    , m_removal(new PRCleanRemoval(m_results, this))
    , m_fix(new PRCleanFix(m_removal, this))
    , m_preview(std::make_shared<PRCleanPreview>())
    , m_export(std::make_shared<PRCleanExport>(m_preview.get()))
{
    m_confirm = [this](const QString &question) {
        QMessageBox box(QMessageBox::Warning, QString(), question, QMessageBox::NoButton,
                        m_container ? m_container->window() : nullptr);
        box.setTextFormat(Qt::PlainText);
        QPushButton *yes = box.addButton(tr("Clean"), QMessageBox::AcceptRole);
        QPushButton *no = box.addButton(tr("Cancel"), QMessageBox::RejectRole);
        // Enter keeps the files: removing them takes a deliberate click.
        box.setDefaultButton(no);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == yes;
    };
    m_notice = [this](const QString &text) {
        auto *box = new QMessageBox(QMessageBox::Information, QString(), text, QMessageBox::Ok,
                                    m_container ? m_container->window() : nullptr);
        box->setTextFormat(Qt::PlainText);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    };
    m_chooseFolder = [this] {
        return QFileDialog::getSaveFileName(
            m_container ? m_container->window() : nullptr, tr("Export"),
            QDir::home().filePath(PRExportPaths::proposedExportName(QDateTime::currentDateTime())));
    };
    m_reveal = [](const QString &folder) { PRReveal::showFolderLater(folder); };

    connect(m_scan, &PRCleanScan::scanStarted, this, &PRCleanViewController::updateActions);
    connect(m_scan, &PRCleanScan::scanEnded, this, &PRCleanViewController::onScanEnded);
    connect(m_removal, &PRCleanRemoval::removalStarted, this, &PRCleanViewController::updateActions);
    connect(m_removal, &PRCleanRemoval::removalEnded, this, &PRCleanViewController::onRemovalEnded);
    connect(m_results, &PRCleanResults::totalsChanged, this, &PRCleanViewController::updateActions);
    connect(m_results, &PRCleanResults::cleared, this, [this] {
        m_scannedDevice = -1;
        // A rescan or the phone leaving: the copies of the old rows go too.
        m_preview->clear();
        for (PRCleanKindPane *pane : {m_junkPane, m_cachePane, m_cookiePane}) {
            if (pane)
                pane->clearPreview();
        }
        updateActions();
    });
}

PRCleanViewController::~PRCleanViewController()
{
    // The lanes cancel the page's jobs and wait for none. The scan and the
    // removal release the results in their destructors, which run (as
    // children) after this body; the results outlive them.
    delete m_fix;
    delete m_removal;
    delete m_scan;
}

// ------------------------------------------------------------------ views

void PRCleanViewController::buildView(QWidget *container)
{
    if (!m_stack)
        buildWidgets(container);
}

void PRCleanViewController::showView(QWidget *container)
{
    buildView(container);
    container->show();
    showCleanMainView();
    if (!m_icloud->bHasScanFinish() && !m_icloud->isScanning())
        m_icloud->ScaniCloudDocumentAndData();
}

void PRCleanViewController::buildWidgets(QWidget *container)
{
    m_container = container;
    auto *layout = qobject_cast<QVBoxLayout *>(container->layout());
    if (!layout)
        layout = new QVBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    m_stack = new QStackedWidget(container);
    layout->addWidget(m_stack, 1);
    statusLab = new QLabel(container);
    statusLab->setTextFormat(Qt::PlainText);
    statusLab->setWordWrap(true);
    statusLab->setContentsMargins(8, 2, 8, 4);
    layout->addWidget(statusLab);

    cleanMainView = new QWidget(m_stack);
    cleanMainView->setObjectName(QStringLiteral("cleanMainView"));
    auto *main = new QVBoxLayout(cleanMainView);
    main->setContentsMargins(0, 0, 0, 0);
    m_summary = new PRCleanSummaryPanel(cleanMainView);
    main->addWidget(m_summary);
    m_icloud = new PRiCloudPane(cleanMainView);
    main->addWidget(m_icloud, 1);

    const auto kindView = [this](const char *name) {
        auto *view = new QWidget(m_stack);
        view->setObjectName(QLatin1String(name));
        return view;
    };
    cleanJunkView = kindView("cleanJunkView");
    cleanCacheview = kindView("cleanCacheview");
    cleanCookView = kindView("cleanCookView");
    m_junkPane = new PRCleanKindPane(tr("Temp Junk Files"), m_results->JunkTreeController(), cleanJunkView, this);
    m_cachePane = new PRCleanKindPane(tr("Cache Files"), m_results->CacheTreeController(), cleanCacheview, this);
    m_cookiePane = new PRCleanKindPane(tr("Cookies & Script Files"), m_results->CookTreeController(), cleanCookView,
                                       this);
    cleanMediaView = buildSyncView();

    for (QWidget *view : {cleanMainView, cleanJunkView, cleanCacheview, cleanCookView, cleanMediaView})
        m_stack->addWidget(view);

    const struct
    {
        PRCleanKindPane *pane;
        Kind kind;
    } panes[] = {{m_junkPane, Kind::Junk}, {m_cachePane, Kind::Cache}, {m_cookiePane, Kind::Cookie}};
    for (const auto &[pane, kind] : panes) {
        connect(pane, &PRCleanKindPane::cleanFileRequested, this, [this, kind] { removeFiles(kind); });
        connect(pane, &PRCleanKindPane::cleanDirRequested, this, [this, kind] { removeFolder(kind); });
        connect(pane, &PRCleanKindPane::cleanAllRequested, this, [this, kind] { removeKind(kind); });
        connect(pane, &PRCleanKindPane::exportFileRequested, this, [this, kind] { exportSelected(kind); });
        connect(pane, &PRCleanKindPane::exportDirRequested, this, [this, kind] { exportFolder(kind); });
        connect(pane, &PRCleanKindPane::fileChosen, this,
                [this, kind](const QModelIndex &row) { preview(kind, row); });
    }
    updateActions();
}

QWidget *PRCleanViewController::buildSyncView()
{
    auto *view = new QWidget(m_stack);
    view->setObjectName(QStringLiteral("cleanMediaView"));
    auto *layout = new QVBoxLayout(view);
    layout->setContentsMargins(8, 8, 8, 8);
    auto *title = new QLabel(tr("Sync-failed Media"), view);
    QFont head = title->font();
    head.setBold(true);
    title->setFont(head);
    layout->addWidget(title);

    syncFailedSorter = new QSortFilterProxyModel(this);
    syncFailedSorter->setSourceModel(m_results->syncFailedController());
    syncFailedTableView = new QTableView(view);
    syncFailedTableView->setModel(syncFailedSorter);
    syncFailedTableView->setSortingEnabled(true);
    syncFailedTableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    syncFailedTableView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    syncFailedTableView->verticalHeader()->hide();
    syncFailedTableView->horizontalHeader()->setStretchLastSection(true);
    syncFailedTableView->setColumnWidth(0, 240);
    syncFailedTableView->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(syncFailedTableView, 1);

    const auto action = [this](const QString &text, void (PRCleanViewController::*slot)()) {
        auto *a = new QAction(text, this);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    cleanSyncedAction = action(tr("Clean Selected Files"), &PRCleanViewController::CleanSyncedMediaFile);
    cleanAllSyncedAction = action(tr("Clean All"), &PRCleanViewController::CleanAllSyncedMediaFile);
    exportSyncedAction = action(tr("Export Selected Files"), &PRCleanViewController::ExportTheSyncedFiletoMac);
    exportAllSyncedAction = action(tr("Export All"), &PRCleanViewController::ExportSyncedfilestoMac);
    syncedMenu = new QMenu(view);
    syncedMenu->addActions({cleanSyncedAction, exportSyncedAction});
    connect(syncedMenu, &QMenu::aboutToHide, this, &PRCleanViewController::updateActions, Qt::QueuedConnection);
    connect(syncFailedTableView, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        // menuNeedsUpdate: a click beside the rows leaves every item off; a
        // row outside the selection becomes the selection first.
        const QModelIndex clicked = syncFailedTableView->indexAt(at);
        QItemSelectionModel *selection = syncFailedTableView->selectionModel();
        if (clicked.isValid() && !selection->isSelected(clicked))
            selection->select(clicked, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        for (QAction *item : syncedMenu->actions())
            item->setEnabled(clicked.isValid());
        syncedMenu->popup(syncFailedTableView->viewport()->mapToGlobal(at));
    });
    connect(syncFailedTableView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PRCleanViewController::updateActions);

    auto *buttons = new QHBoxLayout;
    for (QAction *a : {cleanSyncedAction, cleanAllSyncedAction, exportSyncedAction, exportAllSyncedAction}) {
        auto *button = new QToolButton(view);
        button->setDefaultAction(a);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    layout->addLayout(buttons);
    return view;
}

void PRCleanViewController::showOnly(QWidget *view)
{
    if (m_stack && view)
        m_stack->setCurrentWidget(view);
    updateStatusLine();
}

void PRCleanViewController::showCleanMainView()
{
    showOnly(cleanMainView);
}

void PRCleanViewController::showCleanJunkView()
{
    showOnly(cleanJunkView);
}

void PRCleanViewController::showCleanCacheview()
{
    showOnly(cleanCacheview);
}

void PRCleanViewController::showCleanCookView()
{
    showOnly(cleanCookView);
}

void PRCleanViewController::showCleanMediaView()
{
    showOnly(cleanMediaView);
}

QWidget *PRCleanViewController::currentView() const
{
    return m_stack ? m_stack->currentWidget() : nullptr;
}

QString PRCleanViewController::lastMessage() const
{
    return statusLab ? statusLab->text() : QString();
}

void PRCleanViewController::refreshOutlineView()
{
    for (PRCleanKindPane *pane : {m_junkPane, m_cachePane, m_cookiePane}) {
        if (pane)
            pane->refreshOutlineView();
    }
}

PRCleanKindPane *PRCleanViewController::paneOf(Kind kind) const
{
    switch (kind) {
    case Kind::Junk: return m_junkPane;
    case Kind::Cache: return m_cachePane;
    case Kind::Cookie: return m_cookiePane;
    case Kind::SyncFailed: return nullptr;
    }
    return nullptr;
}

void PRCleanViewController::updateActions()
{
    if (!syncFailedTableView)
        return;
    const bool idle = !m_results->isBusy();
    for (const Kind kind : {Kind::Junk, Kind::Cache, Kind::Cookie})
        paneOf(kind)->setKindState(m_results->fileNumber(kind) > 0, idle);
    const bool rows = m_results->syncFailedController()->size() > 0;
    const bool selected = syncFailedTableView->selectionModel()->hasSelection();
    cleanSyncedAction->setEnabled(idle && selected);
    cleanAllSyncedAction->setEnabled(idle && rows);
    exportSyncedAction->setEnabled(selected && !m_exporting);
    exportAllSyncedAction->setEnabled(rows && !m_exporting);
    if (m_summary)
        m_summary->fixButton->setEnabled(idle && m_results->totalFileNumber() > 0);
}

void PRCleanViewController::tell(const QString &text)
{
    if (statusLab)
        statusLab->setText(text);
    setHeadTells(false);
}

void PRCleanViewController::setHeadTells(bool on)
{
    m_headTells = on;
    updateStatusLine();
}

void PRCleanViewController::updateStatusLine()
{
    if (statusLab)
        statusLab->setVisible(!(m_headTells && currentView() == cleanMainView));
}

// ------------------------------------------------------------------- scan

bool PRCleanViewController::showPhoneClean(int deviceId)
{
    if (m_results->isBusy()) {
        tell(m_scan->isRunning() ? tr("The cleaner is already scanning the device.")
                                 : tr("Wait until the cleaning in progress has ended."));
        return false;
    }
    if (!m_scan->showPhoneClean(deviceId)) {
        showNoDevice();
        return false;
    }
    if (m_summary)
        m_summary->showScanView();
    // The kind views have no head: their status line says a scan runs.
    tell(tr("Analyzing your iDevice. Please waiting...."));
    setHeadTells(true);
    return true;
}

bool PRCleanViewController::openFor(int deviceId)
{
    if (deviceId < 0) {
        // What a phone that left had found went with it.
        if (!m_results->isBusy())
            showNoDevice();
        return false;
    }
    // A scan or a removal under way, or a finished scan of this phone: the
    // page shows it as it is.
    if (m_results->isBusy() || m_scannedDevice == deviceId)
        return false;
    return showPhoneClean(deviceId);
}

void PRCleanViewController::showNoDevice()
{
    const QString text = tr("No iPhone is connected. Connect one to find the temporary, cache and cookie files "
                            "its apps keep.");
    if (m_summary)
        m_summary->showScanMessage(text, false, false);
    tell(text);
    setHeadTells(true);
}

void PRCleanViewController::onScanEnded(const PRCleanScanReport &report)
{
    updateActions();
    if (report.finished) {
        m_scannedDevice = m_scan->cleanDevice();
        // The head shows the summary; what the scan could not read stays
        // told below it.
        tell(report.reason);
    } else {
        const QString why = report.reason.isEmpty() ? tr("The scan stopped before its end.") : report.reason;
        if (m_summary)
            m_summary->showScanMessage(why, !report.deviceGone, m_results->totalFileNumber() > 0);
        tell(why);
        setHeadTells(true);
    }
    Q_EMIT scanEnded(report);
}

void PRCleanViewController::deviceRemoved(int deviceId)
{
    if (m_results->cleanDevice().deviceId != deviceId)
        return;
    // The jobs of the phone ended already (the registry cancelled them); a
    // preview on its way is not shown.
    m_previewLane.newGeneration();
    m_results->deviceLeft(deviceId);
}

// ---------------------------------------------------------------- removal

QModelIndexList PRCleanViewController::selectedFileRows(Kind kind) const
{
    if (kind == Kind::SyncFailed)
        return syncFailedTableView ? syncFailedTableView->selectionModel()->selectedRows() : QModelIndexList();
    const PRCleanKindPane *pane = paneOf(kind);
    return pane ? pane->selectedFileIndexes() : QModelIndexList();
}

void PRCleanViewController::removeFiles(Kind kind)
{
    const QModelIndexList rows = selectedFileRows(kind);
    if (!rows.isEmpty())
        startRemoval(m_results->requestForFiles(rows));
}

void PRCleanViewController::removeFolder(Kind kind)
{
    PRCleanKindPane *pane = paneOf(kind);
    const QModelIndex folder = pane ? pane->selectedFolderIndex() : QModelIndex();
    if (!folder.isValid())
        return;
    startRemoval(m_results->requestForFolder(folder));
}

void PRCleanViewController::removeKind(Kind kind)
{
    startRemoval(m_results->requestForKind(kind));
}

void PRCleanViewController::startRemoval(const PRCleanRemovalRequest &request)
{
    if (request.isEmpty())
        return;
    if (m_results->isBusy()) {
        tell(tr("Wait until the scan or the cleaning in progress has ended."));
        return;
    }
    if (PRCleanRemoval::needsConfirmation(request) && !m_confirm(PRCleanRemoval::confirmationText(request)))
        return;
    if (!m_removal->start(request))
        tell(tr("Nothing was removed: the device the files were found on is no longer connected."));
}

bool PRCleanViewController::startFix()
{
    const PRCleanRemovalRequest all = m_results->requestForAll();
    if (all.isEmpty()) {
        tell(tr("There is nothing to clean."));
        return false;
    }
    if (m_results->isBusy()) {
        tell(tr("Wait until the scan or the cleaning in progress has ended."));
        return false;
    }
    if (!m_confirm(PRCleanRemoval::confirmationText(all)))
        return false;
    if (!m_fix->CleanAlliPhoneFiles(all)) {
        tell(tr("Nothing was removed: the device the files were found on is no longer connected."));
        return false;
    }
    updateActions();
    return true;
}

void PRCleanViewController::onRemovalEnded(const PRCleanRemovalReport &report)
{
    updateActions();
    // The fix tells its own result.
    if (report.scope == PRCleanRemovalRequest::Scope::Fix)
        return;
    const QString text = PRCleanRemoval::reportText(report);
    tell(text);
    Q_EMIT removalEnded(report, text);
}

void PRCleanViewController::CleanJunkFile()
{
    removeFiles(Kind::Junk);
}

void PRCleanViewController::CleanCacheFile()
{
    removeFiles(Kind::Cache);
}

void PRCleanViewController::CleanCookieFile()
{
    removeFiles(Kind::Cookie);
}

void PRCleanViewController::CleanJunkDirFile()
{
    removeFolder(Kind::Junk);
}

void PRCleanViewController::cleanCacheDirFile()
{
    removeFolder(Kind::Cache);
}

void PRCleanViewController::CleanCookieDirFile()
{
    removeFolder(Kind::Cookie);
}

void PRCleanViewController::CleanAllJunkFiles()
{
    removeKind(Kind::Junk);
}

void PRCleanViewController::cleanAllCacheFiles()
{
    removeKind(Kind::Cache);
}

void PRCleanViewController::CleanAllCookieFiles()
{
    removeKind(Kind::Cookie);
}

void PRCleanViewController::CleanSyncedMediaFile()
{
    removeFiles(Kind::SyncFailed);
}

void PRCleanViewController::CleanAllSyncedMediaFile()
{
    removeKind(Kind::SyncFailed);
}

// ---------------------------------------------------------------- preview

void PRCleanViewController::preview(Kind kind, const QModelIndex &row)
{
    const PRCleanRemovalRequest chosen = m_results->requestForFiles({row});
    if (chosen.files.size() != 1)
        return;
    const PRCleanFileRef ref = chosen.files.first();
    const PRCleanDevice device = m_results->cleanDevice();
    // A newer choice makes this one moot before it asks the phone.
    m_previewLane.newGeneration();
    m_previewLane.start(
        device.deviceId,
        [previews = m_preview, device, ref](devjobs::JobControl &job) {
            return previews->CacheFilePreivewOnThread(device, ref, job);
        },
        [this, kind](PRCleanPreview::Result result, const devjobs::JobError &error) {
            if (error.is(devjobs::JobError::Kind::PhoneGone) && !result.copied()) {
                result.status = PRCleanPreview::Status::DeviceGone;
                result.message = PRCleanExport::deviceGoneText();
            }
            if (PRCleanKindPane *pane = paneOf(kind)) {
                if (result.copied() || result.status == PRCleanPreview::Status::NoPicture)
                    pane->showPreview(result.image, QStringLiteral("document"));
                else
                    pane->clearPreview();
            }
            if (!result.message.isEmpty())
                tell(result.message);
            Q_EMIT previewShown(result.localPath);
        });
}

// ----------------------------------------------------------------- export

void PRCleanViewController::exportFiles(const PRCleanFileRefs &rows, bool mirrored)
{
    if (rows.isEmpty() || m_exporting)
        return;
    const QString exportPath = m_chooseFolder();
    if (exportPath.isEmpty())
        return;
    const PRCleanDevice device = m_results->cleanDevice();
    m_exporting = true;
    updateActions();
    tell(tr("Exporting %n file(s)...", nullptr, int(rows.size())));
    // The exporter reads the previews' copies: both stay while the job runs.
    m_exportLane.start(
        device.deviceId,
        [exporter = m_export, previews = m_preview, device, rows, exportPath, mirrored](devjobs::JobControl &job) {
            return mirrored ? exporter->ExportCacheFilesToMacThread(device, rows, exportPath, job)
                            : exporter->ExportTheCacheFileToMacThread(device, rows, exportPath, job);
        },
        [this, rows, exportPath](PRCleanExportReport report, const devjobs::JobError &error) {
            if (error.is(devjobs::JobError::Kind::PhoneGone) && report.written == 0) {
                // Its phone left before the job began.
                report.deviceGone = true;
                report.failed = int(rows.size());
                report.exportPath = exportPath;
                report.message = PRCleanExport::deviceGoneText();
            }
            m_exporting = false;
            updateActions();
            const QString text = report.ok()
                ? tr("%n file(s) exported.", nullptr, report.written)
                : (report.message.isEmpty() ? tr("%n file(s) exported; some could not be copied.", nullptr,
                                                 report.written)
                                            : report.message);
            tell(text);
            if (report.written > 0)
                m_reveal(report.exportPath);
            Q_EMIT exportEnded(report.ok(), text);
        });
}

void PRCleanViewController::exportSelected(Kind kind)
{
    exportFiles(m_results->requestForFiles(selectedFileRows(kind)).files, false);
}

void PRCleanViewController::exportFolder(Kind kind)
{
    PRCleanKindPane *pane = paneOf(kind);
    const QModelIndex folder = pane ? pane->selectedFolderIndex() : QModelIndex();
    if (folder.isValid())
        exportFiles(m_results->requestForFolder(folder).files, true);
}

void PRCleanViewController::ExportTheJunkFiletoMac()
{
    exportSelected(Kind::Junk);
}

void PRCleanViewController::ExportJunkFilestoMac()
{
    exportFolder(Kind::Junk);
}

void PRCleanViewController::ExportTheCacheFileToMac()
{
    exportSelected(Kind::Cache);
}

void PRCleanViewController::ExportCacheFilesToMac()
{
    exportFolder(Kind::Cache);
}

void PRCleanViewController::ExportTheCookieFiletoMac()
{
    exportSelected(Kind::Cookie);
}

void PRCleanViewController::ExportCookieFilestoMac()
{
    exportFolder(Kind::Cookie);
}

void PRCleanViewController::ExportTheSyncedFiletoMac()
{
    exportSelected(Kind::SyncFailed);
}

void PRCleanViewController::ExportSyncedfilestoMac()
{
    exportFiles(m_results->requestForKind(Kind::SyncFailed).files, true);
}
