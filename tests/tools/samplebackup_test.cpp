#include "tools/samplegen/samplebackup.h"

#include "tests/support/qtprinters.h"
#include "tests/tools/backupinspection.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

using namespace samplegen;
using namespace inspection;
using Index = SampleBackupOptions::Index;

namespace {

struct Variant
{
    const char *version;
    Index index;
    bool encrypted;
    const char *productType;
};

void PrintTo(const Variant &v, std::ostream *os)
{
    *os << "iOS " << v.version << (v.index == Index::Db ? " Manifest.db" : v.index == Index::Mbdb ? " Manifest.mbdb" : "")
        << (v.encrypted ? " encrypted" : "");
}

std::string variantName(const ::testing::TestParamInfo<Variant> &info)
{
    std::string name = std::string("ios") + info.param.version;
    for (char &c : name) {
        if (c == '.')
            c = '_';
    }
    name += info.param.index == Index::Db ? "_db" : info.param.index == Index::Mbdb ? "_mbdb" : "_auto";
    if (info.param.encrypted)
        name += "_encrypted";
    return name;
}

bool usesDb(const Variant &v)
{
    return v.index == Index::Db || (v.index == Index::Auto && QString::fromLatin1(v.version).section('.', 0, 0).toInt() >= 10);
}

QVariantMap dictionary(const QString &path)
{
    return PropertyList::readDictionary(path).value_or(QVariantMap());
}

} // namespace

class SampleBackupVariants : public ::testing::TestWithParam<Variant>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tmp.isValid());
        m_folder = m_tmp.path() + QStringLiteral("/nested/backup");
        SampleBackupOptions o;
        o.outDir = m_folder;
        o.iosVersion = QString::fromLatin1(GetParam().version);
        o.index = GetParam().index;
        o.encrypted = GetParam().encrypted;
        m_backup = std::make_unique<SampleBackup>(o);
        m_backup->addStandardContent();
        ASSERT_TRUE(m_backup->write()) << m_backup->errorString().toStdString();
    }

    QTemporaryDir m_tmp;
    QString m_folder;
    std::unique_ptr<SampleBackup> m_backup;
};

