#include "device/status/prdeviceboard.h"

#include "device/amd/airtraffichosthelper.h"
#include "device/amd/baseinfo.h"
#include "device/amd/deviceitem.h"
#include "device/amd/devicemanager.h"

#include <atomic>
#include <cstdio>

namespace {

std::atomic<int> s_startDelayMs{5000};

} // namespace

PRDeviceBoard::PRDeviceBoard(int deviceId, const QString &udid, QObject *parent)
    : QObject(parent)
    , m_deviceId(deviceId)
    , m_udid(udid)
{
    m_boardTimer.setInterval(1000);
    connect(&m_boardTimer, &QTimer::timeout, this, &PRDeviceBoard::BoardMessageTimer_hander);
}

PRDeviceBoard::~PRDeviceBoard()
{
    m_boardTimer.stop();
    // Ends the host connection (a blocked read returns) and joins its reader.
    m_connection = {};
}

int PRDeviceBoard::startDelayMs()
{
    return s_startDelayMs.load();
}

void PRDeviceBoard::setStartDelayMs(int ms)
{
    s_startDelayMs = ms;
}

void PRDeviceBoard::startBoardMessage()
{
    if (m_started)
        return;
    m_started = true;
    // A connection that stands once the board went is dropped on the job's
    // thread.
    m_lane.start(
        m_deviceId, [udid = m_udid](devjobs::JobControl &job) { return startBoardMessageThread(udid, job.deviceId()); },
        [this](const Connection &connection, const devjobs::JobError &error) {
            if (error.failed() || !connection.helper)
                return;
            m_connection = connection;
            QTimer::singleShot(startDelayMs(), this, [this] { m_boardTimer.start(); });
        });
}

PRDeviceBoard::Connection PRDeviceBoard::startBoardMessageThread(const QString &udid, int deviceId)
{
    auto helper = std::make_shared<amd::AirTrafficHostHelper>();
    if (helper->connect(udid, deviceId) != 0) {
        std::puts("AirTrafficHost init failed");
        std::fflush(stdout);
        return {};
    }
    helper->startReader();
    const auto item = DeviceManager::instance().findItem(deviceId);
    return Connection{item ? std::move(helper) : nullptr, item ? item->baseInfo() : nullptr};
}

void PRDeviceBoard::BoardMessageTimer_hander()
{
    const std::optional<QVariantMap> metrics = m_connection.info ? m_connection.info->boardInfo() : std::nullopt;
    if (!metrics)
        return;
    // The board is filled once per connection.
    m_boardTimer.stop();
    Q_EMIT metricsArrived(*metrics);
}
