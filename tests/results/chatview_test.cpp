#include "tests/support/eventwait.h"
#include "tests/support/bytesread.h"
#include "tests/support/qtprinters.h"

#include "filesafety/primages.h"
#include "results/prchatview.h"
#include "results/prconversationview.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <cmath>
#include <sys/stat.h>

namespace {

std::shared_ptr<PRMessageNode> textMessage(const QString &text, const QString &type = QStringLiteral("Send"))
{
    auto m = std::make_shared<PRMessageNode>();
    m->setMessageName(QStringLiteral("Ann"));
    m->setMessagePhone(QStringLiteral("+1 555 0100"));
    m->setMessageDate(QStringLiteral("2013-05-02 10:15:00"));
    m->setMessageType(type);
    m->setMessageContent(text);
    return m;
}

std::shared_ptr<PRMessageNode> attachment(const QString &kind, const QString &path, bool flagged = true)
{
    auto m = textMessage(QStringLiteral("unused"));
    m->setIsHasAttach(flagged);
    m->setAttachType(kind);
    m->setAttachmentPath(path);
    return m;
}

std::shared_ptr<PRMessageTreeNode> conversation(int count)
{
    auto node = std::make_shared<PRMessageTreeNode>();
    node->setMessageTreeNodeName(QStringLiteral("Ann Example"));
    for (int i = 0; i < count; ++i)
        node->messages().append(textMessage(QStringLiteral("message %1").arg(i),
                                            i % 2 ? QStringLiteral("Received") : QStringLiteral("Send")));
    return node;
}

struct ConversationFixture
{
    ConversationFixture()
    {
        view.resize(425, 500);
    }
    PRConversationView view;
};

bool samePixels(const QPixmap &a, const QPixmap &b)
{
    return a.toImage().convertToFormat(QImage::Format_ARGB32) == b.toImage().convertToFormat(QImage::Format_ARGB32);
}

QString writeJpeg(const QString &dir, const QString &name, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    const QString path = dir + QLatin1Char('/') + name;
    EXPECT_TRUE(image.save(path, "JPEG"));
    return path;
}

} // namespace

TEST(PRChatView, CalculateChatRect)
{
    EXPECT_EQ(PRChatView::calculateChatRect(QString()), QRectF());
    EXPECT_EQ(PRChatView::calculateChatRect(QStringLiteral("\n")), QRectF());
    EXPECT_EQ(PRChatView::calculateChatRect(QStringLiteral(" ")), QRectF());

    // An empty text is measured: no width, at least 15 high.
    const QRectF empty = PRChatView::calculateChatRect(QStringLiteral(""));
    EXPECT_EQ(empty.width(), 0);
    EXPECT_GE(empty.height(), 15);

    QFont font(QStringLiteral("Lucida Grande"));
    font.setPointSize(11);
    const QFontMetricsF metrics(font);
    const QRectF word = PRChatView::calculateChatRect(QStringLiteral("Hello"));
    EXPECT_EQ(word.width(), std::ceil(metrics.horizontalAdvance(QStringLiteral("Hello"))) + 36);
    EXPECT_GE(word.height(), std::floor(metrics.height()) + 33);

    // Long texts wrap at 140, also a word longer than a line.
    const QRectF wrapped = PRChatView::calculateChatRect(QStringLiteral("word ").repeated(40));
    EXPECT_LE(wrapped.width(), 140 + 36);
    EXPECT_GT(wrapped.height(), 5 * metrics.height());
    EXPECT_LE(PRChatView::calculateChatRect(QStringLiteral("x").repeated(400)).width(), 140 + 36);
    EXPECT_GT(PRChatView::calculateChatRect(QStringLiteral("a\nb")).height(), word.height() + metrics.height() - 1);

    // Whole points, so bubbles stack on whole pixels.
    for (const QRectF &r : {word, wrapped, empty}) {
        EXPECT_EQ(r.width(), std::floor(r.width()));
        EXPECT_EQ(r.height(), std::floor(r.height()));
    }
}

