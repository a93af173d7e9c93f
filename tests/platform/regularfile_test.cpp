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

// Whatever shape a path has, the opened folder answers what size() answers,
// one path at a time and many at once (spread over threads).
TEST_F(RegularFileTest, StoredFolderAnswersAsSizeForEveryShapeOfPath)
{
    ASSERT_TRUE(QFile::link(outside, backup + QStringLiteral("/cd")));
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/secret"), backup + QStringLiteral("/ab/link")));
    ASSERT_TRUE(QDir().mkpath(backup + QStringLiteral("/AB/deeper")));
    writeBytes(backup + QStringLiteral("/AB/up"), "upper case folder");
    writeBytes(backup + QStringLiteral("/AB/deeper/x"), "three deep");
    writeBytes(backup + QStringLiteral("/flat"), "flat, the older layout");
    writeBytes(backup + QStringLiteral("/ab/caf\u00e9"), "unicode");
    makeFifo(backup + QStringLiteral("/ab/fifo"));
    ASSERT_TRUE(QDir().mkpath(backup + QStringLiteral("/zz")));
    ASSERT_TRUE(QDir().mkpath(backup + QStringLiteral("/ef")));
    ASSERT_EQ(::symlink("/dev/null", QFile::encodeName(backup + QStringLiteral("/zz/dev")).constData()), 0);

    QStringList names = {QStringLiteral("ab/ab01"), QStringLiteral("ab/link"), QStringLiteral("ab/fifo"),
                         QStringLiteral("ab/missing"), QStringLiteral("ab/caf\u00e9"), QStringLiteral("cd/ab01"),
                         QStringLiteral("cd/secret"), QStringLiteral("AB/up"), QStringLiteral("AB/deeper/x"),
                         QStringLiteral("AB/deeper"), QStringLiteral("flat"), QStringLiteral("ab"),
                         QStringLiteral("ab/"), QStringLiteral("ab/."), QStringLiteral("ab/.."),
                         QStringLiteral("ab/../flat"), QStringLiteral("../outside/secret"), QStringLiteral("zz/dev"),
                         QStringLiteral("a/b"), QStringLiteral("abc/ab01"), QStringLiteral("g0/x"), QString()};
    QStringList paths;
    for (const QString &name : names)
        paths << backup + QLatin1Char('/') + name;
    paths << outside + QStringLiteral("/secret") << QStringLiteral("relative/ab/ab01") << QString();
    // Enough for the many-at-once form to use several threads.
    for (int i = 0; i < 3000; ++i) {
        const QString name = QStringLiteral("%1/f%2").arg(i % 3 ? QStringLiteral("ab") : QStringLiteral("ef")).arg(i);
        if (i % 2)
            writeBytes(backup + QLatin1Char('/') + name, QByteArray(i % 17, 'x'));
        paths << backup + QLatin1Char('/') + name;
    }

    RegularFile::StoredFolder stored(backup);
    std::vector<QString> all(paths.cbegin(), paths.cend());
    const auto many = stored.sizes(all);
    ASSERT_EQ(many.size(), all.size());
    int found = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(qPrintable(all[i]));
        const auto expected = RegularFile::size(all[i]);
        EXPECT_EQ(stored.size(all[i]), expected);
        EXPECT_EQ(many[i], expected);
        found += expected.has_value();
    }
    // Regular files in every layout, and every kind of refusal, were asked:
    // the 1500 made ones, ab01, café, up, x, flat (also as "ab/../flat") and
    // the outside file (also as "../outside/secret").
    EXPECT_EQ(found, 1500 + 8);
    EXPECT_EQ(stored.size(backup + QStringLiteral("/AB/up")).value_or(-1), 17);
    EXPECT_FALSE(stored.size(backup + QStringLiteral("/cd/ab01")).has_value());

    // A backup folder named like a stored subfolder is itself not followed
    // when it is a link, as size() decides for its flat files.
    const QString linked = m_dir.filePath(QStringLiteral("ef"));
    ASSERT_TRUE(QFile::link(backup, linked));
    RegularFile::StoredFolder viaLink(linked);
    EXPECT_EQ(viaLink.size(linked + QStringLiteral("/flat")), RegularFile::size(linked + QStringLiteral("/flat")));
    EXPECT_FALSE(viaLink.size(linked + QStringLiteral("/flat")).has_value());
    // A backup folder reached through a link of another name is read.
    const QString moved = m_dir.filePath(QStringLiteral("moved"));
    ASSERT_TRUE(QFile::link(backup, moved));
    EXPECT_EQ(RegularFile::StoredFolder(moved).size(moved + QStringLiteral("/ab/ab01")).value_or(-1), 12);
}
