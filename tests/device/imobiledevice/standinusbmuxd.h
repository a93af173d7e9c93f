#pragma once

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A usbmuxd of our own on a private UNIX socket: enough of the daemon's
// plist protocol for libusbmuxd to list, watch and (fail to) connect to
// devices that a test attaches and detaches.
//
// Every request is answered on its own connection: "Listen" with a result and
// then an "Attached" message per device (later attach and detach calls reach
// every listener), "ListDevices" with the device list, "Connect",
// "ReadPairRecord", "ReadBUID" and anything else with a failure result.
class StandInUsbmuxd
{
public:
    explicit StandInUsbmuxd(const QByteArray &socketPath);
    ~StandInUsbmuxd();

    StandInUsbmuxd(const StandInUsbmuxd &) = delete;
    StandInUsbmuxd &operator=(const StandInUsbmuxd &) = delete;

    bool isListening() const { return m_listenFd >= 0; }

    void attach(quint32 deviceId, const QByteArray &udid, bool usb = true);
    void detach(quint32 deviceId);

    // Until that many "Listen" connections are open; false at the deadline.
    bool waitForListeners(int count, std::chrono::milliseconds timeout);

    int connectRequests() const { return m_connectRequests; }
    int listRequests() const { return m_listRequests; }
    int pairRecordRequests() const { return m_pairRecordRequests; }

private:
    struct Device
    {
        quint32 id = 0;
        QByteArray udid;
        bool usb = true;
    };
    struct Client
    {
        int fd = -1;
        QByteArray input;
        bool listener = false;
    };

    void run();
    void countListeners();
    void wake();
    bool serve(Client &client); // false: drop the client
    void send(int fd, quint32 tag, const QByteArray &xml);
    QByteArray attachedMessage(const Device &device) const;
    QByteArray detachedMessage(quint32 deviceId) const;

    QByteArray m_path;
    int m_listenFd = -1;
    int m_wakePipe[2] = {-1, -1};
    std::thread m_thread;

    std::mutex m_mutex; // guards m_commands, m_stop and m_listeners
    std::condition_variable m_listenersChanged;
    std::deque<std::function<void()>> m_commands;
    bool m_stop = false;
    int m_listeners = 0;

    // The loop thread's own.
    std::vector<Device> m_devices;
    std::vector<Client> m_clients;

    std::atomic<int> m_connectRequests{0};
    std::atomic<int> m_listRequests{0};
    std::atomic<int> m_pairRecordRequests{0};
};