TEST(PRChatView, SlicesTileTheBubbleFromTheirImages)
{
    using S = PRChatView;
    for (int type : {1, 0}) {
        PRChatView bubble(QRectF(0, 0, 240, 70));
        bubble.initWithName(QString(), QRectF(0, 0, 60, 35), QString(), QStringLiteral("t"), type);
        const auto &f = bubble.contentMatrix();
        // Column by column the rows meet, from the top to the bottom edge.
        for (auto [top, middle, bottom] : {std::tuple{S::TopLeft, S::CenterLeft, S::BottomLeft},
                                           {S::Top, S::Center, S::Bottom},
                                           {S::TopRight, S::CenterRight, S::BottomRight}}) {
            EXPECT_EQ(f[top].top(), 0);
            EXPECT_EQ(f[top].bottom(), f[middle].top());
            EXPECT_EQ(f[middle].bottom(), f[bottom].top());
            EXPECT_EQ(f[bottom].bottom(), 70);
        }
        for (auto [left, middle, right] : {std::tuple{S::TopLeft, S::Top, S::TopRight},
                                           {S::CenterLeft, S::Center, S::CenterRight},
                                           {S::BottomLeft, S::Bottom, S::BottomRight}}) {
            EXPECT_GE(f[left].right(), f[middle].left());
            EXPECT_GE(f[middle].right(), f[right].left());
            EXPECT_EQ(f[right].right(), 240);
        }
        const QString prefix = type == 1 ? QStringLiteral("Gry") : QStringLiteral("Green");
        ASSERT_EQ(bubble.imageArray().size(), 9);
        EXPECT_TRUE(samePixels(bubble.imageArray().first(), imageNamed(prefix + QStringLiteral("topl"))));
        EXPECT_TRUE(samePixels(bubble.imageArray().last(), imageNamed(prefix + QStringLiteral("bottomr"))));
    }
}

TEST(PRChatView, TextAndPictureBubbles)
{
    const QRectF r = PRChatView::calculateChatRect(QStringLiteral("Hello"));
    PRChatView text(QRectF(167, 0, 240, r.height() + 35));
    text.initWithName(QStringLiteral("+1"), r, QStringLiteral("date"), QStringLiteral("Hello"), 0);
    EXPECT_EQ(text.geometry(), QRect(167, 0, 240, int(r.height()) + 35));
    EXPECT_EQ(text.dateFrame(), QRectF(15, 5, 240, 15));
    // 7 above the bubble's bottom edge.
    EXPECT_EQ(text.textFrame(), QRectF(25, 28, r.width() + 20, r.height()));
    EXPECT_EQ(text.textColor(), QColor(Qt::black));
    EXPECT_EQ(text.dateColor(), QColor(52, 106, 82));

    const QRectF e = PRChatView::calculateChatRect(QStringLiteral(""));
    PRChatView unsaved(QRectF(0, 0, 240, e.height() + 35));
    unsaved.initWithName(QString(), e, QStringLiteral("date"), QStringLiteral(""), 1);
    EXPECT_EQ(unsaved.shownText(), QStringLiteral("Unsaved File"));
    EXPECT_EQ(unsaved.textColor(), QColor(217, 81, 30));
    EXPECT_EQ(unsaved.textFrame().width(), e.width() + 40);
    EXPECT_EQ(unsaved.dateColor(), QColor(17, 11, 137));

    for (const char *file : {"Video File", "Contact File", "Location File"}) {
        PRChatView bubble(QRectF(0, 0, 240, 60));
        bubble.initWithName(QString(), QRectF(0, 0, 80, 25), QString(), QString::fromLatin1(file), 0);
        EXPECT_EQ(bubble.textColor(), QColor(217, 81, 30)) << file;
    }

    PRChatView picture(QRectF(0, 0, 240, 130));
    QPixmap big(400, 200);
    big.fill(Qt::red);
    picture.initWithName(QStringLiteral("unused"), QStringLiteral("caption"), big, 1);
    EXPECT_EQ(picture.dateFrame(), QRectF(15, 10, 240, 15));
    EXPECT_EQ(picture.imageFrame(), QRectF(30, 27.5, 80, 80));
    EXPECT_EQ(picture.picture().size(), QSize(80, 40));

    PRChatNameView name;
    name.initwithNameString(QStringLiteral("<b>Ann</b>"));
    EXPECT_EQ(name.textFormat(), Qt::PlainText);
}

