#include "tests/recovery/zerofreepages.h"
#include "tests/support/qtprinters.h"

#include "backup/notificationnames.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <map>

namespace {

struct Counts
{
    qint64 carved = 0;
    QList<int> progress;
};

Counts scanOnce(const ZeroFreePages::Kind &kind, const QString &folder)
{
    NotificationCenter nc;
    ScanContext ctx(nc);
    ctx.IOSVersionIOS6(QString::fromLatin1(kind.version));
    Counts counts;
    int owner = 0;
    nc.addObserver(&owner, QString(), [&](const Notification &n) {
        if (n.name == kind.posts)
            ++counts.carved;
        else if (n.name == Notifications::ScanProgressInfo)
            counts.progress << n.object.toInt();
    });
    kind.step(ctx, folder, DeletedRecordScanner::Options{});
    nc.removeObserver(&owner);
    return counts;
}

} // namespace

// One mebibyte of each kind's worst case through its scanner. CTest's
// timeout on this test is what catches a search that walks again: walking
// byte by byte, the bookmark file alone takes tens of minutes. The carved
// counts follow from the construction (256 pages of 4096 bytes, page 0 the
// header), worked out by hand:
// - bookmarks: a hit where six bytes are 01; on a page not at offset 0
//   (0x0d), not across the 0x14 at 260 (255 .. 260) nor into the next
//   page's 0x0d (4091 .. 4095): 4096 - 1 - 6 - 5 = 4084 per page;
// - calls: a hit where 01 is followed by 01; every offset but 0 and 4095:
//   4094 per page;
// - contacts: a person signature at every offset 5k from 10 (0 and 5 meet
//   the marks at 0, 8 and 9) to 4090: 817; all lack a row id, and only the
//   first page visited (the last) is numbered and posted;
// - messages and notes: the pages hold no hit a record is posted for;
// - calendar: six bytes of 08 at offsets 1, 2 and 10 .. 4090: 4083 a page.
TEST(ZeroFreePages, EveryScannerGetsThroughAMebibyteWithTheCountsOfItsConstruction)
{
    constexpr qint64 kSize = 1 << 20;
    constexpr qint64 kPages = kSize / ZeroFreePages::kPageSize - 1;
    const std::map<std::string, qint64> expected = {
        {"Bookmarks", 4084 * kPages}, {"CallHistory", 4094 * kPages}, {"Contacts", 817},
        {"Messages", 0},              {"Notes", 0},                   {"Calendar", 4083 * kPages},
    };
    const std::map<std::string, int> progress = {{"Bookmarks", 95}, {"CallHistory", 90}, {"Contacts", 75},
                                                 {"Messages", 80},  {"Notes", 85},       {"Calendar", 100}};
    for (const ZeroFreePages::Kind &kind : ZeroFreePages::kinds()) {
        SCOPED_TRACE(kind.name);
        QTemporaryDir folder;
        ASSERT_TRUE(kind.write(folder.filePath(QLatin1String(kind.storedName)), kSize));
        QElapsedTimer timer;
        timer.start();
        const Counts counts = scanOnce(kind, folder.path());
        std::printf("[ measured ] %s: %lld records in %lld ms\n", kind.name, counts.carved, timer.elapsed());
        EXPECT_EQ(counts.carved, expected.at(kind.name));
        EXPECT_EQ(counts.progress, QList<int>{progress.at(kind.name)});
    }
}
