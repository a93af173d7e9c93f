#pragma once

#include "backup/scancontext.h"

#include <optional>

class RecordDatabase;

// The note step: notes from NoteStore.sqlite (gzip-compressed bodies) or
// from the older notes.sqlite / notes.db (HTML bodies).
class NoteExtractor
{
public:
    explicit NoteExtractor(ScanContext &context);

    // Posts "ScanNoteInfo" per note, then progress 70.
    void scanNoteThread(const QString &backupFolder);
    // Posts "ScanTransferNoteInfo" per note, then "ScanTransferNoteFinished"
    // with 70.
    void scanTransferNoteThread(const QString &backupFolder);

    // The text of body row k of ZICNOTEDATA: a single space when it cannot
    // be cut out of the inflated body, nothing when there is no such row or
    // the body does not inflate.
    static std::optional<QString> ReadNoteContentFromBDatawithSQlite(const RecordDatabase &db, int k);
    // The text cut out of an inflated body.
    static QString bodyText(const QByteArray &inflated);
    // A gzip stream inflated in memory; nothing when it is not one, or when
    // it grows past maxBytes.
    static std::optional<QByteArray> gunzip(const QByteArray &compressed, qsizetype maxBytes = kMaxBodyBytes);
    // An older note's HTML body as plain text.
    static QString plainBody(const QString &html);

    static constexpr qsizetype kMaxBodyBytes = 64 * 1024 * 1024;

private:
    bool run(const QString &folder, const QString &postName);
    void readNoteStore(const QString &path, const QString &postName);
    void readOlder(const QString &path, const QString &postName);

    ScanContext &m_ctx;
};
