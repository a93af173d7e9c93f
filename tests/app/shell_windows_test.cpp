// The sidebar spinners while device pages load (started from any thread,
// ended by notifications posted on workers), the about box, the welcome and
// exit-feedback sheets, the web links and the read-only text field.

#include "tests/support/eventwait.h"
#include "app/prtextfiled.h"
#include "app/secondarywindows.h"
#include "app/veldruneappdelegate.h"
#include "filesafety/prreveal.h"
#include "filesafety/prthumbnailer.h"
#include "platform/notificationcenter.h"
#include "platform/paths.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using D = VeldruneAppDelegate;

// The eight rows a load enables, with their spinners.
struct LoadRow
{
    const char *button;
    QProgressBar *D::*spinner;
};
const std::vector<LoadRow> &loadRows()
{
    static const std::vector<LoadRow> rows = {
        {"systemlibBtn", &D::circleSystemProgress},     {"appBtn", &D::circleAppProgress},
        {"photoBtn", &D::circlePhotoProgress},          {"musicBtn", &D::circleMusicProgress},
        {"videoBtn", &D::circleVideoProgress},          {"transContactBtn", &D::circleContactProgress},
        {"transMessageBtn", &D::circleMessageProgress}, {"transNoteBtn", &D::circleNoteProgress},
    };
    return rows;
}

// Keeps what the application logs while it lives.
class LogCapture
{
public:
    LogCapture()
    {
        std::lock_guard lock(s_mutex);
        s_lines.clear();
        s_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() { qInstallMessageHandler(s_previous); }

    static QStringList lines()
    {
        std::lock_guard lock(s_mutex);
        return s_lines;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        {
            std::lock_guard lock(s_mutex);
            s_lines << message;
        }
        if (s_previous)
            s_previous(type, context, message);
    }
    static inline std::mutex s_mutex;
    static inline QStringList s_lines;
    static inline QtMessageHandler s_previous = nullptr;
};

class ShellWindows : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Paths::setHomeFolder(m_home.path());
        delegate = std::make_unique<VeldruneAppDelegate>(nc);
        delegate->window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(delegate->window));
        sheets = delegate->secondaryWindows;
        ASSERT_NE(sheets, nullptr);
    }

    void TearDown() override
    {
        delegate.reset();
        Paths::setHomeFolder(QString());
    }

    QPushButton *row(const char *name) const { return delegate->window->findChild<QPushButton *>(name); }
    QProgressBar *spinner(QProgressBar *D::*field) const { return delegate.get()->*field; }

    static bool spinning(const QProgressBar *bar) { return !bar->isHidden() && bar->maximum() == 0; }

    void disableAllRows()
    {
        for (const LoadRow &r : loadRows()) {
            ASSERT_NE(row(r.button), nullptr) << r.button;
            row(r.button)->setEnabled(false);
        }
    }

    // The rows enabled now, by name.
    QStringList enabledRows() const
    {
        QStringList names;
        for (const LoadRow &r : loadRows())
            if (row(r.button)->isEnabled())
                names << QLatin1String(r.button);
        return names;
    }

    // Runs fn on a thread of its own and returns once it has ended; the GUI
    // thread serves nothing meanwhile, so fn must not wait for it.
    static void onWorker(const std::function<void()> &fn)
    {
        std::thread worker(fn);
        worker.join();
    }

    QTemporaryDir m_home;
    NotificationCenter nc;
    std::unique_ptr<VeldruneAppDelegate> delegate;
    PRSecondaryWindows *sheets = nullptr;
};

