#pragma once

// The cleaner's phone (tools/devicegen writeCleanerScenario) plugged into the
// device manager, the results, scan, removal and fix on it, and a recorder
// of the notifications the delegate observes.

#include "tests/support/eventwait.h"
#include "device/amd/devicemanager.h"
#include "device/amd/devicenotify.h"
#include "device/amd/prdevicenotify.h"
#include "device/devicebackend.h"
#include "device/jobs/devicejob.h"
#include "device/simulated/simulatedbackend.h"
#include "maintenance/clean/prcleanfix.h"
#include "maintenance/clean/prcleanremoval.h"
#include "maintenance/clean/prcleanresults.h"
#include "maintenance/clean/prcleanscan.h"
#include "platform/notificationcenter.h"
#include "tests/support/devicejobtesting.h"
#include "tools/devicegen/devicescenario.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

namespace cleantest {

constexpr int kWaitMs = testsupport::kEventWaitMs;

// Arrivals and removals, passed on as the application's own sink does
// ("DeviceConnect" / "DeviceDisConnect").
class Notify : public amd::DeviceNotify
{
public:
    void deviceAdded(int id) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_added.push_back(id);
        }
        m_changed.notify_all();
        m_post.deviceAdded(id);
    }
    void deviceRemoved(int id) override
    {
        m_post.deviceRemoved(id);
        {
            std::lock_guard lock(m_mutex);
            m_removed.push_back(id);
        }
        m_changed.notify_all();
    }
    std::optional<int> waitForArrival(size_t n)
    {
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_for(lock, std::chrono::seconds(30), [&] { return m_added.size() >= n; }))
            return std::nullopt;
        return m_added[n - 1];
    }
    bool waitForRemoval(int id)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(30), [&] {
            return std::find(m_removed.begin(), m_removed.end(), id) != m_removed.end();
        });
    }

private:
    amd::PRDeviceNotify m_post;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<int> m_added;
    std::vector<int> m_removed;
};

// The notifications of one test, in order (posted on the GUI thread).
class Recorder
{
public:
    Recorder()
    {
        for (const char *name : {"CleanFileProgressInfo", "AddCleanFileSizeThreadProgressInfo", "CleanFilehasFinished",
                                 "CleanJunkFilesSize", "CleanCacheFilesSize", "CleanCookFilesSize"}) {
            NotificationCenter::defaultCenter().addObserver(this, QLatin1String(name), [this](const Notification &n) {
                std::lock_guard lock(m_mutex);
                m_seen.push_back(n);
            });
        }
    }
    ~Recorder() { NotificationCenter::defaultCenter().removeObserver(this); }

