#pragma once

#include "device/jobs/devicejob.h"
#include "maintenance/clean/prcleanresults.h"

#include <QImage>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>

namespace amd {
class AfcService;
}

// How a cleaner scan ended.
struct PRCleanScanReport
{
    bool finished = false;   // walked to its end; "CleanFilehasFinished" was posted
    bool deviceGone = false; // the phone left: the results were cleared
    bool cancelled = false;
    int apps = 0;            // user apps the phone listed
    int appsScanned = 0;     // of them, whose containers opened
    int appsRefused = 0;     // of them, whose containers the phone refused (house arrest)
    QStringList refusedApps; // their shown names (phone text: show as plain text)
    int unreadableFolders = 0; // listings that failed (read as empty)
    int skippedEntries = 0;  // links, other types, names that cannot be filed, beyond the caps
    bool capped = false;     // the walk met its depth or entry cap
    bool appListRefused = false; // the installation proxy did not open or list the apps
    bool mediaRefused = false;   // the media area's file service did not open
    // Neither an app's container nor the media area could be read: the
    // scan read nothing and did not finish.
    bool readNothing() const
    {
        return mediaRefused && (appListRefused || (apps > 0 && appsScanned == 0));
    }
    quint64 files = 0;       // what the results hold at the end
    quint64 bytes = 0;
    // The end in words: the refusals, a cap, the phone leaving.
    QString reason;
};
Q_DECLARE_METATYPE(PRCleanScanReport)

// The cleaner scan: as a device job of its phone, every user app's temporary ("/tmp"),
// cache ("/Library/Caches") and cookie ("/Library/Cookies") files through
// house arrest, then the failed-sync media ("/iTunes_Control/Sync" of the
// media area), handed to PRCleanResults in batches.
//
// GUI thread object; one scan at a time, never while a removal runs (the
// results' claim). The job never waits for the GUI thread: it hands over
// (a batch per app, or per kBatchEntries entries) as its progress, and the
// GUI thread files them in order. The notifications the application delegate
// observes are posted on the GUI thread right after the batch they count
// was filed, so what they say always matches the trees:
//   "CleanFileProgressInfo"              int percent: processed apps * 90 / apps, after each app
//   "AddCleanFileSizeThreadProgressInfo" QVariantList of three quint64: junk, cache, cookie bytes, after it
//   "CleanFilehasFinished"               quint64 total bytes, once, when the scan finished
// A scan that ends otherwise (the phone left, cancel, a phone that let
// nothing be read) posts no finish; it always emits scanEnded and leaves the
// page free for a new scan.
//
// Walks are iterative, at most kMaxDepth folders deep and kMaxEntries
// entries per scan; only folders and regular files are taken (links are
// neither followed nor counted). Phone texts (names, paths) are filed as
// they are; the models show them as plain text.
class PRCleanScan : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxDepth = 32;
    static constexpr int kMaxEntries = 4'000'000;
    static constexpr int kBatchEntries = 250;
    static constexpr qint64 kMaxIconBytes = 2 * 1024 * 1024;

    explicit PRCleanScan(PRCleanResults *results, QObject *parent = nullptr);
    // Cancels a running scan without waiting for it.
    ~PRCleanScan() override;

    // Clears the results, binds them to the phone and starts the scan.
    // False (nothing changes) while a scan or removal runs, or when no
    // phone has that id.
    bool showPhoneClean(int deviceId);
    bool isRunning() const { return m_running; }
    // Asks the job to stop; scanEnded follows.
    void cancel();
    // The id of the phone of the last scan (-1 before any).
    int cleanDevice() const { return m_cleanDevice; }

    // The name an app is shown by: its display name, else its bundle name,
    // else its bundle id.
    static QString shownAppName(const QVariantMap &attributes, const QString &bundleId);
    // The app's "/iTunesArtwork" read into memory (at most kMaxIconBytes),
    // scaled to 16 x 16; null when it is missing or no picture.
    static QImage getIPhoneAppIconwith(amd::AfcService &service);

Q_SIGNALS:
    void scanStarted(int deviceId);
    // After each app (percent of the apps, up to 90; 100 at the finish).
    void scanProgress(int percent);
    // A hand-over was filed: the totals the results now hold.
    void entriesFiled(quint64 files, quint64 bytes);
    void scanEnded(const PRCleanScanReport &report);

private:
    struct Worker;
    struct HandOver;

    void handOver(const std::shared_ptr<HandOver> &handOver);
    void finish(PRCleanScanReport report, const devjobs::JobError &error, quint64 generation);

    PRCleanResults *m_results;
    int m_cleanDevice = -1;
    bool m_running = false;
    devjobs::JobHandle m_job;
    devjobs::JobLane m_lane{this};
};
