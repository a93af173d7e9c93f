// The real window with a simulated phone plugged in and pulled out: the
// status page with the phone's name, version, capacity and bar, then the five
// segments once its metrics arrive, and the no-device page after it leaves;
// the GUI thread stays free while a slow session runs.

#include "app/veldruneappdelegate.h"
#include "device/amd/devicemanager.h"
#include "device/devicebackend.h"
#include "device/simulated/simulatedbackend.h"
#include "device/status/prcolorprogressview.h"
#include "device/status/prdeviceboard.h"
#include "device/status/prdevicestatuspage.h"
#include "transfer/page/prtansferviewcontroller.h"
#include "transfer/page/prtransfermusiccontroller.h"
#include "platform/notificationcenter.h"
#include "platform/paths.h"
#include "results/prthumbnailer.h"
#include "tools/devicegen/devicescenario.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr int kWaitMs = 20000;

void screenshot(QWidget *w, const QString &name)
{
    const QString dir = qEnvironmentVariable("OSTRA_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

class DeviceWindow : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        scenarioDir = new QTemporaryDir;
        QString error;
        ASSERT_TRUE(devicegen::writeScenario({scenarioDir->filePath(QStringLiteral("phone")), 1}, nullptr, &error))
            << qPrintable(error);
    }
    static void TearDownTestSuite()
    {
        delete scenarioDir;
        scenarioDir = nullptr;
    }

    void SetUp() override
    {
        Paths::setHomeFolder(m_home.path());
        PRDeviceBoard::setStartDelayMs(0);
        backend = std::make_shared<amd::SimulatedBackend>();
        m_previous = amd::setDeviceBackend(backend);
        delegate = std::make_unique<VeldruneAppDelegate>(NotificationCenter::defaultCenter());
        delegate->window->resize(1142, 700);
        delegate->window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(delegate->window));
    }

    void TearDown() override
    {
        delegate.reset();
        amd::setDeviceBackend(m_previous);
        backend.reset();
        Paths::setHomeFolder(QString());
    }

    static QString scenario() { return scenarioDir->filePath(QStringLiteral("phone")); }

    static QTemporaryDir *scenarioDir;
    QTemporaryDir m_home;
    std::shared_ptr<amd::SimulatedBackend> backend;
    std::shared_ptr<amd::DeviceBackend> m_previous;
    std::unique_ptr<VeldruneAppDelegate> delegate;
};

QTemporaryDir *DeviceWindow::scenarioDir = nullptr;

TEST_F(DeviceWindow, StatusPageFollowsThePhoneInAndOut)
{
    EXPECT_EQ(delegate->visiblePage(), delegate->noDeviceView);
    const amd::DeviceHandle phone = backend->plug(scenario());
    ASSERT_NE(phone, 0u) << qPrintable(backend->errorString());

    PRDeviceStatusPage *page = delegate->statusPage();
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->iDeviceNamelab->text() == devicegen::kDeviceName; }, kWaitMs));
    EXPECT_TRUE(delegate->getDeviceConnected());
    EXPECT_EQ(delegate->visiblePage(), delegate->StatuView);
    EXPECT_EQ(delegate->theDevice.load(), 0);
    EXPECT_EQ(page->iDeviceSoftwareVersionValuelab->text(), QStringLiteral("16.7.2"));
    EXPECT_FALSE(page->iDeviceCapacityValuelab->text().isEmpty());
    EXPECT_TRUE(page->freeSpacelab->text().endsWith(QStringLiteral(" free")));
    EXPECT_EQ(page->iDeviceIDValuelab->text(), devicegen::kUniqueDeviceId);
    EXPECT_FALSE(page->iDeviceColorView->pieces(400, 24).isEmpty());
    EXPECT_TRUE(delegate->manageHasDeviceView->isVisible());

    // The phone's metrics arrive: five segments and their labels.
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->iDeviceColorView->showsMore(); }, kWaitMs));
    EXPECT_TRUE(page->musicSizelab->text().startsWith(QStringLiteral("Music: ")));
    EXPECT_GE(page->iDeviceColorView->pieces(400, 24).size(), 3);
    screenshot(delegate->window, QStringLiteral("device-status"));

    backend->unplug(phone);
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->visiblePage() == delegate->noDeviceView; }, kWaitMs));
    EXPECT_FALSE(delegate->getDeviceConnected());
    EXPECT_FALSE(delegate->StatuView->isVisible());
    EXPECT_TRUE(delegate->manageNoDeviceView->isVisible());

    // The next phone gets a new id and a page of its own.
    const amd::DeviceHandle second = backend->plug(scenario());
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->getDeviceConnected(); }, kWaitMs));
    EXPECT_EQ(delegate->theDevice.load(), 1);
    backend->unplug(second);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !delegate->getDeviceConnected(); }, kWaitMs));
}

