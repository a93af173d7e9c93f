#include "app/veldruneappdelegate.h"

#include "app/secondarywindows.h"

#include "backup/textformat.h"
#include "device/amd/baseinfo.h"
#include "device/amd/deviceitem.h"
#include "device/amd/devicemanager.h"
#include "device/jobs/devicejob.h"
#include "device/status/prdeviceboard.h"
#include "device/status/prdevicestatuspage.h"
#include "platform/notificationcenter.h"
#include "platform/paths.h"
#include "platform/scratchfolder.h"
#include "recovery/deletedrecordscanner.h"
#include "results/prsharedcontrols.h"
#include "transfer/photos/prphotolibrary.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {
VeldruneAppDelegate *sharedDelegate = nullptr;
}

PRMainWindow::PRMainWindow(VeldruneAppDelegate &delegate)
    : m_delegate(delegate)
{
}

void PRMainWindow::closeEvent(QCloseEvent *event)
{
    if (m_delegate.windowShouldClose()) {
        m_delegate.startQuit();
        event->accept();
        qApp->quit();
    } else {
        event->ignore();
    }
}

PRQuitWatchdog::PRQuitWatchdog(Expired expired)
    : m_expired(std::move(expired))
{
}

PRQuitWatchdog::~PRQuitWatchdog()
{
    disarm();
}

void PRQuitWatchdog::arm(std::chrono::milliseconds grace)
{
    std::lock_guard lock(m_mutex);
    if (m_armed || m_disarmed)
        return;
    m_armed = true;
    const auto deadline = std::chrono::steady_clock::now() + grace;
    m_thread = std::thread([this, deadline] { watch(deadline); });
}

void PRQuitWatchdog::watch(std::chrono::steady_clock::time_point deadline)
{
    {
        std::unique_lock lock(m_mutex);
        if (m_changed.wait_until(lock, deadline, [this] { return m_disarmed; }))
            return;
        m_expiredRan = true;
    }
    if (m_expired)
        m_expired();
}