TEST(PRChatView, MessagesChooseSideCaptionAndContent)
{
    using Content = PRChatBubbleLayout::Content;
    auto received = textMessage(QStringLiteral("hi"), QStringLiteral("Received"));
    auto layout = PRChatBubbleLayout::forMessage(*received);
    EXPECT_EQ(layout.caption, QStringLiteral("Ann     2013-05-02 10:15:00"));
    EXPECT_EQ(layout.type, 1);
    EXPECT_EQ(layout.x, 0);

    for (const char *type : {"Send", "unknown", ""}) {
        layout = PRChatBubbleLayout::forMessage(*textMessage(QStringLiteral("hi"), QString::fromLatin1(type)));
        EXPECT_EQ(layout.caption, QStringLiteral("2013-05-02 10:15:00")) << type;
        EXPECT_EQ(layout.type, 0) << type;
        EXPECT_EQ(layout.x, 167) << type;
    }

    // A single blank or line break makes the smallest bubble.
    for (const QString &blank : {QStringLiteral(" "), QStringLiteral("\n"), QString()})
        EXPECT_EQ(PRChatBubbleLayout::forMessage(*textMessage(blank)).height, 35);

    // A path of two characters is an attachment even unflagged; of one it is not.
    layout = PRChatBubbleLayout::forMessage(*attachment(QStringLiteral("Mov"), QStringLiteral("ab"), false));
    EXPECT_EQ(layout.content, Content::Text);
    EXPECT_EQ(layout.text, QStringLiteral("Video File"));
    EXPECT_EQ(layout.height, PRChatView::calculateChatRect(QStringLiteral("Video File")).height() + 35);
    layout = PRChatBubbleLayout::forMessage(*attachment(QStringLiteral("Mov"), QStringLiteral("a"), false));
    EXPECT_EQ(layout.text, QStringLiteral("unused"));

    EXPECT_EQ(PRChatBubbleLayout::forMessage(*attachment(QStringLiteral("Contact"), QString())).text,
              QStringLiteral("Contact File"));
    EXPECT_EQ(PRChatBubbleLayout::forMessage(*attachment(QStringLiteral("Location"), QString())).text,
              QStringLiteral("Location File"));
    layout = PRChatBubbleLayout::forMessage(*attachment(QStringLiteral("Image"), QStringLiteral("/p/IMG_1.JPG")));
    EXPECT_EQ(layout.content, Content::Picture);
    EXPECT_EQ(layout.picturePath, QStringLiteral("/p/IMG_1.JPG"));
    EXPECT_EQ(layout.height, 130);
    for (const QString &kind : {QStringLiteral("Audio"), QString()}) {
        layout = PRChatBubbleLayout::forMessage(*attachment(kind, QStringLiteral("/p/x.caf")));
        EXPECT_EQ(layout.content, Content::Placeholder);
        EXPECT_EQ(layout.height, 130);
    }
}

