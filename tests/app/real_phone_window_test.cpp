// The real window on libimobiledevice, with the stand-in iPhone behind a
// private usbmuxd socket: a phone that waits for Trust is announced on the
// home page with what to do, then arrives on the status page once the user
// taps Trust, without being plugged in again and with one pair record.

#include "tests/support/eventwait.h"
#include "app/veldruneappdelegate.h"
#include "device/amd/devicemanager.h"
#include "device/devicebackend.h"
#include "device/imobiledevice/imobiledevicebackend.h"
#include "device/status/prdeviceboard.h"
#include "device/status/prdevicestatuspage.h"
#include "platform/notificationcenter.h"
#include "platform/paths.h"
#include "tools/devicegen/devicescenario.h"
#include "tools/standin/standinphone.h"

#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "tests/support/windowtesting.h"

namespace {

constexpr int kWaitMs = testsupport::kEventWaitMs;

class RealPhoneWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(devicegen::writeScenario({m_dir.filePath(QStringLiteral("phone")), 1}, nullptr, &error))
            << qPrintable(error);
        const QString socket = m_dir.filePath(QStringLiteral("usbmuxd.sock"));
        ASSERT_TRUE(m_standIn.start(socket, m_dir.filePath(QStringLiteral("records"))));
        qputenv("USBMUXD_SOCKET_ADDRESS", "UNIX:" + socket.toUtf8());
        m_previous = amd::setDeviceBackend(std::make_shared<amd::ImobiledeviceBackend>());
        DeviceManager::instance().setPairingRetryInterval(std::chrono::milliseconds(200));
        Paths::setHomeFolder(m_home.path());
        PRDeviceBoard::setStartDelayMs(0);
        delegate = std::make_unique<VeldruneAppDelegate>(NotificationCenter::defaultCenter());
        delegate->window->resize(1142, 700);
        delegate->window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(delegate->window));
    }

    void TearDown() override
    {
        delegate.reset();
        m_standIn.stop();
        amd::setDeviceBackend(m_previous);
        DeviceManager::instance().setPairingRetryInterval(DeviceManager::kDefaultPairingRetry);
        qunsetenv("USBMUXD_SOCKET_ADDRESS");
        Paths::setHomeFolder(QString());
    }

    QString scenario() const { return m_dir.filePath(QStringLiteral("phone")); }

    QTemporaryDir m_dir;
    QTemporaryDir m_home;
    standin::StandIn m_standIn;
    std::shared_ptr<amd::DeviceBackend> m_previous;
    std::unique_ptr<VeldruneAppDelegate> delegate;
};

} // namespace

TEST_F(RealPhoneWindow, APhoneWaitingForTrustIsAskedForThenArrivesAfterTheTap)
{
    standin::PhoneOptions options;
    options.trustDelayMs = -1; // only the test's tap trusts
    const quint32 phone = m_standIn.plug(scenario(), options);
    ASSERT_NE(phone, 0u);

    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->notelab->text().startsWith(QStringLiteral("Tap Trust")); },
                                kWaitMs))
        << qPrintable(delegate->notelab->text());
    EXPECT_FALSE(delegate->getDeviceConnected());
    EXPECT_TRUE(m_standIn.isDialogShowing(phone));
    testsupport::screenshot(delegate->window, QStringLiteral("real-phone-trust"));

    ASSERT_TRUE(m_standIn.tapTrust(phone));
    PRDeviceStatusPage *status = delegate->statusPage();
    ASSERT_TRUE(QTest::qWaitFor([&] { return status->iDeviceNamelab->text() == devicegen::kDeviceName; }, kWaitMs));
    EXPECT_EQ(status->iDeviceIDValuelab->text(), devicegen::kUniqueDeviceId);
    EXPECT_EQ(delegate->notelab->text(), QStringLiteral("Connect your iOS device to use the device pages."));
    EXPECT_EQ(m_standIn.trustedHosts(m_standIn.udid(phone)).size(), 1);
    EXPECT_EQ(m_standIn.stats(phone).dialogsShown, 1);
    QTest::qWait(200); // for the picture only: the page laid out
    testsupport::screenshot(delegate->window, QStringLiteral("real-phone-status"));

    m_standIn.unplug(phone);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !delegate->getDeviceConnected(); }, kWaitMs));
}

TEST_F(RealPhoneWindow, ALockedPhoneIsAskedToBeUnlockedAndADeniedOneToBePluggedAgain)
{
    standin::PhoneOptions locked;
    locked.locked = true;
    const quint32 phone = m_standIn.plug(scenario(), locked);
    ASSERT_NE(phone, 0u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->notelab->text().startsWith(QStringLiteral("Unlock")); },
                                kWaitMs))
        << qPrintable(delegate->notelab->text());
    m_standIn.unplug(phone);
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->notelab->text().startsWith(QStringLiteral("Connect")); },
                                kWaitMs))
        << qPrintable(delegate->notelab->text());

    standin::PhoneOptions denied;
    denied.denied = true;
    const quint32 second = m_standIn.plug(scenario(), denied);
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->notelab->text().contains(QStringLiteral("does not trust")); },
                                kWaitMs))
        << qPrintable(delegate->notelab->text());
    EXPECT_FALSE(delegate->getDeviceConnected());
    m_standIn.unplug(second);
}

// The media framework's leftovers (FFmpeg, glib, the sound server client, the
// loader's error strings), and libusbmuxd's: it ends its event thread by
// cancelling it and loses the buffer of a message it was receiving.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libavutil.so\nleak:libavcodec.so\nleak:libavformat.so\nleak:libglib-2.0.so\nleak:libpulse.so\n"
           "leak:_dlerror_run\nleak:_dl_exception_create\nleak:libusbmuxd-2.0.so\n";
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
