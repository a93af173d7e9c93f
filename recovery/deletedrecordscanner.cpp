#include "recovery/deletedrecordscanner.h"

#include "backup/storednames.h"
#include "recovery/bookmarkscanner.h"
#include "recovery/calendarscanner.h"
#include "recovery/callhistoryscanner.h"
#include "recovery/contactscanner.h"
#include "recovery/messagescanner.h"
#include "recovery/notescanner.h"
#include "recovery/pagesource.h"
#include "platform/regularfile.h"

#include <QDebug>

namespace DeletedRecordScanner {

namespace {

// The call database of the home domain, the second place it is found.
constexpr char kCallHistoryHome[] = "ff1324e6b949111b2fb449ecddb50c89c3699a78";

// The first of the stored names that exists in the backup's layout.
QString findDatabase(const ScanContext &ctx, const QString &folder, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        const QString path = ctx.storedPath(folder, name);
        if (RegularFile::isRegular(path))
            return path;
    }
    return {};
}

template<template<typename> class Scanner>
void runWith(ScanContext &ctx, const QString &path, Options options)
{
    if (options.reader == Reader::Mapped)
        Scanner<MappedSource>(ctx).run(path, options.commit);
    else
        Scanner<StreamSource>(ctx).run(path, options.commit);
}

template<template<typename> class Scanner>
void scan(ScanContext &ctx, const QString &folder, Options options, std::initializer_list<const char *> names,
          const char *missing)
{
    if (!ScanContext::folderUsable(folder))
        return;
    const QString path = findDatabase(ctx, folder, names);
    if (path.isEmpty()) {
        if (missing)
            qInfo("%s", missing);
        return;
    }
    runWith<Scanner>(ctx, path, options);
}

} // namespace

void scanDelContactThread(ScanContext &ctx, const QString &folder, Options options)
{
    scan<ContactScanner>(ctx, folder, options, {StoredNames::AddressBook}, "contactDB is not exist");
}

void scanDelMessageThread(ScanContext &ctx, const QString &folder, Options options)
{
    scan<MessageScanner>(ctx, folder, options, {StoredNames::Sms}, "messageDB is not exist");
}

void scanDelNoteThread(ScanContext &ctx, const QString &folder, Options options)
{
    scan<NoteScanner>(ctx, folder, options, {StoredNames::NotesSqlite, StoredNames::NotesDb}, "NoteDB is not exist");
}

void scanDelCallHistoryThread(ScanContext &ctx, const QString &folder, Options options)
{
    scan<CallHistoryScanner>(ctx, folder, options, {StoredNames::CallHistoryDb, kCallHistoryHome},
                             "messageDB is not exist");
}

void ScanDelBookMarkThread(ScanContext &ctx, const QString &folder, Options options)
{
    scan<BookmarkScanner>(ctx, folder, options, {StoredNames::BookmarksDb, StoredNames::BookmarksPlist}, nullptr);
}

void ScanDelCalenderThread(ScanContext &ctx, const QString &folder, Options options)
{
    scan<CalendarScanner>(ctx, folder, options, {StoredNames::Calendar}, "CalenderDB is not exist");
}

std::vector<BackupScanner::Step> steps(Options options)
{
    using Fn = void (*)(ScanContext &, const QString &, Options);
    std::vector<BackupScanner::Step> out;
    for (Fn fn : {Fn(scanDelContactThread), Fn(scanDelMessageThread), Fn(scanDelNoteThread),
                  Fn(scanDelCallHistoryThread), Fn(ScanDelBookMarkThread), Fn(ScanDelCalenderThread)})
        out.push_back([fn, options](ScanContext &ctx, const QString &folder) { fn(ctx, folder, options); });
    return out;
}

} // namespace DeletedRecordScanner
