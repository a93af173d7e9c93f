// The device's media library over the simulated phone: the load into a
// private scratch folder, every column of the generated library (a row only
// the -wal holds included), the music/video split, local copies named by
// item id, and a new phone replacing the old one while it loads.

#include "tests/support/eventwait.h"
#include "tests/support/queryclock.h"
#include "tests/transfer/transferfixture.h"

#include "tests/device/simulated/simulatedscenario.h"

#include "backup/queryinterrupt.h"
#include "transfer/musictransfer.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>

#include <sqlite3.h>

#include <set>
#include <tuple>

using namespace transfertest;

namespace {

constexpr qint64 kPidBase = 0x1F3A000000000000ll;
constexpr qint64 kArtistBase = 0x100000000ll;
constexpr qint64 kAlbumBase = 0x200000000ll;

QStringList titles(const PRTranMusicList &list)
{
    QStringList result;
    for (const auto &node : list)
        result.append(node->musicTitle);
    return result;
}

class MusicLibraryTest : public PhoneTest
{
};

TEST_F(MusicLibraryTest, LoadSplitsMusicAndVideosAndFillsEveryColumn)
{
    const int phone = plug(scenario());
    const auto library = load(phone);
    const PRTranMusicList music = library->musicArray();
    const PRTranMusicList video = library->videoArray();
    EXPECT_EQ(titles(video), (QStringList{QStringLiteral("Movie 1"), QStringLiteral("Movie 2")}));
    ASSERT_EQ(music.size(), 11) << titles(music).join(QLatin1Char('|')).toStdString();

    // The row that exists only in the write-ahead log, every column.
    const auto late = byTitle(music, QStringLiteral("Late Addition"));
    ASSERT_TRUE(late);
    EXPECT_EQ(late->musicArtist, QStringLiteral("Late Band"));
    EXPECT_EQ(late->musicAlbm, QStringLiteral("Late Album"));
    EXPECT_EQ(late->musicTime, QStringLiteral("00:03:20"));
    EXPECT_DOUBLE_EQ(late->durationMs, 200123.5);
    EXPECT_EQ(late->musicType, QStringLiteral("Music"));
    EXPECT_EQ(late->itemPid, kPidBase + 7919 * 12);
    EXPECT_EQ(late->musicPid, QString::number(kPidBase + 7919 * 12));
    EXPECT_EQ(late->artistPid, QString::number(kArtistBase + 5));
    EXPECT_EQ(late->albumPid, QString::number(kAlbumBase + 5));
    EXPECT_EQ(late->musicLoctionpath, QStringLiteral("iTunes_Control/Music/F02/LATE.mp3"));
    EXPECT_FALSE(late->bhasCopy);

    const auto large = byTitle(music, QStringLiteral("Long Mix"));
    ASSERT_TRUE(large);
    EXPECT_EQ(large->musicFileSize, QStringLiteral("20.97MB"));
    EXPECT_EQ(large->fileBytes, qint64(20) << 20);
    EXPECT_EQ(large->musicTime, QStringLiteral("01:00:00"));
    EXPECT_EQ(large->musicArtist, QStringLiteral("Ada & Co"));
    EXPECT_EQ(large->musicAlbm, QStringLiteral("Album 2"));

    // Without album: the absent value's text; without artist: no artist.
    const auto first = byTitle(music, QStringLiteral("Song 1"));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->musicAlbm, QStringLiteral("(null)"));
    EXPECT_EQ(first->albumPid, QStringLiteral("0"));
    EXPECT_EQ(first->musicArtist, QStringLiteral("The Testers"));
    EXPECT_EQ(first->musicTime, QStringLiteral("00:00:30"));
    EXPECT_TRUE(first->musicLoctionpath.startsWith(QStringLiteral("iTunes_Control/Music/F00/")));
    const auto kindEight = byTitle(music, QStringLiteral("Song 6"));
    ASSERT_TRUE(kindEight);
    EXPECT_TRUE(kindEight->musicArtist.isEmpty());
    EXPECT_EQ(kindEight->musicAlbm, QStringLiteral("Album 1"));
    EXPECT_EQ(music.count(byTitle(music, QStringLiteral("Same Title"))), 1);
    EXPECT_EQ(titles(music).count(QStringLiteral("Same Title")), 2);
    EXPECT_EQ(titles(music).count(QStringLiteral(" ")), 1); // the empty title keeps the blank
    EXPECT_EQ(byTitle(music, QStringLiteral("Same Title"))->musicArtist, QString()) << "the first has no artist";
    const auto unicode = std::find_if(music.begin(), music.end(),
                                      [](const auto &n) { return n->musicArtist == QStringLiteral("Ünïcode Ärtist"); });
    EXPECT_NE(unicode, music.end());
    EXPECT_EQ(byTitle(video, QStringLiteral("Movie 1"))->musicArtist, QStringLiteral("Studio Nine"));
    EXPECT_EQ(byTitle(video, QStringLiteral("Movie 2"))->musicTime, QStringLiteral("00:01:35"));
    EXPECT_EQ(byTitle(video, QStringLiteral("Movie 2"))->musicType, QStringLiteral("Video"));
}

