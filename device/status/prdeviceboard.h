#pragma once

#include "device/jobs/devicejob.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>

#include <memory>

namespace amd {
class AirTrafficHostHelper;
class BaseInfo;
} // namespace amd

// The storage board of one connected phone: its own media-library host
// connection (opened by a device job, since it reads over the file service),
// then a one-second poll of the phone's stored metrics until they arrive. One
// object per connection owns its reader and its timers; deleting it stops
// both, so nothing of one phone outlives its page. Deleting it never waits
// for the phone: a connection still being made is dropped by its job when
// that ends.
class PRDeviceBoard : public QObject
{
    Q_OBJECT

public:
    PRDeviceBoard(int deviceId, const QString &udid, QObject *parent = nullptr);
    ~PRDeviceBoard() override;

    // Opens the connection; once it stands, the poll starts after
    // startDelayMs(). A connection that cannot be made leaves the bar as it is.
    void startBoardMessage();

    int deviceId() const { return m_deviceId; }

    // The wait between the connection and the first poll (5 s; tests shorten it).
    static int startDelayMs();
    static void setStartDelayMs(int ms);

Q_SIGNALS:
    // The phone's metrics, once; the poll has stopped.
    void metricsArrived(const QVariantMap &metrics);

private:
    // The connection once it stands: its helper (which reads for the phone's
    // values) and those values.
    struct Connection
    {
        std::shared_ptr<amd::AirTrafficHostHelper> helper;
        std::shared_ptr<amd::BaseInfo> info;
    };
    static Connection startBoardMessageThread(const QString &udid, int deviceId);
    void BoardMessageTimer_hander();

    const int m_deviceId;
    const QString m_udid;
    bool m_started = false;
    Connection m_connection;
    QTimer m_boardTimer;
    devjobs::JobLane m_lane{this};
};
