#include "tests/support/qtprinters.h"

#include "results/prtreecontroller.h"
#include "results/prtreemodels.h"

#include "backup/textformat.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QSignalSpy>
#include <QSplitter>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeView>

#include <iostream>
#include <thread>
#include "tests/support/plaintextwalk.h"

namespace {

using DirRef = PRTreeController::DirRef;
using FileRef = PRTreeController::FileRef;

DirRef entry(const QString &domain, const QString &path, const QString &key = QString())
{
    auto e = std::make_shared<PRTreeDirNode>();
    e->setFileDomain(domain);
    e->setFilePath(path);
    if (!key.isNull())
        e->setFileKey(key);
    return e;
}

QStringList names(const QList<DirRef> &folders)
{
    QStringList out;
    for (const DirRef &f : folders)
        out << f->fileName();
    return out;
}

QStringList names(const QList<FileRef> &files)
{
    QStringList out;
    for (const FileRef &f : files)
        out << f->treefileName();
    return out;
}

// The folder at a "/"-separated path of names from the top, or null.
DirRef folderAt(const PRTreeController &tree, const QString &path)
{
    const QList<DirRef> *level = &tree.topLevel();
    DirRef found;
    for (const QString &name : path.split(QLatin1Char('/'))) {
        found.reset();
        for (const DirRef &f : *level)
            if (f->fileName() == name)
                found = f;
        if (!found)
            return nullptr;
        level = &found->children();
    }
    return found;
}

// Every folder and file state agrees with what lies below it, and every
// icon with its folder's state.
void expectConsistent(const PRTreeController &tree)
{
    QList<DirRef> pending = tree.topLevel();
    while (!pending.isEmpty()) {
        const DirRef d = pending.takeLast();
        int on = 0, off = 0, some = 0;
        for (const FileRef &f : d->fileChildren())
            ++(f->bSelected() ? on : off);
        for (const DirRef &c : d->children()) {
            ++(c->isSelected() == 1 ? on : c->isSelected() == 2 ? some : off);
            pending.append(c);
        }
        const int expected = some || (on && off) ? 2 : on ? 1 : 0;
        if (on + off + some > 0) {
            EXPECT_EQ(d->isSelected(), expected) << d->fileName().toStdString();
        }
        EXPECT_EQ(d->nodeIcon(), PRTreeController::iconForState(d->isSelected()));
    }
    int counted = 0;
    for (const DirRef &top : tree.topLevel())
        counted = PRTreeController::getNumSelectedItem(*top, counted);
    EXPECT_EQ(tree.getTreeSelectedItemNum(), counted);
}

class TreeControllerTest : public ::testing::Test
{
protected:
    void SetUp() override { tree.setDeviceName(QStringLiteral("Phone")); }
    void add(const QString &domain, const QString &path, const QString &key = QString())
    {
        tree.addTreeNode(entry(domain, path, key));
    }
    // Writes a stored file of size bytes and returns its path.
    QString stored(const QString &name, int size)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'x'));
        return path;
    }

    PRTreeController tree;
    QTemporaryDir dir;
};

TEST_F(TreeControllerTest, FilesEntriesUnderDeviceDomainAndFolders)
{
    add(QStringLiteral("HomeDomain"), QStringLiteral("Library/Preferences/a.plist"));
    add(QStringLiteral("HomeDomain"), QStringLiteral("Library/b.plist"));

    EXPECT_EQ(names(tree.topLevel()), QStringList{QStringLiteral("Phone")});
    const DirRef library = folderAt(tree, QStringLiteral("Phone/HomeDomain/Library"));
    const DirRef prefs = folderAt(tree, QStringLiteral("Phone/HomeDomain/Library/Preferences"));
    ASSERT_TRUE(library && prefs);
    EXPECT_EQ(names(library->children()), QStringList{QStringLiteral("Preferences")});
    EXPECT_EQ(names(library->fileChildren()), QStringList{QStringLiteral("b.plist")});
    EXPECT_EQ(names(prefs->fileChildren()), QStringList{QStringLiteral("a.plist")});

    const FileRef a = prefs->fileChildren().first();
    EXPECT_EQ(a->dirFilePath(), QStringLiteral("HomeDomain/Library/Preferences/a.plist"));
    EXPECT_EQ(a->treefileType(), QStringLiteral("plist"));
    // Only folders made as the last folder of a path are in the lookup list.
    EXPECT_EQ(names(tree.fileDirArray()), QStringList{QStringLiteral("Preferences")});
    EXPECT_TRUE(prefs->isLeaf());
    EXPECT_FALSE(library->isLeaf());
}

