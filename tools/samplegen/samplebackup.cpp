#include "tools/samplegen/samplebackup.h"

#include "backup/shah.h"
#include "tools/samplegen/backupplists.h"
#include "tools/samplegen/basecontent.h"
#include "tools/samplegen/manifestdbwriter.h"
#include "tools/samplegen/mbdbwriter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <array>

namespace samplegen {

namespace {

constexpr int kMaxScale = 100000;
constexpr qint64 kDay = 86400;

quint16 defaultMode(EntryKind kind)
{
    switch (kind) {
    case EntryKind::File:
        return 0100644;
    case EntryKind::Directory:
        return 040755;
    case EntryKind::Symlink:
        return 0120755;
    }
    return 0;
}

// The part of a stored name a duplicate check needs: 64 of its 160 bits, so
// that half a million entries cost a few megabytes; two different paths
// agreeing in all 64 is not a practical concern.
quint64 nameKey(const QString &storedName)
{
    return storedName.left(16).toULongLong(nullptr, 16);
}

// Writes each entry's stored file, then hands the resolved entry to the
// index writer.
class FolderSink final : public EntrySink
{
public:
    FolderSink(const QString &folder, IndexWriter &index, const SampleBackupOptions &options,
               const DeviceProfile &device, QList<WrittenEntry> *kept)
        : m_folder(folder)
        , m_index(index)
        , m_layout(index.layout())
        , m_encrypted(options.encrypted)
        , m_backupTime(device.backupDate.toSecsSinceEpoch())
        , m_kept(kept)
    {
    }

    void setProducer(const QString &name) { m_producer = name; }

    bool add(const SampleEntry &entry) override
    {
        if (failed())
            return false;
        if (entry.domain.isEmpty()) {
            fail(QStringLiteral("an entry has no domain (path \"%1\")").arg(entry.relativePath));
            return false;
        }
        if (entry.relativePath.isEmpty() && entry.kind != EntryKind::Directory) {
            fail(QStringLiteral("an entry of %1 has no path").arg(entry.domain));
            return false;
        }
        if (!m_domains.contains(entry.domain)) {
            m_domains.insert(entry.domain);
            if (!entry.relativePath.isEmpty() && !addResolved(SampleEntry::directory(entry.domain, QString())))
                return false;
        }
        return addResolved(entry);
    }

    void fail(const QString &message) override
    {
        if (m_error.isEmpty())
            m_error = m_producer.isEmpty() ? message : m_producer + QStringLiteral(": ") + message;
    }
    bool failed() const override { return !m_error.isEmpty(); }
    qint64 entryCount() const override { return m_entryCount; }

    QString error() const { return m_error; }
    qint64 storedFileCount() const { return m_storedFiles; }

    // Apps are the AppDomain-<bundle id> domains, not the group or plug-in
    // containers.
    QStringList bundleIds() const
    {
        static const QLatin1String prefix("AppDomain-");
        QStringList ids;
        for (const QString &domain : m_domains) {
            if (domain.startsWith(prefix))
                ids.append(domain.mid(prefix.size()));
        }
        ids.sort();
        return ids;
    }

private:
    bool addResolved(const SampleEntry &entry)
    {
        WrittenEntry w;
        w.domain = entry.domain;
        w.relativePath = entry.relativePath;
        w.kind = entry.kind;
        w.linkTarget = entry.kind == EntryKind::Symlink ? entry.linkTarget : QString();
        w.storedName = storedFileName(m_digest, entry.domain, entry.relativePath);
        if (w.storedName.isEmpty()) {
            fail(QStringLiteral("cannot name %1/%2").arg(entry.domain, entry.relativePath));
            return false;
        }
        w.storedName += entry.storedNameSuffix;
        w.storedPath = storedFilePath(m_folder, w.storedName, m_layout);
        const quint64 key = nameKey(w.storedName);
        if (m_names.contains(key)) {
            // Producers may each declare the folders they use; a folder is
            // listed once.
            if (entry.kind == EntryKind::Directory && m_directories.contains(key))
                return true;
            fail(QStringLiteral("%1/%2 was added twice").arg(entry.domain, entry.relativePath));
            return false;
        }
        m_names.insert(key);
        if (entry.kind == EntryKind::Directory)
            m_directories.insert(key);
        w.inode = m_nextInode++;
        resolveAttributes(entry, w);

        if (entry.kind == EntryKind::File) {
            w.size = entry.content.size();
            const QByteArray stored = m_encrypted ? encrypted(w) : entry.content;
            w.digest = QCryptographicHash::hash(stored, QCryptographicHash::Sha1);
            if (m_encrypted)
                w.encryptionKey = wrappedKey(w);
            if (entry.writeStoredFile && !writeStoredFile(w, stored))
                return false;
        }
        if (!m_index.add(w)) {
            fail(m_index.errorString());
            return false;
        }
        ++m_entryCount;
        if (m_kept)
            m_kept->append(w);
        return true;
    }

