#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <optional>

// The archive a phone makes of an app when asked to archive it, as the
// simulated phone and the stand-in phone both make it: iTunesMetadata.plist
// naming the app (what an install reads its bundle id from) and
// Payload/<name>.app/Info.plist with the app's attributes, then Container/
// with the container's regular files (links left out). Nothing when it
// would pass the size bound.
namespace amd::sim {

std::optional<QByteArray> appArchive(const QVariantMap &app, const QString &bundleId,
                                     const std::optional<QString> &container, bool withApplication,
                                     bool withDocuments);

} // namespace amd::sim