TEST_F(MusicLibraryTest, EveryLoadHasAFreshPrivateFolderThatGoesWithIt)
{
    const int phone = plug(scenario());
    QString firstFolder;
    {
        const auto first = load(phone);
        firstFolder = first->scratchPath();
        ASSERT_FALSE(firstFolder.isEmpty());
        // A stale log left beside an earlier copy must never meet a later one.
        ASSERT_TRUE(simtest::writeBytes(firstFolder + QStringLiteral("/MediaLibrary.sqlitedb-wal"), "garbage"));
        const auto second = load(phone);
        EXPECT_NE(second->scratchPath(), firstFolder);
        EXPECT_EQ(second->musicArray().size(), 11);
        EXPECT_EQ(QFileInfo(second->scratchPath()).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);
    }
    EXPECT_FALSE(QFileInfo::exists(firstFolder));
}

TEST_F(MusicLibraryTest, APhoneWithoutLibraryLoadsEmptyLists)
{
    simtest::Scenario bare;
    const int phone = plug(bare.path());
    const auto library = load(phone);
    EXPECT_TRUE(library->musicArray().isEmpty());
    EXPECT_TRUE(library->videoArray().isEmpty());
}

TEST_F(MusicLibraryTest, LocalCopiesAreNamedByIdInsideTheScratchFolder)
{
    amd::DeviceHandle handle = 0;
    const int phone = plug(scenario(), &handle);
    const auto library = load(phone);
    const PRTranMusicList music = library->musicArray();
    PRTranMusicList same;
    for (const auto &node : music) {
        if (node->musicTitle == QStringLiteral("Same Title"))
            same.append(node);
    }
    ASSERT_EQ(same.size(), 2);
    const auto hostile = byTitle(music, QStringLiteral("../../.config/autostart/x"));
    ASSERT_TRUE(hostile);

    std::set<QString> copies;
    const QString device = backend->workFolder(handle) + QStringLiteral("/media/");
    for (const auto &track : {same[0], same[1], hostile}) {
        ASSERT_TRUE(library->CopyMusictoMacThread(track));
        const QString copy = library->localCopy(*track);
        EXPECT_EQ(QFileInfo(copy).absolutePath(), QFileInfo(library->scratchPath()).absoluteFilePath());
        EXPECT_EQ(bytes(copy), bytes(device + track->musicLoctionpath));
        EXPECT_FALSE(bytes(copy).isEmpty());
        copies.insert(copy);
    }
    EXPECT_EQ(copies.size(), 3u);
    // Nothing was written outside the scratch folder on the way.
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(library->scratchPath()).absolutePath() + QStringLiteral("/.config")));

    // A failed download is not a copy.
    const auto missing = byTitle(music, QStringLiteral("Missing Song"));
    ASSERT_TRUE(missing);
    EXPECT_FALSE(library->CopyMusictoMacThread(missing));
    EXPECT_FALSE(missing->bhasCopy);
    EXPECT_TRUE(library->localCopy(*missing).isEmpty());

    const auto large = byTitle(music, QStringLiteral("Long Mix"));
    ASSERT_TRUE(library->CopyMusictoMacThread(large));
    EXPECT_EQ(QFileInfo(library->localCopy(*large)).size(), qint64(20) << 20);

    // A download cut off by the device leaves no copy behind.
    amd::SimulatedFaults faults;
    faults.readFailsAfterBytes = 1000;
    backend->setFaults(handle, faults);
    const auto cut = byTitle(music, QStringLiteral("Song 7"));
    EXPECT_FALSE(library->CopyMusictoMacThread(cut));
    EXPECT_FALSE(cut->bhasCopy);
}

