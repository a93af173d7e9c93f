#include "tests/support/qtprinters.h"

#include "tools/samplegen/samplebackup.h"
#include "tools/scan/jsonrecordwriter.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

namespace {

struct ToolRun
{
    int exitCode = -1;
    QList<QJsonObject> lines;
    QByteArray out, err;
};

ToolRun scanTool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(OSTRA_BIN_DIR "/ostra-scan"), arguments);
    EXPECT_TRUE(process.waitForFinished(120000));
    ToolRun run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    for (const QByteArray &line : run.out.split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        run.lines << doc.object();
    }
    return run;
}

std::unique_ptr<samplegen::SampleBackup> makeBackup(const QString &folder, const char *version,
                                                    samplegen::SampleBackupOptions::Index index, bool encrypted = false)
{
    samplegen::SampleBackupOptions options;
    options.outDir = folder;
    options.iosVersion = QString::fromLatin1(version);
    options.index = index;
    options.encrypted = encrypted;
    auto backup = std::make_unique<samplegen::SampleBackup>(options);
    backup->addStandardContent();
    EXPECT_TRUE(backup->write()) << backup->errorString().toStdString();
    return backup;
}

QStringList folderState(const QString &folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        out << it.filePath() + QLatin1Char(' ') + QString::number(it.fileInfo().size()) + QLatin1Char(' ')
                   + QString::number(it.fileInfo().lastModified().toMSecsSinceEpoch());
    }
    out.sort();
    return out;
}

} // namespace

class ScanToolIndex : public ::testing::TestWithParam<std::tuple<const char *, samplegen::SampleBackupOptions::Index>>
{
};

TEST_P(ScanToolIndex, OneEntryPerIndexRowWithItsStoredPathAndTheMediaRecords)
{
    const auto [version, index] = GetParam();
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("backup"));
    const auto backup = makeBackup(folder, version, index);
    const QStringList before = folderState(folder);

    const ToolRun run = scanTool({folder});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    ASSERT_FALSE(run.lines.isEmpty());
    EXPECT_EQ(run.lines.last().value(QStringLiteral("note")).toString(), QStringLiteral("ScanThreadFinish"));

    QMap<QString, QString> keyOf; // domain-path -> stored path
    QMap<QString, bool> media;    // stored path -> a movie or sound (bmov)
    int social = 0;
    for (const QJsonObject &line : run.lines) {
        const QString note = line.value(QStringLiteral("note")).toString();
        if (note == QLatin1String("FindBackUpDirFileInfo"))
            keyOf.insert(line.value(QStringLiteral("fileDomain")).toString() + QLatin1Char('-')
                             + line.value(QStringLiteral("filePath")).toString(),
                         line.value(QStringLiteral("fileKey")).toString());
        if (note == QLatin1String("ScanPhotoAndVideo")) {
            const QString path = line.value(QStringLiteral("filePath")).toString();
            EXPECT_FALSE(media.contains(path)) << "reported twice: " << path.toStdString();
            media.insert(path, line.value(QStringLiteral("bmov")).toInt() == 1);
        }
        social += note == QLatin1String("scanFaceTwitterInfo");
    }

    // What the scan should report, worked out from the generator's entries
    // with the rule written out here: a file of the camera roll, media, home
    // or a social app's domain whose extension names a picture, a movie or a
    // sound (the type lists count a 3D model as a picture, a 3GPP2 clip as
    // a movie, a RealAudio file as a sound). Every extension the sample
    // content uses is sorted by hand, so new content makes this test ask
    // which it is.
    static const QSet<QString> kDomains = {QStringLiteral("CameraRollDomain"), QStringLiteral("MediaDomain"),
                                           QStringLiteral("HomeDomain"),
                                           QStringLiteral("AppDomain-com.facebook.Facebook"),
                                           QStringLiteral("AppDomain-com.facebook.Messenger"),
                                           QStringLiteral("AppDomain-com.atebits.Tweetie2")};
    static const QSet<QString> kSocial = {QStringLiteral("AppDomain-com.facebook.Facebook"),
                                          QStringLiteral("AppDomain-com.facebook.Messenger"),
                                          QStringLiteral("AppDomain-com.atebits.Tweetie2")};
    static const QSet<QString> kPictures = {QStringLiteral("JPG"), QStringLiteral("JPEG"), QStringLiteral("PNG"),
                                            QStringLiteral("GIF"), QStringLiteral("3DM")};
    static const QSet<QString> kMoviesAndSounds = {QStringLiteral("MOV"), QStringLiteral("MP4"),
                                                   QStringLiteral("M4A"), QStringLiteral("MP3"),
                                                   QStringLiteral("3G2"), QStringLiteral("RAM")};
    static const QSet<QString> kNeither = {QString(), QStringLiteral("PLIST"), QStringLiteral("SQLITE"),
                                          QStringLiteral("DB"), QStringLiteral("SQLITEDB"), QStringLiteral("JSON"),
                                          QStringLiteral("TXT"), QStringLiteral("STRINGS"),
                                          QStringLiteral("SQLITE-WAL"), QStringLiteral("SQLITE-SHM"),
                                          QStringLiteral("VCF"), QStringLiteral("IDX"), QStringLiteral("HTML"),
                                          QStringLiteral("STOREDATA")};
    QMap<QString, bool> expectedMedia;
    int expectedSocial = 0;
    int entries = 0;
    for (const auto &entry : backup->entries()) {
        ++entries;
        const QString key = entry.domain + QLatin1Char('-') + entry.relativePath;
        ASSERT_TRUE(keyOf.contains(key)) << key.toStdString();
        EXPECT_EQ(keyOf.value(key), entry.storedPath) << key.toStdString();
        if (!kDomains.contains(entry.domain) || entry.kind != samplegen::EntryKind::File)
            continue;
        const QString name = entry.relativePath.section(QLatin1Char('/'), -1);
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        const QString extension = dot > 0 ? name.mid(dot + 1).toUpper() : QString();
        if (kPictures.contains(extension))
            expectedMedia.insert(entry.storedPath, false);
        else if (kMoviesAndSounds.contains(extension))
            expectedMedia.insert(entry.storedPath, true);
        else
            EXPECT_TRUE(kNeither.contains(extension)) << "sort this extension: " << key.toStdString();
        if (kSocial.contains(entry.domain) && entry.storedFileWritten)
            ++expectedSocial;
    }
    EXPECT_EQ(keyOf.size(), entries);
    EXPECT_EQ(media, expectedMedia);
    EXPECT_GT(media.size(), 5);
    EXPECT_EQ(social, expectedSocial);
    EXPECT_GT(social, 2);
    EXPECT_EQ(folderState(folder), before) << "the scan wrote into the backup folder";
}

