// Record texts and pictures as the results page previews them: a stranger
// writes them, so they are shown as plain text, laid out in bounded time, and
// pictures are read only from regular files.

#include "tests/support/eventwait.h"
#include "tests/support/qtprinters.h"

#include "backup/nodes/prtreenodes.h"
#include "backup/notificationnames.h"
#include "backup/priosdevicecontroller.h"
#include "filesafety/primages.h"
#include "platform/notificationcenter.h"
#include "results/prchatview.h"
#include "results/prconversationview.h"
#include "results/prpreviewpictureloader.h"
#include "results/prresultviewcontroller.h"
#include "results/prsharedcontrols.h"
#include "results/prtreemodels.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QThreadPool>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Timing bounds are sanity bounds: the faults they catch took a minute and
// more, the sanitizer build on a loaded machine lays out in two seconds or
// so, and the structural checks keep texts short.
constexpr qint64 kSanityMs = 30000;
constexpr int kWaitMs = testsupport::kEventWaitMs;

PRPreviewPictureLoader *loaderOf(QObject *label)
{
    return label->findChild<PRPreviewPictureLoader *>(QString(), Qt::FindDirectChildrenOnly);
}

// Every picture read started has ended and every answer it posted has run.
void drainPictureReads()
{
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(kWaitMs));
    QCoreApplication::sendPostedEvents();
}

// Waits until the loader's newest answer is applied, then lets any older
// answer still on its way arrive too, so a stale one would show.
bool settle(PRPreviewPictureLoader *loader)
{
    const bool applied = QTest::qWaitFor([loader] { return !loader->isPending(); }, kWaitMs);
    drainPictureReads();
    return applied;
}

class FakeHost : public PRResultPageHost
{
public:
    std::shared_ptr<PRIOSDeviceNode> currentNode() const override { return node; }
    void setCurrentNode(const std::shared_ptr<PRIOSDeviceNode> &n) override { node = n; }
    bool IOSVersionIOS6(const QString &) override { return true; }
    PRIOSDeviceController *GetPRIOSDeviceController() override { return &list; }
    bool getDeviceConnected() const override { return false; }
    bool ScanIOSBackFile(const QString &) override { return true; }
    void showResultView() override {}
    void ClickBackup() override {}
    void ClickBackupAction() override {}
    void showMainView() override {}
    QWidget *mainWindow() override { return nullptr; }

    std::shared_ptr<PRIOSDeviceNode> node;
    PRIOSDeviceController list;
};

// A reader stuck opening the FIFO (a label loading <img src=FIFO>) would hang
// the test for good. After a while the watchdog opens the writing end, again
// and again, so every such reader gets its end of file and the test fails on
// fired() instead. A non-blocking open for writing succeeds only while a
// reader has the FIFO open: fired() tells that a reader was there, never that
// the machine was slow.
class FifoWatchdog
{
public:
    FifoWatchdog(const QString &fifo, std::chrono::milliseconds after)
        : m_thread([this, name = QFile::encodeName(fifo), after] {
            std::unique_lock lock(m_mutex);
            if (m_cv.wait_for(lock, after, [this] { return m_done; }))
                return;
            while (!m_cv.wait_for(lock, std::chrono::milliseconds(5), [this] { return m_done; })) {
                const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    m_fired = true;
                    ::close(fd);
                }
            }
        })
    {
    }
    ~FifoWatchdog()
    {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }
    bool fired()
    {
        std::lock_guard lock(m_mutex);
        return m_fired;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_done = false;
    bool m_fired = false;
    std::thread m_thread;
};

class PreviewTextTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        fifo = dir.filePath(QStringLiteral("pipe.png"));
        ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        picture = dir.filePath(QStringLiteral("red.png"));
        QImage red(64, 64, QImage::Format_RGB32);
        red.fill(QColor(255, 0, 0));
        ASSERT_TRUE(red.save(picture, "PNG"));
        fifoImg = QStringLiteral("<img src=\"%1\">").arg(fifo);
        pictureImg = QStringLiteral("<b>bold</b><img src=\"%1\">").arg(picture);
    }

    // The page as the application makes it, its backup named by the backup
    // itself; the empty backup list's alert is answered.
    void makePage(const QString &deviceName = QStringLiteral("iPhone"))
    {
        host.node = std::make_shared<PRIOSDeviceNode>();
        host.node->setStrDeviceName(deviceName);
        QTimer::singleShot(0, [] { answerModal(); });
        page = std::make_unique<PRResultViewController>(host, NotificationCenter::defaultCenter());
        page->resize(1100, 700);
        page->showView(nullptr);
    }

    static void answerModal()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            QTimer::singleShot(0, [] { answerModal(); });
            return;
        }
        box->buttons().first()->click();
    }

    void runScan(const std::function<void(NotificationCenter &)> &body)
    {
        std::atomic<bool> done{false};
        std::thread scan([&] {
            body(NotificationCenter::defaultCenter());
            page->ScanThreadFinish();
            done = true;
        });
        while (!done)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        scan.join();
        // The page files what the scan handed over beside it, and shows the
        // end once everything before it is filed.
        ASSERT_TRUE(QTest::qWaitFor([this] { return page->scanFinished(); }, 60000));
        QCoreApplication::processEvents();
    }

    // Lays out and paints every widget of the page, as showing it does.
    void paintPage() { page->grab(); }

    QStringList richLabels() const
    {
        QStringList rich;
        for (const QLabel *label : page->findChildren<QLabel *>()) {
            if (label->textFormat() == Qt::PlainText)
                continue;
            if (label->textFormat() == Qt::RichText || Qt::mightBeRichText(label->text()))
                rich << label->text();
        }
        return rich;
    }

    bool showsRed() const
    {
        const QImage shot = page->grab().toImage().convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if (shot.pixel(x, y) == qRgb(255, 0, 0))
                    return true;
        return false;
    }

    QString tooltipAt(QTableView *table, int row, int column)
    {
        QToolTip::hideText();
        const QRect cell = table->visualRect(table->model()->index(row, column));
        QHelpEvent help(QEvent::ToolTip, cell.center(), table->viewport()->mapToGlobal(cell.center()));
        QApplication::sendEvent(table->viewport(), &help);
        return QToolTip::text();
    }

    QTemporaryDir dir;
    QString fifo;
    QString picture;
    QString fifoImg;
    QString pictureImg;
    FakeHost host;
    std::unique_ptr<PRResultViewController> page;
};

// Cut to limit characters of the record (after a label's own prefix), and
// saying so.
bool isElided(const QString &shown, qsizetype limit, const QString &prefix = {})
{
    const QString note = previewElisionNote();
    return shown.startsWith(prefix) && shown.endsWith(note)
           && shown.size() == prefix.size() + limit + 1 + note.size();
}

} // namespace

