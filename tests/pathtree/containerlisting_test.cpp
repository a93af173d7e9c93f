#include "tests/pathtree/pathtreetesthelpers.h"

#include "device/amd/appdirservice.h"
#include "device/amd/devicemanager.h"
#include "device/amd/devicenotify.h"
#include "device/devicebackend.h"
#include "device/simulated/simulatedbackend.h"
#include "pathtree/pathfolderlister.h"
#include "pathtree/prapptreecontroller.h"
#include "platform/propertylist.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

using namespace pathtreetest;

namespace {

const QString kBundle = QStringLiteral("com.example.notes");

// Arrivals as the device manager reports them (on its worker).
class Arrivals : public amd::DeviceNotify
{
public:
    void deviceAdded(int id) override
    {
        std::lock_guard lock(m_mutex);
        m_id = id;
        m_changed.notify_all();
    }
    void deviceRemoved(int) override {}
    int waitForArrival()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(30), [this] { return m_id >= 0; });
        return m_id;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_id = -1;
};

// A small phone whose one app's container holds ordinary, hidden, oddly
// named and empty entries, and a folder path that looks like a root marker.
class ContainerListingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_scenario.isValid());
        const QString root = m_scenario.path();
        ASSERT_TRUE(PropertyList::writeFile(
            root + QStringLiteral("/device.plist"),
            QVariantMap{{QStringLiteral("Values"),
                         QVariantMap{{QString(), QVariantMap{{QStringLiteral("UniqueDeviceID"),
                                                              QStringLiteral("00008020-PATHTREE0001")},
                                                             {QStringLiteral("DeviceName"), QStringLiteral("Tree")}}}}}},
            PropertyList::Format::Xml));
        ASSERT_TRUE(PropertyList::writeFile(
            root + QStringLiteral("/apps.plist"),
            QVariantMap{{kBundle, QVariantMap{{QStringLiteral("CFBundleIdentifier"), kBundle},
                                              {QStringLiteral("CFBundleDisplayName"), QStringLiteral("Notes")}}}},
            PropertyList::Format::Xml));
        m_container = root + QStringLiteral("/containers/") + kBundle;
        for (const QString &file :
             {QStringLiteral("Documents/Note 1.txt"), QStringLiteral("Documents/Sub/deep/b.json"),
              QStringLiteral("Documents/.hidden"), QStringLiteral("Documents/line\nbreak.txt"),
              QStringLiteral("Documents/..."), QStringLiteral("Library/Caches/c.bin"),
              QStringLiteral("Library/Preferences/com.example.notes.plist"), QStringLiteral("tmp/tmp/x.tmp"),
              QStringLiteral("iTunesArtwork")})
            writeFile(file);
        ASSERT_TRUE(QDir().mkpath(m_container + QStringLiteral("/Documents/Empty")));

        m_backend = std::make_shared<amd::SimulatedBackend>();
        m_previous = amd::setDeviceBackend(m_backend);
        DeviceManager::instance().setNotify(&m_arrivals);
        ASSERT_EQ(DeviceManager::instance().subscribe(), 0);
        ASSERT_NE(m_backend->plug(root), 0u) << qPrintable(m_backend->errorString());
        m_deviceId = m_arrivals.waitForArrival();
        ASSERT_GE(m_deviceId, 0);
        m_service = std::make_unique<amd::AppDirService>();
        ASSERT_TRUE(m_service->open(m_deviceId, kBundle).ok());
    }

    void TearDown() override
    {
        m_service.reset();
        DeviceManager::instance().unsubscribe();
        DeviceManager::instance().setNotify(nullptr);
        amd::setDeviceBackend(m_previous);
    }

    void writeFile(const QString &relative)
    {
        const QString path = m_container + u'/' + relative;
        ASSERT_TRUE(QDir().mkpath(path.section(u'/', 0, -2)));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("bytes");
    }

    // Lists the container folder by folder, as the apps pane's worker does:
    // a folder is listed when the tree says it may be (claimExpand).
    PRPathEntryBatch listFolder(const QString &folderPath)
    {
        PRPathEntry carrier;
        carrier.appBundleName = kBundle;
        carrier.appDisplayName = QStringLiteral("Notes");
        PRPathBatchBuilder builder(PRPathTreeMember::AppDocuments);
        EXPECT_GE(PRPathFolderLister::listFolder(*m_service, folderPath, carrier, builder), 0) << qPrintable(folderPath);
        return builder.take();
    }

    void expandAll(PRAppTreeController &tree)
    {
        QList<QString> queue{QStringLiteral("/")};
        while (!queue.isEmpty()) {
            const QString path = queue.takeFirst();
            PRAppDirTreeNode *folder = path == QStringLiteral("/") ? tree.appRoot(kBundle)
                                                                   : tree.addPathToTreeFolder(kBundle, path);
            if (folder && !tree.claimExpand(folder))
                continue;
            const PRPathEntryBatch batch = listFolder(path);
            for (const PRPathEntry &entry : batch.entries) {
                if (entry.fileType == QStringLiteral("DIR"))
                    queue << entry.filePath;
            }
            tree.fileEntries(batch);
        }
    }

    // The names in a local folder of the container, dot names excluded.
    QSet<QString> localNames(const QString &relative) const
    {
        const QStringList names = QDir(m_container + relative)
                                      .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        return QSet<QString>(names.cbegin(), names.cend());
    }

    static QSet<QString> deviceNames(const PRPathDirNode *folder)
    {
        QSet<QString> names;
        for (const PRPathFileNode *row : folder->fileChildren())
            names << row->deviceName();
        return names;
    }

    QTemporaryDir m_scenario;
    QString m_container;
    std::shared_ptr<amd::SimulatedBackend> m_backend;
    std::shared_ptr<amd::DeviceBackend> m_previous;
    Arrivals m_arrivals;
    int m_deviceId = -1;
    std::unique_ptr<amd::AppDirService> m_service;
};

} // namespace