TEST(PRConversationView, PagesOfFifty)
{
    struct Case
    {
        int messages;
        QList<int> bubblesAfterEachClick; // the first entry: before any click
    };
    for (const Case &c : {Case{49, {49}}, Case{50, {50, 50}}, Case{51, {50, 51}}, Case{101, {50, 100, 101}}}) {
        ConversationFixture f;
        f.view.showConversation(conversation(c.messages));
        for (int i = 0; i < c.bubblesAfterEachClick.size(); ++i) {
            const bool last = i == c.bubblesAfterEachClick.size() - 1;
            EXPECT_EQ(f.view.chatViews().size(), c.bubblesAfterEachClick[i]) << c.messages << " click " << i;
            EXPECT_EQ(f.view.haveAddChatNum(), c.bubblesAfterEachClick[i]);
            ASSERT_EQ(f.view.moreButton() != nullptr, !last) << c.messages << " click " << i;
            if (!last)
                QTest::mouseClick(f.view.moreButton(), Qt::LeftButton);
        }
        // Clicks past the end change nothing.
        f.view.ClickMoreBtn();
        EXPECT_EQ(f.view.chatViews().size(), c.messages);
        EXPECT_EQ(f.view.moreButton(), nullptr);
    }
}

TEST(PRConversationView, BubblesStackUnderTheHeaderAndTheButton)
{
    ConversationFixture f;
    auto node = conversation(60);
    node->messages()[3] = textMessage(QStringLiteral("a longer text that wraps over several lines of the bubble"),
                                      QStringLiteral("Received"));
    f.view.showConversation(node);
    const auto &bubbles = f.view.chatViews();
    ASSERT_EQ(bubbles.size(), 50);
    EXPECT_EQ(bubbles[0]->frame().y(), 90);
    for (int i = 1; i < bubbles.size(); ++i) {
        EXPECT_EQ(bubbles[i]->frame().y(), bubbles[i - 1]->frame().bottom()) << i;
        EXPECT_EQ(bubbles[i]->geometry(), bubbles[i]->frame().toRect()) << i;
        EXPECT_EQ(bubbles[i]->frame().width(), 240);
        EXPECT_EQ(bubbles[i]->frame().x(), i % 2 ? 0 : 167);
        EXPECT_EQ(bubbles[i]->messageType(), i % 2 ? 1 : 0);
    }
    EXPECT_GT(bubbles[3]->frame().height(), bubbles[2]->frame().height());

    const qreal lastBottom = bubbles.last()->frame().bottom();
    ASSERT_NE(f.view.moreButton(), nullptr);
    EXPECT_EQ(f.view.moreButton()->geometry(), QRect(150, int(lastBottom) + 10, 80, 30));
    EXPECT_EQ(f.view.previousMessageBubbleFrame(), QRectF(150, int(lastBottom) + 10, 80, 30));
    f.view.ClickMoreBtn();
    EXPECT_EQ(f.view.chatViews()[50]->frame().y(), lastBottom + 40);

    // A second conversation replaces the first, from the top.
    f.view.showConversation(conversation(2));
    EXPECT_EQ(f.view.documentView()->findChildren<PRChatView *>().size(), 2);
    EXPECT_EQ(f.view.chatViews()[0]->frame().y(), 90);

    f.view.RemoveAllMessageChatView();
    EXPECT_TRUE(f.view.documentView()->findChildren<QWidget *>().isEmpty());
    EXPECT_TRUE(f.view.chatViews().isEmpty());
}

