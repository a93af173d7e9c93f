// Device jobs over two simulated phones: a job belongs to its phone, results
// of an old generation or for a receiver that went never arrive, the window's
// close never waits for a job, and progress comes in order on the receiver's
// thread.

#include "tests/support/eventwait.h"
#include "device/amd/devicemanager.h"
#include "device/amd/prdevicenotify.h"
#include "device/devicebackend.h"
#include "device/jobs/devicejob.h"
#include "device/simulated/simulatedbackend.h"
#include "tests/support/recordingnotify.h"
#include "tools/devicegen/devicescenario.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <future>
#include <thread>

using devjobs::JobContext;
using devjobs::JobError;
using devjobs::JobLane;
using devjobs::JobRegistry;

namespace {

constexpr int kDeadlineMs = testsupport::kEventWaitMs;

// Arrivals and removals recorded, the removal also handed on as the
// application hands it on (the registry hears it there).
class Notify : public testsupport::RecordingNotify
{
public:
    void deviceRemoved(int id) override
    {
        m_post.deviceRemoved(id);
        testsupport::RecordingNotify::deviceRemoved(id);
    }

private:
    amd::PRDeviceNotify m_post;
};

// A gate a job's work waits at, opened by the test.
struct Latch
{
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    bool reached = false;

    // The work is at the gate.
    bool waitReached()
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(kDeadlineMs), [this] { return reached; });
    }
    void release()
    {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
    // Also opened by the job's cancel when cancellable.
    bool wait()
    {
        std::unique_lock lock(mutex);
        reached = true;
        changed.notify_all();
        return changed.wait_for(lock, std::chrono::milliseconds(kDeadlineMs), [this] { return open; });
    }
};

// Waits for a condition without handling the receiver's events, so that
// what the jobs post stays queued.
bool withoutEvents(const std::function<bool()> &condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDeadlineMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct Outcome
{
    bool delivered = false;
    int result = 0;
    JobError error;
};

class Receiver : public QObject
{
public:
    JobLane lane{this};
};

class DeviceJobs : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_scenarios = new QTemporaryDir;
        QString error;
        ASSERT_TRUE(devicegen::writeScenario({s_scenarios->filePath(QStringLiteral("phone")), 1}, nullptr, &error))
            << qPrintable(error);
    }
    static void TearDownTestSuite()
    {
        delete s_scenarios;
        s_scenarios = nullptr;
    }

    void SetUp() override
    {
        m_backend = std::make_shared<amd::SimulatedBackend>();
        m_previous = amd::setDeviceBackend(m_backend);
        DeviceManager::instance().setNotify(&m_notify);
        ASSERT_EQ(DeviceManager::instance().subscribe(), 0);
        for (int n = 0; n < 2; ++n) {
            m_handles[n] = m_backend->plug(s_scenarios->filePath(QStringLiteral("phone")));
            ASSERT_NE(m_handles[n], 0u);
            const auto id = m_notify.waitForArrival(size_t(n + 1));
            ASSERT_TRUE(id.has_value());
            m_ids[n] = *id;
        }
    }
    void TearDown() override
    {
        EXPECT_TRUE(JobRegistry::instance().waitForIdle(std::chrono::milliseconds(kDeadlineMs)));
        DeviceManager::instance().unsubscribe();
        DeviceManager::instance().setNotify(nullptr);
        amd::setDeviceBackend(m_previous);
    }

    // A job on phone n that waits until the latch opens or it is cancelled,
    // then returns value.
    devjobs::JobHandle blocked(Receiver &receiver, int n, const std::shared_ptr<Latch> &latch,
                               std::shared_ptr<Outcome> outcome, int value = 1, bool cancellable = true)
    {
        return receiver.lane.start(
            m_ids[n],
            [latch, value, cancellable](JobContext<devjobs::NoProgress> &job) {
                if (cancellable)
                    job.onCancel([latch](auto) { latch->release(); });
                latch->wait();
                return value;
            },
            [outcome](int result, const JobError &error) {
                outcome->delivered = true;
                outcome->result = result;
                outcome->error = error;
            });
    }

    std::shared_ptr<amd::SimulatedBackend> m_backend;
    amd::DeviceHandle m_handles[2] = {};
    int m_ids[2] = {-1, -1};
    Notify m_notify;

private:
    static inline QTemporaryDir *s_scenarios = nullptr;
    std::shared_ptr<amd::DeviceBackend> m_previous;
};

