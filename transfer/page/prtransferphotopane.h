#pragma once

#include "transfer/photos/prphotoexport.h"
#include "transfer/photos/prphotolibrary.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class PRPhotoBrowserModel;
class PRPhotoBrowserView;
class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QSlider;
class QWidget;

// The photos pane of the transfer page: the phone's camera roll and synced
// photos in an image browser with a zoom slider, exported (selected or all)
// to a folder the page's save sheet names.
//
// The load runs once per phone on a worker and fills the browser while it
// copies (PRPhotoLibrary); the export runs on another worker
// (PhotoExportRun). The GUI thread only starts them and applies what they
// hand back. Everything shown is bound to the phone it was read from: when
// that phone leaves, the browser empties, a running load ends and says so,
// and the next ShowPhoto reads again.
class PRTransferPhotoPane : public QObject
{
    Q_OBJECT

public:
    // Builds the pane's widgets into pane (its layout, or a new one).
    explicit PRTransferPhotoPane(QWidget *pane, QObject *parent = nullptr);
    ~PRTransferPhotoPane() override;

    // Tells the user what went wrong. The default is an alert that does not
    // hold the window; tests keep the texts.
    using Notice = std::function<void(const QString &title, const QString &text)>;
    void setNotice(Notice notice) { m_notice = std::move(notice); }
    // Shows a folder in the file manager (PRReveal unless set): once per
    // export, when its files are there.
    void setReveal(std::function<void(const QString &folder)> reveal) { m_reveal = std::move(reveal); }

    // ShowPhoto: starts the load of the phone on a worker, once per phone
    // (nothing while one runs; again after it failed). After it finished,
    // loadFinished is emitted again and nothing is read.
    void ShowPhoto(int deviceId);
    // The phone left: its load ends (loadFailed when it ran), its photos go,
    // an export from it stops.
    void deviceRemoved(int deviceId);

    // ExportSelectedPhotoToMac: / ExportAllPhotoToMac: (menu and buttons):
    // show the export indicator and ask the page for its save sheet.
    void ExportSelectedPhotoToMac();
    void ExportAllPhotoToMac();
    // The sheet's folder: ExportSelectedPhotoToMacThread /
    // ExportAllPhotoToMacThread on a worker; at its end the folder is
    // revealed once. The items are those shown when it starts.
    void exportToFolder(const QString &exportPath, bool selectedOnly);
    // The sheet closed without a folder.
    void exportSheetCancelled();

    // zoomSliderDidChange: the side of a cell's picture in pixels.
    void zoomSliderDidChange(int value);
    void selectAll();
    void unselectAll();

    bool isLoading() const { return m_library.bImageStartTransfer(); }
    bool isLoaded() const { return m_library.bPhotoLoadFinished(); }
    bool isExporting() const { return m_run != nullptr; }
    int tranferDevice() const { return m_library.tranferDevice(); }
    PRPhotoLibrary &library() { return m_library; }
    PRPhotoBrowserModel *model() const { return m_model; }
    // imageArray: the items shown, in load order; the selected ones, ascending.
    PRPhotoItemList imageArray() const;
    PRPhotoItemList selectedItems() const;

    // The pane's widgets (the page's fields).
    PRPhotoBrowserView *imageBroswerView = nullptr;
    QLabel *scanPhotoImageView = nullptr;
    QLabel *scanPhotoInfolab = nullptr;
    QProgressBar *photoProgress = nullptr;
    QProgressBar *photoExportProgressor = nullptr;
    QSlider *zoomSlider = nullptr;
    QMenu *photoMenu = nullptr;
    QLabel *statusLab = nullptr;
    // Says so while the pane holds no phone.
    QLabel *noPhoneLab = nullptr;

    // Menu and button actions.
    QAction *exportSelectedAction = nullptr;
    QAction *exportAllAction = nullptr;
    QAction *selectAllAction = nullptr;
    QAction *unselectAllAction = nullptr;

Q_SIGNALS:
    // photoScanhasStartHandle: a load of the phone started.
    void loadStarted(int deviceId);
    // The load ended with every photo read ("photoScanFinished" was posted).
    void loadFinished(int deviceId);
    // The load ended without its content (the phone left or had no file
    // service); the next ShowPhoto tries again.
    void loadFailed(int deviceId);
    // The export actions ask the page for its sheet.
    void exportSheetRequested(bool selectedOnly);
    // An export ended and its report was applied.
    void exportEnded(const PhotoExportReport &report);

private:
    void buildWidgets(QWidget *pane);
    void updateActions();
    void showScanning(bool shown);
    void UpImageDataSource(quint64 generation);
    void ScanphotoFinishHandle(int deviceId, quint64 generation, PhotoLibraryLoad::Result result);
    void ExportSelectedPhotoToMacOnMainThread(const PhotoExportReport &report);
    void showExportIndicator(bool shown);
    void tell(const QString &title, const QString &text);

    PRPhotoLibrary m_library;
    PRPhotoBrowserModel *m_model = nullptr;
    Notice m_notice;
    std::function<void(const QString &)> m_reveal;
    QWidget *m_window = nullptr;

    std::shared_ptr<PhotoExportRun> m_run;
    bool m_sheetOpen = false;
    // Last, so that it goes first: the export is cancelled, not waited for.
    devjobs::JobLane m_exportLane{this};
};