TEST_F(PreviewTextTest, MarkupInRecordsIsShownAsTextNeverLoaded)
{
    FifoWatchdog watchdog(fifo, std::chrono::seconds(5));
    makePage(fifoImg);
    runScan([&](NotificationCenter &nc) {
        auto contact = std::make_shared<PRContactNode>();
        contact->setContactName(fifoImg);
        contact->setContactPhone(fifoImg);
        contact->setContactEmail(pictureImg);
        contact->setContactCompany(pictureImg);
        contact->setContactNote(fifoImg);
        nc.post(Notifications::ScanContactInfo, nodeToVariant(contact));
        auto message = std::make_shared<PRMessageNode>();
        message->setMessageName(fifoImg);
        message->setMessagePhone(fifoImg);
        message->setMessageDate(fifoImg);
        message->setMessageType(QStringLiteral("Received"));
        message->setMessageContent(pictureImg);
        nc.post(Notifications::ScanMessageInfo, nodeToVariant(message));
        auto call = std::make_shared<PRCallHistoryNode>();
        call->setCallName(fifoImg);
        call->setCallPhone(pictureImg);
        nc.post(Notifications::ScanCallHistoryInfo, nodeToVariant(call));
        auto note = std::make_shared<PRNoteNode>();
        note->setNoteTitle(fifoImg);
        note->setNoteContent(pictureImg);
        nc.post(Notifications::ScanNoteInfo, nodeToVariant(note));
        auto bookmark = std::make_shared<PRBookMarkNode>();
        bookmark->setBookMarkTitle(fifoImg);
        bookmark->setBookMarkURL(pictureImg);
        nc.post(Notifications::scanBookMarkInfo, nodeToVariant(bookmark));
        auto event = std::make_shared<PRCalenderNode>();
        event->setCalTitle(fifoImg);
        event->setCalNote(pictureImg);
        nc.post(Notifications::scanCalenderInfo, nodeToVariant(event));
        auto social = std::make_shared<PRFaceTwitterNode>();
        social->setFaceTwitterFileName(fifoImg);
        social->setFaceTwitterFilePath(fifo);
        nc.post(Notifications::scanFaceTwitterInfo, nodeToVariant(social));
    });

    const std::pair<const char *, void (PRResultViewController::*)()> categories[] = {
        {"contacts", &PRResultViewController::actContact},   {"messages", &PRResultViewController::actMessage},
        {"calls", &PRResultViewController::actCallHistory},  {"notes", &PRResultViewController::actNote},
        {"bookmarks", &PRResultViewController::actBookMark}, {"calendar", &PRResultViewController::actCalender},
        {"social files", &PRResultViewController::actFaceTwitter}};
    for (const auto &[name, show] : categories) {
        (page.get()->*show)();
        paintPage();
        EXPECT_EQ(richLabels(), QStringList()) << name;
        EXPECT_FALSE(showsRed()) << name << ": the picture a record names is never shown";
    }
    EXPECT_EQ(page->backupNameInfolab->text(), fifoImg);

    page->actContact();
    EXPECT_EQ(page->contactNamelab->text(), fifoImg) << "shown as written";
    page->actMessage();
    ASSERT_EQ(page->conversationView->chatViews().size(), 1);
    EXPECT_EQ(page->conversationView->chatViews().first()->shownText(), pictureImg);
    const auto *header = page->conversationView->documentView()->findChild<PRChatNameView *>();
    ASSERT_TRUE(header);
    EXPECT_EQ(header->text(), fifoImg);

    // The tables' tooltips hold record text too.
    page->actContact();
    const QString tip = tooltipAt(page->contactTableView, 0, page->contactController->columnOf(QStringLiteral("Name")));
    QTextDocument shown;
    shown.setHtml(tip);
    EXPECT_EQ(shown.toPlainText(), fifoImg);
    for (const QTextFormat &format : shown.allFormats())
        EXPECT_FALSE(format.isImageFormat());

    EXPECT_FALSE(watchdog.fired()) << "a label or tooltip opened the FIFO a record names";
}

