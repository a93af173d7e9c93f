#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The small zip archives the simulated phone makes and reads: entries are
// stored, never compressed, so that neither side needs a compression library.
// Real packages may be compressed; the reader then simply finds nothing.
namespace amd::sim::StoredZip {

struct Entry
{
    QString name; // folders end with '/'
    QByteArray data;
};

// The whole archive, or nothing when it would pass maxBytes (or the zip
// format's 32-bit limits).
std::optional<QByteArray> write(const QList<Entry> &entries, qint64 maxBytes);

// The data of the stored entry name (exactly, or the first entry whose name
// matches pattern when name holds '*' as its only wildcard for one path
// component), read from the central directory of archive. Nothing for a
// compressed entry or a damaged archive.
std::optional<Entry> find(const QByteArray &archive, const QString &pattern);

quint32 crc32(const QByteArray &data);

} // namespace amd::sim::StoredZip
