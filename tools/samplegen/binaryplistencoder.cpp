#include "tools/samplegen/binaryplistencoder.h"

namespace samplegen {

namespace {

constexpr int kMaxObjects = 255;

void putBigEndian(QByteArray &out, quint64 value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.append(char((value >> shift) & 0xFF));
}

// Bytes of the smallest of 1, 2, 4 or 8 that hold value.
int widthOf(quint64 value)
{
    if (value <= 0xFF)
        return 1;
    if (value <= 0xFFFF)
        return 2;
    if (value <= 0xFFFFFFFFULL)
        return 4;
    return 8;
}

quint8 log2Width(int width)
{
    return width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3;
}

} // namespace

BinaryPlistEncoder::BinaryPlistEncoder()
{
    m_out.reserve(1024);
    m_out.append("bplist00", 8);
}

BinaryPlistEncoder::Ref BinaryPlistEncoder::begin()
{
    m_offsets.append(quint32(m_out.size()));
    return Ref(m_offsets.size() - 1);
}

void BinaryPlistEncoder::putLength(quint8 marker, qsizetype length)
{
    if (length < 15) {
        m_out.append(char(marker | quint8(length)));
        return;
    }
    // Longer lengths follow as an integer object.
    m_out.append(char(marker | 0x0F));
    const int width = widthOf(quint64(length));
    m_out.append(char(0x10 | log2Width(width)));
    putBigEndian(m_out, quint64(length), width);
}

void BinaryPlistEncoder::putRef(Ref ref)
{
    m_out.append(char(quint8(ref)));
}

BinaryPlistEncoder::Ref BinaryPlistEncoder::integer(qint64 value)
{
    const Ref ref = begin();
    // Negative numbers are always eight bytes, two's complement.
    const int width = value < 0 ? 8 : widthOf(quint64(value));
    m_out.append(char(0x10 | log2Width(width)));
    putBigEndian(m_out, quint64(value), width);
    return ref;
}

BinaryPlistEncoder::Ref BinaryPlistEncoder::string(const QString &text)
{
    const Ref ref = begin();
    bool ascii = true;
    for (QChar c : text) {
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        putLength(0x50, text.size());
        for (QChar c : text)
            m_out.append(char(c.unicode()));
    } else {
        // Non-ASCII text is UTF-16, big-endian; the length counts code units.
        putLength(0x60, text.size());
        for (QChar c : text)
            putBigEndian(m_out, c.unicode(), 2);
    }
    return ref;
}

BinaryPlistEncoder::Ref BinaryPlistEncoder::data(QByteArrayView bytes)
{
    const Ref ref = begin();
    putLength(0x40, bytes.size());
    m_out.append(bytes);
    return ref;
}

BinaryPlistEncoder::Ref BinaryPlistEncoder::uid(quint64 value)
{
    const Ref ref = begin();
    const int width = widthOf(value);
    m_out.append(char(0x80 | (width - 1)));
    putBigEndian(m_out, value, width);
    return ref;
}

BinaryPlistEncoder::Ref BinaryPlistEncoder::array(std::initializer_list<Ref> members)
{
    return array(members.begin(), qsizetype(members.size()));
}

BinaryPlistEncoder::Ref BinaryPlistEncoder::array(const Ref *members, qsizetype count)
{
    const Ref ref = begin();
    putLength(0xA0, count);
    for (qsizetype i = 0; i < count; ++i)
        putRef(members[i]);
    return ref;
}

BinaryPlistEncoder::Ref BinaryPlistEncoder::dict(const Item *items, qsizetype count)
{
    const Ref ref = begin();
    putLength(0xD0, count);
    for (qsizetype i = 0; i < count; ++i)
        putRef(items[i].first);
    for (qsizetype i = 0; i < count; ++i)
        putRef(items[i].second);
    return ref;
}

QByteArray BinaryPlistEncoder::finish(Ref top)
{
    if (m_offsets.size() > kMaxObjects || top < 0 || top >= m_offsets.size())
        return {};
    const quint64 tableOffset = quint64(m_out.size());
    const int offsetWidth = widthOf(tableOffset);
    for (quint32 offset : m_offsets)
        putBigEndian(m_out, offset, offsetWidth);
    m_out.append(QByteArray(6, '\0'));
    m_out.append(char(offsetWidth));
    m_out.append(char(1)); // reference width
    putBigEndian(m_out, quint64(m_offsets.size()), 8);
    putBigEndian(m_out, quint64(top), 8);
    putBigEndian(m_out, tableOffset, 8);
    return m_out;
}

} // namespace samplegen
