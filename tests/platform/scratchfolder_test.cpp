#include "platform/scratchfolder.h"

#include "tests/support/qtprinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

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
