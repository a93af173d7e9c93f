#include "transfer/page/prtransfermediapane.h"

#include "filesafety/primages.h"
#include "filesafety/prreveal.h"
#include "platform/paths.h"
#include "results/prflowlayout.h"
#include "results/prmoviepreview.h"
#include "transfer/itunesscripthandler.h"
#include "transfer/musiclibrary.h"
#include "transfer/page/prmusicartwork.h"
#include "transfer/page/prtransfermusiccontroller.h"

#include <QAction>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The number of failed tracks named in a notice; the rest are counted.
constexpr int kNamedFailures = 12;
// The artwork's longest side as shown beside the table.
constexpr int kArtworkSide = 240;

bool isBlank(const QString &text)
{
    return text.trimmed().isEmpty();
}

} // namespace

const QString PRTransferMediaPane::kDefaultArtwork = QStringLiteral("defaultMuisc");

const QString PRTransferMediaPane::kDeleteQuestion =
    QStringLiteral("Are you sure you want to permanently delete the selected file(s) from your device?");

PRTransferMediaPane::PRTransferMediaPane(Kind kind, PRMusicLibrary &library, PRTransferMusicController *controller,
                                         QTableView *table, QWidget *pane, std::shared_ptr<iTunesScriptHandler> handler,
                                         QObject *parent)
    : QObject(parent)
    , m_kind(kind)
    , m_library(library)
    , m_controller(controller)
    , m_table(table)
    , m_handler(std::move(handler))
{
    m_confirm = [this](const QString &question) {
        QMessageBox box(QMessageBox::Warning, QString(), question, QMessageBox::NoButton, m_table->window());
        QPushButton *deleted = box.addButton(tr("Deleted"), QMessageBox::AcceptRole);
        // Enter keeps the files: only a deliberate click deletes.
        box.setDefaultButton(box.addButton(tr("Cancel"), QMessageBox::RejectRole));
        box.exec();
        return box.clickedButton() == deleted;
    };
    m_notice = [this](const QString &title, const QString &text) {
        auto *box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, m_table->window());
        box->setTextFormat(Qt::PlainText);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    };
    m_reveal = [](const QString &folder) { PRReveal::showFolderLater(folder); };
    buildWidgets(pane);
    updateActions();
    showLoadMessage();
    setLibraryState(LibraryState::NoPhone);
}

// The lanes cancel the run and the copies; none is waited for.
PRTransferMediaPane::~PRTransferMediaPane() = default;