TEST_F(PreviewTextTest, LongTextsWithoutSpacesArePreviewedBoundedAndQuickly)
{
    const QString megabyte(1 << 20, QLatin1Char('x'));
    makePage();
    runScan([&](NotificationCenter &nc) {
        for (int i = 0; i < 3; ++i) {
            auto message = std::make_shared<PRMessageNode>();
            message->setMessageName(megabyte);
            message->setMessagePhone(QStringLiteral("+1 555 0100"));
            message->setMessageType(QStringLiteral("Received"));
            message->setMessageContent(megabyte);
            nc.post(Notifications::ScanMessageInfo, nodeToVariant(message));
        }
        auto note = std::make_shared<PRNoteNode>();
        note->setNoteTitle(megabyte);
        note->setNoteContent(megabyte);
        nc.post(Notifications::ScanNoteInfo, nodeToVariant(note));
        auto contact = std::make_shared<PRContactNode>();
        contact->setContactName(megabyte);
        contact->setContactNote(megabyte);
        nc.post(Notifications::ScanContactInfo, nodeToVariant(contact));
    });

    // Opening a category previews its first record.
    QElapsedTimer timer;
    timer.start();
    page->actMessage();
    paintPage();
    const qint64 message = timer.restart();
    page->actNote();
    paintPage();
    const qint64 note = timer.restart();
    page->actContact();
    paintPage();
    const qint64 contact = timer.elapsed();
    std::printf("1 MB without spaces: message %lld ms, note %lld ms, contact %lld ms\n", message, note, contact);

    // The first long message of a page takes the page's budget; the others
    // show their start.
    const auto &bubbles = page->conversationView->chatViews();
    ASSERT_EQ(bubbles.size(), 3);
    EXPECT_TRUE(isElided(bubbles[0]->shownText(), kPreviewTextLimit));
    EXPECT_TRUE(bubbles[0]->shownText().startsWith(megabyte.left(kPreviewTextLimit)));
    for (const PRChatView *bubble : bubbles.mid(1))
        EXPECT_TRUE(isElided(bubble->shownText(), PRConversationView::kMessageTextFloor));
    // Each bubble is as high as the text it shows.
    for (const PRChatView *bubble : bubbles)
        EXPECT_EQ(bubble->frame().height(),
                  PRChatView::calculateChatRect(bubble->shownText()).height() + PRChatView::kTextExtraHeight);
    EXPECT_TRUE(isElided(page->messageNamelab->text(), kPreviewFieldLimit));
    EXPECT_TRUE(isElided(page->noteContentView->toPlainText(), kPreviewTextLimit));
    EXPECT_TRUE(isElided(page->noteTitlelab->text(), kPreviewFieldLimit, QStringLiteral("Title: ")));
    EXPECT_TRUE(isElided(page->contactNamelab->text(), kPreviewFieldLimit));
    EXPECT_TRUE(page->contactNotelab->toPlainText().endsWith(previewElisionNote()));
    EXPECT_LE(page->contactNotelab->toPlainText().size(), kPreviewTextLimit + 1 + previewElisionNote().size());
    // A sanity bound only: the structure above is what keeps it short.
    EXPECT_LT(message, kSanityMs);
    EXPECT_LT(note, kSanityMs);
    EXPECT_LT(contact, kSanityMs);
    // What export writes is untouched.
    EXPECT_EQ(page->intake().noteArray.first()->noteContent().size(), megabyte.size());
}

TEST(PreviewText, BoundsWrapAndKeepShortTextsWhole)
{
    EXPECT_EQ(previewText(QStringLiteral("hello")), QStringLiteral("hello"));
    const QString exact(kPreviewTextLimit, QLatin1Char('a'));
    EXPECT_EQ(previewText(exact), exact);
    EXPECT_EQ(previewText(exact + QLatin1Char('b')), exact + QLatin1Char('\n') + previewElisionNote());
    // A cut never leaves half of a character outside the basic plane.
    const QString emoji = QString(3, QLatin1Char('a')) + QString::fromUtf8("\xF0\x9F\x98\x80") + QStringLiteral("zz");
    EXPECT_EQ(previewText(emoji, 4), QStringLiteral("aaa\n") + previewElisionNote());

    EXPECT_EQ(previewWrapMode(QStringLiteral("short words wrap at their ends ").repeated(3000)),
              QTextOption::WrapAtWordBoundaryOrAnywhere);
    EXPECT_EQ(previewWrapMode(QStringLiteral("words ") + QString(5000, QLatin1Char('x')) + QStringLiteral(" end")),
              QTextOption::WrapAnywhere);

    // Laying out the longest text a bubble shows, without a place to break
    // it, takes milliseconds: generous bounds, printed to be watched.
    for (const QString &text : {QString(kPreviewTextLimit, QLatin1Char('x')),
                                QString(kPreviewTextLimit, QChar(0x6F22)),
                                QStringLiteral("word ").repeated(kPreviewTextLimit / 5)}) {
        QElapsedTimer timer;
        timer.start();
        const QRectF rect = PRChatView::calculateChatRect(text);
        PRChatView bubble(QRectF(0, 0, PRChatView::kWidth, rect.height() + PRChatView::kTextExtraHeight));
        bubble.initWithName(QString(), rect, QString(), text, 0);
        const qint64 bubbleMs = timer.restart();
        PRTextView note;
        note.resize(300, 400);
        note.setPreviewText(text);
        note.grab();
        const qint64 noteMs = timer.elapsed();
        std::printf("64 K characters of U+%04X: bubble %lld ms, note %lld ms\n", text.at(0).unicode(), bubbleMs,
                    noteMs);
        EXPECT_LE(rect.width(), PRChatView::kTextWidth + 36);
        EXPECT_LT(bubbleMs, kSanityMs);
        EXPECT_LT(noteMs, kSanityMs);
    }
}

