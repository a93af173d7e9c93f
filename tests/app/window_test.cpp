// The real window driven as a user drives it: a home folder with generated
// backups, the backup tile, the scan to its end, the results, another
// backup from the pop-up, an encrypted one, and the exit confirmation.

#include "app/navigation.h"
#include "app/veldruneappdelegate.h"
#include "backup/backupscanner.h"
#include "backup/export/prvcfcontroller.h"
#include "backup/notificationnames.h"
#include "backup/priosdevicecontroller.h"
#include "filesafety/primages.h"
#include "filesafety/prreveal.h"
#include "filesafety/prthumbnailer.h"
#include "platform/notificationcenter.h"
#include "platform/paths.h"
#include "recovery/deletedrecordscanner.h"
#include "results/prchatview.h"
#include "results/prconversationview.h"
#include "results/prexportrun.h"
#include "results/prsharedcontrols.h"
#include "results/prthumgrid.h"
#include "tests/results/layoutchecks.h"
#include "tests/results/vcardreader.h"
#include "tools/samplegen/samplebackup.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <mutex>

namespace {

constexpr int scanTimeoutMs = 120000;

// Answers the next modal dialog by the title of one of its buttons.
void answerNextModal(const QString &buttonTitle, QString *seenText = nullptr)
{
    QTimer::singleShot(0, [buttonTitle, seenText] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            answerNextModal(buttonTitle, seenText);
            return;
        }
        if (seenText)
            *seenText = box->text();
        for (QAbstractButton *b : box->buttons())
            if (b->text() == buttonTitle) {
                b->click();
                return;
            }
    });
}

// Writes a screenshot when OSTRA_SCREENSHOT_DIR is set (for looking at the
// window; the test itself checks the widgets).
void screenshot(QWidget *w, const QString &name)
{
    const QString dir = qEnvironmentVariable("OSTRA_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    for (int i = 0; i < 3; ++i)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

class WindowTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        home = new QTemporaryDir;
        const QString root = home->path() + QStringLiteral("/Library/Application Support/MobileSync/Backup");
        // Folder names give the list order: the iOS 14 backup first, then
        // the iOS 8 one, then an encrypted one.
        write(root + QStringLiteral("/00008030-000A"), QStringLiteral("14.2"), false);
        write(root + QStringLiteral("/00008030-000B"), QStringLiteral("8.4"), false);
        write(root + QStringLiteral("/00008030-000C"), QStringLiteral("12.1"), true);
    }

    static void TearDownTestSuite()
    {
        delete home;
        home = nullptr;
    }

    static void write(const QString &folder, const QString &version, bool encrypted)
    {
        samplegen::SampleBackupOptions options;
        options.outDir = folder;
        options.iosVersion = version;
        options.deleted = true;
        options.encrypted = encrypted;
        options.keepEntries = false;
        samplegen::SampleBackup backup(options);
        backup.addStandardContent();
        ASSERT_TRUE(backup.write()) << qPrintable(backup.errorString());
    }

    void SetUp() override
    {
        Paths::setHomeFolder(home->path());
        delegate = std::make_unique<VeldruneAppDelegate>(NotificationCenter::defaultCenter());
        delegate->window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(delegate->window));
    }

    void TearDown() override
    {
        delegate.reset();
        Paths::setHomeFolder(QString());
    }

    PRViewButton *tile(const char *name)
    {
        return delegate->window->findChild<PRViewButton *>(QLatin1String(name));
    }

    // Clicks the backup tile and waits for the scan's end.
    PRResultViewController *scanFirstBackup()
    {
        QTest::mouseClick(tile("iTunesBackupButton"), Qt::LeftButton);
        PRResultViewController *page = delegate->GetresultViewController();
        if (!page)
            return nullptr;
        if (!page->scanFinished()) {
            QSignalSpy ended(page, &PRResultViewController::scanEnded);
            if (!ended.wait(scanTimeoutMs))
                return nullptr;
        }
        return page;
    }

    static int labelNumber(const QLabel *label, const QString &prefix)
    {
        const QString text = label->text();
        EXPECT_TRUE(text.startsWith(prefix)) << qPrintable(text);
        return text.mid(prefix.size()).toInt();
    }

    static QTemporaryDir *home;
    std::unique_ptr<VeldruneAppDelegate> delegate;
};

QTemporaryDir *WindowTest::home = nullptr;

TEST(WindowImages, EveryNamedImageIsShipped)
{
    QStringList names;
    for (const auto &row : sidebarRows())
        names << QLatin1String(row.normalImage) << QLatin1String(row.highlightedImage);
    for (const auto &t : homeTiles())
        names << QLatin1String(t.pressedImage) << QLatin1String(t.imageAfter);
    for (const char *name :
         {"ConnectDevice01", "ConnectDevice02", "bottom", "leftground", "topGround", "bottomGroundImage", "ostra",
          "iphone", "ipad", "unselected", "selected", "selectedSome", "progressGorund", "whiteimg", "backgroundlog",
          "cutImage", "firstSteppic", "secondStepPic", "thirdSteppic", "firstStep", "secondStep", "thirdStep",
          "nextBtn", "DoneNom", "phone&videoNom", "phone&videoOn", "contactNom", "contactOn", "messageNom",
          "messageOn", "noteNom", "noteOn", "callNom", "callOn", "Safari-BookMarkNom", "Safari-BookMarkOn",
          "CalendarReminderNom", "CalendarReminderOn", "TwitterFaceBookNom", "TwitterFaceBookOn",
          "backupborswerNom", "backupborswerDown", "chatHead", "contact", "Contact", "quicktime", "location", "mov",
          "document.png", "music.png"})
        names << QLatin1String(name);
    for (const char *colour : {"Gry", "Green"})
        for (const char *row : {"top", "center", "bottom"})
            for (const char *side : {"l", "", "r"})
                names << QLatin1String(colour) + QLatin1String(row) + QLatin1String(side);
    for (const QString &name : names)
        EXPECT_FALSE(imageNamed(name).isNull()) << qPrintable(name);
}

// The guide's test asks about folders as a user without the power to read
// every folder: CI runs as root, who has it.
#include <QScopeGuard>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <thread>
#include "tests/support/plaintextwalk.h"