TEST_P(SampleBackupVariants, TopLevelListsDescribeTheDevice)
{
    const Variant v = GetParam();
    const QByteArray infoBytes = readAll(m_folder + QStringLiteral("/Info.plist"));
    const bool binaryInfo = QString::fromLatin1(v.version).section('.', 0, 0).toInt() >= 13;
    EXPECT_TRUE(infoBytes.startsWith(binaryInfo ? "bplist00" : "<?xml"));

    const QVariantMap info = dictionary(m_folder + QStringLiteral("/Info.plist"));
    for (const char *key : {"Device Name", "Display Name", "Product Type", "Product Version", "Build Version",
                            "Serial Number", "iTunes Version", "GUID", "Unique Identifier", "Target Identifier",
                            "Target Type", "Last Backup Date", "Installed Applications", "IMEI"})
        EXPECT_TRUE(info.contains(QLatin1String(key))) << key;
    EXPECT_EQ(info.value("Product Version").toString(), QLatin1String(v.version));
    EXPECT_EQ(info.value("Product Type").toString(), QLatin1String(v.productType));
    EXPECT_EQ(info.value("Target Type").toString(), QStringLiteral("Device"));
    EXPECT_EQ(info.value("Last Backup Date").typeId(), QMetaType::QDateTime);

    const QVariantMap manifest = dictionary(m_folder + QStringLiteral("/Manifest.plist"));
    EXPECT_TRUE(readAll(m_folder + QStringLiteral("/Manifest.plist")).startsWith("bplist00"));
    EXPECT_EQ(manifest.value("IsEncrypted").typeId(), QMetaType::Bool);
    EXPECT_EQ(manifest.value("IsEncrypted").toBool(), v.encrypted);
    EXPECT_EQ(manifest.value("Version").toString(), usesDb(v) ? QStringLiteral("10.0") : QStringLiteral("9.1"));
    EXPECT_EQ(manifest.value("Date").typeId(), QMetaType::QDateTime);
    EXPECT_TRUE(manifest.contains("WasPasscodeSet"));
    EXPECT_TRUE(manifest.contains("SystemDomainsVersion"));
    EXPECT_TRUE(manifest.value("BackupKeyBag").toByteArray().startsWith("VERS"));
    const QVariantMap lockdown = manifest.value("Lockdown").toMap();
    EXPECT_EQ(lockdown.value("ProductType"), info.value("Product Type"));
    EXPECT_EQ(lockdown.value("ProductVersion"), info.value("Product Version"));
    EXPECT_EQ(lockdown.value("BuildVersion"), info.value("Build Version"));
    EXPECT_EQ(lockdown.value("SerialNumber"), info.value("Serial Number"));
    EXPECT_EQ(lockdown.value("DeviceName"), info.value("Device Name"));
    EXPECT_EQ(lockdown.value("UniqueDeviceID"), info.value("Target Identifier"));

    // The apps listed are exactly those with an app domain in the backup.
    QSet<QString> appDomains;
    for (const WrittenEntry &e : m_backup->entries()) {
        if (e.domain.startsWith(QLatin1String("AppDomain-")))
            appDomains.insert(e.domain.mid(10));
    }
    const QVariantMap apps = manifest.value("Applications").toMap();
    EXPECT_EQ(QSet<QString>(apps.keyBegin(), apps.keyEnd()), appDomains);
    for (auto it = apps.cbegin(); it != apps.cend(); ++it) {
        const QVariantMap app = it.value().toMap();
        EXPECT_EQ(app.value("CFBundleIdentifier").toString(), it.key());
        EXPECT_FALSE(app.value("CFBundleVersion").toString().isEmpty());
        EXPECT_TRUE(app.value("Path").toString().endsWith(QLatin1String(".app")));
    }
    QSet<QString> installed;
    for (const QVariant &id : info.value("Installed Applications").toList())
        installed.insert(id.toString());
    EXPECT_EQ(installed, appDomains);

    const QVariantMap status = dictionary(m_folder + QStringLiteral("/Status.plist"));
    EXPECT_EQ(status.value("IsFullBackup"), QVariant(false));
    EXPECT_EQ(status.value("Version").toString(), usesDb(v) ? QStringLiteral("3.3") : QStringLiteral("2.4"));
    EXPECT_EQ(status.value("BackupState").toString(), QStringLiteral("new"));
    EXPECT_EQ(status.value("SnapshotState").toString(), QStringLiteral("finished"));
    EXPECT_EQ(status.value("UUID").toString().size(), 36);
    EXPECT_EQ(status.value("Date").typeId(), QMetaType::QDateTime);
}

