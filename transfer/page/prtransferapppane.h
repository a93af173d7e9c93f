#pragma once

#include "device/jobs/devicejob.h"
#include "transfer/apps/prappdocuments.h"
#include "transfer/apps/prapparchive.h"
#include "transfer/apps/prappinstall.h"
#include "transfer/apps/prapplistload.h"
#include "transfer/page/transferexportflags.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class PRAppDirTreeNode;
class PRAppFileTreeNode;
class PRAppListModel;
class PRBrowserController;
class PRAppTreeController;
class PRPathFileTableModel;
class QAction;
class QLabel;
class QListView;
class QMenu;
class QMessageBox;
class QProgressBar;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class QTreeView;
class QWidget;

// The apps pane of the transfer page: the phone's user apps as icons, an
// app's documents as a folder outline beside a file table and a preview, and
// the app actions (archive, install, copies, delete, add a file).
//
// Everything shown is bound to the phone it was loaded from (its id, never
// reused): when that phone leaves, the pane forgets it and a later ShowApp
// loads again. Device work runs on the pane's workers; the GUI thread only
// starts it and applies its result. Destructive and copying actions work on
// a snapshot of the rows or apps taken on the GUI thread when the user
// confirmed them.
class PRTransferAppPane : public QObject
{
    Q_OBJECT

public:
    static const QString kDeleteQuestion;
    static const QString kDeleteInformative;

    // The items of appFileMenu, in order (the separators are items).
    enum AppFileMenuItem {
        FileSelectAllItem,
        FileUnselectAllItem,
        FileSeparatorItem1,
        FileExportItem,
        FileExportDocumentsItem,
        FileSeparatorItem2,
        FileAddItem,
        FileDeleteItem,
        FileSeparatorItem3,
        FileSortNameItem,
        FileSortSizeItem,
        FileReloadItem,
        AppFileMenuItemCount
    };
    // The items of appDirMenu.
    enum AppDirMenuItem { DirSelectAllItem, DirAddItem, DirReloadItem, AppDirMenuItemCount };

    // Builds the pane's widgets into pane.
    PRTransferAppPane(QWidget *pane, QObject *parent = nullptr);
    ~PRTransferAppPane() override;

    // Starts the load of the phone's apps once per phone: while it runs or
    // after it finished for that phone, nothing happens. Another phone
    // replaces the one shown.
    void ShowApp(int deviceId);
    // The phone left: its load and actions stop, its lists are dropped.
    void deviceRemoved(int deviceId);

    int tranferDevice() const { return m_device; }
    bool bappStartTransfer() const { return m_started; }
    bool bAppLoadFinished() const { return m_finished; }

    // -- Test and window hooks ------------------------------------------------
    // "Are you sure ...?" (question, informative text, the text of the
    // button that goes on, the text of the one that leaves the phone
    // alone): true to go on. Both texts are shown as written.
    using Confirm = std::function<bool(const QString &question, const QString &informative, const QString &accept,
                                       const QString &reject)>;
    void setConfirm(Confirm confirm) { m_confirm = std::move(confirm); }
    // The box the window's Confirm shows. Enter answers with the button
    // that leaves the phone alone.
    static std::unique_ptr<QMessageBox> questionBox(QWidget *parent, const QString &question,
                                                    const QString &informative, const QString &accept,
                                                    const QString &reject);
    // An alert with one button and no informative text (an archive that is
    // not one of ours).
    using Alert = std::function<void(const QString &text, const QString &button)>;
    void setAlert(Alert alert) { m_alert = std::move(alert); }
    using Notice = std::function<void(const QString &title, const QString &text)>;
    void setNotice(Notice notice) { m_notice = std::move(notice); }
    void setReveal(std::function<void(const QString &folder)> reveal) { m_reveal = std::move(reveal); }
    // The archive's target folder, the archive to install, the file to add:
    // dialogs unless set (an empty answer cancels).
    void setChooseFolder(std::function<QString()> choose) { m_chooseFolder = std::move(choose); }
    void setChooseArchive(std::function<QString()> choose) { m_chooseArchive = std::move(choose); }
    void setChooseFile(std::function<QString()> choose) { m_chooseFile = std::move(choose); }
    void setDocumentsFolder(const QString &folder) { m_documents = folder; }
    QString documentsFolder() const;

