#include "maintenance/backup/prbackupviewcontroller.h"

#include "platform/paths.h"
#include "platform/plaintext.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

using Result = PRDeviceBackupJob::Result;

QFont pageFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Lucida Grande")});
    font.setPointSize(11);
    return font;
}

QLabel *plainLabel(QWidget *parent, const char *name)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    // The device's name and the tool's lines are the phone's texts: never
    // rich text.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

// The strip at the foot of each of the three views.
QLabel *groundImage(QWidget *parent, const char *name)
{
    auto *image = new QLabel(parent);
    image->setObjectName(QLatin1String(name));
    image->setPixmap(QPixmap(QStringLiteral(":/images/bottomGroundImage.png")));
    image->setScaledContents(true);
    image->setFixedHeight(34);
    return image;
}

QString deviceText(const PRDeviceBackupJob::Device &device)
{
    // A phone names itself as long as it likes; the page keeps its width.
    return device.name.trimmed().isEmpty()
               ? PRBackUpViewController::tr("the device")
               : QStringLiteral("\u201C%1\u201D").arg(PlainText::elided(device.name.trimmed(), 64));
}

} // namespace

PRBackUpViewController::PRBackUpViewController(QObject *parent)
    : QObject(parent)
{
    buildView();
}

PRBackUpViewController::~PRBackUpViewController()
{
    shutdown();
    delete m_view.data();
}

QString PRBackUpViewController::backupLocation()
{
    return Paths::backupRoot();
}

