#include "transfer/page/prtansferviewcontroller.h"

#include "platform/plaintext.h"

#include "filesafety/exportpaths.h"
#include "filesafety/prreveal.h"
#include "platform/notificationcenter.h"
#include "transfer/itunesscripthandler.h"
#include "transfer/page/prtransferapppane.h"
#include "transfer/page/prtransfermediapane.h"
#include "transfer/page/prtransfermusiccontroller.h"
#include "transfer/page/prtransferpersonalpane.h"
#include "transfer/page/prtransferphotopane.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QHeaderView>
#include <QStackedWidget>
#include <QTableView>
#include <QVBoxLayout>

PRTansferViewController::PRTansferViewController(QObject *parent)
    : QObject(parent)
{
    QPointer<PRTansferViewController> self(this);
    m_iTunesHander = std::make_shared<iTunesScriptHandler>();
    // The handler calls from the runs' workers too; it hands the alert to
    // the GUI thread.
    m_iTunesHander->setAlertHandler([self](const QString &title, const QString &message) {
        if (self)
            self->showScriptAlert(title, message);
    });
    musicController = new PRTransferMusicController(this);
    videoController = new PRTransferMusicController(this);
    // The library's load says how it ended on this object's thread.
    m_music.setFinishedCallback([this](int deviceId) {
        if (m_music.tranferDevice() != deviceId)
            return;
        musicController->setTracks(m_music.musicArray());
        videoController->setTracks(m_music.videoArray());
        loadFinished(Load::Music, deviceId);
    });
    m_music.setFailedCallback([this](int deviceId, MusicLibraryLoad::Result result) {
        if (m_tranferDevice.load() != deviceId)
            return;
        m_musicFailure = result == MusicLibraryLoad::Result::NoFileService ? tr("the phone refused its file service")
                                                                           : tr("the phone stopped answering");
        loadFailed(Load::Music, deviceId);
    });
    setLoader(Load::Music, [this](int deviceId) { m_music.ShowMusic(deviceId); });
    using Kind = PRTransferRecordLoad::Kind;
    auto recordLoader = [this](Kind kind) {
        return [this, kind](int deviceId) {
            PRTransferRecordLoad::Device device;
            device.id = deviceId;
            if (m_currentDevice) {
                device.udid = m_currentDevice->udidNumber;
                device.iosVersion = m_currentDevice->iOSVersion;
                device.name = m_currentDevice->deviceName;
            }
            for (PRTransferPersonalPane *p : {contactPane, messagePane, notePane})
                if (p)
                    p->setDeviceName(device.name);
            m_records.request(kind, device);
        };
    };
    setLoader(Load::Photo, [this](int deviceId) {
        if (!m_view)
            buildPanes();
        photoPane->ShowPhoto(deviceId);
    });
    setLoader(Load::App, [this](int deviceId) {
        if (!m_view)
            buildPanes();
        appPane->ShowApp(deviceId);
    });
    setLoader(Load::Contact, recordLoader(Kind::Contact));
    setLoader(Load::Message, recordLoader(Kind::Message));
    setLoader(Load::Note, recordLoader(Kind::Note));
    PRTransferRecordLoad::Callbacks callbacks;
    // The load calls back on this object's thread.
    callbacks.progress = [this](int deviceId, const QString &line) {
        if (m_tranferDevice.load() != deviceId)
            return;
        for (PRTransferPersonalPane *p : {contactPane, messagePane, notePane})
            if (p && !p->isBusy())
                p->statusLab->setText(tr("Backing up the phone: %1").arg(line.left(120)));
    };
    callbacks.finished = [this](int deviceId, Kind kind, const PRTransferRecordLoad::Lists &lists) {
        if (m_tranferDevice.load() != deviceId)
            return;
        PRTransferPersonalPane *p = kind == Kind::Contact ? contactPane : kind == Kind::Message ? messagePane : notePane;
        if (p) {
            p->statusLab->clear();
            p->setContent(lists);
        }
        const Load load = kind == Kind::Contact ? Load::Contact : kind == Kind::Message ? Load::Message : Load::Note;
        // Contacts read for the messages' names fill their pane too.
        if (!isLoadStarted(load))
            m_started[std::size_t(load)] = true;
        loadFinished(load, deviceId);
    };
    callbacks.failed = [this](int deviceId, const QList<Kind> &kinds, PRTransferRecordLoad::Failure failure,
                              const QString &message) {
        if (m_tranferDevice.load() != deviceId)
            return;
        for (Kind kind : kinds)
            loadFailed(kind == Kind::Contact ? Load::Contact : kind == Kind::Message ? Load::Message : Load::Note,
                       deviceId);
        for (PRTransferPersonalPane *p : {contactPane, messagePane, notePane})
            if (p)
                p->statusLab->clear();
        QWidget *window = m_view ? m_view->window() : nullptr;
        QMessageBox *box = nullptr;
        QString informative;
        if (failure == PRTransferRecordLoad::Failure::Encrypted) {
            box = new QMessageBox(QMessageBox::Warning, QString(), PRTransferRecordLoad::kEncryptedMessage,
                                  QMessageBox::NoButton, window);
            informative = PRTransferRecordLoad::kEncryptedInformative;
            box->addButton(tr(" Ok "), QMessageBox::AcceptRole);
        } else if (failure == PRTransferRecordLoad::Failure::BackupFailed) {
            box = new QMessageBox(QMessageBox::Warning, QString(), tr("The phone could not be backed up."),
                                  QMessageBox::Ok, window);
            // The backup tool's words, which quote the phone's.
            informative = message;
        }
        if (box) {
            box->setObjectName(QStringLiteral("transferBackupAlert"));
            box->setTextFormat(Qt::PlainText);
            box->setInformativeText(PlainText::markup(informative));
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setWindowModality(Qt::WindowModal);
            Q_EMIT backupAlert(box->text(), informative);
            box->open();
        }
    };
    m_records.setCallbacks(std::move(callbacks));
    setExporter(TransferExport::MusicSelected, [this](const QString &path) { musicPane->exportToFolder(path, true); });
    setExporter(TransferExport::MusicAll, [this](const QString &path) { musicPane->exportToFolder(path, false); });
    setExporter(TransferExport::VideoAll, [this](const QString &path) { videoPane->exportToFolder(path, false); });
}

