#include "platform/scratchfolder.h"

#include "tests/support/qtprinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The id of a process that has ended.
pid_t deadPid()
{
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    return child;
}

bool writeFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("copy") == 4;
}

} // namespace

TEST(ScratchFolder, FoldersNameTheirProcess)
{
    ScratchFolder folder;
    ASSERT_TRUE(folder.isValid());
    EXPECT_TRUE(QFileInfo(folder.path()).fileName().startsWith(QStringLiteral("use-%1-").arg(getpid())));
}

TEST(ScratchFolder, FoldersOfEndedProcessesAreRemovedAtStart)
{
    const QString root = ScratchFolder::root();
    ASSERT_FALSE(root.isEmpty());
    QTemporaryDir outside;
    ASSERT_TRUE(writeFile(outside.filePath(QStringLiteral("keep.db"))));

    const QString dead = root + QStringLiteral("/use-%1-Ab12Cd").arg(deadPid());
    ASSERT_TRUE(QDir().mkpath(dead + QStringLiteral("/sub")));
    ASSERT_TRUE(writeFile(dead + QStringLiteral("/sms.db")));
    ASSERT_TRUE(writeFile(dead + QStringLiteral("/sub/preview.jpg")));
    ASSERT_TRUE(QFile::link(outside.path(), dead + QStringLiteral("/sub/link")));
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("keep.db")), dead + QStringLiteral("/file-link")));
    const QString old = root + QStringLiteral("/use-Zq81xY");
    ASSERT_TRUE(QDir().mkpath(old));
    ASSERT_TRUE(writeFile(old + QStringLiteral("/notes.db")));

    ScratchFolder live;
    ASSERT_TRUE(writeFile(live.filePath(QStringLiteral("open.db"))));
    const QString other = root + QStringLiteral("/not-ours");
    ASSERT_TRUE(QDir().mkpath(other));

    ScratchFolder::removeStale();

    EXPECT_FALSE(QFileInfo::exists(dead));
    EXPECT_FALSE(QFileInfo::exists(old));
    EXPECT_TRUE(QFileInfo::exists(live.filePath(QStringLiteral("open.db")))) << "this process still runs";
    EXPECT_TRUE(QFileInfo::exists(other));
    EXPECT_TRUE(QFileInfo::exists(outside.filePath(QStringLiteral("keep.db")))) << "links are not followed";
    QDir(other).removeRecursively();
}

// A refused archive can leave a tree as deep as it likes; it goes whole,
// holding one folder open at a time, and links inside it lead nowhere.
TEST(ScratchFolder, TreesOfAnyDepthGoWholeWithoutFollowingLinks)
{
    QTemporaryDir outside;
    ASSERT_TRUE(writeFile(outside.filePath(QStringLiteral("keep.db"))));
    const QString dead = ScratchFolder::root() + QStringLiteral("/use-%1-Deep01").arg(deadPid());
    const QString bottom = dead + QStringLiteral("/d").repeated(200);
    ASSERT_TRUE(QDir().mkpath(bottom));
    ASSERT_TRUE(writeFile(bottom + QStringLiteral("/payload.bin")));
    ASSERT_TRUE(QFile::link(outside.path(), dead + QStringLiteral("/d").repeated(120) + QStringLiteral("/out")));
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("keep.db")), bottom + QStringLiteral("/keep-link")));

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = rlim_t(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size() + 12);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    ScratchFolder::removeStale();
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);

    EXPECT_FALSE(QFileInfo::exists(dead));
    EXPECT_EQ(QDir(outside.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"keep.db"});
}
