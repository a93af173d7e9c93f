#include "tools/samplegen/basecontent.h"
#include "tools/samplegen/records/recorddatabases.h"

#include "tools/samplegen/backupplists.h"
#include "tools/samplegen/deviceprofile.h"
#include "tools/samplegen/samplefiles.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace samplegen {

namespace {

using SampleFiles::jpeg;
using SampleFiles::png;

// Adds a file whose bytes had to be made first; empty bytes mean the making
// failed (a missing image plug-in, say) and end the backup.
bool put(EntrySink &sink, const QString &domain, const QString &path, const QByteArray &bytes)
{
    if (bytes.isEmpty()) {
        sink.fail(QStringLiteral("cannot make the content of %1/%2").arg(domain, path));
        return false;
    }
    return sink.addFile(domain, path, bytes);
}

void addDirectories(EntrySink &sink, const QString &domain, const QStringList &paths)
{
    for (const QString &path : paths)
        sink.addDirectory(domain, path);
}

QByteArray preferences(const QVariantMap &values)
{
    return SampleFiles::plist(values);
}

class CameraRoll final : public ContentProducer
{
public:
    QString name() const override { return QStringLiteral("camera roll"); }

    void produce(const ProducerContext &context, EntrySink &sink) override
    {
        const QString d = QStringLiteral("CameraRollDomain");
        const QString dcim = QStringLiteral("Media/DCIM/100APPLE/");
        addDirectories(sink, d,
                       {QStringLiteral("Media"), QStringLiteral("Media/DCIM"), QStringLiteral("Media/DCIM/100APPLE"),
                        QStringLiteral("Media/PhotoData"), QStringLiteral("Media/PhotoData/MISC"),
                        QStringLiteral("Media/PhotoData/Thumbnails")});

        // The photo library tags its files with asset identifiers; only
        // Manifest.mbdb keeps such attributes.
        SampleEntry first = SampleEntry::file(d, dcim + QStringLiteral("IMG_0001.JPG"), jpeg(320, 240, Qt::red));
        first.attributes.properties = {
            {"com.apple.assetsd.UUID", BackupPlists::uuidFor("IMG_0001").toLatin1()},
            {"com.apple.assetsd.addedDate", context.device.backupDate.toString(Qt::ISODate).toLatin1()}};
        SampleEntry second = SampleEntry::file(d, dcim + QStringLiteral("IMG_0002.JPG"), jpeg(160, 120, Qt::green));
        second.attributes.properties = {{"com.apple.assetsd.UUID", BackupPlists::uuidFor("IMG_0002").toLatin1()}};
        if (first.content.isEmpty() || second.content.isEmpty()) {
            sink.fail(QStringLiteral("cannot encode JPEG images"));
            return;
        }
        sink.add(first);
        sink.add(second);
        put(sink, d, dcim + QStringLiteral("IMG_0003.JPG"), jpeg(64, 48, Qt::blue));
        put(sink, d, dcim + QStringLiteral("IMG_0004.JPG"), jpeg(96, 128, QColor(255, 140, 0)));
        put(sink, d, dcim + QStringLiteral("IMG_0005.PNG"), png(120, 90, Qt::yellow));
        put(sink, d, dcim + QStringLiteral("IMG_0006.MOV"), SampleFiles::quickTimeMovie(6000, 6));

        // Indexed, but its stored copy never made it into the folder.
        SampleEntry missing = SampleEntry::file(d, dcim + QStringLiteral("IMG_0007.JPG"), jpeg(200, 150, Qt::cyan));
        missing.writeStoredFile = false;
        if (missing.content.isEmpty()) {
            sink.fail(QStringLiteral("cannot encode JPEG images"));
            return;
        }
        sink.add(missing);

        put(sink, d, dcim + QStringLiteral("IMG_0008.MP4"), SampleFiles::mpeg4Video(9000, 8));
        put(sink, d, dcim + QStringLiteral("IMG_0009.JPG"), jpeg(240, 320, QColor(128, 0, 128)));
        // The smallest image there is.
        put(sink, d, dcim + QStringLiteral("IMG_0010.PNG"), png(1, 1, Qt::white));
        put(sink, d, QStringLiteral("Media/PhotoData/Thumbnails/V2/DCIM/100APPLE/IMG_0001.JPG/5005.JPG"),
            jpeg(80, 60, Qt::red));
        put(sink, d, QStringLiteral("Media/PhotoData/com.apple.photos.caches_metadata.plist"),
            preferences({{QStringLiteral("LastCacheRebuild"), context.device.backupDate}}));
        put(sink, d, QStringLiteral("Media/PhotoData/MISC/DCIM_APPLE.plist"),
            preferences({{QStringLiteral("LastDirectoryNumber"), qint64(100)},
                         {QStringLiteral("LastFileNumber"), qint64(10)}}));
        put(sink, d, QStringLiteral("Media/PhotoData/Photos.sqlite"),
            SampleFiles::sqliteDatabase({QStringLiteral("CREATE TABLE ZGENERICASSET (Z_PK INTEGER PRIMARY KEY, "
                                                        "ZFILENAME VARCHAR, ZDIRECTORY VARCHAR)"),
                                         QStringLiteral("INSERT INTO ZGENERICASSET VALUES (1, 'IMG_0001.JPG', "
                                                        "'DCIM/100APPLE')")}));
    }
};

class MediaFiles final : public ContentProducer
{
public:
    QString name() const override { return QStringLiteral("media domain"); }

