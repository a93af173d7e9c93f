#include "tests/support/qtprinters.h"

#include "backup/notificationnames.h"
#include "backup/storednames.h"
#include "recovery/deletedrecordscanner.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <random>

namespace {

using DeletedRecordScanner::Options;
using DeletedRecordScanner::Reader;

// Every notification of a run, record fields included, as one text each.
class Transcript : public PropertyVisitor
{
public:
    explicit Transcript(NotificationCenter &nc) : m_nc(nc)
    {
        nc.addObserver(this, QString(), [this](const Notification &n) {
            m_line = n.name + QLatin1Char(':');
            if (auto node = n.object.value<PRNodeRef>())
                node->describe(*this);
            else
                m_line += n.object.toString();
            lines << m_line;
        });
    }
    ~Transcript() override { m_nc.removeObserver(this); }

    void text(const char *name, const QString &v) override { m_line += QStringLiteral(" %1=%2").arg(QLatin1String(name), v); }
    void data(const char *name, const QByteArray &v) override { m_line += QStringLiteral(" %1=#%2").arg(QLatin1String(name)).arg(v.size()); }
    void integer(const char *name, qint64 v) override { m_line += QStringLiteral(" %1=%2").arg(QLatin1String(name)).arg(v); }
    void unsignedInteger(const char *name, quint64 v) override { m_line += QStringLiteral(" %1=%2").arg(QLatin1String(name)).arg(v); }
    void flag(const char *name, bool v) override { m_line += QStringLiteral(" %1=%2").arg(QLatin1String(name)).arg(v); }
    void nodeCount(const char *, qsizetype) override {}

