#pragma once

#include "tools/samplegen/contentproducer.h"
#include "tools/samplegen/deviceprofile.h"
#include "tools/samplegen/sampleentry.h"

#include <QList>
#include <QString>

#include <memory>
#include <vector>

namespace samplegen {

class IndexWriter;

struct SampleBackupOptions
{
    QString outDir;                     // becomes the backup folder itself
    QString iosVersion = QStringLiteral("10.3");
    enum class Index { Auto, Db, Mbdb } index = Index::Auto;
    bool encrypted = false;
    int scale = 1;                      // the content is multiplied by this
    // The record databases also hold rows deleted with secure_delete off and
    // no vacuum, so that their bytes stay in the pages.
    bool deleted = false;
    // The written entries stay available through entries(). Half a million
    // of them take a few hundred megabytes, so the tool turns this off.
    bool keepEntries = true;
};

// Manifest.db from iOS 10 on, Manifest.mbdb before, unless asked otherwise.
SampleBackupOptions::Index resolvedIndex(SampleBackupOptions::Index requested, const IosVersion &version);

// A synthetic backup folder: Info.plist, Manifest.plist, Status.plist, the
// file index and the stored files. Content comes from producers, which run in
// the order they were added; the index writers never see a producer.
//
//   SampleBackup backup(options);
//   backup.addStandardContent();
//   backup.addProducer(std::make_unique<MyDatabaseProducer>());
//   if (!backup.write()) qWarning() << backup.errorString();
class SampleBackup
{
public:
    explicit SampleBackup(SampleBackupOptions options);
    ~SampleBackup();
    SampleBackup(const SampleBackup &) = delete;
    SampleBackup &operator=(const SampleBackup &) = delete;

    void addProducer(std::unique_ptr<ContentProducer> producer);
    // The media, home, social and app-domain files every sample backup has.
    void addStandardContent();

    // Writes the folder. Once all producers ran, generated filler brings the
    // entry count to `scale` times what they produced. False with
    // errorString() set on bad options, a non-empty folder or a write
    // failure; the folder may then hold part of a backup.
    bool write();

    QString errorString() const { return m_error; }
    const DeviceProfile &device() const { return m_device; }
    // Valid after write().
    QString indexFileName() const { return m_indexFileName; }
    qint64 entryCount() const { return m_entryCount; }
    qint64 storedFileCount() const { return m_storedFileCount; }
    // In write order, domain roots included; empty unless keepEntries.
    const QList<WrittenEntry> &entries() const { return m_entries; }

private:
    bool prepareFolder();
    std::unique_ptr<IndexWriter> makeIndexWriter() const;

    SampleBackupOptions m_options;
    DeviceProfile m_device;
    bool m_versionValid = false;
    std::vector<std::unique_ptr<ContentProducer>> m_producers;

    QString m_error;
    QString m_indexFileName;
    qint64 m_entryCount = 0;
    qint64 m_storedFileCount = 0;
    QList<WrittenEntry> m_entries;
};

} // namespace samplegen