TEST_F(DeviceJobs, PhoneThatLeavesCancelsOnlyItsOwnJobs)
{
    Receiver receiver;
    auto latchA = std::make_shared<Latch>();
    auto latchB = std::make_shared<Latch>();
    auto a = std::make_shared<Outcome>();
    auto b = std::make_shared<Outcome>();
    blocked(receiver, 0, latchA, a);
    const auto jobB = blocked(receiver, 1, latchB, b);

    m_backend->unplug(m_handles[0]);
    ASSERT_TRUE(m_notify.waitForRemoval(m_ids[0]));
    ASSERT_TRUE(QTest::qWaitFor([&] { return a->delivered; }, kDeadlineMs));
    EXPECT_EQ(a->error.kind(), JobError::Kind::PhoneGone);
    // The removal has been handled whole: the other phone's job still runs.
    EXPECT_FALSE(b->delivered);
    EXPECT_FALSE(jobB.ended());
    EXPECT_TRUE(devjobs::phoneGone(m_ids[0]));
    EXPECT_FALSE(devjobs::phoneGone(m_ids[1]));
    EXPECT_FALSE(devjobs::phoneGone(devjobs::kNoPhone));

    // A job started for the phone that left ends at once, its work not run.
    auto late = std::make_shared<Outcome>();
    bool ran = false;
    receiver.lane.start(
        m_ids[0], [&ran](JobContext<devjobs::NoProgress> &) { return ran = true; },
        [late](bool, const JobError &error) {
            late->delivered = true;
            late->error = error;
        });
    ASSERT_TRUE(QTest::qWaitFor([&] { return late->delivered; }, kDeadlineMs));
    EXPECT_FALSE(ran);
    EXPECT_EQ(late->error.kind(), JobError::Kind::PhoneGone);

    latchB->release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return b->delivered; }, kDeadlineMs));
    EXPECT_TRUE(b->error.ok());
    EXPECT_EQ(b->result, 1);
}

TEST_F(DeviceJobs, ResultOfAnOldGenerationIsNeverDelivered)
{
    Receiver receiver;
    auto open = std::make_shared<Latch>();
    open->release();
    auto old = std::make_shared<Outcome>();
    const auto oldJob = blocked(receiver, 0, open, old, 1);
    // Its result waits in the receiver's queue when the new generation starts.
    ASSERT_TRUE(withoutEvents([&] { return oldJob.ended(); }));
    receiver.lane.newGeneration();
    auto fresh = std::make_shared<Outcome>();
    blocked(receiver, 0, open, fresh, 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fresh->delivered; }, kDeadlineMs));
    EXPECT_FALSE(old->delivered);
    EXPECT_EQ(fresh->result, 2);

    // One still running when its generation ends is cancelled and says nothing.
    auto latch = std::make_shared<Latch>();
    auto running = std::make_shared<Outcome>();
    blocked(receiver, 1, latch, running);
    receiver.lane.newGeneration();
    auto marker = std::make_shared<Outcome>();
    blocked(receiver, 1, open, marker);
    ASSERT_TRUE(JobRegistry::instance().waitForIdle(std::chrono::milliseconds(kDeadlineMs)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return marker->delivered; }, kDeadlineMs));
    QCoreApplication::processEvents();
    EXPECT_FALSE(running->delivered);
}

TEST_F(DeviceJobs, ReceiverThatWentGetsNothing)
{
    auto latch = std::make_shared<Latch>();
    auto queued = std::make_shared<Outcome>();
    auto later = std::make_shared<Outcome>();
    {
        Receiver receiver;
        auto open = std::make_shared<Latch>();
        open->release();
        const auto done = blocked(receiver, 0, open, queued);
        ASSERT_TRUE(withoutEvents([&] { return done.ended(); })); // its result waits in the queue
        blocked(receiver, 1, latch, later, 1, false);
    }
    // The job still running ends after its receiver went.
    latch->release();
    ASSERT_TRUE(JobRegistry::instance().waitForIdle(std::chrono::milliseconds(kDeadlineMs)));
    QCoreApplication::processEvents();
    EXPECT_FALSE(queued->delivered);
    EXPECT_FALSE(later->delivered);
}

TEST_F(DeviceJobs, CancelAllReturnsWhileAJobIsInAPhoneCall)
{
    Receiver receiver;
    auto latch = std::make_shared<Latch>();
    auto outcome = std::make_shared<Outcome>();
    // Stands for a phone's call that does not look at the cancel.
    const auto job = blocked(receiver, 0, latch, outcome, 1, false);
    ASSERT_TRUE(latch->waitReached());
    auto returned = std::async(std::launch::async, [] { JobRegistry::instance().cancelAll(); });
    ASSERT_EQ(returned.wait_for(std::chrono::milliseconds(kDeadlineMs)), std::future_status::ready);
    EXPECT_FALSE(job.ended());
    latch->release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome->delivered; }, kDeadlineMs));
    EXPECT_EQ(outcome->error.kind(), JobError::Kind::Cancelled);
}

TEST_F(DeviceJobs, ProgressArrivesInOrderOnTheReceiversThread)
{
    Receiver receiver;
    QList<int> seen;
    bool allOnReceiver = true;
    QList<int> atEnd;
    bool ended = false;
    QThread *const gui = QThread::currentThread();
    receiver.lane.start<int>(
        m_ids[1],
        [](JobContext<int> &job) {
            for (int n = 0; n < 200; ++n)
                job.progress(n);
            return 200;
        },
        [&](int, const JobError &) {
            atEnd = seen;
            ended = true;
        },
        [&](const int &value) {
            allOnReceiver = allOnReceiver && QThread::currentThread() == gui;
            seen.append(value);
        });
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended; }, kDeadlineMs));
    QList<int> expected;
    for (int n = 0; n < 200; ++n)
        expected.append(n);
    EXPECT_EQ(atEnd, expected);
    EXPECT_TRUE(allOnReceiver);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
