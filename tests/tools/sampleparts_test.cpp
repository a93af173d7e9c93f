#include "tools/samplegen/binaryplistencoder.h"
#include "tools/samplegen/commandline.h"
#include "tools/samplegen/samplebackup.h"

#include "tests/support/qtprinters.h"
#include "tests/tools/backupinspection.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

using namespace samplegen;
using namespace inspection;

TEST(ManifestDbFile, MatchesThePhoneSchemaAndHeader)
{
    QTemporaryDir tmp;
    SampleBackupOptions o;
    o.outDir = tmp.path() + QStringLiteral("/b");
    o.iosVersion = QStringLiteral("14.2");
    SampleBackup backup(o);
    backup.addStandardContent();
    ASSERT_TRUE(backup.write()) << backup.errorString().toStdString();
    const QString path = o.outDir + QStringLiteral("/Manifest.db");

    const QByteArray header = readAll(path).left(100);
    ASSERT_EQ(header.size(), 100);
    EXPECT_TRUE(header.startsWith(QByteArray("SQLite format 3\0", 16)));
    EXPECT_EQ((quint8(header[16]) << 8) | quint8(header[17]), 4096);  // page size
    EXPECT_EQ(header[18], 2);                                          // WAL
    EXPECT_EQ(header[19], 2);
    EXPECT_NE(header.mid(52, 4), QByteArray(4, '\0'));                 // auto-vacuum...
    EXPECT_EQ(header.mid(64, 4), QByteArray("\0\0\0\1", 4));           // ...incremental
    EXPECT_EQ(header.mid(60, 4), QByteArray("\0\0\0\2", 4));           // user_version
    EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral("-wal")));
    EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral("-shm")));

    ManifestDb db(path);
    EXPECT_EQ(db.column("SELECT type || ' ' || name || ' ' || coalesce(sql, '') FROM sqlite_master"),
              (QStringList{
                  QStringLiteral("table Files CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath "
                                 "TEXT, flags INTEGER, file BLOB)"),
                  QStringLiteral("index sqlite_autoindex_Files_1 "),
                  QStringLiteral("index FilesDomainIdx CREATE INDEX FilesDomainIdx ON Files(domain)"),
                  QStringLiteral("index FilesRelativePathIdx CREATE INDEX FilesRelativePathIdx ON Files(relativePath)"),
                  QStringLiteral("index FilesFlagsIdx CREATE INDEX FilesFlagsIdx ON Files(flags)"),
                  QStringLiteral("table Properties CREATE TABLE Properties (key TEXT PRIMARY KEY, value BLOB)"),
                  QStringLiteral("index sqlite_autoindex_Properties_1 "),
              }));
    EXPECT_EQ(db.column("SELECT count(*) FROM Properties"), QStringList{QStringLiteral("0")});
    EXPECT_EQ(db.column("PRAGMA integrity_check"), QStringList{QStringLiteral("ok")});
}

// ---------------------------------------------------------------------------

TEST(BinaryPlistEncoder, ListsReadBackThroughLibplist)
{
    BinaryPlistEncoder e;
    const QString longText = QStringLiteral("x").repeated(300);
    const QString unicode = QStringLiteral("Grüße aus Köln – 東京");
    const QByteArray blob(70000, '\x5a');
    const BinaryPlistEncoder::Item items[] = {
        {e.string(QStringLiteral("small")), e.integer(7)},
        {e.string(QStringLiteral("twoBytes")), e.integer(0x1234)},
        {e.string(QStringLiteral("fourBytes")), e.integer(0x12345678)},
        {e.string(QStringLiteral("eightBytes")), e.integer(qint64(1) << 40)},
        {e.string(QStringLiteral("negative")), e.integer(-2)},
        {e.string(QStringLiteral("long")), e.string(longText)},
        {e.string(QStringLiteral("unicode")), e.string(unicode)},
        {e.string(QStringLiteral("blob")), e.data(blob)},
        {e.string(QStringLiteral("empty")), e.data({})},
        {e.string(QStringLiteral("uid")), e.uid(300)},
        {e.string(QStringLiteral("list")), e.array({e.integer(1), e.string(QStringLiteral("two"))})},
    };
    const auto root = PropertyList::fromData(e.finish(e.dict(items, qsizetype(std::size(items)))));
    ASSERT_TRUE(root.has_value());
    const QVariantMap m = root->toMap();
    EXPECT_EQ(m.value("small").toLongLong(), 7);
    EXPECT_EQ(m.value("twoBytes").toLongLong(), 0x1234);
    EXPECT_EQ(m.value("fourBytes").toLongLong(), 0x12345678);
    EXPECT_EQ(m.value("eightBytes").toLongLong(), qint64(1) << 40);
    EXPECT_EQ(m.value("negative").toLongLong(), -2);
    EXPECT_EQ(m.value("long").toString(), longText);
    EXPECT_EQ(m.value("unicode").toString(), unicode);
    EXPECT_EQ(m.value("blob").toByteArray(), blob);
    EXPECT_EQ(m.value("empty").toByteArray(), QByteArray());
    EXPECT_EQ(m.value("uid").value<PlistUid>().value, 300u);
    EXPECT_EQ(m.value("list").toList(), (QVariantList{qint64(1), QStringLiteral("two")}));
}