PRTansferViewController::~PRTansferViewController()
{
    // The panes' runs end before the library they work on goes.
    delete musicPane;
    delete videoPane;
    delete contactPane;
    delete messagePane;
    delete notePane;
    delete appPane;
    delete photoPane;
}

void PRTansferViewController::setCurrentIDevicenode(const std::optional<PRiDeviceNode> &node)
{
    m_currentDevice = node;
}

void PRTansferViewController::loadFailed(Load which, int deviceId)
{
    if (deviceId != m_tranferDevice.load())
        return;
    if (m_started[std::size_t(which)].exchange(false))
        Q_EMIT loadEnded(which);
    if (which == Load::Music)
        applyMusicState();
}

void PRTansferViewController::showScriptAlert(const QString &title, const QString &message)
{
    if (m_scriptAlert) {
        m_scriptAlert->setInformativeText(tr("%n more call(s) failed.", nullptr, ++m_moreScriptAlerts));
        return;
    }
    m_moreScriptAlerts = 0;
    // The message names the track's file: plain text.
    auto *box = new QMessageBox(QMessageBox::Warning, title, message, QMessageBox::NoButton,
                                m_view ? m_view->window() : nullptr);
    box->setObjectName(QStringLiteral("scriptAlert"));
    box->addButton(tr("ok"), QMessageBox::AcceptRole);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    m_scriptAlert = box;
}

void PRTansferViewController::applyMusicState()
{
    using State = PRTransferMediaPane::LibraryState;
    const State state = m_tranferDevice.load() < 0  ? State::NoPhone
                        : isLoadStarted(Load::Music)  ? State::Reading
                        : isLoadFinished(Load::Music) ? State::Read
                        : !m_musicFailure.isEmpty()   ? State::Failed
                                                      : State::NotRead;
    for (PRTransferMediaPane *mediaPane : {musicPane, videoPane})
        if (mediaPane)
            mediaPane->setLibraryState(state, m_musicFailure);
}

