#include "device/amd/sbservice.h"

namespace amd {

int SBService::open(int deviceId)
{
    const int rc = BaseService::open(deviceId);
    if (rc != 0)
        return rc;
    return startService(QStringLiteral("com.apple.springboardservices"));
}

int SBService::getIconPNGData(const QString &bundleId, QByteArray *png)
{
    if (png)
        png->clear();
    const QVariantMap request{{QStringLiteral("command"), QStringLiteral("getIconPNGData")},
                              {QStringLiteral("bundleId"), bundleId}};
    if (!sendPlist(request))
        return 1;
    const std::optional<QVariantMap> reply = receivePlist();
    if (!reply)
        return 2;
    const QVariant data = reply->value(QStringLiteral("pngData"));
    if (data.metaType().id() != QMetaType::QByteArray)
        return 2;
    if (png)
        *png = data.toByteArray();
    return 0;
}

} // namespace amd
