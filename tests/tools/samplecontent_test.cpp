#include "tools/samplegen/samplebackup.h"

#include "tests/support/qtprinters.h"
#include "tests/tools/backupinspection.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QSet>
#include <QTemporaryDir>

using namespace samplegen;
using namespace inspection;

namespace {

const WrittenEntry *find(const QList<WrittenEntry> &entries, const QString &domain, const QString &path)
{
    for (const WrittenEntry &e : entries) {
        if (e.domain == domain && e.relativePath == path)
            return &e;
    }
    return nullptr;
}

QString extension(const QString &path)
{
    const QString name = path.section(QLatin1Char('/'), -1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.mid(dot + 1) : QString();
}

bool luhnValid(const QString &digits)
{
    int sum = 0;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        int d = digits.at(digits.size() - 1 - i).digitValue();
        if (i % 2 == 1)
            d = d * 2 > 9 ? d * 2 - 9 : d * 2;
        sum += d;
    }
    return sum % 10 == 0;
}

} // namespace

class StandardContent : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_tmp = new QTemporaryDir;
        SampleBackupOptions o;
        o.outDir = s_tmp->path() + QStringLiteral("/backup");
        o.index = SampleBackupOptions::Index::Mbdb; // keeps the extended attributes
        s_backup = new SampleBackup(o);
        s_backup->addStandardContent();
        s_written = s_backup->write();
    }
    static void TearDownTestSuite()
    {
        delete s_backup;
        delete s_tmp;
    }
    void SetUp() override { ASSERT_TRUE(s_written) << s_backup->errorString().toStdString(); }

    const QList<WrittenEntry> &entries() const { return s_backup->entries(); }
    QByteArray stored(const QString &domain, const QString &path) const
    {
        const WrittenEntry *e = find(entries(), domain, path);
        return e ? readAll(e->storedPath) : QByteArray();
    }

    static inline QTemporaryDir *s_tmp = nullptr;
    static inline SampleBackup *s_backup = nullptr;
    static inline bool s_written = false;
};

TEST_F(StandardContent, CoversTheDomainsReadersLookAt)
{
    QSet<QString> domains;
    for (const WrittenEntry &e : entries())
        domains.insert(e.domain);
    for (const char *d : {"CameraRollDomain", "MediaDomain", "HomeDomain", "AppDomain-com.facebook.Facebook",
                          "AppDomain-com.facebook.Messenger", "AppDomain-com.atebits.Tweetie2",
                          "AppDomain-com.example.notes", "KeychainDomain", "WirelessDomain", "SystemPreferencesDomain",
                          "AppDomainGroup-group.com.apple.notes"})
        EXPECT_TRUE(domains.contains(QLatin1String(d))) << d;
    EXPECT_NE(find(entries(), QStringLiteral("MediaDomain"), QStringLiteral("Media/iTunes_Control/Music/F00/ABCD.mp3")),
              nullptr);
    EXPECT_NE(find(entries(), QStringLiteral("AppDomainGroup-group.com.apple.notes"),
                   QStringLiteral("Accounts/LocalAccount/Previews/ABC-123.png")),
              nullptr);
}

TEST_F(StandardContent, HasTheAwkwardCases)
{
    QSet<QString> extensions;
    bool longPath = false, nonAscii = false, noExtension = false, symlink = false, empty = false, hidden = false;
    int notWritten = 0;
    for (const WrittenEntry &e : entries()) {
        if (e.kind == EntryKind::Symlink)
            symlink = true;
        if (e.kind != EntryKind::File)
            continue;
        extensions.insert(extension(e.relativePath));
        longPath = longPath || e.relativePath.toUtf8().size() > 300;
        nonAscii = nonAscii || e.relativePath.toUtf8().size() != e.relativePath.size();
        noExtension = noExtension || extension(e.relativePath).isEmpty();
        hidden = hidden || e.relativePath.section(QLatin1Char('/'), -1).startsWith(QLatin1Char('.'));
        if (e.size == 0) {
            empty = true;
            EXPECT_TRUE(e.storedFileWritten);
            EXPECT_EQ(readAll(e.storedPath), QByteArray());
        }
        if (!e.storedFileWritten) {
            ++notWritten;
            EXPECT_EQ(extension(e.relativePath), QStringLiteral("JPG"));
            EXPECT_EQ(e.storedSize, 0);
        }
    }
    EXPECT_TRUE(longPath);
    EXPECT_TRUE(nonAscii);
    EXPECT_TRUE(noExtension);
    EXPECT_TRUE(symlink);
    EXPECT_TRUE(empty);
    EXPECT_TRUE(hidden);
    EXPECT_EQ(notWritten, 1);
    // The first entry of the reader's image, video and audio tables, in lower
    // case, and upper-case media extensions.
    for (const char *ext : {"3dm", "3g2", "ram", "JPG", "PNG", "MOV", "MP4", "jpeg", "m4a", "mp3", "vcf", "plist"})
        EXPECT_TRUE(extensions.contains(QLatin1String(ext))) << ext;
}