TEST(BinaryPlistEncoder, RefusesMoreObjectsThanOneByteReferences)
{
    BinaryPlistEncoder e;
    QList<BinaryPlistEncoder::Ref> refs;
    for (int i = 0; i < 255; ++i)
        refs.append(e.integer(i));
    EXPECT_TRUE(e.finish(e.array(refs.constData(), 254)).isEmpty()); // 256 objects
}

// ---------------------------------------------------------------------------

namespace {

MakeBackupCommand parse(QStringList arguments)
{
    arguments.prepend(QStringLiteral("ostra-make-backup"));
    return parseMakeBackupArguments(arguments);
}

} // namespace

TEST(MakeBackupArguments, DefaultsAndEveryOption)
{
    using Action = MakeBackupCommand::Action;
    using Index = SampleBackupOptions::Index;
    const auto plain = parse({QStringLiteral("--out"), QStringLiteral("/tmp/x")});
    ASSERT_EQ(plain.action, Action::Write) << plain.message.toStdString();
    EXPECT_EQ(plain.options.outDir, QStringLiteral("/tmp/x"));
    EXPECT_EQ(plain.options.iosVersion, QStringLiteral("10.3"));
    EXPECT_EQ(plain.options.index, Index::Auto);
    EXPECT_FALSE(plain.options.encrypted);
    EXPECT_EQ(plain.options.scale, 1);

    const auto full = parse({QStringLiteral("--out=/tmp/y"), QStringLiteral("--ios"), QStringLiteral("9.3.5"),
                             QStringLiteral("--index"), QStringLiteral("db"), QStringLiteral("--encrypted"),
                             QStringLiteral("--scale"), QStringLiteral("5000")});
    ASSERT_EQ(full.action, Action::Write) << full.message.toStdString();
    EXPECT_EQ(full.options.iosVersion, QStringLiteral("9.3.5"));
    EXPECT_EQ(full.options.index, Index::Db);
    EXPECT_TRUE(full.options.encrypted);
    EXPECT_EQ(full.options.scale, 5000);
    EXPECT_EQ(parse({QStringLiteral("--out=a"), QStringLiteral("--index=mbdb")}).options.index, Index::Mbdb);

    const auto help = parse({QStringLiteral("--help")});
    EXPECT_EQ(help.action, Action::Help);
    EXPECT_TRUE(help.message.contains(QLatin1String("--scale")));
}

TEST(MakeBackupArguments, BadArgumentsAreErrors)
{
    const QList<QStringList> bad = {
        {},
        {QStringLiteral("--out")},
        {QStringLiteral("--out="), QStringLiteral("--ios=10.3")},
        {QStringLiteral("--out=a"), QStringLiteral("--ios=ten")},
        {QStringLiteral("--out=a"), QStringLiteral("--index=sqlite")},
        {QStringLiteral("--out=a"), QStringLiteral("--scale=0")},
        {QStringLiteral("--out=a"), QStringLiteral("--scale=many")},
        {QStringLiteral("--out=a"), QStringLiteral("--colour")},
        {QStringLiteral("--out=a"), QStringLiteral("stray")},
    };
    for (const QStringList &arguments : bad) {
        const auto command = parse(arguments);
        EXPECT_EQ(command.action, MakeBackupCommand::Action::Error) << arguments.join(' ').toStdString();
        EXPECT_FALSE(command.message.isEmpty());
    }
}