void PRTransferMediaPane::buildWidgets(QWidget *pane)
{
    const bool music = m_kind == Kind::Music;
    auto action = [this](const QString &text, auto slot) {
        auto *a = new QAction(text, this);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    playAction = action(tr("Play"), [this] {
        const QModelIndex current = m_table->currentIndex();
        play(current.isValid() ? current.row() : -1);
    });
    selectAllAction = action(tr("Select All"), &PRTransferMediaPane::selectAll);
    unselectAllAction = action(tr("Deselect All"), &PRTransferMediaPane::unselectAll);
    deleteAction = action(tr("Delete from Phone…"), &PRTransferMediaPane::deleteSelected);
    if (music)
        exportSelectedAction = action(tr("Export Selected to Folder…"), [this] { Q_EMIT exportSheetRequested(true); });
    exportAllAction = action(music ? tr("Export All Music to Folder…") : tr("Export All Videos to Folder…"),
                             [this] { Q_EMIT exportSheetRequested(false); });
    exportDocumentsAction = action(tr("Export Selected to Documents"), &PRTransferMediaPane::exportSelectedToDocuments);
    copyAction = action(tr("Copy to Music Library"), &PRTransferMediaPane::copySelectedToLibrary);
    copyAllAction = action(tr("Copy All to Music Library"), &PRTransferMediaPane::copyAllToLibrary);
    if (music)
        playlistAction = action(tr("Add to the “%1” Playlist").arg(MusicCopyToLibraryRun::kPlaylist),
                                &PRTransferMediaPane::addSelectedToPlaylist);

    menu = new QMenu(m_table);
    menu->setObjectName(music ? QStringLiteral("musicMenu") : QStringLiteral("videoMenu"));
    menu->addAction(playAction);
    menu->addSeparator();
    menu->addAction(selectAllAction);
    menu->addAction(unselectAllAction);
    menu->addSeparator();
    if (exportSelectedAction)
        menu->addAction(exportSelectedAction);
    menu->addAction(exportAllAction);
    menu->addAction(exportDocumentsAction);
    menu->addSeparator();
    menu->addAction(copyAction);
    menu->addAction(copyAllAction);
    if (playlistAction)
        menu->addAction(playlistAction);
    menu->addSeparator();
    menu->addAction(deleteAction);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_table, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { menu->popup(m_table->viewport()->mapToGlobal(at)); });
    connect(m_table, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) { play(index.row()); });

    // A bar of buttons over the table, the player beside it.
    // The buttons wrap rather than cut their titles when the pane is narrow;
    // the status stays at the right.
    auto *bar = new QHBoxLayout;
    auto *buttons = new PRFlowLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    bar->addLayout(buttons, 1);
    auto button = [&](QAction *a, QMenu *more = nullptr) {
        auto *b = new QToolButton(pane);
        b->setDefaultAction(a);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        if (more) {
            b->setMenu(more);
            b->setPopupMode(QToolButton::MenuButtonPopup);
        }
        buttons->addWidget(b);
    };
    auto *exportMenu = new QMenu(pane);
    if (exportSelectedAction)
        exportMenu->addAction(exportSelectedAction);
    exportMenu->addAction(exportAllAction);
    exportMenu->addAction(exportDocumentsAction);
    auto *copyMenu = new QMenu(pane);
    copyMenu->addAction(copyAction);
    copyMenu->addAction(copyAllAction);
    if (playlistAction)
        copyMenu->addAction(playlistAction);
    button(playAction);
    button(selectAllAction);
    button(unselectAllAction);
    button(exportSelectedAction ? exportSelectedAction : exportAllAction, exportMenu);
    button(copyAction, copyMenu);
    button(deleteAction);
    statusLab = new QLabel(pane);
    statusLab->setTextFormat(Qt::PlainText);
    bar->addWidget(statusLab);
    exportProgressor = new QProgressBar(pane);
    exportProgressor->setObjectName(music ? QStringLiteral("musicExportProgressor")
                                          : QStringLiteral("videoExportProgressor"));
    exportProgressor->setMaximumWidth(160);
    exportProgressor->setTextVisible(false);
    exportProgressor->hide();
    bar->addWidget(exportProgressor);

    auto *side = new QVBoxLayout;
    if (music) {
        imageView = new QLabel(pane);
        imageView->setObjectName(QStringLiteral("musicImageView"));
        imageView->setAlignment(Qt::AlignCenter);
        imageView->setFixedHeight(kArtworkSide);
        imageView->setPixmap(imageNamed(kDefaultArtwork));
        titleLab = new QLabel(pane);
        titleLab->setObjectName(QStringLiteral("musicTitlelab"));
        QFont big = titleLab->font();
        big.setPointSize(18);
        titleLab->setFont(big);
        artistLab = new QLabel(pane);
        artistLab->setObjectName(QStringLiteral("musicArtistlab"));
        QFont small = artistLab->font();
        small.setPointSize(13);
        artistLab->setFont(small);
        for (QLabel *label : {titleLab, artistLab}) {
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        }
        side->addWidget(imageView);
        side->addWidget(titleLab);
        side->addWidget(artistLab);
    }
    progress = new QProgressBar(pane);
    progress->setObjectName(music ? QStringLiteral("musicProgress") : QStringLiteral("videoProgress"));
    progress->setRange(0, 0);
    progress->setTextVisible(false);
    progress->hide();
    side->addWidget(progress);
    playView = new PRMoviePreview(pane);
    playView->setObjectName(music ? QStringLiteral("musicPlayView") : QStringLiteral("videoPlayView"));
    // A track is heard, not seen: its artwork stands above the player.
    playView->setPictureShown(!music);
    playView->hide();
    side->addWidget(playView, music ? 0 : 1);
    if (music)
        side->addStretch(1);

    auto *body = new QHBoxLayout;
    body->addWidget(m_table, 1);
    auto *sideHost = new QWidget(pane);
    sideHost->setLayout(side);
    sideHost->setFixedWidth(280);
    body->addWidget(sideHost);

    scanInfolab = new QLabel(pane);
    scanInfolab->setObjectName(music ? QStringLiteral("scanMusicInfolab") : QStringLiteral("scanVideoInfolab"));
    scanInfolab->setTextFormat(Qt::PlainText);
    scanInfolab->setWordWrap(true);
    scanInfolab->setAlignment(Qt::AlignCenter);
    scanInfolab->hide();

    auto *layout = qobject_cast<QVBoxLayout *>(pane->layout());
    if (!layout)
        layout = new QVBoxLayout(pane);
    layout->addLayout(bar);
    layout->addWidget(scanInfolab);
    layout->addLayout(body, 1);

    connect(m_controller, &QAbstractItemModel::modelReset, this, &PRTransferMediaPane::updateActions);
    connect(m_controller, &QAbstractItemModel::modelReset, this, &PRTransferMediaPane::showLoadMessage);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        updateActions();
        tableViewSelectionDidChange();
    });
}