    void produce(const ProducerContext &, EntrySink &sink) override
    {
        const QString d = QStringLiteral("MediaDomain");
        addDirectories(sink, d,
                       {QStringLiteral("Media/Recordings"), QStringLiteral("Media/iTunes_Control"),
                        QStringLiteral("Media/iTunes_Control/Music"), QStringLiteral("Media/iTunes_Control/Music/F00")});
        put(sink, d, QStringLiteral("Media/Recordings/20170614 093015.m4a"), SampleFiles::mpeg4Audio(5000, 21));
        put(sink, d, QStringLiteral("Media/Recordings/20170620 181502.m4a"), SampleFiles::mpeg4Audio(3000, 22));
        put(sink, d, QStringLiteral("Media/Recordings/Recordings.plist"),
            preferences({{QStringLiteral("RecordingCount"), qint64(2)}}));
        put(sink, d, QStringLiteral("Media/iTunes_Control/Music/F00/ABCD.mp3"), SampleFiles::mp3(8));
    }
};

class HomeFiles final : public ContentProducer
{
public:
    QString name() const override { return QStringLiteral("home domain"); }

    void produce(const ProducerContext &context, EntrySink &sink) override
    {
        const QString d = QStringLiteral("HomeDomain");
        addDirectories(sink, d,
                       {QStringLiteral("Documents"), QStringLiteral("Library"), QStringLiteral("Library/Caches"),
                        QStringLiteral("Library/Notes"), QStringLiteral("Library/Preferences"),
                        QStringLiteral("Library/SMS"), QStringLiteral("Library/SMS/Attachments"),
                        QStringLiteral("Library/SMS/Attachments/ab"), QStringLiteral("Library/SMS/Attachments/ab/01"),
                        QStringLiteral("Library/SMS/Attachments/4c"), QStringLiteral("Library/SMS/Attachments/4c/12"),
                        QStringLiteral("Library/SMS/Attachments/7f"), QStringLiteral("Library/SMS/Attachments/7f/15")});
        put(sink, d, QStringLiteral("Library/Preferences/com.apple.springboard.plist"),
            preferences({{QStringLiteral("SBShowBatteryPercentage"), true},
                         {QStringLiteral("SBLastBackupDevice"), context.device.productType}}));
        put(sink, d, QStringLiteral("Library/SMS/Attachments/ab/01/IMG_1234.jpeg"), jpeg(200, 150, Qt::magenta));
        put(sink, d, QStringLiteral("Library/SMS/Attachments/4c/12/7D1F2A60-3B4C-4E1A-9F2D-5A6B7C8D9E0F/IMG_0002.MOV"),
            SampleFiles::quickTimeMovie(4000, 12));
        put(sink, d, QStringLiteral("Library/SMS/Attachments/7f/15/Anna Berg.vcf"),
            QByteArrayLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Berg;Anna;;;\r\nFN:Anna Berg\r\n"
                              "TEL;type=CELL:+46 70 123 45 67\r\nEND:VCARD\r\n"));