TEST(PRConversationView, DocumentHeightFollowsTheLastView)
{
    bool scroller = true;
    EXPECT_EQ(PRConversationView::documentHeight(300.7, 500, &scroller), 500);
    EXPECT_FALSE(scroller);
    EXPECT_EQ(PRConversationView::documentHeight(500.9, 500, &scroller), 500);
    EXPECT_FALSE(scroller);
    EXPECT_EQ(PRConversationView::documentHeight(501.5, 500, &scroller), 501);
    EXPECT_TRUE(scroller);

    ConversationFixture f;
    f.view.show();
    f.view.showConversation(conversation(2));
    EXPECT_EQ(f.view.documentView()->size(), QSize(425, 500));
    EXPECT_EQ(f.view.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    f.view.showConversation(conversation(30));
    const qreal bottom = f.view.chatViews().last()->frame().bottom();
    EXPECT_EQ(f.view.documentView()->height(), int(bottom));
    EXPECT_EQ(f.view.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    // Resizing the view keeps the rule.
    f.view.resize(425, int(bottom) + 100);
    EXPECT_EQ(f.view.documentView()->height(), int(bottom) + 100);
    EXPECT_EQ(f.view.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST(PRConversationView, HeaderAvatar)
{
    auto node = conversation(1);
    const QImage contact = imageNamed(QStringLiteral("contact")).toImage();
    EXPECT_EQ(PRConversationView::avatarImage(*node), contact);

    QImage face(400, 300, QImage::Format_RGB32);
    face.fill(Qt::green);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    face.save(&buffer, "PNG");
    node->messages()[0]->setContactImageData(png);
    EXPECT_EQ(PRConversationView::avatarImage(*node).size(), QSize(80, 60));

    node->messages()[0]->setContactImageData(QByteArray("not a picture"));
    EXPECT_EQ(PRConversationView::avatarImage(*node), contact);
    EXPECT_TRUE(PRConversationView::avatarImage(PRMessageTreeNode()).isNull());

    // The header of a conversation without messages: no avatar, the name.
    ConversationFixture f;
    f.view.showConversation(conversation(0));
    auto *avatarLabel = f.view.documentView()->findChild<QLabel *>(QStringLiteral("chatAvatar"));
    auto *name = f.view.documentView()->findChild<PRChatNameView *>();
    ASSERT_TRUE(avatarLabel && name);
    EXPECT_TRUE(avatarLabel->pixmap().isNull());
    EXPECT_EQ(name->geometry(), QRect(72, 25, 260, 20));
    EXPECT_EQ(f.view.previousMessageBubbleFrame(), QRectF(72, 70, 260, 20));
}

TEST(PRConversationView, PicturesAreReadSmallAndNeverBlock)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString photo = writeJpeg(dir.path(), QStringLiteral("IMG_0001.JPG"), QSize(4000, 3000));
    const QImage small = PRConversationView::readChatPicture(photo);
    EXPECT_EQ(small.size(), QSize(80, 60));

    // A huge file that is no picture, a directory, a pipe: no picture, at once.
    const QString huge = dir.filePath(QStringLiteral("huge.jpg"));
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(qint64(4) << 30));
    }
    const QString pipe = dir.filePath(QStringLiteral("pipe.png"));
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    // Refused before a byte is read (a FIFO without writer would not even
    // return from its open).
    const qint64 before = bytesReadByProcess();
    for (const QString &path : {huge, dir.path(), pipe, dir.filePath(QStringLiteral("missing.png")), QString()})
        EXPECT_TRUE(PRConversationView::readChatPicture(path).isNull()) << path.toStdString();
    EXPECT_LT(bytesReadByProcess() - before, 64 * 1024);

    auto node = conversation(0);
    for (const QString &path : {photo, huge, pipe})
        node->messages().append(attachment(QStringLiteral("Image"), path));
    ConversationFixture f;
    QSignalSpy loaded(&f.view, &PRConversationView::picturesLoaded);
    f.view.showConversation(node);
    // The pictures come by queued calls: none is read while the bubbles are
    // placed, so none is shown before the GUI thread's events run.
    ASSERT_EQ(f.view.chatViews().size(), 3);
    EXPECT_EQ(f.view.pendingPictureCount(), 3) << "pictures are read off the GUI thread";
    for (int i : {0, 1, 2})
        EXPECT_FALSE(f.view.chatViews()[i]->picture().size() == QSize(80, 60)) << i;
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.view.pendingPictureCount() == 0; }, 10000));
    EXPECT_EQ(loaded.count(), 1);
    EXPECT_EQ(f.view.chatViews()[0]->picture().size(), QSize(80, 60));
    for (int i : {1, 2})
        EXPECT_TRUE(samePixels(f.view.chatViews()[i]->picture(), imageNamed(QStringLiteral("Contact")))) << i;

    // Bubbles removed, or a view gone, before their pictures arrive: every
    // read ended and every queued call run, nothing reaches the bubbles
    // removed, and the view says no more pictures were loaded.
    f.view.showConversation(node);
    f.view.RemoveAllMessageChatView();
    EXPECT_EQ(f.view.pendingPictureCount(), 0);
    {
        PRConversationView gone;
        gone.showConversation(node);
        EXPECT_EQ(gone.pendingPictureCount(), 3);
    }
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(10000));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(loaded.count(), 1) << "a read for removed bubbles was delivered";
    EXPECT_TRUE(f.view.chatViews().isEmpty());

    // The view still works after all that: a fresh conversation's pictures arrive.
    f.view.showConversation(node);
    EXPECT_TRUE(loaded.wait(testsupport::kEventWaitMs));
    EXPECT_EQ(f.view.chatViews()[0]->picture().size(), QSize(80, 60));
}

