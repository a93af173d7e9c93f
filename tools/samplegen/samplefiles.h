#pragma once

#include "platform/propertylist.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QColor>
#include <QList>
#include <QStringList>
#include <QVariant>

// Bytes of plausible files for content producers. Every function is
// deterministic; an empty result means the bytes could not be made.
namespace samplegen::SampleFiles {

// Real images (a colour gradient), readable by any decoder.
QByteArray jpeg(int width, int height, QColor colour);
QByteArray png(int width, int height, QColor colour);

// ISO media files: an `ftyp` box with the brands of the format, then an
// `mdat` box of payloadBytes pseudo-random bytes. Enough for anything that
// sniffs the type; not playable.
QByteArray quickTimeMovie(int payloadBytes, quint64 seed);  // .MOV
QByteArray mpeg4Video(int payloadBytes, quint64 seed);      // .MP4
QByteArray mpeg4Audio(int payloadBytes, quint64 seed);      // .m4a

// An ID3v2 tag followed by frameCount MPEG-1 layer III frame headers with
// silent frame bodies.
QByteArray mp3(int frameCount);

QByteArray plist(const QVariantMap &root, PropertyList::Format format = PropertyList::Format::Binary);

// A SQLite database file holding what statements create.
QByteArray sqliteDatabase(const QStringList &statements);

} // namespace samplegen::SampleFiles
