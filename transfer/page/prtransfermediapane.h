#pragma once

#include "device/jobs/devicejob.h"
#include "transfer/musictransfer.h"
#include "transfer/prtranmusicnode.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class MusicLibraryLoad;
class PRMoviePreview;
class PRMusicLibrary;
class PRTransferMusicController;
class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QTableView;
class QWidget;
class iTunesScriptHandler;

// The actions of the music pane or of the video pane of the transfer page:
// play a track, select or deselect all rows, delete tracks from the phone,
// export them to a chosen folder or to Documents, copy them into this
// computer's music library.
//
// Every action works on the tracks of the load shown (bound to its phone)
// and runs its device work on one worker; the GUI thread only starts it and
// takes its report. A delete drops only the rows the phone reported removed,
// an export or copy lists the tracks it could not write. One run at a time:
// while it goes, the pane's other actions (playing aside) wait disabled.
class PRTransferMediaPane : public QObject
{
    Q_OBJECT

public:
    enum class Kind { Music, Video };

    static const QString kDeleteQuestion;

    // The pane widget gets the table's neighbours (buttons, player, labels,
    // indicators); the table and its controller are the page's.
    PRTransferMediaPane(Kind kind, PRMusicLibrary &library, PRTransferMusicController *controller, QTableView *table,
                        QWidget *pane, std::shared_ptr<iTunesScriptHandler> handler, QObject *parent = nullptr);
    ~PRTransferMediaPane() override;

    Kind kind() const { return m_kind; }

    // Asks "Are you sure ...?" and answers true for "Deleted". The default is
    // a modal alert whose default button is "Cancel"; tests answer it
    // themselves.
    using Confirm = std::function<bool(const QString &question)>;
    void setConfirm(Confirm confirm) { m_confirm = std::move(confirm); }
    // Tells the user what went wrong. The default is an alert that does not
    // hold the window.
    using Notice = std::function<void(const QString &title, const QString &text)>;
    void setNotice(Notice notice) { m_notice = std::move(notice); }
    // Where "Documents" is: Documents of the home folder the application
    // reads unless set.
    void setDocumentsFolder(const QString &folder) { m_documents = folder; }
    QString documentsFolder() const;
    // Shows a folder in the file manager; PRReveal unless set.
    void setReveal(std::function<void(const QString &folder)> reveal) { m_reveal = std::move(reveal); }

    // musicPlay: / videoPlay: on a row of the table.
    void play(int row);
    // The selected row's track shown, loaded but not started (its local copy
    // made first when it has none).
    void tableViewSelectionDidChange();
    // musicSelectAll: / musicUnSelecteAll: (and the video forms).
    void selectAll();
    void unselectAll();
    // musicDeleted: / videoDeletd:
    void deleteSelected();
    // musicExporttoMac: / AllmusicExporttoMac: / videoExporttoMac: start the
    // page's export sheet (the caller opens it); the page's end calls
    // exportToFolder with what the sheet chose.
    void exportToFolder(const QString &exportPath, bool selectedOnly);
    // musicExporttoDocument: / videoExporttoDocument:
    void exportSelectedToDocuments();
    // musicCopytoiTunes: / videoCopytoiTunes: (every selected track) and
    // musicCopyAlltoiTunes: / videoCopyAlltoiTunes:. A track the library
    // holds already is not copied again.
    void copySelectedToLibrary();
    void copyAllToLibrary();
    // ExportSelectedMusicToITuneslib: the selected tracks that have their
    // local copy, into the "iPhoneMusic" playlist; the others are counted as
    // left out.
    void addSelectedToPlaylist();

    // The export sheet was opened for this pane / closed without a folder.
    void exportSheetOpened();
    void exportSheetCancelled();

    // The phone left: its run stops, its player and indicators are cleared.
    void deviceRemoved(int deviceId);
    // The list shown goes (another phone is shown): the player, the track's
    // texts and artwork and the sheet's indicator are cleared.
    void clearShown();

    // What the pane's list stands for, said above it: no phone, the
    // library being read, a read that failed (why: the reason), or the list.
    enum class LibraryState { NoPhone, NotRead, Reading, Failed, Read };
    void setLibraryState(LibraryState state, const QString &why = {});
    LibraryState libraryState() const { return m_libraryState; }

    bool isBusy() const { return m_run != nullptr; }
    // True while the running action or a local copy for playing has not
    // reported back to the GUI thread (tests wait on it).
    bool hasPendingWork() const { return isBusy() || m_pendingCopies > 0; }
    // The tracks of the selected rows, in row order.
    PRTranMusicList selectedTracks() const;

