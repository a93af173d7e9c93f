#include "results/prconversationview.h"

#include "filesafety/primages.h"
#include "results/prchatview.h"
#include "results/prsharedcontrols.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QThreadPool>

#include <atomic>
#include <mutex>

namespace {

constexpr qreal kSentX = 167;

// Reads that outlive their view finish in the application's pool, which
// the application waits for as it quits, not the view as it goes.
QThreadPool &pictureReaders()
{
    return *QThreadPool::globalInstance();
}

QString fileText(const char *text)
{
    return QCoreApplication::translate("PRChatView", text);
}

} // namespace

struct PRConversationView::PictureInbox
{
    std::mutex mutex;
    PRConversationView *view = nullptr;
    // Bumped whenever the bubbles go, so the reads asked for them are skipped.
    std::atomic<quint64> generation{0};
};

PRChatBubbleLayout PRChatBubbleLayout::forMessage(const PRMessageNode &message, qsizetype textLimit)
{
    PRChatBubbleLayout layout;
    // The caption is one line, elided: longer fields would only be laid out
    // for nothing.
    const QString date = message.messageDate().left(kPreviewFieldLimit);
    if (message.messageType() == QLatin1String("Received")) {
        layout.caption = QStringLiteral("%1     %2").arg(message.messageName().left(kPreviewFieldLimit), date);
        layout.type = PRChatView::kReceived;
        layout.x = 0;
    } else {
        layout.caption = date;
        layout.type = 0;
        layout.x = kSentX;
    }

    const auto textBubble = [&layout, textLimit](const QString &text) {
        layout.content = Content::Text;
        layout.text = previewText(text, textLimit);
        layout.textRect = PRChatView::calculateChatRect(layout.text);
        layout.height = layout.textRect.height() + PRChatView::kTextExtraHeight;
    };
    const auto pictureBubble = [&layout](Content content) {
        layout.content = content;
        layout.height = PRChatView::kPictureHeight;
    };

    if (!message.isHasAttach() && message.attachmentPath().size() <= 1) {
        textBubble(message.messageContent());
        return layout;
    }
    const QString &kind = message.attachType();
    if (kind == QLatin1String("Image")) {
        layout.picturePath = message.attachmentPath();
        pictureBubble(layout.picturePath.isEmpty() ? Content::Placeholder : Content::Picture);
        return layout;
    }
    struct FileKind
    {
        const char *attachType;
        const char *text;
        const char *icon;
    };
    static constexpr FileKind kFileKinds[] = {{"Mov", QT_TRANSLATE_NOOP("PRChatView", "Video File"), "quicktime"},
                                              {"Contact", QT_TRANSLATE_NOOP("PRChatView", "Contact File"), "contact"},
                                              {"Location", QT_TRANSLATE_NOOP("PRChatView", "Location File"), "location"}};
    for (const FileKind &file : kFileKinds) {
        if (kind != QLatin1String(file.attachType))
            continue;
        if (imageNamed(QLatin1String(file.icon)).isNull())
            break;
        textBubble(fileText(file.text));
        return layout;
    }
    pictureBubble(Content::Placeholder);
    return layout;
}

PRConversationView::PRConversationView(QWidget *parent)
    : QScrollArea(parent)
    , m_inbox(std::make_shared<PictureInbox>())
{
    m_inbox->view = this;
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    viewport()->setPalette(white);
    viewport()->setAutoFillBackground(true);

    m_document = new QWidget;
    m_document->setObjectName(QStringLiteral("conversationDocument"));
    m_document->setPalette(white);
    setWidget(m_document);
    resizeDocument(0);
}

PRConversationView::~PRConversationView()
{
    std::lock_guard lock(m_inbox->mutex);
    m_inbox->view = nullptr;
    ++m_inbox->generation;
}