TEST_F(TreeControllerTest, SiblingsSortedSharedAndFilesInArrivalOrder)
{
    for (const char *path : {"Media/zeta/1", "Media/Beta/2", "Media/alpha/3", "Media/beta/4", "Media/Beta/5",
                             "Media/Alpha/6", "Media/10/7", "Media/9/8"})
        add(QStringLiteral("MediaDomain"), QString::fromLatin1(path));

    const DirRef media = folderAt(tree, QStringLiteral("Phone/MediaDomain/Media"));
    ASSERT_TRUE(media);
    QStringList expected = names(media->children());
    std::sort(expected.begin(), expected.end(),
              [](const QString &a, const QString &b) { return QString::localeAwareCompare(a, b) < 0; });
    EXPECT_EQ(names(media->children()), expected);
    EXPECT_EQ(media->children().size(), 7) << "Beta is shared, beta and Alpha are not merged into others";
    EXPECT_EQ(names(folderAt(tree, QStringLiteral("Phone/MediaDomain/Media/Beta"))->fileChildren()),
              (QStringList{QStringLiteral("2"), QStringLiteral("5")}));
}

TEST_F(TreeControllerTest, DotDomainLosesItsDotButDotNamesBelowStay)
{
    add(QStringLiteral(".Hidden"), QStringLiteral("Library/.config/.rc"));
    add(QStringLiteral("HomeDomain"), QStringLiteral("Library/.GlobalPreferences.plist"));
    add(QStringLiteral("HomeDomain"), QStringLiteral("Library/GlobalPreferences.plist"));

    const DirRef config = folderAt(tree, QStringLiteral("Phone/Hidden/Library/.config"));
    ASSERT_TRUE(config);
    EXPECT_EQ(names(config->fileChildren()), QStringList{QStringLiteral(".rc")});
    EXPECT_EQ(config->fileChildren().first()->dirFilePath(), QStringLiteral(".Hidden/Library/.config/.rc"));
    // Two different files stay two different names.
    EXPECT_EQ(names(folderAt(tree, QStringLiteral("Phone/HomeDomain/Library"))->fileChildren()),
              (QStringList{QStringLiteral(".GlobalPreferences.plist"), QStringLiteral("GlobalPreferences.plist")}));
}

TEST_F(TreeControllerTest, StoredFileGivesSizeAndMissingOneIsStillShown)
{
    const QString key = stored(QStringLiteral("abc"), 1500);
    add(QStringLiteral("CameraRollDomain"), QStringLiteral("Media/DCIM/100APPLE/IMG_0001.JPG"), key);
    add(QStringLiteral("CameraRollDomain"), QStringLiteral("Media/DCIM/100APPLE/Makefile"),
        dir.filePath(QStringLiteral("gone")));
    add(QStringLiteral("CameraRollDomain"), QStringLiteral("Media/DCIM/100APPLE/dir"), dir.path());

    const QList<FileRef> files = folderAt(tree, QStringLiteral("Phone/CameraRollDomain/Media/DCIM/100APPLE"))
                                     ->fileChildren();
    ASSERT_EQ(files.size(), 3);
    EXPECT_TRUE(files[0]->isFile());
    EXPECT_EQ(files[0]->realFileSize(), 1500u);
    EXPECT_EQ(files[0]->fileSize(), TextFormat::sizeText(1500));
    EXPECT_EQ(files[0]->filePath(), key);
    EXPECT_EQ(files[0]->treefileType(), QStringLiteral("JPG"));
    for (int i : {1, 2}) {
        EXPECT_FALSE(files[i]->isFile()) << i;
        EXPECT_EQ(files[i]->realFileSize(), 0u);
        EXPECT_EQ(files[i]->fileSize(), TextFormat::sizeText(0));
    }
    EXPECT_EQ(files[1]->treefileType(), QStringLiteral("Makefile")) << "no extension: the whole name";
}

