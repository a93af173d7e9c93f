#pragma once

// Device jobs in tests: work run as a job of one phone and awaited (handling
// the events that bring its result), and a notifier that hands a removal on
// as the application does, where the jobs' registry hears it.

#include "device/amd/prdevicenotify.h"
#include "device/jobs/devicejob.h"
#include "tests/support/eventwait.h"
#include "tests/support/recordingnotify.h"

#include <QObject>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>
#include <type_traits>

namespace testsupport {

class JobsNotify : public RecordingNotify
{
public:
    using RecordingNotify::RecordingNotify;
    void deviceRemoved(int id) override
    {
        m_post.deviceRemoved(id);
        RecordingNotify::deviceRemoved(id);
    }

private:
    amd::PRDeviceNotify m_post;
};

// work(JobControl &) as a job of deviceId; its result once it ended (a
// default one when the work never ran), and the job's error in *error.
template<typename Work>
auto runJob(int deviceId, Work work, devjobs::JobError *error = nullptr)
{
    using R = std::decay_t<std::invoke_result_t<Work &, devjobs::JobContext<devjobs::NoProgress> &>>;
    QObject receiver;
    devjobs::JobLane lane(&receiver);
    std::optional<R> result;
    lane.start(deviceId, std::move(work), [&](R value, const devjobs::JobError &e) {
        result = std::move(value);
        if (error)
            *error = e;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, kEventWaitMs));
    return result.value_or(R());
}

} // namespace testsupport
