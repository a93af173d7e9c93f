#include "device/status/prdeviceboard.h"

#include "device/amd/airtraffichosthelper.h"
#include "device/amd/baseinfo.h"
#include "device/amd/deviceitem.h"
#include "device/amd/devicemanager.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include <cstdio>
#include <mutex>

namespace {

std::atomic<int> s_startDelayMs{5000};

} // namespace

// Shared by the board and the task that opens the connection, so that either
// may end first.
struct PRDeviceBoard::Connection
{
    std::mutex mutex;
    bool stopping = false;
    bool started = false;
    std::unique_ptr<amd::AirTrafficHostHelper> helper;
};

PRDeviceBoard::PRDeviceBoard(int deviceId, const QString &udid, QObject *parent)
    : QObject(parent)
    , m_deviceId(deviceId)
    , m_udid(udid)
    , m_connection(std::make_shared<Connection>())
{
    m_boardTimer.setInterval(1000);
    connect(&m_boardTimer, &QTimer::timeout, this, &PRDeviceBoard::BoardMessageTimer_hander);
}

PRDeviceBoard::~PRDeviceBoard()
{
    m_boardTimer.stop();
    std::unique_ptr<amd::AirTrafficHostHelper> helper;
    {
        std::lock_guard lock(m_connection->mutex);
        m_connection->stopping = true;
        helper = std::move(m_connection->helper);
    }
    // Ends the host connection (a blocked read returns) and joins its reader.
    helper.reset();
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
    {
        std::lock_guard lock(m_connection->mutex);
        if (m_connection->started)
            return;
        m_connection->started = true;
    }
    // The pool is waited for when the application ends, so the task never
    // outlives it; the board may go before the task does.
    QThreadPool::globalInstance()->start([connection = m_connection, udid = m_udid, deviceId = m_deviceId,
                                          self = QPointer<PRDeviceBoard>(this)] {
        startBoardMessageThread(connection, udid, deviceId, self);
    });
}

void PRDeviceBoard::startBoardMessageThread(const std::shared_ptr<Connection> &connection, const QString &udid,
                                            int deviceId, QPointer<PRDeviceBoard> board)
{
    auto helper = std::make_unique<amd::AirTrafficHostHelper>();
    if (helper->connect(udid, deviceId) != 0) {
        std::puts("AirTrafficHost init failed");
        std::fflush(stdout);
        return;
    }
    helper->startReader();
    {
        std::lock_guard lock(connection->mutex);
        if (connection->stopping)
            return; // the board went meanwhile: the helper ends here
        connection->helper = std::move(helper);
    }
    // The poll belongs to the GUI thread.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [board] {
            if (board)
                QTimer::singleShot(startDelayMs(), board, [board] {
                    if (board)
                        board->m_boardTimer.start();
                });
        },
        Qt::QueuedConnection);
}

void PRDeviceBoard::BoardMessageTimer_hander()
{
    const auto item = DeviceManager::instance().findItem(m_deviceId);
    const auto info = item ? item->baseInfo() : nullptr;
    const std::optional<QVariantMap> metrics = info ? info->boardInfo() : std::nullopt;
    if (!metrics)
        return;
    // The board is filled once per connection.
    m_boardTimer.stop();
    Q_EMIT metricsArrived(*metrics);
}
