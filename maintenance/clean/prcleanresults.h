#pragma once

#include "device/jobs/devicejob.h"
#include "maintenance/clean/prcleanfileref.h"
#include "maintenance/clean/prcleanrequest.h"
#include "maintenance/clean/prcleansyncfailedmodel.h"
#include "pathtree/pathentrybatch.h"
#include "pathtree/prapptreecontroller.h"
#include "platform/notificationcenter.h"

#include <QModelIndexList>
#include <QObject>

#include <memory>
#include <optional>

// What one hand-over of the scan brings to the GUI thread: entries for the
// three trees (PRPathTreeMember::Cleaner batches whose entries carry
// fileBytes) and failed-sync files.
struct PRCleanScanBatch
{
    quint64 generation = 0;
    PRPathEntryBatch junk{PRPathTreeMember::Cleaner, {}, 0};
    PRPathEntryBatch cache{PRPathTreeMember::Cleaner, {}, 0};
    PRPathEntryBatch cookie{PRPathTreeMember::Cleaner, {}, 0};
    PRCleanFileRefs syncFailed;

    bool isEmpty() const
    {
        return junk.entries.isEmpty() && cache.entries.isEmpty() && cookie.entries.isEmpty() && syncFailed.isEmpty();
    }
};

// What a removal report changed in the results.
struct PRCleanApplied
{
    int rows = 0;       // rows dropped (removed or already gone)
    quint64 bytes = 0;  // bytes the totals went down by (removed files only)
    quint64 junkBytes = 0, cacheBytes = 0, cookieBytes = 0, syncFailedBytes = 0;
};

// What the cleaner found on one phone: the three trees, the failed-sync
// list and exact byte totals, bound to that phone (its id and UDID). Lives on
// the GUI thread as long as the page.
//
// Binding. A scan starts by clearing the results and binding them to its
// phone (beginScan, then bindDevice once the worker read the UDID). When that
// phone leaves (the device jobs' registry tells a watch of it, or
// deviceLeft() is called) the results are cleared: nothing found on one phone is ever removed from
// another. Every request carries the bound device, and a report is applied
// only to the results of its own device.
//
// Totals. Byte counts are kept on the nodes (PRCleanFileNode::fileBytes) and
// in 64-bit totals that move by exact counts: up when the scan files
// entries, down by the bytes of files the phone really removed, never below
// 0. Rows of files already gone from the phone are dropped without bytes.
//
// Busy. One device operation of the cleaner at a time: a scan or a removal
// (claim/release); the page disables its actions while isBusy().
//
// Snapshots. The requestFor... functions resolve rows the user chose through
// the view's own model (sorting or filtering proxies are mapped to the
// source) into plain PRCleanFileRefs, on the GUI thread, at the moment of the
// choice; the worker never sees a node.
class PRCleanResults : public QObject
{
    Q_OBJECT

public:
    using Kind = PRCleanFileRef::Kind;
    enum class Activity { Idle, Scanning, Removing };

    explicit PRCleanResults(QObject *parent = nullptr);
    ~PRCleanResults() override;

    // The trees of the three app kinds (outline models; their file tables are
    // PRPathFileTableModels on them) and the failed-sync list.
    PRAppTreeController *JunkTreeController() const { return m_junk; }
    PRAppTreeController *CacheTreeController() const { return m_cache; }
    PRAppTreeController *CookTreeController() const { return m_cookie; }
    PRCleanSyncFailedModel *syncFailedController() const { return m_syncFailed; }
    // The tree of a kind; null for SyncFailed.
    PRAppTreeController *treeController(Kind kind) const;

    // Totals (exact byte counts).
    quint64 totalFileNumber() const { return m_files[0] + m_files[1] + m_files[2] + m_files[3]; }
    quint64 totalFileSize() const;
    quint64 junkFileSize() const { return m_bytes[int(Kind::Junk)]; }
    quint64 cacheFileSize() const { return m_bytes[int(Kind::Cache)]; }
    quint64 cookieFileSize() const { return m_bytes[int(Kind::Cookie)]; }
    quint64 syncFailedFileSize() const { return m_bytes[int(Kind::SyncFailed)]; }
    quint64 fileNumber(Kind kind) const { return m_files[int(kind)]; }
    quint64 fileSize(Kind kind) const { return m_bytes[int(kind)]; }
    quint64 GetCleanTaotalFileSize() const { return totalFileSize(); }
    quint64 GetCleanTaotalFileNumber() const { return totalFileNumber(); }

