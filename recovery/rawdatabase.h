#pragma once

#include "backup/databasecopy.h"
#include "recovery/recordheader.h"

#include <QString>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>

// A database file opened for the raw scanners, as it stands after the commit
// step: every committed page in the main file, and the header's journal
// version as the commit step leaves it.
//
// A file with a log or journal beside it is copied privately and committed
// (DatabaseCopy). A file without one already holds every committed page;
// the commit step would only switch its header to write-ahead logging, so it
// is read in place and that header byte is answered as the step would have
// left it. Either way the backup is never written.
template<typename Source>
class RawDatabase
{
public:
    // Without commit the file is read exactly as it is, header included;
    // only tests of the rollback-journal layouts ask for that.
    bool open(const QString &path, bool commit = true);

    const Source &source() const { return m_source; }
    // 0 when the stored page size is not a power of two from 512 to 65536.
    std::uint32_t pageSize() const { return m_pageSize; }
    std::uint64_t pageCount() const { return m_pageSize ? m_source.size() / m_pageSize : 0; }
    // Byte 18 of the header after the commit step: 2 for write-ahead logging.
    std::uint8_t journalVersion() const { return m_journalVersion; }

    int pageTypeAt(std::uint64_t pageOffset) const
    {
        return pageOffset == 0 ? -1 : RecordHeader::pageType(m_source.byte(pageOffset));
    }
    // Calls visit(P, type) with the offset and type of every page of one of
    // the accepted types, from page 1 up (or from the last page down to 1),
    // until cancelled. Page 0 holds the header and is never visited.
    template<typename Visit>
    void forEachPage(const std::atomic<bool> &cancelled, std::initializer_list<int> types, bool descending,
                     Visit visit) const
    {
        const std::uint64_t count = pageCount();
        for (std::uint64_t i = 1; i < count && !cancelled.load(std::memory_order_relaxed); ++i) {
            const std::uint64_t page = descending ? count - i : i;
            const std::uint64_t P = page * m_pageSize;
            const int type = pageTypeAt(P);
            if (std::find(types.begin(), types.end(), type) != types.end())
                visit(P, type);
        }
    }

    std::uint16_t u16(std::uint64_t offset) const
    {
        unsigned char b[2];
        m_source.read(offset, b, 2);
        return std::uint16_t(b[0] << 8 | b[1]);
    }

private:
    std::unique_ptr<DatabaseCopy> m_copy;
    Source m_source;
    std::uint32_t m_pageSize = 0;
    std::uint8_t m_journalVersion = 0;
};

// True when SQLite reads the file as a database: the commit step's journal
// switch succeeds on exactly such files.
bool commitWouldSwitchToWal(const QString &path);
bool hasLogCompanion(const QString &path);

template<typename Source>
bool RawDatabase<Source>::open(const QString &path, bool commit)
{
    QString readPath = path;
    bool committed = !commit;
    if (commit && hasLogCompanion(path)) {
        m_copy = DatabaseCopy::make(path);
        if (!m_copy)
            return false;
        readPath = m_copy->path();
        committed = true;
    }
    if (!m_source.open(readPath))
        return false;
    m_pageSize = RecordHeader::pageSize(u16(16));
    m_journalVersion = m_source.byte(18);
    // Asking SQLite costs more than carving a small database; a header that
    // already says write-ahead logging needs no answer.
    if (!committed && m_journalVersion != 2 && commitWouldSwitchToWal(readPath))
        m_journalVersion = 2;
    return true;
}