TEST_P(SampleBackupVariants, IndexHoldsEveryEntryWritten)
{
    const Variant v = GetParam();
    const QList<WrittenEntry> &entries = m_backup->entries();
    ASSERT_EQ(entries.size(), m_backup->entryCount());
    EXPECT_EQ(QFileInfo::exists(m_folder + QStringLiteral("/Manifest.db")), usesDb(v));
    EXPECT_EQ(QFileInfo::exists(m_folder + QStringLiteral("/Manifest.mbdb")), !usesDb(v));

    if (usesDb(v)) {
        ManifestDb db(m_folder + QStringLiteral("/Manifest.db"));
        ASSERT_TRUE(db.isOpen());
        const QList<ManifestRow> rows = db.rows();
        ASSERT_EQ(rows.size(), entries.size());
        QSet<QString> rootDomains;
        QSet<QString> domains;
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const ManifestRow &row = rows.at(i);
            SCOPED_TRACE((row.domain + QLatin1Char('/') + row.relativePath).toStdString());
            EXPECT_EQ(row.fileId, sha1Name(row.domain, row.relativePath));
            domains.insert(row.domain);
            if (row.relativePath.isEmpty()) {
                EXPECT_EQ(row.flags, 2);
                rootDomains.insert(row.domain);
            }
            const auto file = unarchiveMbFile(row.file);
            ASSERT_TRUE(file.has_value());
            EXPECT_EQ(file->value("RelativePath").toString(), row.relativePath);
            for (const char *key : {"Birth", "LastModified", "LastStatusChange", "Flags", "GroupID", "UserID",
                                    "InodeNumber", "Mode", "ProtectionClass", "Size"})
                EXPECT_TRUE(file->contains(QLatin1String(key))) << key;
            const qint64 mode = file->value("Mode").toLongLong();
            switch (row.flags) {
            case 1:
                EXPECT_EQ(mode & 0170000, 0100000);
                EXPECT_EQ(file->value("Digest").toByteArray().size(), 20);
                EXPECT_EQ(file->value("EncryptionKey").toByteArray().size(), v.encrypted ? 44 : 0);
                break;
            case 2:
                EXPECT_EQ(mode & 0170000, 040000);
                EXPECT_FALSE(file->contains("Digest"));
                EXPECT_FALSE(file->contains("EncryptionKey"));
                break;
            case 4:
                EXPECT_EQ(mode & 0170000, 0120000);
                EXPECT_FALSE(file->value("Target").toString().isEmpty());
                break;
            default:
                ADD_FAILURE() << "flags " << row.flags;
            }
        }
        EXPECT_EQ(rootDomains, domains);
    } else {
        auto records = MbdbParser(readAll(m_folder + QStringLiteral("/Manifest.mbdb"))).records();
        ASSERT_TRUE(records.has_value());
        ASSERT_EQ(records->size(), entries.size());
        for (qsizetype i = 0; i < records->size(); ++i) {
            const MbdbRecord &r = records->at(i);
            const WrittenEntry &e = entries.at(i);
            SCOPED_TRACE((e.domain + QLatin1Char('/') + e.relativePath).toStdString());
            EXPECT_EQ(r.domain, e.domain.toUtf8());
            EXPECT_EQ(r.path, e.relativePath.toUtf8());
            EXPECT_EQ(r.target.has_value(), e.kind == EntryKind::Symlink);
            EXPECT_EQ(r.target.value_or(QByteArray()), e.linkTarget.toUtf8());
            EXPECT_EQ(r.hash.has_value(), e.kind == EntryKind::File);
            EXPECT_EQ(r.hash.value_or(QByteArray()), e.digest);
            EXPECT_EQ(r.key.has_value(), v.encrypted && e.kind == EntryKind::File);
            EXPECT_EQ(r.key.value_or(QByteArray()).size(), r.key ? 44 : 0);
            EXPECT_EQ(r.mode, e.attributes.mode);
            EXPECT_EQ(r.inode, e.inode);
            EXPECT_EQ(r.uid, e.attributes.userId);
            EXPECT_EQ(r.gid, e.attributes.groupId);
            EXPECT_EQ(qint64(r.mtime), e.attributes.modified);
            EXPECT_EQ(qint64(r.ctime), e.attributes.statusChanged);
            EXPECT_EQ(qint64(r.size), e.size);
            EXPECT_EQ(int(r.protection), e.attributes.protectionClass);
            EXPECT_EQ(r.properties, e.attributes.properties);
        }
    }
}