TEST_F(DeviceWindow, TheTransferPageListsThePhonesMusicAndVideos)
{
    const amd::DeviceHandle phone = backend->plug(scenario());
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->getDeviceConnected(); }, kWaitMs));
    delegate->ClickMusic();
    PRTansferViewController *page = delegate->GetTansferViewController();
    EXPECT_EQ(page->currentPane(), PRTansferViewController::Pane::Music);
    EXPECT_TRUE(delegate->circleMusicProgress->isVisible() || page->isLoadFinished(PRTansferViewController::Load::Music));
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->isLoadFinished(PRTansferViewController::Load::Music); }, kWaitMs));
    EXPECT_GT(page->musicController->rowCount(), 0);
    EXPECT_GT(page->videoController->rowCount(), 0);
    EXPECT_FALSE(delegate->circleMusicProgress->isVisible());
    screenshot(delegate->window, QStringLiteral("transfer-music"));

    // The phone leaves: its tracks go with it.
    backend->unplug(phone);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !delegate->getDeviceConnected(); }, kWaitMs));
    EXPECT_EQ(page->musicController->rowCount(), 0);
}

TEST_F(DeviceWindow, AnUntrustedPhoneNeverReachesThePage)
{
    amd::SimulatedFaults faults;
    faults.failingCalls.insert(QStringLiteral("deviceValidatePairing"), amd::kBackendPairingFailed);
    faults.failingCalls.insert(QStringLiteral("devicePair"), amd::kBackendPairingFailed);
    const amd::DeviceHandle phone = backend->plug(scenario(), {QString(), faults});
    ASSERT_NE(phone, 0u);
    // A trusted second phone arrives after it: once it shows, the first was
    // handled (and refused) before it.
    const amd::DeviceHandle trusted = backend->plug(scenario());
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->getDeviceConnected(); }, kWaitMs));
    EXPECT_EQ(DeviceManager::instance().deviceIds().size(), 1);
    backend->unplug(phone);
    backend->unplug(trusted);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !delegate->getDeviceConnected(); }, kWaitMs));
}

TEST_F(DeviceWindow, ASlowSessionNeverHoldsTheGuiThread)
{
    amd::SimulatedFaults slow;
    slow.sessionDelayMs = 2000;
    qint64 worst = 0;
    QElapsedTimer tick;
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] { worst = std::max(worst, tick.restart() - 10); });
    // The test's own plug copies the scenario on this thread: the probe
    // starts once the phone is in and its first session runs.
    const amd::DeviceHandle phone = backend->plug(scenario(), {QString(), slow});
    ASSERT_NE(phone, 0u);
    tick.start();
    probe.start();
    QTest::qWait(2500);
    probe.stop();
    std::printf("GUI thread delay while a 2 s session runs: max %lld ms\n", static_cast<long long>(worst));
    // 50 ms is the aim; the bound leaves room for a loaded, sanitized run.
    EXPECT_LT(worst, 250);
    backend->unplug(phone);
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
