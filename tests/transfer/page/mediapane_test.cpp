// The music and video panes' actions on the transfer page over the simulated
// phone: delete after the question, export to the sheet's folder and to
// Documents, copy into the music library, play, and a phone that leaves
// while a run goes.

#include "tests/support/eventwait.h"
#include "tests/transfer/transferfixture.h"

#include "filesafety/primages.h"
#include "filesafety/prreveal.h"
#include "filesafety/prthumbnailer.h"
#include "results/prmoviepreview.h"
#include "tools/samplegen/samplefiles.h"
#include "transfer/itunesscripthandler.h"
#include "transfer/page/prmusicartwork.h"
#include "transfer/page/prtansferviewcontroller.h"
#include "transfer/page/prtransfermediapane.h"
#include "transfer/page/prtransfermusiccontroller.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QtEndian>
#include <QFileDialog>
#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

using namespace transfertest;

namespace {

constexpr int kWaitMs = testsupport::kEventWaitMs;

QStringList fileNames(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

QByteArray syncsafe(qsizetype value)
{
    QByteArray bytes;
    for (int shift : {21, 14, 7, 0})
        bytes += char((value >> shift) & 0x7F);
    return bytes;
}

// An ID3v2.4 tag of two pictures, a logo and the front cover, before the song's frames.
QByteArray taggedSong(const QByteArray &cover)
{
    const auto frame = [](char type, const QByteArray &picture) {
        const QByteArray body = QByteArray("\0image/jpeg\0", 12) + type + QByteArray("x\0", 2) + picture;
        return "APIC" + syncsafe(body.size()) + QByteArray(2, 0) + body;
    };
    const QByteArray frames = frame(19, "logo") + frame(3, cover);
    return "ID3\x04" + QByteArray(2, 0) + syncsafe(frames.size()) + frames + samplegen::SampleFiles::mp3(8);
}

// An MP4 file whose metadata holds the cover.
QByteArray mp4Song(const QByteArray &cover)
{
    const auto box = [](const char *type, const QByteArray &payload) {
        QByteArray size(4, 0);
        qToBigEndian(quint32(payload.size() + 8), size.data());
        return size + type + payload;
    };
    const QByteArray item = box("covr", box("data", QByteArray(8, 0) + cover));
    return box("ftyp", "M4A ") + box("moov", box("udta", box("meta", QByteArray(4, 0) + box("ilst", item))));
}

TEST(PRMusicArtwork, TheCoverIsFoundAndALyingSizeFindsNothing)
{
    const QByteArray cover = samplegen::SampleFiles::jpeg(60, 40, Qt::red);
    QByteArray lying = taggedSong(cover);
    lying.replace(lying.indexOf("APIC", 20) + 4, 4, syncsafe(1 << 27));
    for (const auto &[file, picture] : {std::pair(taggedSong(cover), cover), std::pair(mp4Song(cover), cover),
                                        std::pair(lying, QByteArray("logo")),
                                        std::pair(samplegen::SampleFiles::mp3(8), QByteArray())}) {
        QBuffer buffer;
        buffer.setData(file);
        buffer.open(QIODevice::ReadOnly);
        EXPECT_EQ(PRMusicArtwork::embeddedPicture(buffer), picture);
    }
}

class MediaPaneTest : public PhoneTest
{
protected:
    void SetUp() override
    {
        PhoneTest::SetUp();
        page = std::make_unique<PRTansferViewController>();
        page->showView(&host);
        host.resize(1000, 600);
        for (PRTransferMediaPane *pane : {page->musicPane, page->videoPane}) {
            pane->setConfirm([this](const QString &question) {
                questions.append(question);
                return answer;
            });
            pane->setNotice([this](const QString &title, const QString &text) { notices.append(title + '\n' + text); });
            pane->setDocumentsFolder(m_documents.path());
            pane->setReveal([this](const QString &folder) { revealed.append(folder); });
        }
        page->iTunesHander()->setMusicFolder(m_library.filePath(QStringLiteral("Music")));
        page->iTunesHander()->setVideosFolder(m_library.filePath(QStringLiteral("Videos")));
    }
    void TearDown() override
    {
        page.reset();
        PhoneTest::TearDown();
    }

    // Plugs the phone and shows its music pane, loaded.
    int plugAndLoad(amd::DeviceHandle *handle = nullptr)
    {
        const int phone = plug(scenario(), handle);
        page->showMusicView();
        page->ShowMusic(phone);
        EXPECT_TRUE(QTest::qWaitFor([&] { return page->isLoadFinished(PRTansferViewController::Load::Music); }, kWaitMs));
        return phone;
    }

    PRTransferMediaPane *music() const { return page->musicPane; }

    // Waits until the pane's run and downloads have reported back, then
    // takes what applying their reports posted.
    void waitForWork(PRTransferMediaPane *pane)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !pane->hasPendingWork(); }, kWaitMs));
        QCoreApplication::processEvents();
    }
    const PRTranMusicList &rows() const { return page->musicController->tracks(); }

    void select(QTableView *table, const QList<int> &which)
    {
        table->clearSelection();
        for (int row : which)
            table->selectionModel()->select(table->model()->index(row, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    // Triggers an action and waits for the run it starts.
    MusicTransferReport runAction(PRTransferMediaPane *pane, QAction *action)
    {
        QSignalSpy ended(pane, &PRTransferMediaPane::runEnded);
        EXPECT_TRUE(action->isEnabled()) << qPrintable(action->text());
        action->trigger();
        EXPECT_TRUE(ended.size() == 1 || ended.wait(kWaitMs));
        return ended.isEmpty() ? MusicTransferReport() : ended.first().first().value<MusicTransferReport>();
    }

    // The row of a title, -1 without.
    int rowOf(const QString &title) const
    {
        for (int i = 0; i < rows().size(); ++i)
            if (rows()[i]->musicTitle == title)
                return i;
        return -1;
    }

    QWidget host;
    std::unique_ptr<PRTansferViewController> page;
    QStringList questions;
    QStringList notices;
    QStringList revealed;
    bool answer = true;
    QTemporaryDir m_documents;
    QTemporaryDir m_library;
};

TEST_F(MediaPaneTest, DeleteAsksOnceAndDropsOnlyWhatThePhoneRemoved)
{
    amd::DeviceHandle handle = 0;
    plugAndLoad(&handle);
    const QString device = backend->workFolder(handle) + QStringLiteral("/media/");
    const PRTranMusicList before = rows().mid(0, 5);
    ASSERT_EQ(before.size(), 5);
    for (const auto &track : before)
        ASSERT_TRUE(QFileInfo::exists(device + track->musicLoctionpath)) << qPrintable(track->musicTitle);
    select(page->musicTableView, {1, 2});

    // "Cancel": nothing goes, and nothing asks again.
    answer = false;
    music()->deleteAction->trigger();
    EXPECT_EQ(questions, QStringList{PRTransferMediaPane::kDeleteQuestion});
    EXPECT_FALSE(music()->isBusy());
    EXPECT_EQ(rows().mid(0, 5), before);

    // The phone refuses: the rows stay and the user is told which.
    answer = true;
    amd::SimulatedFaults refuse;
    refuse.failingCalls.insert(QStringLiteral("afcRemovePath"), amd::kBackendIoError);
    backend->setFaults(handle, refuse);
    MusicTransferReport report = runAction(music(), music()->deleteAction);
    EXPECT_TRUE(report.done.isEmpty());
    EXPECT_EQ(rows().mid(0, 5), before);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains(before[1]->musicTitle.isEmpty() ? QStringLiteral("Track") : before[1]->musicTitle));

    // Rows 2 and 3 of five go; 1, 4 and 5 stay, and the row before the
    // first deleted one is selected.
    backend->setFaults(handle, {});
    select(page->musicTableView, {1, 2});
    report = runAction(music(), music()->deleteAction);
    EXPECT_EQ(report.done.size(), 2);
    EXPECT_EQ(rows().mid(0, 3), (PRTranMusicList{before[0], before[3], before[4]}));
    EXPECT_FALSE(QFileInfo::exists(device + before[1]->musicLoctionpath));
    EXPECT_FALSE(QFileInfo::exists(device + before[2]->musicLoctionpath));
    EXPECT_TRUE(QFileInfo::exists(device + before[3]->musicLoctionpath));
    EXPECT_EQ(page->musicTableView->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(page->musicTableView->selectionModel()->selectedRows().value(0).row(), 0);
    EXPECT_EQ(questions.size(), 3);
    EXPECT_EQ(notices.size(), 1);
}

TEST_F(MediaPaneTest, ExportsWriteTheChosenTracksBesideWhatIsThere)
{
    plugAndLoad();
    // Three of ten to Documents, one of them beside a file of its name.
    QList<int> chosen;
    for (int i = 0; i < rows().size() && chosen.size() < 3; ++i)
        if (rows()[i]->musicTitle.startsWith(QStringLiteral("Song")))
            chosen.append(i);
    ASSERT_EQ(chosen.size(), 3);
    const QString taken = MusicExportRun::exportName(*rows()[chosen[0]]);
    QFile existing(m_documents.filePath(taken));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("keep");
    existing.close();
    select(page->musicTableView, chosen);
    MusicTransferReport report = runAction(music(), music()->exportDocumentsAction);
    EXPECT_EQ(report.done.size(), 3);
    EXPECT_TRUE(report.failed.isEmpty()) << qPrintable(report.failed.join(';'));
    QStringList expected{taken, MusicExportRun::exportName(*rows()[chosen[1]]),
                         MusicExportRun::exportName(*rows()[chosen[2]])};
    const QString second = QFileInfo(taken).completeBaseName() + QStringLiteral(" 2.") + QFileInfo(taken).suffix();
    expected.append(second);
    expected.sort();
    EXPECT_EQ(fileNames(m_documents.path()), expected);
    EXPECT_EQ(bytes(m_documents.filePath(taken)), QByteArray("keep"));
    EXPECT_GT(QFileInfo(m_documents.filePath(second)).size(), 1000);
    EXPECT_TRUE(revealed.isEmpty()) << "the music form does not reveal Documents";

    // All videos through the sheet, into a folder under a hidden one, which
    // is made as chosen.
    page->showVideoView();
    PRTransferMediaPane *video = page->videoPane;
    video->exportAllAction->trigger();
    ASSERT_NE(page->sp, nullptr);
    EXPECT_TRUE(page->exportFlags.isSet(TransferExport::VideoAll));
    EXPECT_FALSE(video->exportProgressor->isHidden());
    ASSERT_TRUE(QDir().mkpath(m_documents.filePath(QStringLiteral(".hidden"))));
    const QString folder = m_documents.filePath(QStringLiteral(".hidden/Movies out"));
    page->sp->selectFile(folder);
    QSignalSpy ended(video, &PRTransferMediaPane::runEnded);
    QMetaObject::invokeMethod(page->sp, "accept");
    ASSERT_TRUE(ended.size() == 1 || ended.wait(kWaitMs));
    report = ended.first().first().value<MusicTransferReport>();
    EXPECT_EQ(page->exportPath(), folder);
    EXPECT_EQ(report.done.size(), page->videoController->rowCount());
    EXPECT_EQ(fileNames(folder).size(), page->videoController->rowCount());
    EXPECT_TRUE(video->exportProgressor->isHidden());
    // Shown once, when its files are there.
    EXPECT_EQ(revealed, QStringList{folder});

    // A cancelled sheet starts nothing and stops the indicator.
    music()->exportAllAction->trigger();
    EXPECT_TRUE(page->exportFlags.isSet(TransferExport::MusicAll));
    EXPECT_FALSE(music()->exportProgressor->isHidden());
    page->sp->reject();
    EXPECT_TRUE(music()->exportProgressor->isHidden());
    EXPECT_FALSE(music()->isBusy());
}

TEST_F(MediaPaneTest, CopyAllFillsTheMusicLibraryAndNamesWhatFailed)
{
    plugAndLoad();
    const int total = page->musicController->rowCount();
    const MusicTransferReport report = runAction(music(), music()->copyAllAction);
    EXPECT_EQ(report.total, total);
    // The one song whose file the phone lacks is the one failure, named.
    EXPECT_EQ(report.done.size(), total - 1);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains(QStringLiteral("Missing Song")));
    const QString folder = page->iTunesHander()->musicFolder();
    const QStringList files = fileNames(folder);
    EXPECT_EQ(files.size(), total - 1 + 1) << qPrintable(files.join(';')); // and the playlist
    QFile playlist(page->iTunesHander()->playlistPath(MusicCopyToLibraryRun::kPlaylist));
    ASSERT_TRUE(playlist.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = playlist.readAll().split('\n');
    EXPECT_EQ(lines.first(), QByteArray("#EXTM3U"));
    // Every copy is named in the playlist; nothing left the folder, not
    // even the song titled "../../.config/autostart/x".
    EXPECT_GE(lines.size(), total - 1);
    EXPECT_EQ(QDir(m_library.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("Music")});
    for (const QString &file : files)
        EXPECT_TRUE(QFileInfo(folder + '/' + file).isFile()) << qPrintable(file);

    // Each track now has its local copy: the playlist action takes the
    // selected one without a second download.
    select(page->musicTableView, {rowOf(QStringLiteral("Same Title"))});
    EXPECT_TRUE(music()->playlistAction->isEnabled());
    EXPECT_EQ(runAction(music(), music()->playlistAction).done.size(), 1);
}

TEST_F(MediaPaneTest, PlayCopiesTheTrackOnceAndHandsItToThePlayer)
{
    plugAndLoad();
    const int row = rowOf(QStringLiteral("Song 1"));
    ASSERT_GE(row, 0);
    const auto load = page->musicLibrary().currentLoad();
    QSignalSpy started(music(), &PRTransferMediaPane::playStarted);
    music()->play(row);
    ASSERT_TRUE(started.size() == 1 || started.wait(kWaitMs));
    const QString copy = started.first().first().toString();
    EXPECT_TRUE(copy.startsWith(load->scratchPath() + '/')) << qPrintable(copy);
    EXPECT_EQ(load->localCopy(*rows()[row]), copy);
    EXPECT_EQ(music()->titleLab->text(), QStringLiteral("Song 1"));
    EXPECT_FALSE(music()->playView->isHidden());
    EXPECT_TRUE(music()->progress->isHidden());
    // The second play takes the copy at once.
    music()->play(row);
    EXPECT_EQ(started.size(), 2);

    // A track the phone lacks cannot play: the user is told.
    music()->play(rowOf(QStringLiteral("Missing Song")));
    waitForWork(music());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !notices.isEmpty(); }, kWaitMs));
    EXPECT_TRUE(notices[0].contains(QStringLiteral("Missing Song")));
    EXPECT_EQ(started.size(), 2);
}

