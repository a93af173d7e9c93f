#pragma once

#include "filebrowser/prbrowseractions.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class PRBrowserController;
class PRMoviePreview;
class PRPathFileNode;
class PRPathFileTableModel;
class PRPhoneSystemDirNode;
class PRSystemLibTreeController;
class QAction;
class QFileDialog;
class QLabel;
class QMenu;
class QMessageBox;
class QPoint;
class QProgressBar;
class QSortFilterProxyModel;
class QTableView;
class QTreeView;
class QWidget;

// The device file browser page: the phone's media area (what the plain file
// service reaches) as a folder outline beside a table of the selected
// folder's files and a preview, with copies to this computer, deletes and
// uploads.
//
// The walk runs once per phone on a worker and hands its entries to the GUI
// thread in batches, in order. Everything shown is bound to the phone it was
// read from: when that phone leaves (deviceRemoved) the lists are dropped,
// the workers told to stop, their late results ignored, and a later
// LookupSystemTree walks again. A walk cut short may be started again.
//
// Device work never runs on the GUI thread. Deletes and copies act on a
// snapshot of the rows taken on the GUI thread when the user chose them
// (through the table's sorted view), never on the table as it is later, and
// on the phone shown then (its id, handle and UDID): a delete whose phone
// left or was replaced while the question was up deletes nothing. A copy
// cut short by the phone leaving still says how far it came.
//
// The dialogs (delete alert, export folder, file to add, notices) and the
// file manager's reveal go through replaceable hooks, so tests never block.
class PRPhoneSystemViewController : public QObject
{
    Q_OBJECT

public:
    static const QString kDeleteQuestion;
    static const QString kDeleteInformative;

    // The items of rightDownMenu, in order (16; the separators are items).
    enum RightDownItem {
        SelectAllItem,
        DeselectAllItem,
        SeparatorItem1,
        ExportFilesItem,
        ExportDocumentsItem,
        SeparatorItem2,
        PreviewItem,
        ExportFolderItem,
        AddFileItem,
        DeleteItem,
        SortNameItem,
        SortSizeItem,
        SortTypeItem,
        CopyPathItem,
        SeparatorItem3,
        ShowDocumentsItem,
        RightDownItemCount
    };

    explicit PRPhoneSystemViewController(QObject *parent = nullptr);
    ~PRPhoneSystemViewController() override;

    // Puts the page's view into page (a bare widget, or one with an empty
    // layout) and shows the browser with the image preview.
    void showPhoneSystemView(QWidget *page);
    // Starts the walk of the phone's files. Nothing happens while a walk runs
    // or after a finished walk of the same phone; another phone replaces the
    // one shown; a walk that did not finish may start again.
    void LookupSystemTree(int deviceId);
    // The phone left: its walk and actions stop and its lists are dropped.
    void deviceRemoved(int deviceId);

    PRSystemLibTreeController *GetLibTreeController() const { return libTreeController; }
    // Opens the outline's first row (the tree's reload asks for it).
    void refreshOutlineView();

    int theDevice() const { return m_theDevice; }
    bool bScanStart() const { return m_bScanStart; }
    bool bLoadFinished() const { return m_bLoadFinished; }
    QString exportPath() const { return m_exportPath; }
    QString addFilePath() const { return m_addFilePath; }

    // -- Hooks (tests and the window) --------------------------------------------
    // The delete alert: true for "Deleted".
    using Confirm = std::function<bool(const QString &question, const QString &informative)>;
    void setConfirm(Confirm confirm) { m_confirm = std::move(confirm); }
    // The box the window's Confirm shows: Enter and Escape cancel.
    static std::unique_ptr<QMessageBox> deleteQuestionBox(QWidget *parent, const QString &question,
                                                          const QString &informative);
    // The export folder, given the proposed name; empty cancels. Unset: a
    // window-modal save sheet.
    void setChooseExportPath(std::function<QString(const QString &proposedName)> choose)
    {
        m_chooseExportPath = std::move(choose);
    }
    // The local file to upload; empty cancels. Unset: a window-modal open sheet.
    void setChooseFile(std::function<QString()> choose) { m_chooseFile = std::move(choose); }
    // A failure the user is told of (title, plain text).
    void setNotice(std::function<void(const QString &, const QString &)> notice) { m_notice = std::move(notice); }
    // Shows a folder in the file manager.
    void setReveal(std::function<void(const QString &folder)> reveal) { m_reveal = std::move(reveal); }
    // Loads a movie into the movie view (tests replace the player).
    void setMovieOpener(std::function<void(const QString &path)> open) { m_openMovie = std::move(open); }
    // The walk's limits (tests shrink the batches).
    void setWalkLimits(const PRBrowserWalk::Limits &limits) { m_walkLimits = limits; }

    // The save sheet's proposed name: "Ostra 2026-12-08 - 02.14.23".
    static QString proposedExportName(const QDateTime &now);