void PRTransferMediaPane::updateActions()
{
    const bool rows = m_controller->rowCount() > 0;
    const bool selected = m_table->selectionModel() && m_table->selectionModel()->hasSelection();
    const bool free = !isBusy();
    playAction->setEnabled(selected);
    selectAllAction->setEnabled(rows);
    unselectAllAction->setEnabled(selected);
    deleteAction->setEnabled(free && selected);
    if (exportSelectedAction)
        exportSelectedAction->setEnabled(free && selected);
    exportAllAction->setEnabled(free && rows);
    exportDocumentsAction->setEnabled(free && selected);
    copyAction->setEnabled(free && selected);
    copyAllAction->setEnabled(free && rows);
    if (playlistAction) {
        const PRTranMusicList tracks = selected ? selectedTracks() : PRTranMusicList();
        const auto current = load();
        playlistAction->setEnabled(free && current && std::any_of(tracks.begin(), tracks.end(), [&](const auto &track) {
                                       return !current->localCopy(*track).isEmpty();
                                   }));
    }
}

std::shared_ptr<MusicLibraryLoad> PRTransferMediaPane::load() const
{
    return m_library.currentLoad();
}

PRTranMusicList PRTransferMediaPane::selectedTracks() const
{
    PRTranMusicList tracks;
    if (!m_table->selectionModel())
        return tracks;
    QList<int> rows;
    for (const QModelIndex &index : m_table->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    const PRTranMusicList &all = m_controller->tracks();
    for (int row : rows)
        if (row >= 0 && row < all.size())
            tracks.append(all[row]);
    return tracks;
}

QString PRTransferMediaPane::documentsFolder() const
{
    return m_documents.isEmpty() ? Paths::userPath(QStringLiteral("/Users/%@/Documents")) : m_documents;
}

// -- play ---------------------------------------------------------------------------

void PRTransferMediaPane::play(int row)
{
    showTrack(row, true);
}

void PRTransferMediaPane::tableViewSelectionDidChange()
{
    if (!m_table->selectionModel() || m_controller->rowCount() == 0)
        return;
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    const QModelIndex current = m_table->currentIndex();
    const int row = current.isValid() && m_table->selectionModel()->isRowSelected(current.row(), {}) ? current.row()
                                                                                                      : rows.first().row();
    showTrack(row, false);
}

void PRTransferMediaPane::showTrack(int row, bool start)
{
    const auto current = load();
    const PRTranMusicList &tracks = m_controller->tracks();
    if (!current || row < 0 || row >= tracks.size())
        return;
    const PRTranMusicNodePtr track = tracks[row];
    // What the library does not say is shown empty, never the last track's.
    if (titleLab)
        titleLab->setText(isBlank(track->musicTitle) ? QString() : track->musicTitle);
    if (artistLab)
        artistLab->setText(isBlank(track->musicArtist) ? QString() : track->musicArtist);
    const quint64 generation = ++m_playGeneration;
    m_latestPlay->store(generation);
    const QString local = current->localCopy(*track);
    // The copy shown already keeps its artwork while it is read again.
    if (local.isEmpty() || local != m_playingPath)
        showArtwork({});
    if (!local.isEmpty()) {
        startPlaying(track, local, start);
        loadArtwork(local, generation);
        return;
    }
    progress->show();
    // The download runs off the GUI thread, one at a time; a newer choice
    // skips the downloads still waiting, and a newer choice or the phone's
    // removal makes the end of this one show nothing. A choice by selection
    // quietly shows nothing when the copy fails; a play says why.
    // Every download, skipped or not, reports back once: until then it
    // counts as pending.
    ++m_pendingCopies;
    const bool withArtwork = imageView != nullptr;
    struct Copied
    {
        bool wanted = false;
        QString made;
        QImage artwork;
    };
    m_playLane.start(
        current->deviceId(),
        [current, track, generation, withArtwork, latest = m_latestPlay,
         oneAtATime = m_oneCopyAtATime](devjobs::JobControl &job) {
            std::lock_guard lock(*oneAtATime);
            Copied result;
            result.wanted = latest->load() == generation && !job.cancelled();
            const bool copied = result.wanted && current->CopyMusictoMacThread(track);
            result.made = copied ? current->localCopy(*track) : QString();
            if (withArtwork && copied)
                result.artwork = PRMusicArtwork::artworkOf(result.made, kArtworkSide);
            return result;
        },
        [this, track, generation, start](const Copied &result, const devjobs::JobError &) {
            --m_pendingCopies;
            if (!result.wanted || generation != m_playGeneration)
                return;
            progress->hide();
            if (result.made.isEmpty()) {
                if (start)
                    tell(tr("Cannot Play"), tr("“%1” could not be copied from the phone.").arg(track->musicTitle.trimmed()));
                return;
            }
            startPlaying(track, result.made, start);
            showArtwork(result.artwork);
            updateActions();
        });
}

void PRTransferMediaPane::loadArtwork(const QString &localCopy, quint64 generation)
{
    if (!imageView)
        return;
    const auto current = load();
    if (!current)
        return;
    ++m_pendingCopies;
    m_playLane.start(
        current->deviceId(),
        [localCopy, generation, latest = m_latestPlay](devjobs::JobControl &) {
            return latest->load() == generation ? PRMusicArtwork::artworkOf(localCopy, kArtworkSide) : QImage();
        },
        [this, generation](const QImage &artwork, const devjobs::JobError &) {
            --m_pendingCopies;
            if (generation == m_playGeneration)
                showArtwork(artwork);
        });
}

void PRTransferMediaPane::showArtwork(const QImage &artwork)
{
    if (imageView)
        imageView->setPixmap(artwork.isNull() ? imageNamed(kDefaultArtwork) : QPixmap::fromImage(artwork));
}

void PRTransferMediaPane::startPlaying(const PRTranMusicNodePtr &, const QString &localCopy, bool start)
{
    progress->hide();
    playView->show();
    // The copy just shown stays loaded: a selection shows it paused.
    if (localCopy != m_playingPath || !start)
        playView->setMovie(localCopy);
    m_playingPath = localCopy;
    if (!start) {
        Q_EMIT previewShown(localCopy);
        return;
    }
    playView->play();
    Q_EMIT playStarted(localCopy);
}

// -- selection ----------------------------------------------------------------------

void PRTransferMediaPane::selectAll()
{
    m_table->selectAll();
}

void PRTransferMediaPane::unselectAll()
{
    m_table->clearSelection();
}

// -- runs ---------------------------------------------------------------------------

void PRTransferMediaPane::deleteSelected()
{
    if (isBusy() || !m_confirm || !m_confirm(kDeleteQuestion))
        return;
    const auto current = load();
    const PRTranMusicList tracks = selectedTracks();
    if (!current || tracks.isEmpty())
        return;
    m_firstDeletedRow = int(m_controller->tracks().indexOf(tracks.first()));
    startRun(RunKind::Delete, std::make_shared<MusicDeleteRun>(current, tracks), tracks);
}

void PRTransferMediaPane::exportSheetOpened()
{
    m_sheetOpen = true;
    showExportIndicator(true);
}

void PRTransferMediaPane::exportSheetCancelled()
{
    if (!m_sheetOpen)
        return;
    m_sheetOpen = false;
    if (!isBusy())
        showExportIndicator(false);
}

void PRTransferMediaPane::exportToFolder(const QString &exportPath, bool selectedOnly)
{
    m_sheetOpen = false;
    const auto current = load();
    const PRTranMusicList tracks = selectedOnly ? selectedTracks() : m_controller->tracks();
    if (isBusy() || !current || tracks.isEmpty() || exportPath.isEmpty()) {
        if (!isBusy())
            showExportIndicator(false);
        return;
    }
    m_runFolder = exportPath;
    startRun(RunKind::ExportFolder, std::make_shared<MusicExportRun>(current, tracks, exportPath), tracks);
}

void PRTransferMediaPane::exportSelectedToDocuments()
{
    const auto current = load();
    const PRTranMusicList tracks = selectedTracks();
    const QString folder = documentsFolder();
    if (isBusy() || !current || tracks.isEmpty() || folder.isEmpty())
        return;
    m_runFolder = folder;
    startRun(RunKind::ExportDocuments, std::make_shared<MusicExportRun>(current, tracks, folder), tracks);
}

void PRTransferMediaPane::copySelectedToLibrary()
{
    const auto current = load();
    const PRTranMusicList selected = selectedTracks();
    if (isBusy() || !current || selected.isEmpty())
        return;
    startRun(RunKind::CopyToLibrary, std::make_shared<MusicCopyToLibraryRun>(current, selected, m_handler), selected);
}

void PRTransferMediaPane::copyAllToLibrary()
{
    const auto current = load();
    const PRTranMusicList tracks = m_controller->tracks();
    if (isBusy() || !current || tracks.isEmpty())
        return;
    startRun(RunKind::CopyToLibrary, std::make_shared<MusicCopyToLibraryRun>(current, tracks, m_handler), tracks);
}

void PRTransferMediaPane::addSelectedToPlaylist()
{
    const auto current = load();
    const PRTranMusicList selected = selectedTracks();
    if (isBusy() || !current || selected.isEmpty())
        return;
    // Only tracks copied already (played) go to the playlist; the others
    // are counted as left out.
    PRTranMusicList copied;
    for (const PRTranMusicNodePtr &track : selected)
        if (!current->localCopy(*track).isEmpty())
            copied.append(track);
    if (copied.isEmpty())
        return;
    m_skippedRows = int(selected.size() - copied.size());
    startRun(RunKind::AddToPlaylist, std::make_shared<MusicCopyToLibraryRun>(current, copied, m_handler), copied);
}

void PRTransferMediaPane::startRun(RunKind kind, std::shared_ptr<MusicTransferRun> run, PRTranMusicList tracks)
{
    m_run = std::move(run);
    m_runKind = kind;
    m_runTracks = std::move(tracks);
    statusLab->clear();
    exportProgressor->setRange(0, int(m_runTracks.size()));
    exportProgressor->setValue(0);
    showExportIndicator(true);
    using Step = std::pair<int, int>; // tracks finished, of
    m_runLane.newGeneration();
    m_runLane.start<Step>(
        m_run->deviceId(),
        [run = m_run](devjobs::JobContext<Step> &job) {
            run->setProgress([&job](int done, int total) { job.progress({done, total}); });
            MusicTransferReport report = run->run(job);
            run->setProgress({});
            return report;
        },
        [this](MusicTransferReport report, const devjobs::JobError &error) {
            // A run its phone never reached has no report of its own.
            if (error.is(devjobs::JobError::Kind::PhoneGone))
                report.deviceGone = true;
            runFinished(report);
        },
        [this](const Step &step) {
            exportProgressor->setRange(0, step.second);
            exportProgressor->setValue(step.first);
        });
    updateActions();
}

void PRTransferMediaPane::runFinished(const MusicTransferReport &report)
{
    if (!m_run)
        return;
    m_run.reset();
    showExportIndicator(false);
    const int done = int(report.done.size());
    switch (m_runKind) {
    case RunKind::Delete: {
        m_controller->setTracks(MusicDeleteRun::remaining(m_controller->tracks(), report));
        if (m_firstDeletedRow >= 1 && m_controller->rowCount() > 0) {
            m_table->clearSelection();
            m_table->selectRow(std::min(m_firstDeletedRow - 1, m_controller->rowCount() - 1));
        }
        statusLab->setText(tr("%n file(s) deleted from the phone", nullptr, done));
        if (!report.failed.isEmpty() && !report.deviceGone)
            tell(tr("Not Everything Was Deleted"), failureText(tr("These files stay on the phone:"), report));
        break;
    }
    case RunKind::ExportFolder:
    case RunKind::ExportDocuments:
        statusLab->setText(tr("%n file(s) exported", nullptr, done));
        if (!report.failed.isEmpty() && !report.deviceGone)
            tell(tr("Not Everything Was Exported"), failureText(tr("These files were not exported:"), report));
        // The sheet's folder is shown once its files are there; of the
        // Documents exports only the videos' shows Documents.
        if (done > 0 && (m_runKind == RunKind::ExportFolder || m_kind == Kind::Video))
            m_reveal(m_runFolder);
        break;
    case RunKind::CopyToLibrary:
    case RunKind::AddToPlaylist:
        statusLab->setText(m_runKind == RunKind::CopyToLibrary || m_skippedRows == 0
                               ? tr("%n file(s) in the music library", nullptr, done)
                               : tr("%n file(s) in the music library; %1 not copied from the phone yet", nullptr, done)
                                     .arg(m_skippedRows));
        if (!report.failed.isEmpty() && !report.deviceGone)
            tell(tr("Not Everything Was Copied"), failureText(tr("These files were not copied:"), report));
        break;
    }
    if (report.deviceGone)
        statusLab->setText(tr("The phone was disconnected"));
    m_runTracks.clear();
    updateActions();
    Q_EMIT runEnded(report);
}

QString PRTransferMediaPane::failureText(const QString &what, const MusicTransferReport &report) const
{
    QStringList lines{what};
    for (int i = 0; i < report.failed.size() && i < kNamedFailures; ++i)
        lines.append(report.failed[i]);
    if (report.failed.size() > kNamedFailures)
        lines.append(tr("and %n more", nullptr, int(report.failed.size()) - kNamedFailures));
    return lines.join(QLatin1Char('\n'));
}

void PRTransferMediaPane::showExportIndicator(bool shown)
{
    exportProgressor->setVisible(shown);
    if (shown && !isBusy())
        exportProgressor->setRange(0, 0);
}

void PRTransferMediaPane::showLoadMessage()
{
    const auto current = load();
    const QString message = current ? current->message() : QString();
    if (message == m_loadMessage)
        return;
    // A later load's silence clears the earlier load's word, nothing else.
    if (!message.isEmpty())
        statusLab->setText(message);
    else if (statusLab->text() == m_loadMessage)
        statusLab->clear();
    m_loadMessage = message;
}

void PRTransferMediaPane::tell(const QString &title, const QString &text)
{
    if (m_notice)
        m_notice(title, text);
}

void PRTransferMediaPane::deviceRemoved(int deviceId)
{
    const auto current = load();
    if (current && current->deviceId() != deviceId)
        return;
    clearShown();
}

void PRTransferMediaPane::clearShown()
{
    m_latestPlay->store(++m_playGeneration);
    playView->stop();
    playView->hide();
    progress->hide();
    m_playingPath.clear();
    showArtwork({});
    if (titleLab)
        titleLab->clear();
    if (artistLab)
        artistLab->clear();
    m_sheetOpen = false;
    if (!isBusy())
        showExportIndicator(false);
    updateActions();
}


void PRTransferMediaPane::setLibraryState(LibraryState state, const QString &why)
{
    m_libraryState = state;
    const bool music = m_kind == Kind::Music;
    QString text;
    switch (state) {
    case LibraryState::NoPhone:
        text = music ? tr("No phone is connected. Connect an iPhone to see its music.")
                     : tr("No phone is connected. Connect an iPhone to see its videos.");
        break;
    case LibraryState::NotRead:
        // The videos come with the music: the music row reads both.
        text = music ? QString() : tr("Choose Music to read the phone's music and videos.");
        break;
    case LibraryState::Reading:
        text = tr("Reading the phone's media library…");
        break;
    case LibraryState::Failed:
        text = tr("The phone's media library could not be read%1. Choose Music again to try again.")
                   .arg(why.isEmpty() ? QString() : QStringLiteral(": ") + why);
        break;
    case LibraryState::Read:
        break;
    }
    scanInfolab->setText(text);
    scanInfolab->setVisible(!text.isEmpty());
}