namespace {

// Runs body on a thread of its own that has given up the capabilities to
// read and search any folder (root's CAP_DAC_OVERRIDE and
// CAP_DAC_READ_SEARCH), so that permission bits hold for it as for anybody.
// Capabilities belong to a thread: the rest of the process keeps its own. The
// permitted set goes too, since access() lends root its permitted set. False
// when they could not be given up.
bool asPlainUser(const std::function<void()> &body)
{
    bool dropped = false;
    std::thread plain([&] {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
        if (syscall(SYS_capget, &header, data) != 0)
            return;
        const auto clear = [&data](int capability) {
            const __u32 bit = CAP_TO_MASK(capability);
            auto &word = data[CAP_TO_INDEX(capability)];
            word.effective &= ~bit;
            word.permitted &= ~bit;
            word.inheritable &= ~bit;
        };
        clear(CAP_DAC_OVERRIDE);
        clear(CAP_DAC_READ_SEARCH);
        if (syscall(SYS_capset, &header, data) != 0)
            return;
        dropped = true;
        body();
    });
    plain.join();
    return dropped;
}

} // namespace

TEST(WindowGuide, ShownOnlyForABackupFolderThatCannotBeRead)
{
    QTemporaryDir dir;
    const QString root = dir.path() + QStringLiteral("/Backup");
    EXPECT_FALSE(backupFolderNeedsAccess(root)) << "no folder: nothing to grant, the list is just empty";
    ASSERT_TRUE(QDir().mkpath(root));
    EXPECT_FALSE(backupFolderNeedsAccess(root));

    const auto restore = qScopeGuard([&root] {
        QFile::setPermissions(root, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    });
    struct Case
    {
        QFileDevice::Permissions permissions;
        bool needsAccess;
        const char *what;
    };
    const Case cases[] = {
        {QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner, false, "the owner's folder"},
        {QFileDevice::WriteOwner, true, "neither readable nor searchable"},
        {QFileDevice::ReadOwner | QFileDevice::WriteOwner, true, "listed, but its backups cannot be opened"},
        {QFileDevice::ExeOwner, true, "searchable, but its backups cannot be listed"},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(QFile::setPermissions(root, c.permissions)) << c.what;
        bool readable = true;
        bool needs = !c.needsAccess;
        ASSERT_TRUE(asPlainUser([&] {
            readable = QFileInfo(root).isReadable();
            needs = backupFolderNeedsAccess(root);
        })) << "could not give up the capabilities to read any folder";
        EXPECT_EQ(readable, c.permissions.testFlag(QFileDevice::ReadOwner)) << c.what << ": permissions held";
        EXPECT_EQ(needs, c.needsAccess) << c.what;
    }
}

TEST_F(WindowTest, StartsOnTheHomePageWithTheBackupsListed)
{
    EXPECT_EQ(delegate->visiblePage(), delegate->noDeviceView);
    EXPECT_FALSE(delegate->getDeviceConnected());
    EXPECT_TRUE(delegate->manageNoDeviceView->isVisible());
    EXPECT_FALSE(delegate->manageHasDeviceView->isVisible());
    EXPECT_EQ(delegate->deviceController->rowCount(), 3);
    for (const auto &t : homeTiles())
        EXPECT_NE(tile(t.tile), nullptr) << t.tile;
    screenshot(delegate->window, QStringLiteral("home"));
}

TEST_F(WindowTest, PageSwitchesAndTheRowHighlight)
{
    delegate->ClickCleanJunk();
    EXPECT_EQ(delegate->visiblePage(), delegate->ClearnView);
    EXPECT_EQ(delegate->highlightedRow(), 7);
    // These show views no row stands for: no row stays lit.
    delegate->ClickCleanAction();
    EXPECT_EQ(delegate->highlightedRow(), 0);
    delegate->ClickTansfer();
    EXPECT_EQ(delegate->visiblePage(), delegate->TansferView);
    EXPECT_EQ(delegate->highlightedRow(), 0);
    EXPECT_EQ(delegate->rows[6].text->styleSheet(), QStringLiteral("color: black;"));

    QTest::mouseClick(tile("contactViewButton"), Qt::LeftButton);
    EXPECT_EQ(delegate->visiblePage(), delegate->TansferView);
    EXPECT_EQ(delegate->highlightedRow(), 13);
    delegate->ClickSystemLib();
    EXPECT_EQ(delegate->visiblePage(), delegate->systemlibView);
    EXPECT_TRUE(delegate->appView->isHidden());
    // A press from something that is not a tile changes nothing.
    QPushButton stranger;
    delegate->MyViewbuttonMouseDownHandle(&stranger);
    EXPECT_EQ(delegate->visiblePage(), delegate->systemlibView);
}

TEST_F(WindowTest, BackupTileScansAndShowsTheResults)
{
    PRResultViewController *page = scanFirstBackup();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(delegate->visiblePage(), delegate->iTunesBackupBroswerView);
    EXPECT_EQ(delegate->highlightedRow(), 12);
    EXPECT_TRUE(delegate->biTunesScanFinish);
    EXPECT_TRUE(delegate->currentNodeIsiOS6Version);
    EXPECT_TRUE(delegate->biOS10Version);

    // Scan end: the progress is gone, the categories and links usable.
    EXPECT_FALSE(page->scanProgressor->isVisible());
    EXPECT_FALSE(page->logoImageView->isHidden());
    for (QPushButton *b : std::initializer_list<QPushButton *>{
             page->photoBtn, page->contactBtn, page->messageBtn, page->noteBtn, page->callBtn, page->backupBroswerBtn,
             page->bookMarkBtn, page->calendarBtn, page->facetwitterBtn, page->facebookBtn, page->twitterBtn,
             page->feedBackBtn, page->homeBtn})
        EXPECT_TRUE(b->isEnabled()) << qPrintable(b->text());
    EXPECT_TRUE(page->backupPopBtn->isEnabled());
    // It opens on the backup's files, where the deleted-only box has no use.
    EXPECT_TRUE(page->treeView->isVisible());
    EXPECT_FALSE(page->checkBtn->isVisible());
    EXPECT_GT(page->backupfiles(), 0u);

    // The summary shows the live and kept carved records per kind.
    const PRResultIntake &intake = page->intake();
    int liveContacts = 0, deletedContacts = 0;
    for (const auto &c : intake.contactArray)
        (c->bDeleted() ? deletedContacts : liveContacts)++;
    EXPECT_GT(liveContacts, 0);
    EXPECT_EQ(labelNumber(page->contactNumlab, QStringLiteral("Contacts:  ")), liveContacts);
    EXPECT_EQ(labelNumber(page->delContactNumlab, QStringLiteral("Contacts:  ")), deletedContacts);
    int liveMessages = 0;
    for (const auto &m : intake.messageArray)
        liveMessages += m->bDeleted() ? 0 : 1;
    EXPECT_EQ(labelNumber(page->messageNumlab, QStringLiteral("Messages:  ")), liveMessages);
    EXPECT_EQ(page->delPhotovideoNumlab->text(), QStringLiteral("Photo&Video:  0"));
    EXPECT_GT(labelNumber(page->callNumlab, QStringLiteral("Call History:  ")), 0);
    EXPECT_GT(labelNumber(page->noteNumlab, QStringLiteral("Notes:  ")), 0);
    screenshot(delegate->window, QStringLiteral("scan-end"));

    // Conversations: every message of one shares its address, and deleted
    // conversations are painted red.
    page->actMessage();
    EXPECT_TRUE(page->messageTreeView->isVisible());
    EXPECT_TRUE(page->exportBtn->isVisible());
    ASSERT_EQ(page->messageTreeController->rowCount(), intake.messageTreeArray.size());
    int red = 0;
    for (int row = 0; row < page->messageTreeController->rowCount(); ++row) {
        const auto conversation = std::static_pointer_cast<PRMessageTreeNode>(page->messageTreeController->nodeAt(row));
        for (const auto &m : conversation->MessageNodeArray())
            EXPECT_TRUE(PRResultIntake::addressMatches(conversation->messageTreeNodeAdress(), m->messagePhone())
                        || (m->messagePhone().isEmpty() && conversation->messageTreeNodeAdress().isEmpty())
                        || conversation->bdeleted());
        const QVariant colour =
            page->messageTreeController->data(page->messageTreeController->index(row, 1), Qt::ForegroundRole);
        if (conversation->bdeleted()) {
            EXPECT_EQ(colour.value<QColor>(), QColor(217, 81, 30));
            ++red;
        } else {
            EXPECT_FALSE(colour.isValid());
        }
    }
    EXPECT_GT(red, 0);
    screenshot(delegate->window, QStringLiteral("messages"));

    page->actContact();
    EXPECT_EQ(page->currentTableView, page->contactTableView);
    EXPECT_TRUE(page->checkBtn->isVisible());
    screenshot(delegate->window, QStringLiteral("contacts"));
    EXPECT_EQ(page->contactController->rowCount(), intake.contactArray.size());

    // A second press of the tile switches to the page without a new scan.
    delegate->ClickMainStatu();
    QTest::mouseClick(tile("iTunesBackupButton"), Qt::LeftButton);
    EXPECT_EQ(delegate->visiblePage(), delegate->iTunesBackupBroswerView);
    EXPECT_TRUE(page->scanFinished());
}

TEST_F(WindowTest, PopUpSwitchesBackupsAndRefusesAnEncryptedOne)
{
    PRResultViewController *page = scanFirstBackup();
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(page->backupPopBtn->count(), 3);
    const auto &entries = delegate->deviceController->arrangedObjects();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(page->backupPopBtn->itemText(i),
                  entries[i]->strDeviceName() + QLatin1Char(' ') + entries[i]->strDeviceBackUpTime());

    // The backup shown: nothing happens.
    page->actSelectBackUpBtn(0);
    EXPECT_TRUE(page->scanFinished());

    // The encrypted one is refused before the page changes.
    const qsizetype contacts = page->intake().contactArray.size();
    page->actSelectBackUpBtn(2);
    auto *alert = delegate->window->findChild<QMessageBox *>(QStringLiteral("encryptedBackupAlert"));
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), QStringLiteral("The iTunes backup has been encrypted by iTunes, please decrypt with iTunes."));
    screenshot(alert, QStringLiteral("encrypted-alert"));
    alert->buttons().first()->click();
    EXPECT_EQ(page->currentSelect(), 0);
    EXPECT_EQ(page->backupPopBtn->currentIndex(), 0);
    EXPECT_TRUE(page->backupPopBtn->isEnabled());
    EXPECT_EQ(page->intake().contactArray.size(), contacts);
    EXPECT_TRUE(page->scanFinished());

    // The second backup is scanned in its place.
    QSignalSpy ended(page, &PRResultViewController::scanEnded);
    page->actSelectBackUpBtn(1);
    EXPECT_FALSE(page->backupPopBtn->isEnabled());
    ASSERT_TRUE(ended.wait(scanTimeoutMs));
    EXPECT_EQ(page->currentSelect(), 1);
    EXPECT_EQ(page->iOSTypeInfolab->text(), QStringLiteral("8.4"));
    EXPECT_FALSE(delegate->biOS10Version);
    EXPECT_TRUE(delegate->bIOS7DeviceNode);
    EXPECT_GT(page->intake().contactArray.size(), 0);
    EXPECT_EQ(page->backupPopBtn->count(), 3);
}

