#include "app/navigation.h"

#include "app/veldruneappdelegate.h"
#include "filesafety/primages.h"
#include "platform/paths.h"
#include "results/prsharedcontrols.h"

#include "maintenance/page/prcleanviewcontroller.h"
#include "transfer/page/prtansferviewcontroller.h"

#include <QProgressBar>
#include <QDialog>
#include <QStackedLayout>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

const std::array<PRSidebarRow, 15> &sidebarRows()
{
    using D = VeldruneAppDelegate;
    static const std::array<PRSidebarRow, 15> rows = {{
        {"iDeviceStatuBtn", "iDeviceStartup01", "iDeviceStartup02", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Device Status"), &D::ClickMainStatu},
        {"systemlibBtn", "SystemLibrary01", "SystemLibrary02", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "File System"), &D::ClickSystemLib},
        {"appBtn", "app01", "app02", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Apps"), &D::ClickApp},
        {"photoBtn", "photos01", "photos02", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Photos"), &D::ClickPhoto},
        {"musicBtn", "music01", "music02", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Music"), &D::ClickMusic},
        {"videoBtn", "videos01", "videos02", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Videos"), &D::ClickVideo},
        {"tempJunkFileBtn", "TempJunkFiles01", "TempJunkFiles02", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Temp Junk Files"), &D::ClickCleanJunk},
        {"cacheBtn", "CacheFiles01", "CacheFiles02", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Cache Files"), &D::ClickCleanCache},
        {"cookieBtn", "CookiesScriptFiles01", "CookiesScriptFiles02", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Cookies & Script Files"),
         &D::ClickCleanCook},
        {"syncBtn", "SyncfailedMedia01", "SyncfailedMedia02", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Sync-failed Media"), &D::ClickCleanMedia},
        {"backupBtn", "BackupiDevice01", "BackupiDevice02", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Back up iDevice"), &D::ClickBackupAction},
        {"broswerBtn", "BackupBroswer01", "BackupBroswer02", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Backup Browser"), &D::ClickScaniTunesBackup},
        {"transContactBtn", "transContactNom", "transContactDown", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Contacts"), &D::ClickContact},
        {"transMessageBtn", "transMessageNom", "transMessageDown", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Messages"), &D::CilckMessage},
        {"transNoteBtn", "transNoteNom", "transNoteDown", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Notes"), &D::ClickNote},
    }};
    return rows;
}

const std::array<PRHomeTile, 10> &homeTiles()
{
    using D = VeldruneAppDelegate;
    static const std::array<PRHomeTile, 10> tiles = {{
        {"photoViewButton", "photos_Down.png", "photos.png", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Photos"), &D::ClickPhoto},
        {"muiscViewButton", "musicBtn_Down.png", "musicBtn.png", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Music"), &D::ClickMusic},
        {"appViewButton", "apps_Down.png", "apps.png", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Apps"), &D::ClickApp},
        {"videoViewButton", "videos_Down.png", "videos.png", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Videos"), &D::ClickVideo},
        {"fileSystemViewButton", "filesystem_Down.png", "filesystem.png", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "File System"),
         &D::ClickSystemLib},
        {"contactViewButton", "contactBtn_Down.png", "contactBtn.png", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Contacts"), &D::ClickContact},
        {"messageViewButton", "Messages_Down.png", "Messages.png", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Messages"), &D::CilckMessage},
        {"noteViewButton", "Notes_Down.png", "Notes.png", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Notes"), &D::ClickNote},
        {"iTunesBackupButton", "itunesbackup_Down.png", "itunesbackup.png", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Backup Browser"),
         &D::ClickScaniTunesBackup},
        {"iCloudBackupButton", "icloudbackup_Down.png", "icloudbackup.png", QT_TRANSLATE_NOOP("VeldruneAppDelegate", "Cleaner"),
         &D::ClickCleanCache},
    }};
    return tiles;
}

PRRowStyle rowStyle(bool highlighted)
{
    return highlighted ? PRRowStyle{157, 181, 212, true} : PRRowStyle{227, 234, 239, false};
}

bool backupFolderNeedsAccess(const QString &backupRoot)
{
    const QFileInfo info(backupRoot);
    return info.exists() && (!info.isReadable() || !info.isExecutable());
}

// --- Page switches --------------------------------------------------------

void VeldruneAppDelegate::showPage(QWidget *page)
{
    if (auto *stack = qobject_cast<QStackedLayout *>(mainShowView->layout()))
        stack->setCurrentWidget(page);
    // The page controllers show their host views themselves; only this one
    // stays.
    for (QWidget *p : m_pages)
        if (p != page)
            p->hide();
    page->show();
}

namespace {

// The sidebar row that stands for the page shown (its pane or view), or 0
// when none does: the highlight follows what the user sees, however the page
// was reached.
int rowShowing(const VeldruneAppDelegate &d)
{
    using Pane = PRTansferViewController::Pane;
    const QWidget *page = d.visiblePage();
    if (page == d.StatuView)
        return 1;
    if (page == d.systemlibView)
        return 2;
    if (page == d.TansferView) {
        switch (d.transferViewController->currentPane()) {
        case Pane::App: return 3;
        case Pane::Photo: return 4;
        case Pane::Music: return 5;
        case Pane::Video: return 6;
        case Pane::Contact: return 13;
        case Pane::Message: return 14;
        case Pane::Note: return 15;
        case Pane::Main: return 0;
        }
    }
    if (page == d.ClearnView) {
        const PRCleanViewController &clean = *d.cleanViewController;
        const QWidget *view = clean.currentView();
        if (!view)
            return 0;
        if (view == clean.cleanJunkView)
            return 7;
        if (view == clean.cleanCacheview)
            return 8;
        if (view == clean.cleanCookView)
            return 9;
        if (view == clean.cleanMediaView)
            return 10;
        return 0;
    }
    if (page == d.BackupView)
        return 11;
    if (page == d.iTunesBackupBroswerView)
        return 12;
    return 0;
}

} // namespace

QWidget *VeldruneAppDelegate::visiblePage() const
{
    for (QWidget *p : m_pages)
        if (!p->isHidden())
            return p;
    return nullptr;
}

void VeldruneAppDelegate::highlightRow(int row)
{
    m_highlightedRow = row;
    const auto &table = sidebarRows();
    for (int i = 0; i < int(table.size()); ++i)
        styleRow(rows[size_t(i)], table[size_t(i)].normalImage, table[size_t(i)].highlightedImage, i + 1 == row);
    // Without a device the sidebar shows only its two rows; they follow
    // the browser's row so the user sees where they are.
    styleRow(disConnectBroswerRow, "BackupBroswer01", "BackupBroswer02", row == 12);
    styleRow(connectDeviceRow, "ConnectDevice01", "ConnectDevice02", row != 12);
}

void VeldruneAppDelegate::styleRow(PRSidebarRowWidgets &row, const char *normalImage, const char *highlightedImage,
                                   bool on)
{
    if (!row.button)
        return;
    const PRRowStyle style = rowStyle(on);
    row.button->setStyleSheet(QStringLiteral("QPushButton { background: rgb(%1, %2, %3); border: none; "
                                             "text-align: left; }")
                                  .arg(style.red)
                                  .arg(style.green)
                                  .arg(style.blue));
    row.image->setPixmap(imageNamed(QLatin1String(on ? highlightedImage : normalImage)));
    row.text->setStyleSheet(style.whiteText ? QStringLiteral("color: white;") : QStringLiteral("color: black;"));
}

void VeldruneAppDelegate::ClickMainStatu()
{
    showPage(StatuView);
    highlightRow(rowShowing(*this));
}

void VeldruneAppDelegate::ClickSystemLib()
{
    showPage(systemlibView);
    phonesystemViewController->showPhoneSystemView(systemlibView);
    highlightRow(rowShowing(*this));
    phonesystemViewController->LookupSystemTree(theDevice);
}

void VeldruneAppDelegate::ClickTansfer()
{
    showPage(TansferView);
    transferViewController->showView(TansferView);
    highlightRow(rowShowing(*this));
}

void VeldruneAppDelegate::ClickApp()
{
    ClickTansfer();
    transferViewController->showAppView();
    highlightRow(rowShowing(*this));
    transferViewController->ShowApp(theDevice);
    manageHasDeviceView->update();
}

void VeldruneAppDelegate::ClickPhoto()
{
    ClickTansfer();
    transferViewController->showPhotoView();
    highlightRow(rowShowing(*this));
    transferViewController->ShowPhoto(theDevice);
}

void VeldruneAppDelegate::ClickMusic()
{
    ClickTansfer();
    transferViewController->showMusicView();
    highlightRow(rowShowing(*this));
    transferViewController->ShowMusic(theDevice);
}

void VeldruneAppDelegate::ClickVideo()
{
    ClickTansfer();
    transferViewController->showVideoView();
    highlightRow(rowShowing(*this));
}

void VeldruneAppDelegate::ClickContact()
{
    ClickTansfer();
    transferViewController->showContactView();
    transferViewController->showContact(theDevice);
    highlightRow(rowShowing(*this));
}

void VeldruneAppDelegate::CilckMessage()
{
    ClickTansfer();
    transferViewController->showMessageView();
    transferViewController->showMessage(theDevice);
    highlightRow(rowShowing(*this));
}

void VeldruneAppDelegate::ClickNote()
{
    ClickTansfer();
    transferViewController->showNoteView();
    transferViewController->showNote(theDevice);
    highlightRow(rowShowing(*this));
}

namespace {

// The cleaner's head as a scan starts: a new scan starts from nothing, its
// totals are not added to the last.
void startCleanHead(VeldruneAppDelegate &d)
{
    d.allJunkFileNumber = d.allCacheFileNumber = d.allCookFileNumber = 0;
    d.tempJunkFileTextlab->setText(VeldruneAppDelegate::tr("Temp Files Cleaner"));
    d.cacheTextlab->setText(VeldruneAppDelegate::tr("Cache Cleaner"));
    d.cookieTextlab->setText(VeldruneAppDelegate::tr("Cookie Cleaner"));
    d.topInfoAnytlab->setText(VeldruneAppDelegate::tr("Analyzing your iDevice. Please waiting...."));
    d.cleanprogressor->setValue(0);
    d.cleanScanView->show();
    d.cleanFinishView->hide();
    d.fixResultView->hide();
}

} // namespace

void VeldruneAppDelegate::ClickClean()
{
    showPage(ClearnView);
    cleanViewController->showView(ClearnView);
    // Every way into the cleaner (its rows, the home tile, the footer link)
    // comes here: a phone the cleaner has not scanned yet is scanned, as
    // ClickCleanAction does; without a phone the page says so.
    if (cleanViewController->openFor(theDevice))
        startCleanHead(*this);
    highlightRow(rowShowing(*this));
}

void VeldruneAppDelegate::ClickCleanAction()
{
    showPage(ClearnView);
    cleanViewController->showView(ClearnView);
    // A refused start (a scan or removal runs, no phone) leaves the head to
    // the page, which says why.
    if (cleanViewController->showPhoneClean(theDevice))
        startCleanHead(*this);
    highlightRow(rowShowing(*this));
}

void VeldruneAppDelegate::ClickCleanJunk()
{
    ClickClean();
    cleanViewController->showCleanJunkView();
    highlightRow(rowShowing(*this));
}

void VeldruneAppDelegate::ClickCleanCache()
{
    ClickClean();
    cleanViewController->showCleanCacheview();
    highlightRow(rowShowing(*this));
}

void VeldruneAppDelegate::ClickCleanCook()
{
    ClickClean();
    cleanViewController->showCleanCookView();
    highlightRow(rowShowing(*this));
}

void VeldruneAppDelegate::ClickCleanMedia()
{
    ClickClean();
    cleanViewController->showCleanMediaView();
    highlightRow(rowShowing(*this));
}

void VeldruneAppDelegate::ClickBackup()
{
    showPage(BackupView);
    backupViewController->showView(BackupView);
    highlightRow(rowShowing(*this));
}

void VeldruneAppDelegate::ClickBackupAction()
{
    ClickBackup();
    highlightRow(rowShowing(*this));
    backupViewController->ShowbackupView();
    manageHasDeviceView->update();
}

void VeldruneAppDelegate::ClickiTunesBackupBroswer()
{
    showPage(iTunesBackupBroswerView);
    highlightRow(rowShowing(*this));
}

void VeldruneAppDelegate::ClickScaniTunesBackup()
{
    showIphoneDiskView();
    if (backupFolderNeedsAccess(Paths::backupRoot())) {
        guideAccessWindow->open();
        return;
    }
    ClickiTunesBackupBroswer();
    if (!biTunesScanFinish)
        actScanIOSBackupFile();
    highlightRow(rowShowing(*this));
    manageHasDeviceView->update();
}

void VeldruneAppDelegate::QuiteTheGuideWindow()
{
    guideAccessWindow->close();
}

void VeldruneAppDelegate::showMainView()
{
    for (QWidget *w : std::initializer_list<QWidget *>{imageView, button, tableScrolleView, infoTextlab, notelab,
                                                       helpBtn, titleline})
        w->show();
    // The home controls live on the home page: going home shows it.
    showPage(noDeviceView);
    highlightRow(0);
    biTunesScanFinish = false;
}

void VeldruneAppDelegate::hideMainView()
{
    for (QWidget *w : std::initializer_list<QWidget *>{imageView, button, tableScrolleView, infoTextlab, notelab,
                                                       helpBtn, titleline})
        w->hide();
}

void VeldruneAppDelegate::MyViewbuttonMouseDownHandle(QObject *tile)
{
    const auto &table = homeTiles();
    for (size_t i = 0; i < table.size(); ++i) {
        if (tiles[i] != tile)
            continue;
        setTileImage(tiles[i], QLatin1String(table[i].pressedImage));
        (this->*table[i].action)();
        setTileImage(tiles[i], QLatin1String(table[i].imageAfter));
        return;
    }
}

void VeldruneAppDelegate::PRViewbuttonMouseEnteredHandle(QObject *tile)
{
    if (auto *w = qobject_cast<QWidget *>(tile))
        w->setCursor(Qt::PointingHandCursor);
}

void VeldruneAppDelegate::PRViewbuttonMouseExitedHandle(QObject *tile)
{
    if (auto *w = qobject_cast<QWidget *>(tile))
        w->setCursor(Qt::ArrowCursor);
}

void VeldruneAppDelegate::setTileImage(PRViewButton *tile, const QString &image)
{
    tile->setIcon(iconNamed(image));
}
