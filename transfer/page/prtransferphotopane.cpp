#include "transfer/page/prtransferphotopane.h"

#include "filesafety/primages.h"
#include "filesafety/prreveal.h"
#include "platform/notificationcenter.h"
#include "results/prflowlayout.h"
#include "transfer/page/nophonelabel.h"
#include "transfer/page/prphotobrowserview.h"
#include "transfer/photos/prphotobrowsermodel.h"

#include <QAction>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The number of failed photos named in a notice; the rest are counted.
constexpr int kNamedFailures = 12;

} // namespace

PRTransferPhotoPane::PRTransferPhotoPane(QWidget *pane, QObject *parent)
    : QObject(parent)
    , m_model(new PRPhotoBrowserModel(this))
    , m_window(pane)
{
    qRegisterMetaType<PhotoExportReport>();
    m_notice = [this](const QString &title, const QString &text) {
        auto *box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok,
                                    m_window ? m_window->window() : nullptr);
        box->setTextFormat(Qt::PlainText);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    };
    m_reveal = [](const QString &folder) { PRReveal::showFolderLater(folder); };

    // The load's items and its end come on this thread, only for the load shown.
    m_library.setCallbacks([this](int, quint64 generation) { UpImageDataSource(generation); },
                           [this](int deviceId, quint64 generation, PhotoLibraryLoad::Result result) {
                               ScanphotoFinishHandle(deviceId, generation, result);
                           });
    buildWidgets(pane);
    updateActions();
}

PRTransferPhotoPane::~PRTransferPhotoPane()
{
    // The library and the export lane cancel their jobs and wait for none;
    // a job stuck in a phone's read ends on its own.
    m_library.setCallbacks(nullptr, nullptr);
    m_model->cancelAndWait();
}