void PRConversationView::showConversation(const std::shared_ptr<PRMessageTreeNode> &node)
{
    m_previewCount = kPreviewCount;
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    m_previousMessageBubbleFrame = QRectF();
    RemoveAllMessageChatView();
    m_haveAddChatNum = 0;
    m_currentMessageTreeNode = node;
    if (!node)
        return;
    const int n = int(node->MessageNodeArray().size());
    addChatHeadInfo(node);
    if (n < m_previewCount) {
        placeMessages(0, n);
    } else {
        placeMessages(0, m_previewCount);
        addMoreButn();
    }
}

QImage PRConversationView::avatarImage(const PRMessageTreeNode &node)
{
    const auto &messages = node.MessageNodeArray();
    if (messages.isEmpty())
        return {};
    QImage image;
    if (messages.first())
        image = decodePreviewPicture(messages.first()->contactImageData(), QSize(80, 60));
    return image.isNull() ? imageNamed(QStringLiteral("contact")).toImage() : image;
}

void PRConversationView::addChatHeadInfo(const std::shared_ptr<PRMessageTreeNode> &node)
{
    if (!node)
        return;
    int t = int(m_previousMessageBubbleFrame.y() + m_previousMessageBubbleFrame.height() + 10);
    if (t == 10)
        t = 0;

    auto *head = new QLabel(m_document);
    head->setGeometry(-1, t - 1, 425, 76);
    head->setPixmap(imageNamed(QStringLiteral("chatHead")));
    head->setScaledContents(true);
    head->show();
    m_previousMessageBubbleFrame = head->geometry();

    auto *avatar = new QLabel(m_document);
    avatar->setObjectName(QStringLiteral("chatAvatar"));
    avatar->setGeometry(0, t + 5, 80, 60);
    avatar->setAlignment(Qt::AlignCenter);
    const QImage picture = avatarImage(*node);
    if (!picture.isNull())
        avatar->setPixmap(QPixmap::fromImage(picture));
    avatar->show();
    m_previousMessageBubbleFrame = avatar->geometry();

    auto *name = (new PRChatNameView(m_document))->initwithNameString(node->messageTreeNodeName());
    name->setGeometry(72, t + 25, 260, 20);
    name->show();
    m_previousMessageBubbleFrame = name->geometry();

    m_previousMessageBubbleFrame.translate(0, 45);
    // Also a conversation without messages gets a document of its own size.
    resizeDocument(t + 76);
}

void PRConversationView::placeMessages(int from, int to)
{
    const auto &messages = m_currentMessageTreeNode->MessageNodeArray();
    static const PRMessageNode noMessage;
    qsizetype textBudget = kPageTextBudget;
    for (int i = from; i < to; ++i)
        placeMessage(messages.at(i) ? *messages.at(i) : noMessage, textBudget);
}

void PRConversationView::placeMessage(const PRMessageNode &message, qsizetype &textBudget)
{
    ++m_haveAddChatNum;
    const PRChatBubbleLayout layout
        = PRChatBubbleLayout::forMessage(message, std::max(textBudget, kMessageTextFloor));
    textBudget -= layout.text.size();
    const qreal y = m_previousMessageBubbleFrame.y() + m_previousMessageBubbleFrame.height();
    const QRectF frame(layout.x, y, PRChatView::kWidth, layout.height);
    auto *bubble = new PRChatView(frame, m_document);
    switch (layout.content) {
    case PRChatBubbleLayout::Content::Text:
        bubble->initWithName(message.messagePhone(), layout.textRect, layout.caption, layout.text, layout.type);
        break;
    case PRChatBubbleLayout::Content::Picture:
        bubble->initWithName(message.messagePhone(), layout.caption, QPixmap(), layout.type);
        requestPicture(bubble, layout.picturePath);
        break;
    case PRChatBubbleLayout::Content::Placeholder:
        bubble->initWithName(message.messagePhone(), layout.caption, imageNamed(QStringLiteral("Contact")),
                             layout.type);
        break;
    }
    bubble->show();
    m_chatViews.append(bubble);
    m_previousMessageBubbleFrame = frame;
    resizeDocument(frame.y() + frame.height());
}