void PRTansferViewController::buildPanes()
{
    m_view = new QWidget;
    m_view->setObjectName(QStringLiteral("TransfView"));
    auto *layout = new QVBoxLayout(m_view);
    layout->setContentsMargins(0, 0, 0, 0);
    m_panes = new QStackedWidget(m_view);
    layout->addWidget(m_panes);
    const char *names[] = {"tranMainView", "photoView",   "musicView",   "videoView",
                           "appView",      "contactView", "messageView", "noteView"};
    for (std::size_t i = 0; i < m_paneWidgets.size(); ++i) {
        auto *w = new QWidget(m_panes);
        w->setObjectName(QLatin1String(names[i]));
        new QVBoxLayout(w);
        m_paneWidgets[i] = w;
        m_panes->addWidget(w);
    }
    auto *welcome = new QLabel(tr("Choose what to transfer in the sidebar: photos, music, videos, apps, contacts, "
                                  "messages or notes."),
                               m_paneWidgets[0]);
    welcome->setWordWrap(true);
    welcome->setAlignment(Qt::AlignCenter);
    m_paneWidgets[0]->layout()->addWidget(welcome);

    auto table = [this](QWidget *pane, PRTransferMusicController *model, const char *name) {
        auto *view = new QTableView(pane);
        view->setObjectName(QLatin1String(name));
        view->setModel(model);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->horizontalHeader()->setStretchLastSection(true);
        view->verticalHeader()->hide();
        view->setAlternatingRowColors(true);
        return view;
    };
    musicTableView = table(m_paneWidgets[std::size_t(Pane::Music)], musicController, "musicTableView");
    videoTableView = table(m_paneWidgets[std::size_t(Pane::Video)], videoController, "videoTableView");
    musicPane = new PRTransferMediaPane(PRTransferMediaPane::Kind::Music, m_music, musicController, musicTableView,
                                        m_paneWidgets[std::size_t(Pane::Music)], m_iTunesHander, this);
    videoPane = new PRTransferMediaPane(PRTransferMediaPane::Kind::Video, m_music, videoController, videoTableView,
                                        m_paneWidgets[std::size_t(Pane::Video)], m_iTunesHander, this);
    contactPane = new PRTransferPersonalPane(PRTransferPersonalPane::Kind::Contact,
                                             m_paneWidgets[std::size_t(Pane::Contact)], this);
    messagePane = new PRTransferPersonalPane(PRTransferPersonalPane::Kind::Message,
                                             m_paneWidgets[std::size_t(Pane::Message)], this);
    notePane = new PRTransferPersonalPane(PRTransferPersonalPane::Kind::Note, m_paneWidgets[std::size_t(Pane::Note)],
                                          this);
    photoPane = new PRTransferPhotoPane(m_paneWidgets[std::size_t(Pane::Photo)], this);
    connect(photoPane, &PRTransferPhotoPane::loadFinished, this,
            [this](int deviceId) { loadFinished(Load::Photo, deviceId); });
    connect(photoPane, &PRTransferPhotoPane::loadFailed, this, [this](int deviceId) { loadFailed(Load::Photo, deviceId); });
    connect(photoPane, &PRTransferPhotoPane::exportSheetRequested, this, [this](bool selectedOnly) {
        exportFlags.choose(selectedOnly ? TransferExport::PhotoSelected : TransferExport::PhotoAll);
        ExportOpenpanelAction();
    });
    connect(this, &PRTansferViewController::exportCancelled, photoPane, &PRTransferPhotoPane::exportSheetCancelled);
    setExporter(TransferExport::PhotoSelected, [this](const QString &path) { photoPane->exportToFolder(path, true); });
    setExporter(TransferExport::PhotoAll, [this](const QString &path) { photoPane->exportToFolder(path, false); });
    appPane = new PRTransferAppPane(m_paneWidgets[std::size_t(Pane::App)], this);
    connect(appPane, &PRTransferAppPane::loadFinished, this,
            [this](int deviceId) { loadFinished(Load::App, deviceId); });
    connect(appPane, &PRTransferAppPane::loadFailed, this,
            [this](int deviceId, const QString &) { loadFailed(Load::App, deviceId); });
    connect(appPane, &PRTransferAppPane::exportSheetRequested, this, [this](TransferExport which) {
        exportFlags.choose(which);
        ExportOpenpanelAction();
    });
    connect(this, &PRTansferViewController::exportCancelled, appPane, &PRTransferAppPane::exportSheetCancelled);
    for (TransferExport which : {TransferExport::AppSelected, TransferExport::AppAll, TransferExport::AppDir})
        setExporter(which, [this, which](const QString &path) { appPane->exportToFolder(path, which); });
    applyMusicState();
    for (PRTransferMediaPane *mediaPane : {musicPane, videoPane}) {
        connect(mediaPane, &PRTransferMediaPane::exportSheetRequested, this, [this, mediaPane](bool selectedOnly) {
            const bool music = mediaPane == musicPane;
            exportFlags.choose(music ? (selectedOnly ? TransferExport::MusicSelected : TransferExport::MusicAll)
                                     : TransferExport::VideoAll);
            mediaPane->exportSheetOpened();
            ExportOpenpanelAction();
        });
        connect(this, &PRTansferViewController::exportCancelled, mediaPane, &PRTransferMediaPane::exportSheetCancelled);
    }
}

