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

void scanDelContactThread(ScanContext &context, const QString &backupFolder, Reader reader = Reader::Mapped);
void scanDelMessageThread(ScanContext &context, const QString &backupFolder, Reader reader = Reader::Mapped);
void scanDelNoteThread(ScanContext &context, const QString &backupFolder, Reader reader = Reader::Mapped);
void scanDelCallHistoryThread(ScanContext &context, const QString &backupFolder, Reader reader = Reader::Mapped);
void ScanDelBookMarkThread(ScanContext &context, const QString &backupFolder, Reader reader = Reader::Mapped);
void ScanDelCalenderThread(ScanContext &context, const QString &backupFolder, Reader reader = Reader::Mapped);

std::vector<BackupScanner::Step> steps(Reader reader = Reader::Mapped);

} // namespace DeletedRecordScanner
