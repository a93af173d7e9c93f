#pragma once

#include "backup/shah.h"
#include "tools/samplegen/sampleentry.h"

#include <QString>

namespace samplegen {

// Writes a backup's file index. Entries arrive one at a time between open()
// and finish(); a writer keeps none of them.
class IndexWriter
{
public:
    virtual ~IndexWriter() = default;

    // "Manifest.db" or "Manifest.mbdb".
    virtual QString fileName() const = 0;
    // How the stored files of a backup with this index are laid out.
    virtual StoredFileLayout layout() const = 0;
    // "10.0" / "9.1" (Manifest.plist) and "3.3" / "2.4" (Status.plist).
    virtual QString manifestVersion() const = 0;
    virtual QString statusVersion() const = 0;

    virtual bool open(const QString &path) = 0;
    virtual bool add(const WrittenEntry &entry) = 0;
    virtual bool finish() = 0;

    QString errorString() const { return m_error; }

protected:
    QString m_error;
};

} // namespace samplegen