TEST_F(PreviewTextTest, PicturePreviewsReadOnlyRegularFiles)
{
    const QString link = dir.filePath(QStringLiteral("link.png"));
    ASSERT_TRUE(QFile::link(picture, link));
    const QSize box(360, 360);
    EXPECT_EQ(readPreviewPicture(picture, box).size(), QSize(64, 64));
    FifoWatchdog watchdog(fifo, std::chrono::seconds(5));
    for (const QString &path : {fifo, link, QStringLiteral("/dev/zero"), dir.path()})
        EXPECT_TRUE(readPreviewPicture(path, box).isNull()) << path.toStdString();
    EXPECT_TRUE(PRConversationView::readChatPicture(link).isNull());

    makePage();
    runScan([&](NotificationCenter &nc) {
        for (const QString &path : {fifo, link, picture}) {
            auto photo = std::make_shared<PRPhotoAndVideoNode>();
            photo->setFilePath(path);
            photo->setFileNodeName(QFileInfo(path).fileName());
            nc.post(Notifications::ScanPhotoAndVideo, nodeToVariant(photo));
        }
    });
    page->actPhoto();
    PRPreviewPictureLoader *loader = loaderOf(page->imageView);
    ASSERT_TRUE(loader);
    ASSERT_TRUE(settle(loader));
    EXPECT_TRUE(page->imageView->pixmap().isNull()) << "the FIFO, first, shows as a missing picture";
    for (int row : {1, 2}) {
        page->photoTableView->selectRow(row);
        ASSERT_TRUE(settle(loader)) << row;
        EXPECT_EQ(page->imageView->pixmap().isNull(), row == 1) << row;
    }
    EXPECT_EQ(page->imageView->pixmap().size(), QSize(64, 64));
    EXPECT_FALSE(watchdog.fired()) << "the preview opened the FIFO";
}

