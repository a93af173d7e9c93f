#include "app/secondarywindows.h"

#include "app/veldruneappdelegate.h"
#include "filesafety/prreveal.h"
#include "results/prresultviewcontroller.h"
#include "results/prsharedcontrols.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The feedback run gives up waiting for its thread after this long.
constexpr int emailTimeoutMs = 10000;

QPushButton *aboutLink(QWidget *parent, const QString &title, const char *name)
{
    auto *b = new QPushButton(title, parent);
    b->setObjectName(QLatin1String(name));
    b->setFlat(true);
    b->setCursor(Qt::PointingHandCursor);
    b->setFont(lucidaGrande(11));
    b->setStyleSheet(QStringLiteral("QPushButton { border: none; color: rgb(121, 139, 167); }"));
    return b;
}

} // namespace

PRSecondaryWindows::PRSecondaryWindows(VeldruneAppDelegate &delegate)
    : QObject(&delegate)
    , m_delegate(delegate)
{
    buildLeadWindow();
    buildCryWindow();
    addAboutLinks();
    if (m_delegate.learnmoreBtn)
        connect(m_delegate.learnmoreBtn, &QPushButton::clicked, this, &PRSecondaryWindows::ClickLearnMore);
}

PRSecondaryWindows::~PRSecondaryWindows()
{
    // The sheets went with the main window; only the sending thread is ours.
    if (emailThread) {
        emailThread->wait();
        delete emailThread;
    }
}

void PRSecondaryWindows::buildLeadWindow()
{
    leadWindow = new QDialog(m_delegate.window);
    leadWindow->setObjectName(QStringLiteral("leadWindow"));
    leadWindow->setWindowTitle(tr("Welcome to Ostra"));
    leadWindow->setWindowModality(Qt::WindowModal);
    auto *layout = new QVBoxLayout(leadWindow);
    auto *title = new QLabel(tr("Welcome to Ostra"), leadWindow);
    title->setFont(lucidaGrande(18, true));
    layout->addWidget(title);
    auto *steps = new QLabel(tr("1. Click the backup tile to browse the iPhone and iPad backups on this computer and "
                                "bring back their records, deleted ones included.\n"
                                "2. Connect your iOS device with its cable to use the device pages: status, "
                                "transfer, cleaner, file system and backup."),
                             leadWindow);
    steps->setWordWrap(true);
    steps->setFont(lucidaGrande(12));
    layout->addWidget(steps);
    auto *start = new QPushButton(tr("Start"), leadWindow);
    start->setObjectName(QStringLiteral("startBtn"));
    start->setDefault(true);
    layout->addWidget(start, 0, Qt::AlignRight);
    connect(start, &QPushButton::clicked, this, &PRSecondaryWindows::ClickStart);
}

void PRSecondaryWindows::buildCryWindow()
{
    cryWindow = new QDialog(m_delegate.window);
    cryWindow->setObjectName(QStringLiteral("cryWindow"));
    cryWindow->setWindowTitle(tr("Feedback"));
    cryWindow->setWindowModality(Qt::WindowModal);
    auto *layout = new QVBoxLayout(cryWindow);
    const QString word = tr("suggestions");
    const QString coloured = QStringLiteral("<span style=\"color: rgb(253, 140, 9);\">%1</span>").arg(word);
    auto *ask = new QLabel(tr("Please help me get BETTER with your suggestions!").replace(word, coloured), cryWindow);
    ask->setObjectName(QStringLiteral("feedbackTextlab"));
    ask->setTextFormat(Qt::RichText);
    ask->setFont(lucidaGrande(14));
    layout->addWidget(ask);
    auto *text = new QPlainTextEdit(cryWindow);
    text->setObjectName(QStringLiteral("feedbackTextView"));
    layout->addWidget(text);
    auto *note = new QLabel(tr("This copy of Ostra has no mail service: nothing you write here is sent."), cryWindow);
    note->setObjectName(QStringLiteral("feedbackNotelab"));
    note->setWordWrap(true);
    note->setFont(lucidaGrande(11));
    layout->addWidget(note);

    auto *buttons = new QHBoxLayout;
    // The indicator was made with the window's footer; it belongs beside the
    // button that starts the sending.
    senderIndicator = m_delegate.senderIndicator;
    if (senderIndicator) {
        senderIndicator->hide();
        buttons->addWidget(senderIndicator);
    }
    buttons->addStretch(1);
    auto *cancel = new QPushButton(tr("Cancel"), cryWindow);
    cancel->setObjectName(QStringLiteral("cancelBtn"));
    auto *exit = new QPushButton(tr("Exit"), cryWindow);
    exit->setObjectName(QStringLiteral("exitBtn"));
    auto *send = new QPushButton(tr("Send"), cryWindow);
    send->setObjectName(QStringLiteral("sendBtn"));
    send->setDefault(true);
    buttons->addWidget(cancel);
    buttons->addWidget(exit);
    buttons->addWidget(send);
    layout->addLayout(buttons);
    connect(cancel, &QPushButton::clicked, this, &PRSecondaryWindows::Cancel);
    connect(exit, &QPushButton::clicked, this, &PRSecondaryWindows::Exit);
    connect(send, &QPushButton::clicked, this, &PRSecondaryWindows::Sender);
}

