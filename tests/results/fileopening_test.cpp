#include "results/fileopening.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString write(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

} // namespace

TEST(PRFileOpening, ProgramsScriptsAndDesktopEntriesAreNeverHandedOver)
{
    QTemporaryDir dir;
    // Stored files of a backup carry hashed names: the content decides.
    const QString picture = write(dir, QStringLiteral("3d0d7e5fb2ce288813306e4d4636395e047a3d28"),
                                  QByteArray::fromHex("89504e470d0a1a0a0000000d49484452"));
    EXPECT_TRUE(PRFileOpening::isSafeToOpen(picture, QStringLiteral("photo.png")));
    const QString script = write(dir, QStringLiteral("a1"), "#!/bin/sh\nrm -rf ~\n");
    EXPECT_FALSE(PRFileOpening::isSafeToOpen(script, QStringLiteral("notes.txt")));
    const QString elf = write(dir, QStringLiteral("a2"), QByteArray::fromHex("7f454c4602010100") + QByteArray(64, '\0'));
    EXPECT_FALSE(PRFileOpening::isSafeToOpen(elf, QStringLiteral("image.jpg")));
    const QString text = write(dir, QStringLiteral("a3"), "[Desktop Entry]\nType=Application\nExec=sh\n");
    EXPECT_FALSE(PRFileOpening::isSafeToOpen(text, QStringLiteral("open-me.desktop"))) << "by its name";
    const QString plain = write(dir, QStringLiteral("a4"), "hello\n");
    EXPECT_TRUE(PRFileOpening::isSafeToOpen(plain, QStringLiteral("hello.txt")));
    QFile::setPermissions(plain, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    EXPECT_FALSE(PRFileOpening::isSafeToOpen(plain, QStringLiteral("hello.txt"))) << "executable bit";
    EXPECT_FALSE(PRFileOpening::isSafeToOpen(dir.filePath(QStringLiteral("missing")), QStringLiteral("x.png")));
    EXPECT_EQ(PRFileOpening::openWithDefaultApplication(script, QStringLiteral("run.sh")),
              PRFileOpening::Result::Refused);
    EXPECT_EQ(PRFileOpening::openWithDefaultApplication(dir.filePath(QStringLiteral("gone")), QStringLiteral("x")),
              PRFileOpening::Result::Missing);
}

TEST(PRFileOpening, CopiesGetAPlainNameOfTheirOwn)
{
    EXPECT_EQ(PRFileOpening::copyName(QStringLiteral("Library/Caches/photo.jpg")), QStringLiteral("photo.jpg"));
    EXPECT_EQ(PRFileOpening::copyName(QStringLiteral("../../.bashrc")), QStringLiteral(".bashrc"));
    EXPECT_EQ(PRFileOpening::copyName(QStringLiteral("..")), QStringLiteral("file"));
    EXPECT_EQ(PRFileOpening::copyName(QStringLiteral("a/")), QStringLiteral("file"));
    EXPECT_EQ(PRFileOpening::copyName(QString()), QStringLiteral("file"));
}

TEST(PRFileOpening, TheCopyIsPrivateAndNamedForItsType)
{
    QTemporaryDir dir;
    const QByteArray png = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452") + QByteArray(1000, 'p');
    const QString stored = write(dir, QStringLiteral("3d0d7e5fb2ce288813306e4d4636395e047a3d28"), png);
    QString copy;
    ASSERT_EQ(PRFileOpening::prepareCopy(stored, QStringLiteral("Library/Caches/photo.png"), &copy),
              PRFileOpening::Result::Opened);
    EXPECT_TRUE(copy.endsWith(QStringLiteral("/photo.png")));
    EXPECT_FALSE(copy.startsWith(dir.path()));
    QFile file(copy);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), png);
    EXPECT_EQ(file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::ExeOwner),
              QFileDevice::Permissions());
    const QString script = write(dir, QStringLiteral("b2"), "#!/bin/sh\necho hi\n");
    QString none;
    EXPECT_EQ(PRFileOpening::prepareCopy(script, QStringLiteral("x.txt"), &none), PRFileOpening::Result::Refused);
    EXPECT_TRUE(none.isEmpty());
}
