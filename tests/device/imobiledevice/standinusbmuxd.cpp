#include "standinusbmuxd.h"

#include <plist/plist.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <algorithm>
#include <cstring>

namespace {

constexpr quint32 kHeaderSize = 16;
constexpr quint32 kMaxPacket = 1024 * 1024;
constexpr quint32 kPlistMessage = 8;

quint32 readLe32(const char *p)
{
    quint32 value = 0;
    std::memcpy(&value, p, 4); // little-endian host, as the daemon's protocol
    return value;
}

QByteArray toXml(plist_t root)
{
    char *xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    QByteArray bytes(xml, static_cast<qsizetype>(length));
    plist_to_xml_free(xml);
    plist_free(root);
    return bytes;
}

QByteArray result(quint64 number)
{
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "MessageType", plist_new_string("Result"));
    plist_dict_set_item(dict, "Number", plist_new_uint(number));
    return toXml(dict);
}

plist_t properties(quint32 id, const QByteArray &udid, bool usb)
{
    plist_t props = plist_new_dict();
    plist_dict_set_item(props, "ConnectionType", plist_new_string(usb ? "USB" : "Network"));
    plist_dict_set_item(props, "DeviceID", plist_new_uint(id));
    plist_dict_set_item(props, "SerialNumber", plist_new_string(udid.constData()));
    if (usb) {
        plist_dict_set_item(props, "ProductID", plist_new_uint(0x12a8));
        plist_dict_set_item(props, "LocationID", plist_new_uint(0x14100000));
        plist_dict_set_item(props, "ConnectionSpeed", plist_new_uint(480000000));
    } else {
        // A sockaddr_in of 192.168.1.2 as the daemon sends it.
        const char address[16] = {0x10, 0x02, 0, 0, char(192), char(168), 1, 2};
        plist_dict_set_item(props, "NetworkAddress", plist_new_data(address, sizeof address));
        plist_dict_set_item(props, "EscapedFullServiceName", plist_new_string("stand-in._apple-mobdev2._tcp.local."));
    }
    return props;
}

} // namespace

StandInUsbmuxd::StandInUsbmuxd(const QByteArray &socketPath) : m_path(socketPath)
{
    ::unlink(m_path.constData());
    m_listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (m_listenFd < 0 || m_path.size() >= qsizetype(sizeof address.sun_path) || ::pipe2(m_wakePipe, O_CLOEXEC) != 0) {
        if (m_listenFd >= 0)
            ::close(m_listenFd);
        m_listenFd = -1;
        return;
    }
    std::memcpy(address.sun_path, m_path.constData(), static_cast<size_t>(m_path.size()));
    if (::bind(m_listenFd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(m_listenFd, 16) != 0) {
        ::close(m_listenFd);
        m_listenFd = -1;
        return;
    }
    m_thread = std::thread([this] { run(); });
}

StandInUsbmuxd::~StandInUsbmuxd()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    wake();
    if (m_thread.joinable())
        m_thread.join();
    for (const Client &client : m_clients)
        ::close(client.fd);
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    for (int fd : m_wakePipe) {
        if (fd >= 0)
            ::close(fd);
    }
    ::unlink(m_path.constData());
}

void StandInUsbmuxd::wake()
{
    if (m_wakePipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(m_wakePipe[1], &byte, 1);
    }
}

bool StandInUsbmuxd::waitForListeners(int count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_listenersChanged.wait_for(lock, timeout, [&] { return m_listeners >= count; });
}

void StandInUsbmuxd::countListeners()
{
    const int listeners =
        int(std::count_if(m_clients.begin(), m_clients.end(), [](const Client &c) { return c.listener; }));
    {
        std::lock_guard lock(m_mutex);
        m_listeners = listeners;
    }
    m_listenersChanged.notify_all();
}

void StandInUsbmuxd::attach(quint32 deviceId, const QByteArray &udid, bool usb)
{
    {
        std::lock_guard lock(m_mutex);
        m_commands.push_back([this, deviceId, udid, usb] {
            m_devices.push_back({deviceId, udid, usb});
            const QByteArray message = attachedMessage(m_devices.back());
            for (const Client &client : m_clients) {
                if (client.listener)
                    send(client.fd, 0, message);
            }
        });
    }
    wake();
}

void StandInUsbmuxd::detach(quint32 deviceId)
{
    {
        std::lock_guard lock(m_mutex);
        m_commands.push_back([this, deviceId] {
            std::erase_if(m_devices, [&](const Device &device) { return device.id == deviceId; });
            const QByteArray message = detachedMessage(deviceId);
            for (const Client &client : m_clients) {
                if (client.listener)
                    send(client.fd, 0, message);
            }
        });
    }
    wake();
}