void PRQuitWatchdog::disarm()
{
    {
        std::lock_guard lock(m_mutex);
        m_disarmed = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool PRQuitWatchdog::hasExpired() const
{
    std::lock_guard lock(m_mutex);
    return m_expiredRan;
}

namespace {

// Removes what it can of this process's scratch folders before the
// deadline: the copies of a large camera roll take many seconds to remove.
// What is left goes at the next start, which removes the folders of
// processes that no longer run. Links are removed, never followed.
void removeOwnScratchFolders(std::chrono::steady_clock::time_point deadline)
{
    const QString root = ScratchFolder::root();
    if (root.isEmpty())
        return;
    const QString own = QStringLiteral("use-%1-").arg(::getpid());
    const QDir folder(root);
    for (const QString &name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks)) {
        if (!name.startsWith(own))
            continue;
        QStringList folders{folder.filePath(name)};
        QDirIterator it(folders.first(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            if (std::chrono::steady_clock::now() > deadline)
                return;
            const QString entry = it.next();
            if (it.fileInfo().isDir() && !it.fileInfo().isSymLink())
                folders.append(entry);
            else
                QFile::remove(entry);
        }
        for (auto f = folders.crbegin(); f != folders.crend(); ++f)
            QDir().rmdir(*f);
    }
}

} // namespace

void PRQuitWatchdog::endProcessNow(int status)
{
    // The copies of the phone's and the backups' files go with the process,
    // as they would have with their owners; only this process's folders.
    removeOwnScratchFolders(std::chrono::steady_clock::now() + kRemovalBudget);
    std::fflush(nullptr);
    std::_Exit(status);
}

VeldruneAppDelegate::VeldruneAppDelegate(NotificationCenter &nc)
    : m_nc(nc)
    , m_scanner(nc)
{
    sharedDelegate = this;
    registerObservers();
    initDeviceManagement();
    m_currentNode.reset();
    currentNodeIsiOS6Version = false;
    bIOS7DeviceNode = false;
    biOS10Version = false;
    bFeedBack = false;
    allCacheFileNumber = allJunkFileNumber = allCookFileNumber = 0;
    cleanTimeCount = 0;
    biTunesScanFinish = false;
    m_scanner.setDeletedRecordSteps(DeletedRecordScanner::steps());

    deviceController = new PRIOSDeviceController(this);
    transferViewController = new PRTansferViewController(this);
    // The page's loads turn their sidebar spinners; their ends come back as
    // the finish notifications.
    connect(transferViewController, &PRTansferViewController::loadStarted, this,
            [this](PRTansferViewController::Load load) {
                using L = PRTansferViewController::Load;
                switch (load) {
                case L::Music: musicScanhasStartHandle(); break;
                case L::Photo: photoScanhasStartHandle(); break;
                case L::App: AppScanhasStartHandle(); break;
                case L::Contact: contactScanhasStartHandle(); break;
                case L::Message: messageScanhasStartHandle(); break;
                case L::Note: noteScanhasStartHandle(); break;
                }
            });
    connect(transferViewController, &PRTansferViewController::loadEnded, this,
            [this](PRTansferViewController::Load load) {
                using L = PRTansferViewController::Load;
                // A music, apps or photos load that finished says so with its
                // notification ("musicScanFinished", ...); one that failed or
                // whose phone went ends its spinners here.
                const bool notified = transferViewController->isLoadFinished(load);
                switch (load) {
                case L::Contact: contactScanFinishedHandle(); break;
                case L::Message: messageScanFinishedHandle(); break;
                case L::Note: noteScanFinishedHandle(); break;
                case L::App:
                    if (!notified)
                        AppScanFinishedHandle({});
                    break;
                case L::Photo:
                    if (!notified)
                        photoScanFinishedHandle({});
                    break;
                case L::Music:
                    if (!notified)
                        musicScanFinishedHandle({});
                    break;
                }
            });
    cleanViewController = new PRCleanViewController(this);
    backupViewController = new PRBackUpViewController(this);
    connect(backupViewController, &PRBackUpViewController::browseBackups, this,
            &VeldruneAppDelegate::ClickScaniTunesBackup);
    phonesystemViewController = new PRPhoneSystemViewController(this);
    connect(phonesystemViewController, &PRPhoneSystemViewController::walkStarted, this,
            &VeldruneAppDelegate::SystemlibhasStartHandle);
    // A walk cut short posts no finish: its spinner stops here, and the row
    // may start a new walk.
    connect(phonesystemViewController, &PRPhoneSystemViewController::walkEnded, this,
            [this](bool finished) {
                if (!finished)
                    SystemlibhasFinishedHandle({});
            });
    awakeFromNib();
    applicationDidFinishLaunching();
}

VeldruneAppDelegate::~VeldruneAppDelegate()
{
    shutdown();
    m_nc.removeObserver(this);
    // The page observes the centre too; it goes before the scanner it serves.
    delete window;
    window = nullptr;
    if (sharedDelegate == this)
        sharedDelegate = nullptr;
}

VeldruneAppDelegate *VeldruneAppDelegate::GetAppControllor()
{
    return sharedDelegate;
}

void VeldruneAppDelegate::registerObservers()
{
    // The cleaner notifications come with the device layer; the tiles' hover
    // and press are the shell's own.
    m_nc.addObserver(this, QStringLiteral("SystemlibhasFinished"),
                     [this](const Notification &n) { SystemlibhasFinishedHandle(n); });
    m_nc.addObserver(this, QStringLiteral("AppScanFinished"),
                     [this](const Notification &n) { AppScanFinishedHandle(n); });
    m_nc.addObserver(this, QStringLiteral("photoScanFinished"),
                     [this](const Notification &n) { photoScanFinishedHandle(n); });
    m_nc.addObserver(this, QStringLiteral("musicScanFinished"),
                     [this](const Notification &n) { musicScanFinishedHandle(n); });
    m_nc.addObserver(this, QStringLiteral("PRViewbuttonMouseEntered"),
                     [this](const Notification &n) { PRViewbuttonMouseEnteredHandle(n.object.value<QObject *>()); });
    m_nc.addObserver(this, QStringLiteral("PRViewbuttonMouseExited"),
                     [this](const Notification &n) { PRViewbuttonMouseExitedHandle(n.object.value<QObject *>()); });
    m_nc.addObserver(this, QStringLiteral("MyViewbuttonMouseDown"),
                     [this](const Notification &n) { MyViewbuttonMouseDownHandle(n.object.value<QObject *>()); });
    registerCleanObservers();
    m_nc.addObserver(this, QStringLiteral("DeviceConnect"), [this](const Notification &n) { DeviceConnectHandle(n); });
    m_nc.addObserver(this, QStringLiteral("DeviceDisConnect"),
                     [this](const Notification &n) { DeviceDisConnectHandle(n); });
    m_nc.addObserver(this, QStringLiteral("DevicePairingState"), [this](const Notification &n) {
        const QVariantMap state = n.object.toMap();
        const QString udid = state.value(QStringLiteral("UDID")).toString();
        const auto pairing = amd::PairingState(state.value(QStringLiteral("State")).toInt());
        QPointer<VeldruneAppDelegate> self(this);
        QMetaObject::invokeMethod(
            this,
            [self, udid, pairing] {
                if (self)
                    self->showPairingState(udid, pairing);
            },
            Qt::QueuedConnection);
    });
}

void VeldruneAppDelegate::showPairingState(const QString &udid, amd::PairingState state)
{
    m_pairing.setState(udid, state);
    const QString ask = m_pairing.text();
    notelab->setText(ask.isEmpty() ? tr("Connect your iOS device to use the device pages.") : ask);
    // The question stands out from the page's grey notes while it is asked.
    notelab->setStyleSheet(ask.isEmpty() ? QStringLiteral("color: rgb(121, 139, 167);")
                                         : QStringLiteral("color: rgb(196, 98, 16); font-weight: bold;"));
    notelab->setWordWrap(!ask.isEmpty());
}

void VeldruneAppDelegate::initDeviceManagement()
{
    hasDeviceConnect = false;
    manager = &DeviceManager::instance();
    manager->setNotify(&m_deviceNotify);
    manager->subscribe();
}

void VeldruneAppDelegate::DeviceConnectHandle(const Notification &notification)
{
    // The phone's values are read here, on the device manager's thread; the
    // window learns of them on its own thread, without this one waiting for
    // it (quitting joins this thread from there).
    const int id = notification.object.toInt();
    PRiDeviceNode node;
    const auto item = DeviceManager::instance().findItem(id);
    const std::shared_ptr<amd::BaseInfo> info = item ? item->baseInfo() : nullptr;
    if (info) {
        node.deviceName = info->deviceName().value_or(QString());
        node.iOSVersion = info->productVersion().value_or(QString());
        node.udidNumber = info->uniqueDeviceID().value_or(QString());
        node.PhoneNumber = info->phoneNumber().value_or(QString());
        node.firemVersion = info->buildVersion().value_or(QString());
        node.seriNumber = info->serialNumber().value_or(QString());
        const amd::DiskUsage usage = info->diskUsage();
        node.totalDeviceSize = usage.totalDataCapacity;
        node.freeDeviceSize = usage.totalDataAvailable;
        node.deviceSize = TextFormat::sizeText(node.totalDeviceSize);
        node.freeSize = TextFormat::sizeText(node.freeDeviceSize);
    }
    QPointer<VeldruneAppDelegate> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, id, node, known = bool(info)] {
            if (self)
                self->showConnectedDevice(known ? id : -1, node);
        },
        Qt::QueuedConnection);
}

