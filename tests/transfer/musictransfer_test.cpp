// The runs the music and video panes start (delete from the phone, export to
// a folder, copy into the music library) over the simulated phone, and the
// music-library handler answered in process.

#include "tests/transfer/transferfixture.h"

#include "tests/device/simulated/simulatedscenario.h"
#include "transfer/itunesscripthandler.h"
#include "transfer/musictransfer.h"

#include <QDate>
#include <QDirIterator>
#include <QFileInfo>

#include <set>
#include <thread>

using namespace transfertest;

namespace {

QStringList filesUnder(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next().mid(root.size() + 1));
    files.sort();
    return files;
}

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// Runs it as the pane does, as a job of its phone, and waits for its end.
MusicTransferReport runToEnd(MusicTransferRun &run)
{
    return runJob(run.deviceId(), [&run](devjobs::JobControl &job) { return run.run(job); });
}

class MusicTransferTest : public PhoneTest
{
protected:
    // The loaded songs whose files are on the phone, in library order.
    PRTranMusicList playable(const MusicLibraryLoad &library)
    {
        PRTranMusicList result;
        for (const auto &node : library.musicArray()) {
            if (node->musicTitle != QStringLiteral("Missing Song"))
                result.append(node);
        }
        return result;
    }
};

TEST_F(MusicTransferTest, ExportWritesTheChosenTracksUnderNewNamesOnly)
{
    amd::DeviceHandle handle = 0;
    const int phone = plug(scenario(), &handle);
    const auto library = load(phone);
    const PRTranMusicList tracks = playable(*library);
    ASSERT_GE(tracks.size(), 10);
    const PRTranMusicList ten = tracks.mid(0, 10);
    const auto song = byTitle(ten, QStringLiteral("Song 1"));
    const auto hostile = byTitle(ten, QStringLiteral("../../.config/autostart/x"));
    const auto same = byTitle(ten, QStringLiteral("Same Title"));
    ASSERT_TRUE(song && hostile && same);
    ASSERT_TRUE(library->CopyMusictoMacThread(same)); // reused, not downloaded again

    QTemporaryDir home;
    // A folder whose name starts with a dot, used as chosen.
    const QString chosen = home.filePath(QStringLiteral(".music exports"));
    ASSERT_TRUE(simtest::writeBytes(chosen + QStringLiteral("/Song 1.mp3"), "keep"));

    MusicExportRun run(library, {song, hostile, same}, chosen);
    const MusicTransferReport report = runToEnd(run);
    EXPECT_EQ(report.done.size(), 3);
    EXPECT_TRUE(report.failed.isEmpty()) << report.failed.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(report.written.size(), 3);

    const QStringList files = filesUnder(chosen);
    EXPECT_EQ(files.size(), 4) << files.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(files.contains(QStringLiteral("Song 1 2.mp3")));
    // The hostile title lands as one visible file of the folder.
    EXPECT_TRUE(files.contains(QStringLiteral("_.._.config_autostart_x.") + MusicLibraryLoad::extensionOf(*hostile)))
        << files.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(files.contains(QStringLiteral("Same Title.") + MusicLibraryLoad::extensionOf(*same)));
    EXPECT_EQ(bytes(chosen + QStringLiteral("/Song 1.mp3")), QByteArray("keep"));
    const QString device = backend->workFolder(handle) + QStringLiteral("/media/");
    EXPECT_EQ(bytes(chosen + QStringLiteral("/Song 1 2.mp3")), bytes(device + song->musicLoctionpath));
    for (const QString &written : report.written)
        EXPECT_TRUE(written.startsWith(chosen + QLatin1Char('/'))) << written.toStdString();
    // Nothing beside the chosen folder: no rewritten path, no escape.
    EXPECT_EQ(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral(".music exports")});

    // The same three again: three more names, nothing replaced.
    MusicExportRun again(library, {song, hostile, same}, chosen);
    EXPECT_EQ(runToEnd(again).done.size(), 3);
    EXPECT_EQ(filesUnder(chosen).size(), 7);
    EXPECT_EQ(bytes(chosen + QStringLiteral("/Song 1.mp3")), QByteArray("keep"));
}

