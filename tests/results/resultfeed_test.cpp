// The feed takes a scan's records on the scan thread and files them on its
// workers: in the order taken, each progress counting what came before it,
// the end told once everything is filed, and an entry's stored file sized
// from the scan's media record of it when there is one.

#include "tests/support/qtprinters.h"

#include "results/resultfeed.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace {

std::shared_ptr<PRContactNode> contact(const QString &name)
{
    auto c = std::make_shared<PRContactNode>();
    c->setContactName(name);
    return c;
}

std::shared_ptr<PRTreeDirNode> entry(const QString &relative, const QString &key = QString())
{
    auto e = std::make_shared<PRTreeDirNode>();
    e->setFileDomain(QStringLiteral("HomeDomain"));
    e->setFilePath(relative);
    e->setFileKey(key);
    return e;
}

std::shared_ptr<PRPhotoAndVideoNode> media(const QString &key, quint64 size)
{
    auto m = std::make_shared<PRPhotoAndVideoNode>();
    m->setFilePath(key);
    m->setFileSizeNumber(size);
    m->setFileNodeSize(QStringLiteral("%1 as the scan said").arg(size));
    m->setFileNodeName(QStringLiteral("IMG_%1.JPG").arg(size));
    return m;
}

class ResultFeedTest : public ::testing::Test
{
protected:
    // Waits for the end the feed tells; 0 when none came.
    quint64 waitForEnd()
    {
        auto future = ended.get_future();
        return future.wait_for(std::chrono::seconds(60)) == std::future_status::ready ? future.get() : 0;
    }

    PRResultIntake intake;
    PRTreeController tree;
    PRPageTimings timings;
    PRResultFeed feed{intake, tree, timings};
    std::promise<quint64> ended;
};

TEST_F(ResultFeedTest, FilesInTheOrderTakenAndTellsTheEndLast)
{
    std::vector<std::pair<int, QStringList>> progress;
    feed.setProgressSink([&](int value, const QStringList &summary) { progress.push_back({value, summary}); });
    qsizetype contactsAtEnd = 0, filesAtEnd = 0;
    feed.setEndSink([&](quint64 generation) {
        contactsAtEnd = intake.contactArray.size();
        for (const auto &folder : tree.fileDirArray())
            filesAtEnd += folder->fileChildren().size();
        ended.set_value(generation);
    });

    // Several batches of each, from another thread.
    const int contacts = 3 * int(PRResultFeed::kRecordBatch) + 5;
    const int entries = 2 * int(PRResultFeed::kEntryBatch) + 7;
    std::thread scan([&] {
        for (int i = 0; i < contacts; ++i) {
            feed.take(PRResultFeed::Kind::Contact, contact(QString::number(i)));
            if (i == 1499)
                feed.takeProgress(50);
        }
        for (int i = 0; i < entries; ++i)
            feed.takeIndexEntry(entry(QStringLiteral("F%1/%2").arg(i % 7).arg(i)));
        feed.take(PRResultFeed::Kind::DeletedContact, contact(QStringLiteral("5")));
        feed.take(PRResultFeed::Kind::DeletedContact, contact(QStringLiteral("new")));
        feed.takeProgress(100);
        feed.finish(7);
    });
    scan.join();
    ASSERT_EQ(waitForEnd(), 7u);

    ASSERT_EQ(progress.size(), 2u);
    EXPECT_EQ(progress[0].first, 50);
    EXPECT_EQ(progress[0].second.value(2), QStringLiteral("Contacts:  1500"));
    EXPECT_EQ(progress[1].first, 100);
    EXPECT_EQ(progress[1].second.value(2), QStringLiteral("Contacts:  %1").arg(contacts));
    EXPECT_EQ(progress[1].second.value(3), QStringLiteral("Contacts:  1")) << "a carved copy of a live one goes";
    EXPECT_EQ(contactsAtEnd, contacts + 1);
    EXPECT_EQ(filesAtEnd, entries);
    for (int i = 0; i < contacts; ++i)
        ASSERT_EQ(intake.contactArray[i]->contactName(), QString::number(i));
    EXPECT_EQ(intake.contactArray.last()->contactName(), QStringLiteral("new"));
    const auto &f3 = tree.fileDirArray().at(3)->fileChildren();
    for (qsizetype i = 0; i < f3.size(); ++i)
        ASSERT_EQ(f3[i]->treefileName(), QString::number(3 + 7 * i));
}

TEST_F(ResultFeedTest, AnEntrysMediaRecordSizesItsStoredFileAndOthersAreAsked)
{
    feed.setEndSink([this](quint64 generation) { ended.set_value(generation); });
    QTemporaryDir backup;
    ASSERT_TRUE(QDir(backup.path()).mkpath(QStringLiteral("aa")));
    const QString stored = backup.path() + QStringLiteral("/aa/aa01");
    const QString missing = backup.path() + QStringLiteral("/aa/aa02");
    QFile file(stored);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("abc") == 3);
    file.close();
    feed.reset(backup.path());

    // The record right after its entry is the scan's word on the file; a
    // record of another file, or one that found nothing, is not.
    const auto told = media(stored, 12345);
    feed.takeIndexEntry(entry(QStringLiteral("Media/1"), stored));
    feed.take(PRResultFeed::Kind::Photo, told);
    feed.takeIndexEntry(entry(QStringLiteral("Media/2"), stored));
    feed.take(PRResultFeed::Kind::Photo, media(missing, 99));
    feed.takeIndexEntry(entry(QStringLiteral("Media/3"), missing));
    feed.take(PRResultFeed::Kind::Photo, media(missing, 0));
    feed.finish(1);
    ASSERT_EQ(waitForEnd(), 1u);

    ASSERT_EQ(tree.fileDirArray().size(), 1);
    const auto &files = tree.fileDirArray().first()->fileChildren();
    ASSERT_EQ(files.size(), 3);
    EXPECT_EQ(files[0]->realFileSize(), 12345u);
    EXPECT_TRUE(files[0]->isFile());
    EXPECT_TRUE(files[0]->fileSize().isSharedWith(told->fileNodeSize()));
    EXPECT_EQ(files[1]->realFileSize(), 3u);
    EXPECT_EQ(files[1]->fileSize(), QStringLiteral("3.00bytes"));
    EXPECT_FALSE(files[2]->isFile());
    EXPECT_EQ(intake.photoAndVideoArray.size(), 3);
}

} // namespace
