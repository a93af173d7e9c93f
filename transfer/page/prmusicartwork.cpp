#include "transfer/page/prmusicartwork.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <array>
#include <optional>

namespace PRMusicArtwork {

namespace {

// ID3's picture type of the front cover.
constexpr int kFrontCover = 3;
// More boxes than any tagged file has at one level of its MP4 tree.
constexpr int kMaxBoxesPerLevel = 4096;

quint32 bigEndian(const char *p, int bytes)
{
    quint32 value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | uchar(p[i]);
    return value;
}

// Four bytes of seven bits each; nullopt when a high bit is set.
std::optional<quint32> syncsafe(const char *p)
{
    quint32 value = 0;
    for (int i = 0; i < 4; ++i) {
        if (uchar(p[i]) & 0x80)
            return std::nullopt;
        value = (value << 7) | uchar(p[i]);
    }
    return value;
}

// Undoes the tag's unsynchronisation: every 0xFF 0x00 was 0xFF.
QByteArray resynchronised(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        out.append(bytes[i]);
        if (uchar(bytes[i]) == 0xFF && i + 1 < bytes.size() && bytes[i + 1] == 0)
            ++i;
    }
    return out;
}

struct Picture
{
    int type = 0;
    QByteArray data;
};

// A picture frame's body: text encoding, MIME type (three letters of
// format in version 2.2), picture type, description, then the picture.
std::optional<Picture> pictureFrame(const QByteArray &body, bool version22)
{
    if (body.size() < 4)
        return std::nullopt;
    const int encoding = body[0];
    qsizetype at = 1;
    if (version22) {
        at += 3;
    } else {
        at = body.indexOf('\0', at);
        if (at < 0)
            return std::nullopt;
        ++at;
    }
    if (at >= body.size())
        return std::nullopt;
    const int type = uchar(body[at++]);
    // The description ends with one zero byte, or two aligned ones in UTF-16.
    if (encoding == 1 || encoding == 2) {
        while (at + 1 < body.size() && (body[at] != 0 || body[at + 1] != 0))
            at += 2;
        at += 2;
    } else {
        at = body.indexOf('\0', at);
        if (at < 0)
            return std::nullopt;
        ++at;
    }
    if (at >= body.size())
        return std::nullopt;
    return Picture{type, body.mid(at)};
}

QByteArray id3Picture(QIODevice &file)
{
    const QByteArray header = file.read(10);
    if (header.size() < 10 || !header.startsWith("ID3"))
        return {};
    const int major = header[3];
    const uchar flags = uchar(header[5]);
    const std::optional<quint32> size = syncsafe(header.constData() + 6);
    // Version 2.2's compression was never defined: such a tag is skipped.
    if (major < 2 || major > 4 || !size || (major == 2 && (flags & 0x40)))
        return {};
    QByteArray tag = file.read(std::min<qint64>(*size, kMaxPictureBytes));
    if (major < 4 && (flags & 0x80))
        tag = resynchronised(tag);
    qsizetype at = 0;
    if (major >= 3 && (flags & 0x40) && tag.size() >= 4) {
        // The extended header: version 2.3 counts the bytes after its size.
        const std::optional<quint32> extended = major == 3 ? std::optional<quint32>(bigEndian(tag.constData(), 4) + 4)
                                                           : syncsafe(tag.constData());
        if (!extended)
            return {};
        at = qsizetype(*extended);
    }
    const int headerBytes = major == 2 ? 6 : 10;
    QByteArray first;
    while (at >= 0 && at + headerBytes <= tag.size()) {
        const char *frame = tag.constData() + at;
        if (frame[0] == 0) // the padding
            break;
        const std::optional<quint32> frameSize = major == 2   ? std::optional<quint32>(bigEndian(frame + 3, 3))
                                                 : major == 3 ? std::optional<quint32>(bigEndian(frame + 4, 4))
                                                              : syncsafe(frame + 4);
        const qsizetype bodyAt = at + headerBytes;
        if (!frameSize || *frameSize == 0 || qint64(*frameSize) > tag.size() - bodyAt)
            break;
        const QByteArray id(frame, major == 2 ? 3 : 4);
        if (id == (major == 2 ? "PIC" : "APIC")) {
            QByteArray body = tag.mid(bodyAt, qsizetype(*frameSize));
            const uchar format = major == 2 ? 0 : uchar(frame[9]);
            bool readable = true;
            if (major == 3) {
                readable = !(format & 0xC0); // compressed or encrypted
                if (format & 0x20)
                    body.remove(0, 1); // the group
            } else if (major == 4) {
                readable = !(format & 0x0C);
                if (format & 0x40)
                    body.remove(0, 1);
                if (format & 0x01)
                    body.remove(0, 4); // the data length
                if (format & 0x02)
                    body = resynchronised(body);
            }
            const std::optional<Picture> picture = readable ? pictureFrame(body, major == 2) : std::nullopt;
            if (picture && picture->type == kFrontCover)
                return picture->data;
            if (picture && first.isEmpty())
                first = picture->data;
        }
        at = bodyAt + qsizetype(*frameSize);
    }
    return first;
}

// moov > udta > meta > ilst > covr > data, each box found among its siblings.
QByteArray mp4Picture(QIODevice &file)
{
    static const std::array<QByteArray, 6> kPath{"moov", "udta", "meta", "ilst", "covr", "data"};
    qint64 from = 0;
    qint64 to = file.size();
    for (std::size_t level = 0; level < kPath.size(); ++level) {
        bool found = false;
        for (int box = 0; box < kMaxBoxesPerLevel && from + 8 <= to && !found; ++box) {
            if (!file.seek(from))
                return {};
            const QByteArray head = file.read(16);
            if (head.size() < 8)
                return {};
            qint64 size = bigEndian(head.constData(), 4);
            qint64 headBytes = 8;
            if (size == 1) {
                if (head.size() < 16)
                    return {};
                size = qint64(quint64(bigEndian(head.constData() + 8, 4)) << 32 | bigEndian(head.constData() + 12, 4));
                headBytes = 16;
            } else if (size == 0) {
                size = to - from; // to the end of its parent
            }
            if (size < headBytes || size > to - from)
                return {};
            if (head.mid(4, 4) == kPath[level]) {
                to = from + size;
                from += headBytes;
                found = true;
            } else {
                from += size;
            }
        }
        if (!found)
            return {};
        if (kPath[level] == "meta")
            from += 4; // its version and flags
        else if (kPath[level] == "data")
            from += 8; // the value's type and locale
    }
    if (to - from <= 0 || to - from > kMaxPictureBytes || !file.seek(from))
        return {};
    return file.read(to - from);
}

} // namespace

QByteArray embeddedPicture(QIODevice &file)
{
    const QByteArray start = file.peek(8);
    if (start.startsWith("ID3"))
        return id3Picture(file);
    if (start.size() == 8 && start.mid(4) == "ftyp")
        return mp4Picture(file);
    return {};
}

QImage artworkOf(const QString &path, int maxSide)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray picture = embeddedPicture(file);
    if (picture.isEmpty())
        return {};
    QBuffer buffer(&picture);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // Decoded at the size shown where the format allows; the reader's own
    // allocation limit refuses a picture that claims to be vast.
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > maxSide || size.height() > maxSide))
        reader.setScaledSize(size.scaled(maxSide, maxSide, Qt::KeepAspectRatio));
    return reader.read();
}

} // namespace PRMusicArtwork
