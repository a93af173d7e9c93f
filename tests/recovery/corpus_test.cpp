#include "tests/support/qtprinters.h"

#include "backup/contactextractor.h"
#include "backup/storednames.h"
#include "recovery/deletedrecordscanner.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

// Crafted and deliberately broken SQLite files: every scanner, and the live
// steps reading through SQLite, must get through each one without a crash,
// a hang or a read out of bounds (the sanitizer build checks the last),
// whatever they recover.
TEST(SqliteCorpus, EveryFileEndsCleanlyInEveryReader)
{
    QStringList files;
    QDirIterator it(QStringLiteral(OSTRA_FIXTURES "/sqlite-corpus"), {QStringLiteral("*.db")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    ASSERT_GT(files.size(), 100);

    for (const QString &file : files) {
        SCOPED_TRACE(file.toStdString());
        QTemporaryDir folder;
        for (const char *name : {StoredNames::AddressBook, StoredNames::Sms, StoredNames::NotesSqlite,
                                 StoredNames::CallHistoryDb, StoredNames::BookmarksDb, StoredNames::Calendar})
            ASSERT_TRUE(QFile::copy(file, folder.filePath(QLatin1String(name))));

        for (const char *version : {"5.1", "9.3"}) {
            NotificationCenter nc;
            ScanContext ctx(nc);
            ctx.IOSVersionIOS6(QString::fromLatin1(version));
            int posts = 0;
            nc.addObserver(&posts, QString(), [&](const Notification &) { ++posts; });
            for (bool commit : {true, false}) {
                for (const auto &step : DeletedRecordScanner::steps({DeletedRecordScanner::Reader::Mapped, commit}))
                    step(ctx, folder.path());
            }
            ContactExtractor(ctx).scanContactThread(folder.path());
            EXPECT_GE(posts, 0);
        }
    }
}
