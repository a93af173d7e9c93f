#include "app/veldruneappdelegate.h"

#include "platform/notificationcenter.h"
#include "platform/paths.h"
#include "recovery/deletedrecordscanner.h"
#include "results/prsharedcontrols.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QDialog>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

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
        m_delegate.shutdown();
        event->accept();
        qApp->quit();
    } else {
        event->ignore();
    }
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
    cleanViewController = new PRCleanViewController(this);
    backupViewController = new PRBackUpViewController(this);
    phonesystemViewController = new PRPhoneSystemViewController(this);
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
    // The device load and cleaner notifications come with the device layer;
    // the tiles' hover and press are the shell's own.
    m_nc.addObserver(this, QStringLiteral("PRViewbuttonMouseEntered"),
                     [this](const Notification &n) { PRViewbuttonMouseEnteredHandle(n.object.value<QObject *>()); });
    m_nc.addObserver(this, QStringLiteral("PRViewbuttonMouseExited"),
                     [this](const Notification &n) { PRViewbuttonMouseExitedHandle(n.object.value<QObject *>()); });
    m_nc.addObserver(this, QStringLiteral("MyViewbuttonMouseDown"),
                     [this](const Notification &n) { MyViewbuttonMouseDownHandle(n.object.value<QObject *>()); });
}

void VeldruneAppDelegate::initDeviceManagement()
{
    // No device layer yet: nothing is ever connected.
    hasDeviceConnect = false;
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

void VeldruneAppDelegate::shutdown()
{
    if (resultViewController)
        resultViewController->setShuttingDown();
    m_scanner.requestCancel();
    // The scan may be waiting for the GUI thread; keep serving it until it ends.
    while (m_scanner.isRunning()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    m_scanner.wait();
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
    // The results need more room than the home page.
    if (window->width() < 1100 || window->height() < 700)
        window->resize(qMax(window->width(), 1100), qMax(window->height(), 700));
    resultViewController->showView(iTunesBackupBroswerView);
}

void VeldruneAppDelegate::actScanIOSBackupFile()
{
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
    ScanIOSBackFile(entry->backUpFilePath());
    biTunesScanFinish = true;
}

void VeldruneAppDelegate::ClickAbout()
{
    if (!aboutWindow->isVisible())
        aboutWindow->show();
}
