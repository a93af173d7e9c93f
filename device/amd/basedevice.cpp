#include "device/amd/basedevice.h"

#include "device/amd/devicelog.h"

std::mutex gDeviceMutex;

using amd::deviceBackend;
using amd::printDeviceLine;

int BaseDevice::connect()
{
    if (!m_handle)
        return -1;
    gDeviceMutex.lock();
    const int rc = deviceBackend().deviceConnect(m_handle);
    if (rc != 0) {
        printDeviceLine("* Can't connect (%d)\n", rc);
        gDeviceMutex.unlock();
    }
    return rc;
}

int BaseDevice::disconnect()
{
    if (!m_handle)
        return -1;
    const int rc = deviceBackend().deviceDisconnect(m_handle);
    if (rc != 0)
        printDeviceLine("* Can't disconnect (%d)\n", rc);
    gDeviceMutex.unlock();
    return rc;
}

int BaseDevice::validatePairing()
{
    if (!m_handle)
        return -1;
    amd::DeviceBackend &backend = deviceBackend();
    if (backend.deviceValidatePairing(m_handle) == 0)
        return 0;
    const int paired = backend.devicePair(m_handle);
    if (paired == 0 && backend.deviceIsPaired(m_handle) != 0)
        return 0;
    printDeviceLine("* Invalid pair\n");
    // What the user has to do (tap Trust, unlock) goes up as it is.
    return amd::isTrustQuestion(paired) ? paired : 1;
}

int BaseDevice::startSession()
{
    if (!m_handle)
        return -1;
    const int rc = deviceBackend().deviceStartSession(m_handle);
    if (rc != 0)
        printDeviceLine("* Can't start session (%d)\n", rc);
    return rc;
}

int BaseDevice::stopSession()
{
    if (!m_handle)
        return -1;
    const int rc = deviceBackend().deviceStopSession(m_handle);
    if (rc != 0)
        printDeviceLine("* Can't stop session (%d)\n", rc);
    return rc;
}

int BaseDevice::withSession(const std::function<int()> &call)
{
    if (!m_handle)
        return -1;
    const int connected = connect();
    if (connected != 0)
        return connected;
    int rc = validatePairing();
    if (rc == 0) {
        rc = startSession();
        if (rc == 0) {
            rc = call();
            stopSession();
        }
    }
    disconnect();
    return rc;
}
