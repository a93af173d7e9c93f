#include "transfer/page/prtansferviewcontroller.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <QTimer>

namespace {

using Load = PRTansferViewController::Load;
using Pane = PRTansferViewController::Pane;

TEST(TransferExportFlags, EachActionClearsTheOthersAndTableOrderWins)
{
    TransferExportFlags f;
    EXPECT_EQ(f.first(), -1);
    f.choose(TransferExport::VideoAll);
    f.choose(TransferExport::MusicAll);
    EXPECT_FALSE(f.isSet(TransferExport::VideoAll));
    EXPECT_EQ(f.first(), int(TransferExport::MusicAll));
    // Set by other means: music comes before video in the dispatch order.
    f.flags[std::size_t(TransferExport::VideoAll)] = true;
    EXPECT_EQ(f.first(), int(TransferExport::MusicAll));
}

TEST(PRTansferViewController, ProposedNameChangesEverySecond)
{
    const QDateTime at(QDate(2024, 3, 5), QTime(14, 7, 9), Qt::UTC);
    EXPECT_EQ(PRTansferViewController::proposedExportName(at), QStringLiteral("Ostra 2024-03-05 - 14.07.09"));
    EXPECT_EQ(PRTansferViewController::proposedExportName(at.addMSecs(500)),
              PRTansferViewController::proposedExportName(at));
}

TEST(PRTansferViewController, PanesSwitchAndKeepTheirLoads)
{
    QWidget host;
    PRTansferViewController page;
    page.showView(&host);
    EXPECT_EQ(page.currentPane(), Pane::Main);
    page.showMusicView();
    EXPECT_EQ(page.currentPane(), Pane::Music);
    EXPECT_TRUE(page.pane(Pane::Main)->isHidden());

    // A load finishes later, where its job hands its end over; a second
    // choice of the pane while it runs or after it finished starts nothing.
    int started = 0;
    page.setLoader(Load::Music, [&](int device) {
        ++started;
        QTimer::singleShot(0, &page, [&page, device] { page.loadFinished(Load::Music, device); });
    });
    QSignalSpy ended(&page, &PRTansferViewController::loadEnded);
    page.ShowMusic(3);
    page.ShowMusic(3);
    EXPECT_EQ(started, 1);
    ASSERT_TRUE(ended.wait(5000));
    EXPECT_TRUE(page.isLoadFinished(Load::Music));
    page.showMianView();
    page.ShowMusic(3);
    EXPECT_EQ(started, 1);
    EXPECT_EQ(page.tranferDevice(), 3);

    // The phone leaves: its loads are forgotten and the next phone loads anew.
    page.deviceRemoved(2);
    EXPECT_TRUE(page.isLoadFinished(Load::Music)) << "another phone's removal changes nothing";
    page.deviceRemoved(3);
    EXPECT_FALSE(page.isLoadFinished(Load::Music));
    page.ShowMusic(4);
    ASSERT_TRUE(ended.wait(5000));
    EXPECT_EQ(started, 2);
}

TEST(PRTansferViewController, ALoadOfAPhoneThatLeftEndsNothingForTheNext)
{
    PRTansferViewController page;
    page.setLoader(Load::Photo, [](int) {});
    page.ShowPhoto(1);
    QSignalSpy ended(&page, &PRTansferViewController::loadEnded);
    page.deviceRemoved(1);
    EXPECT_EQ(ended.size(), 1) << "the spinner of the running load stops";
    page.ShowPhoto(2);
    page.loadFinished(Load::Photo, 1); // the old phone's worker ends late
    QCoreApplication::processEvents();
    EXPECT_FALSE(page.isLoadFinished(Load::Photo));
    EXPECT_TRUE(page.isLoadStarted(Load::Photo));
}

TEST(PRTansferViewController, TheSheetRunsTheChosenExportOnTheFolderAsChosen)
{
    QWidget host;
    PRTansferViewController page;
    page.showView(&host);
    QTemporaryDir dir;
    QString musicTo, videoTo;
    page.setExporter(TransferExport::MusicAll, [&](const QString &path) { musicTo = path; });
    page.setExporter(TransferExport::VideoAll, [&](const QString &path) { videoTo = path; });

    page.exportFlags.choose(TransferExport::VideoAll);
    page.ExportOpenpanelAction();
    ASSERT_NE(page.sp, nullptr);
    page.sp->reject();
    EXPECT_TRUE(videoTo.isEmpty()) << "a cancelled sheet starts nothing";

    // A folder under a hidden one keeps its "/." exactly.
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral(".local"))));
    const QString chosen = dir.filePath(QStringLiteral(".local/Ostra export"));
    page.exportFlags.choose(TransferExport::VideoAll);
    page.ExportOpenpanelAction();
    page.sp->selectFile(chosen);
    QMetaObject::invokeMethod(page.sp, "accept");
    EXPECT_EQ(videoTo, chosen);
    EXPECT_TRUE(musicTo.isEmpty());
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
