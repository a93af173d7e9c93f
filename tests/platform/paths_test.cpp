#include "platform/paths.h"
#include "platform/scratchfolder.h"

#include "tests/support/qtprinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

TEST(Paths, UserPatternBecomesTheHomeFolder)
{
    Paths::setHomeFolder(QStringLiteral("/tmp/demo-home"));
    EXPECT_EQ(Paths::userPath(QStringLiteral("/Users/%@/Library/x")), QStringLiteral("/tmp/demo-home/Library/x"));
    EXPECT_EQ(Paths::userPath(QStringLiteral("/Users/%@")), QStringLiteral("/tmp/demo-home"));
    EXPECT_EQ(Paths::userPath(QStringLiteral("/tmp/DB")), QStringLiteral("/tmp/DB"));
    EXPECT_EQ(Paths::backupRoot(), QStringLiteral("/tmp/demo-home/Library/Application Support/MobileSync/Backup"));
    Paths::setHomeFolder({});
    EXPECT_FALSE(Paths::homeFolder().isEmpty());
}

TEST(ScratchFolder, EachUseIsFreshPrivateAndRemoved)
{
    QString first;
    {
        ScratchFolder a;
        ScratchFolder b;
        ASSERT_TRUE(a.isValid());
        ASSERT_TRUE(b.isValid());
        EXPECT_NE(a.path(), b.path());
        first = a.path();

        struct stat st{};
        ASSERT_EQ(stat(QFile::encodeName(ScratchFolder::root()).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        ASSERT_EQ(stat(QFile::encodeName(a.path()).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 077, 0u);

        QFile f(a.filePath(QStringLiteral("x")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("data");
        f.close();
        QDir(a.path()).mkdir(QStringLiteral("sub"));

        ScratchFolder moved = std::move(a);
        EXPECT_FALSE(a.isValid());
        EXPECT_EQ(moved.path(), first);
    }
    EXPECT_FALSE(QFileInfo::exists(first));
}
