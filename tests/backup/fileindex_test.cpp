#include "tests/support/qtprinters.h"

#include "backup/backupfileindex.h"
#include "backup/nodes/prphotoandvideonode.h"
#include "backup/notificationnames.h"
#include "tests/backup/indexfixtures.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDirIterator>
#include <QTemporaryDir>

#include <sqlite3.h>

namespace {


QString stored(const QString &folder, const char *domain, const QString &path, bool subfolder)
{
    return storedFilePath(folder, storedFileName(QString::fromUtf8(domain), path),
                          subfolder ? StoredFileLayout::Subfolder : StoredFileLayout::Flat);
}

// A snapshot of every file below a folder: path, size, modification time
// and content digest.
QStringList folderState(const QString &folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        out << path + QLatin1Char(' ') + QString::number(it.fileInfo().size()) + QLatin1Char(' ')
                   + QString::number(it.fileInfo().lastModified().toMSecsSinceEpoch()) + QLatin1Char(' ')
                   + QString::fromLatin1(QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1).toHex());
    }
    out.sort();
    return out;
}

std::vector<int> progress(const NotificationLog &log)
{
    std::vector<int> out;
    for (const auto &n : log.named(Notifications::ScanProgressInfo))
        out.push_back(n.object.toInt());
    return out;
}