TEST_F(MediaPaneTest, ASelectedTrackIsShownPausedFromItsOneCopy)
{
    amd::DeviceHandle handle = 0;
    plugAndLoad(&handle);
    QSignalSpy shown(music(), &PRTransferMediaPane::previewShown);
    QSignalSpy started(music(), &PRTransferMediaPane::playStarted);
    // Rows chosen one after another: only the last one is shown.
    for (int row = 0; row < 4; ++row)
        select(page->musicTableView, {row});
    const int last = 3;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !shown.isEmpty(); }, kWaitMs));
    waitForWork(music());
    ASSERT_EQ(shown.size(), 1);
    const auto load = page->musicLibrary().currentLoad();
    EXPECT_EQ(shown.first().first().toString(), load->localCopy(*rows()[last]));
    EXPECT_TRUE(started.isEmpty());
    EXPECT_FALSE(music()->playView->isPlaying());
    EXPECT_EQ(music()->titleLab->text(), rows()[last]->musicTitle);
    // Chosen again, the copy is shown without a second download.
    const QString copy = shown.first().first().toString();
    const QDateTime made = QFileInfo(copy).lastModified();
    select(page->musicTableView, {0});
    select(page->musicTableView, {last});
    EXPECT_EQ(shown.last().first().toString(), copy);
    EXPECT_EQ(QFileInfo(copy).lastModified(), made);

    // A track's cover is shown; one without title, artist or cover shows
    // none of the track before it.
    const int song = rowOf(QStringLiteral("Song 7"));
    QFile file(backend->workFolder(handle) + QStringLiteral("/media/") + rows()[song]->musicLoctionpath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(taggedSong(samplegen::SampleFiles::jpeg(60, 40, Qt::red)));
    file.close();
    const auto pixel = [&] { return music()->imageView->pixmap().toImage().pixelColor(30, 20); };
    select(page->musicTableView, {song});
    ASSERT_TRUE(QTest::qWaitFor([&] { return pixel().red() > 150 && pixel().green() + pixel().blue() < 60; }, kWaitMs));
    select(page->musicTableView, {rowOf(QStringLiteral(" "))});
    waitForWork(music());
    EXPECT_EQ(music()->titleLab->text(), QString());
    EXPECT_EQ(music()->imageView->pixmap().toImage(), imageNamed(PRTransferMediaPane::kDefaultArtwork).toImage());
    select(page->musicTableView, {rowOf(QStringLiteral("Same Title"))});
    EXPECT_EQ(music()->artistLab->text(), QString());
}