    void resolveAttributes(const SampleEntry &entry, WrittenEntry &w) const
    {
        EntryAttributes &a = w.attributes;
        a = entry.attributes;
        if (a.mode == 0)
            a.mode = defaultMode(entry.kind);
        if (a.protectionClass < 0)
            a.protectionClass = entry.kind == EntryKind::File ? 3 : 0;
        // Spread the times over the half year before the backup, the same
        // way on every run.
        if (a.modified == 0)
            a.modified = m_backupTime - 3600 - qint64(w.inode * 7919 % quint64(180 * kDay));
        if (a.birth == 0)
            a.birth = a.modified - qint64(w.inode % 97) * kDay;
        // Metadata changes (a rename, a permission) come a little later.
        if (a.statusChanged == 0)
            a.statusChanged = a.modified + qint64(w.inode % 600);
    }

    // Stands in for the ciphertext: random bytes, padded to the next whole
    // AES block the way the phone pads.
    QByteArray encrypted(const WrittenEntry &w) const
    {
        SampleRandom random(SampleRandom::seedFor("content:" + w.storedName.toLatin1()));
        return random.bytes((w.size / 16 + 1) * 16);
    }

    // A little-endian protection class and a 40-byte wrapped key.
    QByteArray wrappedKey(const WrittenEntry &w) const
    {
        SampleRandom random(SampleRandom::seedFor("key:" + w.storedName.toLatin1()));
        QByteArray key;
        const quint32 protectionClass = quint32(w.attributes.protectionClass);
        for (int shift = 0; shift < 32; shift += 8)
            key.append(char((protectionClass >> shift) & 0xFF));
        key.append(random.bytes(40));
        return key;
    }

    bool writeStoredFile(WrittenEntry &w, const QByteArray &bytes)
    {
        if (m_layout == StoredFileLayout::Subfolder) {
            const int bucket = w.storedName.left(2).toInt(nullptr, 16);
            if (!m_buckets[std::size_t(bucket)]) {
                if (!QDir(m_folder).mkpath(w.storedName.left(2))) {
                    fail(QStringLiteral("cannot create %1/%2").arg(m_folder, w.storedName.left(2)));
                    return false;
                }
                m_buckets[std::size_t(bucket)] = true;
            }
        }
        QFile file(w.storedPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(bytes) != bytes.size()) {
            fail(QStringLiteral("%1: %2").arg(w.storedPath, file.errorString()));
            return false;
        }
        file.close();
        if (file.error() != QFileDevice::NoError) {
            fail(QStringLiteral("%1: %2").arg(w.storedPath, file.errorString()));
            return false;
        }
        w.storedFileWritten = true;
        w.storedSize = bytes.size();
        ++m_storedFiles;
        return true;
    }

    const QString m_folder;
    IndexWriter &m_index;
    const StoredFileLayout m_layout;
    const bool m_encrypted;
    const qint64 m_backupTime;
    QList<WrittenEntry> *const m_kept;

    SHAH m_digest;
    QString m_producer;
    QString m_error;
    QSet<QString> m_domains;
    QSet<quint64> m_names;
    QSet<quint64> m_directories;
    std::array<bool, 256> m_buckets{};
    quint64 m_nextInode = 120000;
    qint64 m_entryCount = 0;
    qint64 m_storedFiles = 0;
};

// Brings the entry count up to a target with cheap files: mostly camera
// roll photos (64 bytes of text, not images, so that half a million of
// them stay small and quick to write), the rest plain app and home files.
class ScaleFiller final : public ContentProducer
{
public:
    explicit ScaleFiller(qint64 target) : m_target(target) {}