namespace {

// Every property of a node as text, for comparing records.
QString described(const PRNode &node)
{
    struct Text : PropertyVisitor
    {
        QString out;
        void add(const char *name, const QString &value) { out += QLatin1String(name) + u'=' + value + u';'; }
        void text(const char *name, const QString &value) override { add(name, value.isNull() ? u"(null)"_qs : value); }
        void data(const char *name, const QByteArray &value) override { add(name, QString::number(qHash(value))); }
        void integer(const char *name, qint64 value) override { add(name, QString::number(value)); }
        void unsignedInteger(const char *name, quint64 value) override { add(name, QString::number(value)); }
        void flag(const char *name, bool value) override { add(name, QString::number(value)); }
        void nodeCount(const char *name, qsizetype count) override { add(name, QString::number(count)); }
    } text;
    node.describe(text);
    return QLatin1String(node.className()) + u':' + text.out;
}

// Every node of a page, in order: the records of each kind, the messages of
// each conversation, the folders and files of the tree.
QStringList described(const PRResultIntake &intake, const PRTreeController &tree)
{
    QStringList out;
    auto add = [&](const auto &records) {
        for (const auto &r : records)
            out << described(*r);
    };
    add(intake.photoAndVideoArray), add(intake.contactArray), add(intake.messageArray);
    add(intake.callHistoryArray), add(intake.noteArray), add(intake.bookMarkArray);
    add(intake.calenderArray), add(intake.faceTwitterArray), add(intake.messageTreeArray);
    for (const auto &conversation : intake.messageTreeArray)
        add(conversation->MessageNodeArray());
    out << QString::number(intake.BackUpFilesNum) << QString::number(intake.deleteeFilesNum);
    QList<const PRTreeDirNode *> folders;
    for (const auto &top : tree.topLevel())
        folders << top.get();
    while (!folders.isEmpty()) {
        const PRTreeDirNode *folder = folders.takeFirst();
        out << described(*folder);
        add(folder->fileChildren());
        for (const auto &child : folder->children())
            folders << child.get();
    }
    return out;
}

// The page of a backup as filing each notification of its scan the moment
// it is posted gives, with the summary of the last progress value.
struct FiledInOrder
{
    PRResultIntake intake;
    PRTreeController tree;
    QStringList summary;

