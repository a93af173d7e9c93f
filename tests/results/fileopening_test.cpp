#include "filesafety/fileopening.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <sys/stat.h>

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

namespace {

QByteArray pngBytes()
{
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

TEST(PRFileOpening, OnlyWhatAViewerShowsAndOnlyWhenContentAndNameAgree)
{
    QTemporaryDir dir;
    const QByteArray zip = QByteArray::fromHex("504b0304140000000800") + QByteArray(40, '\0');
    const QByteArray text = "[Flatpak Repo]\nUrl=https://example.org/repo\n";
    // Each runs, installs or mounts something, or shows a page that runs scripts.
    const QList<std::pair<const char *, QByteArray>> refused = {
        {"app.flatpak", QByteArray::fromHex("78646723") + QByteArray(64, 'f')},
        {"repo.flatpakrepo", text},
        {"ref.flatpakref", "[Flatpak Ref]\nName=org.example.App\n"},
        {"tool.snap", QByteArray::fromHex("68737173") + QByteArray(64, '\0')},
        {"disc.iso", QByteArray(32769, '\0') + "CD001" + QByteArray(64, '\0')},
        {"addon.xpi", zip},
        {"Main.class", QByteArray::fromHex("cafebabe00000034") + QByteArray(32, '\0')},
        {"site.url", "[InternetShortcut]\nURL=file:///bin/sh\n"},
        {"run.tcl", "#!/usr/bin/tclsh\nexec sh\n"},
        {"mod.pyc", QByteArray::fromHex("550d0d0a") + QByteArray(16, '\0')},
        {"page.html", "<html><script>alert(1)</script></html>"},
        {"drawing.svg", "<svg xmlns='http://www.w3.org/2000/svg'><script>alert(1)</script></svg>"},
        {"setup.exe", QByteArray("MZ") + QByteArray(62, '\0')},
        {"launch.desktop", "[Desktop Entry]\nType=Application\nExec=sh\n"},
        // The name says picture or text, the content a program.
        {"photo.png", "#!/bin/sh\nrm -rf ~\n"},
        {"notes.txt", "#!/bin/bash\necho hi\n"},
        {"notes.txt", "<html><body onload='x()'></body></html>"},
        {"photo.png", "<svg xmlns='http://www.w3.org/2000/svg'/>"},
        // Both viewer types, but not the same kind.
        {"photo.png", "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n"},
        // Plain text, but a name the desktop would act on.
        {"readme.sh", "hello\n"},
        {"readme", "hello\n"},
    };
    int n = 0;
    for (const auto &[name, bytes] : refused) {
        const QString stored = write(dir, QStringLiteral("r%1").arg(n++), bytes);
        const QString shown = QString::fromLatin1(name);
        EXPECT_FALSE(PRFileOpening::isSafeToOpen(stored, shown)) << name;
        QString copy;
        EXPECT_EQ(PRFileOpening::prepareCopy(stored, shown, &copy), PRFileOpening::Result::Refused) << name;
        EXPECT_TRUE(copy.isEmpty()) << name;
    }
    EXPECT_FALSE(PRFileOpening::message(PRFileOpening::Result::Refused).isEmpty());

    const QList<std::pair<const char *, QByteArray>> allowed = {
        {"photo.png", pngBytes()},
        {"IMG_0001.JPG", QByteArray::fromHex("ffd8ffe000104a46494600010100000100010000") + QByteArray(32, '\0')},
        {"song.mp3", QByteArray("ID3\x04\x00\x00\x00\x00\x00\x00", 10) + QByteArray(64, '\0')},
        {"clip.mp4", QByteArray::fromHex("000000186674797069736f6d") + QByteArray(64, '\0')},
        {"clip.mp4", QByteArray::fromHex("00000018667479706d703432") + QByteArray(64, '\0')},
        {"clip.mov", QByteArray::fromHex("0000001466747970717420200000000071742020") + QByteArray(64, '\0')},
        {"paper.pdf", "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n"},
        {"hello.txt", "hello, world\n"},
    };
    for (const auto &[name, bytes] : allowed) {
        const QString stored = write(dir, QStringLiteral("a%1").arg(n++), bytes);
        const QString shown = QStringLiteral("Library/") + QString::fromLatin1(name);
        EXPECT_TRUE(PRFileOpening::isSafeToOpen(stored, shown)) << name;
        QString copy;
        ASSERT_EQ(PRFileOpening::prepareCopy(stored, shown, &copy), PRFileOpening::Result::Opened) << name;
        QFile file(copy);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
        EXPECT_EQ(file.readAll(), bytes) << name;
    }
}

TEST(PRFileOpening, LinksPipesAndDevicesAreNeverReadNorCopied)
{
    QTemporaryDir dir;
    QTemporaryDir outside;
    const QString secret = write(outside, QStringLiteral("secret.txt"), "the user's own words\n");
    const QString picture = write(outside, QStringLiteral("own.png"), pngBytes());
    const QString toSecret = dir.filePath(QStringLiteral("l1"));
    const QString toPicture = dir.filePath(QStringLiteral("l2"));
    const QString toZero = dir.filePath(QStringLiteral("l3"));
    const QString fifo = dir.filePath(QStringLiteral("p1"));
    ASSERT_TRUE(QFile::link(secret, toSecret));
    ASSERT_TRUE(QFile::link(picture, toPicture));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), toZero));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const auto &[path, name] : {std::pair{toSecret, "notes.txt"}, std::pair{toPicture, "photo.png"},
                                     std::pair{toZero, "notes.txt"}, std::pair{fifo, "notes.txt"}}) {
        const QString shown = QString::fromLatin1(name);
        EXPECT_FALSE(PRFileOpening::isSafeToOpen(path, shown)) << path.toStdString();
        QString copy;
        EXPECT_EQ(PRFileOpening::prepareCopy(path, shown, &copy), PRFileOpening::Result::Missing) << path.toStdString();
        EXPECT_TRUE(copy.isEmpty());
    }
}
