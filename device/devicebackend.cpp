#include "device/devicebackend.h"

#include "device/backup/idevicebackup2runner.h"
#include "device/defaultbackend.h"

#include <mutex>

namespace amd {

namespace {

std::mutex s_backendMutex;
std::shared_ptr<DeviceBackend> s_backend;

} // namespace

QString backendErrorText(int code)
{
    switch (code) {
    case kBackendOk: return QStringLiteral("no error");
    case kBackendNoDevice: return QStringLiteral("the device is no longer connected");
    case kBackendNotConnected: return QStringLiteral("no connection to the device");
    case kBackendInvalidArgument: return QStringLiteral("invalid argument");
    case kBackendUnsupported: return QStringLiteral("not supported by this device or computer");
    case kBackendIoError: return QStringLiteral("the connection to the device broke off");
    case kBackendTimeout: return QStringLiteral("the device did not answer in time");
    case kBackendNotFound: return QStringLiteral("not found on the device");
    case kBackendPairingFailed: return QStringLiteral("the device does not trust this computer");
    case kBackendSessionFailed: return QStringLiteral("no session could be started on the device");
    case kBackendServiceFailed: return QStringLiteral("the device service could not be started");
    case kBackendTrustPending: return QStringLiteral("the iPhone is waiting for the user to tap Trust");
    case kBackendPasscodeLocked: return QStringLiteral("the iPhone is locked with a passcode");
    case kBackendTrustDenied: return QStringLiteral("the user chose not to trust this computer");
    default: break;
    }
    const QString words = deviceBackend().errorText(code);
    return words.isEmpty() ? QStringLiteral("error %1").arg(code) : words;
}

QString DeviceBackend::errorText(int) const
{
    return {};
}

int DeviceBackend::deviceStartHouseArrestDocuments(DeviceHandle, const QString &, ServiceSocket *socket)
{
    if (socket)
        *socket = 0;
    return kBackendUnsupported;
}

std::unique_ptr<DeviceBackupRunner> DeviceBackend::makeBackupRunner()
{
    return std::make_unique<Idevicebackup2Runner>();
}

DeviceBackend &deviceBackend()
{
    std::lock_guard lock(s_backendMutex);
    if (!s_backend)
        s_backend = makeDefaultDeviceBackend();
    return *s_backend;
}

std::shared_ptr<DeviceBackend> setDeviceBackend(std::shared_ptr<DeviceBackend> backend)
{
    std::lock_guard lock(s_backendMutex);
    return std::exchange(s_backend, std::move(backend));
}

} // namespace amd