TEST_F(TreeControllerTest, TopOfDomainShortcutFindsTheDomainNotADeepNamesake)
{
    // A deep folder named like a domain enters the lookup list first.
    add(QStringLiteral("AppDomain-x"), QStringLiteral("Library/HomeDomain/inner.txt"));
    add(QStringLiteral("HomeDomain"), QStringLiteral("Library/a.txt"));
    const QString key = stored(QStringLiteral("top"), 3);
    add(QStringLiteral("HomeDomain"), QStringLiteral("top.txt"), key);
    add(QStringLiteral("HomeDomain"), QStringLiteral("second.txt"), key);

    const DirRef home = folderAt(tree, QStringLiteral("Phone/HomeDomain"));
    ASSERT_TRUE(home);
    EXPECT_EQ(names(home->fileChildren()), (QStringList{QStringLiteral("top.txt"), QStringLiteral("second.txt")}));
    EXPECT_EQ(home->fileChildren().last()->dirFilePath(), QStringLiteral("HomeDomain/second.txt"));
    EXPECT_EQ(names(folderAt(tree, QStringLiteral("Phone/AppDomain-x/Library/HomeDomain"))->fileChildren()),
              QStringList{QStringLiteral("inner.txt")});
}

TEST_F(TreeControllerTest, HostilePathsStayInsideTheDeviceFolder)
{
    const QString key = stored(QStringLiteral("k"), 1);
    const QStringList paths{QStringLiteral("../../x"), QStringLiteral("a//b"), QStringLiteral("a/c/"),
                            QString(), QStringLiteral("./y"), QStringLiteral("/abs/z"), QStringLiteral(".."),
                            QStringLiteral("."), QStringLiteral("a/../../../w")};
    for (const QString &p : paths) {
        add(QStringLiteral("HomeDomain"), p, key);
        add(QStringLiteral("HomeDomain"), p);
    }
    add(QStringLiteral("../.."), QStringLiteral("etc/passwd"));
    add(QStringLiteral("/"), QStringLiteral("v"));
    add(QString(), QString());
    tree.addTreeNode(nullptr);

    ASSERT_EQ(names(tree.topLevel()), QStringList{QStringLiteral("Phone")});
    QList<DirRef> pending = tree.topLevel();
    int files = 0;
    while (!pending.isEmpty()) {
        const DirRef d = pending.takeLast();
        EXPECT_FALSE(d->fileName().isEmpty() || d->fileName() == QStringLiteral(".") ||
                     d->fileName() == QStringLiteral(".."));
        for (const FileRef &f : d->fileChildren()) {
            ++files;
            EXPECT_FALSE(f->treefileName().isEmpty() || f->treefileName().contains(QLatin1Char('/')));
            for (const QString &part : f->dirFilePath().split(QLatin1Char('/'))) {
                EXPECT_TRUE(!part.isEmpty() && part != QStringLiteral(".") && part != QStringLiteral(".."))
                    << f->dirFilePath().toStdString();
            }
        }
        pending.append(d->children());
    }
    EXPECT_EQ(files, 2 * 5 + 2) << "x, b, y, z and w twice, passwd and v once";
    EXPECT_TRUE(folderAt(tree, QStringLiteral("Phone/HomeDomain/a/c"))) << "a path ending in / is a folder";
    EXPECT_TRUE(folderAt(tree, QStringLiteral("Phone/etc")));

    // A backup without a device name is still shown.
    PRTreeController unnamed;
    unnamed.addTreeNode(entry(QStringLiteral("HomeDomain"), QStringLiteral("a.txt")));
    ASSERT_EQ(unnamed.topLevel().size(), 1);
    EXPECT_FALSE(unnamed.topLevel().first()->fileName().isEmpty());
}

TEST_F(TreeControllerTest, DeepPathsAreFiledTickedAndFreedWithoutRecursion)
{
    QStringList parts(50000, QStringLiteral("d"));
    parts << QStringLiteral("leaf.txt");
    add(QStringLiteral("HomeDomain"), parts.join(QLatin1Char('/')));
    add(QStringLiteral("HomeDomain"), parts.join(QLatin1Char('/')));
    tree.clickFolder(tree.topLevel().first());
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 2);
    EXPECT_EQ(PRTreeController::getNumSelectedItem(*tree.topLevel().first(), 0), 2);
    tree.initData();
    EXPECT_TRUE(tree.topLevel().isEmpty());
}