void VeldruneAppDelegate::DeviceDisConnectHandle(const Notification &notification)
{
    const int id = notification.object.toInt();
    QPointer<VeldruneAppDelegate> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, id] {
            if (self)
                self->showDisconnectedDevice(id);
        },
        Qt::QueuedConnection);
}

void VeldruneAppDelegate::showConnectedDevice(int id, const PRiDeviceNode &node)
{
    hasDeviceConnect = true;
    ClickMainStatu();
    manageHasDeviceView->show();
    manageNoDeviceView->hide();
    if (id >= 0) {
        theDevice = id;
        // A new phone: its page starts empty, its board anew.
        delete m_board;
        m_board = nullptr;
        m_statusPage->clearDevice();
        m_statusPage->showDevice(node);
        startBoardMessage(node);
        setCurrentIDevicenode(node);
        // The transfer page follows the phone shown.
        transferViewController->deviceShown(id);
    }
    ClickMainStatu();
}

void VeldruneAppDelegate::showDisconnectedDevice(int id)
{
    // What the transfer page holds of a phone goes with it, shown or not.
    transferViewController->deviceRemoved(id);
    // Only the phone shown leaves the page; a phone that was never shown (or
    // was replaced) changes nothing else here.
    if (id != theDevice)
        return;
    hasDeviceConnect = false;
    theDevice = -1;
    cleanViewController->deviceRemoved(id);
    phonesystemViewController->deviceRemoved(id);
    showPage(noDeviceView);
    for (QWidget *page : {StatuView, TansferView, BackupView, ClearnView, iTunesBackupBroswerView, musicView,
                          cleanLogView, systemlibView, appView})
        page->hide();
    manageHasDeviceView->hide();
    manageNoDeviceView->show();
    delete m_board;
    m_board = nullptr;
    setCurrentIDevicenode(std::nullopt);
}