        // The first extension of each of the reader's image, video and audio
        // tables, in lower case: an off-by-one in a table lookup misses them.
        put(sink, d, QStringLiteral("Documents/Models/chair.3dm"), QByteArray(256, '\x3d'));
        put(sink, d, QStringLiteral("Documents/Clips/x.3g2"), SampleFiles::mpeg4Video(2000, 32));
        put(sink, d, QStringLiteral("Documents/Audio/y.ram"), QByteArrayLiteral("rtsp://media.example.com/y.rm\n"));

        put(sink, d, QStringLiteral("Library/Caches/Snapshot.PNG"), png(64, 96, Qt::darkGreen));
        put(sink, d, QStringLiteral("Library/Caches/com.apple.keyboards/version"), QByteArrayLiteral("3\n"));
        // Empty files are common and have no content to hash or copy.
        sink.addFile(d, QStringLiteral("Library/Caches/com.apple.keyboards/lock"), QByteArray());
        put(sink, d, QStringLiteral("Library/Preferences/com.apple.mobilephone.plist"),
            preferences({{QStringLiteral("DialerSavedNumber"), QStringLiteral("+46701234567")}}));
        put(sink, d, QStringLiteral("Library/Notes/Grüße.txt"), QStringLiteral("Viele Grüße aus Köln\n").toUtf8());

        // Longer than any fixed-size name buffer, so a stored name computed
        // from a cut-off path would not match.
        QString deep = QStringLiteral("Library/Caches/com.example.deep/");
        for (int level = 1; level <= 14; ++level)
            deep += QStringLiteral("nested-folder-%1/").arg(level, 2, 10, QLatin1Char('0'));
        put(sink, d, deep + QStringLiteral("final-file-with-a-long-name.txt"), QByteArrayLiteral("deep\n"));

        sink.add(SampleEntry::symlink(d, QStringLiteral("Library/Caches/keyboards-current"),
                                      QStringLiteral("com.apple.keyboards")));
    }
};

class SocialApps final : public ContentProducer
{
public:
    QString name() const override { return QStringLiteral("social apps"); }