// What keeps a long conversation quick to open: only a page of bubbles is
// laid out at a time, however many messages there are. The times are
// measured by ostra-results-bench.
TEST(PRConversationView, LongConversationsOpenQuickly)
{
    auto node = std::make_shared<PRMessageTreeNode>();
    node->setMessageTreeNodeName(QStringLiteral("Ann Example"));
    const QString sentence = QStringLiteral("Are we still on for dinner tonight? I can bring dessert. ");
    for (int i = 0; i < 20000; ++i)
        node->messages().append(textMessage(sentence.repeated(1 + i % 4) + QString::number(i),
                                            i % 3 ? QStringLiteral("Received") : QStringLiteral("Send")));
    ConversationFixture f;
    f.view.show();
    f.view.showConversation(node);
    ASSERT_EQ(f.view.chatViews().size(), PRConversationView::kPreviewCount);
    for (int i = 0; i < 10; ++i)
        f.view.ClickMoreBtn();
    const auto &bubbles = f.view.chatViews();
    ASSERT_EQ(bubbles.size(), 550);
    // In order, the last one the 550th message.
    EXPECT_TRUE(bubbles.first()->shownText().endsWith(QStringLiteral(" 0")));
    EXPECT_TRUE(bubbles.last()->shownText().endsWith(QStringLiteral(" 549")));
    // Still more to show: the button is there, and the bubbles stack downwards.
    EXPECT_TRUE(f.view.documentView()->findChild<QPushButton *>());
    for (qsizetype i = 1; i < bubbles.size(); ++i)
        ASSERT_GT(bubbles[i]->frame().y(), bubbles[i - 1]->frame().y()) << i;
}

// OSTRA_CHAT_SCREENSHOT=/tmp/chat.png saves a conversation of every kind of
// bubble to look at.
TEST(PRConversationView, Screenshot)
{
    const QString shot = qEnvironmentVariable("OSTRA_CHAT_SCREENSHOT");
    if (shot.isEmpty())
        GTEST_SKIP();
    QTemporaryDir dir;
    auto sample = std::make_shared<PRMessageTreeNode>();
    sample->setMessageTreeNodeName(QStringLiteral("Ann Example"));
    sample->messages() << textMessage(QStringLiteral("Hi! Are we still on for dinner tonight?"),
                                      QStringLiteral("Received"))
                       << textMessage(QStringLiteral("Yes, 7 pm at the usual place. I can bring dessert."))
                       << attachment(QStringLiteral("Image"),
                                     writeJpeg(dir.path(), QStringLiteral("a.jpg"), QSize(1200, 900)))
                       << attachment(QStringLiteral("Mov"), QStringLiteral("/nowhere/IMG_2.MOV"))
                       << textMessage(QStringLiteral("Great, see you then"), QStringLiteral("Received"))
                       << textMessage(QStringLiteral(""), QStringLiteral("Received"))
                       << attachment(QStringLiteral("Location"), QStringLiteral("/nowhere/loc.vcf"));
    sample->messages()[2]->setMessageType(QStringLiteral("Received"));
    PRConversationView view;
    view.resize(425, 760);
    view.showConversation(sample);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.pendingPictureCount() == 0; }, 5000));
    view.grab().save(shot);
}