void PRSecondaryWindows::addAboutLinks()
{
    QDialog *about = m_delegate.aboutWindow;
    if (!about || !about->layout())
        return;
    auto *links = new QHBoxLayout;
    homePageBtn = aboutLink(about, tr("Home Page"), "homePageBtn");
    checkupDateBtn = aboutLink(about, tr("Check for Updates"), "checkupDateBtn");
    helpPageBtn = aboutLink(about, tr("Support"), "helpPageBtn");
    welcomeBtn = aboutLink(about, tr("Getting Started"), "welcomeBtn");
    feedbackBtn = aboutLink(about, tr("Feedback"), "feedbackBtn");
    for (QPushButton *b : {homePageBtn, checkupDateBtn, helpPageBtn, welcomeBtn, feedbackBtn})
        links->addWidget(b);
    about->layout()->addItem(links);
    connect(homePageBtn, &QPushButton::clicked, this, &PRSecondaryWindows::ClickHomePage);
    connect(checkupDateBtn, &QPushButton::clicked, this, &PRSecondaryWindows::ClickCheckupDate);
    connect(helpPageBtn, &QPushButton::clicked, this, &PRSecondaryWindows::ClickHelp);
    connect(welcomeBtn, &QPushButton::clicked, this, &PRSecondaryWindows::showLeadWindow);
    connect(feedbackBtn, &QPushButton::clicked, this, &PRSecondaryWindows::showCryWindow);
}

// --- Welcome sheet ----------------------------------------------------------

void PRSecondaryWindows::showLeadWindow()
{
    leadWindow->open();
}

void PRSecondaryWindows::ClickStart()
{
    leadWindow->close();
}

// --- Exit-feedback sheet ----------------------------------------------------

void PRSecondaryWindows::showCryWindow()
{
    cryWindow->open();
}

void PRSecondaryWindows::endCryWindow()
{
    cryWindow->close();
}

void PRSecondaryWindows::Cancel()
{
    endCryWindow();
}

void PRSecondaryWindows::Exit()
{
    endCryWindow();
    terminateApplication();
}

void PRSecondaryWindows::Sender()
{
    // One sending run at a time.
    if (emailTimer && emailTimer->isActive())
        return;
    if (emailThread) {
        emailThread->wait();
        delete emailThread;
        emailThread = nullptr;
    }
    m_feedbackEnded = false;
    if (senderIndicator) {
        senderIndicator->setRange(0, 0);
        senderIndicator->show();
    }
    if (!emailTimer) {
        emailTimer = new QTimer(this);
        emailTimer->setInterval(emailTimeoutMs);
        connect(emailTimer, &QTimer::timeout, this, &PRSecondaryWindows::SendEmialTimer_hander);
    }
    emailTimer->start();
    emailThread = QThread::create([this] { sendEmailHandle(); });
    emailThread->setObjectName(QStringLiteral("emailThread"));
    emailThread->start();
}

void PRSecondaryWindows::sendEmailHandle()
{
    // There is no mail service to hand the text to; what remains is the
    // window's half, which is the GUI thread's. Never waits for it.
    QMetaObject::invokeMethod(this, [this] { endFeedbackRun(); }, Qt::QueuedConnection);
}

void PRSecondaryWindows::SendEmialTimer_hander()
{
    endFeedbackRun();
}

void PRSecondaryWindows::endFeedbackRun()
{
    // The thread and the timer both end the run; the later one finds it over.
    if (m_feedbackEnded)
        return;
    m_feedbackEnded = true;
    if (emailTimer)
        emailTimer->stop();
    if (senderIndicator) {
        senderIndicator->setRange(0, 1);
        senderIndicator->hide();
    }
    qInfo("Feedback: nothing was sent (no mail service).");
    endCryWindow();
    terminateApplication();
}

void PRSecondaryWindows::terminateApplication()
{
    Q_EMIT applicationTerminating();
    // The delegate goes when the event loop returns, and joins its workers then.
    QCoreApplication::quit();
}

// --- Links ------------------------------------------------------------------

QUrl PRSecondaryWindows::productPageUrl()
{
    return QUrl(QStringLiteral("https://ostra.app/releases"));
}

QUrl PRSecondaryWindows::homePageUrl()
{
    return QUrl(QStringLiteral("https://ostra.app/"));
}

QUrl PRSecondaryWindows::helpPageUrl()
{
    return PRResultViewController::supportUrl();
}

QUrl PRSecondaryWindows::resourcePageUrl()
{
    return QUrl(QStringLiteral("https://ostra.app/#what-works-today"));
}

void PRSecondaryWindows::openLink(const QUrl &url)
{
    const auto opener = PRReveal::strategies().opener;
    if (!opener || !opener(url))
        qWarning().noquote() << "Could not open" << url.toString();
}

void PRSecondaryWindows::ClickCheckupDate()
{
    openLink(productPageUrl());
}

void PRSecondaryWindows::ClickHomePage()
{
    openLink(homePageUrl());
}

void PRSecondaryWindows::ClickHelp()
{
    openLink(helpPageUrl());
}

void PRSecondaryWindows::ClickLearnMore()
{
    openLink(resourcePageUrl());
}

// --- Companion application --------------------------------------------------

QString PRSecondaryWindows::companionSourcePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/TWAgent.app");
}

void PRSecondaryWindows::MoveAndRunTWAgent()
{
    // The Linux build ships no companion: there is never a source to move
    // into the user's folders or to launch, as on a run after it was moved.
    qInfo().noquote() << QStringLiteral("twAppPath====%1").arg(companionSourcePath());
}
