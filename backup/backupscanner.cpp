#include "backup/backupscanner.h"

#include "backup/backupfileindex.h"
#include "backup/bookmarkextractor.h"
#include "backup/calendarextractor.h"
#include "backup/callhistoryextractor.h"
#include "backup/contactextractor.h"
#include "backup/messageextractor.h"
#include "backup/noteextractor.h"

BackupScanner::BackupScanner(NotificationCenter &center)
    : m_nc(center)
{
}

BackupScanner::~BackupScanner()
{
    cancel();
}

void BackupScanner::setDeletedRecordSteps(std::vector<Step> steps)
{
    m_deletedSteps = std::move(steps);
}

void BackupScanner::setFinishListener(ScanFinishListener *listener)
{
    m_listener = listener;
}

bool BackupScanner::ScanIOSBackFile(const QString &folder, const QString &iosVersion)
{
    std::lock_guard lock(m_mutex);
    if (m_active.load())
        return false;
    if (m_thread.joinable())
        m_thread.join();
    auto context = std::make_shared<ScanContext>(m_nc);
    context->IOSVersionIOS6(iosVersion);
    m_running = context;
    m_active = true;
    m_thread = std::thread([this, context, folder] {
        ScanIOSBackUpFilehand(*context, folder);
        m_active = false;
    });
    return true;
}

void BackupScanner::ScanIOSBackUpFilehand(ScanContext &context, const QString &folder)
{
    // The first lookup of a scan hands over an empty photo, not none.
    context.messageContactData = QByteArray("", 0);

    BackupFileIndex(context).scanDirAnalyThread(folder);
    ContactExtractor(context).scanContactThread(folder);
    MessageExtractor(context).scanMessageThread(folder);
    NoteExtractor(context).scanNoteThread(folder);
    CallHistoryExtractor(context).scanCallHistoryThread(folder);
    BookmarkExtractor(context).scanBookMarkThread(folder);
    CalendarExtractor(context).scanCalenderThread(folder);
    for (const Step &step : m_deletedSteps) {
        if (context.cancelled.load())
            break;
        step(context, folder);
    }
    if (m_listener)
        m_listener->ScanThreadFinish();
    context.removeSomeArray();
}

bool BackupScanner::isRunning() const
{
    return m_active.load();
}

void BackupScanner::cancel()
{
    requestCancel();
    wait();
}

void BackupScanner::requestCancel()
{
    std::lock_guard lock(m_mutex);
    if (m_running)
        m_running->cancelled = true;
}

void BackupScanner::wait()
{
    std::lock_guard lock(m_mutex);
    if (m_thread.joinable())
        m_thread.join();
    m_running.reset();
}