class TreeTicksTest : public TreeControllerTest
{
protected:
    void SetUp() override
    {
        TreeControllerTest::SetUp();
        for (const char *p : {"Library/Preferences/a.plist", "Library/Preferences/b.plist", "Library/c.db",
                              "Documents/d.txt", "Documents/Inbox/e.txt"})
            add(QStringLiteral("HomeDomain"), QString::fromLatin1(p));
        add(QStringLiteral("MediaDomain"), QStringLiteral("Media/f.jpg"));
        phone = folderAt(tree, QStringLiteral("Phone"));
        home = folderAt(tree, QStringLiteral("Phone/HomeDomain"));
        library = folderAt(tree, QStringLiteral("Phone/HomeDomain/Library"));
        prefs = folderAt(tree, QStringLiteral("Phone/HomeDomain/Library/Preferences"));
        ASSERT_TRUE(phone && home && library && prefs);
    }
    DirRef phone, home, library, prefs;
};

TEST_F(TreeTicksTest, FolderClicksTickDownAndMarkAncestors)
{
    tree.clickFolder(library);
    EXPECT_EQ(library->isSelected(), 1);
    EXPECT_EQ(prefs->isSelected(), 1);
    EXPECT_EQ(prefs->nodeIcon(), QStringLiteral("selected"));
    EXPECT_TRUE(prefs->fileChildren().first()->bSelected());
    EXPECT_EQ(home->isSelected(), 2);
    EXPECT_EQ(phone->isSelected(), 2);
    EXPECT_EQ(phone->nodeIcon(), QStringLiteral("selectedSome"));
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 3);
    expectConsistent(tree);

    // Unticking one file of a full folder: it and every ancestor are "some".
    tree.setFilesSelected({prefs->fileChildren().first()}, false);
    EXPECT_EQ(prefs->isSelected(), 2);
    EXPECT_EQ(library->isSelected(), 2);
    EXPECT_EQ(home->isSelected(), 2);
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 2);
    expectConsistent(tree);

    // A "some" folder clicked becomes all.
    tree.clickFolder(library);
    EXPECT_EQ(library->isSelected(), 1);
    EXPECT_EQ(prefs->isSelected(), 1);
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 3);

    // All of the device, then none.
    tree.clickFolder(phone);
    EXPECT_EQ(home->isSelected(), 1);
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 6);
    expectConsistent(tree);
    tree.clickFolder(phone);
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 0);
    EXPECT_EQ(library->isSelected(), 0);
    EXPECT_EQ(library->nodeIcon(), QStringLiteral("unselected"));
    expectConsistent(tree);
}

TEST_F(TreeTicksTest, FileTicksCompleteAndEmptyFolders)
{
    // Ticking every file of a folder ticks the folder; others stay "some".
    tree.setFilesSelected(prefs->fileChildren(), true);
    EXPECT_EQ(prefs->isSelected(), 1);
    EXPECT_EQ(library->isSelected(), 2);
    tree.setFilesSelected(library->fileChildren(), true);
    EXPECT_EQ(library->isSelected(), 1);
    EXPECT_EQ(home->isSelected(), 2);
    // Files of several folders at once, already ticked ones included.
    const DirRef docs = folderAt(tree, QStringLiteral("Phone/HomeDomain/Documents"));
    const DirRef inbox = folderAt(tree, QStringLiteral("Phone/HomeDomain/Documents/Inbox"));
    tree.setFilesSelected({prefs->fileChildren().first(), docs->fileChildren().first(),
                           inbox->fileChildren().first()},
                          true);
    EXPECT_EQ(home->isSelected(), 1);
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 5);
    expectConsistent(tree);
    tree.setFilesSelected({inbox->fileChildren().first(), nullptr}, false);
    EXPECT_EQ(docs->isSelected(), 2);
    EXPECT_EQ(phone->isSelected(), 2);
    expectConsistent(tree);
}

TEST_F(TreeTicksTest, FilesOfAnotherOrEmptiedTreeChangeNothing)
{
    PRTreeController other;
    other.addTreeNode(entry(QStringLiteral("HomeDomain"), QStringLiteral("x/y.txt")));
    const FileRef foreign = folderAt(other, QStringLiteral("Unknown Device/HomeDomain/x"))->fileChildren().first();
    tree.setFilesSelected({foreign}, true);
    EXPECT_FALSE(foreign->bSelected());
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 0);
    tree.clickFolder(folderAt(other, QStringLiteral("Unknown Device")));
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 0);

    const FileRef old = prefs->fileChildren().first();
    tree.clickFolder(phone);
    tree.initData();
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 0);
    EXPECT_TRUE(tree.fileDirArray().isEmpty());
    tree.setFilesSelected({old}, false);
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 0);
    // A new scan builds a new tree, not into the old folders.
    add(QStringLiteral("HomeDomain"), QStringLiteral("Library/Preferences/z.plist"));
    EXPECT_EQ(folderAt(tree, QStringLiteral("Phone/HomeDomain/Library/Preferences"))->fileChildren().size(), 1);
}

