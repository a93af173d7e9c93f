// The deleted-record scanners over a database file as a stranger writes it:
// page headers, cell pointers, record headers and varints all chosen by the
// writer. The scanners read the file raw, so nothing but their own checks
// stands between the bytes and a read out of bounds.
//
// Input: one selector byte, then the file. Selector bits 0-2 pick the scanner
// (contacts, messages, notes, calls, bookmarks, calendar), bit 3 the record
// layouts of iOS 9 instead of iOS 5, bit 4 the commit step, and bit 5 a
// second run through the stream reader, which must post exactly what the
// mapped reader posted.

#include "tests/fuzz/fuzzinput.h"

#include "backup/scancontext.h"
#include "backup/storednames.h"
#include "platform/notificationcenter.h"
#include "recovery/deletedrecordscanner.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cstdlib>

namespace {

const char *const kDatabases[] = {StoredNames::AddressBook, StoredNames::Sms,         StoredNames::NotesSqlite,
                                  StoredNames::CallHistoryDb, StoredNames::BookmarksDb, StoredNames::Calendar};

// The names of what one scan posted, in order.
QStringList scanOnce(int scanner, const QString &version, DeletedRecordScanner::Options options)
{
    NotificationCenter nc;
    ScanContext ctx(nc);
    ctx.IOSVersionIOS6(version);
    QStringList posted;
    int owner = 0;
    nc.addObserver(&owner, QString(), [&posted](const Notification &n) { posted << n.name; });
    DeletedRecordScanner::steps(options)[std::size_t(scanner)](ctx, FuzzInput::folder());
    nc.removeObserver(&owner);
    return posted;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const unsigned selector = data[0];
    const int scanner = int(selector & 7) % 6;
    const QString version = (selector & 8) ? QStringLiteral("9.3") : QStringLiteral("5.1");
    const bool commit = selector & 16;
    if (FuzzInput::put(QLatin1String(kDatabases[scanner]), FuzzInput::bytes(data + 1, size - 1)).isEmpty())
        return 0;

    const QStringList mapped = scanOnce(scanner, version, {DeletedRecordScanner::Reader::Mapped, commit});
    if (selector & 32) {
        const QStringList stream = scanOnce(scanner, version, {DeletedRecordScanner::Reader::Stream, commit});
        if (stream != mapped)
            std::abort();
    }
    return 0;
}