TEST_P(SampleBackupVariants, StoredFilesFollowTheIndexLayout)
{
    const Variant v = GetParam();
    int missing = 0;
    for (const WrittenEntry &e : m_backup->entries()) {
        SCOPED_TRACE((e.domain + QLatin1Char('/') + e.relativePath).toStdString());
        const QString name = sha1Name(e.domain, e.relativePath);
        const QString path = usesDb(v) ? m_folder + QLatin1Char('/') + name.left(2) + QLatin1Char('/') + name
                                       : m_folder + QLatin1Char('/') + name;
        EXPECT_EQ(e.storedPath, path);
        const QByteArray stored = readAll(path);
        if (e.kind != EntryKind::File) {
            EXPECT_FALSE(QFileInfo::exists(path));
            continue;
        }
        if (!QFileInfo::exists(path)) {
            ++missing;
            EXPECT_EQ(e.domain, QStringLiteral("CameraRollDomain"));
            EXPECT_GT(e.size, 0);
            continue;
        }
        EXPECT_EQ(QCryptographicHash::hash(stored, QCryptographicHash::Sha1), e.digest);
        if (v.encrypted) {
            // Ciphertext: whole AES blocks, never the plain bytes.
            EXPECT_EQ(stored.size() % 16, 0);
            EXPECT_GT(stored.size(), e.size);
            if (e.relativePath.endsWith(QLatin1String(".JPG"))) {
                EXPECT_FALSE(stored.startsWith("\xFF\xD8"));
            }
        } else {
            EXPECT_EQ(stored.size(), e.size);
        }
    }
    EXPECT_EQ(missing, 1);
    // Nothing else in the folder: the lists, the index and the stored files.
    const QStringList top = QDir(m_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : top) {
        const bool list = name.endsWith(QLatin1String(".plist")) || name.startsWith(QLatin1String("Manifest."));
        const bool stored = usesDb(v) ? name.size() == 2 && QFileInfo(m_folder + QLatin1Char('/') + name).isDir()
                                      : name.size() == 40;
        EXPECT_TRUE(list || stored) << name.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Versions, SampleBackupVariants,
    ::testing::Values(Variant{"5.1", Index::Auto, false, "iPhone4,1"}, Variant{"6.1", Index::Auto, false, "iPhone5,2"},
                      Variant{"8.4", Index::Auto, false, "iPhone7,2"}, Variant{"9.3", Index::Auto, false, "iPad2,1"},
                      Variant{"10.3", Index::Auto, false, "iPhone9,3"},
                      Variant{"14.2", Index::Auto, false, "iPhone12,1"},
                      // Either index with any version, when asked.
                      Variant{"5.1", Index::Db, false, "iPhone4,1"}, Variant{"14.2", Index::Mbdb, false, "iPhone12,1"},
                      Variant{"6.1", Index::Auto, true, "iPhone5,2"}, Variant{"9.3", Index::Auto, true, "iPad2,1"},
                      Variant{"10.3", Index::Auto, true, "iPhone9,3"}, Variant{"14.2", Index::Auto, true, "iPhone12,1"}),
    variantName);

// ---------------------------------------------------------------------------

namespace {

struct Written
{
    bool ok = false;
    QString error;
    qint64 entries = 0;
};

Written writeBackup(const QString &folder, const QString &version, Index index = Index::Auto, int scale = 1,
                    bool encrypted = false)
{
    SampleBackupOptions o;
    o.outDir = folder;
    o.iosVersion = version;
    o.index = index;
    o.scale = scale;
    o.encrypted = encrypted;
    o.keepEntries = false;
    SampleBackup b(o);
    b.addStandardContent();
    Written w;
    w.ok = b.write();
    w.error = b.errorString();
    w.entries = b.entryCount();
    return w;
}

// Every file below folder with its bytes, by relative path.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    const QDir root(folder);
    QList<QString> pending{folder};
    while (!pending.isEmpty()) {
        const QDir dir(pending.takeLast());
        for (const QFileInfo &fi : dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
            if (fi.isDir())
                pending.append(fi.filePath());
            else
                files.insert(root.relativeFilePath(fi.filePath()), readAll(fi.filePath()));
        }
    }
    return files;
}

} // namespace

TEST(SampleBackup, ScaleMultipliesTheEntryCount)
{
    QTemporaryDir tmp;
    for (Index index : {Index::Db, Index::Mbdb}) {
        const QString base = tmp.path() + (index == Index::Db ? QStringLiteral("/db") : QStringLiteral("/mbdb"));
        const Written one = writeBackup(base + QStringLiteral("1"), QStringLiteral("10.3"), index, 1);
        const Written three = writeBackup(base + QStringLiteral("3"), QStringLiteral("10.3"), index, 3);
        ASSERT_TRUE(one.ok && three.ok) << one.error.toStdString() << three.error.toStdString();
        EXPECT_GE(one.entries, 60);
        EXPECT_LE(one.entries, 200);
        EXPECT_EQ(three.entries, 3 * one.entries);

        // The index agrees with the count, and the filler names are unique.
        qint64 indexed = 0;
        if (index == Index::Db) {
            ManifestDb db(base + QStringLiteral("3/Manifest.db"));
            indexed = db.column("SELECT count(DISTINCT fileID) FROM Files").value(0).toLongLong();
        } else {
            indexed = MbdbParser(readAll(base + QStringLiteral("3/Manifest.mbdb"))).records().value_or(
                                                                                        QList<MbdbRecord>())
                          .size();
        }
        EXPECT_EQ(indexed, three.entries);
    }
}