    // -- Actions (menus) ----------------------------------------------------------
    void SelecteAllFile();
    void UnSelecteAllFile();
    void ExportTheFileToMac();
    void ExportDirFileToMac();
    void ExportTheFileToDocument();
    void RemoveTheFiles();
    void addFilesToSystem();
    // The save and open sheets ended.
    void savePanelDidEnd(int returnCode);
    void openPanelDidEnd(int returnCode);

    // Shows the rows of the outline's selected folder.
    void outlineViewSelectionDidChange();
    // Previews the selected row.
    void tableViewSelectionDidChange();
    // Enables a context menu's items for the row last clicked in its view.
    void menuNeedsUpdate(QMenu *menu);
    // The rows a right click hit (-1: none), as the context menus record them.
    void setClickedRows(int outlineRow, int tableRow);

    // The table's selected rows, in the view's order.
    QList<PRBrowserFileRef> selectedFiles() const;
    // The outline's selected folder, or null.
    PRPhoneSystemDirNode *selectedFolder() const;

    // Jobs whose results are still to come (tests wait for 0).
    int pendingWork() const;
    bool isBusy() const;
    // The last walk's figures, and the longest time one batch took to file
    // on the GUI thread.
    const PRBrowserWalk::Report &lastWalk() const { return m_lastWalk; }
    qint64 longestFilingMs() const { return m_longestFilingMs; }
    QString previewPath() const { return m_previewPath; }

    // -- Widgets (the page's fields) ------------------------------------------------
    QWidget *showTableView = nullptr;
    QWidget *showPreview = nullptr;
    QLabel *showImageView = nullptr;
    PRMoviePreview *showMovView = nullptr;
    QTreeView *theOutlineView = nullptr;
    QTableView *theTableView = nullptr;
    PRSystemLibTreeController *libTreeController = nullptr;
    PRPathFileTableModel *libFileController = nullptr;
    QSortFilterProxyModel *libFileSorter = nullptr;
    QProgressBar *progressor = nullptr;
    QLabel *scanImageView = nullptr;
    QLabel *infolab = nullptr;
    QLabel *statusLab = nullptr;
    // Says so while the page holds no phone.
    QLabel *noPhoneLab = nullptr;
    QMenu *outlineViewMenu = nullptr;
    QMenu *rightDownMenu = nullptr;

Q_SIGNALS:
    // The walk started (the shell starts its sidebar activity: the
    // delegate's SystemlibhasStartHandle).
    void walkStarted();
    // The walk ended: finished (then "SystemlibhasFinished" was posted), or
    // cut short with the reason.
    void walkEnded(bool finished, const QString &why);
    // An export, delete or upload ended; text is what the user was told.
    void actionEnded(bool ok, const QString &text);
    // A preview is shown: the local copy (empty for a type icon).
    void previewShown(const QString &localCopy);

private:
    void buildView();
    void buildMenus();
    void forget();
    void showScanning(bool on);
    void updateStatus(const QString &text);
    void tell(const QString &title, const QString &text);
    void fileBatch(const PRPathEntryBatch &batch);
    void LookupSystemTreeFinishedOnMainThreadHanld(const PRBrowserWalk::Report &report);
    void exportTheSelectedToMac();
    void startExport(const QString &path);
    void startUpload(const QString &folderPath, const QString &localFile);
    PRPathFileNode *rowForPath(const QString &devicePath) const;
    void showPicture(const QImage &image, const QString &local);
    void showMovie(const QString &local);
    void showTypeIcon(const QString &fileName, bool folder);
    void contextMenuAt(QMenu *menu, const QPoint &pos, bool outline);

    Confirm m_confirm;
    std::function<QString(const QString &)> m_chooseExportPath;
    std::function<QString()> m_chooseFile;
    std::function<void(const QString &, const QString &)> m_notice;
    std::function<void(const QString &)> m_reveal;
    std::function<void(const QString &)> m_openMovie;
    PRBrowserWalk::Limits m_walkLimits;

    QPointer<QWidget> m_view;
    QPointer<QFileDialog> sp;
    QPointer<QFileDialog> m_openPanel;
    QList<QAction *> m_rightDownItems;

    int m_theDevice = -1;
    PRBrowserDevice m_device;
    bool m_bScanStart = false;
    bool m_bLoadFinished = false;
    bool m_bExportFileNode = false;
    bool m_bExportDirFile = false;
    QString m_exportPath;
    QString m_addFilePath;
    QList<PRBrowserFileRef> m_exportRows;
    QString m_uploadFolder;
    int m_outlineClickedRow = -1;
    int m_tableClickedRow = -1;

    // Moves when the page lets its phone go: an action's report then is
    // told, not applied.
    quint64 m_generation = 0;
    // The actions (their reports always come), their busy state, how their
    // ends are told, and the previews.
    PRBrowserController *m_browser = nullptr;
    PRBrowserWalk::Report m_lastWalk;
    qint64 m_longestFilingMs = 0;
    QString m_previewPath;
    // The walk: forget() starts a new generation.
    devjobs::JobLane m_walkLane{this};
    int m_walkPending = 0;
};
