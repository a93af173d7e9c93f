#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// The copy of one regular file to a name of our own below an export folder.
// Shared by every export (results page, transfer, cleaner), so the rules it
// keeps (no replaced file, no link followed, no half copy left) are kept once.
namespace PRFileCopy {

// The largest piece a copy reads and writes at once.
inline constexpr qint64 copyChunk = 8 * 1024 * 1024;

enum class CopyStatus { Copied, Failed, Cancelled };
struct CopyOutcome
{
    CopyStatus status = CopyStatus::Failed;
    // The file written (target, or the free name next to it).
    QString path;
    QString reason;
    qint64 bytes = 0;
};

// Copies source to target, or to the first free name beside it: never
// replaces a file. The source is opened through RegularFile: a link,
// FIFO or device fails as a missing file would. Reads and writes at
// most copyChunk bytes at a time through buffer (grown once, reused),
// never reads past the size the open saw, writes exactly what was read,
// and fails when the source's size is no longer that size at the end.
// On failure or cancel nothing is left at the target. keepGoing is asked
// before each chunk and once more at the end; false cancels.
CopyOutcome copyFile(const QString &source, const QString &target, QByteArray &buffer,
                     const std::function<bool()> &keepGoing = {});

} // namespace PRFileCopy