// A copy of the scenario with sql run on its media library.
QString editedScenario(const QString &source, const QString &target, const char *sql)
{
    QDirIterator it(source, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString copy = target + path.mid(source.size());
        QDir().mkpath(QFileInfo(copy).path());
        QFile::copy(path, copy);
    }
    sqlite3 *db = nullptr;
    const QByteArray file = QFile::encodeName(target + QStringLiteral("/media") + MusicLibraryLoad::kLibraryPath);
    EXPECT_EQ(sqlite3_open(file.constData(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
    return target;
}

TEST_F(MusicLibraryTest, ANewPhoneNeverSeesTheOldPhonesTracks)
{
    QTemporaryDir work;
    // Every title marked, so that its tracks tell apart from the generated phone's.
    const QString other = editedScenario(scenario(), work.filePath(QStringLiteral("b")),
                                         "UPDATE item_extra SET title = 'B ' || title");

    // Phone A stalls inside the library's download.
    amd::DeviceHandle handleA = 0;
    const int phoneA = plug(scenario(), &handleA);
    const int phoneB = plug(other);
    amd::SimulatedFaults stall;
    stall.readStallsAfterBytes = 100;
    backend->setFaults(handleA, stall);

    std::vector<int> finished;
    {
        PRMusicLibrary library;
        library.setFinishedCallback([&](int id) { finished.push_back(id); });
        library.ShowMusic(phoneA);
        EXPECT_TRUE(library.bMusiceStartTransfer());
        library.ShowMusic(phoneB);
        EXPECT_EQ(library.tranferDevice(), phoneB);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !finished.empty(); }, 30000));
        EXPECT_TRUE(library.bMusicLoadFinished());
        EXPECT_FALSE(library.bMusiceStartTransfer());
        const PRTranMusicList music = library.musicArray();
        ASSERT_EQ(music.size(), 11);
        for (const auto &node : music)
            EXPECT_TRUE(node->musicTitle.startsWith(QStringLiteral("B "))) << node->musicTitle.toStdString();
        EXPECT_EQ(library.currentLoad()->deviceId(), phoneB);

        // A's stalled load ends when A leaves, and shows nothing.
        backend->unplug(handleA);
        ASSERT_TRUE(notify.waitForRemoval(phoneA));
        library.deviceRemoved(phoneA);
        library.ShowMusic(phoneB); // finished for B: nothing starts again
        EXPECT_FALSE(library.bMusiceStartTransfer());

        // B leaving drops its lists.
        library.deviceRemoved(phoneB);
        EXPECT_TRUE(library.musicArray().isEmpty());
        EXPECT_FALSE(library.bMusicLoadFinished());
    }
    EXPECT_EQ(finished, std::vector<int>{phoneB});
}

TEST_F(MusicLibraryTest, APhoneRemovedDuringTheLoadShowsNothing)
{
    amd::DeviceHandle handle = 0;
    const int phone = plug(scenario(), &handle);
    amd::SimulatedFaults stall;
    stall.readStallsAfterBytes = 100;
    backend->setFaults(handle, stall);
    auto library = std::make_shared<MusicLibraryLoad>(phone);
    Signal signal;
    bool downloading = false;
    library->setStepCallback([&](const QString &) { signal.notify([&] { downloading = true; }); });
    MusicLibraryLoad::Result result = MusicLibraryLoad::Result::Loaded;
    std::thread worker([&] { result = library->StartMusicThread(); });
    // Pulled out once the file service is open and the download begins.
    EXPECT_TRUE(signal.waitFor([&] { return downloading; }));
    backend->unplug(handle);
    worker.join();
    EXPECT_EQ(result, MusicLibraryLoad::Result::DeviceGone);
}

