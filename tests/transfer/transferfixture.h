#pragma once

// The simulated phone installed as the process backend, the device manager
// subscribed to it, and one generated scenario shared by the tests of a
// suite (each plug works on a private copy of it).

#include "device/amd/devicemanager.h"
#include "device/amd/devicenotify.h"
#include "device/amd/prdevicenotify.h"
#include "device/jobs/devicejob.h"
#include "tests/support/devicejobtesting.h"
#include "device/devicebackend.h"
#include "device/simulated/simulatedbackend.h"
#include "tools/devicegen/devicescenario.h"
#include "transfer/musiclibrary.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

namespace transfertest {

constexpr auto kDeadline = std::chrono::milliseconds(testsupport::kEventWaitMs);

// Arrivals and removals as the manager reports them; a removal also goes on
// as the application hands it on, where the device jobs hear it.
using RecordingNotify = testsupport::JobsNotify;
using testsupport::runJob;

// Waits on a condition with a deadline, for callbacks that come on workers.
class Signal
{
public:
    void notify(std::function<void()> change = {})
    {
        std::lock_guard lock(m_mutex);
        if (change)
            change();
        m_changed.notify_all();
    }
    bool waitFor(const std::function<bool()> &condition)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kDeadline, condition);
    }
    std::mutex &mutex() { return m_mutex; }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

class PhoneTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_scenarios = new QTemporaryDir;
        QString error;
        ASSERT_TRUE(devicegen::writeScenario({scenario(), 1}, nullptr, &error)) << qPrintable(error);
    }
    static void TearDownTestSuite()
    {
        delete s_scenarios;
        s_scenarios = nullptr;
    }
    static QString scenario() { return s_scenarios->filePath(QStringLiteral("phone")); }

    void SetUp() override
    {
        backend = std::make_shared<amd::SimulatedBackend>();
        m_previous = amd::setDeviceBackend(backend);
        DeviceManager::instance().setNotify(&notify);
        ASSERT_EQ(DeviceManager::instance().subscribe(), 0);
    }
    void TearDown() override
    {
        EXPECT_TRUE(devjobs::JobRegistry::instance().waitForIdle(kDeadline));
        DeviceManager::instance().unsubscribe();
        DeviceManager::instance().setNotify(nullptr);
        amd::setDeviceBackend(m_previous);
    }

    // Plugs a scenario and returns the manager's id for it (the n-th arrival
    // of this test).
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

    // A finished load of the phone.
    std::shared_ptr<MusicLibraryLoad> load(int deviceId)
    {
        auto result = std::make_shared<MusicLibraryLoad>(deviceId);
        EXPECT_EQ(result->StartMusicThread(), MusicLibraryLoad::Result::Loaded);
        return result;
    }

    static PRTranMusicNodePtr byTitle(const PRTranMusicList &list, const QString &title)
    {
        for (const auto &node : list) {
            if (node->musicTitle == title)
                return node;
        }
        return nullptr;
    }

    static QByteArray bytes(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    std::shared_ptr<amd::SimulatedBackend> backend;
    RecordingNotify notify;

private:
    static inline QTemporaryDir *s_scenarios = nullptr;
    std::shared_ptr<amd::DeviceBackend> m_previous;
    size_t m_arrivals = 0;
};

} // namespace transfertest