TEST_F(StandardContent, MediaFilesHaveRealHeaders)
{
    const QString roll = QStringLiteral("CameraRollDomain");
    QSet<QRgb> colours;
    QSet<qint64> sizes;
    for (const char *name : {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG", "IMG_0004.JPG", "IMG_0005.PNG"}) {
        const QImage image = QImage::fromData(stored(roll, QStringLiteral("Media/DCIM/100APPLE/") + QLatin1String(name)));
        ASSERT_FALSE(image.isNull()) << name;
        colours.insert(image.pixel(0, 0));
        sizes.insert(qint64(image.width()) << 32 | image.height());
    }
    EXPECT_EQ(colours.size(), 5);
    EXPECT_GE(sizes.size(), 4);
    EXPECT_TRUE(stored(roll, QStringLiteral("Media/DCIM/100APPLE/IMG_0001.JPG")).startsWith("\xFF\xD8\xFF"));
    EXPECT_TRUE(stored(roll, QStringLiteral("Media/DCIM/100APPLE/IMG_0005.PNG")).startsWith("\x89PNG"));
    EXPECT_FALSE(QImage::fromData(stored(QStringLiteral("HomeDomain"),
                                         QStringLiteral("Library/SMS/Attachments/ab/01/IMG_1234.jpeg")))
                     .isNull());

    EXPECT_EQ(stored(roll, QStringLiteral("Media/DCIM/100APPLE/IMG_0006.MOV")).mid(4, 8), QByteArray("ftypqt  "));
    EXPECT_EQ(stored(roll, QStringLiteral("Media/DCIM/100APPLE/IMG_0008.MP4")).mid(4, 8), QByteArray("ftypisom"));
    EXPECT_EQ(stored(QStringLiteral("MediaDomain"), QStringLiteral("Media/Recordings/20170614 093015.m4a")).mid(4, 8),
              QByteArray("ftypM4A "));
    EXPECT_TRUE(stored(QStringLiteral("MediaDomain"), QStringLiteral("Media/iTunes_Control/Music/F00/ABCD.mp3"))
                    .startsWith("ID3"));
    EXPECT_TRUE(stored(QStringLiteral("AppDomain-com.facebook.Facebook"), QStringLiteral("Documents/db.sqlite"))
                    .startsWith(QByteArray("SQLite format 3\0", 16)));
}

TEST_F(StandardContent, PhotoAttributesReachTheMbdb)
{
    const auto records = MbdbParser(readAll(s_tmp->path() + QStringLiteral("/backup/Manifest.mbdb"))).records();
    ASSERT_TRUE(records.has_value());
    int tagged = 0;
    for (const MbdbRecord &r : *records) {
        for (const auto &property : r.properties) {
            if (property.first == "com.apple.assetsd.UUID") {
                ++tagged;
                EXPECT_EQ(property.second.size(), 36);
            }
        }
    }
    EXPECT_GE(tagged, 2);
}

// ---------------------------------------------------------------------------

TEST(DeviceProfile, FollowsTheVersion)
{
    const struct
    {
        const char *version;
        const char *type;
        const char *build;
    } known[] = {{"5.1", "iPhone4,1", "9B176"},    {"6.1", "iPhone5,2", "10B143"}, {"8.4", "iPhone7,2", "12H143"},
                 {"9.3", "iPad2,1", "13E233"},     {"10.3", "iPhone9,3", "14E277"}, {"14.2", "iPhone12,1", "18B92"},
                 {"10.3.3", "iPhone9,3", "14G60"}};
    QSet<QString> udids;
    for (const auto &k : known) {
        const auto version = IosVersion::parse(QLatin1String(k.version));
        ASSERT_TRUE(version.has_value()) << k.version;
        const DeviceProfile p = DeviceProfile::forVersion(*version);
        EXPECT_EQ(p.productVersion, QLatin1String(k.version));
        EXPECT_EQ(p.productType, QLatin1String(k.type));
        EXPECT_EQ(p.buildVersion, QLatin1String(k.build));
        EXPECT_EQ(p.isIpad(), p.productType.startsWith(QLatin1String("iPad")));
        EXPECT_EQ(p.imei.size(), 15);
        EXPECT_TRUE(luhnValid(p.imei)) << p.imei.toStdString();
        EXPECT_EQ(p.serialNumber.size(), 12);
        EXPECT_EQ(p.backupDate.timeSpec(), Qt::UTC);
        udids.insert(p.udid);
        // The same version always gives the same phone.
        EXPECT_EQ(DeviceProfile::forVersion(*version).udid, p.udid);
    }
    EXPECT_EQ(udids.size(), qsizetype(std::size(known)));

    // Versions without a known build still get one of the usual shape.
    const DeviceProfile other = DeviceProfile::forVersion(*IosVersion::parse(QStringLiteral("12.4")));
    EXPECT_TRUE(other.buildVersion.startsWith(QLatin1String("16"))) << other.buildVersion.toStdString();
}