void PRTansferViewController::showView(QWidget *hostView)
{
    if (!m_view)
        buildPanes();
    if (hostView && m_view->parentWidget() != hostView) {
        QLayout *hostLayout = hostView->layout();
        if (!hostLayout) {
            hostLayout = new QVBoxLayout(hostView);
            hostLayout->setContentsMargins(0, 0, 0, 0);
        }
        hostLayout->addWidget(m_view);
    }
    m_view->show();
    showMianView();
}

QWidget *PRTansferViewController::pane(Pane which) const
{
    return m_paneWidgets[std::size_t(which)];
}

PRTansferViewController::Pane PRTansferViewController::currentPane() const
{
    for (std::size_t i = 0; i < m_paneWidgets.size(); ++i)
        if (m_panes && m_panes->currentWidget() == m_paneWidgets[i])
            return Pane(i);
    return Pane::Main;
}

void PRTansferViewController::showPane(Pane which)
{
    if (!m_view)
        buildPanes();
    m_panes->setCurrentWidget(m_paneWidgets[std::size_t(which)]);
}

void PRTansferViewController::showMianView() { showPane(Pane::Main); }
void PRTansferViewController::showPhotoView() { showPane(Pane::Photo); }
void PRTansferViewController::showMusicView() { showPane(Pane::Music); }
void PRTansferViewController::showVideoView() { showPane(Pane::Video); }
void PRTansferViewController::showAppView() { showPane(Pane::App); }
void PRTansferViewController::showContactView() { showPane(Pane::Contact); }
void PRTansferViewController::showMessageView() { showPane(Pane::Message); }
void PRTansferViewController::showNoteView() { showPane(Pane::Note); }

void PRTansferViewController::ShowMusic(int deviceId) { startLoad(Load::Music, deviceId); }
void PRTansferViewController::ShowPhoto(int deviceId) { startLoad(Load::Photo, deviceId); }
void PRTansferViewController::ShowApp(int deviceId) { startLoad(Load::App, deviceId); }
void PRTansferViewController::showContact(int deviceId) { startLoad(Load::Contact, deviceId); }
void PRTansferViewController::showMessage(int deviceId) { startLoad(Load::Message, deviceId); }
void PRTansferViewController::showNote(int deviceId) { startLoad(Load::Note, deviceId); }

void PRTansferViewController::setLoader(Load which, Loader loader)
{
    m_loaders[std::size_t(which)] = std::move(loader);
}

bool PRTansferViewController::isLoadStarted(Load which) const
{
    return m_started[std::size_t(which)].load();
}

bool PRTansferViewController::isLoadFinished(Load which) const
{
    return m_finished[std::size_t(which)].load();
}

void PRTansferViewController::startLoad(Load which, int deviceId)
{
    const std::size_t i = std::size_t(which);
    // Asked for another phone than its own, the page follows it.
    deviceShown(deviceId);
    // Once per phone: a load that runs or ran for this phone is not repeated;
    // a load of a phone that left was forgotten with it.
    if (deviceId < 0 || m_started[i] || m_finished[i])
        return;
    m_started[i] = true;
    if (which == Load::Music) {
        m_musicFailure.clear();
        applyMusicState();
    }
    Q_EMIT loadStarted(which);
    if (m_loaders[i])
        m_loaders[i](deviceId);
    else
        loadFinished(which, deviceId);
}