// The stored file of a tampered backup as a FIFO nobody writes or a file
// larger than any picture: the page answers at once, reads off the GUI
// thread, and shows nothing or what stands for the file.
TEST_F(PreviewTextTest, PicturePreviewsAreReadOffTheGuiThread)
{
    const QString huge = dir.filePath(QStringLiteral("huge.png"));
    {
        // A picture's header, then zeros to past the cap (a sparse file).
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        QFile red(picture);
        ASSERT_TRUE(red.open(QIODevice::ReadOnly));
        ASSERT_GT(file.write(red.readAll()), 0);
        ASSERT_TRUE(file.resize(kPreviewPictureFileLimit + 4096));
    }
    FifoWatchdog watchdog(fifo, std::chrono::seconds(5));

    makePage();
    runScan([&](NotificationCenter &nc) {
        for (const QString &path : {picture, fifo, huge}) {
            auto photo = std::make_shared<PRPhotoAndVideoNode>();
            photo->setFilePath(path);
            photo->setFileNodeName(QFileInfo(path).fileName());
            nc.post(Notifications::ScanPhotoAndVideo, nodeToVariant(photo));
            auto social = std::make_shared<PRFaceTwitterNode>();
            social->setFaceTwitterFilePath(path);
            social->setFaceTwitterFileName(QFileInfo(path).fileName());
            nc.post(Notifications::scanFaceTwitterInfo, nodeToVariant(social));
        }
        QImage face(400, 300, QImage::Format_RGB32);
        face.fill(Qt::green);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        face.save(&buffer, "PNG");
        for (const QByteArray &data : {png, QByteArray("not a picture")}) {
            auto contact = std::make_shared<PRContactNode>();
            contact->setContactName(QStringLiteral("Ann"));
            contact->setImageData(data);
            nc.post(Notifications::ScanContactInfo, nodeToVariant(contact));
        }
    });

    // Photos: the picture is applied by a queued call, never while the
    // selection changes; a FIFO and a file past the cap show nothing.
    page->actPhoto();
    PRPreviewPictureLoader *photos = loaderOf(page->imageView);
    ASSERT_TRUE(photos);
    EXPECT_TRUE(photos->isPending());
    EXPECT_TRUE(page->imageView->pixmap().isNull()) << "decoded on the GUI thread";
    ASSERT_TRUE(settle(photos));
    EXPECT_EQ(page->imageView->pixmap().size(), QSize(64, 64));
    for (int row : {1, 2}) {
        page->photoTableView->selectRow(row);
        EXPECT_TRUE(page->imageView->pixmap().isNull()) << "the previous record's picture stays: " << row;
        ASSERT_TRUE(settle(photos)) << row;
        EXPECT_TRUE(page->imageView->pixmap().isNull()) << row;
    }

    // A late answer for a record no longer selected is dropped: the picture
    // is read and its answer queued before the FIFO is selected, so it runs
    // first; the FIFO's nothing is what shows.
    page->photoTableView->selectRow(0);
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(kWaitMs));
    page->photoTableView->selectRow(1);
    ASSERT_TRUE(settle(photos));
    EXPECT_TRUE(page->imageView->pixmap().isNull()) << "a stale picture was shown";

    // Social-app files: a file that is no readable picture gets the button.
    page->actFaceTwitter();
    PRPreviewPictureLoader *social = loaderOf(page->faceTwitterShowImageView);
    ASSERT_TRUE(social);
    for (int row : {0, 1, 2}) {
        page->facetwitterTableView->selectRow(row);
        ASSERT_TRUE(settle(social)) << row;
        EXPECT_EQ(page->faceTwitterShowImageView->isVisibleTo(page.get()), row == 0) << row;
        EXPECT_EQ(page->previewBtn->isVisibleTo(page.get()), row != 0) << row;
        EXPECT_EQ(page->faceTwitterShowImageView->pixmap().isNull(), row != 0) << row;
    }

    // Contacts: the stand-in at once, the record's own picture when decoded.
    page->actContact();
    PRPreviewPictureLoader *faces = loaderOf(page->contactImageView);
    ASSERT_TRUE(faces);
    const QImage standIn = imageNamed(QStringLiteral("contact")).toImage();
    for (int row : {0, 1}) {
        page->contactTableView->selectRow(row);
        ASSERT_TRUE(settle(faces)) << row;
        const QImage shown = page->contactImageView->pixmap().toImage();
        if (row == 0)
            EXPECT_EQ(shown.size(), QSize(192, 144));
        else
            EXPECT_EQ(shown, standIn);
    }
    EXPECT_FALSE(watchdog.fired()) << "a preview opened the FIFO";
}

