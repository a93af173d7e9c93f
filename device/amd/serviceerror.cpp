#include "device/amd/serviceerror.h"

#include "device/devicebackend.h"

namespace amd {

ServiceError ServiceError::fromBackend(int code)
{
    using K = Kind;
    switch (code) {
    case kBackendOk: return {};
    case kBackendNoDevice: return ServiceError(K::PhoneGone, code);
    case kBackendNotConnected: return ServiceError(K::BrokenConnection, code);
    case kBackendInvalidArgument: return ServiceError(K::InvalidArgument, code);
    case kBackendUnsupported: return ServiceError(K::Unsupported, code);
    case kBackendIoError: return ServiceError(K::BrokenConnection, code);
    case kBackendTimeout: return ServiceError(K::Stalled, code);
    case kBackendNotFound: return ServiceError(K::NotFound, code);
    case kBackendPairingFailed: return ServiceError(K::NotTrusted, code);
    // The phone would not open a session or start the service it was asked for.
    case kBackendSessionFailed:
    case kBackendServiceFailed: return ServiceError(K::Refused, code);
    case kBackendTrustPending: return ServiceError(K::TrustPending, code);
    case kBackendPasscodeLocked: return ServiceError(K::Locked, code);
    case kBackendTrustDenied: return ServiceError(K::TrustDenied, code);
    default: break;
    }
    return ServiceError(K::Refused, code, deviceBackend().errorText(code));
}

} // namespace amd