    // -- Actions (buttons and menus) ------------------------------------------
    void ClickAppArchiveAction();
    void archiveToFolder(const QString &exportPath);
    void InstallArchiveSelectedApp();
    void installArchive(const QString &archivePath);
    void AppSelectAll();
    void AppUnSelecteAll();
    void AppDeleted();
    void AppExportFilestoMac();
    void AppExportFilestoDocument();
    void ExportSelectedAppToMac();
    void ExportAllAppToMac();
    // Add File: into the folder of the table's first selected row, or (the
    // outline's menu) into the outline's selected folder. A document of the
    // same name there is replaced only when the user says so.
    void addFilesToApp();
    void addFilesToFolder();
    // The outline's Reload: the selected folder read again from the phone.
    void AppDirReload();
    // Enables a context menu's items before it opens.
    void menuNeedsUpdate(QMenu *menu);
    // The page's sheet ended with a folder for the export it was opened for.
    void exportToFolder(const QString &path, TransferExport which);
    void exportSheetCancelled();

    // Starts the walk of an app's container (once per app root).
    void expandApp(const QString &bundleId);
    // Shows the rows of the outline's selected folder.
    void outlineViewSelectionDidChange();
    // Previews the selected row (tableViewSelectionDidChange's app branch).
    void tableViewSelectionDidChange();

    bool isBusy() const;
    // True from a worker's start until its result has been applied on the
    // GUI thread (tests wait on it).
    bool hasPendingResults() const;
    // Walks of containers started so far (tests).
    int walksStarted() const { return m_walksStarted; }

    // -- Widgets (the page's fields) -------------------------------------------
    PRAppListModel *appArray = nullptr;
    QListView *appBroswerView = nullptr;
    PRAppTreeController *appTreeController = nullptr;
    QTreeView *appOutlineView = nullptr;
    PRPathFileTableModel *appFileController = nullptr;
    QSortFilterProxyModel *appFileSorter = nullptr;
    QTableView *appTableView = nullptr;
    QLabel *appImageView = nullptr;
    QLabel *scanAppImageView = nullptr;
    QLabel *scanAppInfolab = nullptr;
    QProgressBar *appProgress = nullptr;
    QProgressBar *appDataExportProgressor = nullptr;
    QLabel *statusLab = nullptr;

    QAction *archiveAction = nullptr;
    QAction *installAction = nullptr;
    QAction *exportAppsAction = nullptr;
    QAction *exportAllAppsAction = nullptr;
    QAction *addFileAction = nullptr;
    QAction *selectAllAction = nullptr;
    QAction *unselectAllAction = nullptr;
    QAction *deleteAction = nullptr;
    QAction *exportFilesAction = nullptr;
    QAction *exportDocumentsAction = nullptr;
    // The right-click menus of the outline and of the file table.
    QMenu *appDirMenu = nullptr;
    QMenu *appFileMenu = nullptr;
    // Says so while the pane holds no phone.
    QLabel *noPhoneLab = nullptr;

