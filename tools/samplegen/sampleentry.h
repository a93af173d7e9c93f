#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace samplegen {

enum class EntryKind { File, Directory, Symlink };

// File-system facts an index records for an entry. Zero (or -1 for the
// protection class) means "pick the usual value for the kind": the writer
// fills them in, so producers only set what a test cares about.
struct EntryAttributes
{
    quint16 mode = 0;            // type bits included, e.g. 0100644
    quint32 userId = 501;        // "mobile"
    quint32 groupId = 501;
    qint64 birth = 0;            // Unix seconds
    qint64 modified = 0;
    qint64 statusChanged = 0;
    int protectionClass = -1;
    // Extended attributes; only Manifest.mbdb has a place for them.
    QList<QPair<QByteArray, QByteArray>> properties;
};

// What a content producer hands to the backup: one file, directory or
// symbolic link of a domain.
struct SampleEntry
{
    QString domain;
    QString relativePath;        // empty only for a domain's root directory
    EntryKind kind = EntryKind::File;
    QByteArray content;          // files only
    QString linkTarget;          // symlinks only
    // False indexes the file but leaves its stored copy out, the way an
    // interrupted backup does.
    bool writeStoredFile = true;
    // Appended to the stored name: some databases are kept under a second
    // stored form, their name followed by ".mddata".
    QString storedNameSuffix;
    EntryAttributes attributes;

    static SampleEntry file(const QString &domain, const QString &path, const QByteArray &content);
    static SampleEntry directory(const QString &domain, const QString &path);
    static SampleEntry symlink(const QString &domain, const QString &path, const QString &target);
};

// An entry as it went into the index, with every derived value resolved.
struct WrittenEntry
{
    QString domain;
    QString relativePath;
    EntryKind kind = EntryKind::File;
    QString linkTarget;
    EntryAttributes attributes;  // no defaults left
    quint64 inode = 0;
    qint64 size = 0;             // the plain content size
    QByteArray digest;           // SHA-1 of the stored bytes; files only
    QByteArray encryptionKey;    // 44 bytes in encrypted backups; files only
    QString storedName;          // SHA-1 hex of "domain-relativePath", and the suffix
    QString storedPath;          // where a file's copy is (or would be)
    bool storedFileWritten = false;
    qint64 storedSize = 0;       // bytes on disk; 0 when not written
};

} // namespace samplegen
