#pragma once

#include "recovery/scannerbase.h"

// Carves note rows (uid, date, title) and body rows (uid, text) out of the
// older notes database, joins them by uid and posts one note per body as
// "ScanDelNoteInfo"; then progress 85.
template<typename Source>
class NoteScanner
{
public:
    explicit NoteScanner(ScanContext &context) : m_ctx(context) {}
    void run(const QString &databasePath, bool commit = true);

private:
    void notesWal(const RawDatabase<Source> &db, std::uint64_t P);
    void notesOlder(const RawDatabase<Source> &db, std::uint64_t P);
    void bodies(const RawDatabase<Source> &db, std::uint64_t P);
    void joinAndPost();

    ScanContext &m_ctx;
    ScannerSupport::DateMemo m_dates;
};
