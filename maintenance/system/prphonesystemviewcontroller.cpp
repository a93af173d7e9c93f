#include "maintenance/system/prphonesystemviewcontroller.h"

#include "filebrowser/prbrowsercontroller.h"
#include "filesafety/exportpaths.h"
#include "filesafety/primages.h"
#include "filesafety/prreveal.h"
#include "filebrowser/prbrowserpreview.h"
#include "pathtree/prpathfiletablemodel.h"
#include "pathtree/prsystemlibtreecontroller.h"
#include "platform/notificationcenter.h"
#include "platform/paths.h"
#include "platform/plaintext.h"
#include "platform/regularfile.h"
#include "results/prmoviepreview.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

const QString PRPhoneSystemViewController::kDeleteQuestion =
    QStringLiteral("Are you sure you want to permanently delete the selected file(s) from your device?");
const QString PRPhoneSystemViewController::kDeleteInformative = QStringLiteral(
    "CAUTION: Only advanced users should delete files. Because device databases manage many files types, includes "
    "photos and videos, deleting files may lead to unexpected results.");

namespace {

QString lastName(const QString &path)
{
    return path.section(QLatin1Char('/'), -1);
}

QString parentPath(const QString &path)
{
    const qsizetype cut = path.lastIndexOf(QLatin1Char('/'));
    return cut <= 0 ? QStringLiteral("/") : path.left(cut);
}

} // namespace

PRPhoneSystemViewController::PRPhoneSystemViewController(QObject *parent)
    : QObject(parent)
{
    m_confirm = [this](const QString &question, const QString &informative) {
        const std::unique_ptr<QMessageBox> box =
            deleteQuestionBox(m_view ? m_view->window() : nullptr, question, informative);
        box->exec();
        return box->clickedButton() && box->buttonRole(box->clickedButton()) == QMessageBox::AcceptRole;
    };
    m_notice = [this](const QString &title, const QString &text) {
        auto *box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok,
                                    m_view ? m_view->window() : nullptr);
        box->setTextFormat(Qt::PlainText);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    };
    m_reveal = [](const QString &folder) { PRReveal::showFolderLater(folder); };
    m_openMovie = [this](const QString &path) {
        if (showMovView)
            showMovView->setMovie(path);
    };
    m_browser = new PRBrowserController(this);
    m_browser->setNotice([this](const QString &title, const QString &text) {
        if (m_notice)
            m_notice(title, text);
    });
    m_browser->setReveal([this](const QString &folder) {
        if (m_reveal)
            m_reveal(folder);
    });
    connect(m_browser, &PRBrowserController::statusChanged, this, &PRPhoneSystemViewController::updateStatus);
    connect(m_browser, &PRBrowserController::actionEnded, this, &PRPhoneSystemViewController::actionEnded);
    libTreeController = new PRSystemLibTreeController(this);
    libFileController = new PRPathFileTableModel(libTreeController, this);
    libFileSorter = new QSortFilterProxyModel(this);
    libFileSorter->setSourceModel(libFileController);
    buildView();
    buildMenus();
    connect(libTreeController, &PRPathTreeController::refreshOutlineView, this,
            &PRPhoneSystemViewController::refreshOutlineView);
}

std::unique_ptr<QMessageBox> PRPhoneSystemViewController::deleteQuestionBox(QWidget *parent, const QString &question,
                                                                           const QString &informative)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::Warning, QString(), question, QMessageBox::NoButton, parent);
    // Either may name what the phone called its files.
    box->setTextFormat(Qt::PlainText);
    box->setInformativeText(PlainText::markup(informative));
    box->addButton(tr("Deleted"), QMessageBox::AcceptRole);
    QPushButton *cancel = box->addButton(tr("Cancel"), QMessageBox::RejectRole);
    // A delete is never the answer of a stray Enter.
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    return box;
}

PRPhoneSystemViewController::~PRPhoneSystemViewController()
{
    // The lanes cancel the page's jobs and wait for none.
    delete sp;
    delete m_openPanel;
    // The view uses this page's models and hooks: it goes with the page.
    delete m_view;
}

