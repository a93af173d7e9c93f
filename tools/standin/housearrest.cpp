// House arrest: one plist request {Command: VendContainer | VendDocuments,
// Identifier: bundleId}, answered {Status: Complete} or {Error: ...}; after
// Complete the same connection is the file service on that app's container.
//
// A phone of iOS 8.3 and later vends the whole container only for apps
// installed for development; an App Store app answers VendContainer with
// InstallationLookupFailed, as it does for an app that is not there, and
// VendDocuments only when it shares its documents. The scenario says which
// app does what ("SimulatedHouseArrest": "DocumentsOnly" or "Refused").

#include "tools/standin/services.h"

namespace standin {

void serveHouseArrest(ServiceConnection &connection)
{
    const std::optional<QVariantMap> request = connection.readPlist();
    if (!request)
        return;
    const QString command = request->value(QStringLiteral("Command")).toString();
    const QString bundleId = request->value(QStringLiteral("Identifier")).toString();
    const bool documents = command == QLatin1String("VendDocuments");
    if (!documents && command != QLatin1String("VendContainer")) {
        connection.writePlist(QVariantMap{{QStringLiteral("Error"), QStringLiteral("UnknownCommand")}});
        return;
    }

    const ServiceContext &context = connection.context();
    std::optional<QString> folder;
    {
        const auto lock = lockApps(context);
        const QVariantMap apps = loadApps(context);
        if (isPlainName(bundleId) && apps.contains(bundleId)) {
            const QString access =
                apps.value(bundleId).toMap().value(QStringLiteral("SimulatedHouseArrest")).toString();
            const bool refused = documents ? access == QLatin1String("Refused") : !access.isEmpty();
            if (!refused)
                folder = containerFolder(context, bundleId);
        }
    }
    if (!folder) {
        connection.writePlist(QVariantMap{{QStringLiteral("Error"), QStringLiteral("InstallationLookupFailed")}});
        return;
    }
    if (!connection.writePlist(QVariantMap{{QStringLiteral("Status"), QStringLiteral("Complete")}}))
        return;
    serveAfc(connection, AfcRoot{*folder, documents});
}

} // namespace standin