    // The phone the results belong to (invalid when cleared; a scan that
    // has not read the UDID yet has the id only).
    const PRCleanDevice &cleanDevice() const { return m_device; }
    // Bumped by every clear: hand-overs of an older scan are dropped.
    quint64 generation() const { return m_generation; }

    // Empties trees, list and totals and unbinds the phone.
    void clear();
    // clear(), then binds the id of the phone a scan starts on; the new
    // generation.
    quint64 beginScan(int deviceId);
    // The scan read the phone's identity; false (nothing bound) for another
    // generation or id.
    bool bindDevice(const PRCleanDevice &device, quint64 generation);
    // Files a hand-over of the scan; false when it belongs to an older
    // generation (dropped).
    bool fileScanBatch(const PRCleanScanBatch &batch);

    Activity activity() const { return m_activity; }
    bool isBusy() const { return m_activity != Activity::Idle; }
    // False when another operation runs.
    bool claim(Activity activity);
    void release(Activity activity);

    // -- Snapshots (GUI thread, at the moment of the choice) -------------------
    // File rows: indexes of a kind's file table (a PRPathFileTableModel on
    // one of the trees) or of the failed-sync list, through any proxies.
    // Several cells of one row count once.
    PRCleanRemovalRequest requestForFiles(const QModelIndexList &indexes) const;
    // Every file row under an outline folder (the folder and all below it),
    // each with its own path and app. index: an index of one of the three
    // trees, through any proxies.
    PRCleanRemovalRequest requestForFolder(const QModelIndex &outlineIndex) const;
    // Every file of a kind (SyncFailed: all failed-sync media).
    PRCleanRemovalRequest requestForKind(Kind kind) const;
    // Everything, in the fix's order: temporary, cache, cookie, failed-sync.
    PRCleanRemovalRequest requestForAll() const;

    // The file node behind an index of a file table or the failed-sync
    // list (through proxies), or null.
    static PRPathFileNode *fileNodeAt(const QModelIndex &index);
    // Every file row under folder, iteratively.
    static QList<PRPathFileNode *> fileRowsUnder(const PRPathDirNode *folder);

    // Drops the rows the phone removed or no longer has, and moves the
    // totals by the removed bytes only. Ignored (empty result) when the
    // report is of another phone than the one bound.
    PRCleanApplied applyRemovalReport(const PRCleanRemovalReport &report);

public Q_SLOTS:
    // The phone with that id left: clears the results bound to it.
    void deviceLeft(int deviceId);

Q_SIGNALS:
    // Any total changed (filing, removal, clear).
    void totalsChanged();
    void cleared();
    void deviceBound(const PRCleanDevice &device);
    // The phone the results were bound to left and they were cleared.
    void deviceGone(int deviceId);

private:
    PRCleanFileRef refOfRow(Kind kind, const PRPathFileNode &row) const;
    // The kind of the tree holding this row or folder, or nothing.
    std::optional<Kind> kindOfModel(const QAbstractItemModel *model) const;
    PRCleanRemovalRequest request(PRCleanRemovalRequest::Scope scope) const;
    void appendKind(Kind kind, PRCleanFileRefs &out) const;

    PRAppTreeController *m_junk = nullptr;
    PRAppTreeController *m_cache = nullptr;
    PRAppTreeController *m_cookie = nullptr;
    PRCleanSyncFailedModel *m_syncFailed = nullptr;

    PRCleanDevice m_device;
    quint64 m_generation = 0;
    quint64 m_files[4] = {0, 0, 0, 0};
    quint64 m_bytes[4] = {0, 0, 0, 0};
    Activity m_activity = Activity::Idle;

    // Hears the bound phone's departure; a clear ends it.
    devjobs::JobHandle m_watch;
    // The watch, and the jobs that free the nodes of a cleared scan off the
    // GUI thread.
    devjobs::JobLane m_lane{this};
};

Q_DECLARE_METATYPE(PRCleanDevice)