// A phone whose library has, in place of one of its tables, a view that
// counts for ever without handing out a row. Each count calls counted(), which
// every connection of the process has during the test; it cancels s_load.
class EndlessLibraryTest : public MusicLibraryTest
{
protected:
    static inline MusicLibraryLoad *s_load = nullptr;
    static int defineCounted(sqlite3 *db, char **, const sqlite3_api_routines *)
    {
        const auto counted = [](sqlite3_context *context, int, sqlite3_value **) {
            if (s_load)
                s_load->cancel();
            sqlite3_result_int(context, 0);
        };
        return sqlite3_create_function(db, "counted", 1, SQLITE_UTF8, nullptr, counted, nullptr, nullptr);
    }
    void SetUp() override
    {
        MusicLibraryTest::SetUp();
        sqlite3_auto_extension(reinterpret_cast<void (*)()>(&defineCounted));
    }
    void TearDown() override
    {
        sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(&defineCounted));
        QueryInterrupt::setStallLimit(m_limit);
        MusicLibraryTest::TearDown();
    }
    int plugEndless(const QString &table, const char *columns)
    {
        const QString sql = QStringLiteral("DROP TABLE %1; CREATE VIEW %1 AS WITH RECURSIVE c(n) AS (SELECT 0 UNION ALL "
                                           "SELECT n + 1 FROM c) SELECT %2 FROM c WHERE counted(n);");
        const QByteArray edit = sql.arg(table, QLatin1String(columns)).toUtf8();
        return plug(editedScenario(scenario(), m_work.filePath(table), edit.constData()));
    }
    static constexpr const char *kTrackColumns = "n AS item_pid, 'T' AS title, 1 AS file_size, 1 AS media_kind, "
                                                 "1.0 AS total_time_ms, 'f.mp3' AS location";

private:
    QTemporaryDir m_work;
    const std::chrono::milliseconds m_limit = QueryInterrupt::stallLimit();
};

// As quitting cancels the load that runs.
TEST_F(EndlessLibraryTest, ACancelStopsTheReadThatRuns)
{
    MusicLibraryLoad load(plugEndless(QStringLiteral("item_extra"), kTrackColumns));
    s_load = &load;
    EXPECT_EQ(load.StartMusicThread(), MusicLibraryLoad::Result::Cancelled) << "not the stall limit, a minute";
    s_load = nullptr;
    EXPECT_FALSE(load.message().isEmpty());
}

TEST_F(EndlessLibraryTest, AReadThatStallsShowsWhatItReadAndSaysWhy)
{
    // Thirty looks at the test's clock without a row: the view's count, never
    // a loaded machine's pause in a read that makes progress.
    const testsupport::QueryClock clock;
    QueryInterrupt::setStallLimit(std::chrono::seconds(30));
    // The tracks never come; then the album of the first track never comes.
    for (const auto &[table, columns, tracks] : {std::tuple(QStringLiteral("item_extra"), kTrackColumns, 0),
                                                 std::tuple(QStringLiteral("album"), "n AS album_pid, 'A' AS album", 1)}) {
        const int phone = plugEndless(table, columns);
        bool finished = false;
        PRMusicLibrary library;
        library.setFinishedCallback([&](int) { finished = true; });
        library.ShowMusic(phone);
        ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, testsupport::kEventWaitMs)) << qPrintable(table);
        EXPECT_EQ(library.musicArray().size() + library.videoArray().size(), tracks) << qPrintable(table);
        const QString message = library.currentLoad()->message();
        EXPECT_TRUE(message.contains(QStringLiteral("could not be read"))) << qPrintable(table);
    }
}

