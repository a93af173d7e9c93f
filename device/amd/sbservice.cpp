#include "device/amd/sbservice.h"

namespace amd {

ServiceError SBService::open(int deviceId)
{
    if (ServiceError error = BaseService::open(deviceId); error.failed())
        return error;
    return startService(QStringLiteral("com.apple.springboardservices"));
}

ServiceError SBService::getIconPNGData(const QString &bundleId, QByteArray *png)
{
    if (png)
        png->clear();
    const QVariantMap request{{QStringLiteral("command"), QStringLiteral("getIconPNGData")},
                              {QStringLiteral("bundleId"), bundleId}};
    if (ServiceError error = sendPlist(request); error.failed())
        return error;
    const Result<QVariantMap> reply = receivePlist();
    if (!reply)
        return reply.error();
    const QVariant data = reply->value(QStringLiteral("pngData"));
    if (data.metaType().id() != QMetaType::QByteArray)
        return ServiceError(ServiceError::Kind::BadReply);
    if (png)
        *png = data.toByteArray();
    return {};
}

} // namespace amd
