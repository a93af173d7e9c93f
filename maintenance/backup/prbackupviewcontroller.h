#pragma once

#include "device/jobs/devicejob.h"
#include "device/pridevicenode.h"
#include "maintenance/backup/prdevicebackupjob.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

// The device backup page: a start view with the folder the backups go to, a
// busy view while the device's backup runs (idevicebackup2, or the simulated
// phone's backup), and a finish view that says how it ended and leads to the
// backup browser.
//
// The backup runs as a device job of the page; the page hears of it on its
// own thread and never waits for it. It succeeds
// only when the tool exited 0 and the backup says it finished; otherwise the
// finish view says it failed, with the tool's last error line and the tail of
// its output. One backup at a time in the whole application: a start while
// another backup runs is refused, not queued.
class PRBackUpViewController : public QObject
{
    Q_OBJECT

public:
    enum class State { Start, Busy, Finish };

    explicit PRBackUpViewController(QObject *parent = nullptr);
    // The running backup is cancelled (not waited for), then the page's
    // widgets go (unless their host took them with it already).
    ~PRBackUpViewController() override;

    // Puts the page's view into hostView (a page of the window) and shows
    // the start view, with mainShowView hidden until ShowbackupView(). While
    // a backup runs the busy view stays: that backup is still going on.
    void showView(QWidget *hostView);
    // Shows mainShowView.
    void ShowbackupView();
    // The location field, display only: disabled, or enabled for reading
    // and copying (it never takes typed text: the backups always go to the
    // backup root, where the backup browser looks).
    void defaultBackupLocation();
    void ChangeBackupLocation();
    // Starts the backup of the current device into the backup root. False,
    // and nothing started, without a device or while this page's backup runs.
    bool BackupAction();
    // Asks for the backup browser (browseBackups()).
    void BroswerBackupAction();

    // The connected device the window shows (nothing: none) and its id in
    // the device manager (-1: unknown). Without a device the backup button
    // is off. A backup running for another device, or when the device went,
    // is stopped and says the device was disconnected.
    void setCurrentIDevicenode(const std::optional<PRiDeviceNode> &node, int deviceId = -1);

    // For quitting: stops a running backup (its job terminates the tool,
    // gives it its grace time, then kills it) and returns at once. The page
    // shows nothing new afterwards and starts no backup.
    void shutdown();

    State state() const { return m_state; }
    // From BackupAction() until the finish view shows how it ended.
    bool isBackingUp() const { return m_state == State::Busy; }
    // The report of the last backup that ended (its result Failed and empty
    // before any).
    const PRDeviceBackupJob::Report &lastReport() const { return m_lastReport; }
    // The folder the backups go to and the backup browser reads.
    static QString backupLocation();

    // The page's widgets (built by the constructor).
    QWidget *view() const { return m_view; }
    QWidget *mainShowView = nullptr;
    QWidget *startBackupView = nullptr;
    QWidget *BackupingView = nullptr;
    QWidget *finishBackupView = nullptr;
    QProgressBar *backupProgresser = nullptr;
    QLineEdit *backupLocationlab = nullptr;
    QLabel *backupinfolab1 = nullptr;
    QLabel *backupinfolab2 = nullptr;
    QWidget *backupMatrix = nullptr;
    QRadioButton *defaultLocationButton = nullptr;
    QRadioButton *changeLocationButton = nullptr;
    QPushButton *backupButton = nullptr;
    // The busy view's texts: which device, and the tool's latest line.
    QLabel *backupingLabel = nullptr;
    QLabel *backupLineLabel = nullptr;
    // The finish view: the outcome, the reason, the tool's last output.
    QLabel *backupfinishlab = nullptr;
    QLabel *backupReasonLabel = nullptr;
    QPlainTextEdit *backupOutputView = nullptr;
    QPushButton *browseButton = nullptr;

Q_SIGNALS:
    // The user asked for the backup browser (the window opens it and scans
    // the backups).
    void browseBackups();
    void backupStarted();
    // A backup ended and the finish view shows it.
    void backupEnded(bool succeeded, const QString &text);

private:
    void buildView();
    void setState(State state);
    void updateBackupButton();
    void showLatestLine();
    // The end of a run.
    void FinisdBackupDeviceThread(const PRDeviceBackupJob::Report &report);

    QPointer<QWidget> m_view;
    State m_state = State::Start;
    std::optional<PRiDeviceNode> m_device;
    int m_deviceId = -1;
    bool m_shutDown = false;
    PRDeviceBackupJob::Device m_running;
    PRDeviceBackupJob::Report m_lastReport;
    // The running backup (null when none) and its job.
    std::shared_ptr<PRDeviceBackupJob> m_job;
    devjobs::JobHandle m_handle;
    devjobs::JobLane m_lane{this};
};
