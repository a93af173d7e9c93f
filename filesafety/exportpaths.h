#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// File and folder names for an export, made from what a backup holds.
//
// Record texts and backup paths come from the phone: a contact called
// "../../.bashrc" or a stored path with ".." pieces must never name a file
// outside the chosen folder, and two records of one name must not overwrite
// each other. An export never replaces a file that is already there.
namespace PRExportPaths {

// The name an export sheet proposes: "Ostra 2026-12-08 - 02.14.23" (the
// time's colons would not do in a folder name).
QString proposedExportName(const QDateTime &now);

// One file or folder name made from record text: the last '/'-separated piece is NOT taken; instead every '/', '\\'
// and NUL becomes '_', control and format characters (withoutFormatCharacters) are dropped, leading/trailing blanks
// trimmed, and the name is cut to at most 200 UTF-8 bytes without splitting a character, keeping its extension (the
// part from the last dot, when it is at most 24 bytes without blanks) and cutting the stem. An empty result, or one
// made of dots alone (with or without blanks: ".", "..", "...", ". ."), gives fallback.
QString safeComponent(const QString &name, const QString &fallback);

// text without the invisible characters that change how a name reads: format characters (bidirectional overrides
// and isolates, zero-width characters, the byte-order mark, soft hyphen: Unicode category Cf) and line and paragraph
// separators. A right-to-left override makes "\u202eFDP.exe.vcf" show as "fcv.exe.PDF". For names shown to the user
// as well as names written.
QString withoutFormatCharacters(const QString &text);

// A relative path from record text (domain/relative path of a backup file): split at '/', pieces "", "." and ".."
// and pieces that clean to nothing dropped, each remaining piece through safeComponent, a piece of dots alone
// ("...", a name and not a step) becoming fallback ("_" when that is empty); joined with '/'; empty result gives
// fallback.
QString safeRelativePath(const QString &path, const QString &fallback);

// A phone's path mirrored below an export folder: split at '/', "" "." and ".." dropped, a hidden name shown
// without its first dot (as the device trees show it: ".profile" is "profile", "..x" is ".x"), each name through
// safeComponent with fallback. A name is never dropped, so no file lands in the folder above its own: "/a/..."
// gives "a/<fallback>", never "a".
QString mirroredRelativePath(const QString &devicePath, const QString &fallback);

// Whether path lies inside root (both made absolute and cleaned; an existing prefix of path resolved through
// symlinks with QFileInfo::canonicalFilePath so a symlinked folder cannot lead outside).
bool isInside(const QString &root, const QString &path);

// path when nothing exists there; else the first free of "stem 2.ext", "stem 3.ext", ... in the same folder
// (ext = everything after the FIRST dot of the file name, so "clip.mov.mov" gives "clip 2.mov.mov"; a name starting
// with a dot has no stem split there).
QString uniquePath(const QString &path);

// Writes bytes to path atomically (QSaveFile) but never replaces an existing file: the name is made unique first.
// Returns the path written, or an empty string on failure (nothing left behind).
QString writeNewFile(const QString &path, const QByteArray &bytes);

// Takes a name before its content is known: an empty file made with an exclusive create at path or, when that is
// taken, at the free name uniquePath gives. Returns the path claimed, or empty.
QString claimNewFile(const QString &path);

// Writes bytes atomically (QSaveFile) over claimed, a file claimNewFile made: the only file it ever replaces.
// False on failure, the claim then left as it was.
bool fillClaimedFile(const QString &claimed, const QByteArray &bytes);

// The same for a file's content, streamed from source (a regular file), so that a large file is never held in
// memory.
bool fillClaimedFileFrom(const QString &claimed, const QString &source);

// The longest name safeComponent gives, in UTF-8 bytes: room is left for a counter and an extension below the
// 255 bytes a Linux file system allows.
inline constexpr int maxComponentBytes = 200;

} // namespace PRExportPaths