    explicit FiledInOrder(const PRIOSDeviceNode &backup)
    {
        NotificationCenter center;
        auto file = [&]<typename T, typename R>(const QString &name, R (PRResultIntake::*add)(const std::shared_ptr<T> &)) {
            center.addObserver(this, name, [this, add](const Notification &n) {
                if (auto node = nodeFromVariant<T>(n.object))
                    (intake.*add)(node);
            });
        };
        using namespace Notifications;
        using I = PRResultIntake;
        file(ScanPhotoAndVideo, &I::addPhotoAndVideo), file(ScanContactInfo, &I::addContact);
        file(ScanMessageInfo, &I::addMessage), file(ScanCallHistoryInfo, &I::addCallHistory);
        file(ScanNoteInfo, &I::addNote), file(scanBookMarkInfo, &I::addBookMark);
        file(scanCalenderInfo, &I::addCalender), file(scanFaceTwitterInfo, &I::addFaceTwitter);
        file(ScanDelContactInfo, &I::addDeletedContact), file(ScanDelMessageInfo, &I::addDeletedMessage);
        file(ScanDelNoteInfo, &I::addDeletedNote), file(ScanDelCallHistoryInfo, &I::addDeletedCallHistory);
        file(scanDelBookMarkInfo, &I::addDeletedBookMark), file(scanDelCalenderInfo, &I::addDeletedCalender);
        center.addObserver(this, ScanProgressInfo, [this](const Notification &) { summary = intake.summaryTexts(); });
        center.addObserver(this, FindBackUpDirFileInfo, [this](const Notification &n) {
            if (auto entry = nodeFromVariant<PRTreeDirNode>(n.object); entry && !entry->filePath().isEmpty())
                tree.addTreeNode(entry);
        });
        tree.setDeviceName(backup.strDeviceName());
        ScanContext context(center);
        context.IOSVersionIOS6(backup.strIOSVersion());
        BackupScanner scanner(center);
        scanner.setDeletedRecordSteps(DeletedRecordScanner::steps());
        scanner.ScanIOSBackUpFilehand(context, backup.backUpFilePath());
    }
};

void expectSamePage(PRResultViewController *page, const FiledInOrder &filed)
{
    const QStringList shown = described(page->intake(), page->backupTree());
    const QStringList expected = described(filed.intake, filed.tree);
    ASSERT_EQ(shown.size(), expected.size());
    for (qsizetype i = 0; i < shown.size(); ++i)
        ASSERT_EQ(shown[i], expected[i]) << i;
    const QLabel *labels[] = {page->photovideoNumlab, page->delPhotovideoNumlab, page->contactNumlab,
                              page->delContactNumlab,  page->messageNumlab,       page->delMessageNumlab,
                              page->noteNumlab,        page->delNoteNumlab,       page->callNumlab,
                              page->delCallNumlab};
    QStringList texts;
    for (const QLabel *label : labels)
        texts << label->text();
    EXPECT_EQ(texts, filed.summary);
}

} // namespace

// The page files what the scan hands over beside the scan; what it shows in
// the end is what filing every record the moment it was posted gives: every
// record, conversation and file, in the same order, and the same counts.
TEST_F(WindowTest, ThePageShowsWhatFilingEachRecordAsPostedGives)
{
    PRResultViewController *page = scanFirstBackup();
    ASSERT_NE(page, nullptr);
    const auto &entries = delegate->deviceController->arrangedObjects();
    ASSERT_GE(entries.size(), 2);
    expectSamePage(page, FiledInOrder(*entries[0]));

    QSignalSpy ended(page, &PRResultViewController::scanEnded);
    page->actSelectBackUpBtn(1);
    ASSERT_TRUE(ended.wait(scanTimeoutMs));
    expectSamePage(page, FiledInOrder(*entries[1]));
}