class Sqlite
{
public:
    explicit Sqlite(const QString &path) { sqlite3_open(QFile::encodeName(path).constData(), &m_db); }
    ~Sqlite() { sqlite3_close(m_db); }
    void exec(const char *sql) { ASSERT_EQ(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql; }
    void addFile(const QString &domain, const QString &path, const QString &fileId = {})
    {
        sqlite3_stmt *s = nullptr;
        sqlite3_prepare_v2(m_db, "insert into Files values(?,?,?,1,x'00')", -1, &s, nullptr);
        const QByteArray id = (fileId.isNull() ? storedFileName(domain, path) : fileId).toUtf8();
        const QByteArray d = domain.toUtf8(), p = path.toUtf8();
        sqlite3_bind_text(s, 1, id.constData(), int(id.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 2, d.constData(), int(d.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 3, p.constData(), int(p.size()), SQLITE_TRANSIENT);
        sqlite3_step(s);
        sqlite3_finalize(s);
    }

private:
    sqlite3 *m_db = nullptr;
};

const char kFilesTable[] =
    "CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, flags INTEGER, file BLOB)";

} // namespace

TEST(FileIndex, MbdbEntriesMediaAndSocialRecords)
{
    QTemporaryDir dir;
    const QString f = dir.path();
    const QString longPath = QStringLiteral("Library/") + QString(300, QLatin1Char('x')) + QStringLiteral(".txt");
    MbdbBuilder mbdb;
    mbdb.add("CameraRollDomain", "")
        .add("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG", {{"com.apple.assetsd.UUID", "A-1"}})
        .add("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0002.MOV")
        .add("MediaDomain", "Media/Recordings/talk.m4a")
        .add("HomeDomain", "Media/odd.3dm")
        .add("HomeDomain", "Media/clip.3G2")
        .add("HomeDomain", "Media/tone.RAM")
        .add("HomeDomain", "Library/missing.png")
        .add("HomeDomain", longPath.toUtf8())
        .add("AppDomain-com.facebook.Facebook", "Library/Caches/face.jpg")
        .add("AppDomain-com.facebook.Facebook", "Documents/db.sqlite")
        .add("AppDomain-com.atebits.Tweetie2", "Library/gone.png")
        .add("KeychainDomain", "keychain-backup.plist")
        .add("WirelessDomain", "Library/Photos/not-media-domain.jpg");
    ASSERT_TRUE(writeFile(f + QStringLiteral("/Manifest.mbdb"), mbdb.bytes()));
    for (auto [domain, path, size] : {std::tuple{"CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG", 1234},
                                      {"CameraRollDomain", "Media/DCIM/100APPLE/IMG_0002.MOV", 5000},
                                      {"MediaDomain", "Media/Recordings/talk.m4a", 10},
                                      {"AppDomain-com.facebook.Facebook", "Library/Caches/face.jpg", 2048},
                                      {"AppDomain-com.facebook.Facebook", "Documents/db.sqlite", 3000}})
        ASSERT_TRUE(writeFile(stored(f, domain, QString::fromUtf8(path), false), QByteArray(size, 'z')));

    NotificationCenter nc;
    ScanContext ctx(nc);
    NotificationLog log(nc);
    BackupFileIndex(ctx).scanDirAnalyThread(f);

    const auto entries = log.nodes<PRTreeDirNode>(Notifications::FindBackUpDirFileInfo);
    ASSERT_EQ(entries.size(), 14u);
    EXPECT_EQ(entries[0]->fileDomain(), QStringLiteral("CameraRollDomain"));
    EXPECT_EQ(entries[0]->filePath(), QStringLiteral(""));
    EXPECT_EQ(entries[0]->fileKey(), stored(f, "CameraRollDomain", QString(), false));
    EXPECT_EQ(entries[8]->filePath(), longPath) << "long paths are read whole";
    EXPECT_EQ(entries[8]->fileKey(), stored(f, "HomeDomain", longPath, false));

    const auto media = log.nodes<PRPhotoAndVideoNode>(Notifications::ScanPhotoAndVideo);
    ASSERT_EQ(media.size(), 9u);
    EXPECT_EQ(media[0]->fileNodeName(), QStringLiteral("IMG_0001.JPG"));
    EXPECT_EQ(media[0]->fileSizeNumber(), 1234u);
    EXPECT_EQ(media[0]->fileNodeSize(), QStringLiteral("1.23KB"));
    EXPECT_FALSE(media[0]->bmov());
    EXPECT_TRUE(media[1]->bmov());
    EXPECT_TRUE(media[2]->bmov()) << "audio counts as a movie";
    EXPECT_FALSE(media[3]->bmov()) << "3DM, the first image type";
    EXPECT_TRUE(media[4]->bmov()) << "3G2, the first video type";
    EXPECT_TRUE(media[5]->bmov()) << "RAM, the first audio type";
    EXPECT_EQ(media[6]->fileNodeName(), QStringLiteral("missing.png"));
    EXPECT_EQ(media[6]->fileSizeNumber(), 0u);
    EXPECT_EQ(media[6]->fileNodeSize(), QStringLiteral("0.00bytes"));
    EXPECT_EQ(media[7]->fileNodeName(), QStringLiteral("face.jpg"));
    EXPECT_EQ(media[8]->fileNodeName(), QStringLiteral("gone.png"));

    const auto social = log.nodes<PRFaceTwitterNode>(Notifications::scanFaceTwitterInfo);
    ASSERT_EQ(social.size(), 2u) << "social files whose stored file exists";
    EXPECT_EQ(social[0]->faceTwitterFileName(), QStringLiteral("face.jpg"));
    EXPECT_EQ(social[0]->fileSize(), QStringLiteral("2.05KB"));
    EXPECT_EQ(social[1]->faceTwitterFilePath(),
              stored(f, "AppDomain-com.facebook.Facebook", QStringLiteral("Documents/db.sqlite"), false));

    // Media-domain entries are kept; the two outside them are not.
    EXPECT_EQ(ctx.treeFileArray.size(), 12);
    const auto steps = progress(log);
    ASSERT_FALSE(steps.empty());
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
    EXPECT_TRUE(std::adjacent_find(steps.begin(), steps.end()) == steps.end()) << "announced only on change";
    EXPECT_LE(steps.back(), 20);
}

TEST(FileIndex, HostileAndTruncatedMbdbEndsCleanly)
{
    QTemporaryDir dir;
    const QString f = dir.path();
    MbdbBuilder good;
    good.add("HomeDomain", "Library/a.jpg", {{"n", "v"}}).add("MediaDomain", "Media/b.mp3").add("HomeDomain", "c");
    const QByteArray whole = good.bytes();

    auto scan = [&](const QByteArray &bytes) {
        writeFile(f + QStringLiteral("/Manifest.mbdb"), bytes);
        NotificationCenter nc;
        ScanContext ctx(nc);
        NotificationLog log(nc);
        BackupFileIndex(ctx).scanDirAnalyThread(f);
        return log.named(Notifications::FindBackUpDirFileInfo).size();
    };

    EXPECT_EQ(scan(whole), 3u);
    // Every cut posts at most the records begun, never reads past the end.
    for (qsizetype n = 0; n < whole.size(); ++n)
        EXPECT_LE(scan(whole.left(n)), 3u) << n;
    EXPECT_EQ(scan(whole.left(6)), 0u);
    EXPECT_EQ(scan(whole.left(8)), 1u) << "a record cut short is still posted";

    QByteArray oldHeader = whole;
    oldHeader[4] = '\x04';
    EXPECT_EQ(scan(oldHeader), 0u);

    // A length running past the end, absent strings everywhere, a property
    // count with no properties behind it.
    QByteArray hostile("mbdb\x05\x00", 6);
    hostile += QByteArray("\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff", 10) + QByteArray(39, '\0') + '\0';
    hostile += QByteArray("\x00\x04Home\xff\xff\xff\xff\xff\xff\xff\xff", 14) + QByteArray(39, '\0') + '\xff';
    EXPECT_EQ(scan(hostile), 2u);
    QByteArray longLength("mbdb\x05\x00\x7f\xffHomeDomain", 16);
    EXPECT_EQ(scan(longLength), 1u);
}

TEST(FileIndex, ManifestDbRowsProgressAndStoredNames)
{
    QTemporaryDir dir;
    const QString f = dir.path();
    {
        Sqlite db(f + QStringLiteral("/Manifest.db"));
        db.exec(kFilesTable);
        db.exec("CREATE TABLE Properties (key TEXT PRIMARY KEY, value BLOB)");
        db.addFile(QStringLiteral("CameraRollDomain"), QString());
        db.addFile(QStringLiteral(""), QStringLiteral("nodomain.jpg"));
        db.addFile(QStringLiteral("CameraRollDomain"), QStringLiteral("Media/DCIM/100APPLE/IMG_0001.JPG"));
        db.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/SMS/sms.db"));
        db.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/evil.jpg"), QStringLiteral("../../../etc/passwd"));
        db.addFile(QStringLiteral("AppDomain-com.example"), QStringLiteral("Documents/x.jpg"));
    }
    writeFile(stored(f, "CameraRollDomain", QStringLiteral("Media/DCIM/100APPLE/IMG_0001.JPG"), true),
              QByteArray(100, 'j'));
    const QStringList before = folderState(f);

    NotificationCenter nc;
    ScanContext ctx(nc);
    ctx.IOSVersionIOS6(QStringLiteral("10.3"));
    NotificationLog log(nc);
    BackupFileIndex(ctx).scanDirAnalyThread(f);

    const auto entries = log.nodes<PRTreeDirNode>(Notifications::FindBackUpDirFileInfo);
    ASSERT_EQ(entries.size(), 5u) << "the row without a domain gives no node";
    EXPECT_EQ(entries[1]->fileKey(), stored(f, "CameraRollDomain", QStringLiteral("Media/DCIM/100APPLE/IMG_0001.JPG"), true));
    EXPECT_EQ(entries[2]->fileKey(), f + QStringLiteral("/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28"));
    EXPECT_EQ(entries[3]->fileKey(), QStringLiteral("")) << "a stored name that is not hex is not followed";

    const auto media = log.nodes<PRPhotoAndVideoNode>(Notifications::ScanPhotoAndVideo);
    ASSERT_EQ(media.size(), 2u);
    EXPECT_EQ(media[0]->fileSizeNumber(), 100u);
    // Progress uses each row's own number: rows 1, 3, 4 and 5 of 6.
    EXPECT_EQ(progress(log), (std::vector<int>{3, 10, 13, 16}));

    EXPECT_EQ(ctx.getFileKeyBytheFilepath(QStringLiteral("Library/SMS/sms.db")), entries[2]->fileKey());
    EXPECT_TRUE(ctx.getFileKeyBytheFilepath(QStringLiteral("Documents/x.jpg")).isNull());

    EXPECT_EQ(folderState(f), before) << "a backup folder is never written";
}

TEST(FileIndex, ManifestDbMissingOrWithoutFilesTable)
{
    QTemporaryDir dir;
    NotificationCenter nc;
    ScanContext ctx(nc);
    ctx.IOSVersionIOS6(QStringLiteral("14.2"));
    NotificationLog log(nc);
    BackupFileIndex(ctx).scanDirAnalyThread(dir.path());
    EXPECT_TRUE(log.all.empty());

    { Sqlite db(dir.filePath(QStringLiteral("Manifest.db"))); db.exec("CREATE TABLE Other (x)"); }
    BackupFileIndex(ctx).scanDirAnalyThread(dir.path());
    writeFile(dir.filePath(QStringLiteral("Manifest.db")), QByteArray(5000, '\x42'));
    BackupFileIndex(ctx).scanDirAnalyThread(dir.path());
    EXPECT_TRUE(log.all.empty());
}

TEST(FileIndex, TransferVariantAndLookups)
{
    QTemporaryDir dir;
    const QString f = dir.path();
    MbdbBuilder mbdb;
    mbdb.add("AppDomainGroup-group.com.apple.notes", "Accounts/LocalAccount/Previews/ABC-123.png")
        .add("HomeDomain", "Library/Notes/dup.txt")
        .add("MediaDomain", "Library/Notes/dup.txt");
    writeFile(f + QStringLiteral("/Manifest.mbdb"), mbdb.bytes());
    writeFile(stored(f, "AppDomainGroup-group.com.apple.notes",
                     QStringLiteral("Accounts/LocalAccount/Previews/ABC-123.png"), false), "png");

    NotificationCenter nc;
    ScanContext ctx(nc);
    NodeList<PRTreeDirNode> transfer{std::make_shared<PRTreeDirNode>()};
    BackupFileIndex(ctx).scanTransferDirAnalyThread(f, transfer);
    ASSERT_EQ(transfer.size(), 3) << "emptied first; the notes group counts as media";
    EXPECT_EQ(BackupFileIndex::getNoteThumFileKeyBytheFilepath(transfer, QStringLiteral("abc-123")),
              transfer[0]->fileKey());
    EXPECT_TRUE(BackupFileIndex::getNoteThumFileKeyBytheFilepath(transfer, QStringLiteral("XYZ")).isNull());

    // Two entries with one relative path: the later one wins.
    EXPECT_EQ(ctx.getFileKeyBytheFilepath(QStringLiteral("Library/Notes/dup.txt")), transfer[2]->fileKey());

    // The backup scan does not count the notes group.
    ScanContext plain(nc);
    BackupFileIndex(plain).scanDirAnalyThread(f);
    EXPECT_EQ(plain.treeFileArray.size(), 2);
}

TEST(FileIndex, ExtensionTablesAndGenerationFlags)
{
    EXPECT_EQ(BackupFileIndex::GetImageType("3dm"), 0);
    EXPECT_EQ(BackupFileIndex::GetImageType("CDR"), 14) << "the first of two";
    EXPECT_EQ(BackupFileIndex::GetImageType("xps"), 137);
    EXPECT_EQ(BackupFileIndex::GetViedoType("YUV"), 54);
    EXPECT_EQ(BackupFileIndex::GetAudioType("ptf"), 37);
    EXPECT_EQ(BackupFileIndex::GetAudioType(nullptr), -1);
    EXPECT_EQ(BackupFileIndex::GetImageType(""), -1);
    EXPECT_EQ(BackupFileIndex::pathExtension(QStringLiteral("a/b.c/file")), QStringLiteral(""));
    EXPECT_EQ(BackupFileIndex::pathExtension(QStringLiteral("a/x.tar.GZ")), QStringLiteral("GZ"));

    NotificationCenter nc;
    ScanContext ctx(nc);
    struct Row { const char *version; bool r, ios7, ios10; };
    for (const Row &row : {Row{"6.1.3", 1, 0, 0}, Row{"9.3", 1, 1, 0}, Row{"10.0", 1, 1, 1}, Row{"17.2", 1, 1, 1},
                           Row{"5.1.1", 0, 0, 0}, Row{"", 0, 0, 0}, Row{"abc", 0, 0, 0}, Row{"10", 1, 1, 1}}) {
        EXPECT_EQ(ctx.IOSVersionIOS6(QString::fromLatin1(row.version)), row.r) << row.version;
        EXPECT_EQ(ctx.bIOS7DeviceNode, row.ios7) << row.version;
        EXPECT_EQ(ctx.biOS10Version, row.ios10) << row.version;
        EXPECT_EQ(ctx.layout() == StoredFileLayout::Subfolder, row.ios10);
    }
}

// Enough rows for the reader to run several runs ahead of the announcing:
// every row still comes out in the index's order, each media entry with its
// record and the size of its own stored file, whatever the row holds.
TEST(FileIndex, ManyRowsKeepTheirOrderSizesAndStrangeNames)
{
    QTemporaryDir dir;
    const QString f = dir.path();
    const int rows = 30000; // each with a name of its own: the index refuses a repeated one
    struct Row
    {
        QString domain;
        QString path;
        QByteArray id;
    };
    std::vector<Row> made;
    {
        Sqlite db(f + QStringLiteral("/Manifest.db"));
        db.exec(kFilesTable);
        db.exec("BEGIN");
        for (int i = 0; i < rows; ++i) {
            const bool media = i % 3 != 0;
            Row row{media ? QStringLiteral("CameraRollDomain") : QStringLiteral("HomeDomain%1").arg(i % 7),
                    QStringLiteral("Media/DCIM/%1.JPG").arg(i), {}};
            row.id = QCryptographicHash::hash(QByteArray::number(i), QCryptographicHash::Sha1).toHex();
            switch (i % 97) {
            case 5: row.id = row.id.toUpper(); break;             // upper-case hex is a stored name too
            case 11: row.id = i == 11 ? QByteArray("ab") : row.id; break; // too short
            case 12: row.id = QByteArray("abcd\0", 5) + row.id; break; // a NUL inside
            case 13: row.id = "abcdefg" + QByteArray::number(i); break; // not hex
            case 14: row.id = "../" + row.id; break;
            default: break;
            }
            made.push_back(row);
            db.addFile(row.domain, row.path, QString::fromUtf8(row.id));
        }
        db.exec("COMMIT");
    }
    const auto isStoredName = [](const QByteArray &id) {
        return id.size() > 2 && !id.contains('\0') && QByteArray::fromHex(id).toHex() == id.toLower();
    };
    // Stored files for most media rows; a link where one should be.
    for (int i = 0; i < rows; ++i) {
        const QByteArray &id = made[std::size_t(i)].id;
        if (i % 3 == 0 || i % 5 == 0 || !isStoredName(id))
            continue;
        const QString path = f + QLatin1Char('/') + QString::fromLatin1(id.left(2)) + QLatin1Char('/') + QString::fromLatin1(id);
        QDir().mkpath(QFileInfo(path).path());
        if (i % 7 == 0)
            ASSERT_TRUE(QFile::link(f + QStringLiteral("/Manifest.db"), path));
        else
            writeFile(path, QByteArray(i % 251, 'x'));
    }

    NotificationCenter nc;
    ScanContext ctx(nc);
    ctx.IOSVersionIOS6(QStringLiteral("14.2"));
    NotificationLog log(nc);
    BackupFileIndex(ctx).scanDirAnalyThread(f);

    // Walk the log: each entry in row order, a media entry followed by its
    // record (after a progress value when that changed).
    std::size_t at = 0;
    int lastProgress = -1;
    for (int i = 0; i < rows; ++i) {
        const Row &row = made[std::size_t(i)];
        ASSERT_LT(at, log.all.size());
        ASSERT_EQ(log.all[at].name, Notifications::FindBackUpDirFileInfo) << i;
        const auto entry = nodeFromVariant<PRTreeDirNode>(log.all[at++].object);
        ASSERT_EQ(entry->filePath(), row.path);
        // The name is read as text, which ends at a NUL.
        const QByteArray name = row.id.left(row.id.indexOf('\0') < 0 ? row.id.size() : row.id.indexOf('\0'));
        const bool hex = isStoredName(name);
        const QString key = hex ? f + QLatin1Char('/') + QString::fromLatin1(name.left(2)) + QLatin1Char('/')
                                      + QString::fromLatin1(name)
                                : QString();
        ASSERT_EQ(entry->fileKey(), key) << i;
        if (i % 3 == 0)
            continue;
        if (log.all[at].name == Notifications::ScanProgressInfo) {
            EXPECT_GT(log.all[at].object.toInt(), lastProgress);
            lastProgress = log.all[at++].object.toInt();
        }
        ASSERT_EQ(log.all[at].name, Notifications::ScanPhotoAndVideo) << i;
        const auto media = nodeFromVariant<PRPhotoAndVideoNode>(log.all[at++].object);
        const bool present = hex && name == row.id && i % 5 != 0 && i % 7 != 0;
        ASSERT_EQ(media->fileSizeNumber(), present ? quint64(i % 251) : 0u) << i;
        ASSERT_EQ(media->filePath(), key);
    }
    EXPECT_EQ(at, log.all.size());
    EXPECT_EQ(lastProgress, 20);
}

TEST(FileIndex, CancelStopsTheEntriesAtOnce)
{
    QTemporaryDir dir;
    {
        Sqlite db(dir.filePath(QStringLiteral("Manifest.db")));
        db.exec(kFilesTable);
        db.exec("BEGIN");
        for (int i = 0; i < 40000; ++i)
            db.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/f%1").arg(i));
        db.exec("COMMIT");
    }
    NotificationCenter nc;
    ScanContext ctx(nc);
    ctx.IOSVersionIOS6(QStringLiteral("14.2"));
    int seen = 0;
    nc.addObserver(&seen, Notifications::FindBackUpDirFileInfo, [&](const Notification &) {
        if (++seen == 10000)
            ctx.cancelled = true;
    });
    BackupFileIndex(ctx).scanDirAnalyThread(dir.path());
    EXPECT_EQ(seen, 10000);
    nc.removeObserver(&seen);
}