    void produce(const ProducerContext &context, EntrySink &sink) override
    {
        const QString facebook = QStringLiteral("AppDomain-com.facebook.Facebook");
        addDirectories(sink, facebook,
                       {QStringLiteral("Documents"), QStringLiteral("Library"), QStringLiteral("Library/Caches"),
                        QStringLiteral("Library/Caches/images")});
        put(sink, facebook, QStringLiteral("Library/Caches/images/1001.jpg"), jpeg(128, 128, QColor(59, 89, 152)));
        put(sink, facebook, QStringLiteral("Library/Caches/images/1002.jpg"), jpeg(100, 75, QColor(200, 200, 255)));
        put(sink, facebook, QStringLiteral("Documents/db.sqlite"),
            SampleFiles::sqliteDatabase({QStringLiteral("CREATE TABLE friends (id INTEGER PRIMARY KEY, name TEXT)"),
                                         QStringLiteral("INSERT INTO friends VALUES (1, 'Anna Berg')")}));

        const QString messenger = QStringLiteral("AppDomain-com.facebook.Messenger");
        addDirectories(sink, messenger,
                       {QStringLiteral("Documents"), QStringLiteral("Library"), QStringLiteral("Library/Caches"),
                        QStringLiteral("Library/Caches/fb_temp")});
        put(sink, messenger, QStringLiteral("Library/Caches/fb_temp/photo_1.jpg"), jpeg(90, 120, QColor(0, 132, 255)));
        QJsonObject thread;
        thread.insert(QStringLiteral("thread"), 42);
        thread.insert(QStringLiteral("updated"), context.device.backupDate.toString(Qt::ISODate));
        put(sink, messenger, QStringLiteral("Documents/thread_42.json"), QJsonDocument(thread).toJson());

        const QString twitter = QStringLiteral("AppDomain-com.atebits.Tweetie2");
        addDirectories(sink, twitter,
                       {QStringLiteral("Documents"), QStringLiteral("Library"), QStringLiteral("Library/Caches"),
                        QStringLiteral("Library/Preferences")});
        // A name that starts with a dot: hidden, and its extension is plist.
        put(sink, twitter, QStringLiteral(".com.apple.mobile_container_manager.metadata.plist"),
            preferences({{QStringLiteral("MCMMetadataIdentifier"), QStringLiteral("com.atebits.Tweetie2")}}));
        put(sink, twitter, QStringLiteral("Library/Caches/avatar_123.png"), png(48, 48, QColor(29, 161, 242)));
        put(sink, twitter, QStringLiteral("Library/Preferences/com.atebits.Tweetie2.plist"),
            preferences({{QStringLiteral("lastAccount"), QStringLiteral("anna")}}));
    }
};

class SystemDomains final : public ContentProducer
{
public:
    QString name() const override { return QStringLiteral("system domains"); }

    void produce(const ProducerContext &context, EntrySink &sink) override
    {
        const QString notesApp = QStringLiteral("AppDomain-com.example.notes");
        sink.addDirectory(notesApp, QStringLiteral("Documents"));
        put(sink, notesApp, QStringLiteral("Documents/readme.txt"), QByteArrayLiteral("A note kept by a third-party app.\n"));

        put(sink, QStringLiteral("KeychainDomain"), QStringLiteral("keychain-backup.plist"),
            preferences({{QStringLiteral("genp"), QVariantList{}}, {QStringLiteral("inet"), QVariantList{}}}));
        put(sink, QStringLiteral("WirelessDomain"), QStringLiteral("Library/Preferences/com.apple.commcenter.plist"),
            preferences({{QStringLiteral("imei"), context.device.imei}}));
        put(sink, QStringLiteral("SystemPreferencesDomain"), QStringLiteral("SystemConfiguration/com.apple.wifi.plist"),
            preferences({{QStringLiteral("AllowEnable"), qint64(1)}}));
        put(sink, QStringLiteral("RootDomain"), QStringLiteral("Library/Preferences/com.apple.MobileBackup.plist"),
            preferences({{QStringLiteral("LastBackupDate"), context.device.backupDate}}));

        const QString notesGroup = QStringLiteral("AppDomainGroup-group.com.apple.notes");
        addDirectories(sink, notesGroup,
                       {QStringLiteral("Accounts"), QStringLiteral("Accounts/LocalAccount"),
                        QStringLiteral("Accounts/LocalAccount/Previews")});
        put(sink, notesGroup, QStringLiteral("Accounts/LocalAccount/Previews/ABC-123.png"), png(72, 72, Qt::lightGray));
    }
};

} // namespace

std::vector<std::unique_ptr<ContentProducer>> standardContentProducers()
{
    std::vector<std::unique_ptr<ContentProducer>> producers;
    producers.push_back(std::make_unique<CameraRoll>());
    producers.push_back(std::make_unique<MediaFiles>());
    producers.push_back(std::make_unique<HomeFiles>());
    producers.push_back(std::make_unique<SocialApps>());
    producers.push_back(std::make_unique<SystemDomains>());
    for (auto *group : {&addressBookAndMessageProducers, &notesCallsBookmarksCalendarProducers}) {
        for (auto &producer : (*group)())
            producers.push_back(std::move(producer));
    }
    return producers;
}

} // namespace samplegen
