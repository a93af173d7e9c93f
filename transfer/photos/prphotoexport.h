#pragma once

#include "device/jobs/devicejob.h"
#include "filesafety/writereport.h"
#include "transfer/photos/prphotoitem.h"

#include <QMetaType>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class PhotoLibraryLoad;

// What an export did, item by item (failed names hold no format characters).
struct PhotoExportReport : WriteReport
{
    QString folder;
};
Q_DECLARE_METATYPE(PhotoExportReport)

// ExportSelectedPhotoToMacThread / ExportAllPhotoToMacThread: the given
// items of one load into the folder the user chose (made when missing), as
// one device job. Each file takes the phone's name made safe; a name already
// there gives "IMG_0001 2.JPG", so nothing is ever replaced, two items of
// one name both arrive, and nothing is written outside the folder. The
// local copy is used when the item has one, else the file is fetched from
// the load's phone. When that phone leaves, the export stops and says so.
class PhotoExportRun
{
public:
    using Progress = std::function<void(int finishedItems, int total)>;

    PhotoExportRun(std::shared_ptr<PhotoLibraryLoad> load, PRPhotoItemList items, QString exportPath);
    PhotoExportRun(const PhotoExportRun &) = delete;
    PhotoExportRun &operator=(const PhotoExportRun &) = delete;

    // Called on the run's thread after each item.
    void setProgress(Progress progress) { m_progress = std::move(progress); }

    // Every item in turn, as a job of the load's phone: the job's cancel
    // stops it before the next item (and inside a long copy), the phone's
    // departure too, and the report says which.
    PhotoExportReport run(devjobs::JobControl &job);
    int deviceId() const;

    // The file name an item gets in the folder before a counter is added:
    // the phone's name made safe, never hidden, or "Photo <n>" with the
    // copy's extension when nothing of it is left.
    static QString exportName(const PRPhotoItem &item);
    // No file of a phone is longer: a phone that never stops sending is cut off.
    static constexpr qint64 kMaxFileBytes = qint64(1) << 40;

private:
    class Device;
    bool exportItem(const PRPhotoItem &item, Device &device, QString *why);

    std::shared_ptr<PhotoLibraryLoad> m_load;
    PRPhotoItemList m_items;
    QString m_exportPath;
    Progress m_progress;
    std::shared_ptr<std::atomic<bool>> m_cancelled = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> m_deviceLeft = std::make_shared<std::atomic<bool>>(false);
    PhotoExportReport m_report; // the run's thread only
};