// The backup file browser's preview: the type's picture at once, the
// file's own picture when it is a regular file within the cap, the type's
// picture kept for a FIFO or a file past the cap.
TEST_F(PreviewTextTest, FilePreviewKeepsTheTypesPictureForHostileFiles)
{
    const QString huge = dir.filePath(QStringLiteral("huge.png"));
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(kPreviewPictureFileLimit + 4096));
    }
    FifoWatchdog watchdog(fifo, std::chrono::seconds(5));
    makePage();
    const QStringList names = {QStringLiteral("a.png"), QStringLiteral("b.png"), QStringLiteral("c.png")};
    const QStringList keys = {picture, fifo, huge};
    runScan([&](NotificationCenter &nc) {
        for (int i = 0; i < names.size(); ++i) {
            auto entry = std::make_shared<PRTreeDirNode>();
            entry->setFileDomain(QStringLiteral("HomeDomain"));
            entry->setFilePath(QStringLiteral("Library/") + names[i]);
            entry->setFileKey(keys[i]);
            nc.post(Notifications::FindBackUpDirFileInfo, nodeToVariant(entry));
        }
    });
    page->actBackUpBoswer();

    // Down to the folder that holds the three files.
    QModelIndex library;
    QList<QModelIndex> stack{page->treeController->index(0, 0)};
    while (!stack.isEmpty() && !library.isValid()) {
        const QModelIndex at = stack.takeLast();
        if (at.data().toString() == QLatin1String("Library"))
            library = at;
        for (int row = 0; row < page->treeController->rowCount(at); ++row)
            stack << page->treeController->index(row, 0, at);
    }
    ASSERT_TRUE(library.isValid());
    page->treeOutlineView->setCurrentIndex(library);
    QTableView *files = page->treetableView;
    ASSERT_EQ(files->model()->rowCount(), 3);
    PRPreviewPictureLoader *loader = nullptr;
    int pictures = 0;
    for (int row = 0; row < 3; ++row) {
        const auto file = std::dynamic_pointer_cast<PRTreeFileNode>(page->treeFileController->nodeAt(row));
        ASSERT_TRUE(file) << row;
        files->selectRow(row);
        loader = loader ? loader : loaderOf(page->treeFileImageView);
        ASSERT_TRUE(loader) << row;
        const QImage icon = page->treeFileImageView->pixmap().toImage();
        EXPECT_FALSE(icon.isNull()) << "the type's picture shows at once: " << row;
        ASSERT_TRUE(settle(loader)) << row;
        const QImage shown = page->treeFileImageView->pixmap().toImage();
        if (file->filePath() == picture) {
            ++pictures;
            EXPECT_EQ(shown.size(), QSize(64, 64)) << row;
        } else {
            EXPECT_EQ(shown, icon) << row;
        }
    }
    EXPECT_EQ(pictures, 1);
    EXPECT_FALSE(watchdog.fired()) << "the preview opened the FIFO";
}

// A loader answers only its newest request, and nothing once it is gone.
TEST_F(PreviewTextTest, PictureLoaderAnswersOnlyItsNewestRequest)
{
    QImage shown(1, 1, QImage::Format_RGB32);
    int applied = 0;
    {
        PRPreviewPictureLoader loader;
        loader.requestFile(picture, QSize(32, 32), [&](const QImage &image) {
            shown = image;
            ++applied;
        });
    }
    drainPictureReads();
    EXPECT_EQ(applied, 0);

    // An answer queued before a newer request is dropped, though it runs
    // before the newer one's.
    {
        PRPreviewPictureLoader loader;
        QList<QImage> answers;
        loader.requestFile(picture, QSize(32, 32), [&](const QImage &image) { answers << image; });
        ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(kWaitMs));
        loader.requestFile(fifo, QSize(32, 32), [&](const QImage &image) { answers << image; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return !loader.isPending(); }, kWaitMs));
        drainPictureReads();
        ASSERT_EQ(answers.size(), 1);
        EXPECT_TRUE(answers.first().isNull()) << "the older request's picture was shown";
    }

    // cancel() drops the answer; a later request is answered once.
    PRPreviewPictureLoader loader;
    QSignalSpy done(&loader, &PRPreviewPictureLoader::pictureApplied);
    loader.requestFile(picture, QSize(32, 32), [&](const QImage &) { ++applied; });
    loader.cancel();
    EXPECT_FALSE(loader.isPending());
    drainPictureReads();
    EXPECT_EQ(applied, 0);
    EXPECT_EQ(done.count(), 0);
    loader.requestFile(picture, QSize(32, 32), [&](const QImage &image) {
        shown = image;
        ++applied;
    });
    ASSERT_TRUE(done.wait(kWaitMs));
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(shown.size(), QSize(32, 32));

    // Picture bytes past the cap are refused unread.
    loader.requestData(QByteArray(kPreviewPictureFileLimit + 1, '\0'), QSize(32, 32),
                       [&](const QImage &image) { shown = image; });
    ASSERT_TRUE(done.wait(kWaitMs));
    EXPECT_TRUE(shown.isNull());
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