TEST_F(ShellWindows, NotifiedLoadsSpinUntilTheirFinishArrivesFromAWorker)
{
    struct Load
    {
        void (D::*start)();
        const char *finished;
        std::vector<QProgressBar *D::*> spinners;
        QStringList enables;
    };
    const std::vector<Load> loads = {
        {&D::SystemlibhasStartHandle, "SystemlibhasFinished", {&D::circleSystemProgress}, {"systemlibBtn"}},
        {&D::AppScanhasStartHandle, "AppScanFinished", {&D::circleAppProgress}, {"appBtn"}},
        {&D::photoScanhasStartHandle, "photoScanFinished", {&D::circlePhotoProgress}, {"photoBtn"}},
        {&D::musicScanhasStartHandle,
         "musicScanFinished",
         {&D::circleMusicProgress, &D::circleVideoProgress},
         {"musicBtn", "videoBtn"}},
    };
    disableAllRows();
    QStringList expectedEnabled;
    for (const Load &load : loads) {
        SCOPED_TRACE(load.finished);
        for (auto field : load.spinners)
            ASSERT_TRUE(spinner(field)->isHidden());

        // The page's worker is back before the window has shown anything:
        // it neither waited for the GUI thread nor touched the widgets.
        onWorker([&] { (delegate.get()->*load.start)(); });
        for (auto field : load.spinners)
            EXPECT_TRUE(spinner(field)->isHidden());
        for (auto field : load.spinners)
            EXPECT_TRUE(QTest::qWaitFor([&] { return spinning(spinner(field)); }));
        EXPECT_EQ(enabledRows(), expectedEnabled);

        onWorker([&] { nc.post(QString::fromLatin1(load.finished)); });
        expectedEnabled << load.enables;
        EXPECT_TRUE(QTest::qWaitFor([&] { return enabledRows() == expectedEnabled; }))
            << qPrintable(enabledRows().join(u' '));
        for (auto field : load.spinners) {
            EXPECT_TRUE(spinner(field)->isHidden());
            EXPECT_NE(spinner(field)->maximum(), 0);
        }
    }
}

TEST_F(ShellWindows, TransferPageLoadsSpinFromTheirStartToTheirFinish)
{
    struct Load
    {
        void (D::*start)();
        void (D::*finish)();
        QProgressBar *D::*spinner;
        const char *button;
    };
    const std::vector<Load> loads = {
        {&D::contactScanhasStartHandle, &D::contactScanFinishedHandle, &D::circleContactProgress, "transContactBtn"},
        {&D::messageScanhasStartHandle, &D::messageScanFinishedHandle, &D::circleMessageProgress, "transMessageBtn"},
        {&D::noteScanhasStartHandle, &D::noteScanFinishedHandle, &D::circleNoteProgress, "transNoteBtn"},
    };
    disableAllRows();
    QStringList expectedEnabled;
    for (const Load &load : loads) {
        SCOPED_TRACE(load.button);
        // The transfer page calls on the GUI thread: the window follows at once.
        (delegate.get()->*load.start)();
        EXPECT_TRUE(spinning(spinner(load.spinner)));
        EXPECT_EQ(enabledRows(), expectedEnabled);
        (delegate.get()->*load.finish)();
        EXPECT_TRUE(spinner(load.spinner)->isHidden());
        expectedEnabled << QLatin1String(load.button);
        EXPECT_EQ(enabledRows(), expectedEnabled);
    }

    // From a worker they hop over without waiting.
    row("transNoteBtn")->setEnabled(false);
    onWorker([&] { delegate->noteScanhasStartHandle(); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return spinning(delegate->circleNoteProgress); }));
    onWorker([&] { delegate->noteScanFinishedHandle(); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return row("transNoteBtn")->isEnabled(); }));
    EXPECT_TRUE(delegate->circleNoteProgress->isHidden());
}

TEST_F(ShellWindows, AFinishWithoutAStartStillEnablesItsRows)
{
    disableAllRows();
    onWorker([&] {
        for (const char *name : {"SystemlibhasFinished", "AppScanFinished", "photoScanFinished", "musicScanFinished"})
            nc.post(QString::fromLatin1(name));
    });
    delegate->contactScanFinishedHandle();
    delegate->messageScanFinishedHandle();
    delegate->noteScanFinishedHandle();
    EXPECT_TRUE(QTest::qWaitFor([&] { return enabledRows().size() == int(loadRows().size()); }))
        << qPrintable(enabledRows().join(u' '));
    for (const LoadRow &r : loadRows())
        EXPECT_TRUE(spinner(r.spinner)->isHidden()) << r.button;
}

TEST_F(ShellWindows, AMusicLoadMarksAndEnablesTheVideoRowToo)
{
    disableAllRows();
    delegate->musicScanhasStartHandle();
    EXPECT_TRUE(spinning(delegate->circleMusicProgress));
    EXPECT_TRUE(spinning(delegate->circleVideoProgress));
    EXPECT_TRUE(delegate->circlePhotoProgress->isHidden());

    onWorker([&] { nc.post(QStringLiteral("musicScanFinished")); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return enabledRows() == QStringList{"musicBtn", "videoBtn"}; }))
        << qPrintable(enabledRows().join(u' '));
    EXPECT_TRUE(delegate->circleMusicProgress->isHidden());
    EXPECT_TRUE(delegate->circleVideoProgress->isHidden());
}

