#pragma once

// usbmuxd's framing on its socket: a 16-byte header of little-endian words
// (whole length, protocol version, message type, tag), then the payload. With
// version 1 every message is type 8, an XML property list whose
// "MessageType" names it; an answer carries the tag of its request.

#include <QByteArray>
#include <QVariantMap>

namespace standin::mux {

constexpr quint32 kPlistMessage = 8;
// Result numbers: usbmuxd's own, or an errno for the pair-record requests.
constexpr quint32 kResultOk = 0;
constexpr quint32 kResultBadCommand = 1;
constexpr quint32 kResultBadDevice = 2;
constexpr quint32 kResultConnectionRefused = 3;
constexpr quint32 kResultNoEntry = 2;        // ENOENT
constexpr quint32 kResultInvalidArgument = 22; // EINVAL

struct Packet
{
    quint32 version = 0;
    quint32 message = 0;
    quint32 tag = 0;
    QByteArray payload;
};

// One whole packet from fd; false when the connection ends or the header is
// not usbmuxd's.
bool readPacket(int fd, Packet *packet);
// A plist message; false when it could not all be sent.
bool writePlist(int fd, quint32 tag, const QVariantMap &message);
bool writeResult(int fd, quint32 tag, quint32 number);

} // namespace standin::mux