TEST_F(MusicTransferTest, DeleteDropsOnlyTheRowsThePhoneRemoved)
{
    amd::DeviceHandle handle = 0;
    const int phone = plug(scenario(), &handle);
    const auto library = load(phone);
    const PRTranMusicList five = playable(*library).mid(0, 5);
    ASSERT_EQ(five.size(), 5);
    const QString device = backend->workFolder(handle) + QStringLiteral("/media/");
    const PRTranMusicList chosen{five[1], five[2]};

    // The phone refuses: both rows stay, both files stay.
    amd::SimulatedFaults refuse;
    refuse.failingCalls.insert(QStringLiteral("afcRemovePath"), amd::kBackendIoError);
    backend->setFaults(handle, refuse);
    {
        MusicDeleteRun run(library, chosen);
        const MusicTransferReport report = runToEnd(run);
        EXPECT_TRUE(report.done.isEmpty());
        EXPECT_EQ(report.failed.size(), 2);
        EXPECT_EQ(MusicDeleteRun::remaining(five, report), five);
        EXPECT_TRUE(QFileInfo::exists(device + five[1]->musicLoctionpath));
        EXPECT_EQ(library->musicArray().size(), 11);
    }

    backend->setFaults(handle, {});
    MusicDeleteRun run(library, chosen);
    const MusicTransferReport report = runToEnd(run);
    EXPECT_EQ(report.done, (QList<qint64>{five[1]->itemPid, five[2]->itemPid}));
    EXPECT_EQ(MusicDeleteRun::remaining(five, report), (PRTranMusicList{five[0], five[3], five[4]}));
    EXPECT_FALSE(QFileInfo::exists(device + five[1]->musicLoctionpath));
    EXPECT_FALSE(QFileInfo::exists(device + five[2]->musicLoctionpath));
    EXPECT_TRUE(QFileInfo::exists(device + five[3]->musicLoctionpath));
    EXPECT_EQ(library->musicArray().size(), 9);

    // A file that is not there is not removed either: its row stays.
    const auto missing = byTitle(library->musicArray(), QStringLiteral("Missing Song"));
    MusicDeleteRun gone(library, {missing});
    EXPECT_TRUE(runToEnd(gone).done.isEmpty());
    EXPECT_TRUE(byTitle(library->musicArray(), QStringLiteral("Missing Song")));
}

TEST_F(MusicTransferTest, CopyAllRunsOnOneWorkerAndEndsAfterTheLastCopy)
{
    const int phone = plug(scenario());
    const auto library = load(phone);
    const PRTranMusicList songs = playable(*library);
    PRTranMusicList tracks;
    for (int i = 0; i < 200; ++i) {
        auto track = std::make_shared<PRTranMusicNode>(*songs[i % 8]);
        track->itemPid = 5000000000ll + i;
        track->musicTitle = QStringLiteral("Copy %1").arg(i);
        tracks.append(track);
    }
    tracks.append(byTitle(library->musicArray(), QStringLiteral("Missing Song")));

    QTemporaryDir folders;
    auto handler = std::make_shared<iTunesScriptHandler>();
    const QString music = folders.filePath(QStringLiteral("Music"));
    handler->setMusicFolder(music);
    handler->setVideosFolder(folders.filePath(QStringLiteral("Videos")));

    const int baseline = threadCount();
    std::mutex mutex;
    std::set<std::thread::id> workers;
    int mostThreads = 0;
    int lastProgress = 0;
    int filesAtEnd = -1;
    MusicCopyToLibraryRun run(library, tracks, handler);
    run.setProgress([&](int done, int) {
        std::lock_guard lock(mutex);
        workers.insert(std::this_thread::get_id());
        mostThreads = std::max(mostThreads, threadCount());
        lastProgress = done;
    });
    const std::optional<MusicTransferReport> report = runJob(phone, [&](devjobs::JobControl &job) {
        auto result = std::make_optional(run.run(job));
        filesAtEnd = int(filesUnder(music).size());
        return result;
    });
    ASSERT_TRUE(report.has_value());

    std::lock_guard lock(mutex);
    EXPECT_EQ(workers.size(), 1u);
    EXPECT_EQ(workers.count(std::this_thread::get_id()), 0u);
    EXPECT_LE(mostThreads, baseline + 1) << "the test thread and one worker";
    EXPECT_EQ(lastProgress, 201);
    EXPECT_EQ(report->done.size(), 200);
    ASSERT_EQ(report->failed.size(), 1);
    EXPECT_TRUE(report->failed[0].startsWith(QStringLiteral("Missing Song: ")));
    // Every copy was in place when the run said it was done: 200 tracks and the playlist.
    EXPECT_EQ(filesAtEnd, 201);
    const QList<QByteArray> lines = bytes(handler->playlistPath(QStringLiteral("iPhoneMusic"))).split('\n');
    EXPECT_EQ(lines.size(), 202); // the header, 200 tracks, the empty piece after the last newline
    EXPECT_EQ(lines.value(1), (music + QStringLiteral("/Copy 0.") + MusicLibraryLoad::extensionOf(*tracks[0])).toUtf8());
}