void VeldruneAppDelegate::startBoardMessage(const PRiDeviceNode &node)
{
    m_board = new PRDeviceBoard(theDevice, node.udidNumber, this);
    QPointer<PRDeviceBoard> board(m_board);
    connect(m_board, &PRDeviceBoard::metricsArrived, this, [this, board](const QVariantMap &metrics) {
        if (board != m_board)
            return;
        if (const auto current = currentIDevicenode())
            m_statusPage->showBoard(metrics, *current);
    });
    m_board->startBoardMessage();
}

std::optional<PRiDeviceNode> VeldruneAppDelegate::currentIDevicenode() const
{
    std::lock_guard lock(m_deviceMutex);
    return m_deviceNode;
}

void VeldruneAppDelegate::setCurrentIDevicenode(const std::optional<PRiDeviceNode> &node)
{
    {
        std::lock_guard lock(m_deviceMutex);
        m_deviceNode = node;
    }
    transferViewController->setCurrentIDevicenode(node);
    backupViewController->setCurrentIDevicenode(node, node ? int(theDevice) : -1);
}

void VeldruneAppDelegate::awakeFromNib()
{
    FileNumber = 0;
    totalTime = 0;
    buildWindow();
    showPage(noDeviceView);
    manageHasDeviceView->hide();
    manageNoDeviceView->show();
    hasBackUpFile = true;
    manageHasBackupView->show();
    manageNoBackUpView->hide();
    cleanScanView->show();
    cleanFinishView->hide();
    fixResultView->hide();
    for (QProgressBar *spinner : {circleSystemProgress, circleAppProgress, circlePhotoProgress, circleMusicProgress,
                                  circleVideoProgress, circleContactProgress, circleMessageProgress,
                                  circleNoteProgress, senderIndicator})
        spinner->hide();
    secondaryWindows = new PRSecondaryWindows(*this);
    highlightRow(0);
}

void VeldruneAppDelegate::applicationDidFinishLaunching()
{
    manageHasDeviceView->setVisible(hasDeviceConnect);
    manageNoDeviceView->setVisible(!hasDeviceConnect);
    showIphoneDiskView();
}

