#pragma once

#include "app/navigation.h"
#include "maintenance/page/prcleanviewcontroller.h"
#include "maintenance/system/prphonesystemviewcontroller.h"
#include "maintenance/backup/prbackupviewcontroller.h"
#include "device/amd/pairingprompt.h"
#include "device/amd/prdevicenotify.h"
#include "device/pridevicenode.h"
#include "transfer/page/prtansferviewcontroller.h"
#include "backup/backupscanner.h"
#include "backup/priosdevicecontroller.h"
#include "results/prresultviewcontroller.h"

#include <QMainWindow>
#include <QObject>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class DeviceManager;
class NotificationCenter;
class PRDeviceBoard;
class PRDeviceStatusPage;
namespace amd {
class BaseInfo;
}
class PRSecondaryWindows;
class PRViewButton;
class QDialog;
class QLabel;
class QPushButton;
class QTableView;
class QProgressBar;
class VeldruneAppDelegate;

// Bounds a quit. Once armed, it waits for the quit to end (disarm); should
// the grace run out first (a teardown waiting on a worker stuck in a call to
// a phone that stopped answering), it runs its expiry on its own thread; the
// application's is endProcessNow. Disarmed, or destroyed, it does nothing.
class PRQuitWatchdog
{
public:
    using Expired = std::function<void()>;
    explicit PRQuitWatchdog(Expired expired);
    ~PRQuitWatchdog();
    PRQuitWatchdog(const PRQuitWatchdog &) = delete;
    PRQuitWatchdog &operator=(const PRQuitWatchdog &) = delete;

    // Starts the countdown; arming again keeps the first deadline.
    void arm(std::chrono::milliseconds grace);
    // The quit ended in time: the expiry never runs. Waits for an expiry
    // already running.
    void disarm();
    bool hasExpired() const;

    // Ends the process now: this process's scratch folders are removed (as
    // much of them as kRemovalBudget allows; the next start removes the
    // rest), the standard streams flushed, and it exits with status without
    // running a destructor, so nothing is pulled from under a worker still
    // running.
    [[noreturn]] static void endProcessNow(int status);
    static constexpr std::chrono::milliseconds kRemovalBudget{1000};

private:
    void watch(std::chrono::steady_clock::time_point deadline);

    Expired m_expired;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_armed = false;
    bool m_disarmed = false;
    bool m_expiredRan = false;
    std::thread m_thread;
};

// The main window: asks the shell before it closes.
class PRMainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit PRMainWindow(VeldruneAppDelegate &delegate);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    VeldruneAppDelegate &m_delegate;
};

// One row of the sidebar: a coloured button holding an image and a title.
struct PRSidebarRowWidgets
{
    QPushButton *button = nullptr;
    QLabel *image = nullptr;
    QLabel *text = nullptr;
};

// The application shell: the one main window, its sidebar and pages, the
// backup list, the shared state other parts read, and the start of a backup
// scan. Window operations live here; the scan itself is the scanner's.
class VeldruneAppDelegate : public QObject, public PRResultPageHost
{
    Q_OBJECT

public:
    // Start-up as the application runs it: observers, device management and
    // the initial state, then the window ("nib"), then the launch step.
    explicit VeldruneAppDelegate(NotificationCenter &nc);
    ~VeldruneAppDelegate() override;

    static VeldruneAppDelegate *GetAppControllor();

    void awakeFromNib();
    void applicationDidFinishLaunching();
    // The exit confirmation; true lets the window close (and the application end).
    bool windowShouldClose();
    // Cancels and joins the running scan (it never waits for the GUI
    // thread, so no event is served meanwhile).
    void shutdown();

    // The whole of a quit, from the user's choice to the end of the
    // teardown, gets this long before the watchdog ends the process.
    static constexpr std::chrono::milliseconds kQuitGrace{2000};
    // Armed when the user chooses to quit, before anything is cancelled.
    void setQuitWatchdog(PRQuitWatchdog *watchdog) { m_quitWatchdog = watchdog; }
    // The user chose to quit: the watchdog (if any) is armed, then shutdown().
    void startQuit();
    // Workers of the window's panes left running by the teardown, stuck in
    // a call to a phone: the process must then end without its destructors.
    static bool workersLeftBehind();

    // Accessors.
    PRResultViewController *GetresultViewController() const { return resultViewController; }
    PRPhoneSystemViewController *GetSystemViewController() const { return phonesystemViewController; }
    PRTansferViewController *GetTansferViewController() const { return transferViewController; }
    PRCleanViewController *GetCleanViewController() const { return cleanViewController; }
    PRBackUpViewController *GetBackupDeviceController() const { return backupViewController; }

    // PRResultPageHost.
    std::shared_ptr<PRIOSDeviceNode> currentNode() const override;
    void setCurrentNode(const std::shared_ptr<PRIOSDeviceNode> &node) override;
    bool IOSVersionIOS6(const QString &version) override;
    PRIOSDeviceController *GetPRIOSDeviceController() override { return deviceController; }
    bool getDeviceConnected() const override { return hasDeviceConnect; }
    bool ScanIOSBackFile(const QString &folder) override;
    void showResultView() override;
    void ClickBackup() override;
    void ClickBackupAction() override;
    void showMainView() override;
    QWidget *mainWindow() override;