    // The pane's widgets (the page's fields).
    PRMoviePreview *playView = nullptr;        // musicPlayView / videoPlayView
    QLabel *imageView = nullptr;               // musicImageView (music only): the track's artwork
    QLabel *titleLab = nullptr;                // musicTitlelab (music only)
    QLabel *artistLab = nullptr;               // musicArtistlab (music only)
    QProgressBar *progress = nullptr;          // musicProgress / videoProgress
    QProgressBar *exportProgressor = nullptr;  // musicExportProgressor / videoExportProgressor
    QMenu *menu = nullptr;                     // musicMenu / videoMenu
    QLabel *statusLab = nullptr;               // what the last action did
    QLabel *scanInfolab = nullptr;             // scanMusicInfolab / scanVideoInfolab: the list's state

    // Menu and button actions, for the window and its tests.
    QAction *playAction = nullptr;
    QAction *selectAllAction = nullptr;
    QAction *unselectAllAction = nullptr;
    QAction *deleteAction = nullptr;
    QAction *exportSelectedAction = nullptr;   // music only
    QAction *exportAllAction = nullptr;
    QAction *exportDocumentsAction = nullptr;
    QAction *copyAction = nullptr;
    QAction *copyAllAction = nullptr;
    QAction *playlistAction = nullptr;         // music only

    // The picture shown for a track without artwork.
    static const QString kDefaultArtwork;

    // The track played last and its local copy (empty until one plays).
    QString playingPath() const { return m_playingPath; }

Q_SIGNALS:
    // The export actions ask the page for its sheet (flag already chosen by
    // the receiver).
    void exportSheetRequested(bool selectedOnly);
    // A run ended and its report was applied.
    void runEnded(const MusicTransferReport &report);
    // A track's local copy is handed to the player.
    void playStarted(const QString &localCopy);
    // A selected track's local copy is shown, paused.
    void previewShown(const QString &localCopy);

private:
    enum class RunKind { Delete, ExportFolder, ExportDocuments, CopyToLibrary, AddToPlaylist };
    void buildWidgets(QWidget *pane);
    void updateActions();
    std::shared_ptr<MusicLibraryLoad> load() const;
    void startRun(RunKind kind, std::shared_ptr<MusicTransferRun> run, PRTranMusicList tracks);
    void runFinished(const MusicTransferReport &report);
    void showExportIndicator(bool shown);
    void showLoadMessage();
    void showTrack(int row, bool start);
    void startPlaying(const PRTranMusicNodePtr &track, const QString &localCopy, bool start);
    // The artwork of a local copy, read in a job; shown unless a newer
    // choice came meanwhile.
    void loadArtwork(const QString &localCopy, quint64 generation);
    void showArtwork(const QImage &artwork);
    void tell(const QString &title, const QString &text);
    QString failureText(const QString &what, const MusicTransferReport &report) const;

    const Kind m_kind;
    PRMusicLibrary &m_library;
    PRTransferMusicController *m_controller;
    QTableView *m_table;
    std::shared_ptr<iTunesScriptHandler> m_handler;
    Confirm m_confirm;
    Notice m_notice;
    std::function<void(const QString &)> m_reveal;
    QString m_documents;

    std::shared_ptr<MusicTransferRun> m_run;
    RunKind m_runKind = RunKind::Delete;
    PRTranMusicList m_runTracks;
    QString m_runFolder;
    int m_firstDeletedRow = -1;
    bool m_sheetOpen = false;

    // The local copy for playing: one download at a time, off the GUI thread.
    std::shared_ptr<std::mutex> m_oneCopyAtATime = std::make_shared<std::mutex>();
    quint64 m_playGeneration = 0;
    int m_pendingCopies = 0;
    std::shared_ptr<std::atomic<quint64>> m_latestPlay = std::make_shared<std::atomic<quint64>>(0);
    QString m_playingPath;
    // What the shown load said of itself (a read cut short), while shown.
    QString m_loadMessage;
    LibraryState m_libraryState = LibraryState::NoPhone;
    // Selected rows the playlist run left out (no local copy yet).
    int m_skippedRows = 0;

    // Last, so that they go first: their jobs are cancelled before anything
    // they report to.
    devjobs::JobLane m_runLane{this};
    devjobs::JobLane m_playLane{this};
};
