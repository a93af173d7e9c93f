#pragma once

#include <QByteArray>

// A look at a property list before libplist is given it.
//
// libplist 2.2 builds and frees its tree recursively, one stack frame per
// nesting level, and reads a binary list's shared sub-objects once per
// reference; so the nesting and the size of the tree it builds are chosen by
// whoever wrote the list. This pre-scan keeps both within bounds without
// building anything: it walks the text (XML) or the object table (binary)
// iteratively, in time linear in the size of the data.
namespace PlistBounds {

// Real lists nest a few dozen levels; a tree deeper than this is broken.
constexpr int kMaxDepth = 256;

// True when data may be handed to plist_from_memory(): its dictionaries and
// arrays nest at most maxDepth deep, and, for a binary list, reading it visits
// no more than one object per two bytes of data (plus a few, for small lists).
// False for anything else, including data libplist would not read either (the
// scan only answers for what it understands: a format it does not know is
// refused).
bool check(const QByteArray &data, int maxDepth = kMaxDepth);

} // namespace PlistBounds
