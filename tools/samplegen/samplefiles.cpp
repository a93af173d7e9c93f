#include "tools/samplegen/samplefiles.h"

#include "tools/samplegen/contentproducer.h"

#include <QBuffer>
#include <QImage>

#include <sqlite3.h>

#include <memory>

namespace samplegen::SampleFiles {

namespace {

void putU32(QByteArray &out, quint32 v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((v >> shift) & 0xFF));
}

QByteArray box(QByteArrayView type, const QByteArray &payload)
{
    QByteArray out;
    putU32(out, quint32(8 + payload.size()));
    out.append(type);
    out.append(payload);
    return out;
}

QByteArray fileType(QByteArrayView major, quint32 minor, const QList<QByteArrayView> &compatible)
{
    QByteArray payload(major.data(), major.size());
    putU32(payload, minor);
    for (QByteArrayView brand : compatible)
        payload.append(brand);
    return box("ftyp", payload);
}

QImage gradient(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            // Darker towards the lower right, so the image is not one flat
            // colour an encoder could shrink to nothing.
            const int shade = 100 - 50 * (x + y) / (width + height);
            line[x] = qRgb(colour.red() * shade / 100, colour.green() * shade / 100, colour.blue() * shade / 100);
        }
    }
    return image;
}

QByteArray encode(const QImage &image, const char *format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !image.save(&buffer, format, quality))
        return {};
    return bytes;
}

struct DatabaseCloser
{
    void operator()(sqlite3 *db) const { sqlite3_close(db); }
};

} // namespace

QByteArray jpeg(int width, int height, QColor colour)
{
    return encode(gradient(width, height, colour), "JPG", 85);
}

QByteArray png(int width, int height, QColor colour)
{
    return encode(gradient(width, height, colour), "PNG", -1);
}

QByteArray quickTimeMovie(int payloadBytes, quint64 seed)
{
    return fileType("qt  ", 0x20050300, {"qt  "}) + box("wide", {})
           + box("mdat", SampleRandom(seed).bytes(payloadBytes));
}

QByteArray mpeg4Video(int payloadBytes, quint64 seed)
{
    return fileType("isom", 0x200, {"isom", "iso2", "avc1", "mp41"}) + box("free", {})
           + box("mdat", SampleRandom(seed).bytes(payloadBytes));
}

QByteArray mpeg4Audio(int payloadBytes, quint64 seed)
{
    return fileType("M4A ", 0, {"M4A ", "mp42", "isom"}) + box("mdat", SampleRandom(seed).bytes(payloadBytes));
}

QByteArray mp3(int frameCount)
{
    // ID3v2.3 with an empty tag: the size is four 7-bit bytes.
    QByteArray out("ID3\x03\x00\x00\x00\x00\x00\x00", 10);
    // MPEG-1 layer III, 128 kbit/s, 44.1 kHz, no padding: 417-byte frames.
    constexpr int kFrameBytes = 417;
    for (int i = 0; i < frameCount; ++i) {
        QByteArray frame(kFrameBytes, '\0');
        frame[0] = char(0xFF);
        frame[1] = char(0xFB);
        frame[2] = char(0x90);
        frame[3] = char(0x64);
        out.append(frame);
    }
    return out;
}

QByteArray plist(const QVariantMap &root, PropertyList::Format format)
{
    return PropertyList::toData(root, format);
}

QByteArray sqliteDatabase(const QStringList &statements)
{
    sqlite3 *raw = nullptr;
    if (sqlite3_open(":memory:", &raw) != SQLITE_OK) {
        sqlite3_close(raw);
        return {};
    }
    std::unique_ptr<sqlite3, DatabaseCloser> db(raw);
    for (const QString &statement : statements) {
        if (sqlite3_exec(raw, statement.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            return {};
    }
    sqlite3_int64 size = 0;
    unsigned char *data = sqlite3_serialize(raw, "main", &size, 0);
    if (!data)
        return {};
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    sqlite3_free(data);
    return bytes;
}

} // namespace samplegen::SampleFiles