bool VeldruneAppDelegate::windowShouldClose()
{
    QMessageBox box(QMessageBox::Question, QString(), tr("Are you sure you want to Exit ?"), QMessageBox::NoButton,
                    window);
    box.setObjectName(QStringLiteral("exitConfirmation"));
    box.setInformativeText(QString());
    QPushButton *exit = box.addButton(tr(" Exit "), QMessageBox::AcceptRole);
    box.addButton(tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(exit);
    box.exec();
    return box.clickedButton() == exit;
}

void VeldruneAppDelegate::startQuit()
{
    if (m_quitWatchdog)
        m_quitWatchdog->arm(kQuitGrace);
    shutdown();
}

bool VeldruneAppDelegate::workersLeftBehind()
{
    return PRPhotoLibrary::workersLeftBehind() > 0;
}

void VeldruneAppDelegate::shutdown()
{
    // Every device job stops where it stands; none is waited for.
    devjobs::JobRegistry::instance().cancelAll();
    // The device thread ends first: it may post to this object.
    if (manager) {
        manager->unsubscribe();
        manager->setNotify(nullptr);
        manager = nullptr;
    }
    delete m_board;
    m_board = nullptr;
    // A running device backup stops its tool before the window goes.
    backupViewController->shutdown();
    // The scan thread never waits for this one (its end is posted), so the
    // scan is cancelled and joined here; an end already posted is dropped.
    if (resultViewController)
        resultViewController->setShuttingDown();
    m_scanner.cancel();
}

std::shared_ptr<PRIOSDeviceNode> VeldruneAppDelegate::currentNode() const
{
    std::lock_guard lock(m_nodeMutex);
    return m_currentNode;
}

void VeldruneAppDelegate::setCurrentNode(const std::shared_ptr<PRIOSDeviceNode> &node)
{
    std::lock_guard lock(m_nodeMutex);
    m_currentNode = node;
}

bool VeldruneAppDelegate::IOSVersionIOS6(const QString &version)
{
    ScanContext flags(m_nc);
    const bool ios6 = flags.IOSVersionIOS6(version);
    currentNodeIsiOS6Version = ios6;
    bIOS7DeviceNode = flags.bIOS7DeviceNode;
    biOS10Version = flags.biOS10Version;
    return ios6;
}

QWidget *VeldruneAppDelegate::mainWindow()
{
    return window;
}

void VeldruneAppDelegate::showIphoneDiskView()
{
    deviceController->removeAllObjects();
    deviceController->showIphoneDisk(Paths::backupRoot());
}

bool VeldruneAppDelegate::ScanIOSBackFile(const QString &folder)
{
    const auto node = currentNode();
    return m_scanner.ScanIOSBackFile(folder, node ? node->strIOSVersion() : QString());
}

void VeldruneAppDelegate::showResultView()
{
    if (!resultViewController) {
        resultViewController = new PRResultViewController(*this, m_nc, iTunesBackupBroswerView);
        m_scanner.setFinishListener(resultViewController);
    }
    // The window keeps the size the user gave it: the page's minimum, which
    // the window's layout counts, is all it may ask for.
    resultViewController->showView(iTunesBackupBroswerView);
}

void VeldruneAppDelegate::actScanIOSBackupFile()
{
    // A scan still running owns the page: it stays as it is, showing that
    // scan's progress, and that scan's end makes it usable. Starts come from
    // this thread only, so the scan cannot start running after this check.
    if (m_scanner.isRunning()) {
        biTunesScanFinish = true;
        return;
    }
    const auto &entries = deviceController->arrangedObjects();
    if (entries.isEmpty()) {
        setCurrentNode(nullptr);
        showResultView();
        return;
    }
    const auto entry = entries.first();
    if (entry->beEncrypted()) {
        openSheetAlert(window, QStringLiteral("encryptedBackupAlert"),
                       tr("Your iPhone private data has been encrypted by iTunes, please decrypt with iTunes."),
                       tr("Open the iTunes and access your device summary setting, check Encrypt iPhone backup "
                          "button to unlock your iPhone private data. Then go back and scan again."),
                       tr(" Ok "));
        return;
    }
    setCurrentNode(entry);
    IOSVersionIOS6(entry->strIOSVersion());
    showResultView();
    if (!ScanIOSBackFile(entry->backUpFilePath()))
        resultViewController->scanRefused();
    biTunesScanFinish = true;
}

void VeldruneAppDelegate::ClickAbout()
{
    if (!aboutWindow->isVisible())
        aboutWindow->show();
}
