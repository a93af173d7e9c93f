#pragma once

#include "device/pridevicenode.h"
#include "transfer/musiclibrary.h"
#include "transfer/personal/transferrecordload.h"
#include "transfer/page/transferexportflags.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QDateTime;
class QFileDialog;
class QMessageBox;
class PRTransferAppPane;
class PRTransferPhotoPane;
class PRTransferMediaPane;
class PRTransferPersonalPane;
class PRTransferMusicController;
class iTunesScriptHandler;
class QStackedWidget;
class QTableView;
class QWidget;

// The transfer page of a connected phone: a main pane and seven panes
// (photos, music, video, apps, contacts, messages, notes), each filled once
// from the phone on first demand, and the one export-to-folder sheet whose
// end starts the export the page's last export action chose.
//
// The page works on one phone, the one the window shows: what a pane loads
// is bound to the phone it was loaded from, and when another phone is shown
// or that phone leaves, the page forgets it, so a phone never sees another
// one's lists.
class PRTansferViewController : public QObject
{
    Q_OBJECT

public:
    enum class Pane { Main, Photo, Music, Video, App, Contact, Message, Note };
    // The panes whose content is loaded from the phone, each once.
    enum class Load { Music, Photo, App, Contact, Message, Note };
    Q_ENUM(Pane)
    Q_ENUM(Load)

    explicit PRTansferViewController(QObject *parent = nullptr);
    ~PRTansferViewController() override;

    // Puts the page into hostView (once) and shows the main pane.
    void showView(QWidget *hostView);

    void showMianView();
    void showPhotoView();
    void showMusicView();
    void showVideoView();
    void showAppView();
    void showContactView();
    void showMessageView();
    void showNoteView();
    Pane currentPane() const;
    QWidget *pane(Pane which) const;

    // Pane loads with the phone's id: each runs once per phone (while it
    // runs or after it finished, a second call does nothing). Another phone
    // than the page's replaces it (as deviceShown); -1 says no phone.
    void ShowMusic(int deviceId);
    void ShowPhoto(int deviceId);
    void ShowApp(int deviceId);
    void showContact(int deviceId);
    void showMessage(int deviceId);
    void showNote(int deviceId);

    // What starts a pane's load as a job. It is handed the phone's id and
    // calls loadFinished() on this object's thread (where the job delivers
    // its end) when it ends. A pane without a loader finishes at once.
    using Loader = std::function<void(int deviceId)>;
    void setLoader(Load which, Loader loader);
    void loadFinished(Load which, int deviceId);
    bool isLoadStarted(Load which) const;
    bool isLoadFinished(Load which) const;

    // The phone the window shows, -1 for none: what was loaded for another
    // phone is forgotten.
    void deviceShown(int deviceId);
    // A phone left: everything loaded from it is forgotten, whichever phone
    // it was.
    void deviceRemoved(int deviceId);
    int tranferDevice() const { return m_tranferDevice.load(); }

    // Export to a folder: the action sets its flag, then opens the sheet; the
    // sheet's end runs the chosen export with the folder named there.
    TransferExportFlags exportFlags;
    using Exporter = std::function<void(const QString &exportPath)>;
    void setExporter(TransferExport which, Exporter exporter);
    void ExportOpenpanelAction();
    void savePanelDidEnd(int returnCode);
    QString exportPath() const { return m_exportPath; }
    QFileDialog *sp = nullptr;

    // "Ostra 2024-03-05 - 14.07.09".
    static QString proposedExportName(const QDateTime &now);

    QWidget *view() const { return m_view; }

    // The music and video panes.
    PRTransferMusicController *musicController = nullptr;
    PRTransferMusicController *videoController = nullptr;
    QTableView *musicTableView = nullptr;
    QTableView *videoTableView = nullptr;
    PRMusicLibrary &musicLibrary() { return m_music; }
    // Their actions (made with the panes, on the first showView or switch).
    PRTransferMediaPane *musicPane = nullptr;
    PRTransferMediaPane *videoPane = nullptr;
    // The contacts, messages and notes panes, filled from a backup of the
    // phone.
    PRTransferPersonalPane *contactPane = nullptr;
    PRTransferPersonalPane *messagePane = nullptr;
    PRTransferPersonalPane *notePane = nullptr;
    PRTransferRecordLoad &recordLoad() { return m_records; }
    // The apps pane: the phone's apps, their archives and documents.
    PRTransferAppPane *appPane = nullptr;
    // The photos pane: the camera roll and synced photos.
    PRTransferPhotoPane *photoPane = nullptr;
    // The phone shown (its UDID names its backup, its version the layout).
    void setCurrentIDevicenode(const std::optional<PRiDeviceNode> &node);
    // A load that ended without its content: the pane may be chosen again.
    void loadFailed(Load which, int deviceId);
    // _iTunesHander: the music library the panes copy into.
    std::shared_ptr<iTunesScriptHandler> iTunesHander() const { return m_iTunesHander; }

Q_SIGNALS:
    // A pane's load started (the sidebar's spinner turns).
    void loadStarted(PRTansferViewController::Load which);
    // A pane's load ended (on the GUI thread); the sidebar's spinner stops.
    void loadEnded(PRTansferViewController::Load which);
    // The sheet's folder was handed to an export (or only revealed).
    void exportStarted(const QString &exportPath);
    // The sheet was closed without a folder.
    void exportCancelled();
    // The phone's backup failed or was encrypted: the alert shown.
    void backupAlert(const QString &text, const QString &informativeText);

private:
    void showPane(Pane which);
    void startLoad(Load which, int deviceId);
    void buildPanes();
    // Drops everything loaded for the page's phone; loads that ran end.
    void forgetPhone();
    // The music and video panes say what their list stands for.
    void applyMusicState();
    // "AttachAScript Error": one alert at a time; later failures are counted in it.
    void showScriptAlert(const QString &title, const QString &message);

    QWidget *m_view = nullptr;
    QStackedWidget *m_panes = nullptr;
    std::array<QWidget *, 8> m_paneWidgets{};
    std::atomic<int> m_tranferDevice{-1};
    std::array<std::atomic<bool>, 6> m_started{};
    std::array<std::atomic<bool>, 6> m_finished{};
    std::array<Loader, 6> m_loaders;
    std::array<Exporter, kTransferExportCount> m_exporters;
    QString m_exportPath;
    PRMusicLibrary m_music;
    std::shared_ptr<iTunesScriptHandler> m_iTunesHander;
    std::optional<PRiDeviceNode> m_currentDevice;
    // Why the last music load of the page's phone failed (empty: it did not).
    QString m_musicFailure;
    QPointer<QMessageBox> m_scriptAlert;
    int m_moreScriptAlerts = 0;
    // Last: its worker calls back into the page until it is joined.
    PRTransferRecordLoad m_records;
};
