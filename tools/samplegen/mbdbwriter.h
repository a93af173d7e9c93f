#pragma once

#include "tools/samplegen/indexwriter.h"

#include <QByteArray>
#include <QFile>

namespace samplegen {

// Manifest.mbdb, the index before iOS 10: a "mbdb" 05 00 header, then one
// variable-length record per entry, all numbers big-endian. Records are
// gathered in a buffer and written in large blocks.
class MbdbWriter : public IndexWriter
{
public:
    QString fileName() const override { return QStringLiteral("Manifest.mbdb"); }
    StoredFileLayout layout() const override { return StoredFileLayout::Flat; }
    QString manifestVersion() const override { return QStringLiteral("9.1"); }
    QString statusVersion() const override { return QStringLiteral("2.4"); }

    bool open(const QString &path) override;
    bool add(const WrittenEntry &entry) override;
    bool finish() override;

    // One record in file form; empty when a string is too long for the
    // format or there are more than 255 properties.
    static QByteArray record(const WrittenEntry &entry);

private:
    static bool appendRecord(QByteArray &out, const WrittenEntry &entry);
    bool flush();

    QFile m_file;
    QByteArray m_buffer;
};

} // namespace samplegen