TEST_F(ShellWindows, TheAboutBoxOpensOnceAndCarriesTheWayToBothSheets)
{
    delegate->ClickAbout();
    QDialog *about = delegate->aboutWindow;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about));
    about->move(about->pos() + QPoint(40, 30));
    const QPoint placed = about->pos();
    delegate->ClickAbout();
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(about->pos(), placed);

    // Getting started: the welcome sheet, ended by its button.
    QTest::mouseClick(sheets->welcomeBtn, Qt::LeftButton);
    EXPECT_TRUE(sheets->leadWindow->isVisible());
    EXPECT_EQ(sheets->leadWindow->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheets->leadWindow->parentWidget(), delegate->window);
    QTest::mouseClick(sheets->leadWindow->findChild<QPushButton *>(QStringLiteral("startBtn")), Qt::LeftButton);
    EXPECT_FALSE(sheets->leadWindow->isVisible());

    QTest::mouseClick(sheets->feedbackBtn, Qt::LeftButton);
    EXPECT_TRUE(sheets->cryWindow->isVisible());
    sheets->Cancel();
    EXPECT_FALSE(sheets->cryWindow->isVisible());
}

TEST_F(ShellWindows, TheFeedbackSheetCancelsOrExits)
{
    QSignalSpy terminating(sheets, &PRSecondaryWindows::applicationTerminating);
    auto button = [&](const char *name) { return sheets->cryWindow->findChild<QPushButton *>(QLatin1String(name)); };

    sheets->showCryWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheets->cryWindow));
    EXPECT_EQ(sheets->cryWindow->windowModality(), Qt::WindowModal);
    QTest::mouseClick(button("cancelBtn"), Qt::LeftButton);
    EXPECT_FALSE(sheets->cryWindow->isVisible());
    EXPECT_EQ(terminating.count(), 0);

    sheets->showCryWindow();
    QTest::mouseClick(button("exitBtn"), Qt::LeftButton);
    EXPECT_FALSE(sheets->cryWindow->isVisible());
    EXPECT_EQ(terminating.count(), 1);
    EXPECT_EQ(sheets->emailThread, nullptr);
}

TEST_F(ShellWindows, SendingEndsTheRunOnceWithoutSendingAnything)
{
    LogCapture log;
    QSignalSpy terminating(sheets, &PRSecondaryWindows::applicationTerminating);
    sheets->showCryWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheets->cryWindow));
    QTest::mouseClick(sheets->cryWindow->findChild<QPushButton *>(QStringLiteral("sendBtn")), Qt::LeftButton);

    // The indicator sits in the sheet and spins while the thread runs.
    EXPECT_EQ(sheets->senderIndicator, delegate->senderIndicator);
    EXPECT_EQ(sheets->senderIndicator->window(), sheets->cryWindow);
    EXPECT_TRUE(spinning(sheets->senderIndicator));
    ASSERT_NE(sheets->emailTimer, nullptr);
    EXPECT_TRUE(sheets->emailTimer->isActive());
    EXPECT_EQ(sheets->emailTimer->interval(), 10000);
    ASSERT_NE(sheets->emailThread, nullptr);

    ASSERT_TRUE(terminating.count() == 1 || terminating.wait(testsupport::kEventWaitMs));
    EXPECT_FALSE(sheets->cryWindow->isVisible());
    EXPECT_TRUE(sheets->senderIndicator->isHidden());
    EXPECT_FALSE(sheets->emailTimer->isActive());
    EXPECT_TRUE(log.lines().contains(QStringLiteral("Feedback: nothing was sent (no mail service).")));

    // The timer's end after the thread's changes nothing.
    sheets->SendEmialTimer_hander();
    EXPECT_EQ(terminating.count(), 1);
}

