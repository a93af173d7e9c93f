#pragma once

#include <QString>
#include <QVariantMap>

// What the status page's storage bar and its labels show, worked out apart
// from the widgets.
//
// The phone reports its capacity and free space; a phone that reports a
// capacity of 0, or more free space than capacity, gets an empty bar rather
// than infinite fractions or a wrapped difference.
namespace StorageBoard {

struct UsedFree
{
    float used = 0;   // fraction of the capacity in use, 0..1
    float free = 0;   // fraction free, 0..1
    QString usedText; // size text of (capacity - free), never negative
};

UsedFree usedFree(quint64 capacity, quint64 available);

// The five byte counts of the media-library metrics, 0 where missing.
struct Metrics
{
    quint64 apps = 0;
    quint64 music = 0;
    quint64 movie = 0;
    quint64 photo = 0;
    quint64 cameraRoll = 0;
};

Metrics readMetrics(const QVariantMap &metrics);

// Fractions of the capacity per segment, in drawing order, and the labels.
struct Segments
{
    float music = 0, photo = 0, video = 0, app = 0, others = 0;
    QString photoText, musicText, movieText, appText, otherText;
};

Segments segments(const Metrics &metrics, quint64 capacity, quint64 available);

} // namespace StorageBoard
