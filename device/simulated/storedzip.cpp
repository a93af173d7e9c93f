#include "device/simulated/storedzip.h"

#include <QRegularExpression>

#include <array>
#include <limits>

namespace amd::sim::StoredZip {

namespace {

constexpr quint32 kLocalHeader = 0x04034b50;
constexpr quint32 kCentralHeader = 0x02014b50;
constexpr quint32 kEndOfCentral = 0x06054b50;
constexpr qsizetype kEndRecordBytes = 22;
// The end record may be followed by a comment of at most 64 KiB.
constexpr qsizetype kMaxCommentBytes = 0xFFFF;
constexpr int kMaxEntries = 0xFFFF;

void put16(QByteArray &out, quint32 v)
{
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}

void put32(QByteArray &out, quint32 v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

quint32 get16(const QByteArray &in, qsizetype at)
{
    return quint32(quint8(in[at])) | quint32(quint8(in[at + 1])) << 8;
}

quint32 get32(const QByteArray &in, qsizetype at)
{
    return get16(in, at) | get16(in, at + 2) << 16;
}

std::array<quint32, 256> makeTable()
{
    std::array<quint32, 256> table{};
    for (quint32 n = 0; n < 256; ++n) {
        quint32 c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

} // namespace

quint32 crc32(const QByteArray &data)
{
    static const std::array<quint32, 256> table = makeTable();
    quint32 c = 0xFFFFFFFFu;
    for (const char byte : data)
        c = table[(c ^ quint8(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::optional<QByteArray> write(const QList<Entry> &entries, qint64 maxBytes)
{
    if (entries.size() > kMaxEntries)
        return std::nullopt;
    const qint64 limit = qMin<qint64>(maxBytes, std::numeric_limits<quint32>::max());
    QByteArray out;
    QByteArray central;
    for (const Entry &entry : entries) {
        const QByteArray name = entry.name.toUtf8();
        const qint64 grows = 2 * (46 + name.size()) + entry.data.size();
        if (name.size() > 0xFFFF || out.size() + central.size() + grows + kEndRecordBytes > limit)
            return std::nullopt;
        const quint32 crc = crc32(entry.data);
        const quint32 offset = quint32(out.size());
        // Version 1.0, flag bit 11 (UTF-8 names), stored, a fixed DOS time.
        put32(out, kLocalHeader);
        put16(out, 10);
        put16(out, 0x0800);
        put16(out, 0);
        put16(out, 0);
        put16(out, 0x21);
        put32(out, crc);
        put32(out, quint32(entry.data.size()));
        put32(out, quint32(entry.data.size()));
        put16(out, quint32(name.size()));
        put16(out, 0);
        out.append(name);
        out.append(entry.data);

        put32(central, kCentralHeader);
        put16(central, 0x031E); // made by Unix, 3.0
        put16(central, 10);
        put16(central, 0x0800);
        put16(central, 0);
        put16(central, 0);
        put16(central, 0x21);
        put32(central, crc);
        put32(central, quint32(entry.data.size()));
        put32(central, quint32(entry.data.size()));
        put16(central, quint32(name.size()));
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        const bool folder = entry.name.endsWith(QLatin1Char('/'));
        put32(central, (folder ? 040755u : 0100644u) << 16);
        put32(central, offset);
        central.append(name);
    }
    const quint32 centralOffset = quint32(out.size());
    out.append(central);
    put32(out, kEndOfCentral);
    put16(out, 0);
    put16(out, 0);
    put16(out, quint32(entries.size()));
    put16(out, quint32(entries.size()));
    put32(out, quint32(central.size()));
    put32(out, centralOffset);
    put16(out, 0);
    return out;
}

std::optional<Entry> find(const QByteArray &archive, const QString &pattern)
{
    // The end record is searched backwards over at most the longest comment.
    qsizetype end = -1;
    const qsizetype lowest = qMax<qsizetype>(0, archive.size() - kEndRecordBytes - kMaxCommentBytes);
    for (qsizetype at = archive.size() - kEndRecordBytes; at >= lowest; --at) {
        if (get32(archive, at) == kEndOfCentral) {
            end = at;
            break;
        }
    }
    if (end < 0)
        return std::nullopt;
    const quint32 count = get16(archive, end + 10);
    const qint64 centralSize = get32(archive, end + 12);
    const qint64 centralOffset = get32(archive, end + 16);
    if (centralOffset + centralSize > end)
        return std::nullopt;

    const QRegularExpression matcher(
        QRegularExpression::anchoredPattern(QRegularExpression::escape(pattern).replace(QStringLiteral("\\*"),
                                                                                        QStringLiteral("[^/]*"))));
    qint64 at = centralOffset;
    for (quint32 i = 0; i < count; ++i) {
        if (at + 46 > end || get32(archive, at) != kCentralHeader)
            return std::nullopt;
        const quint32 method = get16(archive, at + 10);
        const qint64 compressed = get32(archive, at + 20);
        const qint64 size = get32(archive, at + 24);
        const qint64 nameBytes = get16(archive, at + 28);
        const qint64 extraBytes = get16(archive, at + 30);
        const qint64 commentBytes = get16(archive, at + 32);
        const qint64 local = get32(archive, at + 42);
        if (at + 46 + nameBytes > end)
            return std::nullopt;
        const QString name = QString::fromUtf8(archive.mid(at + 46, nameBytes));
        if (matcher.match(name).hasMatch()) {
            if (method != 0 || compressed != size || local + 30 > centralOffset
                || get32(archive, local) != kLocalHeader)
                return std::nullopt;
            const qint64 data = local + 30 + get16(archive, local + 26) + get16(archive, local + 28);
            if (data + size > centralOffset)
                return std::nullopt;
            Entry entry{name, archive.mid(data, size)};
            if (crc32(entry.data) != get32(archive, at + 16))
                return std::nullopt;
            return entry;
        }
        at += 46 + nameBytes + extraBytes + commentBytes;
    }
    return std::nullopt;
}

} // namespace amd::sim::StoredZip