    std::vector<Notification> named(const QString &name) const
    {
        std::lock_guard lock(m_mutex);
        std::vector<Notification> out;
        for (const Notification &n : m_seen) {
            if (n.name == name)
                out.push_back(n);
        }
        return out;
    }
    QList<int> progress() const
    {
        QList<int> out;
        for (const Notification &n : named(QStringLiteral("CleanFileProgressInfo")))
            out.append(n.object.toInt());
        return out;
    }
    std::vector<QString> names() const
    {
        std::lock_guard lock(m_mutex);
        std::vector<QString> out;
        for (const Notification &n : m_seen)
            out.push_back(n.name);
        return out;
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_seen.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Notification> m_seen;
};

class CleanTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_scenarios = new QTemporaryDir;
        s_expect = new devicegen::CleanerExpectation;
        QString error;
        ASSERT_TRUE(devicegen::writeCleanerScenario({scenario(), 0, 0, true}, s_expect, &error)) << qPrintable(error);
    }
    static void TearDownTestSuite()
    {
        delete s_scenarios;
        s_scenarios = nullptr;
        delete s_expect;
        s_expect = nullptr;
    }
    static QString scenario() { return s_scenarios->filePath(QStringLiteral("cleaner")); }
    static const devicegen::CleanerExpectation &expect() { return *s_expect; }
    static QTemporaryDir &scratch() { return *s_scenarios; }

    void SetUp() override
    {
        backend = std::make_shared<amd::SimulatedBackend>();
        m_previous = amd::setDeviceBackend(backend);
        DeviceManager::instance().setNotify(&notify);
        ASSERT_EQ(DeviceManager::instance().subscribe(), 0);
        results = std::make_unique<PRCleanResults>();
        scan = std::make_unique<PRCleanScan>(results.get());
        removal = std::make_unique<PRCleanRemoval>(results.get());
        recorder = std::make_unique<Recorder>();
    }
    void TearDown() override
    {
        recorder.reset();
        scan.reset();
        removal.reset();
        results.reset();
        EXPECT_TRUE(devjobs::JobRegistry::instance().waitForIdle(std::chrono::milliseconds(kWaitMs)));
        DeviceManager::instance().unsubscribe();
        DeviceManager::instance().setNotify(nullptr);
        amd::setDeviceBackend(m_previous);
    }

    int plug(const QString &folder, amd::DeviceHandle *handle = nullptr,
             const amd::SimulatedBackend::PlugOptions &options = {})
    {
        const amd::DeviceHandle plugged = backend->plug(folder, options);
        EXPECT_NE(plugged, 0u) << qPrintable(backend->errorString());
        if (handle)
            *handle = plugged;
        const auto id = notify.waitForArrival(++m_arrivals);
        EXPECT_TRUE(id.has_value());
        return id.value_or(-1);
    }

    // Runs a scan to its end; its report.
    PRCleanScanReport scanToEnd(int deviceId)
    {
        QSignalSpy ended(scan.get(), &PRCleanScan::scanEnded);
        EXPECT_TRUE(scan->showPhoneClean(deviceId));
        EXPECT_TRUE(ended.wait(kWaitMs));
        return ended.isEmpty() ? PRCleanScanReport{} : ended.first().first().value<PRCleanScanReport>();
    }

    // Runs a removal to its end; its report.
    PRCleanRemovalReport removeToEnd(const PRCleanRemovalRequest &request)
    {
        QSignalSpy ended(removal.get(), &PRCleanRemoval::removalEnded);
        EXPECT_TRUE(removal->start(request));
        EXPECT_TRUE(ended.wait(kWaitMs));
        return ended.isEmpty() ? PRCleanRemovalReport{} : ended.first().first().value<PRCleanRemovalReport>();
    }

    // What the device jobs posted to the results before now has arrived: a
    // phone's removal, once the notifier heard it, has reached them or never
    // will.
    void deliverPosted()
    {
        bool delivered = false;
        QMetaObject::invokeMethod(results.get(), [&delivered] { delivered = true; }, Qt::QueuedConnection);
        EXPECT_TRUE(QTest::qWaitFor([&delivered] { return delivered; }, kWaitMs));
    }

    // The container of an app in the plugged phone's private copy.
    QString containerOf(amd::DeviceHandle handle, const QString &bundleId) const
    {
        return backend->workFolder(handle) + QStringLiteral("/containers/") + bundleId;
    }

    std::shared_ptr<amd::SimulatedBackend> backend;
    Notify notify;
    std::unique_ptr<PRCleanResults> results;
    std::unique_ptr<PRCleanScan> scan;
    std::unique_ptr<PRCleanRemoval> removal;
    std::unique_ptr<Recorder> recorder;

private:
    static inline QTemporaryDir *s_scenarios = nullptr;
    static inline devicegen::CleanerExpectation *s_expect = nullptr;
    std::shared_ptr<amd::DeviceBackend> m_previous;
    size_t m_arrivals = 0;
};

inline const QString kAlpha = QStringLiteral("com.ostra.clean.alpha");
inline const QString kBeta = QStringLiteral("com.ostra.clean.beta");

} // namespace cleantest
