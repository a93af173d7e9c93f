#include "tests/recovery/zerofreepages.h"

#include "backup/notificationnames.h"
#include "backup/storednames.h"

#include <QFile>

namespace ZeroFreePages {

namespace {

enum class Journal : char { Rollback = 1, WriteAheadLog = 2 };

// A page-0 header as SQLite writes it (page size 4096, the journal mode
// given), then pages of the repeated pattern with the marks of a table leaf
// at the given offsets. Page 0 is never carved; its header ends in zeros,
// the only ones of the file.
bool writePages(const QString &path, qint64 size, Journal journal, const QByteArray &pattern,
                std::initializer_list<std::pair<int, char>> pageMarks)
{
    if (size < kPageSize || size % kPageSize != 0 || pattern.isEmpty() || pattern.contains('\0'))
        return false;
    QByteArray page(kPageSize, '\0');
    for (int i = 0; i < kPageSize; ++i)
        page[i] = pattern[i % pattern.size()];
    page[0] = 0x0d;
    page[8] = char(kFirstCell >> 8);
    page[9] = char(kFirstCell & 0xff);
    for (const auto &[offset, value] : pageMarks)
        page[offset] = value;

    QByteArray first = page;
    const QByteArray header = QByteArrayLiteral("SQLite format 3") + '\0';
    first.replace(0, 100, QByteArray(100, '\0'));
    first.replace(0, header.size(), header);
    first[16] = char(kPageSize >> 8);
    first[17] = char(kPageSize & 0xff);
    first[18] = char(journal);
    first[19] = char(journal);
    first[21] = 64;
    first[22] = 32;
    first[23] = 32;

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    bool ok = file.write(first) == first.size();
    for (qint64 at = kPageSize; ok && at < size; at += kPageSize)
        ok = file.write(page) == page.size();
    return ok;
}

QByteArray bytes(std::initializer_list<unsigned char> values)
{
    QByteArray out;
    for (unsigned char v : values)
        out += char(v);
    return out;
}

} // namespace

bool writeZeroFreeBookmarkPages(const QString &path, qint64 size)
{
    // 0x14 at the first cell's header length selects the 19-column layout,
    // whose check walks back to the nearest zero at every hit.
    return writePages(path, size, Journal::Rollback, bytes({0x01}), {{kFirstCell + 3, 0x14}});
}

bool writeZeroFreeCallPages(const QString &path, qint64 size)
{
    // Every pair 01 01 is a hit; without a header length on the page each
    // hit walks back for its own.
    return writePages(path, size, Journal::Rollback, bytes({0x01}), {});
}

bool writeZeroFreeContactPages(const QString &path, qint64 size)
{
    // The person signature every five bytes; each hit walks back to the
    // nearest zero for the length of the sort-name fields.
    return writePages(path, size, Journal::Rollback, bytes({0x0f, 0x0f, 0x08, 0x08, 0x01}), {});
}

bool writeZeroFreeMessagePages(const QString &path, qint64 size)
{
    // The write-ahead-log layout; the first cell passes the page test with
    // 08 08 08 08 08 ten bytes in, and the page's header length is searched
    // forward to the next zero from the cell.
    return writePages(path, size, Journal::WriteAheadLog, bytes({0x01}),
                      {{kFirstCell + 10, 0x08}, {kFirstCell + 11, 0x08}, {kFirstCell + 12, 0x08},
                       {kFirstCell + 13, 0x08}, {kFirstCell + 14, 0x08}});
}

bool writeZeroFreeNotePages(const QString &path, qint64 size)
{
    // The note-row signature every seven bytes in the write-ahead-log
    // layout; each hit steps forward to the next 0x03 for the title's form.
    return writePages(path, size, Journal::WriteAheadLog, bytes({0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x05}), {});
}

bool writeZeroFreeCalendarPages(const QString &path, qint64 size)
{
    // The calendar-item signature (08 08 08 08 08 08) at every position.
    return writePages(path, size, Journal::WriteAheadLog, bytes({0x08}), {});
}

const std::vector<Kind> &kinds()
{
    static const std::vector<Kind> all = {
        {"Bookmarks", writeZeroFreeBookmarkPages, StoredNames::BookmarksDb, "5.1",
         DeletedRecordScanner::ScanDelBookMarkThread, Notifications::scanDelBookMarkInfo},
        {"CallHistory", writeZeroFreeCallPages, StoredNames::CallHistoryDb, "5.1",
         DeletedRecordScanner::scanDelCallHistoryThread, Notifications::ScanDelCallHistoryInfo},
        {"Contacts", writeZeroFreeContactPages, StoredNames::AddressBook, "5.1",
         DeletedRecordScanner::scanDelContactThread, Notifications::ScanDelContactInfo},
        {"Messages", writeZeroFreeMessagePages, StoredNames::Sms, "5.1", DeletedRecordScanner::scanDelMessageThread,
         Notifications::ScanDelMessageInfo},
        {"Notes", writeZeroFreeNotePages, StoredNames::NotesSqlite, "5.1", DeletedRecordScanner::scanDelNoteThread,
         Notifications::ScanDelNoteInfo},
        {"Calendar", writeZeroFreeCalendarPages, StoredNames::Calendar, "6.1",
         DeletedRecordScanner::ScanDelCalenderThread, Notifications::scanDelCalenderInfo},
    };
    return all;
}

} // namespace ZeroFreePages
