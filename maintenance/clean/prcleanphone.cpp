#include "maintenance/clean/prcleanphone.h"

#include "device/amd/afcservice.h"

namespace PRCleanPhone {

bool hasLeft(amd::AfcService &service)
{
    if (service.connection() == 0)
        return false;
    return service.fileInfo(QStringLiteral("/")).error().is(amd::ServiceError::Kind::PhoneGone);
}

} // namespace PRCleanPhone