    QStringList lines;

private:
    NotificationCenter &m_nc;
    QString m_line;
};

QStringList runAll(const QString &folder, Options options, const char *version = "5.1")
{
    NotificationCenter nc;
    ScanContext ctx(nc);
    ctx.IOSVersionIOS6(QString::fromLatin1(version));
    Transcript transcript(nc);
    for (const auto &step : DeletedRecordScanner::steps(options))
        step(ctx, folder);
    return transcript.lines;
}

// Puts one file under the stored name of every scanned database.
void installEverywhere(const QString &folder, const QByteArray &bytes)
{
    for (const char *name : {StoredNames::AddressBook, StoredNames::Sms, StoredNames::NotesSqlite,
                             StoredNames::CallHistoryDb, StoredNames::BookmarksDb, StoredNames::Calendar}) {
        QFile f(folder + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
}

QByteArray databaseWithDeletedRows()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.db"));
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_exec(db,
                 "PRAGMA page_size=1024; PRAGMA secure_delete=OFF;"
                 "CREATE TABLE call (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER,"
                 " duration INTEGER, flags INTEGER, id INTEGER, name TEXT, country_code TEXT);"
                 "CREATE TABLE note (ROWID INTEGER PRIMARY KEY, a INTEGER, b INTEGER, c INTEGER, d INTEGER,"
                 " e INTEGER, f INTEGER, title TEXT, body TEXT);",
                 nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (int i = 0; i < 300; ++i) {
        const QByteArray sql = QStringLiteral("INSERT INTO call VALUES (NULL, '+1415555%1', %2, %3, %4, -1, NULL, 'us');"
                                              "INSERT INTO note VALUES (NULL, 1, 1, 1, 1, 1, 5, 'title %1', '%5');")
                                   .arg(1000 + i)
                                   .arg(1300000000 + i * 60)
                                   .arg(i % 7 == 0 ? 0 : i * 3)
                                   .arg(i % 2 ? 5 : 4)
                                   .arg(QString(i % 50 + 5, QLatin1Char('b')))
                                   .toUtf8();
        sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
    }
    sqlite3_exec(db, "COMMIT; DELETE FROM call WHERE ROWID % 3 = 0; DELETE FROM note WHERE ROWID % 4 = 0;", nullptr,
                 nullptr, nullptr);
    sqlite3_close(db);
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace

TEST(DeletedRecordScanners, MappedAndStreamReadersAgreeOnRealAndNoisyPages)
{
    QByteArray bytes = databaseWithDeletedRows();
    QTemporaryDir folder;
    installEverywhere(folder.path(), bytes);
    for (const char *version : {"5.1", "6.1", "9.3"}) {
        for (bool commit : {true, false}) {
            const QStringList mapped = runAll(folder.path(), Options{Reader::Mapped, commit}, version);
            const QStringList stream = runAll(folder.path(), Options{Reader::Stream, commit}, version);
            EXPECT_EQ(mapped, stream) << version << " commit " << commit;
            EXPECT_GT(mapped.size(), 6) << "the call rows are carved";
        }
    }

    // Pages of noise made to look like table leaves: many partial hits.
    std::mt19937 random(42);
    for (qsizetype page = 1024; page + 1024 <= bytes.size(); page += 1024) {
        for (qsizetype i = page + 16; i < page + 1024; ++i) {
            static const char alphabet[] = {0x00, 0x01, 0x03, 0x08, 0x09, 0x0f, 0x11, 0x13, 0x55, char(0x81)};
            if (random() % 3 == 0)
                bytes[i] = alphabet[random() % sizeof alphabet];
        }
        bytes[page] = 0x0d;
    }
    installEverywhere(folder.path(), bytes);
    for (const char *version : {"5.1", "7.1"}) {
        const QStringList mapped = runAll(folder.path(), Options{Reader::Mapped, false}, version);
        const QStringList stream = runAll(folder.path(), Options{Reader::Stream, false}, version);
        EXPECT_EQ(mapped, stream) << version;
    }
}

TEST(DeletedRecordScanners, OddFilesEndCleanly)
{
    QTemporaryDir folder;
    const QByteArray real = databaseWithDeletedRows();

    // One page only: nothing carved, every progress value still posted.
    installEverywhere(folder.path(), real.left(1024));
    QStringList lines = runAll(folder.path(), Options{Reader::Mapped, false});
    EXPECT_EQ(lines, (QStringList{QStringLiteral("ScanProgressInfo:75"), QStringLiteral("ScanProgressInfo:80"),
                                  QStringLiteral("ScanProgressInfo:85"), QStringLiteral("ScanProgressInfo:90"),
                                  QStringLiteral("ScanProgressInfo:95"), QStringLiteral("ScanProgressInfo:100")}));

    // Page sizes of 0, a value that is not a power of two, and 1 (65536).
    for (const char *size : {"\x00\x00", "\x0b\xb8", "\x00\x01"}) {
        QByteArray odd = real;
        odd[16] = size[0];
        odd[17] = size[1];
        installEverywhere(folder.path(), odd);
        lines = runAll(folder.path(), Options{Reader::Mapped, false});
        EXPECT_EQ(lines.filter(QStringLiteral("ScanDel")).size() + lines.filter(QStringLiteral("scanDel")).size(), 0);
        EXPECT_EQ(lines.filter(QStringLiteral("ScanProgressInfo")).size(), 6);
    }

    // Cut in the middle of a page, and an empty file.
    installEverywhere(folder.path(), real.left(real.size() / 2 + 100));
    EXPECT_EQ(runAll(folder.path(), Options{Reader::Mapped, true}),
              runAll(folder.path(), Options{Reader::Stream, true}));
    installEverywhere(folder.path(), QByteArray());
    lines = runAll(folder.path(), Options{});
    EXPECT_LE(lines.size(), 6);

    // No databases at all: nothing, not even progress.
    QTemporaryDir empty;
    EXPECT_TRUE(runAll(empty.path(), Options{}).isEmpty());
}

TEST(DeletedRecordScanners, CarvedCallsCarryTheirFields)
{
    QTemporaryDir folder;
    installEverywhere(folder.path(), databaseWithDeletedRows());
    const QStringList calls = runAll(folder.path(), Options{}).filter(QStringLiteral("ScanDelCallHistoryInfo"));
    ASSERT_FALSE(calls.isEmpty());
    // Row 3 was deleted; its bytes are still in the page.
    const QStringList third = calls.filter(QStringLiteral("callPhone=+14155551002 "));
    ASSERT_EQ(third.size(), 1) << calls.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(third.first().contains(QStringLiteral("callType=Incoming")));
    EXPECT_TRUE(third.first().contains(QStringLiteral("callTime=6 ")));
    EXPECT_TRUE(third.first().contains(QStringLiteral("callDate=03-13-2011 07:08")));
}
