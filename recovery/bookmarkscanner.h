#pragma once

#include "backup/notificationnames.h"
#include "recovery/scannerbase.h"

// Carves bookmark rows (title and URL) out of the bookmark database in its
// three record layouts (named by their header lengths 19, 24 and 11).
// Posts "scanDelBookMarkInfo" per bookmark, then progress 95.
template<typename Source>
class BookmarkScanner
{
public:
    explicit BookmarkScanner(ScanContext &context)
        : m_ctx(context)
        , m_batch(context.nc, Notifications::scanDelBookMarkInfo)
    {
    }
    void run(const QString &databasePath, bool commit = true);

private:
    void carve(const RawDatabase<Source> &db, std::uint64_t P);
    void decode(const RawDatabase<Source> &db, std::uint64_t Z, std::uint64_t K);

    ScanContext &m_ctx;
    ScannerSupport::RecordBatch m_batch;
};
