#include "tests/device/amd/devicetestfixture.h"

#include "device/amd/afc2service.h"
#include "device/amd/afcservice.h"
#include "device/amd/appdirservice.h"
#include "tests/support/qtprinters.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace {

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(generator.bounded(256));
    return bytes;
}

QByteArray readLocal(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeLocal(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class AfcServiceTest : public DeviceLayerTest
{
protected:
    void SetUp() override
    {
        DeviceLayerTest::SetUp();
        ASSERT_TRUE(m_dir.isValid());
        m_id = plugPhone();
        ASSERT_GE(m_id, 0);
        ASSERT_EQ(m_afc.open(m_id), 0);
    }

    QString local(const QString &name) const { return m_dir.filePath(name); }
    QStringList localNames() const { return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir m_dir;
    int m_id = -1;
    amd::AfcService m_afc;
};

TEST_F(AfcServiceTest, CopiesAreByteIdenticalBothWays)
{
    QStringList downloaded;
    for (const qsizetype size : {0, 1, 4095, 4096, 4097, 10 * 1000 * 1000}) {
        SCOPED_TRACE(size);
        const QByteArray bytes = randomBytes(size, quint32(size));
        const QByteArray devicePath = "/DCIM/copy-" + QByteArray::number(size);
        m_fake->addFile(kPhone, devicePath, bytes);

        const QString down = local(QStringLiteral("down-%1").arg(size));
        downloaded << QStringLiteral("down-%1").arg(size);
        ASSERT_EQ(m_afc.downloadFile(QString::fromUtf8(devicePath), down), 0);
        EXPECT_TRUE(readLocal(down) == bytes);

        ASSERT_EQ(m_afc.uploadFile(down, QString::fromUtf8(devicePath) + QStringLiteral(".back")), 0);
        EXPECT_TRUE(m_fake->file(kPhone, devicePath + ".back") == bytes);
    }
    // Nothing was left under a temporary name on either side.
    for (const QByteArray &path : m_fake->filePaths(kPhone))
        EXPECT_FALSE(path.contains("part")) << path.constData();
    QStringList names = localNames();
    names.sort();
    downloaded.sort();
    EXPECT_EQ(names, downloaded);
}

TEST_F(AfcServiceTest, AShorterUploadLeavesNoOldTail)
{
    m_fake->addFile(kPhone, "/DCIM/photo.jpg", QByteArray(10000, 'o'));
    const QByteArray shorter = randomBytes(100, 5);
    ASSERT_TRUE(writeLocal(local(QStringLiteral("short")), shorter));
    ASSERT_EQ(m_afc.uploadFile(local(QStringLiteral("short")), QStringLiteral("/DCIM/photo.jpg")), 0);
    EXPECT_EQ(m_fake->file(kPhone, "/DCIM/photo.jpg"), shorter);
}

TEST_F(AfcServiceTest, AFailedDownloadLeavesNoPartialLocalFile)
{
    m_fake->addFile(kPhone, "/DCIM/big", randomBytes(20000, 1));
    m_fake->failReadAfter = 9000;
    EXPECT_EQ(m_afc.downloadFile(QStringLiteral("/DCIM/big"), local(QStringLiteral("big"))), 1);
    EXPECT_TRUE(localNames().isEmpty()) << localNames().join(u' ').toStdString();

    // An existing file is not replaced by the broken copy.
    ASSERT_TRUE(writeLocal(local(QStringLiteral("big")), "previous"));
    EXPECT_EQ(m_afc.downloadFile(QStringLiteral("/DCIM/big"), local(QStringLiteral("big"))), 1);
    EXPECT_EQ(readLocal(local(QStringLiteral("big"))), QByteArray("previous"));
    EXPECT_EQ(localNames(), QStringList{QStringLiteral("big")});

    m_fake->failReadAfter = -1;
    EXPECT_EQ(m_afc.downloadFile(QStringLiteral("/DCIM/missing"), local(QStringLiteral("missing"))), 1);
    EXPECT_FALSE(QFile::exists(local(QStringLiteral("missing"))));
    EXPECT_EQ(m_afc.downloadFile(QStringLiteral("/DCIM/big"), local(QStringLiteral("no/such/folder/big"))), 1);
}

TEST_F(AfcServiceTest, AFailedUploadLeavesTheOldDeviceFileIntact)
{
    const QByteArray old = randomBytes(3000, 2);
    m_fake->addFile(kPhone, "/DCIM/note", old);
    ASSERT_TRUE(writeLocal(local(QStringLiteral("new")), randomBytes(20000, 3)));

    m_fake->failWriteAfter = 9000;
    EXPECT_EQ(m_afc.uploadFile(local(QStringLiteral("new")), QStringLiteral("/DCIM/note")), 1);
    EXPECT_EQ(m_fake->file(kPhone, "/DCIM/note"), old);
    EXPECT_EQ(m_afc.listDirectory(QStringLiteral("/DCIM")), QStringList{QStringLiteral("note")});

    // A write that takes fewer bytes than given is a failure too.
    m_fake->failWriteAfter = -1;
    m_fake->shortWrites = true;
    EXPECT_EQ(m_afc.uploadFile(local(QStringLiteral("new")), QStringLiteral("/DCIM/note")), 1);
    EXPECT_EQ(m_fake->file(kPhone, "/DCIM/note"), old);
    EXPECT_EQ(m_afc.listDirectory(QStringLiteral("/DCIM")), QStringList{QStringLiteral("note")});

    m_fake->shortWrites = false;
    EXPECT_EQ(m_afc.uploadFile(local(QStringLiteral("absent")), QStringLiteral("/DCIM/note")), 1);
    EXPECT_EQ(m_afc.uploadFile(local(QStringLiteral("new")), QStringLiteral("/NoFolder/note")), 1);
    EXPECT_EQ(m_fake->file(kPhone, "/DCIM/note"), old);
}

TEST_F(AfcServiceTest, TheDeviceLeavingMidCopyFailsTheCopy)
{
    m_fake->addFile(kPhone, "/DCIM/video", randomBytes(50000, 4));
    m_fake->leaveAfterRead = 12000;
    EXPECT_EQ(m_afc.downloadFile(QStringLiteral("/DCIM/video"), local(QStringLiteral("video"))), 1);
    EXPECT_TRUE(localNames().isEmpty());

    ASSERT_TRUE(writeLocal(local(QStringLiteral("up")), "bytes"));
    EXPECT_EQ(m_afc.uploadFile(local(QStringLiteral("up")), QStringLiteral("/DCIM/up")), 1);
    EXPECT_FALSE(m_afc.listDirectory(QStringLiteral("/DCIM")));
    EXPECT_TRUE(m_afc.readWholeFile(QStringLiteral("/DCIM/video")).isEmpty());
}

TEST_F(AfcServiceTest, ListingInformationRemovalAndWholeFiles)
{
    m_fake->addFile(kPhone, "/DCIM/100APPLE/IMG_0001.JPG", "jpeg");
    m_fake->addFile(kPhone, "/DCIM/100APPLE/IMG_0002.MOV", "movie");
    m_fake->addDir(kPhone, "/DCIM/Empty");

    EXPECT_EQ(m_afc.listDirectory(QStringLiteral("/DCIM/100APPLE")),
              (QStringList{QStringLiteral("IMG_0001.JPG"), QStringLiteral("IMG_0002.MOV")}));
    EXPECT_EQ(m_afc.listDirectory(QStringLiteral("/DCIM")),
              (QStringList{QStringLiteral("100APPLE"), QStringLiteral("Empty")}));
    EXPECT_EQ(m_afc.listDirectory(QStringLiteral("/DCIM/Empty")), QStringList{});
    EXPECT_FALSE(m_afc.listDirectory(QStringLiteral("/Nowhere")));

    const auto dir = m_afc.fileInfo(QStringLiteral("/DCIM/100APPLE"));
    ASSERT_TRUE(dir);
    EXPECT_EQ(dir->value(QStringLiteral("st_ifmt")), QStringLiteral("S_IFDIR"));
    const auto file = m_afc.fileInfo(QStringLiteral("/DCIM/100APPLE/IMG_0002.MOV"));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->value(QStringLiteral("st_ifmt")), QStringLiteral("S_IFREG"));
    EXPECT_EQ(file->value(QStringLiteral("st_size")), QStringLiteral("5"));
    EXPECT_FALSE(m_afc.fileInfo(QStringLiteral("/DCIM/none")));

    EXPECT_EQ(m_afc.removePath(QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG")), 0);
    EXPECT_NE(m_afc.removePath(QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG")), 0);
    EXPECT_NE(m_afc.removePath(QStringLiteral("/DCIM/100APPLE")), 0);

    m_fake->addFile(kPhone, "/DCIM/hundred", QByteArray(100, 'h'));
    EXPECT_EQ(m_afc.readWholeFile(QStringLiteral("/DCIM/hundred"), 100), QByteArray(100, 'h'));
    EXPECT_TRUE(m_afc.readWholeFile(QStringLiteral("/DCIM/hundred"), 99).isEmpty());
    m_fake->addFile(kPhone, "/DCIM/large", QByteArray(20000, 'l'));
    EXPECT_TRUE(m_afc.readWholeFile(QStringLiteral("/DCIM/large"), 10000).isEmpty());
}

TEST_F(AfcServiceTest, HouseArrestReachesOnlyTheAppsContainer)
{
    const QString app = QStringLiteral("com.example.notes");
    m_fake->configure(kPhone, [&](FakeBackend::Device &d) { d.apps.insert(app, QVariantMap()); });
    m_fake->addFile(kPhone, "/Containers/com.example.notes/Documents/a.txt", "A");

    amd::AppDirService container;
    ASSERT_EQ(container.open(m_id, app), 0);
    EXPECT_EQ(container.listDirectory(QStringLiteral("/Documents")), QStringList{QStringLiteral("a.txt")});
    EXPECT_EQ(container.readWholeFile(QStringLiteral("/Documents/a.txt")), QByteArray("A"));

    amd::AppDirService missing;
    EXPECT_NE(missing.open(m_id, QStringLiteral("com.example.none")), 0);
    EXPECT_FALSE(missing.listDirectory(QStringLiteral("/")));

    amd::Afc2Service root;
    EXPECT_NE(root.open(m_id), 0);
    ASSERT_TRUE(gDeviceMutex.try_lock());
    gDeviceMutex.unlock();
}
