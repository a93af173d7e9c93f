#include "device/jobs/devicejob.h"

#include "device/amd/baseinfo.h"
#include "device/amd/devicemanager.h"
#include "device/amd/deviceitem.h"
#include "platform/notificationcenter.h"

#include <QThread>

#include <algorithm>

namespace devjobs {

namespace detail {

void JobState::cancel(JobError::Kind why)
{
    std::vector<CancelHook> hooks;
    JobError::Kind reason;
    {
        std::lock_guard lock(m_mutex);
        if (m_reason == JobError::Kind::None)
            m_reason = why;
        reason = m_reason;
        m_cancelled = true;
        if (!m_hooksRun) {
            m_hooksRun = true;
            hooks.swap(m_hooks);
        }
    }
    for (const auto &hook : hooks)
        hook(reason);
}

void JobState::onCancel(CancelHook hook)
{
    JobError::Kind reason;
    {
        std::lock_guard lock(m_mutex);
        if (!m_hooksRun) {
            m_hooks.push_back(std::move(hook));
            return;
        }
        reason = m_reason;
    }
    hook(reason);
}

void JobState::endWork()
{
    std::vector<CancelHook> dropped;
    std::lock_guard lock(m_mutex);
    m_hooksRun = true;
    dropped.swap(m_hooks);
}

void JobState::fail(JobError error)
{
    std::lock_guard lock(m_mutex);
    m_failure = std::move(error);
}

JobError JobState::error() const
{
    std::lock_guard lock(m_mutex);
    if (m_reason != JobError::Kind::None)
        return JobError(m_reason);
    return m_failure;
}

bool JobState::post(std::function<void()> call)
{
    std::lock_guard lock(m_gate->mutex);
    if (!m_gate->receiver || m_gate->generation.load() != generation)
        return false;
    // Checked again where it runs: a newer generation may start while this
    // waits in the receiver's queue.
    QMetaObject::invokeMethod(
        m_gate->receiver,
        [gate = m_gate, generation = generation, call = std::move(call)] {
            if (gate->generation.load() == generation)
                call();
        },
        Qt::QueuedConnection);
    return true;
}

} // namespace detail

// -- JobRegistry ---------------------------------------------------------------

JobRegistry &JobRegistry::instance()
{
    static JobRegistry registry;
    return registry;
}

JobRegistry::JobRegistry()
{
    // Jobs mostly wait on a phone (whose calls are serialised anyway) or on
    // the disk; a few more threads than cores keep a stalled phone from
    // holding up another phone's work.
    m_pool.setMaxThreadCount(std::clamp(2 * QThread::idealThreadCount(), 4, 16));
    m_pool.setObjectName(QStringLiteral("device jobs"));
    NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("DeviceDisConnect"),
                                                    [this](const Notification &notification) {
                                                        bool ok = false;
                                                        const int id = notification.object.toInt(&ok);
                                                        if (ok)
                                                            deviceRemoved(id);
                                                    });
}

JobRegistry::~JobRegistry()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    cancelAll();
}

void JobRegistry::deviceRemoved(int deviceId)
{
    std::vector<std::shared_ptr<detail::JobState>> bound;
    {
        std::lock_guard lock(m_mutex);
        m_removed.insert(deviceId);
        for (const auto &weak : m_jobs) {
            if (auto job = weak.lock(); job && job->deviceId == deviceId)
                bound.push_back(std::move(job));
        }
    }
    // Outside the lock: a job's cancel hook may start or end other jobs.
    for (const auto &job : bound)
        job->cancel(JobError::Kind::PhoneGone);
}

void JobRegistry::cancelAll()
{
    std::vector<std::shared_ptr<detail::JobState>> live;
    {
        std::lock_guard lock(m_mutex);
        for (const auto &weak : m_jobs) {
            if (auto job = weak.lock())
                live.push_back(std::move(job));
        }
    }
    for (const auto &job : live)
        job->cancel(JobError::Kind::Cancelled);
}