// -- The view ------------------------------------------------------------------------------

void PRPhoneSystemViewController::buildView()
{
    m_view = new QWidget;
    m_view->setObjectName(QStringLiteral("SystemLibView"));
    auto *layout = new QVBoxLayout(m_view);
    layout->setContentsMargins(8, 8, 8, 8);
    noPhoneLab = new QLabel(tr("No iPhone is connected."), m_view);
    noPhoneLab->setObjectName(QStringLiteral("noPhoneLab"));
    noPhoneLab->setAlignment(Qt::AlignCenter);
    QFont big = noPhoneLab->font();
    big.setPointSize(big.pointSize() + 4);
    noPhoneLab->setFont(big);
    layout->addWidget(noPhoneLab);

    showTableView = new QWidget(m_view);
    auto *browser = new QVBoxLayout(showTableView);
    browser->setContentsMargins(0, 0, 0, 0);

    theOutlineView = new QTreeView(showTableView);
    theOutlineView->setModel(libTreeController);
    theOutlineView->setHeaderHidden(true);
    theOutlineView->setUniformRowHeights(true);
    theOutlineView->setIconSize(QSize(18, 18));
    theOutlineView->setContextMenuPolicy(Qt::CustomContextMenu);
    QFont small = theOutlineView->font();
    small.setPointSize(qMax(small.pointSize() - 1, 8));
    theOutlineView->setFont(small);
    theOutlineView->setMinimumWidth(200);
    connect(theOutlineView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PRPhoneSystemViewController::outlineViewSelectionDidChange);

    theTableView = new QTableView(showTableView);
    theTableView->setModel(libFileSorter);
    theTableView->setSortingEnabled(true);
    theTableView->sortByColumn(-1, Qt::AscendingOrder);
    theTableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    theTableView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    theTableView->verticalHeader()->hide();
    theTableView->horizontalHeader()->setStretchLastSection(true);
    theTableView->setFont(small);
    theTableView->setColumnWidth(0, 240);
    theTableView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(theTableView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PRPhoneSystemViewController::tableViewSelectionDidChange);

    showPreview = new QWidget(showTableView);
    auto *preview = new QVBoxLayout(showPreview);
    preview->setContentsMargins(0, 0, 0, 0);
    showImageView = new QLabel(showPreview);
    showImageView->setAlignment(Qt::AlignCenter);
    showImageView->setMinimumSize(180, 180);
    showImageView->setFrameShape(QFrame::StyledPanel);
    showMovView = new PRMoviePreview(showPreview);
    preview->addWidget(showImageView, 1);
    preview->addWidget(showMovView, 1);

    auto *split = new QSplitter(Qt::Horizontal, showTableView);
    split->addWidget(theOutlineView);
    split->addWidget(theTableView);
    split->addWidget(showPreview);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 4);
    split->setStretchFactor(2, 2);
    browser->addWidget(split, 1);
    layout->addWidget(showTableView, 1);

    // The walk's progress line; the browser takes its room once it ends.
    auto *progressLine = new QHBoxLayout;
    progressor = new QProgressBar(m_view);
    progressor->setRange(0, 0);
    progressor->setMaximumWidth(160);
    scanImageView = new QLabel(m_view);
    scanImageView->setPixmap(imageNamed(QStringLiteral("filesystem")).scaled(18, 18, Qt::KeepAspectRatio,
                                                                          Qt::SmoothTransformation));
    infolab = new QLabel(tr("Reading the files of the iPhone..."), m_view);
    progressLine->addWidget(progressor);
    progressLine->addWidget(scanImageView);
    progressLine->addWidget(infolab, 1);
    layout->addLayout(progressLine);

    statusLab = new QLabel(m_view);
    statusLab->setTextFormat(Qt::PlainText);
    statusLab->setWordWrap(true);
    layout->addWidget(statusLab);

    showScanning(false);
    showImageView->show();
    showMovView->hide();
}

