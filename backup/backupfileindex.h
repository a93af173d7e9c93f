#pragma once

#include "backup/recorddatabase.h"
#include "backup/scancontext.h"
#include "platform/regularfile.h"

#include <QHash>
#include <QString>

#include <cstdio>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// The first step of a scan: reads a backup's file index (Manifest.db or
// Manifest.mbdb), announces every entry, and turns the entries of the media
// and social-app domains into photo, video, audio and social-file records.
class BackupFileIndex
{
public:
    explicit BackupFileIndex(ScanContext &context);

    // The index step of a backup scan.
    void scanDirAnalyThread(const QString &backupFolder);
    // The same step for the transfer page: also counts the notes group as a
    // media domain and appends every media entry to transferFileArray, which
    // it empties first.
    void scanTransferDirAnalyThread(const QString &backupFolder, NodeList<PRTreeDirNode> &transferFileArray);

    // Classifies one media-domain entry and posts its records.
    void GetMediaFileByNode(const std::shared_ptr<PRTreeDirNode> &node);

    // Position of an extension (no dot, any case) in the image, video or
    // audio table, or -1.
    static int GetImageType(const char *extension);
    static int GetViedoType(const char *extension);
    static int GetAudioType(const char *extension);

    static bool isMediaDomain(const QString &domain);
    static bool isSocialDomain(const QString &domain);
    // The extension of a path's last component ("" when it has none).
    static QString pathExtension(const QString &path);

    // The stored path of the first notes-group entry of transferFileArray
    // whose path contains identifier (any case) and whose file exists.
    static QString getNoteThumFileKeyBytheFilepath(const NodeList<PRTreeDirNode> &transferFileArray,
                                                   const QString &identifier);

    // A plain-folder media scan: posts "ScanPhotoAndVideoInfo" with the path
    // of every entry of at least 50,000 bytes, and 29 progress steps.
    void scanPhotoAndVideoThread(const QString &folder);

    // Manifest.mbdb string primitives over a C stream: 0 on success, -1 for
    // a null argument or an absent or empty string. Buffers are 260 bytes;
    // strings longer than 259 bytes are cut there (the stream still moves
    // past them). The index step reads whole strings through MbdbReader.
    static int getS(std::FILE *file, char *buffer260);
    static int seekData(std::FILE *file);
    static int stringReset(char *a260, char *b260);
    static int toHex(char *buffer260, const unsigned char *bytes, int count);
    static int getD(std::FILE *file, char *buffer519, const void *unused);

private:
    void readManifestDb(const QString &folder);
    void readManifestMbdb(const QString &folder);
    struct Run;
    // The entries are read on a thread of their own while this thread
    // announces them: read() calls handleEntry() for each, which gathers
    // them in runs; each run has the stored sizes of its media entries asked
    // on other threads, then it is announced here, in order.
    void readAndAnnounce(const std::function<void()> &read);
    void handleEntry(const std::shared_ptr<PRTreeDirNode> &node, int progress);
    void startRun();
    void announce(Run &run);
    void mediaRecords(const std::shared_ptr<PRTreeDirNode> &node, std::optional<qint64> storedSize);

    // Domains repeat on every row: one shared copy of each keeps half a
    // million index entries from holding as many copies of a few names.
    QString internDomain(const QString &domain);
    // The domain of an index row, interned.
    QString domainOf(const Statement &rows);

    ScanContext &m_ctx;
    SHAH m_digest;
    QHash<QString, QString> m_domains;
    QHash<QByteArray, QString> m_domainsByBytes;
    NodeList<PRTreeDirNode> *m_transferFiles = nullptr;
    // The backup folder being read, opened once for the sizes of its files.
    std::unique_ptr<RegularFile::StoredFolder> m_stored;
    struct Pending
    {
        std::shared_ptr<PRTreeDirNode> node;
        int progress = 0;
        bool media = false;
    };
    struct Run
    {
        std::vector<Pending> entries;
        // The sizes of its media entries, in their order.
        std::future<std::vector<std::optional<qint64>>> sizes;
    };
    static constexpr std::size_t kRunEntries = 8192;
    // Runs read ahead of the one being announced, at most.
    static constexpr std::size_t kRunsAhead = 3;
    std::vector<Pending> m_filling;
    std::mutex m_runsMutex;
    std::condition_variable m_runsChanged;
    std::deque<Run> m_runs;
};
