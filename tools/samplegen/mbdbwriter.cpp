#include "tools/samplegen/mbdbwriter.h"

namespace samplegen {

namespace {

constexpr qsizetype kFlushAt = 1 << 20;
constexpr quint16 kAbsent = 0xFFFF;

template<typename T>
void putBigEndian(QByteArray &out, T value)
{
    for (int shift = int(sizeof(T) * 8) - 8; shift >= 0; shift -= 8)
        out.append(char((quint64(value) >> shift) & 0xFF));
}

void putString(QByteArray &out, const QByteArray &s)
{
    putBigEndian(out, quint16(s.size()));
    out.append(s);
}

void putAbsent(QByteArray &out)
{
    putBigEndian(out, kAbsent);
}

// Strings carry a 16-bit length and 0xFFFF means "absent", so 0xFFFE bytes is
// the longest a string can be.
bool fits(const QByteArray &s)
{
    return s.size() < kAbsent;
}

bool putString(QByteArray &out, const QString &s)
{
    const QByteArray utf8 = s.toUtf8();
    if (!fits(utf8))
        return false;
    putString(out, utf8);
    return true;
}

} // namespace

bool MbdbWriter::open(const QString &path)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = QStringLiteral("%1: %2").arg(path, m_file.errorString());
        return false;
    }
    m_buffer = QByteArray("mbdb\x05\x00", 6);
    m_buffer.reserve(kFlushAt + 4096);
    return true;
}

QByteArray MbdbWriter::record(const WrittenEntry &entry)
{
    QByteArray out;
    return appendRecord(out, entry) ? out : QByteArray();
}

bool MbdbWriter::appendRecord(QByteArray &out, const WrittenEntry &entry)
{
    const EntryAttributes &a = entry.attributes;
    if (a.properties.size() > 255)
        return false;
    if (!putString(out, entry.domain) || !putString(out, entry.relativePath))
        return false;
    if (entry.kind == EntryKind::Symlink) {
        if (!putString(out, entry.linkTarget))
            return false;
    } else {
        putAbsent(out);
    }
    if (entry.kind == EntryKind::File && !entry.digest.isEmpty())
        putString(out, entry.digest);
    else
        putAbsent(out);
    if (!entry.encryptionKey.isEmpty())
        putString(out, entry.encryptionKey);
    else
        putAbsent(out);

    putBigEndian(out, a.mode);
    putBigEndian(out, quint64(entry.inode));
    putBigEndian(out, a.userId);
    putBigEndian(out, a.groupId);
    putBigEndian(out, quint32(a.modified));
    putBigEndian(out, quint32(a.modified)); // access time: not tracked, so the same
    putBigEndian(out, quint32(a.statusChanged));
    putBigEndian(out, quint64(entry.size));
    putBigEndian(out, quint8(a.protectionClass));

    putBigEndian(out, quint8(a.properties.size()));
    for (const auto &[name, value] : a.properties) {
        if (!fits(name) || !fits(value))
            return false;
        putString(out, name);
        putString(out, value);
    }
    return true;
}

bool MbdbWriter::add(const WrittenEntry &entry)
{
    if (!m_file.isOpen()) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("Manifest.mbdb: not open");
        return false;
    }
    const qsizetype start = m_buffer.size();
    if (!appendRecord(m_buffer, entry)) {
        m_buffer.truncate(start);
        m_error = QStringLiteral("Manifest.mbdb: %1/%2 has a string over 65534 bytes or over 255 properties")
                      .arg(entry.domain, entry.relativePath);
        return false;
    }
    return m_buffer.size() < kFlushAt || flush();
}

bool MbdbWriter::flush()
{
    if (m_file.write(m_buffer) != m_buffer.size()) {
        m_error = QStringLiteral("%1: %2").arg(m_file.fileName(), m_file.errorString());
        m_file.close();
        return false;
    }
    m_buffer.resize(0); // keeps the capacity
    return true;
}

bool MbdbWriter::finish()
{
    if (!m_file.isOpen() || !flush())
        return false;
    m_file.close();
    if (m_file.error() != QFileDevice::NoError) {
        m_error = QStringLiteral("%1: %2").arg(m_file.fileName(), m_file.errorString());
        return false;
    }
    return true;
}

} // namespace samplegen
