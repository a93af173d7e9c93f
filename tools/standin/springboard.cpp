// Springboard services: plist requests {command: ...} (the library sends
// them binary), each answered by one plist, except setIconState, which the
// phone takes without a word.

#include "tools/standin/services.h"

#include <QFile>

namespace standin {

namespace {

// Far above a real icon.
constexpr qint64 kMaxIconBytes = 4 * 1024 * 1024;

} // namespace

void serveSpringboard(ServiceConnection &connection)
{
    while (const std::optional<QVariantMap> request = connection.readPlist()) {
        const QString command = request->value(QStringLiteral("command")).toString();
        QVariant answer;
        if (command == QLatin1String("getIconPNGData")) {
            // An app without an icon gets a dictionary without pngData.
            QVariantMap icon;
            const QString bundleId = request->value(QStringLiteral("bundleId")).toString();
            if (isPlainName(bundleId)) {
                if (const auto png = readRegular(connection.context().root,
                                                 "/icons/" + QFile::encodeName(bundleId) + ".png", kMaxIconBytes))
                    icon.insert(QStringLiteral("pngData"), *png);
            }
            answer = icon;
        } else if (command == QLatin1String("getIconState")) {
            answer = QVariantList();
        } else if (command == QLatin1String("getInterfaceOrientation")) {
            answer = QVariantMap{{QStringLiteral("interfaceOrientation"), 1}}; // portrait
        } else if (command == QLatin1String("setIconState")) {
            continue;
        } else {
            answer = QVariantMap{{QStringLiteral("Error"), QStringLiteral("UnknownCommand")}};
        }
        if (!connection.writePlist(answer))
            return;
    }
}

} // namespace standin