void PRPhoneSystemViewController::buildMenus()
{
    rightDownMenu = new QMenu(m_view);
    const auto item = [this](const QString &text, auto slot) {
        QAction *a = rightDownMenu->addAction(text);
        connect(a, &QAction::triggered, this, slot);
        m_rightDownItems.append(a);
    };
    const auto separator = [this] { m_rightDownItems.append(rightDownMenu->addSeparator()); };
    const auto sortBy = [this](int column) {
        return [this, column] { theTableView->sortByColumn(column, Qt::AscendingOrder); };
    };
    item(tr("Select All"), &PRPhoneSystemViewController::SelecteAllFile);
    item(tr("Deselect All"), &PRPhoneSystemViewController::UnSelecteAllFile);
    separator();
    item(tr("Export to Folder..."), &PRPhoneSystemViewController::ExportTheFileToMac);
    item(tr("Export to Documents"), &PRPhoneSystemViewController::ExportTheFileToDocument);
    separator();
    item(tr("Preview"), &PRPhoneSystemViewController::tableViewSelectionDidChange);
    item(tr("Export Folder's Files..."), &PRPhoneSystemViewController::ExportDirFileToMac);
    item(tr("Add File..."), &PRPhoneSystemViewController::addFilesToSystem);
    item(tr("Delete..."), &PRPhoneSystemViewController::RemoveTheFiles);
    item(tr("Sort by Name"), sortBy(PRPathFileTableModel::NameColumn));
    item(tr("Sort by Size"), sortBy(PRPathFileTableModel::SizeColumn));
    item(tr("Sort by Type"), sortBy(PRPathFileTableModel::TypeColumn));
    item(tr("Copy Path"), [this] {
        const QList<PRBrowserFileRef> rows = selectedFiles();
        QStringList paths;
        for (const PRBrowserFileRef &row : rows)
            paths.append(PRPathTreeController::plainLabel(row.filePath));
        if (!paths.isEmpty())
            QGuiApplication::clipboard()->setText(paths.join(QLatin1Char('\n')));
    });
    separator();
    item(tr("Show Documents Folder"), [this] {
        const QString documents = Paths::userPath(QStringLiteral("/Users/%@/Documents"));
        if (m_reveal && QFileInfo(documents).isDir())
            m_reveal(documents);
    });
    Q_ASSERT(m_rightDownItems.size() == RightDownItemCount);

    outlineViewMenu = new QMenu(m_view);
    connect(outlineViewMenu->addAction(tr("Export Folder's Files...")), &QAction::triggered, this,
            &PRPhoneSystemViewController::ExportDirFileToMac);
    connect(outlineViewMenu->addAction(tr("Add File...")), &QAction::triggered, this,
            &PRPhoneSystemViewController::addFilesToSystem);

    connect(theTableView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { contextMenuAt(rightDownMenu, pos, false); });
    connect(theOutlineView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { contextMenuAt(outlineViewMenu, pos, true); });
}

void PRPhoneSystemViewController::contextMenuAt(QMenu *menu, const QPoint &pos, bool outline)
{
    QAbstractItemView *view = outline ? static_cast<QAbstractItemView *>(theOutlineView) : theTableView;
    const int row = view->indexAt(pos).row();
    if (outline)
        m_outlineClickedRow = row;
    else
        m_tableClickedRow = row;
    menuNeedsUpdate(menu);
    menu->popup(view->viewport()->mapToGlobal(pos));
}

void PRPhoneSystemViewController::setClickedRows(int outlineRow, int tableRow)
{
    m_outlineClickedRow = outlineRow;
    m_tableClickedRow = tableRow;
}

