#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

class QDialog;
class QProgressBar;
class QPushButton;
class QThread;
class QTimer;
class VeldruneAppDelegate;

// The shell's small windows beside the main one: the welcome sheet, the
// exit-feedback sheet, the product's web links (in the about box and the
// footer) and the companion step. Sheets are window-modal and never run a
// nested event loop.
class PRSecondaryWindows : public QObject
{
    Q_OBJECT

public:
    // Builds both sheets on the delegate's window, adds the links to its
    // about box and takes its sending indicator into the feedback sheet.
    explicit PRSecondaryWindows(VeldruneAppDelegate &delegate);
    ~PRSecondaryWindows() override;

    // Welcome sheet.
    void showLeadWindow();
    void ClickStart();

    // Exit-feedback sheet.
    void showCryWindow();
    void Cancel();
    void Exit();
    void Sender();
    // The sending thread's body; its window half runs on the GUI thread.
    void sendEmailHandle();
    void SendEmialTimer_hander();

    // Web links, opened through the desktop opener of PRReveal.
    void ClickCheckupDate();
    void ClickHomePage();
    void ClickHelp();
    void ClickLearnMore();
    static QUrl productPageUrl();
    static QUrl homePageUrl();
    static QUrl helpPageUrl();
    static QUrl resourcePageUrl();

    // The companion application's move and launch. No companion ships with
    // the Linux build, so its source is never found and the step only logs.
    void MoveAndRunTWAgent();
    static QString companionSourcePath();

    // Outlets.
    QDialog *leadWindow = nullptr;
    QDialog *cryWindow = nullptr;
    QProgressBar *senderIndicator = nullptr;
    QTimer *emailTimer = nullptr;
    QThread *emailThread = nullptr;
    QPushButton *checkupDateBtn = nullptr, *homePageBtn = nullptr, *helpPageBtn = nullptr,
                *welcomeBtn = nullptr, *feedbackBtn = nullptr;

Q_SIGNALS:
    // The feedback sheet ended the run; the application quits right after.
    void applicationTerminating();

private:
    void buildLeadWindow();
    void buildCryWindow();
    void addAboutLinks();
    void endCryWindow();
    void endFeedbackRun();
    void terminateApplication();
    static void openLink(const QUrl &url);

    VeldruneAppDelegate &m_delegate;
    // Set by whichever of the thread and the timer ends the run first.
    bool m_feedbackEnded = false;
};
