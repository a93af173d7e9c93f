// Quitting while the photos pane's worker is stuck in a read from a phone
// that stopped answering: the window's teardown returns within its bound and
// leaves the worker, which ends by itself once its read returns; a process
// ended by the quit's watchdog takes its scratch folders with it.

#include "tests/support/eventwait.h"
#include "app/veldruneappdelegate.h"
#include "device/simulated/simulatedbackend.h"
#include "device/status/prdeviceboard.h"
#include "platform/notificationcenter.h"
#include "platform/paths.h"
#include "platform/scratchfolder.h"
#include "tools/devicegen/devicescenario.h"
#include "transfer/page/prtransferphotopane.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <future>

namespace {

constexpr int kWaitMs = testsupport::kEventWaitMs;
// The design aims at about a second; this bound only catches a hang.
constexpr int kQuitBoundMs = 10000;

TEST(QuitTest, TheTeardownReturnsWhileAPhotoWorkerIsStuckInAPhoneRead)
{
    QTemporaryDir home;
    QString error;
    ASSERT_TRUE(devicegen::writeScenario({home.filePath(QStringLiteral("phone")), 1}, nullptr, &error));
    Paths::setHomeFolder(home.path());
    PRDeviceBoard::setStartDelayMs(0);
    auto backend = std::make_shared<amd::SimulatedBackend>();
    const auto previous = amd::setDeviceBackend(backend);
    auto delegate = std::make_unique<VeldruneAppDelegate>(NotificationCenter::defaultCenter());
    const amd::DeviceHandle phone = backend->plug(home.filePath(QStringLiteral("phone")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->getDeviceConnected(); }, kWaitMs));
    // From now on a file's read answers its first hundred bytes, then never.
    amd::SimulatedFaults stall;
    stall.readStallsAfterBytes = 100;
    backend->setFaults(phone, stall);
    delegate->ClickPhoto();
    PRPhotoLibrary &library = delegate->GetTansferViewController()->photoPane->library();
    ASSERT_TRUE(QTest::qWaitFor([&] { return library.currentLoad() && library.currentLoad()->bytesReceived() >= 100; },
                                kWaitMs));
    const QString scratch = library.currentLoad()->scratchPath();

    // Should the teardown wait for the phone after all, the phone is pulled
    // out past the bound, so that the test ends and says so.
    std::promise<void> quitEnded;
    std::thread rescue([&, ended = quitEnded.get_future()] {
        if (ended.wait_for(std::chrono::milliseconds(kQuitBoundMs)) != std::future_status::ready)
            backend->unplug(phone);
    });
    QElapsedTimer clock;
    clock.start();
    delegate.reset();
    const qint64 ms = clock.elapsed();
    quitEnded.set_value();
    rescue.join();
    std::printf("the teardown with a worker stuck in a read took %lld ms\n", static_cast<long long>(ms));
    EXPECT_LT(ms, kQuitBoundMs);
    EXPECT_TRUE(VeldruneAppDelegate::workersLeftBehind());
    EXPECT_TRUE(QFileInfo::exists(scratch)) << "the worker's folder stays while it runs";

    // The read returns when the phone leaves: the worker ends, its copies go.
    backend->unplug(phone);
    EXPECT_TRUE(PRPhotoLibrary::waitForWorkersLeftBehind(kWaitMs));
    EXPECT_FALSE(QFileInfo::exists(scratch));
    amd::setDeviceBackend(previous);
    Paths::setHomeFolder(QString());
}

// In a child: it ends with the status at once, running no destructor, and
// without its scratch folders.
TEST(QuitWatchdogDeathTest, EndingTheProcessRemovesItsScratchFoldersAndRunsNoDestructor)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child runs this test anew and learns the parent's file from the environment.
    QTemporaryDir out;
    QString told = qEnvironmentVariable("OSTRA_QUIT_TEST_TOLD");
    if (told.isEmpty()) {
        told = out.filePath(QStringLiteral("scratch"));
        qputenv("OSTRA_QUIT_TEST_TOLD", QFile::encodeName(told));
    }
    EXPECT_EXIT(
        {
            auto *folder = new ScratchFolder;
            QFile file(told);
            if (!QFile(folder->filePath(QStringLiteral("copy"))).open(QIODevice::WriteOnly)
                || !file.open(QIODevice::WriteOnly) || file.write(folder->path().toUtf8()) <= 0)
                std::exit(1);
            file.close();
            struct Loud
            {
                ~Loud() { std::exit(2); }
            } loud;
            PRQuitWatchdog::endProcessNow(3);
        },
        ::testing::ExitedWithCode(3), "");
    qunsetenv("OSTRA_QUIT_TEST_TOLD");
    QFile file(told);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString folder = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(folder.startsWith(ScratchFolder::root())) << qPrintable(folder);
    EXPECT_FALSE(QFileInfo::exists(folder));
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