TEST_F(MusicTransferTest, ARunEndsWhenItsPhoneLeaves)
{
    amd::DeviceHandle handle = 0;
    const int phone = plug(scenario(), &handle);
    const auto library = load(phone);
    amd::SimulatedFaults stall;
    stall.readStallsAfterBytes = 100;
    backend->setFaults(handle, stall);

    QTemporaryDir chosen;
    MusicExportRun run(library, playable(*library).mid(0, 3), chosen.path());
    QObject receiver;
    devjobs::JobLane lane(&receiver);
    std::optional<MusicTransferReport> report;
    lane.start(
        phone, [&run](devjobs::JobControl &job) { return run.run(job); },
        [&](const MusicTransferReport &r, const devjobs::JobError &) { report = r; });
    backend->unplug(handle);
    ASSERT_TRUE(QTest::qWaitFor([&] { return report.has_value(); }, 30000));
    EXPECT_TRUE(report->deviceGone);
    EXPECT_TRUE(report->done.isEmpty());
    EXPECT_TRUE(filesUnder(chosen.path()).isEmpty()) << "no claimed or half-written file left";
}

class ScriptHandlerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        handler.setMusicFolder(m_dir.filePath(QStringLiteral("Music")));
        handler.setVideosFolder(m_dir.filePath(QStringLiteral("Videos")));
        handler.setAlertHandler([this](const QString &title, const QString &message) {
            alerts.append(title + QStringLiteral(" / ") + message);
        });
        ASSERT_TRUE(simtest::writeBytes(source(QStringLiteral("song.mp3")), "ID3 song"));
        ASSERT_TRUE(simtest::writeBytes(source(QStringLiteral("clip.m4v")), "movie"));
    }
    QString music() const { return handler.musicFolder(); }
    QString videos() const { return handler.videosFolder(); }
    QString source(const QString &name) const { return m_dir.filePath(QStringLiteral("device/") + name); }
    QString text(const QString &path) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir m_dir;
    iTunesScriptHandler handler;
    QStringList alerts;
};