TEST(SampleBackup, OutputIsTheSameOnEveryRun)
{
    QTemporaryDir tmp;
    for (const auto &[version, encrypted] : {std::pair{"10.3", false}, std::pair{"6.1", true}, std::pair{"14.2", true}}) {
        const QString a = tmp.path() + QStringLiteral("/a") + QLatin1String(version);
        const QString b = tmp.path() + QStringLiteral("/b") + QLatin1String(version);
        ASSERT_TRUE(writeBackup(a, QLatin1String(version), Index::Auto, 2, encrypted).ok);
        ASSERT_TRUE(writeBackup(b, QLatin1String(version), Index::Auto, 2, encrypted).ok);
        const auto first = snapshot(a);
        const auto second = snapshot(b);
        EXPECT_EQ(first.keys(), second.keys());
        for (const char *name : {"Manifest.db", "Manifest.mbdb", "Manifest.plist", "Info.plist", "Status.plist"}) {
            if (first.contains(QLatin1String(name))) {
                EXPECT_EQ(first.value(QLatin1String(name)), second.value(QLatin1String(name))) << name;
            }
        }
        EXPECT_TRUE(first == second) << version;
    }
}

TEST(SampleBackup, ListsAreDatedByTheBackupNotByTheClock)
{
    QTemporaryDir tmp;
    const QString folder = tmp.path() + QStringLiteral("/b");
    ASSERT_TRUE(writeBackup(folder, QStringLiteral("8.4")).ok);
    const QDateTime date = dictionary(folder + QStringLiteral("/Info.plist")).value("Last Backup Date").toDateTime();
    EXPECT_LT(date, QDateTime::currentDateTimeUtc().addYears(-1));
    EXPECT_EQ(dictionary(folder + QStringLiteral("/Manifest.plist")).value("Date").toDateTime(), date);
    EXPECT_EQ(QFileInfo(folder + QStringLiteral("/Info.plist")).lastModified().toUTC(), date);
}

TEST(SampleBackup, RefusesAFolderThatIsNotEmptyOrNotAFolder)
{
    QTemporaryDir tmp;
    const QString folder = tmp.path() + QStringLiteral("/full");
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile keep(folder + QStringLiteral("/.keep"));
    ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
    keep.write("mine");
    keep.close();

    const Written w = writeBackup(folder, QStringLiteral("10.3"));
    EXPECT_FALSE(w.ok);
    EXPECT_TRUE(w.error.contains(QLatin1String("not empty"))) << w.error.toStdString();
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral(".keep")});
    EXPECT_EQ(readAll(keep.fileName()), QByteArray("mine"));

    EXPECT_FALSE(writeBackup(keep.fileName(), QStringLiteral("10.3")).ok);

    // An existing empty folder is fine.
    const QString empty = tmp.path() + QStringLiteral("/empty");
    ASSERT_TRUE(QDir().mkpath(empty));
    EXPECT_TRUE(writeBackup(empty, QStringLiteral("10.3")).ok);
}

TEST(SampleBackup, RejectsBadOptionsBeforeWritingAnything)
{
    QTemporaryDir tmp;
    const QString folder = tmp.path() + QStringLiteral("/never");
    for (const char *version : {"", "10", "ten", "10.3.1.2", "10.x", "0.1", " 10.3"})
        EXPECT_FALSE(writeBackup(folder, QLatin1String(version)).ok) << version;
    EXPECT_FALSE(writeBackup(folder, QStringLiteral("10.3"), Index::Auto, 0).ok);
    EXPECT_FALSE(writeBackup(QString(), QStringLiteral("10.3")).ok);
    EXPECT_FALSE(QFileInfo::exists(folder));
}

// ---------------------------------------------------------------------------

namespace {

class CustomProducer : public ContentProducer
{
public:
    explicit CustomProducer(std::function<void(EntrySink &)> body) : m_body(std::move(body)) {}
    QString name() const override { return QStringLiteral("custom"); }
    void produce(const ProducerContext &, EntrySink &sink) override { m_body(sink); }

private:
    std::function<void(EntrySink &)> m_body;
};

} // namespace

