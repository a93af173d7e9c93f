#pragma once

#include "device/devicebackend.h"
#include "device/amd/serviceerror.h"

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <set>
#include <type_traits>
#include <utility>
#include <vector>

// Device work above the device layer runs as jobs of one kind. A job belongs
// to one phone; it runs on the device layer's own pool (never Qt's global
// one, which decodes pictures), can be cancelled, and hands its progress and
// its result to the object that started it, on that object's thread, through
// its event queue. The registry hears the phone's departure and cancels what
// belongs to it, so no run asks "is my phone still listed?" by itself.
namespace devjobs {

// A job ends with the service layer's error: PhoneGone when its phone left,
// Cancelled when its owner or the window's close stopped it, else what its
// work reported.
using JobError = amd::ServiceError;

// The phone of a job that works for none (this computer's files, or a phone
// the device manager does not list): no phone's departure cancels it, only
// its lane and cancelAll.
inline constexpr int kNoPhone = std::numeric_limits<int>::min();

class JobRegistry;

// Whether the phone of that id has left: the registry heard its removal, or
// the device manager no longer lists it (a failed call can come before the
// removal reaches the registry). The one test of it above the device layer,
// for work that failed and must say whether the phone went.
bool phoneGone(int deviceId);

namespace detail {

// The receiving side of a lane's jobs. Closed when the lane goes: nothing is
// posted to the receiver after that, and what was posted before but not yet
// delivered dies with the receiver's event queue.
struct Gate
{
    std::mutex mutex;
    QObject *receiver = nullptr; // null once closed
    std::atomic<quint64> generation{0};
};

class JobState
{
public:
    JobState(int deviceId, std::shared_ptr<Gate> gate, quint64 generation)
        : deviceId(deviceId)
        , generation(generation)
        , m_gate(std::move(gate))
    {
    }

    const int deviceId;
    const quint64 generation;
    // Set on the pool before the work starts; read by the work only.
    amd::DeviceHandle handle = 0;
    QString udid;

    // The first reason given is the one the job ends with.
    void cancel(JobError::Kind why);
    bool cancelled() const { return m_cancelled.load(); }
    const std::atomic<bool> &cancelFlag() const { return m_cancelled; }
    using CancelHook = std::function<void(JobError::Kind why)>;
    void onCancel(CancelHook hook);
    // The work returned: hooks not run yet are dropped with what they hold.
    void endWork();
    void fail(JobError error);
    JobError error() const;

    // Posts call to the receiver while the lane is open; it runs there only
    // if no newer generation started meanwhile.
    bool post(std::function<void()> call);

    std::atomic<bool> ended{false}; // the work returned

private:
    std::shared_ptr<Gate> m_gate;
    std::atomic<bool> m_cancelled{false};
    mutable std::mutex m_mutex;
    JobError::Kind m_reason = JobError::Kind::None;
    bool m_hooksRun = false;
    std::vector<CancelHook> m_hooks;
    JobError m_failure;
};

} // namespace detail

// A job's progress without a value.
struct NoProgress
{
};

// What a job's work sees on the pool.
class JobControl
{
public:
    explicit JobControl(std::shared_ptr<detail::JobState> state) : m_state(std::move(state)) {}

    int deviceId() const { return m_state->deviceId; }
    amd::DeviceHandle handle() const { return m_state->handle; }
    const QString &udid() const { return m_state->udid; }

    bool cancelled() const { return m_state->cancelled(); }
    // Cancelled because its phone left, not by its owner or the window.
    bool phoneLeft() const { return m_state->cancelled() && m_state->error().is(JobError::Kind::PhoneGone); }
    // For work that stops on a flag of its own (a query's interrupt): true
    // once the job is cancelled, for whatever reason.
    const std::atomic<bool> &cancelFlag() const { return m_state->cancelFlag(); }
    // Runs once with the reason when the job is cancelled, on the thread that
    // cancels it (at once when it already is), until the work returns: for
    // work that keeps a cancel of its own. It may outlive this context, so it
    // holds what it needs by value.
    void onCancel(detail::JobState::CancelHook hook) { m_state->onCancel(std::move(hook)); }
    // The job ends with this error (unless it was cancelled first).
    void fail(JobError error) { m_state->fail(std::move(error)); }

protected:
    std::shared_ptr<detail::JobState> m_state;
};

template<typename P>
class JobContext : public JobControl
{
public:
    JobContext(std::shared_ptr<detail::JobState> state, std::function<void(const P &)> onProgress)
        : JobControl(std::move(state))
        , m_onProgress(std::move(onProgress))
    {
    }

