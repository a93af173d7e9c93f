#include "device/amd/basedevice.h"

#include "device/amd/devicelog.h"

std::mutex gDeviceMutex;

namespace amd {

namespace {

// The session this thread holds, if any: the mutex is not recursive, so a
// second open on the same thread would wait for itself.
thread_local bool t_inSession = false;

} // namespace

DeviceSession::DeviceSession(DeviceHandle handle) : m_handle(handle)
{
    if (!m_handle) {
        m_error = ServiceError(ServiceError::Kind::PhoneGone, kBackendNoDevice);
        return;
    }
    if (t_inSession) {
        printDeviceLine("* A session inside a session\n");
        m_error = ServiceError(ServiceError::Kind::InvalidArgument);
        return;
    }
    m_lock = std::unique_lock(gDeviceMutex);
    t_inSession = true;
    // A destructor does not run for a constructor that throws.
    try {
        open();
    } catch (...) {
        close();
        throw;
    }
}

void DeviceSession::open()
{
    DeviceBackend &backend = deviceBackend();
    if (const int rc = backend.deviceConnect(m_handle); rc != 0) {
        printDeviceLine("* Can't connect (%d)\n", rc);
        m_error = ServiceError::fromBackend(rc);
        return;
    }
    m_connected = true;
    if (m_error = validatePairing(); m_error.failed())
        return;
    if (const int rc = backend.deviceStartSession(m_handle); rc != 0) {
        printDeviceLine("* Can't start session (%d)\n", rc);
        m_error = ServiceError::fromBackend(rc);
        return;
    }
    m_started = true;
}

DeviceSession::~DeviceSession()
{
    close();
}

void DeviceSession::close() noexcept
{
    if (!m_lock.owns_lock())
        return;
    DeviceBackend &backend = deviceBackend();
    if (m_started) {
        if (const int rc = backend.deviceStopSession(m_handle); rc != 0)
            printDeviceLine("* Can't stop session (%d)\n", rc);
    }
    if (m_connected) {
        if (const int rc = backend.deviceDisconnect(m_handle); rc != 0)
            printDeviceLine("* Can't disconnect (%d)\n", rc);
    }
    m_started = false;
    m_connected = false;
    t_inSession = false;
    m_lock.unlock();
}

ServiceError DeviceSession::validatePairing()
{
    DeviceBackend &backend = deviceBackend();
    if (backend.deviceValidatePairing(m_handle) == 0)
        return {};
    const int paired = backend.devicePair(m_handle);
    if (paired == 0 && backend.deviceIsPaired(m_handle) != 0)
        return {};
    printDeviceLine("* Invalid pair\n");
    // What the user has to do (tap Trust, unlock) goes up as it is, and so
    // does a phone that left meanwhile.
    if (isTrustQuestion(paired) || paired == kBackendNoDevice)
        return ServiceError::fromBackend(paired);
    return ServiceError(ServiceError::Kind::NotTrusted, paired != 0 ? paired : int(kBackendPairingFailed));
}

} // namespace amd

amd::ServiceError BaseDevice::withSession(const std::function<amd::ServiceError()> &call) const
{
    const amd::DeviceSession session(m_handle);
    if (!session.isOpen())
        return session.error();
    return call();
}
