#pragma once

// Database files built to be the worst case of the carvers' searches.
//
// Every page after the header is a table leaf whose first cell (at 0x0101)
// passes its kind's page test, and no page holds a zero byte: a search for
// the nearest zero byte (or 0x03) from any position runs back to the header
// or on to the end of the file. The pages repeat the kind's own record
// signature, so nearly every position of every page is a hit that searches.
// A carver that walks byte by byte to the nearest zero takes time that grows
// with the square of the file; one that looks it up takes linear time.
//
// The bookmark file is the one first reported: every byte 0x01 but the
// header, and on each page the type byte 0x0d, the first cell pointer 0x0101
// and 0x14 three bytes after that cell, placed as the Bookmarks.db of an
// iOS 5.1 backup.

#include "backup/scancontext.h"
#include "recovery/deletedrecordscanner.h"

#include <QString>

#include <vector>

namespace ZeroFreePages {

constexpr int kPageSize = 4096;
constexpr int kFirstCell = 0x0101;

// Each writes a file of size bytes (a whole number of pages) at path.
bool writeZeroFreeBookmarkPages(const QString &path, qint64 size);
bool writeZeroFreeCallPages(const QString &path, qint64 size);
bool writeZeroFreeContactPages(const QString &path, qint64 size);
bool writeZeroFreeMessagePages(const QString &path, qint64 size);
bool writeZeroFreeNotePages(const QString &path, qint64 size);
bool writeZeroFreeCalendarPages(const QString &path, qint64 size);

using StepFn = void (*)(ScanContext &, const QString &, DeletedRecordScanner::Options);

// One kind: its file, where the scan looks for it, the generation whose
// record layout the file aims at, and the scan step that reads it.
struct Kind
{
    const char *name;
    bool (*write)(const QString &path, qint64 size);
    const char *storedName;
    const char *version;
    StepFn step;
    QString posts; // the notification of a carved record
};

const std::vector<Kind> &kinds();

} // namespace ZeroFreePages