    // Reaches the receiver after every earlier progress and before the result.
    void progress(P value) const
    {
        if (m_onProgress)
            m_state->post([handler = m_onProgress, value = std::move(value)] { handler(value); });
    }

private:
    std::function<void(const P &)> m_onProgress;
};

// One started job, for its owner.
class JobHandle
{
public:
    JobHandle() = default;
    explicit JobHandle(std::shared_ptr<detail::JobState> state) : m_state(std::move(state)) {}

    bool isValid() const { return m_state != nullptr; }
    void cancel() const
    {
        if (m_state)
            m_state->cancel(JobError::Kind::Cancelled);
    }
    bool ended() const { return m_state && m_state->ended.load(); }
    int deviceId() const { return m_state ? m_state->deviceId : -1; }

private:
    std::shared_ptr<detail::JobState> m_state;
};

// The device layer's pool and the list of live jobs.
class JobRegistry
{
public:
    static JobRegistry &instance();

    JobRegistry(const JobRegistry &) = delete;
    JobRegistry &operator=(const JobRegistry &) = delete;

    // The phone of that id left: every job bound to it is cancelled, and a
    // job started for it later ends at once. Heard from the device manager's
    // "DeviceDisConnect"; callable directly.
    void deviceRemoved(int deviceId);
    // Cancels every job and returns at once: nothing waits for a job still
    // inside a phone's call, which ends on its own.
    void cancelAll();
    // The phone of that id left while the registry listened.
    bool heardRemoval(int deviceId) const;
    // Jobs whose work has not returned yet.
    int activeCount() const;
    // For tests and teardown off the GUI thread: true once no job runs.
    bool waitForIdle(std::chrono::milliseconds timeout);

    // For a JobLane: runs work on the pool, tracked as bound to its phone.
    void submit(const std::shared_ptr<detail::JobState> &state, std::function<void()> work);
    // For a JobLane: tracks a job without work, as bound to its phone.
    void track(const std::shared_ptr<detail::JobState> &state);

private:
    JobRegistry();
    ~JobRegistry();

    QThreadPool m_pool;
    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    std::vector<std::weak_ptr<detail::JobState>> m_jobs;
    std::set<int> m_removed;
    int m_active = 0;
};

// A line of jobs of one object, on that object's thread. Starting a new
// generation cancels the jobs of the old one and drops whatever of theirs is
// still on its way; the lane's end (with its owner) cancels its jobs and
// delivers nothing more, without waiting for any of them.
//
// The receiver is the object whose thread runs the handlers; a lane lives no
// longer than it (make the lane a member of the receiver).
class JobLane
{
public:
    explicit JobLane(QObject *receiver);
    ~JobLane();
    JobLane(const JobLane &) = delete;
    JobLane &operator=(const JobLane &) = delete;

    // Cancels the jobs of this lane; nothing of theirs is delivered any more.
    void newGeneration();
    quint64 generation() const { return m_gate->generation.load(); }
    // A job of the current generation whose work has not returned.
    bool busy() const;

    // For what the receiver holds of one phone rather than work it runs: gone
    // runs on the receiver's thread when that phone leaves (soon when it has
    // left already), unless the lane started a new generation meanwhile. The
    // watch lasts as long as the handle.
    JobHandle watch(int deviceId, std::function<void()> gone);

    // Runs work(JobContext<P>&) on the pool for the phone deviceId; done(result,
    // error) and progress(value) run on the receiver's thread, in order. The
    // work does not run when the phone has left already (done hears
    // PhoneGone with a default result).
    template<typename P = NoProgress, typename Work, typename Done>
    JobHandle start(int deviceId, Work work, Done done, std::function<void(const P &)> progress = {})
    {
        using R = std::decay_t<std::invoke_result_t<Work &, JobContext<P> &>>;
        auto state = std::make_shared<detail::JobState>(deviceId, m_gate, m_gate->generation.load());
        track(state);
        JobRegistry::instance().submit(
            state, [state, work = std::move(work), done = std::move(done), progress = std::move(progress)]() mutable {
                R result{};
                if (bindPhone(*state)) {
                    JobContext<P> context(state, std::move(progress));
                    result = work(context);
                }
                state->endWork();
                const JobError error = state->error();
                state->ended = true;
                state->post([done = std::move(done), result = std::move(result), error]() mutable {
                    done(std::move(result), error);
                });
            });
        return JobHandle(state);
    }

private:
    // The phone is still listed; its handle and UDID go into the job.
    static bool bindPhone(detail::JobState &state);
    void track(const std::shared_ptr<detail::JobState> &state);

    std::shared_ptr<detail::Gate> m_gate;
    std::vector<std::weak_ptr<detail::JobState>> m_jobs;
};

} // namespace devjobs