TEST_F(TreeTicksTest, EntriesFiledAfterTicksMakeFullFoldersPartial)
{
    tree.clickFolder(phone);
    add(QStringLiteral("HomeDomain"), QStringLiteral("Library/Preferences/new.plist"));
    EXPECT_EQ(prefs->isSelected(), 2);
    EXPECT_EQ(phone->isSelected(), 2);
    expectConsistent(tree);

    tree.clickFolder(phone);
    ASSERT_EQ(prefs->isSelected(), 1);
    // A new folder in a folder whose only other children are files.
    add(QStringLiteral("HomeDomain"), QStringLiteral("Library/Preferences/Sub/s.plist"));
    EXPECT_EQ(prefs->isSelected(), 2);
    EXPECT_EQ(library->isSelected(), 2);
    expectConsistent(tree);
}

TEST(TreeControllerText, SubstringsAroundACharacter)
{
    const QChar slash(QLatin1Char('/'));
    EXPECT_EQ(PRTreeController::SubstringToCh(QStringLiteral("a/b/c"), slash), QStringLiteral("a"));
    EXPECT_EQ(PRTreeController::SubstringFromCh(QStringLiteral("a/b/c"), slash), QStringLiteral("b/c"));
    const QString leading = PRTreeController::SubstringToCh(QStringLiteral("/b"), slash);
    EXPECT_TRUE(leading.isEmpty() && !leading.isNull());
    EXPECT_TRUE(PRTreeController::SubstringToCh(QString(), slash).isNull());
    EXPECT_TRUE(PRTreeController::SubstringToCh(QStringLiteral("abc"), slash).isNull());
    EXPECT_TRUE(PRTreeController::SubstringFromCh(QStringLiteral("abc/"), slash).isNull());
    EXPECT_TRUE(PRTreeController::SubstringFromCh(QStringLiteral("abc"), slash).isNull());
}

// Half a million entries across a few domains, filed on a worker thread as
// the page does, then all ticked.
TEST(TreeControllerScale, FilesHalfAMillionEntries)
{
    const QStringList domains{QStringLiteral("CameraRollDomain"), QStringLiteral("MediaDomain"),
                              QStringLiteral("HomeDomain"), QStringLiteral("AppDomain-com.example.app")};
    QList<DirRef> entries;
    constexpr int total = 500000;
    entries.reserve(total);
    for (int i = 0; i < total; ++i) {
        const QString &domain = domains[i % domains.size()];
        const int n = i / int(domains.size());
        QString path;
        switch (n % 4) {
        case 0: path = QStringLiteral("Media/DCIM/%1APPLE/IMG_%2.JPG").arg(100 + n % 40).arg(n, 4, 10, QLatin1Char('0')); break;
        case 1: path = QStringLiteral("Media/Recordings/%1/rec_%2.m4a").arg(n % 300).arg(n); break;
        case 2: path = QStringLiteral("Library/Caches/com.apple.%1/fs/%2/%3.db").arg(n % 50).arg(n % 97).arg(n); break;
        default: path = n % 10 ? QStringLiteral("Documents/f%1.txt").arg(n) : QStringLiteral("top%1.plist").arg(n);
        }
        entries.append(entry(domain, path, QStringLiteral("/nonexistent/ab/%1").arg(i)));
    }

    PRTreeController tree;
    tree.setDeviceName(QStringLiteral("Phone"));
    QElapsedTimer timer;
    timer.start();
    std::thread worker([&] {
        for (const DirRef &e : std::as_const(entries))
            tree.addTreeNode(e);
    });
    worker.join();
    const qint64 filing = timer.elapsed();

    timer.restart();
    tree.clickFolder(tree.topLevel().first());
    const qint64 ticking = timer.elapsed();
    std::cout << "[ timing ] filed " << total << " entries in " << filing << " ms; ticked all in " << ticking
              << " ms" << std::endl;

    EXPECT_EQ(tree.getTreeSelectedItemNum(), total);
    EXPECT_EQ(PRTreeController::getNumSelectedItem(*tree.topLevel().first(), 0), total);
    const DirRef documents = folderAt(tree, QStringLiteral("Phone/HomeDomain/Documents"));
    ASSERT_TRUE(documents);
    tree.setFilesSelected(documents->fileChildren(), false);
    EXPECT_EQ(tree.getTreeSelectedItemNum(), PRTreeController::getNumSelectedItem(*tree.topLevel().first(), 0));
    EXPECT_EQ(tree.topLevel().first()->isSelected(), 2);
}

