#pragma once

// What the file browser's tests share: the simulated phone installed as the
// process backend, the device manager subscribed to it, and one generated
// scenario per suite (each plug works on a private copy, which a test may
// change: its media/ folder is the phone's media area).

#include "device/amd/devicemanager.h"
#include "device/amd/devicenotify.h"
#include "device/devicebackend.h"
#include "device/simulated/simulatedbackend.h"
#include "filebrowser/prbrowseractions.h"
#include "tests/support/devicejobtesting.h"
#include "tools/devicegen/devicescenario.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

namespace systemtest {

constexpr auto kDeadline = std::chrono::milliseconds(testsupport::kEventWaitMs);

// Arrivals and removals as the manager reports them, a removal handed on
// to the device jobs' registry too.
class RecordingNotify : public testsupport::JobsNotify
{
public:
    RecordingNotify()
        : testsupport::JobsNotify(std::chrono::duration_cast<std::chrono::seconds>(kDeadline))
    {
    }
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

    // Plugs the suite's scenario; the manager's id for it.
    int plug(amd::DeviceHandle *handle = nullptr, const amd::SimulatedBackend::PlugOptions &options = {})
    {
        const amd::DeviceHandle plugged = backend->plug(scenario(), options);
        EXPECT_NE(plugged, 0u) << qPrintable(backend->errorString());
        if (handle)
            *handle = plugged;
        const auto id = notify.waitForArrival(++m_arrivals);
        EXPECT_TRUE(id.has_value());
        return id.value_or(-1);
    }
    // The phone's media area on disk (the private copy).
    QString media(amd::DeviceHandle handle) const { return backend->workFolder(handle) + QStringLiteral("/media"); }

    // Files and folders below folder, links left out: what a walk must find.
    static qint64 countEntries(const QString &folder)
    {
        qint64 n = 0;
        QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            ++n;
        }
        return n;
    }

    static QByteArray bytes(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A whole walk, its entries in the order handed over.
    struct Walked
    {
        PRBrowserWalk::Report report;
        QList<PRPathEntryBatch> batches;
        QStringList paths;
        qsizetype indexOf(const QString &path) const { return paths.indexOf(path); }
    };
    // As the page walks: a job of the phone, the batches handed over on it.
    static Walked walk(int deviceId, const PRBrowserWalk::Limits &limits = {})
    {
        Walked walked;
        const PRBrowserDevice device = PRBrowserDevice(deviceId);
        devjobs::JobError error;
        PRBrowserWalk::Plan plan;
        plan.limits = limits;
        const PRBrowserWalk::Report report = testsupport::runJob(
            deviceId,
            [&](devjobs::JobControl &job) {
                return PRBrowserWalk::walk(
                    device, plan,
                    [&](PRPathEntryBatch batch) {
                        for (const PRPathEntry &entry : batch.entries)
                            walked.paths.append(entry.filePath);
                        walked.batches.append(std::move(batch));
                    },
                    &job);
            },
            &error);
        walked.report = PRBrowserWalk::settled(report, error);
        return walked;
    }
    // The actions as the page runs them: a job of the device's phone.
    template<typename Action>
    static PRBrowserReport act(const PRBrowserDevice &device, Action action)
    {
        devjobs::JobError error;
        const PRBrowserReport report = testsupport::runJob(
            device.deviceId,
            [&](devjobs::JobControl &job) { return action(job); },
            &error);
        return PRBrowserActions::settled(report, error);
    }
    // The UDID the phone of that id gives a job.
    static QString udidOf(int deviceId)
    {
        return testsupport::runJob(deviceId, [](devjobs::JobControl &job) { return job.udid(); });
    }

    std::shared_ptr<amd::SimulatedBackend> backend;
    RecordingNotify notify;

private:
    static inline QTemporaryDir *s_scenarios = nullptr;
    std::shared_ptr<amd::DeviceBackend> m_previous;
    size_t m_arrivals = 0;
};

} // namespace systemtest
