#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

struct sqlite3;

// Stops the queries of one connection to a database that came from a phone
// or a backup when they are cancelled or when one of them works too long
// without progress. Such a database is written by whoever made it: a view or
// a trigger can make a single step run for ever (a recursive view that
// counts without end), and SQLite has no way out of a step but its progress
// handler, which this installs.
//
// "Too long" is time without progress, never the length of a whole read: the
// clock starts again whenever the reader calls rearm(), which it does before
// each prepare and each step, so a read of a message store of gigabytes that
// keeps handing out rows is never cut, and neither is the reader's own time
// between rows. A connection that stalled once is given up: a schema built to
// stall would stall every later query of it the same way.
//
// Installed for its whole life on a connection that one thread uses at a
// time; it must go before the connection closes.
class QueryInterrupt
{
public:
    enum class Reason { None, Cancelled, Stalled };

    // cancel: set from another thread to stop the running query and every
    // later one; none when only the stall limit applies.
    explicit QueryInterrupt(sqlite3 *db, const std::atomic<bool> *cancel = nullptr);
    ~QueryInterrupt();
    QueryInterrupt(const QueryInterrupt &) = delete;
    QueryInterrupt &operator=(const QueryInterrupt &) = delete;

    // Progress: before each prepare and each step. False when the connection
    // is cancelled or was given up, and the step had better not start.
    bool rearm()
    {
        ++m_rearms;
        return m_reason != Reason::Stalled && !(m_cancel && m_cancel->load(std::memory_order_relaxed));
    }

    // Why the last query was stopped; None while none was.
    Reason reason() const { return m_reason; }

    // How long a step may run without progress; taken by every interrupt
    // made later. A minute unless set (tests make it short).
    static std::chrono::milliseconds stallLimit();
    static void setStallLimit(std::chrono::milliseconds limit);

    // The clock that time without progress is read from; taken by every
    // interrupt made later. The steady clock unless set (none sets it back):
    // a test drives its own, so that "stalled" never depends on how fast the
    // machine runs.
    using Clock = std::chrono::steady_clock::time_point (*)();
    static Clock clock();
    static void setClock(Clock clock);

    // The cancel flag of the calling thread's work while the scope lives: a
    // connection opened on that thread without a flag of its own takes it.
    // This is how a scan's cancel reaches the databases its steps open.
    class CancelScope
    {
    public:
        explicit CancelScope(const std::atomic<bool> &cancel);
        ~CancelScope();
        CancelScope(const CancelScope &) = delete;
        CancelScope &operator=(const CancelScope &) = delete;

    private:
        const std::atomic<bool> *m_previous;
    };
    // The flag of the innermost scope on this thread; none outside any.
    static const std::atomic<bool> *threadCancelFlag();

private:
    static int onProgress(void *self);
    bool shouldStop();

    sqlite3 *m_db;
    const std::atomic<bool> *m_cancel;
    const std::chrono::steady_clock::duration m_limit;
    const Clock m_now;
    // Counted by rearm(); the handler starts the clock again when it sees the
    // count moved, so a step costs no clock read of its own.
    std::uint64_t m_rearms = 1;
    std::uint64_t m_seenRearms = 0;
    std::chrono::steady_clock::time_point m_since;
    Reason m_reason = Reason::None;
};