    // Backup list and scan start.
    void showIphoneDiskView();
    void actScanIOSBackupFile();
    bool scanRunning() const { return m_scanner.isRunning(); }
    // The backup scanner (tests hold a scan at a known step through it).
    BackupScanner &scanner() { return m_scanner; }

    // Page switches.
    void ClickMainStatu();
    void ClickSystemLib();
    void ClickTansfer();
    void ClickApp();
    void ClickPhoto();
    void ClickMusic();
    void ClickVideo();
    void ClickContact();
    void CilckMessage();
    void ClickNote();
    void ClickClean();
    void ClickCleanAction();
    void ClickCleanJunk();
    void ClickCleanCache();
    void ClickCleanCook();
    void ClickCleanMedia();
    void ClickiTunesBackupBroswer();
    void ClickScaniTunesBackup();
    void hideMainView();
    void QuiteTheGuideWindow();
    void ClickAbout();

    // Sidebar spinners of the device loads. The pages call the start methods
    // from any thread and never wait for the window; the finish handlers run
    // on the posting thread and hand the window's part to the GUI thread.
    void SystemlibhasStartHandle();
    void AppScanhasStartHandle();
    void photoScanhasStartHandle();
    void musicScanhasStartHandle();
    void SystemlibhasFinishedHandle(const Notification &notification);
    void AppScanFinishedHandle(const Notification &notification);
    void photoScanFinishedHandle(const Notification &notification);
    void musicScanFinishedHandle(const Notification &notification);
    void contactScanhasStartHandle();
    void contactScanFinishedHandle();
    void messageScanhasStartHandle();
    void messageScanFinishedHandle();
    void noteScanhasStartHandle();
    void noteScanFinishedHandle();

    // The cleaner's progress, totals and fix (the page's scan and removal
    // post on the GUI thread; the handlers hop there when they are not).
    void CleanFileProgressInfoHandle(const Notification &notification);
    void AddCleanFileSizeThreadProgressInfoHandle(const Notification &notification);
    void CleanFilehasFinishedHandle(const Notification &notification);
    void CleanJunkFilesSizeHandle(const Notification &notification);
    void CleanCacheFilesSizeHandle(const Notification &notification);
    void CleanCookFilesSizeHandle(const Notification &notification);
    void CleanFileProgressInfoHandleOnMain(int percent);
    void AddCleanFileSizeThreadProgressInfoHandleOnMain(quint64 junk, quint64 cache, quint64 cookie);
    void CleanFilehasFinishedOnMainThreadHanld(quint64 totalBytes);
    void CleanJunkFilesSizeHandleMain(quint64 removed);
    void CleanCacheFilesSizeHandleOnMain(quint64 removed);
    void CleanCookFilesSizeHandleMain(quint64 removed);
    // The fix button: confirms, then removes everything the scan found.
    void CleanAlliPhoneFiles();
    void CleanAlliPhoneFilesThreaderOnMain(const QString &text);
    // The scan ended without its finish (the phone left, a refusal): the
    // page says why and may scan again.
    void cleanScanEnded(bool finished, const QString &why);

    // Device arrival and removal. The handlers run on the device manager's
    // thread (where the phone's values are read) and hand the window's part
    // to the GUI thread.
    void DeviceConnectHandle(const Notification &notification);
    void DeviceDisConnectHandle(const Notification &notification);
    // The connected phone's record; empty when none.
    std::optional<PRiDeviceNode> currentIDevicenode() const;
    void setCurrentIDevicenode(const std::optional<PRiDeviceNode> &node);
    PRDeviceStatusPage *statusPage() const { return m_statusPage; }

    // Sidebar highlight: row 1 to 15, 0 for none.
    void highlightRow(int row);
    int highlightedRow() const { return m_highlightedRow; }
    // The page view shown in the main area.
    QWidget *visiblePage() const;

    // Tile and hover notifications.
    void MyViewbuttonMouseDownHandle(QObject *tile);
    void PRViewbuttonMouseEnteredHandle(QObject *tile);
    void PRViewbuttonMouseExitedHandle(QObject *tile);

    // Shared state.
    std::atomic<bool> currentNodeIsiOS6Version{false};
    std::atomic<bool> bIOS7DeviceNode{false};
    std::atomic<bool> biOS10Version{false};
    std::atomic<bool> bFeedBack{false};
    std::atomic<bool> hasDeviceConnect{false};
    std::atomic<bool> biTunesScanFinish{false};
    std::atomic<bool> hasBackUpFile{false};
    QString allCleanFileNumber, allCleanFileSize;
    quint64 allCacheFileNumber = 0, allJunkFileNumber = 0, allCookFileNumber = 0;
    int cleanTimeCount = 0;
    double FileNumber = 0;
    int totalTime = 0;
    // The id of the connected phone in the device manager, -1 for none.
    std::atomic<int> theDevice{-1};
    DeviceManager *manager = nullptr;

