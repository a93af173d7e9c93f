#include "device/status/prdeviceboard.h"

#include "device/amd/airtraffichosthelper.h"
#include "device/amd/baseinfo.h"
#include "device/amd/deviceitem.h"
#include "device/amd/devicemanager.h"

#include <QPointer>

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
    m_stopping = true;
    m_boardTimer.stop();
    if (m_connector.joinable())
        m_connector.join();
    // The helper's own destructor ends its connection and joins its reader.
    m_helper.reset();
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
    if (m_connector.joinable())
        return;
    m_connector = std::thread([this] { startBoardMessageThread(); });
}

void PRDeviceBoard::startBoardMessageThread()
{
    auto helper = std::make_unique<amd::AirTrafficHostHelper>();
    if (m_stopping || helper->connect(m_udid, m_deviceId) != 0) {
        std::puts("AirTrafficHost init failed");
        std::fflush(stdout);
        return;
    }
    helper->startReader();
    m_helper = std::move(helper);
    // The poll belongs to the GUI thread; the board may be gone by the time
    // it gets there.
    QPointer<PRDeviceBoard> self(this);
    QMetaObject::invokeMethod(
        this,
        [self] {
            if (self)
                QTimer::singleShot(startDelayMs(), self, [self] {
                    if (self && !self->m_stopping)
                        self->m_boardTimer.start();
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