    QString name() const override { return QStringLiteral("scale filler"); }

    void produce(const ProducerContext &, EntrySink &sink) override
    {
        static const QString kCameraRoll = QStringLiteral("CameraRollDomain");
        qint64 photo = 0;
        qint64 other = 0;
        qint64 folder = -1;
        for (qint64 i = 0; sink.entryCount() < m_target && !sink.failed(); ++i) {
            if (i % 5 == 4) {
                addOther(sink, other++);
                continue;
            }
            // A thousand photos a folder, like the phone's DCIM folders.
            const qint64 f = 101 + photo / 1000;
            const QString dir = QStringLiteral("Media/DCIM/%1APPLE").arg(f);
            if (f != folder) {
                folder = f;
                sink.addDirectory(kCameraRoll, dir);
                continue;
            }
            ++photo;
            sink.addFile(kCameraRoll, dir + QStringLiteral("/IMG_%1.JPG").arg(photo, 5, 10, QLatin1Char('0')),
                         filler(photo));
        }
    }

private:
    static QByteArray filler(qint64 n)
    {
        QByteArray text = "ostra sample filler " + QByteArray::number(n) + ' ';
        while (text.size() < 64)
            text += text;
        return text.left(64);
    }

    static void addOther(EntrySink &sink, qint64 n)
    {
        const QString number = QStringLiteral("%1").arg(n, 7, 10, QLatin1Char('0'));
        switch (n % 3) {
        case 0:
            sink.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/Caches/com.apple.generated/") + number
                                                           + QStringLiteral(".dat"),
                         filler(n));
            break;
        case 1:
            sink.addFile(QStringLiteral("AppDomain-com.example.notes"),
                         QStringLiteral("Documents/Archive/note-") + number + QStringLiteral(".txt"), filler(n));
            break;
        default:
            // Extension-less files in a social domain.
            sink.addFile(QStringLiteral("AppDomain-com.facebook.Facebook"),
                         QStringLiteral("Library/Caches/fb_cache/") + number, filler(n));
            break;
        }
    }

    const qint64 m_target;
};

bool setModified(const QString &path, const QDateTime &when)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.setFileTime(when, QFileDevice::FileModificationTime);
}

} // namespace

