#include "results/pagetimings.h"

#include "platform/guithread.h"

void PRPageTimings::add(Part part, bool onGuiThread, Duration took)
{
    m_totals[part][onGuiThread ? 1 : 0].fetch_add(took.count(), std::memory_order_relaxed);
}

PRPageTimings::Duration PRPageTimings::total(Part part, bool onGuiThread) const
{
    return Duration(m_totals[part][onGuiThread ? 1 : 0].load(std::memory_order_relaxed));
}

void PRPageTimings::reset()
{
    for (auto &part : m_totals)
        for (auto &total : part)
            total.store(0, std::memory_order_relaxed);
}

PRPageTimings::Scope::Scope(PRPageTimings &timings, Part part)
    : m_timings(timings)
    , m_part(part)
    , m_gui(isGuiThread())
    , m_start(std::chrono::steady_clock::now())
{
}

PRPageTimings::Scope::~Scope()
{
    m_timings.add(m_part, m_gui, std::chrono::steady_clock::now() - m_start);
}
