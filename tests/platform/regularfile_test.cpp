#include "platform/regularfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

void makeFifo(const QString &path)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
}

// A backup folder with one stored file in a two-digit subfolder, and an
// outside folder a stranger's links point into.
class RegularFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        backup = m_dir.filePath(QStringLiteral("backup"));
        outside = m_dir.filePath(QStringLiteral("outside"));
        ASSERT_TRUE(QDir().mkpath(backup + QStringLiteral("/ab")));
        ASSERT_TRUE(QDir().mkpath(outside));
        writeBytes(backup + QStringLiteral("/ab/ab01"), "stored bytes");
        writeBytes(outside + QStringLiteral("/secret"), "outside bytes");
        writeBytes(outside + QStringLiteral("/ab01"), "outside stored bytes");
    }

    QTemporaryDir m_dir;
    QString backup;
    QString outside;
};

TEST_F(RegularFileTest, ReadsRegularFilesAndNothingElse)
{
    EXPECT_EQ(RegularFile::read(backup + QStringLiteral("/ab/ab01"), 100).value_or(QByteArray()), "stored bytes");
    EXPECT_EQ(RegularFile::size(backup + QStringLiteral("/ab/ab01")).value_or(-1), 12);

    // Every kind of non-file answers as a missing one: size, open, read.
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/secret"), backup + QStringLiteral("/link")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), backup + QStringLiteral("/zero")));
    makeFifo(backup + QStringLiteral("/fifo"));
    ASSERT_TRUE(QDir().mkdir(backup + QStringLiteral("/folder")));
    for (const char *name : {"link", "zero", "fifo", "folder", "missing"}) {
        const QString path = backup + QLatin1Char('/') + QLatin1String(name);
        SCOPED_TRACE(name);
        EXPECT_FALSE(RegularFile::isRegular(path));
        EXPECT_FALSE(RegularFile::size(path).has_value());
        EXPECT_FALSE(RegularFile::open(path).isValid());
        EXPECT_FALSE(RegularFile::read(path, 1 << 20).has_value());
        EXPECT_TRUE(RegularFile::readPrefix(path, 1 << 20).isEmpty());
        QFile file;
        EXPECT_FALSE(RegularFile::openFile(file, path));
        EXPECT_FALSE(file.isOpen());
    }
    EXPECT_FALSE(RegularFile::isRegular(QString()));
    EXPECT_FALSE(RegularFile::isRegular(backup + QStringLiteral("/ab/")));
}

TEST_F(RegularFileTest, StoredSubfolderIsNotFollowedButTheBackupFolderIs)
{
    // "cd/" pointing outside: its file has the right name but is not the backup's.
    ASSERT_TRUE(QFile::link(outside, backup + QStringLiteral("/cd")));
    EXPECT_FALSE(RegularFile::isRegular(backup + QStringLiteral("/cd/ab01")));
    EXPECT_FALSE(RegularFile::read(backup + QStringLiteral("/cd/ab01"), 100).has_value());

    // People move a backup to another disk and leave a link behind.
    const QString moved = m_dir.filePath(QStringLiteral("moved"));
    ASSERT_TRUE(QFile::link(backup, moved));
    EXPECT_EQ(RegularFile::read(moved + QStringLiteral("/ab/ab01"), 100).value_or(QByteArray()), "stored bytes");
}

TEST_F(RegularFileTest, CapsCountTheBytesRead)
{
    const QString path = backup + QStringLiteral("/ab/ab01");
    EXPECT_FALSE(RegularFile::read(path, 11).has_value());
    EXPECT_TRUE(RegularFile::read(path, 12).has_value());
    EXPECT_EQ(RegularFile::readPrefix(path, 6), "stored");

    const QString target = m_dir.filePath(QStringLiteral("copy"));
    EXPECT_FALSE(RegularFile::copy(path, target, 11));
    EXPECT_FALSE(QFile::exists(target)) << "a refused copy leaves nothing behind";
    ASSERT_TRUE(RegularFile::copy(path, target, 12));
    QFile copied(target);
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    EXPECT_EQ(copied.readAll(), "stored bytes");
    EXPECT_EQ(copied.permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), QFileDevice::Permissions());
    // Never over an existing file, nor from a FIFO.
    EXPECT_FALSE(RegularFile::copy(path, target, 100));
    makeFifo(backup + QStringLiteral("/fifo"));
    EXPECT_FALSE(RegularFile::copy(backup + QStringLiteral("/fifo"), m_dir.filePath(QStringLiteral("c2")), 100));
    EXPECT_FALSE(QFile::exists(m_dir.filePath(QStringLiteral("c2"))));
}

TEST_F(RegularFileTest, OpenFileAndDescriptorPathReachTheCheckedFile)
{
    const QString path = backup + QStringLiteral("/ab/ab01");
    QFile file;
    ASSERT_TRUE(RegularFile::openFile(file, path));
    EXPECT_EQ(file.size(), 12);
    const QString byDescriptor = RegularFile::descriptorPath(file);
    // The name is replaced by a link after the check: the descriptor still
    // reaches the file that was checked.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/secret"), path));
    QFile again(byDescriptor);
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.readAll(), "stored bytes");
    EXPECT_EQ(file.readAll(), "stored bytes");
}

} // namespace
