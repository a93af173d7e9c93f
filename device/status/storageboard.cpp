#include "device/status/storageboard.h"

#include "backup/textformat.h"

#include <algorithm>
#include <limits>

namespace StorageBoard {

namespace {

// Byte counts from the phone go through signed arithmetic: clamped to what
// a signed 64-bit value holds, so a difference never wraps.
qint64 clampBytes(quint64 bytes)
{
    return qint64(std::min<quint64>(bytes, quint64(std::numeric_limits<qint64>::max())));
}

float fraction(qint64 part, qint64 whole)
{
    if (whole <= 0 || part <= 0)
        return 0;
    return float(std::clamp(double(part) / double(whole), 0.0, 1.0));
}

quint64 physicalSize(const QVariantMap &map, const QString &first, const QString &second = QString())
{
    QVariant v = map.value(first);
    if (!second.isEmpty())
        v = v.toMap().value(second);
    const QVariant size = v.toMap().value(QStringLiteral("_PhysicalSize"));
    bool ok = false;
    const qint64 n = size.toLongLong(&ok);
    return ok && n > 0 ? quint64(n) : 0;
}

} // namespace

UsedFree usedFree(quint64 capacity, quint64 available)
{
    const qint64 total = clampBytes(capacity);
    const qint64 free = clampBytes(available);
    UsedFree out;
    if (total <= 0 || free > total) {
        out.usedText = TextFormat::sizeText(0);
        return out;
    }
    out.used = fraction(total - free, total);
    out.free = fraction(free, total);
    out.usedText = TextFormat::sizeText(quint64(total - free));
    return out;
}

Metrics readMetrics(const QVariantMap &metrics)
{
    Metrics m;
    m.apps = physicalSize(metrics, QStringLiteral("Application"));
    m.music = physicalSize(metrics, QStringLiteral("Media"), QStringLiteral("Music"));
    m.movie = physicalSize(metrics, QStringLiteral("Media"), QStringLiteral("Movie"));
    m.photo = physicalSize(metrics, QStringLiteral("Photo"), QStringLiteral("Photo"));
    m.cameraRoll = physicalSize(metrics, QStringLiteral("Photo"), QStringLiteral("CameraRoll"));
    return m;
}

Segments segments(const Metrics &metrics, quint64 capacity, quint64 available)
{
    const qint64 total = clampBytes(capacity);
    const qint64 free = clampBytes(available);
    const qint64 apps = clampBytes(metrics.apps);
    const qint64 music = clampBytes(metrics.music);
    const qint64 movie = clampBytes(metrics.movie);
    // Photos and the camera roll share one segment; their sum saturates.
    const qint64 photo = clampBytes(quint64(clampBytes(metrics.photo)) + quint64(clampBytes(metrics.cameraRoll)));
    // Every term is at most INT64_MAX, so the sum is computed in long double
    // width and clamped before it comes back.
    const long double rest =
        (long double)total - free - apps - music - movie - photo;
    const qint64 others = rest > 0 ? qint64(std::min<long double>(rest, (long double)total)) : 0;

    Segments s;
    s.music = fraction(music, total);
    s.photo = fraction(photo, total);
    s.video = fraction(movie, total);
    s.app = fraction(apps, total);
    s.others = fraction(others, total);
    s.photoText = QStringLiteral("Photo: %1").arg(TextFormat::sizeText(quint64(photo)));
    s.musicText = QStringLiteral("Music: %1").arg(TextFormat::sizeText(quint64(music)));
    s.movieText = QStringLiteral("Movie: %1").arg(TextFormat::sizeText(quint64(movie)));
    s.appText = QStringLiteral("Apps: %1").arg(TextFormat::sizeText(quint64(apps)));
    s.otherText = QStringLiteral("Others: %1").arg(TextFormat::sizeText(quint64(others)));
    return s;
}

} // namespace StorageBoard
