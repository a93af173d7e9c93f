#pragma once

#include "tools/samplegen/indexwriter.h"

#include <QByteArray>

struct sqlite3;
struct sqlite3_stmt;

namespace samplegen {

// Manifest.db, the index of iOS 10 and later: the Files table with one
// keyed-archiver MBFile blob per row, in one transaction.
class ManifestDbWriter : public IndexWriter
{
public:
    ManifestDbWriter() = default;
    ~ManifestDbWriter() override;

    QString fileName() const override { return QStringLiteral("Manifest.db"); }
    StoredFileLayout layout() const override { return StoredFileLayout::Subfolder; }
    QString manifestVersion() const override { return QStringLiteral("10.0"); }
    QString statusVersion() const override { return QStringLiteral("3.3"); }

    bool open(const QString &path) override;
    bool add(const WrittenEntry &entry) override;
    bool finish() override;

    // The `file` column of an entry: a binary plist in NSKeyedArchiver form.
    static QByteArray archivedFile(const WrittenEntry &entry);
    // The flags column: 1 file, 2 directory, 4 symbolic link.
    static int flagsFor(EntryKind kind);

private:
    bool exec(const char *sql);
    bool fail(const char *what);
    void close();

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_insert = nullptr;
};

} // namespace samplegen
