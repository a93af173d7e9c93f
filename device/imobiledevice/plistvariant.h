#pragma once

#include <QVariant>

#include <plist/plist.h>

#include <memory>

// libplist nodes <-> the QVariant trees of platform/propertylist.h (dict ->
// QVariantMap, array -> QVariantList, string -> QString, integer -> qint64,
// real -> double, boolean -> bool, data -> QByteArray, date -> QDateTime UTC,
// uid -> PlistUid).
namespace amd::imd {

struct PlistDeleter
{
    void operator()(plist_t node) const
    {
        if (node)
            plist_free(node);
    }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// Device answers nest only a few levels; deeper trees are cut off there (the
// deeper containers become empty) so a hostile answer cannot exhaust the stack.
constexpr int kMaxPlistDepth = 64;
// Entries read from one dictionary or array of a device answer.
constexpr quint32 kMaxPlistEntries = 1'000'000;

// A null node gives an invalid QVariant.
QVariant toVariant(plist_t node);

// Types outside the set above are written as their string form; an invalid
// QVariant gives a null node.
PlistPtr fromVariant(const QVariant &value);

} // namespace amd::imd