void PRPhoneSystemViewController::menuNeedsUpdate(QMenu *menu)
{
    if (menu == outlineViewMenu) {
        const bool on = m_outlineClickedRow >= 0;
        for (QAction *a : menu->actions()) {
            a->setEnabled(on);
            a->setChecked(false);
        }
    } else if (menu == rightDownMenu) {
        const QList<QAction *> items = menu->actions();
        if (m_tableClickedRow >= 0) {
            for (qsizetype i = 0; i < items.size(); ++i)
                items.at(i)->setEnabled(i != SeparatorItem1 && i != SeparatorItem2 && i != SeparatorItem3);
        } else {
            for (QAction *a : items) {
                a->setEnabled(false);
                a->setChecked(false);
            }
        }
    }
}

void PRPhoneSystemViewController::showPhoneSystemView(QWidget *page)
{
    if (!page || !m_view)
        return;
    if (m_view->parentWidget() != page) {
        QLayout *layout = page->layout();
        if (!layout)
            layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_view);
    }
    m_view->show();
    showTableView->show();
    // The image view shows, the movie view waits for a movie.
    showImageView->show();
    showMovView->hide();
}

void PRPhoneSystemViewController::showScanning(bool on)
{
    progressor->setVisible(on);
    scanImageView->setVisible(on);
    infolab->setVisible(on);
    noPhoneLab->setVisible(m_theDevice < 0);
}

void PRPhoneSystemViewController::updateStatus(const QString &text)
{
    statusLab->setText(text);
}

void PRPhoneSystemViewController::tell(const QString &title, const QString &text)
{
    m_browser->tell(title, text);
}

int PRPhoneSystemViewController::pendingWork() const
{
    return m_walkPending + m_browser->pendingActions();
}

bool PRPhoneSystemViewController::isBusy() const
{
    return m_browser->isBusy();
}

void PRPhoneSystemViewController::refreshOutlineView()
{
    const QModelIndex first = libTreeController->index(0, 0);
    if (first.isValid())
        theOutlineView->expand(first);
}

QString PRPhoneSystemViewController::proposedExportName(const QDateTime &now)
{
    return PRExportPaths::proposedExportName(now);
}

// -- The walk ------------------------------------------------------------------------------

void PRPhoneSystemViewController::LookupSystemTree(int deviceId)
{
    if (deviceId < 0)
        return;
    if (deviceId != m_theDevice)
        forget();
    else if (m_bScanStart || m_bLoadFinished)
        return;
    m_theDevice = deviceId;
    m_device = PRBrowserDevice(deviceId);
    m_browser->setDevice(m_device);
    m_bScanStart = true;
    m_lastWalk = {};
    m_longestFilingMs = 0;
    showScanning(true);
    updateStatus(QString());
    Q_EMIT walkStarted();

    ++m_walkPending;
    m_walkLane.start<PRPathEntryBatch>(
        deviceId,
        [device = m_device, limits = m_walkLimits](devjobs::JobContext<PRPathEntryBatch> &job) {
            PRBrowserWalk::Plan plan;
            plan.limits = limits;
            return PRBrowserWalk::walk(
                device, plan, [&job](PRPathEntryBatch batch) { job.progress(std::move(batch)); }, &job);
        },
        [this](const PRBrowserWalk::Report &report, const devjobs::JobError &error) {
            --m_walkPending;
            LookupSystemTreeFinishedOnMainThreadHanld(PRBrowserWalk::settled(report, error));
        },
        [this](const PRPathEntryBatch &batch) { fileBatch(batch); });
}

void PRPhoneSystemViewController::fileBatch(const PRPathEntryBatch &batch)
{
    QElapsedTimer timer;
    timer.start();
    libTreeController->fileEntries(batch);
    m_longestFilingMs = qMax(m_longestFilingMs, timer.elapsed());
}