    // Outlets.
    PRMainWindow *window = nullptr;
    PRIOSDeviceController *deviceController = nullptr;
    PRResultViewController *resultViewController = nullptr;
    PRTansferViewController *transferViewController = nullptr;
    PRCleanViewController *cleanViewController = nullptr;
    PRBackUpViewController *backupViewController = nullptr;
    PRPhoneSystemViewController *phonesystemViewController = nullptr;
    QWidget *mainShowView = nullptr;
    QWidget *StatuView = nullptr, *TansferView = nullptr, *BackupView = nullptr, *ClearnView = nullptr,
            *iTunesBackupBroswerView = nullptr, *musicView = nullptr, *cleanLogView = nullptr,
            *systemlibView = nullptr, *appView = nullptr, *noDeviceView = nullptr;
    QWidget *manageDeviceView = nullptr, *manageHasDeviceView = nullptr, *manageNoDeviceView = nullptr;
    QWidget *manageBroswerBackupView = nullptr, *manageHasBackupView = nullptr, *manageNoBackUpView = nullptr;
    QWidget *cleanShowView = nullptr, *cleanScanView = nullptr, *cleanFinishView = nullptr, *fixResultView = nullptr;
    // The cleaner head's labels and bar (the page lays them out).
    QLabel *tempJunkFileTextlab = nullptr, *cacheTextlab = nullptr, *cookieTextlab = nullptr, *cleanFilelab = nullptr,
           *topInfoAnytlab = nullptr, *fixInfolab = nullptr;
    QProgressBar *cleanprogressor = nullptr;
    std::array<PRSidebarRowWidgets, 15> rows;
    PRSidebarRowWidgets connectDeviceRow, disConnectBroswerRow;
    QPushButton *connectDeviceBtn = nullptr, *disConnectBroswerBtn = nullptr;
    QLabel *connectDeviceImageView = nullptr, *connectDevicelab = nullptr, *disConnectTextlab = nullptr;
    std::array<PRViewButton *, 10> tiles{};
    QProgressBar *circleSystemProgress = nullptr, *circleAppProgress = nullptr, *circlePhotoProgress = nullptr,
                 *circleMusicProgress = nullptr, *circleVideoProgress = nullptr, *circleContactProgress = nullptr,
                 *circleMessageProgress = nullptr, *circleNoteProgress = nullptr, *senderIndicator = nullptr;
    // Home controls.
    QLabel *imageView = nullptr, *infoTextlab = nullptr, *notelab = nullptr, *titleline = nullptr;
    QPushButton *button = nullptr, *helpBtn = nullptr;
    QTableView *tableScrolleView = nullptr;
    QPushButton *transferBtn = nullptr, *cleanBtn = nullptr, *backupDeviceBtn = nullptr, *broswerMainBtn = nullptr,
                *disConnectBroswerMainBtn = nullptr, *learnmoreBtn = nullptr;
    QDialog *guideAccessWindow = nullptr;
    QDialog *aboutWindow = nullptr;
    // Welcome and exit-feedback sheets, web links, the companion step.
    PRSecondaryWindows *secondaryWindows = nullptr;

private:
    void registerObservers();
    void registerCleanObservers();
    void buildCleanHead();
    void initDeviceManagement();
    void buildWindow();
    QWidget *buildSidebar();
    QWidget *buildHomePage();
    void buildGuideSheet();
    void buildAboutWindow();
    void showPage(QWidget *page);
    void styleRow(PRSidebarRowWidgets &row, const char *normalImage, const char *highlightedImage, bool on);
    void setTileImage(PRViewButton *tile, const QString &image);
    void showConnectedDevice(int id, const PRiDeviceNode &node);
    void showDisconnectedDevice(int id);
    // A phone attached but not trusted yet: the home page says what to do.
    void showPairingState(const QString &udid, amd::PairingState state);
    void startBoardMessage(const PRiDeviceNode &node);
    void SystemlibhasStartHandleOnMain();
    void AppScanhasStartHandleOnMain();
    void photoScanhasStartHandleOnMain();
    void musicScanhasStartHandleOnMain();
    QPushButton *rowButton(const char *name) const;
    void finishRows(std::initializer_list<QProgressBar *> spinners, std::initializer_list<const char *> buttons);

    NotificationCenter &m_nc;
    PRQuitWatchdog *m_quitWatchdog = nullptr;
    BackupScanner m_scanner;
    mutable std::mutex m_nodeMutex;
    std::shared_ptr<PRIOSDeviceNode> m_currentNode;
    QList<QWidget *> m_pages;
    int m_highlightedRow = 0;

    amd::PRDeviceNotify m_deviceNotify;
    amd::PairingPrompt m_pairing;
    PRDeviceStatusPage *m_statusPage = nullptr;
    PRDeviceBoard *m_board = nullptr;
    mutable std::mutex m_deviceMutex;
    std::optional<PRiDeviceNode> m_deviceNode;
};
