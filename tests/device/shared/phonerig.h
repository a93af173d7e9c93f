#pragma once

// One phone, two backends: the simulated one, and libimobiledevice talking to
// the stand-in iPhone over a private usbmuxd socket. Both read the same
// scenario folder and act out the same faults, so the device layer's tests
// run unchanged on either.

#include "tests/support/eventwait.h"
#include "tests/device/simulated/simulatedscenario.h"
#include "tests/support/recordingnotify.h"

#include "device/amd/devicemanager.h"
#include "device/imobiledevice/imobiledevicebackend.h"
#include "tools/standin/standinphone.h"

#include <QTemporaryDir>

#include <atomic>
#include <memory>
#include <thread>

namespace rig {

enum class Backend { Simulated, StandIn };

// What the phone does wrong.
struct Faults
{
    qint64 leaveAfterBytes = -1; // the phone leaves once a copy moved this many bytes
    QStringList refusedServices; // StartService refuses these
    bool cutIconReply = false;   // the springboard's first reply stops halfway
};

// Removes the phone after a byte budget of file data, as the stand-in's
// "LeaveAfterBytes" does: the copy moves exactly that much, then the phone
// is gone.
class LeavingSimulatedBackend : public amd::SimulatedBackend
{
public:
    std::atomic<qint64> budget{-1};
    std::atomic<amd::DeviceHandle> device{0};

    int afcFileRefRead(amd::AfcConnection c, amd::AfcFileRef f, char *buffer, quint32 *length) override
    {
        clamp(length);
        const int rc = SimulatedBackend::afcFileRefRead(c, f, buffer, length);
        spend(rc == 0 ? *length : 0);
        return rc;
    }
    int afcFileRefWrite(amd::AfcConnection c, amd::AfcFileRef f, const char *data, quint32 length,
                        quint32 *written) override
    {
        clamp(&length);
        quint32 done = 0;
        const int rc = SimulatedBackend::afcFileRefWrite(c, f, data, length, &done);
        if (written)
            *written = done;
        spend(done);
        return rc;
    }

private:
    void clamp(quint32 *length) const
    {
        const qint64 left = budget;
        if (left >= 0 && qint64(*length) > left)
            *length = quint32(left);
    }
    void spend(quint32 count)
    {
        if (budget < 0 || (budget -= count) > 0)
            return;
        budget = -1;
        unplug(device);
    }
};

// True once condition holds, polled until a deadline (a generous one unless
// the test means to show that something does not happen).
template<typename Condition>
bool eventually(Condition condition, int deadlineMs = testsupport::kEventWaitMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The process's backend, and the phone behind it.
class PhoneRig
{
public:
    explicit PhoneRig(Backend backend) : m_kind(backend) {}
    ~PhoneRig()
    {
        // The stand-in first: the library's connections to it end before the
        // backend goes.
        m_standIn.stop();
        amd::setDeviceBackend(m_previous);
    }
    PhoneRig(const PhoneRig &) = delete;
    PhoneRig &operator=(const PhoneRig &) = delete;

    bool install()
    {
        if (m_kind == Backend::Simulated) {
            m_simulated = std::make_shared<LeavingSimulatedBackend>();
            m_previous = amd::setDeviceBackend(m_simulated);
            return true;
        }
        const QString socket = m_dir.filePath(QStringLiteral("usbmuxd.sock"));
        if (!m_standIn.start(socket, m_dir.filePath(QStringLiteral("records"))))
            return false;
        qputenv("USBMUXD_SOCKET_ADDRESS", "UNIX:" + socket.toUtf8());
        m_imobiledevice = std::make_shared<amd::ImobiledeviceBackend>();
        m_previous = amd::setDeviceBackend(m_imobiledevice);
        return true;
    }

    // A phone that trusts this computer already, working on workFolder.
    bool plug(const QString &scenario, const QString &workFolder, const Faults &faults = {})
    {
        if (m_kind == Backend::Simulated) {
            amd::SimulatedFaults simulated;
            for (const QString &service : faults.refusedServices) {
                const bool houseArrest = service == QLatin1String("com.apple.mobile.house_arrest");
                simulated.failingCalls.insert(houseArrest ? QStringLiteral("deviceStartHouseArrestService")
                                                          : QStringLiteral("deviceStartService"),
                                              amd::kBackendServiceFailed);
            }
            if (faults.cutIconReply)
                simulated.springboardReply = amd::SimulatedFaults::Reply::CutOff;
            m_simulated->budget = faults.leaveAfterBytes;
            m_simulated->device = m_simulated->plug(scenario, {workFolder, simulated});
            return m_simulated->device != 0;
        }
        standin::PhoneOptions options;
        options.alreadyPaired = true;
        options.workFolder = workFolder;
        options.refusedServices = faults.refusedServices;
        if (faults.leaveAfterBytes >= 0)
            options.serviceOptions.insert(QStringLiteral("LeaveAfterBytes"), faults.leaveAfterBytes);
        if (faults.cutIconReply)
            options.serviceOptions.insert(QStringLiteral("CutReply"), QStringLiteral("com.apple.springboardservices"));
        m_phone = m_standIn.plug(scenario, options);
        return m_phone != 0;
    }

    void unplug()
    {
        if (m_kind == Backend::Simulated)
            m_simulated->unplug(m_simulated->device);
        else
            m_standIn.unplug(m_phone);
    }

    standin::StandIn &standIn() { return m_standIn; }
    quint32 standInPhone() const { return m_phone; }
    amd::ImobiledeviceBackend *imobiledevice() const { return m_imobiledevice.get(); }

private:
    Backend m_kind;
    QTemporaryDir m_dir;
    std::shared_ptr<amd::DeviceBackend> m_previous;
    std::shared_ptr<LeavingSimulatedBackend> m_simulated;
    std::shared_ptr<amd::ImobiledeviceBackend> m_imobiledevice;
    standin::StandIn m_standIn;
    quint32 m_phone = 0;
};

// Arrivals, removals and pairing states as the device manager reports them.
class PhoneEvents : public testsupport::RecordingNotify
{
public:
    PhoneEvents() : RecordingNotify(std::chrono::seconds(30)) {}

    void devicePairingChanged(const QString &udid, amd::PairingState state) override
    {
        std::lock_guard lock(m_mutex);
        m_states.emplace_back(udid, state);
        m_changed.notify_all();
    }
    // True once the phone's n-th state (from 1) came and is state.
    bool waitForState(size_t n, const QString &udid, amd::PairingState state)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(30), [&] { return m_states.size() >= n; })
               && m_states[n - 1] == std::make_pair(udid, state);
    }
    size_t stateCount()
    {
        std::lock_guard lock(m_mutex);
        return m_states.size();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::pair<QString, amd::PairingState>> m_states;
};

// The manager subscribed to the rig's backend for as long as it lives.
class Subscription
{
public:
    explicit Subscription(PhoneEvents &events)
    {
        DeviceManager::instance().setNotify(&events);
        m_subscribed = DeviceManager::instance().subscribe() == 0;
    }
    ~Subscription()
    {
        DeviceManager::instance().unsubscribe();
        DeviceManager::instance().setPairingRetryInterval(DeviceManager::kDefaultPairingRetry);
    }
    bool ok() const { return m_subscribed; }

private:
    bool m_subscribed = false;
};

} // namespace rig