INSTANTIATE_TEST_SUITE_P(
    Generations, ScanToolIndex,
    ::testing::Values(std::tuple{"5.1", samplegen::SampleBackupOptions::Index::Auto},
                      std::tuple{"8.4", samplegen::SampleBackupOptions::Index::Auto},
                      std::tuple{"10.3", samplegen::SampleBackupOptions::Index::Auto},
                      std::tuple{"14.2", samplegen::SampleBackupOptions::Index::Auto}));

TEST(ScanTool, SummaryRefusalsAndEncryptedBackups)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("b"));
    makeBackup(folder, "9.3", samplegen::SampleBackupOptions::Index::Auto);
    ToolRun run = scanTool({QStringLiteral("--summary"), folder});
    ASSERT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.lines.size(), 1);
    EXPECT_EQ(run.lines.first().value(QStringLiteral("ScanThreadFinish")).toInt(), 1);
    EXPECT_GT(run.lines.first().value(QStringLiteral("FindBackUpDirFileInfo")).toInt(), 50);

    const QString locked = dir.filePath(QStringLiteral("locked"));
    makeBackup(locked, "10.3", samplegen::SampleBackupOptions::Index::Auto, true);
    run = scanTool({locked});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains("Your iPhone private data has been encrypted by iTunes, please decrypt with iTunes."));

    run = scanTool({dir.filePath(QStringLiteral("nowhere"))});
    EXPECT_EQ(run.exitCode, 1);
    run = scanTool({});
    EXPECT_EQ(run.exitCode, 1);
}

TEST(ScanToolJson, StringsAreEscapedAsJsonWantsAndPlainRunsKept)
{
    QByteArray out;
    JsonRecordWriter::appendString(out, QString::fromUtf8("a\"b\\c\nd\re\tf\x01g\x1fh \xc3\xa9\xe2\x80\xa8"));
    EXPECT_EQ(out, QByteArray("\"a\\\"b\\\\c\\nd\\re\\tf\\u0001g\\u001fh \xc3\xa9\xe2\x80\xa8\""));
    out.clear();
    JsonRecordWriter::appendString(out, QString());
    JsonRecordWriter::appendString(out, QStringLiteral("plain"));
    EXPECT_EQ(out, QByteArray("\"\"\"plain\""));
}
