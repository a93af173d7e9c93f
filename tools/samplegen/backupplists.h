#pragma once

#include "platform/propertylist.h"
#include "tools/samplegen/deviceprofile.h"

#include <QByteArray>
#include <QStringList>
#include <QVariantMap>

namespace samplegen {

// The three property lists at the top of a backup folder. bundleIds are the
// apps whose AppDomain-<id> the backup holds.
namespace BackupPlists {

QVariantMap info(const DeviceProfile &device, const QStringList &bundleIds);
// iTunes wrote Info.plist as XML until the host side moved to binary lists
// around iOS 13.
PropertyList::Format infoFormat(const IosVersion &version);

QVariantMap manifest(const DeviceProfile &device, const QStringList &bundleIds, bool encrypted,
                     const QString &manifestVersion);
QVariantMap status(const DeviceProfile &device, const QString &statusVersion);

// A keybag of tag/length/value items, "VERS" first; the keys are random
// bytes of the right sizes.
QByteArray keyBag(const DeviceProfile &device, bool encrypted);

// An upper-case 8-4-4-4-12 identifier derived from text.
QString uuidFor(const QByteArray &text);

} // namespace BackupPlists

} // namespace samplegen