class TreeModelTest : public TreeTicksTest
{
protected:
    QModelIndex indexFor(const DirRef &folder) { return model.indexOf(folder.get()); }
    PRTreeOutlineModel model{&tree};
};

TEST_F(TreeModelTest, OutlineShowsFoldersOnlyWithTheirTicks)
{
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(model.rowCount(), 0) << "nothing before the first reload";
    model.reload();
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
    EXPECT_EQ(PRTreeOutlineModel::columnIdentifier(0), QStringLiteral("nodeName"));
    ASSERT_EQ(model.rowCount(), 1);
    const QModelIndex home = indexFor(this->home);
    EXPECT_EQ(home.data().toString(), QStringLiteral("HomeDomain"));
    EXPECT_EQ(model.rowCount(home), 2) << "folders only";
    EXPECT_EQ(home.parent(), model.index(0, 0));
    EXPECT_EQ(model.index(0, 0, home).data().toString(), QStringLiteral("Documents"));
    EXPECT_EQ(home.data(Qt::FontRole).value<QFont>().family(), QStringLiteral("Lucida Grande"));

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy ticks(&model, &PRTreeOutlineModel::selectionChanged);
    const QModelIndex lib = indexFor(library);
    EXPECT_TRUE(model.setData(lib, Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(lib.data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(home.data(Qt::CheckStateRole).toInt(), Qt::PartiallyChecked);
    EXPECT_EQ(ticks.size(), 1);
    EXPECT_GE(changed.size(), 3) << "the folder, the one below and the ancestors";
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 3);

    // What a view sends for a click on a "some" box: all.
    EXPECT_TRUE(model.setData(home, Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(this->home->isSelected(), 1);
    EXPECT_FALSE(model.setData(home, Qt::PartiallyChecked, Qt::CheckStateRole));
    EXPECT_TRUE(model.setData(model.index(0, 0), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 0);
    expectConsistent(tree);

    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
    tree.initData();
    add(QStringLiteral("HomeDomain"), QStringLiteral("x/y"));
    model.reload();
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 1);
}

TEST_F(TreeModelTest, FileTableTicksReachTheFolders)
{
    model.reload();
    PRTreeFileController files(&tree);
    EXPECT_EQ(files.columnIdentifier(1), QStringLiteral("Name"));
    EXPECT_EQ(files.columnIdentifier(4), QStringLiteral("Path"));
    files.showFolder(prefs.get());
    ASSERT_EQ(files.rowCount(), 2);
    EXPECT_EQ(files.index(0, files.columnOf(QStringLiteral("Path"))).data().toString(),
              QStringLiteral("HomeDomain/Library/Preferences/a.plist"));
    EXPECT_EQ(files.index(1, files.columnOf(QStringLiteral("Type"))).data().toString(), QStringLiteral("plist"));

    QSignalSpy filesTicked(&files, &PRTreeFileController::filesTicked);
    QObject::connect(&files, &PRTreeFileController::filesTicked, &model, &PRTreeOutlineModel::refreshStates);
    QSignalSpy outlineChanged(&model, &QAbstractItemModel::dataChanged);
    EXPECT_TRUE(files.setData(files.index(0, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(prefs->isSelected(), 2);
    EXPECT_EQ(filesTicked.size(), 1);
    EXPECT_FALSE(outlineChanged.isEmpty());
    EXPECT_EQ(indexFor(prefs).data(Qt::CheckStateRole).toInt(), Qt::PartiallyChecked);

    files.setRowsSelected({0, 1, 7}, true);
    EXPECT_EQ(prefs->isSelected(), 1);
    EXPECT_EQ(tree.getTreeSelectedItemNum(), 2);
    EXPECT_EQ(filesTicked.size(), 2);
    files.setRowsSelected({0, 1}, true);
    EXPECT_EQ(filesTicked.size(), 2) << "nothing changed";
    expectConsistent(tree);
    files.showFolder(nullptr);
    EXPECT_EQ(files.rowCount(), 0);
}

TEST_F(TreeModelTest, NamesShowWithoutTheCharactersThatReorderThem)
{
    // Shown as "Dcoument" beside "fdp.exe" and "exe.PDF" without the care below.
    const QString folder = QStringLiteral("Do\u200bc\u202eum\u202cent");
    const QString file = QStringLiteral("\u202eFDP.exe\u2066x\u2069\ufeff\u061c\u200e");
    const QString tag = QString::fromUcs4(U"\U000E0001y");
    add(QStringLiteral("AppDomain"), folder + QLatin1Char('/') + file + tag);
    model.reload();

    const DirRef stored = folderAt(tree, QStringLiteral("Phone/AppDomain/") + folder);
    ASSERT_TRUE(stored) << "the tree keeps the names as stored";
    const QModelIndex shown = indexFor(stored);
    EXPECT_EQ(shown.data().toString(), QStringLiteral("Document"));
    EXPECT_EQ(testsupport::shownText(shown.data(Qt::ToolTipRole).toString()), QStringLiteral("Document"));

    PRTreeFileController files(&tree);
    files.showFolder(stored.get());
    ASSERT_EQ(files.rowCount(), 1);
    const auto column = [&files](const char *name) {
        return files.index(0, files.columnOf(QLatin1String(name))).data().toString();
    };
    EXPECT_EQ(column("Name"), QStringLiteral("FDP.exexy"));
    EXPECT_EQ(column("Type"), QStringLiteral("exexy"));
    EXPECT_EQ(column("Path"), QStringLiteral("AppDomain/Document/FDP.exexy"));
    // Found by the stored path, not the shown one.
    EXPECT_EQ(stored->fileChildren().first()->dirFilePath(),
              QStringLiteral("AppDomain/") + folder + QLatin1Char('/') + file + tag);
}

// Writes a screenshot when OSTRA_SCREENSHOT_DIR is set.
TEST_F(TreeModelTest, OutlineAndFileTableOnScreen)
{
    const QString key = stored(QStringLiteral("photo"), 2345678);
    add(QStringLiteral("CameraRollDomain"), QStringLiteral("Media/DCIM/100APPLE/IMG_0001.JPG"), key);
    add(QStringLiteral("CameraRollDomain"), QStringLiteral("Media/DCIM/100APPLE/IMG_0002.MOV"), key);
    add(QStringLiteral("CameraRollDomain"), QStringLiteral("Media/DCIM/100APPLE/IMG_0003.JPG"));
    model.reload();
    PRTreeFileController files(&tree);
    QObject::connect(&files, &PRTreeFileController::filesTicked, &model, &PRTreeOutlineModel::refreshStates);
    QObject::connect(&model, &PRTreeOutlineModel::selectionChanged, &files, &PRTreeFileController::refreshTicks);

    QSplitter window;
    window.resize(1000, 360);
    auto *outline = new QTreeView(&window);
    outline->setModel(&model);
    auto *table = new QTableView(&window);
    table->setModel(&files);
    table->verticalHeader()->hide();
    table->setShowGrid(false);
    table->horizontalHeader()->setStretchLastSection(true);
    for (int c = 0; c < files.columnCount(); ++c)
        table->setColumnWidth(c, files.columns()[size_t(c)].width);
    window.setSizes({260, 740});
    QObject::connect(outline->selectionModel(), &QItemSelectionModel::currentChanged, &files,
                     [&](const QModelIndex &current) { files.showFolder(model.folderAt(current)); });

    const DirRef dcim = folderAt(tree, QStringLiteral("Phone/CameraRollDomain/Media/DCIM/100APPLE"));
    ASSERT_TRUE(dcim);
    outline->expandAll();
    outline->setCurrentIndex(model.indexOf(dcim.get()));
    EXPECT_EQ(files.rowCount(), 3);
    files.setData(files.index(0, 0), Qt::Checked, Qt::CheckStateRole);
    model.setData(indexFor(prefs), Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(indexFor(phone).data(Qt::CheckStateRole).toInt(), Qt::PartiallyChecked);
    EXPECT_EQ(files.index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);

    const QString shots = qEnvironmentVariable("OSTRA_SCREENSHOT_DIR");
    if (!shots.isEmpty())
        window.grab().save(shots + QStringLiteral("/backup-file-tree.png"));
}

} // namespace