TEST_F(MusicLibraryTest, ARefusedDeleteSaysWhyInWords)
{
    amd::DeviceHandle handle = 0;
    const auto library = load(plug(scenario(), &handle));
    const auto track = byTitle(library->musicArray(), QStringLiteral("Song 1"));
    // A code the device layer has words for, and one it has none for.
    const QString refused = QStringLiteral("Song 1: the device refused the removal");
    const QString inWords = refused + QStringLiteral(": the connection to the device broke off");
    for (const auto &[code, why] : {std::pair(int(amd::kBackendIoError), inWords), std::pair(-0x20A, refused)}) {
        amd::SimulatedFaults refuse;
        refuse.failingCalls.insert(QStringLiteral("afcRemovePath"), code);
        backend->setFaults(handle, refuse);
        MusicDeleteRun run(library, {track});
        const MusicTransferReport report =
            runJob(library->deviceId(), [&run](devjobs::JobControl &job) { return run.run(job); });
        EXPECT_EQ(report.failed, QStringList{why});
    }
}

// Ten thousand tracks in one library, read as the load reads them.
TEST(MusicLibraryFigures, TenThousandTracksAreListedQuickly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("MediaLibrary.sqlitedb"));
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    const char *schema =
        "CREATE TABLE item (item_pid INTEGER PRIMARY KEY, item_artist_pid INTEGER NOT NULL DEFAULT 0, album_pid INTEGER "
        "NOT NULL DEFAULT 0, base_location_id INTEGER NOT NULL DEFAULT 0);"
        "CREATE TABLE item_extra (item_pid INTEGER PRIMARY KEY, title TEXT NOT NULL DEFAULT '', total_time_ms REAL NOT "
        "NULL DEFAULT 0, location TEXT NOT NULL DEFAULT '', file_size INTEGER NOT NULL DEFAULT 0, media_kind INTEGER NOT "
        "NULL DEFAULT 0);"
        "CREATE TABLE item_artist (item_artist_pid INTEGER PRIMARY KEY, item_artist TEXT NOT NULL DEFAULT '', "
        "representative_item_pid INTEGER NOT NULL DEFAULT 0);"
        "CREATE TABLE album (album_pid INTEGER PRIMARY KEY, album TEXT NOT NULL DEFAULT '');"
        "CREATE TABLE base_location (base_location_id INTEGER PRIMARY KEY, path TEXT NOT NULL);"
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 9999) "
        "INSERT INTO item SELECT 4611686018427387904 + i, 1 + i % 50, 1 + i % 200, 1 + i % 50 FROM n;"
        "INSERT INTO item_extra SELECT item_pid, 'Track ' || item_pid, 180000.5, 'ABCD.mp3', 4000000, "
        "CASE WHEN item_pid % 10 = 0 THEN 2 ELSE 1 END FROM item;"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200) "
        "INSERT INTO album SELECT i, 'Album ' || i FROM n;"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 50) "
        "INSERT INTO item_artist SELECT i, 'Artist ' || i, 4611686018427387904 + i - 1 FROM n;"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 50) "
        "INSERT INTO base_location SELECT i, printf('iTunes_Control/Music/F%02d', i - 1) FROM n;";
    ASSERT_EQ(sqlite3_exec(db, schema, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);

    MusicLibraryLoad library(0);
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(library.ReadMusicInfoFromHandleTablewithSqlitePath(path));
    const qint64 ms = timer.elapsed();
    std::printf("10,000 tracks listed in %lld ms\n", static_cast<long long>(ms));
    EXPECT_EQ(library.musicArray().size() + library.videoArray().size(), 10000);
    EXPECT_EQ(library.videoArray().size(), 1000);
    const auto last = library.musicArray().constLast();
    EXPECT_EQ(last->musicAlbm, QStringLiteral("Album %1").arg((last->itemPid - 4611686018427387904) % 200 + 1));
    EXPECT_TRUE(last->musicLoctionpath.endsWith(QStringLiteral("/ABCD.mp3")));
    // A sanity bound only, generous enough for a sanitizer build.
    EXPECT_LT(ms, 20000);
}

} // namespace
