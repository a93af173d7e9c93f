#pragma once

#include <QByteArray>
#include <QString>

namespace amd {

// Used when the device has no usable iTunes preferences file.
inline constexpr char kDefaultHostLibraryID[] = "3E91C07A5D2B8F46";

// The media-library host identifier of a device, from its
// "/iTunes_Control/iTunes/iTunesPrefs" (read over the file service), or the
// default one.
QString copyHostLibraryID(int deviceId);

// The identifier from the file's bytes: words (32-bit little-endian) at 20,
// 24, 96 and 100 give high = w24 ^ w100 and low = w20 ^ w96, printed in
// upper-case hexadecimal without leading zeros. Default when shorter than 104.
QString hostLibraryIDFromPrefs(const QByteArray &prefs);

} // namespace amd
