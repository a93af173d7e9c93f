#pragma once

#include "tools/samplegen/sampleentry.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace samplegen {

struct SampleBackupOptions;
struct DeviceProfile;

// splitmix64: a fixed, published algorithm, so that the same seed gives the
// same bytes with every compiler and standard library.
class SampleRandom
{
public:
    explicit SampleRandom(quint64 seed) : m_state(seed) {}

    quint64 next();
    QByteArray bytes(qsizetype count);

    // A seed from a name (FNV-1a), so each producer draws from its own
    // stream and adding a producer leaves the others' output unchanged.
    static quint64 seedFor(QByteArrayView name);

private:
    quint64 m_state;
};

// Where producers put their entries. Entries are written as they arrive, so a
// producer never needs to hold more than one entry in memory.
class EntrySink
{
public:
    virtual ~EntrySink() = default;

    // Writes the entry's stored file and index record. The root directory
    // of each domain is added on its first use, so producers never add it;
    // a directory added again is skipped, while a file or link added again
    // is an error. False once the backup cannot be completed (the first
    // error is kept); producers may stop early then.
    virtual bool add(const SampleEntry &entry) = 0;
    // Ends the backup with an error, e.g. when content cannot be made.
    virtual void fail(const QString &message) = 0;
    virtual bool failed() const = 0;
    // Index records so far, domain roots included.
    virtual qint64 entryCount() const = 0;

    bool addFile(const QString &domain, const QString &path, const QByteArray &content)
    {
        return add(SampleEntry::file(domain, path, content));
    }
    bool addDirectory(const QString &domain, const QString &path)
    {
        return add(SampleEntry::directory(domain, path));
    }
};

struct ProducerContext
{
    const SampleBackupOptions &options;
    const DeviceProfile &device;
};

// One source of backup content (camera roll, an app's files, a record
// database...). Producers know nothing about the index formats or the
// stored-file layout; they only describe entries.
class ContentProducer
{
public:
    virtual ~ContentProducer() = default;
    virtual QString name() const = 0;
    virtual void produce(const ProducerContext &context, EntrySink &sink) = 0;
};

} // namespace samplegen