TEST_F(ContainerListingTest, RowsAreTheContainerListingAndNothingDoubles)
{
    PRAppTreeController tree;
    tree.setSortLocale(testLocale());
    PRAppDirTreeNode *root = tree.addAppRoot(kBundle, QStringLiteral("Notes"));
    expandAll(tree);

    ASSERT_EQ(tree.rootNodes().size(), 1);
    // Every folder of the container that was listed shows exactly its
    // listing as rows.
    const QStringList folders{QStringLiteral("/"),          QStringLiteral("/Documents"),
                              QStringLiteral("/Documents/Sub"), QStringLiteral("/Documents/Sub/deep"),
                              QStringLiteral("/Library"),   QStringLiteral("/Library/Caches"),
                              QStringLiteral("/tmp"),       QStringLiteral("/tmp/tmp")};
    for (const QString &path : folders) {
        SCOPED_TRACE(qPrintable(path));
        const PRPathDirNode *folder = tree.folderAtPath(root, path);
        ASSERT_NE(folder, nullptr);
        EXPECT_EQ(deviceNames(folder), localNames(path == QStringLiteral("/") ? QString() : path));
        EXPECT_EQ(folder->fileChildren().size(), localNames(path == QStringLiteral("/") ? QString() : path).size());
    }
    const PRPathDirNode *documents = tree.folderAtPath(root, QStringLiteral("/Documents"));
    EXPECT_NE(documents->fileChildNamed(QStringLiteral("line\nbreak.txt")), nullptr);
    EXPECT_NE(documents->fileChildNamed(QStringLiteral("...")), nullptr);
    EXPECT_EQ(documents->fileChildNamed(QStringLiteral(".hidden"))->fileName(), QStringLiteral("hidden"));
    EXPECT_FALSE(documents->fileChildNamed(QStringLiteral("Empty"))->isFile());
    EXPECT_TRUE(documents->fileChildNamed(QStringLiteral("Note 1.txt"))->isFile());
    EXPECT_EQ(documents->fileChildNamed(QStringLiteral("Note 1.txt"))->fileSize(), QStringLiteral("5"));
    const int shown = expectConsistent(tree);

    // Expanding again walks nothing; listing and filing the root again
    // changes nothing either.
    QSignalSpy inserted(&tree, &QAbstractItemModel::rowsInserted);
    expandAll(tree);
    const PRPathFilingResult again = tree.fileEntries(listFolder(QStringLiteral("/")));
    EXPECT_EQ(again.rowsAdded, 0);
    EXPECT_EQ(again.rowsUpdated, localNames(QString()).size());
    EXPECT_EQ(inserted.count(), 0);
    EXPECT_EQ(deviceNames(root), localNames(QString()));
    EXPECT_EQ(expectConsistent(tree), shown);
    EXPECT_EQ(tree.rowCount(), 1);
    EXPECT_EQ(tree.rowCount(tree.indexOfNode(root)), int(root->children().size()));
}

TEST_F(ContainerListingTest, AFolderThatCannotBeListedGivesNoEntries)
{
    PRPathEntry carrier;
    carrier.appBundleName = kBundle;
    PRPathBatchBuilder builder(PRPathTreeMember::AppDocuments);
    EXPECT_EQ(PRPathFolderLister::listFolder(*m_service, QStringLiteral("/missing"), carrier, builder), -1);
    EXPECT_EQ(PRPathFolderLister::listFolder(*m_service, QStringLiteral("/Documents/../.."), carrier, builder), -1);
    EXPECT_TRUE(builder.isEmpty());
}
