#include "backup/queryinterrupt.h"

#include <sqlite3.h>

#include <utility>

namespace {

// Virtual machine steps between two looks at the flag and the clock: well
// under a millisecond of work, so a cancel lands at once, and the look costs
// nothing next to the work.
constexpr int kStepsPerCheck = 10000;

std::atomic<std::int64_t> s_stallLimitMs{60 * 1000};

std::chrono::steady_clock::time_point steadyNow()
{
    return std::chrono::steady_clock::now();
}

std::atomic<QueryInterrupt::Clock> s_clock{&steadyNow};

thread_local const std::atomic<bool> *t_cancel = nullptr;

} // namespace

QueryInterrupt::QueryInterrupt(sqlite3 *db, const std::atomic<bool> *cancel)
    : m_db(db)
    , m_cancel(cancel)
    , m_limit(stallLimit())
    , m_now(clock())
{
    if (m_db)
        sqlite3_progress_handler(m_db, kStepsPerCheck, &QueryInterrupt::onProgress, this);
}

QueryInterrupt::~QueryInterrupt()
{
    if (m_db)
        sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
}

std::chrono::milliseconds QueryInterrupt::stallLimit()
{
    return std::chrono::milliseconds(s_stallLimitMs.load(std::memory_order_relaxed));
}

void QueryInterrupt::setStallLimit(std::chrono::milliseconds limit)
{
    s_stallLimitMs.store(limit.count(), std::memory_order_relaxed);
}

QueryInterrupt::Clock QueryInterrupt::clock()
{
    return s_clock.load(std::memory_order_relaxed);
}

void QueryInterrupt::setClock(Clock clock)
{
    s_clock.store(clock ? clock : &steadyNow, std::memory_order_relaxed);
}

int QueryInterrupt::onProgress(void *self)
{
    return static_cast<QueryInterrupt *>(self)->shouldStop() ? 1 : 0;
}

bool QueryInterrupt::shouldStop()
{
    if (m_reason == Reason::Stalled)
        return true;
    if (m_cancel && m_cancel->load(std::memory_order_relaxed)) {
        m_reason = Reason::Cancelled;
        return true;
    }
    const auto now = m_now();
    if (m_seenRearms != m_rearms) {
        m_seenRearms = m_rearms;
        m_since = now;
        return false;
    }
    if (now - m_since <= m_limit)
        return false;
    m_reason = Reason::Stalled;
    return true;
}

QueryInterrupt::CancelScope::CancelScope(const std::atomic<bool> &cancel)
    : m_previous(std::exchange(t_cancel, &cancel))
{
}

QueryInterrupt::CancelScope::~CancelScope()
{
    t_cancel = m_previous;
}

const std::atomic<bool> *QueryInterrupt::threadCancelFlag()
{
    return t_cancel;
}