    // The rows and apps the actions would act on, in view order.
    PRBrowserActions::Rows selectedRows() const;
    QList<PRAppRef> selectedApps() const;
    QList<PRAppRef> allApps() const;
    // The preview's local copy of the row shown last (empty: none).
    QString previewPath() const { return m_previewPath; }

Q_SIGNALS:
    void loadStarted(int deviceId);
    // "AppScanFinished": the list is complete.
    void loadFinished(int deviceId);
    // The load ended without its list (the phone left, no app service): the
    // row may be chosen again.
    void loadFailed(int deviceId, const QString &why);
    // The export actions ask the page for its folder sheet.
    void exportSheetRequested(TransferExport which);
    // An action ended; text is what the user was told (empty: plain success).
    void actionEnded(bool ok, const QString &text);
    // A walk's entries were filed.
    void walkEnded(const QString &bundleId, int entries);
    // A preview was shown (the local copy, the image's size).
    void previewShown(const QString &localCopy);

private:
    struct LoadState;
    void buildWidgets(QWidget *pane);
    void buildMenus();
    void updateActions();
    void forget();
    void showScanning(bool on);
    void ScanAppFinishHandle(quint64 generation, PRAppListLoad::Result result);
    void UpAppImageDataSource(quint64 generation, const QList<PRAppListItem> &items);
    // Runs work as a device job of the phone; what it posts runs on this
    // object's thread, in order, while the pane lives. gone runs instead when
    // the phone had left before the work could start.
    using Post = std::function<void(std::function<void()> call)>;
    void runWorker(int deviceId, std::function<void(const Post &post)> work, std::function<void()> gone = {});
    // The same for work that acts on the phone as the job's own.
    void runJob(int deviceId, std::function<void(const devjobs::JobControl &job, const Post &post)> work,
                std::function<void()> gone = {});
    // Ends the action of that generation as one whose phone had left.
    void actionGone(quint64 generation);
    bool startAction(const QString &text);
    void endAction(const PRAppActionReport &report, const QString &reveal = {});
    // Applies a worker's report: in full while the phone it ran on is still
    // shown; else (the phone left or another one is shown) the user is still
    // told what it did, and the pane's state is left to the phone shown.
    void finishAction(quint64 generation, const PRAppActionReport &report, const QString &reveal = {});
    // The phone an action was started on is still the one shown and listed.
    bool isShownPhone(int deviceId, quint64 generation) const;
    void installConfirmed(int deviceId, quint64 generation, const PRAppPackageCheck &check);
    void tell(const QString &title, const QString &text);
    PRAppFileTreeNode *rowNode(const PRBrowserFileRef &ref) const;
    static PRBrowserFileRef rowRef(const PRAppFileTreeNode *file);
    static PRAppActionReport appReport(const PRBrowserReport &report);
    PRAppFileTreeNode *fileNodeAtViewRow(int row) const;
    // The outline's selected folder with its app and device path, or null.
    const PRAppDirTreeNode *selectedFolder(PRAppRef *app, QString *path) const;
    void addFileInto(const PRAppRef &app, const QString &folderPath);
    void startAdd(const PRAppRef &app, const QString &folderPath, const QString &localFile, bool replace);
    void askReplace(int deviceId, quint64 generation, const PRAppRef &app, const QString &folderPath,
                    const QString &localFile, const QString &existingName);
    // Files what the phone holds in a folder and drops the rows it no
    // longer holds (for the phone shown only).
    void applyListing(quint64 generation, const PRBrowserActions::Listing &listing);
    void showPreviewImage(const QImage &image, const QString &path);

    Confirm m_confirm;
    Alert m_alert;
    Notice m_notice;
    std::function<void(const QString &)> m_reveal;
    std::function<QString()> m_chooseFolder;
    std::function<QString()> m_chooseArchive;
    std::function<QString()> m_chooseFile;
    QString m_documents;

    int m_device = -1;
    bool m_started = false;
    bool m_finished = false;
    quint64 m_generation = 0;
    std::shared_ptr<std::atomic<bool>> m_cancel = std::make_shared<std::atomic<bool>>(false);
    int m_walksStarted = 0;
    int m_pendingResults = 0;
    PRBrowserActions::Rows m_exportRows;
    QList<PRAppRef> m_exportApps;
    QString m_previewPath;
    QWidget *m_window = nullptr;
    // The actions on the phone shown: busy state, their jobs and their ends.
    PRBrowserController *m_browser = nullptr;
    // The jobs started for the phone shown (forget cancels them), and the
    // watch of that phone's departure.
    std::vector<devjobs::JobHandle> m_jobs;
    devjobs::JobHandle m_phoneWatch;
    bool m_phoneLeft = false;
    // Last, so that it goes first: the jobs are cancelled before anything
    // they report to.
    devjobs::JobLane m_lane{this};
};
