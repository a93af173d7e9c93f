#pragma once

// Generated backups of the notes, call, bookmark and calendar databases and
// what a scan of them posts, as plain property maps.

#include "backup/backupscanner.h"
#include "backup/nodes/prnode.h"
#include "recovery/deletedrecordscanner.h"
#include "tools/samplegen/records/recorddatabases.h"
#include "tools/samplegen/samplebackup.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ctime>
#include <initializer_list>
#include <memory>
#include <optional>

namespace ncctest {

// A posted node: its properties by name, absent values left out.
using Record = QMap<QString, QString>;
using Records = QList<Record>;

class RecordVisitor final : public PropertyVisitor
{
public:
    Record record;
    void text(const char *name, const QString &value) override
    {
        if (!value.isNull())
            record.insert(QLatin1String(name), value);
    }
    void data(const char *, const QByteArray &) override { }
    void integer(const char *name, qint64 value) override
    {
        record.insert(QLatin1String(name), QString::number(value));
    }
    void unsignedInteger(const char *name, quint64 value) override
    {
        record.insert(QLatin1String(name), QString::number(value));
    }
    void flag(const char *, bool) override { }
    void nodeCount(const char *, qsizetype) override { }
};

// Every node posted, by notification name, in posting order.
using Posted = QMap<QString, Records>;

inline void collect(NotificationCenter &center, const void *owner, Posted &posted)
{
    center.addObserver(owner, QString(), [&posted](const Notification &n) {
        if (n.object.metaType() != QMetaType::fromType<PRNodeRef>())
            return;
        RecordVisitor visitor;
        n.object.value<PRNodeRef>()->describe(visitor);
        posted[n.name].append(visitor.record);
    });
}

// The dates the scan prints are local times; the expected ones are UTC.
inline void useUtc()
{
    qputenv("TZ", "UTC");
    tzset();
}

// A backup folder holding only these four producers' databases.
class GeneratedBackup
{
public:
    GeneratedBackup(const QString &version, bool deleted, int scale = 1)
        : m_version(version)
    {
        samplegen::SampleBackupOptions options;
        options.outDir = m_dir.path() + QStringLiteral("/backup");
        options.iosVersion = version;
        options.deleted = deleted;
        options.scale = scale;
        options.keepEntries = false;
        samplegen::SampleBackup backup(options);
        for (auto &producer : samplegen::notesCallsBookmarksCalendarProducers())
            backup.addProducer(std::move(producer));
        m_written = backup.write();
        m_error = backup.errorString();
    }

    bool written() const { return m_written; }
    QString error() const { return m_error; }
    QString folder() const { return m_dir.path() + QStringLiteral("/backup"); }
    const QString &version() const { return m_version; }

    // The whole scan: index, live steps and, when given, the deleted steps.
    Posted scan(std::optional<DeletedRecordScanner::Options> deleted = DeletedRecordScanner::Options{}) const
    {
        NotificationCenter center;
        ScanContext context(center);
        context.IOSVersionIOS6(m_version);
        Posted posted;
        collect(center, &context, posted);
        BackupScanner scanner(center);
        if (deleted)
            scanner.setDeletedRecordSteps(DeletedRecordScanner::steps(*deleted));
        scanner.ScanIOSBackUpFilehand(context, folder());
        center.removeObserver(&context);
        return posted;
    }

    // One deleted-record step on its own, with the generation's flags.
    template <typename Step> Posted scanDeleted(Step step, DeletedRecordScanner::Options options) const
    {
        NotificationCenter center;
        ScanContext context(center);
        context.IOSVersionIOS6(m_version);
        Posted posted;
        collect(center, &context, posted);
        step(context, folder(), options);
        center.removeObserver(&context);
        return posted;
    }

private:
    QTemporaryDir m_dir;
    QString m_version;
    bool m_written = false;
    QString m_error;
};

// Every file below folder with the SHA-1 of its bytes and its time.
inline QMap<QString, QByteArray> fingerprint(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            files.insert(path, QByteArray("unreadable"));
            continue;
        }
        files.insert(path, QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex() + ' '
                               + QByteArray::number(it.fileInfo().lastModified().toMSecsSinceEpoch()));
    }
    return files;
}

// True when some record has every given property with the given value.
inline bool hasRecord(const Records &records, std::initializer_list<std::pair<const char *, QString>> wanted)
{
    for (const Record &r : records) {
        bool all = true;
        for (const auto &[name, value] : wanted) {
            if (r.value(QLatin1String(name)) != value) {
                all = false;
                break;
            }
        }
        if (all)
            return true;
    }
    return false;
}

inline QStringList values(const Records &records, const char *name)
{
    QStringList out;
    for (const Record &r : records)
        out << r.value(QLatin1String(name));
    return out;
}

} // namespace ncctest