QByteArray StandInUsbmuxd::attachedMessage(const Device &device) const
{
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "MessageType", plist_new_string("Attached"));
    plist_dict_set_item(dict, "DeviceID", plist_new_uint(device.id));
    plist_dict_set_item(dict, "Properties", properties(device.id, device.udid, device.usb));
    return toXml(dict);
}

QByteArray StandInUsbmuxd::detachedMessage(quint32 deviceId) const
{
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "MessageType", plist_new_string("Detached"));
    plist_dict_set_item(dict, "DeviceID", plist_new_uint(deviceId));
    return toXml(dict);
}

void StandInUsbmuxd::send(int fd, quint32 tag, const QByteArray &xml)
{
    QByteArray packet(kHeaderSize, '\0');
    const quint32 header[4] = {quint32(kHeaderSize + xml.size()), 1, kPlistMessage, tag};
    std::memcpy(packet.data(), header, sizeof header);
    packet += xml;
    qsizetype offset = 0;
    while (offset < packet.size()) {
        const ssize_t sent = ::send(fd, packet.constData() + offset, size_t(packet.size() - offset), MSG_NOSIGNAL);
        if (sent <= 0)
            return; // the client went away; its read side notices
        offset += sent;
    }
}

bool StandInUsbmuxd::serve(Client &client)
{
    while (client.input.size() >= qsizetype(kHeaderSize)) {
        const quint32 length = readLe32(client.input.constData());
        const quint32 tag = readLe32(client.input.constData() + 12);
        if (length < kHeaderSize || length > kMaxPacket)
            return false;
        if (client.input.size() < qsizetype(length))
            return true;
        const QByteArray payload = client.input.mid(kHeaderSize, length - kHeaderSize);
        client.input.remove(0, length);

        plist_t request = nullptr;
        plist_from_xml(payload.constData(), uint32_t(payload.size()), &request);
        char *type = nullptr;
        if (plist_t node = request ? plist_dict_get_item(request, "MessageType") : nullptr)
            plist_get_string_val(node, &type);
        const QByteArray messageType(type ? type : "");
        std::free(type);
        if (request)
            plist_free(request);

        if (messageType == "Listen") {
            send(client.fd, tag, result(0));
            client.listener = true;
            for (const Device &device : m_devices)
                send(client.fd, 0, attachedMessage(device));
        } else if (messageType == "ListDevices") {
            ++m_listRequests;
            plist_t list = plist_new_array();
            for (const Device &device : m_devices) {
                plist_t entry = plist_new_dict();
                plist_dict_set_item(entry, "MessageType", plist_new_string("Attached"));
                plist_dict_set_item(entry, "DeviceID", plist_new_uint(device.id));
                plist_dict_set_item(entry, "Properties", properties(device.id, device.udid, device.usb));
                plist_array_append_item(list, entry);
            }
            plist_t dict = plist_new_dict();
            plist_dict_set_item(dict, "DeviceList", list);
            send(client.fd, tag, toXml(dict));
        } else if (messageType == "Connect") {
            ++m_connectRequests;
            send(client.fd, tag, result(3)); // connection refused
        } else {
            if (messageType == "ReadPairRecord")
                ++m_pairRecordRequests;
            send(client.fd, tag, result(2)); // no such device / record
        }
    }
    return true;
}

void StandInUsbmuxd::run()
{
    for (;;) {
        std::vector<pollfd> fds;
        fds.push_back({m_listenFd, POLLIN, 0});
        fds.push_back({m_wakePipe[0], POLLIN, 0});
        for (const Client &client : m_clients)
            fds.push_back({client.fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0)
            continue;

        if (fds[1].revents) {
            char drain[64];
            [[maybe_unused]] const auto got = ::read(m_wakePipe[0], drain, sizeof drain);
            std::deque<std::function<void()>> commands;
            {
                std::lock_guard lock(m_mutex);
                if (m_stop)
                    return;
                commands.swap(m_commands);
            }
            for (const auto &command : commands)
                command();
        }

        std::vector<int> gone;
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            auto client = std::find_if(m_clients.begin(), m_clients.end(),
                                       [&](const Client &c) { return c.fd == fds[i].fd; });
            if (client == m_clients.end())
                continue;
            char buffer[4096];
            const ssize_t got = ::recv(client->fd, buffer, sizeof buffer, 0);
            if (got <= 0 || (client->input.append(buffer, got), !serve(*client)))
                gone.push_back(client->fd);
        }
        for (int fd : gone) {
            ::close(fd);
            std::erase_if(m_clients, [&](const Client &c) { return c.fd == fd; });
        }
        countListeners();

        if (fds[0].revents) {
            const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0)
                m_clients.push_back({fd, {}, false});
        }
    }
}
