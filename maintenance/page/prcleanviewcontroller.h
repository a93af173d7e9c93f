#pragma once

#include "device/jobs/devicejob.h"
#include "maintenance/clean/prcleanfileref.h"
#include "maintenance/clean/prcleanremoval.h"
#include "maintenance/clean/prcleanscan.h"

#include <QModelIndexList>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class PRCleanExport;
class PRCleanFix;
class PRCleanKindPane;
class PRCleanPreview;
class PRCleanResults;
class PRCleanSummaryPanel;
class PRiCloudPane;
class QAction;
class QLabel;
class QMenu;
class QSortFilterProxyModel;
class QStackedWidget;
class QTableView;
class QWidget;

// The cleaner page: five views (the main view with the scan's summary and
// the iCloud folder, then the temporary, cache and cookie files and the
// failed-sync media), switched by the sidebar.
//
// The page is thin: what the scan found lives in PRCleanResults, bound to the
// phone it was found on; the scan, the removal and the fix are their own
// objects; previews and exports are device jobs of the page. The page turns
// what the user chose into a snapshot through the views' own models, asks
// for confirmation where a removal is more than the rows chosen, and tells
// what the phone really did.
class PRCleanViewController : public QObject
{
    Q_OBJECT

public:
    explicit PRCleanViewController(QObject *parent = nullptr);
    ~PRCleanViewController() override;

    // -- Views ------------------------------------------------------------------------------
    // Builds the page into container (once) and shows the main view; the
    // first time, the iCloud folder is read.
    void showView(QWidget *container);
    // Builds the page into container without showing it (the window takes
    // the summary head's labels from it at start).
    void buildView(QWidget *container);
    void showCleanMainView();
    void showCleanJunkView();
    void showCleanCacheview();
    void showCleanCookView();
    void showCleanMediaView();
    // Opens the first app of each kind's outline.
    void refreshOutlineView();

    // -- Scan -------------------------------------------------------------------------------
    // Starts the scan of the phone; false (and the reason told) while a scan
    // or a removal runs, or without that phone (the page then says that no
    // phone is connected).
    bool showPhoneClean(int deviceId);
    // The page was opened with this phone shown (-1: none): a phone the
    // cleaner holds no finished scan of is scanned (true when that scan
    // started); without a phone the page says so.
    bool openFor(int deviceId);
    // The phone whose finished scan the page shows, or -1.
    int scannedDevice() const { return m_scannedDevice; }
    // The page without a phone: no bar, no totals, the reason told.
    void showNoDevice();
    // The phone left: its scan, removal and previews stop, its results go.
    void deviceRemoved(int deviceId);
    // The one-click fix: everything the scan found, after a confirmation
    // with the count, the size and the phone's name. False when nothing
    // starts (cancelled, nothing found, busy, the phone gone).
    bool startFix();

    // -- Removal (the file tables' and outlines' actions) ----------------------------------
    void CleanJunkFile();
    void CleanCacheFile();
    void CleanCookieFile();
    void CleanJunkDirFile();
    void cleanCacheDirFile();
    void CleanCookieDirFile();
    void CleanAllJunkFiles();
    void cleanAllCacheFiles();
    void CleanAllCookieFiles();
    void CleanSyncedMediaFile();
    void CleanAllSyncedMediaFile();

    // -- Export ----------------------------------------------------------------------------------
    void ExportTheJunkFiletoMac();
    void ExportJunkFilestoMac();
    void ExportTheCacheFileToMac();
    void ExportCacheFilesToMac();
    void ExportTheCookieFiletoMac();
    void ExportCookieFilestoMac();
    void ExportTheSyncedFiletoMac();
    void ExportSyncedfilestoMac();

    // -- Hooks for the window and tests -------------------------------------------------
    // A question with the count, the size and the phone's name: true to go on.
    using Confirm = std::function<bool(const QString &question)>;
    void setConfirm(Confirm confirm) { m_confirm = std::move(confirm); }
    using Notice = std::function<void(const QString &text)>;
    void setNotice(Notice notice) { m_notice = std::move(notice); }
    // The export's folder: a save sheet with the proposed name unless set
    // (an empty answer cancels).
    void setChooseFolder(std::function<QString()> choose) { m_chooseFolder = std::move(choose); }
    void setReveal(std::function<void(const QString &)> reveal) { m_reveal = std::move(reveal); }

