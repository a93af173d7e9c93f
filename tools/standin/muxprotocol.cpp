#include "tools/standin/muxprotocol.h"

#include "platform/propertylist.h"

#include <QtEndian>

#include <cerrno>

#include <sys/socket.h>

namespace standin::mux {

namespace {

constexpr quint32 kHeaderBytes = 16;
// A SavePairRecord with its certificates is a few KiB.
constexpr quint32 kMaxPayloadBytes = 4 * 1024 * 1024;

bool readExact(int fd, char *buffer, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::recv(fd, buffer + done, size - done, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += std::size_t(got);
    }
    return true;
}

bool writeExact(int fd, const char *data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t sent = ::send(fd, data + done, size - done, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        done += std::size_t(sent);
    }
    return true;
}

} // namespace

bool readPacket(int fd, Packet *packet)
{
    uchar header[kHeaderBytes];
    if (!readExact(fd, reinterpret_cast<char *>(header), sizeof header))
        return false;
    const quint32 length = qFromLittleEndian<quint32>(header);
    if (length < kHeaderBytes || length - kHeaderBytes > kMaxPayloadBytes)
        return false;
    packet->version = qFromLittleEndian<quint32>(header + 4);
    packet->message = qFromLittleEndian<quint32>(header + 8);
    packet->tag = qFromLittleEndian<quint32>(header + 12);
    packet->payload.resize(qsizetype(length - kHeaderBytes));
    return readExact(fd, packet->payload.data(), std::size_t(packet->payload.size()));
}

bool writePlist(int fd, quint32 tag, const QVariantMap &message)
{
    const QByteArray body = PropertyList::toData(message, PropertyList::Format::Xml);
    QByteArray packet(kHeaderBytes, '\0');
    uchar *header = reinterpret_cast<uchar *>(packet.data());
    qToLittleEndian<quint32>(quint32(kHeaderBytes + body.size()), header);
    qToLittleEndian<quint32>(1, header + 4);
    qToLittleEndian<quint32>(kPlistMessage, header + 8);
    qToLittleEndian<quint32>(tag, header + 12);
    packet.append(body);
    return writeExact(fd, packet.constData(), std::size_t(packet.size()));
}

bool writeResult(int fd, quint32 tag, quint32 number)
{
    return writePlist(fd, tag, {{QStringLiteral("MessageType"), QStringLiteral("Result")},
                                {QStringLiteral("Number"), qint64(number)}});
}

} // namespace standin::mux
