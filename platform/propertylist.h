#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QVariant>

#include <optional>

// A keyed-archiver object reference (the UID type of binary property lists).
struct PlistUid
{
    quint64 value = 0;
    bool operator==(const PlistUid &) const = default;
};
Q_DECLARE_METATYPE(PlistUid)

// Property lists, XML or binary, as QVariant trees:
//   dict -> QVariantMap, array -> QVariantList, string -> QString,
//   integer -> qint64 (quint64 above the signed range), real -> double,
//   boolean -> bool, data -> QByteArray, date -> QDateTime (UTC),
//   uid -> PlistUid.
namespace PropertyList {

enum class Format { Xml, Binary };

// The root of the list in data, or nothing when data is not a property list or
// nests deeper than PlistBounds allows.
std::optional<QVariant> fromData(const QByteArray &data);

// Real lists (Info.plist, Manifest.plist, Safari's History.plist) stay far below.
constexpr qint64 kDefaultMaxBytes = 16 * 1024 * 1024;

// Reads a whole file; nothing when it is not a regular file (a link, FIFO,
// socket or device counts as missing), is unreadable, holds more than
// maxBytes or is not a property list.
std::optional<QVariant> readFile(const QString &path, qint64 maxBytes = kDefaultMaxBytes);

// The root of readFile() when it is a dictionary; nothing otherwise.
std::optional<QVariantMap> readDictionary(const QString &path);

// Serialises a tree of the types above. Types outside that set are written as
// their string form.
QByteArray toData(const QVariant &root, Format format);

bool writeFile(const QString &path, const QVariant &root, Format format);

} // namespace PropertyList