quint64 SampleRandom::next()
{
    quint64 z = (m_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

QByteArray SampleRandom::bytes(qsizetype count)
{
    QByteArray out(count, Qt::Uninitialized);
    for (qsizetype i = 0; i < count; i += 8) {
        const quint64 v = next();
        for (qsizetype j = 0; j < 8 && i + j < count; ++j)
            out[i + j] = char((v >> (8 * j)) & 0xFF);
    }
    return out;
}

quint64 SampleRandom::seedFor(QByteArrayView name)
{
    quint64 h = 0xCBF29CE484222325ULL;
    for (char c : name) {
        h ^= quint8(c);
        h *= 0x100000001B3ULL;
    }
    return h;
}

SampleEntry SampleEntry::file(const QString &domain, const QString &path, const QByteArray &content)
{
    SampleEntry e;
    e.domain = domain;
    e.relativePath = path;
    e.kind = EntryKind::File;
    e.content = content;
    return e;
}

SampleEntry SampleEntry::directory(const QString &domain, const QString &path)
{
    SampleEntry e;
    e.domain = domain;
    e.relativePath = path;
    e.kind = EntryKind::Directory;
    return e;
}

SampleEntry SampleEntry::symlink(const QString &domain, const QString &path, const QString &target)
{
    SampleEntry e;
    e.domain = domain;
    e.relativePath = path;
    e.kind = EntryKind::Symlink;
    e.linkTarget = target;
    return e;
}

SampleBackupOptions::Index resolvedIndex(SampleBackupOptions::Index requested, const IosVersion &version)
{
    if (requested != SampleBackupOptions::Index::Auto)
        return requested;
    return version.major >= 10 ? SampleBackupOptions::Index::Db : SampleBackupOptions::Index::Mbdb;
}

SampleBackup::SampleBackup(SampleBackupOptions options) : m_options(std::move(options))
{
    const auto version = IosVersion::parse(m_options.iosVersion);
    m_versionValid = version.has_value();
    if (version)
        m_device = DeviceProfile::forVersion(*version);
}

SampleBackup::~SampleBackup() = default;

void SampleBackup::addProducer(std::unique_ptr<ContentProducer> producer)
{
    m_producers.push_back(std::move(producer));
}

void SampleBackup::addStandardContent()
{
    for (auto &producer : standardContentProducers())
        addProducer(std::move(producer));
}

std::unique_ptr<IndexWriter> SampleBackup::makeIndexWriter() const
{
    if (resolvedIndex(m_options.index, m_device.version) == SampleBackupOptions::Index::Db)
        return std::make_unique<ManifestDbWriter>();
    return std::make_unique<MbdbWriter>();
}

bool SampleBackup::prepareFolder()
{
    const QFileInfo info(m_options.outDir);
    if (info.exists()) {
        if (!info.isDir()) {
            m_error = QStringLiteral("%1 exists and is not a folder").arg(m_options.outDir);
            return false;
        }
        if (!QDir(m_options.outDir).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            m_error = QStringLiteral("%1 is not empty").arg(m_options.outDir);
            return false;
        }
        return true;
    }
    if (!QDir().mkpath(m_options.outDir)) {
        m_error = QStringLiteral("cannot create %1").arg(m_options.outDir);
        return false;
    }
    return true;
}

bool SampleBackup::write()
{
    m_error.clear();
    m_indexFileName.clear();
    m_entryCount = 0;
    m_storedFileCount = 0;
    m_entries.clear();

    if (!m_versionValid) {
        m_error = QStringLiteral("unsupported iOS version \"%1\" (expected major.minor or major.minor.patch)")
                      .arg(m_options.iosVersion);
        return false;
    }
    if (m_options.scale < 1 || m_options.scale > kMaxScale) {
        m_error = QStringLiteral("scale must be between 1 and %1").arg(kMaxScale);
        return false;
    }
    if (m_options.outDir.isEmpty()) {
        m_error = QStringLiteral("no output folder given");
        return false;
    }
    if (!prepareFolder())
        return false;

    const QString folder = QFileInfo(m_options.outDir).absoluteFilePath();
    auto index = makeIndexWriter();
    m_indexFileName = index->fileName();
    const QString indexPath = folder + QLatin1Char('/') + index->fileName();
    if (!index->open(indexPath)) {
        m_error = index->errorString();
        return false;
    }

    FolderSink sink(folder, *index, m_options, m_device, m_options.keepEntries ? &m_entries : nullptr);
    const ProducerContext context{m_options, m_device};
    for (const auto &producer : m_producers) {
        sink.setProducer(producer->name());
        producer->produce(context, sink);
        if (sink.failed())
            break;
    }
    if (!sink.failed() && m_options.scale > 1) {
        ScaleFiller filler(sink.entryCount() * m_options.scale);
        sink.setProducer(filler.name());
        filler.produce(context, sink);
    }
    m_entryCount = sink.entryCount();
    m_storedFileCount = sink.storedFileCount();
    if (sink.failed()) {
        m_error = sink.error();
        return false;
    }
    if (!index->finish()) {
        m_error = index->errorString();
        return false;
    }

    const QStringList apps = sink.bundleIds();
    const QString infoPath = folder + QStringLiteral("/Info.plist");
    const QString manifestPath = folder + QStringLiteral("/Manifest.plist");
    const QString statusPath = folder + QStringLiteral("/Status.plist");
    if (!PropertyList::writeFile(infoPath, BackupPlists::info(m_device, apps),
                                 BackupPlists::infoFormat(m_device.version))
        || !PropertyList::writeFile(manifestPath,
                                    BackupPlists::manifest(m_device, apps, m_options.encrypted, index->manifestVersion()),
                                    PropertyList::Format::Binary)
        || !PropertyList::writeFile(statusPath, BackupPlists::status(m_device, index->statusVersion()),
                                    PropertyList::Format::Binary)) {
        m_error = QStringLiteral("cannot write the property lists in %1").arg(folder);
        return false;
    }
    // Readers date a backup by its files as well as by its lists.
    for (const QString &path : {infoPath, manifestPath, statusPath, indexPath}) {
        if (!setModified(path, m_device.backupDate)) {
            m_error = QStringLiteral("cannot set the time of %1").arg(path);
            return false;
        }
    }
    return true;
}

} // namespace samplegen
