#pragma once

#include "backup/backupscanner.h"

#include <vector>

// The six deleted-record scanners as scan steps, in the order the scan runs
// them: contacts, messages, notes, calls, bookmarks, calendar. Each reads
// its database raw, page by page, and posts what it carves.
namespace DeletedRecordScanner {

enum class Reader {
    Mapped,  // the file mapped once, answered from memory
    Stream   // a positioned read per question: the reference
};

struct Options
{
    Reader reader = Reader::Mapped;
    // The commit step leaves every readable database in write-ahead-log
    // mode; without it a rollback-journal file keeps its own header, which
    // is how its older record layouts are reached in tests.
    bool commit = true;
};

void scanDelContactThread(ScanContext &context, const QString &backupFolder, Options options = {});
void scanDelMessageThread(ScanContext &context, const QString &backupFolder, Options options = {});
void scanDelNoteThread(ScanContext &context, const QString &backupFolder, Options options = {});
void scanDelCallHistoryThread(ScanContext &context, const QString &backupFolder, Options options = {});
void ScanDelBookMarkThread(ScanContext &context, const QString &backupFolder, Options options = {});
void ScanDelCalenderThread(ScanContext &context, const QString &backupFolder, Options options = {});

std::vector<BackupScanner::Step> steps(Options options = {});

} // namespace DeletedRecordScanner
