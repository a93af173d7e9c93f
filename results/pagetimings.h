#pragma once

#include <array>
#include <atomic>
#include <chrono>

// Where the results page spends its time while it takes a scan in, part by
// part: wall time on the GUI thread and on every other thread (the scan's
// own and the page's workers), summed from the page's reset for a scan.
// Cheap enough to stay on in the product: a clock read at the start and end
// of each batch, never per record.
class PRPageTimings
{
public:
    enum Part { Intake, Tree, Models, Counts, PartCount };
    using Duration = std::chrono::steady_clock::duration;

    void add(Part part, bool onGuiThread, Duration took);
    Duration total(Part part, bool onGuiThread) const;
    void reset();

    // Adds the time from its making to its end to part, on the thread it
    // was made on.
    class Scope
    {
    public:
        Scope(PRPageTimings &timings, Part part);
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        PRPageTimings &m_timings;
        Part m_part;
        bool m_gui;
        std::chrono::steady_clock::time_point m_start;
    };

private:
    std::array<std::array<std::atomic<Duration::rep>, 2>, PartCount> m_totals{};
};