TEST_F(ShellWindows, TheTimerEndingFirstLeavesTheThreadNothingToEnd)
{
    QSignalSpy terminating(sheets, &PRSecondaryWindows::applicationTerminating);
    sheets->showCryWindow();
    sheets->Sender();
    sheets->SendEmialTimer_hander();
    EXPECT_EQ(terminating.count(), 1);
    EXPECT_FALSE(sheets->cryWindow->isVisible());

    // The thread's window half arrives afterwards and finds the run over.
    QThread *thread = sheets->emailThread;
    ASSERT_TRUE(QTest::qWaitFor([&] { return thread->isFinished(); }));
    QCoreApplication::sendPostedEvents(sheets);
    EXPECT_EQ(terminating.count(), 1);

    // A second run can start and end again.
    sheets->showCryWindow();
    sheets->Sender();
    ASSERT_TRUE(terminating.count() == 2 || terminating.wait(testsupport::kEventWaitMs));
    EXPECT_EQ(terminating.count(), 2);
}

TEST_F(ShellWindows, LinksOpenThroughTheDesktopOpener)
{
    QList<QUrl> opened;
    const PRReveal::Strategies previous = PRReveal::setStrategies({nullptr, [&](const QUrl &url) {
                                                                        opened << url;
                                                                        return true;
                                                                    }});
    QTest::mouseClick(sheets->homePageBtn, Qt::LeftButton);
    QTest::mouseClick(sheets->checkupDateBtn, Qt::LeftButton);
    QTest::mouseClick(sheets->helpPageBtn, Qt::LeftButton);
    QTest::mouseClick(delegate->learnmoreBtn, Qt::LeftButton);
    PRReveal::setStrategies(previous);

    const QList<QUrl> expected = {PRSecondaryWindows::homePageUrl(), PRSecondaryWindows::productPageUrl(),
                                  PRSecondaryWindows::helpPageUrl(), PRSecondaryWindows::resourcePageUrl()};
    EXPECT_EQ(opened, expected);
    for (const QUrl &url : expected) {
        EXPECT_TRUE(url.isValid()) << qPrintable(url.toString());
        EXPECT_EQ(url.scheme(), QStringLiteral("https"));
        EXPECT_EQ(expected.count(url), 1) << qPrintable(url.toString());
    }
}

TEST_F(ShellWindows, TheCompanionStepFindsNothingAndOnlyLogs)
{
    LogCapture log;
    sheets->MoveAndRunTWAgent();
    EXPECT_TRUE(log.lines().contains(QStringLiteral("twAppPath====") + QCoreApplication::applicationDirPath() +
                                     QStringLiteral("/TWAgent.app")));
    EXPECT_TRUE(QDir(m_home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).filter(QStringLiteral("TWAgent"))
                    .isEmpty());
    EXPECT_FALSE(QFileInfo::exists(m_home.filePath(QStringLiteral("Library/Application Support/TWAgent"))));
}

TEST(PRTextFiledTest, SwallowsClicksKeysAndRightClicks)
{
    QWidget host;
    auto *field = new PRTextFiled(QStringLiteral("Serial Number: F2LXK0ABHG7F"), &host);
    field->resize(300, 24);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    field->setFocus();
    EXPECT_TRUE(field->hasMouseTracking());

    // Keys that select or edit in a plain field.
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Home);
    QTest::keyClick(field, Qt::Key_End, Qt::ShiftModifier);
    EXPECT_TRUE(field->selectedText().isEmpty());
    QTest::keyClicks(field, QStringLiteral("xyz"));
    EXPECT_EQ(field->text(), QStringLiteral("Serial Number: F2LXK0ABHG7F"));

    // A double click selects a word, a drag a stretch.
    QTest::mouseDClick(field, Qt::LeftButton, {}, QPoint(30, 12));
    EXPECT_TRUE(field->selectedText().isEmpty());
    QTest::mousePress(field, Qt::LeftButton, {}, QPoint(5, 12));
    QTest::mouseMove(field, QPoint(200, 12));
    QTest::mouseRelease(field, Qt::LeftButton, {}, QPoint(200, 12));
    EXPECT_TRUE(field->selectedText().isEmpty());

    // A right click never brings a menu (one that did would be closed here,
    // so a failure cannot hang the test).
    bool menuShown = false;
    QTimer closer;
    closer.setSingleShot(true);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget *popup = QApplication::activePopupWidget()) {
            menuShown = true;
            popup->close();
        }
    });
    closer.start(0);
    field->setMenu(new QMenu(field));
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(20, 12), field->mapToGlobal(QPoint(20, 12)));
    QApplication::sendEvent(field, &rightClick);
    EXPECT_FALSE(menuShown);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_TRUE(rightClick.isAccepted());
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    preferFFmpegBackend();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
