#include "filesafety/filecopy.h"

#include "filesafety/exportpaths.h"
#include "platform/regularfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <sys/stat.h>

// The texts keep the results export's translation context, where they were
// first written.
namespace PRFileCopy {

CopyOutcome copyFile(const QString &source, const QString &target, QByteArray &buffer,
                     const std::function<bool()> &keepGoing)
{
    CopyOutcome out;
    // Only a regular file, decided on the open descriptor: a link, a pipe or
    // a device reads as a missing file.
    const RegularFile::Descriptor descriptor = source.isEmpty() ? RegularFile::Descriptor() : RegularFile::open(source);
    QFile in;
    if (!descriptor.isValid()
        || !in.open(descriptor.fd(), QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle)) {
        out.reason = QCoreApplication::translate("PRExportRun", "The file %1 could not be read.").arg(source);
        return out;
    }
    // Never more is read than the open saw.
    const qint64 expected = descriptor.size();

    // Claimed with an exclusive create: a name taken in between is passed
    // over, never replaced.
    QFile file;
    for (int attempt = 0;; ++attempt) {
        out.path = PRExportPaths::uniquePath(target);
        file.setFileName(out.path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            break;
        if (attempt >= 16 || !QFileInfo::exists(out.path)) {
            out.reason = QCoreApplication::translate("PRExportRun", "The file could not be created: %1").arg(file.errorString());
            out.path.clear();
            return out;
        }
    }

    const auto abandon = [&](CopyStatus status, const QString &reason) {
        file.close();
        QFile::remove(out.path);
        out.status = status;
        out.reason = reason;
        out.path.clear();
        return out;
    };

    if (buffer.size() < copyChunk)
        buffer.resize(copyChunk);
    qint64 copied = 0;
    for (;;) {
        if (keepGoing && !keepGoing())
            return abandon(CopyStatus::Cancelled, QCoreApplication::translate("PRExportRun", "Cancelled."));
        if (copied == expected)
            break;
        const qint64 got = in.read(buffer.data(), std::min<qint64>(copyChunk, expected - copied));
        if (got < 0)
            return abandon(CopyStatus::Failed, QCoreApplication::translate("PRExportRun", "Reading %1 failed: %2").arg(source, in.errorString()));
        if (got == 0)
            break;
        if (file.write(buffer.constData(), got) != got)
            return abandon(CopyStatus::Failed, QCoreApplication::translate("PRExportRun", "Writing failed: %1").arg(file.errorString()));
        copied += got;
    }
    // Shrunk, or grown since the open: the copy would not be the file that was opened.
    struct stat now{};
    if (copied != expected || ::fstat(descriptor.fd(), &now) != 0 || qint64(now.st_size) != expected)
        return abandon(CopyStatus::Failed,
                       QCoreApplication::translate("PRExportRun", "The file %1 changed while it was copied (%2 of %3 bytes).").arg(source).arg(copied).arg(expected));
    file.close();
    if (file.error() != QFileDevice::NoError)
        return abandon(CopyStatus::Failed, QCoreApplication::translate("PRExportRun", "Writing failed: %1").arg(file.errorString()));
    if (QFileInfo(out.path).size() != expected)
        return abandon(CopyStatus::Failed, QCoreApplication::translate("PRExportRun", "The copy has the wrong size."));
    out.status = CopyStatus::Copied;
    out.bytes = copied;
    return out;
}

} // namespace PRFileCopy