void PRBackUpViewController::buildView()
{
    m_view = new QWidget;
    m_view->setObjectName(QStringLiteral("BackupPageView"));
    auto *pageLayout = new QVBoxLayout(m_view);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    mainShowView = new QWidget(m_view);
    mainShowView->setObjectName(QStringLiteral("mainShowView"));
    pageLayout->addWidget(mainShowView);
    auto *mainLayout = new QVBoxLayout(mainShowView);
    mainLayout->setContentsMargins(0, 0, 0, 0);

    // The start view.
    startBackupView = new QWidget(mainShowView);
    startBackupView->setObjectName(QStringLiteral("startBackupView"));
    auto *start = new QVBoxLayout(startBackupView);
    backupinfolab1 = plainLabel(startBackupView, "backupinfolab1");
    backupinfolab1->setText(tr("Back up the connected device to this computer. The backup keeps the device's "
                               "messages, contacts, notes, photos and settings; a later backup of the same device "
                               "only adds what changed."));
    backupinfolab2 = plainLabel(startBackupView, "backupinfolab2");
    backupinfolab2->setText(tr("Backups are kept in this folder, where the backup browser finds them:"));
    backupMatrix = new QWidget(startBackupView);
    backupMatrix->setObjectName(QStringLiteral("backupMatrix"));
    auto *matrix = new QVBoxLayout(backupMatrix);
    matrix->setContentsMargins(0, 0, 0, 0);
    defaultLocationButton = new QRadioButton(tr("Default location"), backupMatrix);
    defaultLocationButton->setObjectName(QStringLiteral("defaultBackupLocation"));
    changeLocationButton = new QRadioButton(tr("Show the location"), backupMatrix);
    changeLocationButton->setObjectName(QStringLiteral("ChangeBackupLocation"));
    auto *choices = new QButtonGroup(backupMatrix);
    choices->addButton(defaultLocationButton);
    choices->addButton(changeLocationButton);
    defaultLocationButton->setChecked(true);
    matrix->addWidget(defaultLocationButton);
    matrix->addWidget(changeLocationButton);
    backupLocationlab = new QLineEdit(startBackupView);
    backupLocationlab->setObjectName(QStringLiteral("backupLocationlab"));
    // Display only: the backups go where the backup browser reads them.
    backupLocationlab->setReadOnly(true);
    backupButton = new QPushButton(tr("Back Up Now"), startBackupView);
    backupButton->setObjectName(QStringLiteral("backupButton"));
    start->addWidget(backupinfolab1);
    start->addWidget(backupinfolab2);
    start->addWidget(backupMatrix);
    start->addWidget(backupLocationlab);
    start->addWidget(backupButton, 0, Qt::AlignLeft);
    start->addStretch(1);
    start->addWidget(groundImage(startBackupView, "startGroundImage"));

    // The busy view.
    BackupingView = new QWidget(mainShowView);
    BackupingView->setObjectName(QStringLiteral("BackupingView"));
    auto *busy = new QVBoxLayout(BackupingView);
    backupingLabel = plainLabel(BackupingView, "backupingLabel");
    backupProgresser = new QProgressBar(BackupingView);
    backupProgresser->setObjectName(QStringLiteral("backupProgresser"));
    backupProgresser->setTextVisible(false);
    backupLineLabel = plainLabel(BackupingView, "backupLineLabel");
    // A tool line may be long: it must not widen the window.
    backupLineLabel->setWordWrap(false);
    backupLineLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    busy->addWidget(backupingLabel);
    busy->addWidget(backupProgresser);
    busy->addWidget(backupLineLabel);
    busy->addStretch(1);
    busy->addWidget(groundImage(BackupingView, "busyGroundImage"));

    // The finish view.
    finishBackupView = new QWidget(mainShowView);
    finishBackupView->setObjectName(QStringLiteral("finishBackupView"));
    auto *finish = new QVBoxLayout(finishBackupView);
    backupfinishlab = plainLabel(finishBackupView, "backupfinishlab");
    QPalette palette = backupfinishlab->palette();
    palette.setColor(QPalette::WindowText, QColor(121, 139, 167));
    backupfinishlab->setPalette(palette);
    backupReasonLabel = plainLabel(finishBackupView, "backupReasonLabel");
    backupReasonLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    backupOutputView = new QPlainTextEdit(finishBackupView);
    backupOutputView->setObjectName(QStringLiteral("backupOutputView"));
    backupOutputView->setReadOnly(true);
    backupOutputView->setLineWrapMode(QPlainTextEdit::NoWrap);
    browseButton = new QPushButton(tr("Browse Backups"), finishBackupView);
    browseButton->setObjectName(QStringLiteral("browseButton"));
    finish->addWidget(backupfinishlab);
    finish->addWidget(backupReasonLabel);
    finish->addWidget(backupOutputView, 1);
    finish->addWidget(browseButton, 0, Qt::AlignLeft);
    // Without the output view (a backup that succeeded) the texts stay at the top.
    finish->addStretch(0);
    finish->addWidget(groundImage(finishBackupView, "finishGroundImage"));

    for (QWidget *state : {startBackupView, BackupingView, finishBackupView})
        mainLayout->addWidget(state);
    for (QWidget *w : std::initializer_list<QWidget *>{backupinfolab1, backupinfolab2, backupMatrix,
                                                       defaultLocationButton, changeLocationButton,
                                                       backupLocationlab, backupfinishlab})
        w->setFont(pageFont());

    connect(defaultLocationButton, &QRadioButton::clicked, this, &PRBackUpViewController::defaultBackupLocation);
    connect(changeLocationButton, &QRadioButton::clicked, this, &PRBackUpViewController::ChangeBackupLocation);
    connect(backupButton, &QPushButton::clicked, this, &PRBackUpViewController::BackupAction);
    connect(browseButton, &QPushButton::clicked, this, &PRBackUpViewController::BroswerBackupAction);

    setState(State::Start);
    updateBackupButton();
}

void PRBackUpViewController::showView(QWidget *hostView)
{
    if (!m_view || !hostView)
        return;
    if (m_view->parentWidget() != hostView) {
        if (!hostView->layout()) {
            auto *layout = new QVBoxLayout(hostView);
            layout->setContentsMargins(0, 0, 0, 0);
        }
        hostView->layout()->addWidget(m_view);
    }
    m_view->show();
    if (m_state != State::Busy)
        setState(State::Start);
    mainShowView->hide();
    backupLocationlab->setText(backupLocation());
    defaultLocationButton->setChecked(true);
    defaultBackupLocation();
    updateBackupButton();
}

void PRBackUpViewController::ShowbackupView()
{
    if (mainShowView)
        mainShowView->show();
}

void PRBackUpViewController::defaultBackupLocation()
{
    backupLocationlab->setEnabled(false);
}

void PRBackUpViewController::ChangeBackupLocation()
{
    backupLocationlab->setEnabled(true);
}