void PRConversationView::addMoreButn()
{
    const int y = int(m_previousMessageBubbleFrame.y() + m_previousMessageBubbleFrame.height() + 10);
    delete m_moreButton.data();
    auto *button = new QPushButton(tr("More..."), m_document);
    button->setObjectName(QStringLiteral("moreButton"));
    button->setGeometry(150, y, 80, 30);
    button->setFlat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral(
        "QPushButton { border: none; background: transparent; color: rgb(17, 11, 137); }"));
    QFont font(QStringLiteral("Lucida Grande"));
    font.setPointSize(11);
    button->setFont(font);
    connect(button, &QPushButton::clicked, this, &PRConversationView::ClickMoreBtn);
    button->show();
    m_moreButton = button;
    m_previousMessageBubbleFrame = QRectF(150, y, 80, 30);
    resizeDocument(y + 30);
}

void PRConversationView::ClickMoreBtn()
{
    if (QPushButton *button = m_moreButton.data()) {
        // Possibly still inside its own click.
        m_moreButton = nullptr;
        button->hide();
        button->deleteLater();
    }
    if (!m_currentMessageTreeNode)
        return;
    const int d = m_haveAddChatNum;
    const int n = int(m_currentMessageTreeNode->MessageNodeArray().size());
    if (d >= n)
        return;
    if (n - d > m_previewCount) {
        placeMessages(d, d + m_previewCount);
        addMoreButn();
    } else {
        placeMessages(d, n);
    }
}

void PRConversationView::RemoveAllMessageChatView()
{
    cancelPictures();
    m_chatViews.clear();
    const QList<QWidget *> views = m_document->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (auto it = views.rbegin(); it != views.rend(); ++it)
        delete *it;
    viewport()->update();
}

int PRConversationView::documentHeight(qreal bottom, int viewHeight, bool *scroller)
{
    const int b = int(bottom);
    const bool needed = b > viewHeight;
    if (scroller)
        *scroller = needed;
    return needed ? b : viewHeight;
}

void PRConversationView::resizeDocument(qreal bottom)
{
    m_documentBottom = bottom;
    bool scroller = false;
    const int h = documentHeight(bottom, height(), &scroller);
    setVerticalScrollBarPolicy(scroller ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    m_document->resize(width(), h);
}

void PRConversationView::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    // A smaller view must still reach the last bubble.
    resizeDocument(m_documentBottom);
}

QImage PRConversationView::readChatPicture(const QString &path)
{
    // Only a regular file: a pipe or a device could block the read for good.
    return readPreviewPicture(path, QSize(kPictureSide, kPictureSide));
}

void PRConversationView::requestPicture(PRChatView *bubble, const QString &path)
{
    const quint64 id = ++m_nextPictureId;
    m_pendingPictures.insert(id, bubble);
    const std::shared_ptr<PictureInbox> inbox = m_inbox;
    const quint64 generation = inbox->generation.load();
    pictureReaders().start([inbox, generation, id, path] {
        if (inbox->generation.load() != generation)
            return;
        QImage image = readChatPicture(path);
        std::lock_guard lock(inbox->mutex);
        PRConversationView *view = inbox->view;
        if (!view || inbox->generation.load() != generation)
            return;
        QMetaObject::invokeMethod(
            view, [view, id, image = std::move(image)]() { view->pictureRead(id, image); }, Qt::QueuedConnection);
    });
}

void PRConversationView::pictureRead(quint64 id, QImage image)
{
    const auto it = m_pendingPictures.constFind(id);
    if (it == m_pendingPictures.constEnd())
        return;
    const QPointer<PRChatView> bubble = it.value();
    m_pendingPictures.erase(it);
    if (bubble)
        bubble->setPicture(image.isNull() ? imageNamed(QStringLiteral("Contact")) : QPixmap::fromImage(image));
    if (m_pendingPictures.isEmpty())
        Q_EMIT picturesLoaded();
}

void PRConversationView::cancelPictures()
{
    {
        std::lock_guard lock(m_inbox->mutex);
        ++m_inbox->generation;
    }
    m_pendingPictures.clear();
}
