#pragma once

#include "transfer/photos/prphotoitem.h"

#include <QMetaType>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class PhotoLibraryLoad;

// What an export did, item by item.
struct PhotoExportReport
{
    QString folder;
    int total = 0;
    QStringList written; // files written, in item order
    QStringList failed;  // "name: why", names without format characters
    bool cancelled = false;
    bool deviceGone = false;
};
Q_DECLARE_METATYPE(PhotoExportReport)

// ExportSelectedPhotoToMacThread / ExportAllPhotoToMacThread: the given
// items of one load into the folder the user chose (made when missing), on
// one worker. Each file takes the phone's name made safe; a name already
// there gives "IMG_0001 2.JPG", so nothing is ever replaced, two items of
// one name both arrive, and nothing is written outside the folder. The
// local copy is used when the item has one, else the file is fetched from
// the load's phone. When that phone leaves, the export stops and says so.
class PhotoExportRun
{
public:
    using Progress = std::function<void(int finishedItems, int total)>;
    using Finished = std::function<void(const PhotoExportReport &report)>;

    PhotoExportRun(std::shared_ptr<PhotoLibraryLoad> load, PRPhotoItemList items, QString exportPath);
    ~PhotoExportRun();
    PhotoExportRun(const PhotoExportRun &) = delete;
    PhotoExportRun &operator=(const PhotoExportRun &) = delete;

    // Called on the worker; set before start.
    void setProgress(Progress progress) { m_progress = std::move(progress); }
    void setFinished(Finished finished) { m_finished = std::move(finished); }

    // Starts the worker (once).
    void start();
    // Joins the worker; the report is complete after it.
    void wait();
    void cancel() { m_cancelled = true; }
    void deviceRemoved(int deviceId);
    int deviceId() const;
    PhotoExportReport report() const;

    // The file name an item gets in the folder before a counter is added:
    // the phone's name made safe, never hidden, or "Photo <n>" with the
    // copy's extension when nothing of it is left.
    static QString exportName(const PRPhotoItem &item);
    // No file of a phone is longer: a phone that never stops sending is cut off.
    static constexpr qint64 kMaxFileBytes = qint64(1) << 40;

private:
    class Device;
    void run();
    bool exportItem(const PRPhotoItem &item, Device &device, QString *why);

    std::shared_ptr<PhotoLibraryLoad> m_load;
    PRPhotoItemList m_items;
    QString m_exportPath;
    Progress m_progress;
    Finished m_finished;
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_deviceLeft{false};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    PhotoExportReport m_report;
};
