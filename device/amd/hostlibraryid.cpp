#include "device/amd/hostlibraryid.h"

#include "device/amd/afcservice.h"

#include <QtEndian>

namespace amd {

namespace {

// The file is a few hundred bytes; only its first 104 matter.
constexpr qint64 kMaxPrefsBytes = 1024 * 1024;

quint32 wordAt(const QByteArray &data, int offset)
{
    return qFromLittleEndian<quint32>(data.constData() + offset);
}

} // namespace

QString hostLibraryIDFromPrefs(const QByteArray &prefs)
{
    if (prefs.size() < 104)
        return QString::fromLatin1(kDefaultHostLibraryID);
    const quint64 high = wordAt(prefs, 24) ^ wordAt(prefs, 100);
    const quint64 low = wordAt(prefs, 20) ^ wordAt(prefs, 96);
    return QString::number((high << 32) | low, 16).toUpper();
}

QString copyHostLibraryID(int deviceId)
{
    QByteArray prefs;
    AfcService afc;
    if (afc.open(deviceId).ok())
        prefs = afc.readWholeFile(QStringLiteral("/iTunes_Control/iTunes/iTunesPrefs"), kMaxPrefsBytes).valueOr({});
    return hostLibraryIDFromPrefs(prefs);
}

} // namespace amd