void PRTransferPhotoPane::buildWidgets(QWidget *pane)
{
    auto action = [this](const QString &text, const QKeySequence &shortcut, auto slot) {
        auto *a = new QAction(text, this);
        a->setShortcut(shortcut);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    exportSelectedAction = action(tr("Export Selected to Folder…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E),
                                  &PRTransferPhotoPane::ExportSelectedPhotoToMac);
    exportAllAction = action(tr("Export All to Folder…"), QKeySequence(Qt::CTRL | Qt::Key_E),
                             &PRTransferPhotoPane::ExportAllPhotoToMac);
    selectAllAction = action(tr("Select All"), QKeySequence(), &PRTransferPhotoPane::selectAll);
    unselectAllAction = action(tr("Deselect All"), QKeySequence(), &PRTransferPhotoPane::unselectAll);
    pane->addAction(exportSelectedAction);
    pane->addAction(exportAllAction);

    imageBroswerView = new PRPhotoBrowserView(m_model, pane);
    // Only the photo browser has this menu.
    photoMenu = new QMenu(tr("menu"), imageBroswerView);
    photoMenu->setObjectName(QStringLiteral("photoMenu"));
    photoMenu->addAction(exportSelectedAction);
    photoMenu->addAction(exportAllAction);
    connect(imageBroswerView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { photoMenu->popup(imageBroswerView->viewport()->mapToGlobal(at)); });
    connect(imageBroswerView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PRTransferPhotoPane::updateActions);

    // A bar over the browser: actions, what the last export did, the export
    // indicator and the zoom.
    // The buttons wrap rather than cut their titles when the pane is narrow.
    auto *bar = new QHBoxLayout;
    auto *buttons = new PRFlowLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    bar->addLayout(buttons, 1);
    for (QAction *a : {exportSelectedAction, exportAllAction, selectAllAction, unselectAllAction}) {
        auto *button = new QToolButton(pane);
        button->setDefaultAction(a);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        buttons->addWidget(button);
    }
    statusLab = new QLabel(pane);
    statusLab->setObjectName(QStringLiteral("photoStatuslab"));
    statusLab->setTextFormat(Qt::PlainText);
    bar->addWidget(statusLab);
    photoExportProgressor = new QProgressBar(pane);
    photoExportProgressor->setObjectName(QStringLiteral("photoExportProgressor"));
    photoExportProgressor->setMaximumWidth(160);
    photoExportProgressor->setTextVisible(false);
    photoExportProgressor->hide();
    bar->addWidget(photoExportProgressor);
    auto *zoomLab = new QLabel(tr("Size"), pane);
    bar->addWidget(zoomLab);
    zoomSlider = new QSlider(Qt::Horizontal, pane);
    zoomSlider->setObjectName(QStringLiteral("zoomSlider"));
    zoomSlider->setRange(PRPhotoBrowserView::MinZoom, PRPhotoBrowserView::MaxZoom);
    zoomSlider->setValue(PRPhotoBrowserView::DefaultZoom);
    zoomSlider->setFixedWidth(120);
    zoomSlider->setToolTip(tr("Zoom"));
    connect(zoomSlider, &QSlider::valueChanged, this, &PRTransferPhotoPane::zoomSliderDidChange);
    bar->addWidget(zoomSlider);

    // The scanning line under the bar while the load runs.
    auto *scan = new QHBoxLayout;
    scanPhotoImageView = new QLabel(pane);
    scanPhotoImageView->setObjectName(QStringLiteral("scanPhotoImageView"));
    scanPhotoImageView->setPixmap(
        imageNamed(QStringLiteral("photos.png")).scaled(24, 24, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    scanPhotoInfolab = new QLabel(pane);
    scanPhotoInfolab->setObjectName(QStringLiteral("scanPhotoInfolab"));
    scanPhotoInfolab->setTextFormat(Qt::PlainText);
    QFont font = scanPhotoInfolab->font();
    font.setPointSize(11);
    scanPhotoInfolab->setFont(font);
    photoProgress = new QProgressBar(pane);
    photoProgress->setObjectName(QStringLiteral("photoProgress"));
    photoProgress->setRange(0, 0);
    photoProgress->setTextVisible(false);
    photoProgress->setMaximumWidth(200);
    scan->addWidget(scanPhotoImageView);
    scan->addWidget(scanPhotoInfolab);
    scan->addWidget(photoProgress);
    scan->addStretch(1);
    showScanning(false);

    noPhoneLab = makeNoPhoneLabel(pane);

    auto *layout = qobject_cast<QVBoxLayout *>(pane->layout());
    if (!layout)
        layout = new QVBoxLayout(pane);
    layout->addWidget(noPhoneLab);
    layout->addLayout(bar);
    layout->addLayout(scan);
    layout->addWidget(imageBroswerView, 1);
}

void PRTransferPhotoPane::updateActions()
{
    const bool rows = m_model->rowCount() > 0;
    const bool selected = imageBroswerView->selectionModel() && imageBroswerView->selectionModel()->hasSelection();
    const bool free = !isExporting();
    exportSelectedAction->setEnabled(free && selected);
    exportAllAction->setEnabled(free && rows);
    selectAllAction->setEnabled(rows);
    unselectAllAction->setEnabled(selected);
    noPhoneLab->setVisible(tranferDevice() < 0);
}

void PRTransferPhotoPane::showScanning(bool shown)
{
    scanPhotoImageView->setVisible(shown);
    scanPhotoInfolab->setVisible(shown);
    photoProgress->setVisible(shown);
}

PRPhotoItemList PRTransferPhotoPane::imageArray() const
{
    return m_model->items();
}

PRPhotoItemList PRTransferPhotoPane::selectedItems() const
{
    PRPhotoItemList items;
    for (int row : imageBroswerView->selectedRows())
        if (const PRPhotoItemPtr item = m_model->item(row))
            items.append(item);
    return items;
}

// -- load ---------------------------------------------------------------------------

void PRTransferPhotoPane::ShowPhoto(int deviceId)
{
    const quint64 generation = m_library.ShowPhoto(deviceId);
    if (generation == 0) {
        // Already read for this phone: a caller that lost count hears so
        // again (a running load still ends on its own).
        if (m_library.tranferDevice() == deviceId && m_library.bPhotoLoadFinished())
            Q_EMIT loadFinished(deviceId);
        return;
    }
    // The browser shows this load only: whatever another phone showed goes.
    m_model->setLoad(m_library.currentLoad());
    statusLab->clear();
    scanPhotoInfolab->setText(tr("Reading the photos of the phone…"));
    showScanning(true);
    updateActions();
    Q_EMIT loadStarted(deviceId);
}

void PRTransferPhotoPane::UpImageDataSource(quint64 generation)
{
    const std::shared_ptr<PhotoLibraryLoad> load = m_model->load();
    if (!m_library.isCurrent(generation) || !load)
        return;
    // Everything that arrived since the last look.
    m_model->appendItems(load->takeFrom(m_model->rowCount()));
    scanPhotoInfolab->setText(tr("Reading the photos of the phone… %n so far", nullptr, m_model->rowCount()));
    updateActions();
}

void PRTransferPhotoPane::ScanphotoFinishHandle(int deviceId, quint64 generation, PhotoLibraryLoad::Result result)
{
    if (!m_library.isCurrent(generation))
        return;
    showScanning(false);
    if (result == PhotoLibraryLoad::Result::Loaded) {
        UpImageDataSource(generation);
        statusLab->setText(tr("%n photo(s) and movie(s)", nullptr, m_model->rowCount()));
        updateActions();
        // The sidebar's spinner stops on it.
        NotificationCenter::defaultCenter().post(QStringLiteral("photoScanFinished"));
        Q_EMIT loadFinished(deviceId);
        return;
    }
    // What was read belongs to a phone that left or never answered.
    m_model->clear();
    statusLab->setText(result == PhotoLibraryLoad::Result::DeviceGone
                           ? tr("The phone was disconnected before its photos were read.")
                           : tr("The photos of the phone could not be read."));
    updateActions();
    Q_EMIT loadFailed(deviceId);
}

void PRTransferPhotoPane::deviceRemoved(int deviceId)
{
    const bool wasLoading = m_library.tranferDevice() == deviceId && m_library.bImageStartTransfer();
    if (!m_library.deviceRemoved(deviceId))
        return;
    m_model->clear();
    showScanning(false);
    statusLab->setText(tr("The phone was disconnected"));
    m_sheetOpen = false;
    if (!isExporting())
        showExportIndicator(false);
    updateActions();
    if (wasLoading)
        Q_EMIT loadFailed(deviceId);
}

// -- selection and zoom ---------------------------------------------------------------

void PRTransferPhotoPane::zoomSliderDidChange(int value)
{
    imageBroswerView->setZoomValue(value);
    imageBroswerView->viewport()->update();
}

void PRTransferPhotoPane::selectAll()
{
    imageBroswerView->selectAll();
}

void PRTransferPhotoPane::unselectAll()
{
    imageBroswerView->clearSelection();
}

// -- export ----------------------------------------------------------------------------

void PRTransferPhotoPane::ExportSelectedPhotoToMac()
{
    if (isExporting() || selectedItems().isEmpty())
        return;
    m_sheetOpen = true;
    showExportIndicator(true);
    Q_EMIT exportSheetRequested(true);
}

void PRTransferPhotoPane::ExportAllPhotoToMac()
{
    if (isExporting() || m_model->rowCount() == 0)
        return;
    m_sheetOpen = true;
    showExportIndicator(true);
    Q_EMIT exportSheetRequested(false);
}

void PRTransferPhotoPane::exportSheetCancelled()
{
    if (!m_sheetOpen)
        return;
    m_sheetOpen = false;
    if (!isExporting())
        showExportIndicator(false);
}

void PRTransferPhotoPane::exportToFolder(const QString &exportPath, bool selectedOnly)
{
    m_sheetOpen = false;
    const PRPhotoItemList items = selectedOnly ? selectedItems() : imageArray();
    const std::shared_ptr<PhotoLibraryLoad> load = m_model->load();
    if (isExporting() || !load || items.isEmpty() || exportPath.isEmpty()) {
        if (!isExporting())
            showExportIndicator(false);
        return;
    }
    m_run = std::make_shared<PhotoExportRun>(load, items, exportPath);
    statusLab->clear();
    photoExportProgressor->setRange(0, int(items.size()));
    photoExportProgressor->setValue(0);
    showExportIndicator(true);
    using Step = std::pair<int, int>; // items finished, of
    m_exportLane.newGeneration();
    m_exportLane.start<Step>(
        m_run->deviceId(),
        [run = m_run](devjobs::JobContext<Step> &job) {
            run->setProgress([&job](int done, int total) { job.progress({done, total}); });
            PhotoExportReport report = run->run(job);
            run->setProgress({});
            return report;
        },
        [this, exportPath](PhotoExportReport report, const devjobs::JobError &error) {
            // An export its phone never reached has no report of its own.
            if (error.is(devjobs::JobError::Kind::PhoneGone)) {
                report.folder = exportPath;
                report.deviceGone = true;
            }
            ExportSelectedPhotoToMacOnMainThread(report);
        },
        [this](const Step &step) {
            photoExportProgressor->setRange(0, step.second);
            photoExportProgressor->setValue(step.first);
        });
    updateActions();
}

void PRTransferPhotoPane::ExportSelectedPhotoToMacOnMainThread(const PhotoExportReport &report)
{
    if (!m_run)
        return;
    m_run.reset();
    showExportIndicator(false);
    statusLab->setText(tr("%n file(s) exported", nullptr, int(report.written.size())));
    if (report.deviceGone)
        statusLab->setText(tr("The phone was disconnected; %n file(s) exported", nullptr, int(report.written.size())));
    if (!report.failed.isEmpty() && !report.deviceGone) {
        QStringList lines{tr("These photos were not exported:")};
        for (int i = 0; i < report.failed.size() && i < kNamedFailures; ++i)
            lines.append(report.failed[i]);
        if (report.failed.size() > kNamedFailures)
            lines.append(tr("and %n more", nullptr, int(report.failed.size()) - kNamedFailures));
        tell(tr("Not Everything Was Exported"), lines.join(QLatin1Char('\n')));
    }
    // The folder shown once, with its files in it.
    if (!report.written.isEmpty() && m_reveal)
        m_reveal(report.folder);
    updateActions();
    Q_EMIT exportEnded(report);
}

void PRTransferPhotoPane::showExportIndicator(bool shown)
{
    photoExportProgressor->setVisible(shown);
    if (shown && !isExporting())
        photoExportProgressor->setRange(0, 0);
}

void PRTransferPhotoPane::tell(const QString &title, const QString &text)
{
    if (m_notice)
        m_notice(title, text);
}
