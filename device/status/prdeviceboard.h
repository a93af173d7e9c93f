#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>

#include <atomic>
#include <memory>
#include <thread>

namespace amd {
class AirTrafficHostHelper;
}

// The storage board of one connected phone: its own media-library host
// connection (opened on a thread of its own, since it reads over the file
// service), then a one-second poll of the phone's stored metrics until they
// arrive. One object per connection owns its reader and its timers; deleting
// it stops both, so nothing of one phone outlives its page.
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
    void startBoardMessageThread();
    void BoardMessageTimer_hander();

    const int m_deviceId;
    const QString m_udid;
    std::unique_ptr<amd::AirTrafficHostHelper> m_helper;
    std::thread m_connector;
    std::atomic<bool> m_stopping{false};
    QTimer m_boardTimer;
};