TEST_F(ScriptHandlerTest, PlaylistsAreM3u8FilesOfTheMusicFolder)
{
    const QString list = handler.addNewPlaylist(QStringLiteral("iPhoneMusic")).toString();
    EXPECT_EQ(handler.lastHandlerName(), QStringLiteral("addnewplaylist"));
    EXPECT_EQ(list, music() + QStringLiteral("/iPhoneMusic.m3u8"));
    EXPECT_EQ(text(list), QStringLiteral("#EXTM3U\n"));

    EXPECT_EQ(handler.addNewFile(source(QStringLiteral("song.mp3")), QStringLiteral("iPhoneMusic")).toString(),
              music() + QStringLiteral("/song.mp3"));
    EXPECT_EQ(handler.lastHandlerName(), QStringLiteral("addnewfile"));
    handler.addNewPlaylist(QStringLiteral("iPhoneMusic")); // an existing playlist stays as it is
    // The same song again is the copy there; another song of its name is new,
    // and found again under its numbered name.
    ASSERT_TRUE(simtest::writeBytes(source(QStringLiteral("other/song.mp3")), "ID3 other"));
    for (const char *name : {"song.mp3", "other/song.mp3", "song.mp3", "other/song.mp3", "clip.m4v"})
        handler.addNewFile(source(QLatin1String(name)), QStringLiteral("iPhoneMusic"));
    EXPECT_EQ(text(list), QStringLiteral("#EXTM3U\n%1/song.mp3\n%1/song 2.mp3\n%2/clip.m4v\n").arg(music(), videos()));
    EXPECT_EQ(filesUnder(music()).size(), 3);
    EXPECT_EQ(text(videos() + QStringLiteral("/clip.m4v")), QStringLiteral("movie"));
    EXPECT_EQ(text(music() + QStringLiteral("/song 2.mp3")), QStringLiteral("ID3 other"));

    handler.addNewPlaylist(QStringLiteral("Road Trip"));
    EXPECT_EQ(handler.getAllPlaylist(), (QStringList{QStringLiteral("Road Trip"), QStringLiteral("iPhoneMusic")}));
    EXPECT_EQ(handler.lastHandlerName(), QStringLiteral("getallplaylist"));
    EXPECT_EQ(handler.deletePlaylist(QStringLiteral("Road Trip")), QVariant(true));
    EXPECT_EQ(handler.lastHandlerName(), QStringLiteral("deleteplaylist"));
    EXPECT_EQ(handler.getAllPlaylist(), QStringList{QStringLiteral("iPhoneMusic")});
    handler.deletePlaylist(QStringLiteral("iPhoneMusic"));
    EXPECT_TRUE(handler.getAllPlaylist().isEmpty());

    EXPECT_FALSE(handler.hideWindow().isNull());
    EXPECT_EQ(handler.lastHandlerName(), QStringLiteral("hidewindow"));
    EXPECT_FALSE(handler.quit().isNull());
    EXPECT_EQ(handler.lastHandlerName(), QStringLiteral("quitwindow"));
    EXPECT_TRUE(alerts.isEmpty()) << alerts.join(QLatin1Char('\n')).toStdString();
}

TEST_F(ScriptHandlerTest, FailuresShowTheAlertAndBadParametersCallNothing)
{
    EXPECT_TRUE(handler.callHandler(QStringLiteral("PlayEverything"), {QStringLiteral("a"), 3}).isNull());
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_TRUE(alerts[0].startsWith(
        QStringLiteral("AttachAScript Error / Error -1708 occured the PlayEverything(a, 3) call: ")))
        << alerts[0].toStdString();
    EXPECT_EQ(iTunesScriptHandler::kAlertTitle, QStringLiteral("AttachAScript Error"));

    EXPECT_TRUE(handler.callHandler(QStringLiteral("AddNewPlaylist"), {QDate(2024, 1, 1)}).isNull());
    EXPECT_EQ(alerts.size(), 1) << "a parameter of another type is only logged";
    EXPECT_FALSE(QFileInfo::exists(music()));

    EXPECT_TRUE(handler.addNewFile(source(QStringLiteral("absent.mp3")), QStringLiteral("x")).isNull());
    EXPECT_EQ(alerts.size(), 2);
    EXPECT_EQ(handler.lastAlertMessage(), alerts[1].section(QStringLiteral(" / "), 1));
}

TEST_F(ScriptHandlerTest, NamesFromThePhoneStayInsideTheFolders)
{
    QTemporaryDir outside;
    ASSERT_TRUE(QDir().mkpath(music()));
    // A playlist name taken by a link is never written through.
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("target.m3u8")), music() + QStringLiteral("/Linked.m3u8")));
    EXPECT_TRUE(handler.addNewPlaylist(QStringLiteral("Linked")).isNull());
    EXPECT_TRUE(handler.addNewFile(source(QStringLiteral("song.mp3")), QStringLiteral("Linked")).isNull());

    const QString list = handler.addNewPlaylist(QStringLiteral("../../evil")).toString();
    ASSERT_FALSE(list.isEmpty());
    EXPECT_EQ(QFileInfo(list).absolutePath(), QFileInfo(music()).absoluteFilePath());
    const QString copy = handler.addNewFile(source(QStringLiteral("song.mp3")), QStringLiteral("../../evil"),
                                            QStringLiteral("../../.config/autostart/x.mp3"))
                             .toString();
    ASSERT_FALSE(copy.isEmpty());
    EXPECT_EQ(QFileInfo(copy).absolutePath(), QFileInfo(music()).absoluteFilePath());
    EXPECT_TRUE(filesUnder(outside.path()).isEmpty());
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name),
              (QStringList{QStringLiteral("Music"), QStringLiteral("device")}));
}

} // namespace