bool JobRegistry::heardRemoval(int deviceId) const
{
    std::lock_guard lock(m_mutex);
    return m_removed.count(deviceId) > 0;
}

int JobRegistry::activeCount() const
{
    std::lock_guard lock(m_mutex);
    return m_active;
}

bool JobRegistry::waitForIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, timeout, [this] { return m_active == 0; });
}

void JobRegistry::submit(const std::shared_ptr<detail::JobState> &state, std::function<void()> work)
{
    bool gone = false;
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_jobs, [](const std::weak_ptr<detail::JobState> &weak) { return weak.expired(); });
        m_jobs.push_back(state);
        gone = m_removed.count(state->deviceId) > 0;
        ++m_active;
    }
    if (gone)
        state->cancel(JobError::Kind::PhoneGone);
    m_pool.start([this, work = std::move(work)]() mutable {
        work();
        // The work's captures (and with them what the receiver handed it)
        // go here, on the pool, before the job counts as ended.
        work = nullptr;
        std::lock_guard lock(m_mutex);
        if (--m_active == 0)
            m_idle.notify_all();
    });
}

void JobRegistry::track(const std::shared_ptr<detail::JobState> &state)
{
    bool gone = false;
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_jobs, [](const std::weak_ptr<detail::JobState> &weak) { return weak.expired(); });
        m_jobs.push_back(state);
        gone = m_removed.count(state->deviceId) > 0;
    }
    if (gone)
        state->cancel(JobError::Kind::PhoneGone);
}

bool phoneGone(int deviceId)
{
    return deviceId != kNoPhone
           && (JobRegistry::instance().heardRemoval(deviceId) || !DeviceManager::instance().findItem(deviceId));
}

// -- JobLane -------------------------------------------------------------------

JobLane::JobLane(QObject *receiver)
    : m_gate(std::make_shared<detail::Gate>())
{
    m_gate->receiver = receiver;
}

JobLane::~JobLane()
{
    {
        std::lock_guard lock(m_gate->mutex);
        m_gate->receiver = nullptr;
    }
    newGeneration();
}

void JobLane::newGeneration()
{
    ++m_gate->generation;
    std::vector<std::weak_ptr<detail::JobState>> jobs;
    jobs.swap(m_jobs);
    for (const auto &weak : jobs) {
        if (auto job = weak.lock())
            job->cancel(JobError::Kind::Cancelled);
    }
}

bool JobLane::busy() const
{
    const quint64 current = generation();
    return std::any_of(m_jobs.begin(), m_jobs.end(), [current](const std::weak_ptr<detail::JobState> &weak) {
        const auto job = weak.lock();
        return job && job->generation == current && !job->ended.load();
    });
}

void JobLane::track(const std::shared_ptr<detail::JobState> &state)
{
    std::erase_if(m_jobs, [](const std::weak_ptr<detail::JobState> &weak) {
        const auto job = weak.lock();
        return !job || job->ended.load();
    });
    m_jobs.push_back(state);
}

JobHandle JobLane::watch(int deviceId, std::function<void()> gone)
{
    auto state = std::make_shared<detail::JobState>(deviceId, m_gate, m_gate->generation.load());
    // No work: it never counts as busy.
    state->ended = true;
    state->onCancel([weak = std::weak_ptr<detail::JobState>(state), gone = std::move(gone)](JobError::Kind why) {
        if (why != JobError::Kind::PhoneGone)
            return;
        if (const auto watched = weak.lock())
            watched->post(gone);
    });
    JobRegistry::instance().track(state);
    return JobHandle(state);
}

bool JobLane::bindPhone(detail::JobState &state)
{
    if (state.cancelled())
        return false;
    if (state.deviceId == kNoPhone)
        return true;
    const auto item = DeviceManager::instance().findItem(state.deviceId);
    if (!item) {
        state.cancel(JobError::Kind::PhoneGone);
        return false;
    }
    state.handle = item->device().handle();
    if (const auto info = item->baseInfo())
        state.udid = info->uniqueDeviceID().value_or(QString());
    return !state.cancelled();
}

} // namespace devjobs
