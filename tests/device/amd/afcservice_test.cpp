#include "tests/device/amd/devicetestfixture.h"

#include "device/amd/afcservice.h"
#include "tests/support/qtprinters.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

using Kind = amd::ServiceError::Kind;

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
        ASSERT_TRUE(m_afc.open(m_id).ok());
    }

    QString local(const QString &name) const { return m_dir.filePath(name); }
    QStringList localNames() const { return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir m_dir;
    int m_id = -1;
    amd::AfcService m_afc;
};

TEST_F(AfcServiceTest, AFailedDownloadLeavesNoPartialLocalFile)
{
    // Past the first piece, so a part was written before the read failed.
    constexpr qsizetype kPiece = amd::AfcService::kCopyPiece;
    m_fake->addFile(kPhone, "/DCIM/big", randomBytes(3 * kPiece, 1));
    m_fake->failReadAfter = kPiece + 9000;
    EXPECT_TRUE(m_afc.downloadFile(QStringLiteral("/DCIM/big"), local(QStringLiteral("big"))).failed());
    EXPECT_TRUE(localNames().isEmpty()) << localNames().join(u' ').toStdString();

    // An existing file is not replaced by the broken copy.
    ASSERT_TRUE(writeLocal(local(QStringLiteral("big")), "previous"));
    EXPECT_TRUE(m_afc.downloadFile(QStringLiteral("/DCIM/big"), local(QStringLiteral("big"))).failed());
    EXPECT_EQ(readLocal(local(QStringLiteral("big"))), QByteArray("previous"));
    EXPECT_EQ(localNames(), QStringList{QStringLiteral("big")});

    m_fake->failReadAfter = -1;
    EXPECT_EQ(m_afc.downloadFile(QStringLiteral("/DCIM/missing"), local(QStringLiteral("missing"))).kind(),
              Kind::NotFound);
    EXPECT_FALSE(QFile::exists(local(QStringLiteral("missing"))));
    EXPECT_EQ(m_afc.downloadFile(QStringLiteral("/DCIM/big"), local(QStringLiteral("no/such/folder/big"))).kind(),
              Kind::LocalFile);
}

TEST_F(AfcServiceTest, AFailedUploadLeavesTheOldDeviceFileIntact)
{
    constexpr qsizetype kPiece = amd::AfcService::kCopyPiece;
    const QByteArray old = randomBytes(3000, 2);
    m_fake->addFile(kPhone, "/DCIM/note", old);
    ASSERT_TRUE(writeLocal(local(QStringLiteral("new")), randomBytes(3 * kPiece, 3)));

    m_fake->failWriteAfter = kPiece + 9000;
    EXPECT_TRUE(m_afc.uploadFile(local(QStringLiteral("new")), QStringLiteral("/DCIM/note")).failed());
    EXPECT_EQ(m_fake->file(kPhone, "/DCIM/note"), old);
    EXPECT_EQ(m_afc.listDirectory(QStringLiteral("/DCIM")).toOptional(), QStringList{QStringLiteral("note")});

    // A write that takes fewer bytes than given is a failure too.
    m_fake->failWriteAfter = -1;
    m_fake->shortWrites = true;
    EXPECT_TRUE(m_afc.uploadFile(local(QStringLiteral("new")), QStringLiteral("/DCIM/note")).failed());
    EXPECT_EQ(m_fake->file(kPhone, "/DCIM/note"), old);
    EXPECT_EQ(m_afc.listDirectory(QStringLiteral("/DCIM")).toOptional(), QStringList{QStringLiteral("note")});

    m_fake->shortWrites = false;
    EXPECT_EQ(m_afc.uploadFile(local(QStringLiteral("absent")), QStringLiteral("/DCIM/note")).kind(), Kind::LocalFile);
    EXPECT_TRUE(m_afc.uploadFile(local(QStringLiteral("new")), QStringLiteral("/NoFolder/note")).failed());
    EXPECT_EQ(m_fake->file(kPhone, "/DCIM/note"), old);
}
