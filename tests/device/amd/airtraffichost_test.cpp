#include "tests/device/amd/devicetestfixture.h"

#include "device/amd/airtraffichosthelper.h"
#include "device/amd/baseinfo.h"
#include "device/amd/deviceitem.h"
#include "tests/support/qtprinters.h"

#include <chrono>
#include <future>

using AirTrafficHostTest = DeviceLayerTest;

namespace {

QVariantMap message(const QString &command, const QVariantMap &params)
{
    return {{QStringLiteral("Command"), command}, {QStringLiteral("Params"), params}};
}

} // namespace

TEST_F(AirTrafficHostTest, TheReaderStoresAssetMetricsAndIgnoresOtherCommands)
{
    const int id = plugPhone();
    ASSERT_GE(id, 0);
    const auto item = DeviceManager::instance().findItem(id);
    ASSERT_TRUE(item);
    const auto connection = m_fake->lastAtConnection(kPhone);
    ASSERT_NE(connection, 0u);

    const QVariantMap metrics{{QStringLiteral("Application"), QVariantMap{{QStringLiteral("_PhysicalSize"), 100}}}};
    m_fake->sendAtMessage(connection, message(QStringLiteral("AssetMetrics"), metrics));
    ASSERT_TRUE(m_fake->waitForAtRead(connection, 2));
    EXPECT_EQ(item->baseInfo()->boardInfo(), metrics);

    m_fake->sendAtMessage(connection, message(QStringLiteral("SyncAllowed"), {{QStringLiteral("x"), 1}}));
    m_fake->sendAtMessage(connection, {{QStringLiteral("Command"), QStringLiteral("AssetMetrics")},
                                       {QStringLiteral("Params"), QStringLiteral("not a dictionary")}});
    ASSERT_TRUE(m_fake->waitForAtRead(connection, 4));
    EXPECT_EQ(item->baseInfo()->boardInfo(), metrics);

    // The device leaving ends the connection and the reader with it.
    m_fake->unplug(kPhone);
    ASSERT_TRUE(waitForEvent(2));
    EXPECT_TRUE(m_fake->atConnectionDestroyed(connection));
}

TEST_F(AirTrafficHostTest, DestroyingTheHelperEndsABlockedReadPromptly)
{
    const int id = plugPhone();
    ASSERT_GE(id, 0);
    auto helper = std::make_unique<amd::AirTrafficHostHelper>();
    ASSERT_EQ(helper->connect(kPhoneUdid, id), 0);
    helper->startReader();
    helper->startReader();
    const auto connection = m_fake->lastAtConnection(kPhone);
    ASSERT_TRUE(m_fake->waitForAtRead(connection, 1));

    auto destroyed = std::async(std::launch::async, [&] { helper.reset(); });
    if (destroyed.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "the helper waited for its reader without ending the connection";
        m_fake->destroyAllAtConnections();
    }
    destroyed.wait();
    EXPECT_TRUE(m_fake->atConnectionDestroyed(connection));

    amd::AirTrafficHostHelper unconnected;
    EXPECT_EQ(unconnected.connect(QString(), id), 1);
    EXPECT_EQ(unconnected.connect(QStringLiteral("some-other-udid"), id), 1);
    unconnected.startReader();
}