bool PRBackUpViewController::BackupAction()
{
    // One run of the page at a time: the button is off meanwhile, and a
    // start that still comes (a queued click, a second caller) is refused.
    if (!m_device || m_state == State::Busy || m_job || m_shutDown)
        return false;
    PRDeviceBackupJob::Device device;
    device.id = m_deviceId;
    device.udid = m_device->udidNumber;
    device.name = m_device->deviceName;
    auto job = std::make_shared<PRDeviceBackupJob>(device, backupLocation());
    m_job = job;
    m_running = device;
    m_handle = m_lane.start<devjobs::NoProgress>(
        job->phone(),
        [job](devjobs::JobContext<devjobs::NoProgress> &context) {
            return job->run(context, [&context] { context.progress({}); });
        },
        [this, job](const PRDeviceBackupJob::Report &report, const devjobs::JobError &error) {
            m_job.reset();
            FinisdBackupDeviceThread(job->settle(report, error));
        },
        [this](const devjobs::NoProgress &) { showLatestLine(); });
    backupingLabel->setText(tr("Backing up %1. Keep it connected until the backup has finished.")
                                .arg(deviceText(device)));
    backupLineLabel->clear();
    backupProgresser->setRange(0, 0);
    mainShowView->show();
    setState(State::Busy);
    updateBackupButton();
    Q_EMIT backupStarted();
    return true;
}

void PRBackUpViewController::BroswerBackupAction()
{
    Q_EMIT browseBackups();
}

void PRBackUpViewController::setCurrentIDevicenode(const std::optional<PRiDeviceNode> &node, int deviceId)
{
    m_device = node;
    m_deviceId = node ? deviceId : -1;
    if (m_state == State::Busy) {
        const bool same = node && node->udidNumber == m_running.udid
                          && (m_running.id < 0 || deviceId < 0 || deviceId == m_running.id);
        if (!same && m_job) {
            m_job->deviceLeft();
            m_handle.cancel();
        }
    }
    updateBackupButton();
}

void PRBackUpViewController::shutdown()
{
    m_shutDown = true;
    // The job ends on its own; nothing of it reaches the page any more.
    m_lane.newGeneration();
    m_job.reset();
    if (m_state == State::Busy && startBackupView)
        setState(State::Start);
}

void PRBackUpViewController::setState(State state)
{
    m_state = state;
    startBackupView->setVisible(state == State::Start);
    BackupingView->setVisible(state == State::Busy);
    finishBackupView->setVisible(state == State::Finish);
    if (state != State::Busy)
        backupProgresser->setRange(0, 1);
}

void PRBackUpViewController::updateBackupButton()
{
    backupButton->setEnabled(m_device.has_value() && m_state != State::Busy);
}

void PRBackUpViewController::showLatestLine()
{
    if (m_state != State::Busy || !m_job)
        return;
    backupLineLabel->setText(m_job->takeLatestLine());
}

void PRBackUpViewController::FinisdBackupDeviceThread(const PRDeviceBackupJob::Report &report)
{
    m_lastReport = report;
    const QString device = deviceText(report.device);
    QString headline;
    QString reason;
    switch (report.result) {
    case Result::Succeeded:
        headline = tr("The backup of %1 is complete.").arg(device);
        reason = tr("It is kept in %1.").arg(report.folder);
        break;
    case Result::Failed:
        headline = tr("The backup of %1 failed.").arg(device);
        reason = report.message;
        break;
    case Result::Cancelled:
        headline = tr("The backup of %1 was stopped before it finished.").arg(device);
        break;
    case Result::DeviceLeft:
        headline = tr("The backup of %1 failed: the device was disconnected.").arg(device);
        break;
    case Result::Busy:
        headline = tr("The backup did not start: another backup is running. Try again when it has ended.");
        break;
    case Result::BadDevice:
        headline = tr("The backup did not start: the device's identifier is not valid.");
        break;
    }
    backupfinishlab->setText(headline);
    backupReasonLabel->setText(reason);
    backupReasonLabel->setVisible(!reason.isEmpty());
    backupOutputView->setPlainText(report.outputTail);
    backupOutputView->setVisible(report.result != Result::Succeeded && !report.outputTail.isEmpty());
    mainShowView->show();
    setState(State::Finish);
    updateBackupButton();
    Q_EMIT backupEnded(report.result == Result::Succeeded, reason.isEmpty() ? headline : headline + u'\n' + reason);
}
