#pragma once

// The device manager's arrivals and removals as a test sees them: the
// manager reports them on its own thread, the test waits for them with a
// deadline.

#include "tests/support/eventwait.h"
#include "device/amd/devicenotify.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

namespace testsupport {

class RecordingNotify : public amd::DeviceNotify
{
public:
    explicit RecordingNotify(std::chrono::seconds deadline = std::chrono::seconds(testsupport::kEventWaitMs / 1000))
        : m_deadline(deadline)
    {
    }

    void deviceAdded(int id) override
    {
        std::lock_guard lock(m_mutex);
        m_added.push_back(id);
        m_changed.notify_all();
    }
    void deviceRemoved(int id) override
    {
        std::lock_guard lock(m_mutex);
        m_removed.push_back(id);
        m_changed.notify_all();
    }
    // The id of the n-th arrival (from 1), once it came.
    std::optional<int> waitForArrival(size_t n)
    {
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_for(lock, m_deadline, [&] { return m_added.size() >= n; }))
            return std::nullopt;
        return m_added[n - 1];
    }
    bool waitForRemoval(int id)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, m_deadline,
                                  [&] { return std::find(m_removed.begin(), m_removed.end(), id) != m_removed.end(); });
    }

private:
    std::chrono::seconds m_deadline;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<int> m_added;
    std::vector<int> m_removed;
};

} // namespace testsupport
