#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <optional>

namespace standin {

// The Info.plist of the package open on fd (a zip holding
// Payload/<name>.app/Info.plist); the descriptor is closed. Nothing when it
// is no zip or holds no such list.
std::optional<QVariantMap> packageInfo(int fd);

// The Info.plist of an app bundle folder.
std::optional<QVariantMap> bundleInfo(const QString &bundleFolder);

} // namespace standin