// Every category of the results browsed as a user does: the file tree with
// its ticks, a long conversation page by page, the deleted-only filter,
// select-all, the previews, and the way home.
TEST_F(WindowTest, BrowsingTheResults)
{
    PRResultViewController *page = scanFirstBackup();
    ASSERT_NE(page, nullptr);
    const PRResultIntake &intake = page->intake();

    // The tree: ticking a domain ticks every file below it, the device
    // folder above becomes partly ticked, and the count shows.
    PRTreeOutlineModel *outline = page->treeController;
    ASSERT_EQ(outline->rowCount(), 1);
    const QModelIndex device = outline->index(0, 0);
    QModelIndex home;
    for (int row = 0; row < outline->rowCount(device); ++row)
        if (outline->index(row, 0, device).data().toString() == QStringLiteral("HomeDomain"))
            home = outline->index(row, 0, device);
    ASSERT_TRUE(home.isValid());
    ASSERT_TRUE(outline->setData(home, Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(home.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    EXPECT_EQ(device.data(Qt::CheckStateRole).toInt(), int(Qt::PartiallyChecked));
    std::function<int(const PRTreeDirNode &)> countFiles = [&](const PRTreeDirNode &folder) {
        int n = 0;
        for (const auto &file : folder.fileChildren()) {
            EXPECT_TRUE(file->bSelected()) << qPrintable(file->treefileName());
            ++n;
        }
        for (const auto &child : folder.children())
            n += countFiles(*child);
        return n;
    };
    const int ticked = countFiles(*outline->folderAt(home));
    EXPECT_GT(ticked, 0);
    EXPECT_EQ(page->backupTree().getTreeSelectedItemNum(), ticked);
    EXPECT_EQ(page->selecteFilelab->text(),
              QStringLiteral("You select %1 files in the backup results.").arg(ticked));
    EXPECT_TRUE(page->saveBtn->isEnabled());
    page->treeOutlineView->expand(home);
    page->treeOutlineView->setCurrentIndex(outline->index(0, 0, home));
    EXPECT_GT(page->treeFileController->rowCount() + outline->rowCount(outline->index(0, 0, home)), 0);
    screenshot(delegate->window, QStringLiteral("tree"));
    ASSERT_TRUE(outline->setData(home, Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_EQ(page->backupTree().getTreeSelectedItemNum(), 0);
    EXPECT_FALSE(page->saveBtn->isEnabled());

    // A conversation of more than fifty messages, page by page.
    page->actMessage();
    int longest = -1;
    for (int row = 0; row < page->messageTreeController->rowCount(); ++row) {
        const auto c = std::static_pointer_cast<PRMessageTreeNode>(page->messageTreeController->nodeAt(row));
        if (c->MessageNodeArray().size() > 50
            && (longest < 0 || c->MessageNodeArray().size() > std::static_pointer_cast<PRMessageTreeNode>(
                                   page->messageTreeController->nodeAt(longest))->MessageNodeArray().size()))
            longest = row;
    }
    ASSERT_GE(longest, 0) << "the sample has a conversation of more than 50 messages";
    page->messageTreeTableView->selectRow(longest);
    const auto conversation =
        std::static_pointer_cast<PRMessageTreeNode>(page->messageTreeController->nodeAt(longest));
    const int n = int(conversation->MessageNodeArray().size());
    EXPECT_EQ(page->conversationView->chatViews().size(), 50);
    ASSERT_NE(page->conversationView->moreButton(), nullptr);
    screenshot(delegate->window, QStringLiteral("conversation"));
    QTest::mouseClick(page->conversationView->moreButton(), Qt::LeftButton);
    EXPECT_EQ(page->conversationView->chatViews().size(), std::min(n, 100));

    // Deleted only: the carved contacts alone, then all again.
    page->actContact();
    int deletedContacts = 0;
    for (const auto &c : intake.contactArray)
        deletedContacts += c->bDeleted() ? 1 : 0;
    ASSERT_GT(deletedContacts, 0);
    page->checkBtn->click();
    EXPECT_EQ(page->contactController->rowCount(), deletedContacts);
    page->checkBtn->click();
    EXPECT_EQ(page->contactController->rowCount(), intake.contactArray.size());

    // Select-all counts only real changes and is remembered per category.
    page->actNote();
    ASSERT_GT(page->noteController->rowCount(), 1);
    page->noteController->setData(page->noteController->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(page->selectedFilesNum(), 1);
    page->selectAllBtn->click();
    EXPECT_EQ(page->selectedFilesNum(), page->noteController->rowCount());
    page->actContact();
    EXPECT_FALSE(page->selectAllBtn->isChecked());
    page->actNote();
    EXPECT_TRUE(page->selectAllBtn->isChecked());
    page->selectAllBtn->click();
    EXPECT_EQ(page->selectedFilesNum(), 0);
    EXPECT_FALSE(page->saveBtn->isEnabled());

    // Photos and videos as a grid; a tick counts like any other.
    page->actPhoto();
    PRThumModel *grid = page->thumView->thumModel();
    ASSERT_EQ(grid->rowCount(), intake.photoAndVideoArray.size());
    ASSERT_GT(grid->rowCount(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(grid->loadedCount() > 0, 10000);
    EXPECT_LE(grid->requestedCount(), grid->rowCount());
    grid->toggleTick(0);
    EXPECT_EQ(page->selectedFilesNum(), 1);
    EXPECT_TRUE(intake.photoAndVideoArray.first()->bSelected());
    screenshot(delegate->window, QStringLiteral("photos"));
    grid->toggleTick(0);
    EXPECT_EQ(page->selectedFilesNum(), 0);

    // The other categories and their previews.
    page->actCallHistory();
    EXPECT_EQ(page->callHistoryController->rowCount(), intake.callHistoryArray.size());
    EXPECT_TRUE(page->callNamelab->text().startsWith(QStringLiteral("Name: ")));
    screenshot(delegate->window, QStringLiteral("calls"));
    page->actBookMark();
    EXPECT_EQ(page->bookMarkController->rowCount(), intake.bookMarkArray.size());
    EXPECT_TRUE(page->bookMarkURLlab->text().startsWith(QStringLiteral("URL: \n")));
    page->actCalender();
    EXPECT_EQ(page->calendarController->rowCount(), intake.calenderArray.size());
    EXPECT_TRUE(page->calStartDatelab->text().startsWith(QStringLiteral("Start Date: ")));
    page->actNote();
    screenshot(delegate->window, QStringLiteral("notes"));
    page->actFaceTwitter();
    EXPECT_EQ(page->faceTwitterController->rowCount(), intake.faceTwitterArray.size());

    // Home: after the confirmation nothing of the scan stays.
    const QSize sized = delegate->window->size();
    answerNextModal(QStringLiteral(" Back "));
    page->actHome();
    EXPECT_EQ(delegate->visiblePage(), delegate->noDeviceView);
    EXPECT_EQ(delegate->window->size(), sized);
    EXPECT_TRUE(page->intake().contactArray.isEmpty());
    EXPECT_EQ(page->treeController->rowCount(), 0);
    QSignalSpy ended(page, &PRResultViewController::scanEnded);
    QTest::mouseClick(tile("iTunesBackupButton"), Qt::LeftButton);
    ASSERT_TRUE(ended.wait(scanTimeoutMs)) << "the tile scans again after going home";
    EXPECT_FALSE(page->intake().contactArray.isEmpty());
}

// The payoff: records of every kind ticked in the window leave through the
// save panel into one folder per kind.
TEST_F(WindowTest, ExportsTheTickedRecordsOfEveryKind)
{
    QStringList revealed;
    std::mutex revealedMutex;
    const PRReveal::Strategies previous = PRReveal::setStrategies(
        {[&](const QString &path) {
             std::lock_guard lock(revealedMutex);
             revealed << path;
             return true;
         },
         [](const QUrl &) { return true; }});
    PRResultViewController *page = scanFirstBackup();
    ASSERT_NE(page, nullptr);
    auto tickFirst = [](PRArrayController *model) {
        ASSERT_GT(model->rowCount(), 0) << qPrintable(model->objectName());
        model->setData(model->index(0, model->columnOf(QStringLiteral("bSelected"))), Qt::Checked,
                       Qt::CheckStateRole);
    };
    page->actContact();
    tickFirst(page->contactController);
    page->actMessage();
    tickFirst(page->messageTreeController);
    page->actNote();
    tickFirst(page->noteController);
    page->actCallHistory();
    tickFirst(page->callHistoryController);
    page->actBookMark();
    tickFirst(page->bookMarkController);
    page->actCalender();
    tickFirst(page->calendarController);
    page->actFaceTwitter();
    tickFirst(page->faceTwitterController);
    page->actPhoto();
    page->thumView->thumModel()->toggleTick(0);
    page->actBackUpBoswer();
    const QModelIndex device = page->treeController->index(0, 0);
    QModelIndex home;
    for (int row = 0; row < page->treeController->rowCount(device); ++row)
        if (page->treeController->index(row, 0, device).data().toString() == QStringLiteral("HomeDomain"))
            home = page->treeController->index(row, 0, device);
    ASSERT_TRUE(page->treeController->setData(home, Qt::Checked, Qt::CheckStateRole));
    ASSERT_TRUE(page->saveBtn->isEnabled());

    QTemporaryDir target;
    const QString root = target.filePath(QStringLiteral("Recovered"));
    page->saveBtn->click();
    ASSERT_NE(page->sp, nullptr);
    EXPECT_TRUE(page->sp->selectedFiles().value(0).contains(QStringLiteral("Ostra ")));
    QSignalSpy ended(page, &PRResultViewController::exportEnded);
    page->sp->selectFile(root);
    QMetaObject::invokeMethod(page->sp, "accept");
    ASSERT_TRUE(ended.wait(60000));
    const auto result = ended.first().first().value<PRExportRun::Result>();
    for (const auto &failure : result.failures)
        ADD_FAILURE() << qPrintable(failure.path) << ": " << qPrintable(failure.reason);
    EXPECT_FALSE(page->saveWindow->isVisible());

    const QString deviceName = delegate->currentNode()->strDeviceName();
    for (const QString &folder : {QStringLiteral("Photo&Video"), deviceName, QStringLiteral("Contact"),
                                  QStringLiteral("Message"), QStringLiteral("Note"), QStringLiteral("CallHistory"),
                                  QStringLiteral("BookMark"), QStringLiteral("Calendar&Reminder"),
                                  QStringLiteral("FaceBook&Twitter")})
        EXPECT_TRUE(QFileInfo(root + QLatin1Char('/') + folder).isDir()) << qPrintable(folder);
    for (const QString &file : {QStringLiteral("Contact/Contacts.txt"), QStringLiteral("Note/Notes.txt"),
                                QStringLiteral("CallHistory/Call History.txt"), QStringLiteral("BookMark/BookMark.txt"),
                                QStringLiteral("Calendar&Reminder/Calendar&Reminder.txt")})
        EXPECT_GT(QFileInfo(root + QLatin1Char('/') + file).size(), 0) << qPrintable(file);
    EXPECT_FALSE(QDir(root + QStringLiteral("/Contact")).entryList({QStringLiteral("*.vcf")}).isEmpty());
    EXPECT_FALSE(QDir(root + QStringLiteral("/Message")).entryList({QStringLiteral("*.html")}).isEmpty());
    EXPECT_EQ(QDir(root + QStringLiteral("/FaceBook&Twitter")).entryList(QDir::Files).size(), 1);
    const auto photo = page->intake().photoAndVideoArray.first();
    QFile copy(root + QStringLiteral("/Photo&Video/") + photo->fileNodeName());
    QFile source(photo->filePath());
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly) && source.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), source.readAll());
    EXPECT_TRUE(QFileInfo(root + QLatin1Char('/') + deviceName + QStringLiteral("/HomeDomain")).isDir());
    EXPECT_GT(result.written, 10);
    QTRY_COMPARE_WITH_TIMEOUT(revealed.size(), 1, 5000);
    EXPECT_EQ(revealed.first(), root);
    PRReveal::setStrategies(previous);
}

// The pages' bars as a new user sees them: the home page's backup list at
// the home page's size, then the results page's header and bottom bar at the
// window's size after a scan and at the smallest size the window takes there.
TEST_F(WindowTest, BarsReadCleanlyAtTheWindowsSizes)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QList<QWidget *> home = {delegate->imageView, delegate->titleline,  delegate->infoTextlab,
                             delegate->notelab,   delegate->tableScrolleView, delegate->button,
                             delegate->helpBtn};
    for (PRViewButton *t : delegate->tiles)
        home << t;
    {
        SCOPED_TRACE("home");
        LayoutChecks::expectClean(delegate->noDeviceView, home);
        // A cell the list cuts short shows its whole text as a tooltip.
        QTableView *list = delegate->tableScrolleView;
        for (int row = 0; row < list->model()->rowCount(); ++row)
            for (int column = 0; column < list->model()->columnCount(); ++column) {
                const QModelIndex cell = list->model()->index(row, column);
                EXPECT_EQ(testsupport::shownText(cell.data(Qt::ToolTipRole).toString()), cell.data().toString());
            }
        // The backup time, what tells a user's backups apart, reads whole.
        for (int row = 0; row < list->model()->rowCount(); ++row) {
            const QModelIndex time = list->model()->index(row, PRIOSDeviceController::TimeColumn);
            EXPECT_GE(list->visualRect(time).width(), list->fontMetrics().horizontalAdvance(time.data().toString()) + 8)
                << qPrintable(time.data().toString());
        }
    }
    screenshot(delegate->window, QStringLiteral("home-bars"));

    PRResultViewController *page = scanFirstBackup();
    ASSERT_NE(page, nullptr);
    page->actContact();
    page->selectAllBtn->click();
    ASSERT_TRUE(page->selecteFilelab->isVisible());
    ASSERT_TRUE(page->checkBtn->isVisible());
    const QList<QWidget *> bottom = {page->selectAllBtn, page->checkBtn,       page->selecteFilelab,
                                     page->exportBtn,    page->saveBtn,        page->getLogImageView,
                                     page->facebookBtn,  page->twitterBtn,     page->feedBackBtn};
    const QList<QWidget *> header = {page->backupNameInfolab, page->backupSerialInfolab, page->deviceTypeInfolab,
                                     page->iOSTypeInfolab,    page->backupDateInfolab,   page->backupPopBtn,
                                     page->searchlab,         page->homeBtn};
    const auto expectClean = [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        LayoutChecks::expectClean(page->bottomImg, bottom);
        LayoutChecks::expectClean(page->getLogImageView, {page->getLogBtn});
        LayoutChecks::expectClean(page->GroundView, header);
    };
    {
        SCOPED_TRACE("after the scan");
        expectClean();
        // At this size the selection and the device name read whole.
        EXPECT_FALSE(static_cast<PRElidedLabel *>(page->selecteFilelab)->isElided());
        EXPECT_FALSE(static_cast<PRElidedLabel *>(page->backupNameInfolab)->isElided());
    }
    screenshot(delegate->window, QStringLiteral("bars-after-scan"));
    const QSize afterScan = delegate->window->size();

    delegate->window->resize(1, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_LE(delegate->window->width(), afterScan.width());
    {
        SCOPED_TRACE("smallest");
        expectClean();
    }
    screenshot(delegate->window, QStringLiteral("bars-smallest"));
}

// What a new user gets from the demo: every contact ticked and recovered
// into a new folder, and every card a validating vCard 3.0 reader takes.
TEST_F(WindowTest, RecoveredContactCardsReadBackStrictly)
{
    PRResultViewController *page = scanFirstBackup();
    ASSERT_NE(page, nullptr);
    page->actContact();
    page->selectAllBtn->click();
    const auto contacts = page->intake().contactArray;
    ASSERT_GT(contacts.size(), 0);

    QTemporaryDir target;
    const QString root = target.filePath(QStringLiteral("Recovered"));
    page->saveBtn->click();
    ASSERT_NE(page->sp, nullptr);
    QSignalSpy ended(page, &PRResultViewController::exportEnded);
    page->sp->selectFile(root);
    QMetaObject::invokeMethod(page->sp, "accept");
    ASSERT_TRUE(ended.wait(60000));

    const QDir folder(root + QStringLiteral("/Contact"));
    const QStringList cards = folder.entryList({QStringLiteral("*.vcf")}, QDir::Files, QDir::Name);
    EXPECT_EQ(cards.size(), contacts.size());
    QStringList names, expectedNames;
    for (const auto &c : contacts)
        expectedNames << c->contactName();
    for (const QString &name : cards) {
        SCOPED_TRACE(name.toStdString());
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const VCardReading card = readVCard(file.readAll());
        EXPECT_TRUE(card.valid()) << card.error.toStdString();
        EXPECT_EQ(card.value(QStringLiteral("FN")), card.value(QStringLiteral("N")));
        names << card.value(QStringLiteral("N"));
    }
    names.sort();
    expectedNames.sort();
    EXPECT_EQ(names, expectedNames);

    // One card byte for byte, for a contact of one number whose values need no escaping.
    std::shared_ptr<PRContactNode> plain;
    for (const auto &c : contacts) {
        const QString all = c->contactName() + c->contactCompany() + c->contactEmail() + c->contactPhone()
                            + c->contactHomepage();
        if (!c->contactName().isEmpty() && c->imageData().isEmpty() && !all.contains(QRegularExpression(
                                                                               QStringLiteral("[\\\\;,\\r\\n]")))
            && PRVCFController::phoneNumbers(c->contactPhone()).size() == 1)
            plain = c;
    }
    ASSERT_NE(plain, nullptr);
    QFile card(folder.filePath(plain->contactName() + QStringLiteral(".vcf")));
    ASSERT_TRUE(card.open(QIODevice::ReadOnly)) << qPrintable(card.fileName());
    EXPECT_EQ(card.readAll(), QStringLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nN:%1\r\nFN:%1\r\nORG:%2\r\n"
                                             "EMAIL;INTERNET;HOME;PREF:%3\r\nTEL;CELL;PREF:%4\r\nURL:%5\r\nEND:VCARD")
                                  .arg(plain->contactName(), plain->contactCompany(), plain->contactEmail(),
                                       plain->contactPhone().trimmed(), plain->contactHomepage())
                                  .toUtf8());
}

TEST_F(WindowTest, ExitAsksFirst)
{
    QString asked;
    answerNextModal(QStringLiteral("Cancel"), &asked);
    delegate->window->close();
    EXPECT_EQ(asked, QStringLiteral("Are you sure you want to Exit ?"));
    EXPECT_TRUE(delegate->window->isVisible());

    answerNextModal(QStringLiteral(" Exit "));
    delegate->window->close();
    EXPECT_FALSE(delegate->window->isVisible());
}

// The scan is held before its message step, so the quit certainly comes
// while it runs: the quit cancels it and joins its thread without serving
// the GUI thread, and nothing the scan posted on its way out reaches the page.
TEST_F(WindowTest, QuittingDuringAScanJoinsIt)
{
    BackupScanner &scanner = delegate->scanner();
    scanner.holdAt(BackupScanner::Stage::Messages);
    QTest::mouseClick(tile("iTunesBackupButton"), Qt::LeftButton);
    PRResultViewController *page = delegate->GetresultViewController();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(scanner.waitUntilHeld(scanTimeoutMs));
    ASSERT_TRUE(delegate->scanRunning());
    QSignalSpy ended(page, &PRResultViewController::scanEnded);
    screenshot(delegate->window, QStringLiteral("scanning"));

    answerNextModal(QStringLiteral(" Exit "));
    QElapsedTimer clock;
    clock.start();
    delegate->window->close();
    const qint64 ms = clock.elapsed();
    std::printf("closing the window during a scan took %lld ms\n", static_cast<long long>(ms));
    EXPECT_FALSE(delegate->window->isVisible());
    EXPECT_FALSE(delegate->scanRunning());
    EXPECT_LT(ms, 10000);
    // The scan stopped where it was held: its contacts were read, its calls
    // never were.
    EXPECT_FALSE(page->intake().contactArray.isEmpty());
    EXPECT_TRUE(page->intake().callHistoryArray.isEmpty());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(ended.count(), 0) << "the end of a scan cut short by the quit is dropped";
    EXPECT_FALSE(page->scanFinished());
}

// The user went home during a scan and pressed the backup tile again: the
// running scan keeps the page (nothing is reset under it, no second scan
// starts), and its end makes the page usable as always.
TEST_F(WindowTest, TheTilePressedDuringAScanLeavesThatScanShowing)
{
    BackupScanner &scanner = delegate->scanner();
    scanner.holdAt(BackupScanner::Stage::Contacts);
    QTest::mouseClick(tile("iTunesBackupButton"), Qt::LeftButton);
    PRResultViewController *page = delegate->GetresultViewController();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(scanner.waitUntilHeld(scanTimeoutMs));

    delegate->showMainView();
    QTest::mouseClick(tile("iTunesBackupButton"), Qt::LeftButton);
    EXPECT_EQ(scanner.generation(), 1u) << "no second scan";
    EXPECT_EQ(delegate->visiblePage(), delegate->iTunesBackupBroswerView);
    EXPECT_FALSE(page->scanFinished());
    EXPECT_FALSE(page->backupPopBtn->isEnabled());

    QSignalSpy ended(page, &PRResultViewController::scanEnded);
    scanner.releaseHold();
    ASSERT_TRUE(ended.wait(scanTimeoutMs));
    EXPECT_EQ(ended.count(), 1);
    EXPECT_TRUE(page->backupPopBtn->isEnabled());
    EXPECT_TRUE(page->contactBtn->isEnabled());
    EXPECT_GT(page->backupfiles(), 0u) << "the index read before the second press is kept";
    EXPECT_FALSE(page->intake().contactArray.isEmpty());
}

// The scan has handed its end over but its thread has not gone yet (it
// empties its arrays) when the user picks another backup from the pop-up
// the end made usable: that is a new scan, never a refusal that leaves the
// page at "1%".
TEST_F(WindowTest, APickRightAsTheScanEndsStartsTheNextScan)
{
    BackupScanner &scanner = delegate->scanner();
    scanner.holdAt(BackupScanner::Stage::Ended);
    PRResultViewController *page = scanFirstBackup();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(scanner.waitUntilHeld(scanTimeoutMs));
    ASSERT_TRUE(page->backupPopBtn->isEnabled());
    EXPECT_EQ(page->iOSTypeInfolab->text(), QStringLiteral("14.2"));

    QSignalSpy ended(page, &PRResultViewController::scanEnded);
    page->actSelectBackUpBtn(1);
    EXPECT_EQ(scanner.generation(), 2u) << "the second start was refused";
    EXPECT_FALSE(page->scanFinished());
    EXPECT_FALSE(page->backupPopBtn->isEnabled());
    ASSERT_TRUE(ended.wait(scanTimeoutMs));
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(page->currentSelect(), 1);
    EXPECT_EQ(page->iOSTypeInfolab->text(), QStringLiteral("8.4"));
    EXPECT_TRUE(page->backupPopBtn->isEnabled());
    EXPECT_TRUE(page->homeBtn->isEnabled());
    EXPECT_FALSE(page->intake().contactArray.isEmpty());
    EXPECT_EQ(delegate->window->findChild<QMessageBox *>(QStringLiteral("scanRefusedAlert")), nullptr);
}

// A new scan starts before the end of the last one reaches the page (input
// can overtake posted events): that end is stale and dropped, and the page
// waits for its own scan.
TEST_F(WindowTest, AnEndOvertakenByANewScanIsDropped)
{
    BackupScanner &scanner = delegate->scanner();
    scanner.holdAt(BackupScanner::Stage::Ended);
    QTest::mouseClick(tile("iTunesBackupButton"), Qt::LeftButton);
    PRResultViewController *page = delegate->GetresultViewController();
    ASSERT_NE(page, nullptr);
    // Held without serving the GUI thread: the first end is still queued.
    ASSERT_TRUE(scanner.waitUntilHeld(scanTimeoutMs));
    ASSERT_FALSE(page->scanFinished());
    QSignalSpy ended(page, &PRResultViewController::scanEnded);

    scanner.holdAt(BackupScanner::Stage::Ending);
    delegate->showMainView();
    delegate->ClickScaniTunesBackup();
    EXPECT_EQ(scanner.generation(), 2u);
    ASSERT_TRUE(scanner.waitUntilHeld(scanTimeoutMs));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(ended.count(), 0) << "the first scan's end was shown over the second scan";
    EXPECT_FALSE(page->scanFinished());
    EXPECT_TRUE(page->scanProgressor->isVisible());

    scanner.releaseHold();
    ASSERT_TRUE(ended.wait(scanTimeoutMs));
    EXPECT_EQ(ended.count(), 1);
    EXPECT_TRUE(page->scanFinished());
    EXPECT_TRUE(page->backupPopBtn->isEnabled());
}

// Something else holds the scanner when the user picks another backup: the
// page does not wait for a scan that never starts. It says why, shows no
// progress, keeps its pop-up and home usable, and the other scan's end is
// not taken for its own.
TEST_F(WindowTest, ARefusedPickLeavesThePageUsable)
{
    PRResultViewController *page = scanFirstBackup();
    ASSERT_NE(page, nullptr);
    BackupScanner &scanner = delegate->scanner();
    scanner.holdAt(BackupScanner::Stage::Ending);
    ASSERT_TRUE(scanner.ScanIOSBackFile(delegate->deviceController->arrangedObjects().first()->backUpFilePath(),
                                        QStringLiteral("14.2")));
    ASSERT_TRUE(scanner.waitUntilHeld(scanTimeoutMs));

    QSignalSpy ended(page, &PRResultViewController::scanEnded);
    page->actSelectBackUpBtn(1);
    auto *alert = delegate->window->findChild<QMessageBox *>(QStringLiteral("scanRefusedAlert"));
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), QStringLiteral("Another scan is still running."));
    EXPECT_TRUE(page->scanFinished());
    EXPECT_FALSE(page->scanProgressor->isVisible());
    EXPECT_TRUE(page->backupPopBtn->isEnabled());
    EXPECT_TRUE(page->homeBtn->isEnabled());
    alert->buttons().first()->click();

    scanner.releaseHold();
    scanner.wait();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(ended.count(), 0) << "the other scan's end is not the page's";
    // Once the scanner is free, picking the same backup again scans it.
    page->actSelectBackUpBtn(1);
    EXPECT_EQ(scanner.generation(), 3u);
    ASSERT_TRUE(ended.wait(scanTimeoutMs));
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(page->iOSTypeInfolab->text(), QStringLiteral("8.4"));
    EXPECT_FALSE(page->intake().contactArray.isEmpty());
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    preferFFmpegBackend();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
