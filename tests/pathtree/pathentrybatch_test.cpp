#include "tests/pathtree/pathtreetesthelpers.h"

#include "pathtree/pathentrybatch.h"

#include <QThread>

using namespace pathtreetest;

TEST(PathEntryBatch, SplitsAnAbsolutePathIntoItsNames)
{
    QStringList names;
    EXPECT_EQ(PRPathBatchBuilder::splitDevicePath(QStringLiteral("/var/mobile/a.txt"), &names), PRPathCheck::Ok);
    EXPECT_EQ(names, (QStringList{QStringLiteral("var"), QStringLiteral("mobile"), QStringLiteral("a.txt")}));
    EXPECT_EQ(PRPathBatchBuilder::splitDevicePath(QStringLiteral("/.hidden/...")), PRPathCheck::Ok);
}

TEST(PathEntryBatch, RefusesPathsThatCouldMeanAnotherPlace)
{
    const struct
    {
        const char *path;
        PRPathCheck check;
    } cases[] = {
        {"", PRPathCheck::Empty},
        {"/", PRPathCheck::EmptyName},
        {"var/a", PRPathCheck::NotAbsolute},
        {"//a", PRPathCheck::EmptyName},
        {"/a//b", PRPathCheck::EmptyName},
        {"/a/", PRPathCheck::EmptyName},
        {"/a/./b", PRPathCheck::DotName},
        {"/a/../../etc/passwd", PRPathCheck::DotName},
        {"/..", PRPathCheck::DotName},
        {"/.", PRPathCheck::DotName},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        QStringList names{QStringLiteral("stale")};
        EXPECT_EQ(PRPathBatchBuilder::splitDevicePath(QString::fromUtf8(c.path), &names), c.check);
        EXPECT_TRUE(names.isEmpty());
    }
}

TEST(PathEntryBatch, BoundsDepthAndNameLength)
{
    QString deep;
    for (int i = 0; i < PRPathBatchBuilder::kMaxDepth; ++i)
        deep += QStringLiteral("/d");
    EXPECT_EQ(PRPathBatchBuilder::splitDevicePath(deep), PRPathCheck::Ok);
    EXPECT_EQ(PRPathBatchBuilder::splitDevicePath(deep + QStringLiteral("/d")), PRPathCheck::TooDeep);

    const QString longest(PRPathBatchBuilder::kMaxNameLength, u'n');
    EXPECT_EQ(PRPathBatchBuilder::splitDevicePath(QLatin1Char('/') + longest), PRPathCheck::Ok);
    EXPECT_EQ(PRPathBatchBuilder::splitDevicePath(QLatin1Char('/') + longest + u'n'), PRPathCheck::NameTooLong);

    // A huge path is turned away before it is walked.
    QString huge;
    while (huge.size() <= PRPathBatchBuilder::kMaxPathLength)
        huge += QStringLiteral("/abcdefgh");
    EXPECT_EQ(PRPathBatchBuilder::splitDevicePath(huge), PRPathCheck::PathTooLong);
}

TEST(PathEntryBatch, KeepsControlCharactersAsPartOfAName)
{
    QStringList names;
    const QString path = QStringLiteral("/a\nb/\x01\u202Ec\t");
    EXPECT_EQ(PRPathBatchBuilder::splitDevicePath(path, &names), PRPathCheck::Ok);
    EXPECT_EQ(names, (QStringList{QStringLiteral("a\nb"), QStringLiteral("\x01\u202Ec\t")}));
}

TEST(PathEntryBatch, ChildPathTakesOnlySingleNames)
{
    EXPECT_EQ(PRPathBatchBuilder::childPath(QStringLiteral("/"), QStringLiteral("Documents")),
              QStringLiteral("/Documents"));
    EXPECT_EQ(PRPathBatchBuilder::childPath(QStringLiteral("/Documents"), QStringLiteral("a.txt")),
              QStringLiteral("/Documents/a.txt"));
    EXPECT_TRUE(PRPathBatchBuilder::childPath(QStringLiteral("/Documents"), QStringLiteral("../x")).isEmpty());
    EXPECT_TRUE(PRPathBatchBuilder::childPath(QStringLiteral("/Documents"), QStringLiteral("..")).isEmpty());
    EXPECT_TRUE(PRPathBatchBuilder::childPath(QStringLiteral("/Documents"), QString()).isEmpty());
    EXPECT_TRUE(PRPathBatchBuilder::childPath(QStringLiteral("Documents"), QStringLiteral("a")).isEmpty());
    EXPECT_EQ(PRPathBatchBuilder::checkName(QStringLiteral("a/b")), PRPathCheck::SeparatorInName);
}

TEST(PathEntryBatch, CountsRefusedEntriesAndStartsAgainAfterTake)
{
    PRPathBatchBuilder builder(PRPathTreeMember::AppDocuments);
    EXPECT_EQ(builder.add(QStringLiteral("/Documents/a.txt"), true), PRPathCheck::Ok);
    EXPECT_EQ(builder.add(QStringLiteral("/Documents/../../x"), true), PRPathCheck::DotName);
    builder.refuse();
    EXPECT_EQ(builder.size(), 1);
    EXPECT_EQ(builder.refused(), 2);

    const PRPathEntryBatch batch = builder.take();
    EXPECT_EQ(batch.member, PRPathTreeMember::AppDocuments);
    ASSERT_EQ(batch.entries.size(), 1);
    EXPECT_EQ(batch.entries.at(0).names, (QStringList{QStringLiteral("Documents"), QStringLiteral("a.txt")}));
    EXPECT_EQ(batch.refused, 2);
    EXPECT_TRUE(builder.isEmpty());
    EXPECT_EQ(builder.refused(), 0);
    EXPECT_EQ(builder.take().member, PRPathTreeMember::AppDocuments);
}

TEST(PathEntryBatch, IsBuiltOnAWorkerAndFiledOnTheGuiThread)
{
    PRPathEntryBatch batch;
    QThread *worker = QThread::create([&batch] {
        PRPathBatchBuilder builder(PRPathTreeMember::System);
        for (int i = 0; i < 500; ++i)
            builder.add(QStringLiteral("/var/logs/log-%1.txt").arg(i), true);
        batch = builder.take();
    });
    worker->start();
    ASSERT_TRUE(worker->wait(30000));
    delete worker;

    PRSystemLibTreeController tree;
    const PRPathFilingResult result = tree.fileEntries(batch);
    EXPECT_EQ(result.filed, 500);
    const PRPathDirNode *logs = tree.folderAtPath(tree.systemRoot(), QStringLiteral("/var/logs"));
    ASSERT_NE(logs, nullptr);
    EXPECT_EQ(logs->fileChildren().size(), 500);
}