void PRTansferViewController::loadFinished(Load which, int deviceId)
{
    const std::size_t i = std::size_t(which);
    // The end of a load for a phone that has since left changes nothing.
    if (deviceId != m_tranferDevice.load() || !m_started[i])
        return;
    m_started[i] = false;
    m_finished[i] = true;
    Q_EMIT loadEnded(which);
    // The sidebar's spinners of these loads stop on their notifications.
    if (which == Load::Music) {
        applyMusicState();
        NotificationCenter::defaultCenter().post(QStringLiteral("musicScanFinished"));
    } else if (which == Load::App) {
        NotificationCenter::defaultCenter().post(QStringLiteral("AppScanFinished"));
    }
}

void PRTansferViewController::deviceShown(int deviceId)
{
    if (deviceId == m_tranferDevice.load())
        return;
    forgetPhone();
    m_tranferDevice = deviceId;
    applyMusicState();
}

void PRTansferViewController::forgetPhone()
{
    const int old = m_tranferDevice.load();
    if (old < 0)
        return;
    m_music.deviceRemoved(old);
    m_records.deviceRemoved(old);
    for (PRTransferPersonalPane *p : {contactPane, messagePane, notePane})
        if (p)
            p->clear();
    musicController->setTracks({});
    videoController->setTracks({});
    for (PRTransferMediaPane *mediaPane : {musicPane, videoPane})
        if (mediaPane)
            mediaPane->clearShown();
    m_musicFailure.clear();
    // The apps and photos panes replace their phone's content as soon as
    // they load for the next one, which their rows do when chosen.
    m_tranferDevice = -1;
    for (std::size_t i = 0; i < m_started.size(); ++i) {
        const bool wasRunning = m_started[i].exchange(false);
        m_finished[i] = false;
        if (wasRunning)
            Q_EMIT loadEnded(Load(i));
    }
}

void PRTansferViewController::deviceRemoved(int deviceId)
{
    m_music.deviceRemoved(deviceId);
    m_records.deviceRemoved(deviceId);
    // The panes check whose content they hold: a phone no longer shown may
    // still have left something there.
    if (appPane)
        appPane->deviceRemoved(deviceId);
    if (photoPane)
        photoPane->deviceRemoved(deviceId);
    for (PRTransferMediaPane *mediaPane : {musicPane, videoPane})
        if (mediaPane)
            mediaPane->deviceRemoved(deviceId);
    if (deviceId == m_tranferDevice.load())
        deviceShown(-1);
}

void PRTansferViewController::setExporter(TransferExport which, Exporter exporter)
{
    m_exporters[std::size_t(which)] = std::move(exporter);
}

QString PRTansferViewController::proposedExportName(const QDateTime &now)
{
    return PRExportPaths::proposedExportName(now);
}

void PRTansferViewController::ExportOpenpanelAction()
{
    delete sp;
    sp = new QFileDialog(m_view ? m_view->window() : nullptr);
    sp->setObjectName(QStringLiteral("transferExportSheet"));
    sp->setAcceptMode(QFileDialog::AcceptSave);
    sp->setFileMode(QFileDialog::AnyFile);
    sp->setOption(QFileDialog::DontUseNativeDialog);
    sp->setDirectory(QDir::homePath());
    sp->selectFile(proposedExportName(QDateTime::currentDateTime()));
    sp->setWindowModality(Qt::WindowModal);
    connect(sp, &QFileDialog::finished, this, &PRTansferViewController::savePanelDidEnd);
    sp->open();
}

void PRTansferViewController::savePanelDidEnd(int returnCode)
{
    if (returnCode != QDialog::Accepted || !sp) {
        Q_EMIT exportCancelled();
        return;
    }
    // The folder exactly as chosen: nothing in it is rewritten.
    m_exportPath = sp->selectedFiles().value(0);
    sp->hide();
    const int chosen = exportFlags.first();
    const bool exporting = chosen >= 0 && m_exporters[std::size_t(chosen)];
    if (exporting)
        m_exporters[std::size_t(chosen)](m_exportPath);
    Q_EMIT exportStarted(m_exportPath);
    // An export shows its folder once its files are there (the folder does
    // not exist yet while the sheet closes); without one the folder is
    // shown at once.
    if (!exporting)
        PRReveal::showFolderLater(m_exportPath);
}
