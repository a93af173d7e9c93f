#include "backup/backupscanner.h"

#include "backup/backupfileindex.h"
#include "backup/bookmarkextractor.h"
#include "backup/calendarextractor.h"
#include "backup/callhistoryextractor.h"
#include "backup/contactextractor.h"
#include "backup/messageextractor.h"
#include "backup/noteextractor.h"
#include "backup/queryinterrupt.h"

#include <chrono>
#include <malloc.h>

namespace {

// A scan makes its records in small pieces by the hundred thousand, on two
// threads at once. Growing the heap in large steps keeps those threads from
// queueing on the address-space lock that every small growth takes (a third
// of the index reader's time otherwise). Pages are still only taken as they
// are touched.
void growHeapInLargeSteps()
{
    static std::once_flag once;
    std::call_once(once, [] { mallopt(M_TOP_PAD, 32 << 20); });
}

} // namespace

BackupScanner::BackupScanner(NotificationCenter &center)
    : m_nc(center)
{
    growHeapInLargeSteps();
}

BackupScanner::~BackupScanner()
{
    cancel();
}

void BackupScanner::setDeletedRecordSteps(std::vector<Step> steps)
{
    m_deletedSteps = std::move(steps);
}

void BackupScanner::setStepTimer(StepTimer timer)
{
    m_stepTimer = std::move(timer);
}

void BackupScanner::setFinishListener(ScanFinishListener *listener)
{
    std::lock_guard lock(m_mutex);
    m_listener = listener;
}

bool BackupScanner::ScanIOSBackFile(const QString &folder, const QString &iosVersion)
{
    std::lock_guard lock(m_mutex);
    if (m_active.load())
        return false;
    // The last scan has handed its end over; all it may still do is empty
    // its arrays, so the join is short and cannot wait on this thread.
    releaseHold();
    if (m_thread.joinable())
        m_thread.join();
    auto context = std::make_shared<ScanContext>(m_nc);
    context->IOSVersionIOS6(iosVersion);
    m_running = context;
    const quint64 generation = ++m_generation;
    ScanFinishListener *listener = m_listener;
    if (listener)
        listener->scanStarted(generation);
    m_active = true;
    m_thread = std::thread([this, context, folder, listener, generation] {
        runSteps(*context, folder);
        passStage(Stage::Ending, *context);
        // Running ends before the end is handed over: whoever shows the end
        // may start the next scan at once.
        m_active = false;
        if (listener)
            listener->ScanThreadFinish(generation);
        passStage(Stage::Ended, *context);
        context->removeSomeArray();
    });
    return true;
}

void BackupScanner::ScanIOSBackUpFilehand(ScanContext &context, const QString &folder)
{
    runSteps(context, folder);
    ScanFinishListener *listener = nullptr;
    {
        std::lock_guard lock(m_mutex);
        listener = m_listener;
    }
    if (listener)
        listener->ScanThreadFinish(0);
    context.removeSomeArray();
}

void BackupScanner::runSteps(ScanContext &context, const QString &folder)
{
    // The first lookup of a scan hands over an empty photo, not none.
    context.messageContactData = QByteArray("", 0);
    // A cancel stops the query that runs, not only the loop around it.
    const QueryInterrupt::CancelScope cancelScope(context.cancelled);

    const auto timed = [&](Stage stage, const std::function<void()> &step) {
        const auto start = std::chrono::steady_clock::now();
        step();
        if (m_stepTimer)
            m_stepTimer(stage, std::chrono::steady_clock::now() - start);
    };
    const auto live = [&](Stage stage, const std::function<void()> &step) {
        passStage(stage, context);
        if (!context.cancelled.load())
            timed(stage, step);
    };
    live(Stage::Index, [&] { BackupFileIndex(context).scanDirAnalyThread(folder); });
    live(Stage::Contacts, [&] { ContactExtractor(context).scanContactThread(folder); });
    live(Stage::Messages, [&] { MessageExtractor(context).scanMessageThread(folder); });
    live(Stage::Notes, [&] { NoteExtractor(context).scanNoteThread(folder); });
    live(Stage::CallHistory, [&] { CallHistoryExtractor(context).scanCallHistoryThread(folder); });
    live(Stage::BookMarks, [&] { BookmarkExtractor(context).scanBookMarkThread(folder); });
    live(Stage::Calendar, [&] { CalendarExtractor(context).scanCalenderThread(folder); });
    passStage(Stage::DeletedRecords, context);
    timed(Stage::DeletedRecords, [&] {
        for (const Step &step : m_deletedSteps) {
            if (context.cancelled.load())
                break;
            step(context, folder);
        }
    });
}

bool BackupScanner::isRunning() const
{
    return m_active.load();
}

quint64 BackupScanner::generation() const
{
    std::lock_guard lock(m_mutex);
    return m_generation;
}

void BackupScanner::cancel()
{
    requestCancel();
    wait();
}

void BackupScanner::requestCancel()
{
    {
        std::lock_guard lock(m_mutex);
        if (const auto running = m_running.lock())
            running->cancelled = true;
    }
    // A held scan wakes to see the cancel.
    std::lock_guard hold(m_holdMutex);
    m_holdChanged.notify_all();
}

void BackupScanner::wait()
{
    std::lock_guard lock(m_mutex);
    if (m_thread.joinable())
        m_thread.join();
    m_running.reset();
}

void BackupScanner::holdAt(Stage stage)
{
    std::lock_guard lock(m_holdMutex);
    m_holdAt = stage;
}

bool BackupScanner::waitUntilHeld(int timeoutMs)
{
    std::unique_lock lock(m_holdMutex);
    return m_holdChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_held; });
}

void BackupScanner::releaseHold()
{
    std::lock_guard lock(m_holdMutex);
    if (m_held)
        m_holdReleased = true;
    m_holdChanged.notify_all();
}

void BackupScanner::passStage(Stage stage, const ScanContext &context)
{
    std::unique_lock lock(m_holdMutex);
    if (m_holdAt != stage)
        return;
    m_holdAt.reset();
    m_held = true;
    m_holdReleased = false;
    m_holdChanged.notify_all();
    m_holdChanged.wait(lock, [&] { return m_holdReleased || context.cancelled.load(); });
    m_held = false;
    m_holdReleased = false;
    m_holdChanged.notify_all();
}