TEST_F(MediaPaneTest, APhoneThatLeavesEndsTheRunAndClearsThePane)
{
    amd::DeviceHandle handle = 0;
    const int phone = plugAndLoad(&handle);
    amd::SimulatedFaults stall;
    stall.readStallsAfterBytes = 4096;
    backend->setFaults(handle, stall);
    QSignalSpy ended(music(), &PRTransferMediaPane::runEnded);
    music()->copyAllAction->trigger();
    EXPECT_TRUE(music()->isBusy());
    EXPECT_FALSE(music()->deleteAction->isEnabled());
    backend->unplug(handle);
    ASSERT_TRUE(notify.waitForRemoval(phone));
    page->deviceRemoved(phone);
    ASSERT_TRUE(ended.size() == 1 || ended.wait(kWaitMs));
    EXPECT_TRUE(ended.first().first().value<MusicTransferReport>().deviceGone);
    EXPECT_EQ(page->musicController->rowCount(), 0);
    EXPECT_TRUE(notices.isEmpty()) << "a phone that left is not a list of failures";
    EXPECT_TRUE(music()->exportProgressor->isHidden());
    EXPECT_FALSE(music()->copyAllAction->isEnabled());
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    preferFFmpegBackend();
    QApplication app(argc, argv);
    qRegisterMetaType<MusicTransferReport>();
    PRReveal::setStrategies({[](const QString &) { return true; }, [](const QUrl &) { return true; }});
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