    PRCleanResults *results() const { return m_results; }
    PRCleanScan *scan() const { return m_scan; }
    PRCleanRemoval *removal() const { return m_removal; }
    PRCleanFix *fix() const { return m_fix; }
    PRCleanSummaryPanel *summary() const { return m_summary; }
    PRiCloudPane *iCloudPane() const { return m_icloud; }
    PRCleanKindPane *junkPane() const { return m_junkPane; }
    PRCleanKindPane *cachePane() const { return m_cachePane; }
    PRCleanKindPane *cookiePane() const { return m_cookiePane; }
    // The current view (cleanMainView ... cleanMediaView).
    QWidget *currentView() const;
    // What the page told the user last (the status line's text).
    QString lastMessage() const;

    // The five views.
    QWidget *cleanMainView = nullptr;
    QWidget *cleanJunkView = nullptr;
    QWidget *cleanCacheview = nullptr;
    QWidget *cleanCookView = nullptr;
    QWidget *cleanMediaView = nullptr;
    // The failed-sync list.
    QTableView *syncFailedTableView = nullptr;
    QSortFilterProxyModel *syncFailedSorter = nullptr;
    QMenu *syncedMenu = nullptr;
    QAction *cleanSyncedAction = nullptr;
    QAction *cleanAllSyncedAction = nullptr;
    QAction *exportSyncedAction = nullptr;
    QAction *exportAllSyncedAction = nullptr;
    QLabel *statusLab = nullptr;

Q_SIGNALS:
    // A scan ended (finished or not): the window ends its spinner.
    void scanEnded(const PRCleanScanReport &report);
    // A removal that is not the fix ended; text is what the user was told.
    void removalEnded(const PRCleanRemovalReport &report, const QString &text);
    // A preview was shown (the local copy; empty when none was made).
    void previewShown(const QString &localCopy);
    // An export ended (its report in words).
    void exportEnded(bool ok, const QString &text);

private:
    void buildWidgets(QWidget *container);
    QWidget *buildSyncView();
    void showOnly(QWidget *view);
    void updateActions();
    PRCleanKindPane *paneOf(PRCleanFileRef::Kind kind) const;
    // The selected rows of a kind's file table (or the failed-sync list).
    QModelIndexList selectedFileRows(PRCleanFileRef::Kind kind) const;

    void removeFiles(PRCleanFileRef::Kind kind);
    void removeFolder(PRCleanFileRef::Kind kind);
    void removeKind(PRCleanFileRef::Kind kind);
    // Starts the removal of the snapshot, after the confirmation it needs.
    void startRemoval(const PRCleanRemovalRequest &request);
    void onRemovalEnded(const PRCleanRemovalReport &report);

    void preview(PRCleanFileRef::Kind kind, const QModelIndex &row);
    void exportFiles(const PRCleanFileRefs &rows, bool mirrored);
    void exportSelected(PRCleanFileRef::Kind kind);
    void exportFolder(PRCleanFileRef::Kind kind);

    void tell(const QString &text);
    // The head on the main view tells the scan's state itself; the status
    // line below would only repeat it there.
    void setHeadTells(bool on);
    void updateStatusLine();
    void onScanEnded(const PRCleanScanReport &report);

    PRCleanResults *m_results = nullptr;
    PRCleanScan *m_scan = nullptr;
    PRCleanRemoval *m_removal = nullptr;
    PRCleanFix *m_fix = nullptr;
    // Shared with the jobs that use them, which may outlive the page.
    std::shared_ptr<PRCleanPreview> m_preview;
    std::shared_ptr<PRCleanExport> m_export;

    QPointer<QWidget> m_container;
    QStackedWidget *m_stack = nullptr;
    PRCleanSummaryPanel *m_summary = nullptr;
    PRiCloudPane *m_icloud = nullptr;
    PRCleanKindPane *m_junkPane = nullptr;
    PRCleanKindPane *m_cachePane = nullptr;
    PRCleanKindPane *m_cookiePane = nullptr;
    QWidget *m_window = nullptr;

    Confirm m_confirm;
    Notice m_notice;
    std::function<QString()> m_chooseFolder;
    std::function<void(const QString &)> m_reveal;

    // A newer preview makes the older ones moot: each starts a generation.
    devjobs::JobLane m_previewLane{this};
    devjobs::JobLane m_exportLane{this};
    bool m_exporting = false;
    int m_scannedDevice = -1;
    bool m_headTells = false;
};