TEST(SampleBackup, NewProducersReachBothIndexesUntouched)
{
    QTemporaryDir tmp;
    for (Index index : {Index::Db, Index::Mbdb}) {
        SampleBackupOptions o;
        o.outDir = tmp.path() + (index == Index::Db ? QStringLiteral("/db") : QStringLiteral("/mbdb"));
        o.index = index;
        SampleBackup backup(o);
        const QString domain = QStringLiteral("AppDomain-com.example.records");
        backup.addProducer(std::make_unique<CustomProducer>([&](EntrySink &sink) {
            sink.addDirectory(domain, QStringLiteral("Library"));
            sink.addFile(domain, QStringLiteral("Library/records.db"), QByteArrayLiteral("rows"));
        }));
        // A second producer may declare the same folder.
        backup.addProducer(std::make_unique<CustomProducer>(
            [&](EntrySink &sink) { EXPECT_TRUE(sink.addDirectory(domain, QStringLiteral("Library"))); }));
        ASSERT_TRUE(backup.write()) << backup.errorString().toStdString();
        // The root directory of the domain comes first, on its own.
        ASSERT_EQ(backup.entryCount(), 3);
        EXPECT_EQ(backup.entries().at(0).relativePath, QString());
        EXPECT_EQ(readAll(backup.entries().at(2).storedPath), QByteArray("rows"));

        QStringList paths;
        if (index == Index::Db) {
            paths = ManifestDb(o.outDir + QStringLiteral("/Manifest.db")).column("SELECT relativePath FROM Files");
        } else {
            for (const MbdbRecord &r :
                 MbdbParser(readAll(o.outDir + QStringLiteral("/Manifest.mbdb"))).records().value_or(QList<MbdbRecord>()))
                paths.append(QString::fromUtf8(r.path));
        }
        paths.sort();
        EXPECT_EQ(paths, (QStringList{QString(), QStringLiteral("Library"), QStringLiteral("Library/records.db")}));
        const QVariantMap apps = dictionary(o.outDir + QStringLiteral("/Manifest.plist")).value("Applications").toMap();
        EXPECT_EQ(apps.keys(), QStringList{QStringLiteral("com.example.records")});
    }
}

TEST(SampleBackup, ProducerErrorsEndTheBackup)
{
    QTemporaryDir tmp;
    const auto attempt = [&](const QString &name, std::function<void(EntrySink &)> body) {
        SampleBackupOptions o;
        o.outDir = tmp.path() + QLatin1Char('/') + name;
        SampleBackup backup(o);
        bool laterProducerRan = false;
        backup.addProducer(std::make_unique<CustomProducer>(std::move(body)));
        backup.addProducer(std::make_unique<CustomProducer>([&](EntrySink &) { laterProducerRan = true; }));
        EXPECT_FALSE(backup.write()) << name.toStdString();
        EXPECT_FALSE(laterProducerRan) << name.toStdString();
        EXPECT_TRUE(backup.errorString().startsWith(QLatin1String("custom: "))) << backup.errorString().toStdString();
        return backup.errorString();
    };
    attempt(QStringLiteral("failed"), [](EntrySink &sink) { sink.fail(QStringLiteral("no data")); });
    EXPECT_TRUE(attempt(QStringLiteral("twice"), [](EntrySink &sink) {
                    sink.addFile(QStringLiteral("HomeDomain"), QStringLiteral("a.txt"), "1");
                    EXPECT_FALSE(sink.addFile(QStringLiteral("HomeDomain"), QStringLiteral("a.txt"), "2"));
                }).contains(QLatin1String("twice")));
    // A directory where a file already is.
    attempt(QStringLiteral("kinds"), [](EntrySink &sink) {
        sink.addFile(QStringLiteral("HomeDomain"), QStringLiteral("a"), "1");
        sink.addDirectory(QStringLiteral("HomeDomain"), QStringLiteral("a"));
    });
    attempt(QStringLiteral("nodomain"), [](EntrySink &sink) { sink.addFile(QString(), QStringLiteral("a"), "1"); });
    attempt(QStringLiteral("nopath"), [](EntrySink &sink) { sink.addFile(QStringLiteral("HomeDomain"), QString(), "1"); });
}

TEST(SampleBackup, OnlyManifestMbdbLimitsPathLength)
{
    QTemporaryDir tmp;
    for (Index index : {Index::Db, Index::Mbdb}) {
        SampleBackupOptions o;
        o.outDir = tmp.path() + (index == Index::Db ? QStringLiteral("/db") : QStringLiteral("/mbdb"));
        o.index = index;
        SampleBackup backup(o);
        backup.addProducer(std::make_unique<CustomProducer>([](EntrySink &sink) {
            sink.addFile(QStringLiteral("HomeDomain"), QStringLiteral("a/").repeated(33000), "x");
        }));
        EXPECT_EQ(backup.write(), index == Index::Db) << backup.errorString().toStdString();
    }
}
