#include "tests/pathtree/pathtreetesthelpers.h"

#include "pathtree/prpathfiletablemodel.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>

using namespace pathtreetest;

namespace {

// A phone-sized listing: one folder of 20,000 files, one of 5,000 folders,
// and 75,000 entries spread over a few levels.
QStringList phoneListing()
{
    QStringList paths;
    paths.reserve(100000);
    for (int i = 0; i < 20000; ++i)
        paths << QStringLiteral("/var/mobile/Media/DCIM/100APPLE/IMG_%1.JPG").arg(i, 5, 10, QLatin1Char('0'));
    for (int i = 0; i < 5000; ++i)
        paths << QStringLiteral("/var/mobile/Containers/Data/Application/%1-4B2D/Library/prefs.plist")
                     .arg(quint32(i) * 2654435761u, 8, 16, QLatin1Char('0'));
    QRandomGenerator random(11);
    for (int i = 0; paths.size() < 100000; ++i) {
        QString path = QStringLiteral("/private/var");
        const int depth = 1 + int(random.bounded(5));
        for (int d = 0; d < depth; ++d)
            path += QStringLiteral("/Folder %1").arg(random.bounded(12 + d * 4));
        paths << path + QStringLiteral("/file-%1.dat").arg(i);
    }
    std::shuffle(paths.begin(), paths.end(), random);
    return paths;
}

} // namespace

TEST(PathTreeFigures, FilesAHundredThousandEntriesInBatches)
{
    constexpr int kBatch = 3000;
    const QStringList paths = phoneListing();

    QElapsedTimer timer;
    timer.start();
    QList<PRPathEntryBatch> batches;
    for (qsizetype at = 0; at < paths.size(); at += kBatch) {
        PRPathBatchBuilder builder(PRPathTreeMember::System);
        for (const QString &path : paths.mid(at, kBatch))
            builder.add(path, true, QStringLiteral("1024"));
        batches << builder.take();
    }
    const qint64 buildMs = timer.elapsed();

    PRSystemLibTreeController tree;
    tree.setSortLocale(testLocale());
    // A page showing the big folder's rows listens as the batches arrive.
    PRPathFileTableModel table(&tree);
    tree.fileEntries(systemBatch({QStringLiteral("/var/mobile/Media/DCIM/100APPLE/IMG_first.JPG")}));
    table.setFolder(tree.folderAtPath(tree.systemRoot(), QStringLiteral("/var/mobile/Media/DCIM/100APPLE")));

    qint64 longestNs = 0;
    qint64 totalNs = 0;
    int filed = 0;
    for (const PRPathEntryBatch &batch : std::as_const(batches)) {
        timer.restart();
        filed += tree.fileEntries(batch).filed;
        const qint64 ns = timer.nsecsElapsed();
        totalNs += ns;
        longestNs = std::max(longestNs, ns);
    }

    const PRPathDirNode *dcim = tree.folderAtPath(tree.systemRoot(), QStringLiteral("/var/mobile/Media/DCIM/100APPLE"));
    const PRPathDirNode *apps =
        tree.folderAtPath(tree.systemRoot(), QStringLiteral("/var/mobile/Containers/Data/Application"));
    ASSERT_NE(dcim, nullptr);
    ASSERT_NE(apps, nullptr);
    EXPECT_EQ(filed, 100000);
    EXPECT_EQ(dcim->fileChildren().size(), 20001);
    EXPECT_EQ(table.rowCount(), 20001);
    EXPECT_EQ(apps->children().size(), 5000);

    timer.restart();
    const int folders = expectConsistent(tree);
    const qint64 checkMs = timer.elapsed();

    std::printf("[ figures  ] 100000 entries in %d batches of %d: built %lld ms (worker side), filed %.1f ms in "
                "all, longest batch %.1f ms; %d folders (consistency walk %lld ms)\n",
                int(batches.size()), kBatch, static_cast<long long>(buildMs), double(totalNs) / 1e6,
                double(longestNs) / 1e6, folders, static_cast<long long>(checkMs));
}