void PRPhoneSystemViewController::LookupSystemTreeFinishedOnMainThreadHanld(const PRBrowserWalk::Report &report)
{
    m_lastWalk = report;
    m_bScanStart = false;
    m_device.handle = report.handle;
    m_device.udid = report.udid;
    m_browser->setDevice(m_device);
    showScanning(false);
    if (report.finished) {
        m_bLoadFinished = true;
        updateStatus(report.message.isEmpty() ? tr("%n file(s)", nullptr, int(qMin<qint64>(report.files, INT_MAX)))
                                              : report.message);
        NotificationCenter::defaultCenter().post(QStringLiteral("SystemlibhasFinished"));
        Q_EMIT walkEnded(true, report.message);
        return;
    }
    // Half a tree is not kept: a new walk starts from nothing.
    const int device = m_theDevice;
    const PRBrowserDevice bound = m_device;
    forget();
    m_theDevice = device;
    m_device = bound;
    m_browser->setDevice(m_device);
    showScanning(false);
    updateStatus(report.message);
    Q_EMIT walkEnded(false, report.message);
}

void PRPhoneSystemViewController::deviceRemoved(int deviceId)
{
    if (deviceId != m_theDevice || deviceId < 0)
        return;
    const bool walking = m_bScanStart;
    forget();
    const QString why = tr("The iPhone was disconnected.");
    updateStatus(why);
    if (walking)
        Q_EMIT walkEnded(false, why);
}

void PRPhoneSystemViewController::forget()
{
    ++m_generation;
    m_walkLane.newGeneration();
    m_walkPending = 0;
    m_browser->forget();
    m_bScanStart = false;
    m_bLoadFinished = false;
    m_bExportFileNode = false;
    m_bExportDirFile = false;
    m_exportRows.clear();
    m_uploadFolder.clear();
    if (sp)
        sp->hide();
    if (m_openPanel)
        m_openPanel->hide();
    libFileController->setFolder(nullptr);
    libTreeController->clearTree();
    showImageView->clear();
    showMovView->stop();
    showMovView->hide();
    showImageView->show();
    m_previewPath.clear();
    m_theDevice = -1;
    m_device = PRBrowserDevice();
    showScanning(false);
}

// -- Showing -------------------------------------------------------------------------------

PRPhoneSystemDirNode *PRPhoneSystemViewController::selectedFolder() const
{
    const QModelIndexList rows = theOutlineView->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return nullptr;
    PRPathDirNode *folder = libTreeController->dirNodeAt(rows.first());
    return folder ? folder->as<PRPhoneSystemDirNode>() : nullptr;
}

void PRPhoneSystemViewController::outlineViewSelectionDidChange()
{
    if (libTreeController->BRefreshTreeFlag())
        return;
    PRPhoneSystemDirNode *folder = selectedFolder();
    if (!folder)
        return;
    libFileController->setFolder(folder);
    theTableView->clearSelection();
    theTableView->viewport()->update();
}

