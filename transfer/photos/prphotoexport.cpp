#include "transfer/photos/prphotoexport.h"

#include "device/amd/afcservice.h"
#include "filesafety/exportpaths.h"
#include "transfer/photos/prphotolibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

// The phone's file service, opened only when an item without a local copy
// needs it: an export of copies alone never waits on the phone.
class PhotoExportRun::Device
{
public:
    explicit Device(std::shared_ptr<PhotoLibraryLoad> load)
        : m_load(std::move(load))
    {
    }
    amd::AfcService *service()
    {
        if (!m_tried) {
            m_tried = true;
            if (m_load && m_afc.open(m_load->deviceId()).ok())
                m_open = true;
        }
        return m_open ? &m_afc : nullptr;
    }

private:
    std::shared_ptr<PhotoLibraryLoad> m_load;
    amd::AfcService m_afc;
    bool m_tried = false;
    bool m_open = false;
};

namespace {

// An item's name as a line of a report: no format or control characters.
QString shown(const PRPhotoItem &item)
{
    QString name = PRExportPaths::withoutFormatCharacters(item.fileName);
    for (QChar &c : name)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    return name.left(200);
}

} // namespace

PhotoExportRun::PhotoExportRun(std::shared_ptr<PhotoLibraryLoad> load, PRPhotoItemList items, QString exportPath)
    : m_load(std::move(load))
    , m_items(std::move(items))
    , m_exportPath(std::move(exportPath))
{
    m_report.folder = m_exportPath;
    m_report.total = int(m_items.size());
}

int PhotoExportRun::deviceId() const
{
    return m_load ? m_load->deviceId() : -1;
}

QString PhotoExportRun::exportName(const PRPhotoItem &item)
{
    const QString extension = PhotoLibraryLoad::extensionOf(item.fileName);
    const QString fallback = QStringLiteral("Photo %1").arg(item.index + 1)
                             + (extension.isEmpty() ? QString() : QLatin1Char('.') + extension);
    QString name = PRExportPaths::safeComponent(item.fileName, fallback);
    // A leading dot would hide the file among the exported ones.
    qsizetype dots = 0;
    while (dots < name.size() && name.at(dots) == QLatin1Char('.'))
        ++dots;
    name = name.mid(dots).trimmed();
    return name.isEmpty() ? fallback : name;
}

bool PhotoExportRun::exportItem(const PRPhotoItem &item, Device &device, QString *why)
{
    const QString target = m_exportPath + QLatin1Char('/') + exportName(item);
    if (!PRExportPaths::isInside(m_exportPath, target)) {
        *why = QStringLiteral("the name leads outside the export folder");
        return false;
    }
    const QString claimed = PRExportPaths::claimNewFile(target);
    if (claimed.isEmpty() || !PRExportPaths::isInside(m_exportPath, claimed)) {
        if (!claimed.isEmpty())
            QFile::remove(claimed);
        *why = QStringLiteral("the file could not be made");
        return false;
    }
    bool ok = false;
    if (item.bhasCopy) {
        ok = PRExportPaths::fillClaimedFileFrom(claimed, item.hasCopy);
        if (!ok)
            *why = QStringLiteral("the copy failed");
    } else if (amd::AfcService *afc = device.service()) {
        // The whole file, copied only now that the user asked for it, and
        // only when the folder's disk has room for it.
        const auto info = afc->fileInfo(item.devicePath);
        const qint64 size = info ? PhotoLibraryLoad::sizeOf(*info) : -1;
        if (size >= 0 && !PhotoLibraryLoad::hasRoomFor(m_exportPath, size)) {
            *why = QStringLiteral("there is not enough free space for it");
        } else {
            // Lands under a temporary name beside the claim and is renamed
            // over it: the claim is the only file it replaces.
            switch (PhotoLibraryLoad::copyFromPhone(*afc, item.devicePath, claimed, kMaxFileBytes, *m_cancelled)) {
            case PhotoLibraryLoad::CopyResult::Copied: ok = true; break;
            case PhotoLibraryLoad::CopyResult::Cancelled: *why = QStringLiteral("the export was stopped"); break;
            case PhotoLibraryLoad::CopyResult::TooLarge:
            case PhotoLibraryLoad::CopyResult::Failed: *why = QStringLiteral("the phone did not give the file"); break;
            }
        }
    } else {
        *why = QStringLiteral("the phone's files could not be reached");
    }
    if (!ok) {
        QFile::remove(claimed);
        return false;
    }
    m_report.written.append(claimed);
    return true;
}

PhotoExportReport PhotoExportRun::run(devjobs::JobControl &job)
{
    job.onCancel([cancelled = m_cancelled, left = m_deviceLeft](devjobs::JobError::Kind why) {
        // The departure stops the run; a copy under way ends on the phone's
        // own failure, so that what arrived is counted.
        if (why == devjobs::JobError::Kind::PhoneGone)
            *left = true;
        else
            *cancelled = true;
    });
    Device device(m_load);
    // The folder as the user chose it.
    const bool folder = !m_exportPath.isEmpty() && QDir().mkpath(m_exportPath) && QFileInfo(m_exportPath).isDir();
    int finished = 0;
    for (const PRPhotoItemPtr &item : std::as_const(m_items)) {
        if (*m_cancelled || *m_deviceLeft) {
            m_report.cancelled = *m_cancelled && !*m_deviceLeft;
            m_report.deviceGone = *m_deviceLeft;
            break;
        }
        if (!item)
            continue;
        QString why = QStringLiteral("the export folder could not be made");
        const bool ok = folder && exportItem(*item, device, &why);
        if (!ok) {
            m_report.failed.append(shown(*item) + QStringLiteral(": ") + why);
            // A download that failed because the phone left ends the export.
            if (!item->bhasCopy && *m_deviceLeft) {
                m_report.deviceGone = true;
                break;
            }
        }
        ++finished;
        if (m_progress)
            m_progress(finished, int(m_items.size()));
    }
    return m_report;
}
