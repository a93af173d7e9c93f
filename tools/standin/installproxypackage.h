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

// The archive the phone makes of an app: Payload/<name>.app/Info.plist with
// the app's attributes, and Container/ with its container's files (links
// left out). Nothing when it would be too large.
std::optional<QByteArray> archiveOf(const QVariantMap &app, const QString &bundleId,
                                    const std::optional<QString> &container, bool withApplication,
                                    bool withDocuments);

} // namespace standin