QList<PRBrowserFileRef> PRPhoneSystemViewController::selectedFiles() const
{
    QList<int> rows;
    for (const QModelIndex &index : theTableView->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    QList<PRBrowserFileRef> refs;
    for (int row : rows) {
        const QModelIndex source = libFileSorter->mapToSource(libFileSorter->index(row, 0));
        if (const PRPathFileNode *node = libFileController->fileNodeAt(source.row())) {
            const bool copied = node->btransfer() && !node->transferPath().isEmpty();
            refs.append({node->filePath(), node->isFile(), copied ? node->transferPath() : QString()});
        }
    }
    return refs;
}

PRPathFileNode *PRPhoneSystemViewController::rowForPath(const QString &devicePath) const
{
    PRPhoneSystemDirNode *root = libTreeController->systemRoot();
    PRPathDirNode *folder = root ? libTreeController->folderAtPath(root, parentPath(devicePath)) : nullptr;
    return folder ? folder->fileChildNamed(lastName(devicePath)) : nullptr;
}

void PRPhoneSystemViewController::showPicture(const QImage &image, const QString &local)
{
    QPixmap pixmap = image.isNull() ? imageNamed(QStringLiteral("document")) : QPixmap::fromImage(image);
    const QSize room = showImageView->size().expandedTo(QSize(64, 64));
    if (pixmap.width() > room.width() || pixmap.height() > room.height())
        pixmap = pixmap.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    showMovView->stop();
    showMovView->hide();
    showImageView->show();
    showImageView->setPixmap(pixmap);
    m_previewPath = local;
    Q_EMIT previewShown(local);
}

void PRPhoneSystemViewController::showMovie(const QString &local)
{
    showImageView->hide();
    showMovView->show();
    if (m_openMovie)
        m_openMovie(local);
    m_previewPath = local;
    Q_EMIT previewShown(local);
}

void PRPhoneSystemViewController::showTypeIcon(const QString &fileName, bool folder)
{
    // The type's icon: the file is not copied, read or opened.
    const QString themeName = folder ? QStringLiteral("folder") : PRBrowserPreview::iconNameForFile(fileName);
    const QIcon fallback = folder && m_view ? m_view->style()->standardIcon(QStyle::SP_DirIcon)
                                            : iconNamed(QStringLiteral("document"));
    const QIcon icon = QIcon::hasThemeIcon(themeName) ? QIcon::fromTheme(themeName) : fallback;
    QPixmap pixmap = icon.pixmap(128, 128);
    if (pixmap.isNull())
        pixmap = imageNamed(QStringLiteral("document"));
    showMovView->stop();
    showMovView->hide();
    showImageView->show();
    showImageView->setPixmap(pixmap);
    m_previewPath.clear();
    Q_EMIT previewShown(QString());
}

void PRPhoneSystemViewController::tableViewSelectionDidChange()
{
    const QList<PRBrowserFileRef> refs = selectedFiles();
    if (refs.size() != 1 || !m_device.isValid())
        return;
    const PRBrowserFileRef ref = refs.first();
    PRPathFileNode *node = rowForPath(ref.filePath);
    if (!node)
        return;
    if (!node->isFile()) {
        showTypeIcon(node->fileName(), true);
        return;
    }
    const PRBrowserPreview::Kind kind = PRBrowserPreview::kindOfType(node->fileType());
    if (kind == PRBrowserPreview::Kind::Other) {
        showTypeIcon(node->fileName(), false);
        return;
    }
    const qint64 cap = kind == PRBrowserPreview::Kind::Movie ? PRBrowserActions::kMaxPreviewMovieBytes
                                                             : PRBrowserActions::kMaxPreviewPictureBytes;
    m_browser->preview(
        ref, cap,
        [kind](const QString &local) {
            return kind == PRBrowserPreview::Kind::Picture ? PRBrowserPreview::decodePicture(local) : QImage();
        },
        [this, ref, kind](const QString &local, const QImage &image) {
            // Only a whole copy marks the row: a failed copy is tried
            // again on the next selection.
            if (local != ref.localCopy) {
                if (PRPathFileNode *row = rowForPath(ref.filePath)) {
                    row->setBtransfer(true);
                    row->setTransferPath(local);
                }
            }
            if (kind == PRBrowserPreview::Kind::Movie)
                showMovie(local);
            else
                showPicture(image, local);
        });
}

// -- Actions -------------------------------------------------------------------------------

void PRPhoneSystemViewController::SelecteAllFile()
{
    theTableView->selectAll();
}

void PRPhoneSystemViewController::UnSelecteAllFile()
{
    theTableView->clearSelection();
}

void PRPhoneSystemViewController::ExportTheFileToMac()
{
    const QList<PRBrowserFileRef> rows = selectedFiles();
    if (rows.isEmpty() || m_browser->isBusy() || !m_device.isValid())
        return;
    m_exportRows = rows;
    m_bExportFileNode = true;
    m_bExportDirFile = false;
    exportTheSelectedToMac();
}

void PRPhoneSystemViewController::ExportDirFileToMac()
{
    PRPhoneSystemDirNode *folder = selectedFolder();
    if (!folder || m_browser->isBusy() || !m_device.isValid())
        return;
    QList<PRBrowserFileRef> rows;
    for (const PRPathFileNode *child : folder->fileChildren())
        rows.append({child->filePath(), child->isFile(), QString()});
    if (rows.isEmpty())
        return;
    m_exportRows = rows;
    m_bExportDirFile = true;
    m_bExportFileNode = false;
    exportTheSelectedToMac();
}

void PRPhoneSystemViewController::exportTheSelectedToMac()
{
    const QString proposed = proposedExportName(QDateTime::currentDateTime());
    if (m_chooseExportPath) {
        const QString path = m_chooseExportPath(proposed);
        if (path.isEmpty()) {
            m_exportRows.clear();
            return;
        }
        startExport(path);
        return;
    }
    delete sp;
    sp = new QFileDialog(m_view ? m_view->window() : nullptr);
    sp->setObjectName(QStringLiteral("systemExportSheet"));
    sp->setAcceptMode(QFileDialog::AcceptSave);
    sp->setFileMode(QFileDialog::AnyFile);
    sp->setOption(QFileDialog::DontUseNativeDialog);
    sp->setDirectory(QDir::homePath());
    sp->selectFile(proposed);
    sp->setWindowModality(Qt::WindowModal);
    connect(sp, &QFileDialog::finished, this, &PRPhoneSystemViewController::savePanelDidEnd);
    sp->open();
}

void PRPhoneSystemViewController::savePanelDidEnd(int returnCode)
{
    const QString path = sp ? sp->selectedFiles().value(0) : QString();
    if (sp)
        sp->hide();
    if (returnCode != QDialog::Accepted || path.isEmpty()) {
        m_exportRows.clear();
        return;
    }
    startExport(path);
}

void PRPhoneSystemViewController::startExport(const QString &path)
{
    const QList<PRBrowserFileRef> rows = m_exportRows;
    m_exportRows.clear();
    const bool files = m_bExportFileNode;
    const bool folder = m_bExportDirFile;
    if (files)
        m_bExportFileNode = false;
    else if (folder)
        m_bExportDirFile = false;
    if ((!files && !folder) || rows.isEmpty())
        return;
    m_exportPath = path;
    if (!m_browser->startAction(tr("Copying to %1...").arg(path)))
        return;
    const PRBrowserDevice device = m_device;
    m_browser->run(
        [=](const devjobs::JobControl &job) {
            return files ? PRBrowserActions::copyFiles(device, rows, path, {}, false, &job)
                         : PRBrowserActions::mirror(device, rows, path, &job);
        },
        {}, path);
}

void PRPhoneSystemViewController::ExportTheFileToDocument()
{
    const QList<PRBrowserFileRef> rows = selectedFiles();
    if (rows.isEmpty() || !m_browser->startAction(tr("Copying to Documents...")))
        return;
    const QString folder = Paths::userPath(QStringLiteral("/Users/%@/Documents"));
    const PRBrowserDevice device = m_device;
    m_browser->run(
        [=](const devjobs::JobControl &job) { return PRBrowserActions::copyFiles(device, rows, folder, {}, true, &job); },
        {}, folder);
}

void PRPhoneSystemViewController::RemoveTheFiles()
{
    // The rows are taken now, before the question: the answer is about them.
    const QList<PRBrowserFileRef> rows = selectedFiles();
    if (rows.isEmpty() || m_browser->isBusy() || !m_device.isValid())
        return;
    if (m_bScanStart) {
        // A file deleted now could come back with a listing still on its way.
        updateStatus(tr("Files can be deleted once the iPhone's files are read."));
        return;
    }
    // And so is the phone: the question runs an event loop, in which the
    // phone may leave or another one be shown.
    const PRBrowserDevice device = m_device;
    const quint64 generation = m_generation;
    if (!m_confirm || !m_confirm(tr(kDeleteQuestion.toUtf8().constData()), tr(kDeleteInformative.toUtf8().constData())))
        return;
    if (generation != m_generation || !(m_device == device) || m_bScanStart) {
        const QString why =
            tr("Nothing was deleted: the iPhone the files were chosen on is no longer the one shown.");
        tell(tr("Not deleted"), why);
        Q_EMIT actionEnded(false, why);
        return;
    }
    if (!m_browser->startAction(tr("Deleting %n file(s)...", nullptr, int(rows.size())))) {
        const QString why = tr("Nothing was deleted: another action on the iPhone is still running.");
        tell(tr("Not deleted"), why);
        Q_EMIT actionEnded(false, why);
        return;
    }
    m_browser->run(
        // A phone that gave no UDID is not bound well enough to delete on.
        [device, rows](const devjobs::JobControl &job) {
            return PRBrowserActions::remove(device.udid.isEmpty() ? PRBrowserDevice() : device, rows, job);
        },
        [this](const PRBrowserReport &report) {
            // Only what the phone removed leaves the table.
            QList<PRPathFileNode *> gone;
            for (const QString &path : report.donePaths) {
                if (PRPathFileNode *row = rowForPath(path))
                    gone.append(row);
            }
            for (const PRPathFileNode *row : std::as_const(gone)) {
                if (row->transferPath() == m_previewPath) {
                    showImageView->clear();
                    m_previewPath.clear();
                }
            }
            libTreeController->removeFileRows(gone);
        });
}

void PRPhoneSystemViewController::addFilesToSystem()
{
    PRPhoneSystemDirNode *folder = selectedFolder();
    if (!folder || m_browser->isBusy() || !m_device.isValid())
        return;
    if (m_bScanStart) {
        updateStatus(tr("Files can be added once the iPhone's files are read."));
        return;
    }
    m_uploadFolder = folder->filePath();
    if (m_chooseFile) {
        const QString file = m_chooseFile();
        const QString target = m_uploadFolder;
        m_uploadFolder.clear();
        if (!file.isEmpty())
            startUpload(target, file);
        return;
    }
    delete m_openPanel;
    m_openPanel = new QFileDialog(m_view ? m_view->window() : nullptr);
    m_openPanel->setObjectName(QStringLiteral("systemAddFileSheet"));
    m_openPanel->setAcceptMode(QFileDialog::AcceptOpen);
    m_openPanel->setFileMode(QFileDialog::ExistingFile);
    m_openPanel->setOption(QFileDialog::DontUseNativeDialog);
    m_openPanel->setWindowModality(Qt::WindowModal);
    connect(m_openPanel, &QFileDialog::finished, this, &PRPhoneSystemViewController::openPanelDidEnd);
    m_openPanel->open();
}

void PRPhoneSystemViewController::openPanelDidEnd(int returnCode)
{
    const QString file = m_openPanel ? m_openPanel->selectedFiles().value(0) : QString();
    if (m_openPanel)
        m_openPanel->hide();
    const QString target = m_uploadFolder;
    m_uploadFolder.clear();
    if (returnCode != QDialog::Accepted || file.isEmpty() || target.isEmpty())
        return;
    startUpload(target, file);
}

void PRPhoneSystemViewController::startUpload(const QString &folderPath, const QString &localFile)
{
    m_addFilePath = localFile;
    const QString name = QFileInfo(localFile).fileName();
    PRPhoneSystemDirNode *root = libTreeController->systemRoot();
    PRPathDirNode *folder = root ? libTreeController->folderAtPath(root, folderPath) : nullptr;
    if (folder && folder->fileChildNamed(name)) {
        tell(tr("Not added"), tr("%1 already exists in this folder on the iPhone; nothing was replaced.")
                                  .arg(PRPathTreeController::plainLabel(name)));
        Q_EMIT actionEnded(false, statusLab->text());
        return;
    }
    if (!m_browser->startAction(tr("Adding %1...").arg(name)))
        return;
    const PRBrowserDevice device = m_device;
    m_browser->run(
        [device, folderPath, localFile](const devjobs::JobControl &job) {
            return PRBrowserActions::upload(device, {}, folderPath, localFile, PRBrowserActions::IfTaken::Refuse, &job);
        },
        [this](const PRBrowserReport &report) {
            if (!report.ok)
                return;
            // The new row, filed like a walked entry, shows in its folder's table.
            PRPathBatchBuilder builder(PRPathTreeMember::System);
            builder.add(report.writtenPath, true, report.uploadedSize);
            libTreeController->fileEntries(builder.take());
        });
}
