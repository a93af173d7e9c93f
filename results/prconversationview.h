#pragma once

#include "backup/nodes/prmessagenode.h"
#include "results/prsharedcontrols.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QRectF>
#include <QScrollArea>
#include <QString>

#include <memory>

class PRChatView;
class QPushButton;

// How one message is drawn in a conversation: which side, which caption,
// and a text, a picture to read, or the "Contact" image in its place. Asks
// the application's images, so on the GUI thread.
struct PRChatBubbleLayout
{
    enum class Content { Text, Picture, Placeholder };

    int type = 0;
    qreal x = 0;
    QString caption;
    Content content = Content::Text;
    QString text;
    QRectF textRect;
    QString picturePath;
    qreal height = 0;

    // The message's text is shown up to textLimit characters (previewText()).
    static PRChatBubbleLayout forMessage(const PRMessageNode &message, qsizetype textLimit = kPreviewTextLimit);
};

// The conversation preview of the results page: a header with the contact,
// then the messages as bubbles, fifty at a time, with a "More..." button that
// appends the next fifty.
//
// Pictures of attachments are read on worker threads; their bubbles are
// placed at once and show the picture when it arrives.
class PRConversationView : public QScrollArea
{
    Q_OBJECT

public:
    static constexpr int kPreviewCount = 50;
    // A page lays out at most about this much message text: the messages
    // after the first long ones show only their start (and say so), yet at
    // least kMessageTextFloor characters each.
    static constexpr qsizetype kPageTextBudget = kPreviewTextLimit;
    static constexpr qsizetype kMessageTextFloor = 2 * 1024;
    // Attachment pictures are read no larger than this.
    static constexpr int kPictureSide = 80;

    explicit PRConversationView(QWidget *parent = nullptr);
    ~PRConversationView() override;

    // Empties the area and shows the conversation's header and first page.
    void showConversation(const std::shared_ptr<PRMessageTreeNode> &node);
    void addChatHeadInfo(const std::shared_ptr<PRMessageTreeNode> &node);
    void addMoreButn();
    // Appends the next page in place of the "More..." button.
    void ClickMoreBtn();
    void RemoveAllMessageChatView();

    int previewCount() const { return m_previewCount; }
    int haveAddChatNum() const { return m_haveAddChatNum; }
    QRectF previousMessageBubbleFrame() const { return m_previousMessageBubbleFrame; }
    const QList<PRChatView *> &chatViews() const { return m_chatViews; }
    // Null while no more messages wait.
    QPushButton *moreButton() const { return m_moreButton; }
    std::shared_ptr<PRMessageTreeNode> currentMessageTreeNode() const { return m_currentMessageTreeNode; }
    void setCurrentMessageTreeNode(const std::shared_ptr<PRMessageTreeNode> &node) { m_currentMessageTreeNode = node; }
    QWidget *documentView() const { return m_document; }
    // Pictures asked for and not yet shown.
    int pendingPictureCount() const { return int(m_pendingPictures.size()); }

    // A picture scaled while it is read to fit kPictureSide square; null
    // for anything that is no readable picture.
    static QImage readChatPicture(const QString &path);
    // The header's avatar: the first message's contact image, else "contact".
    static QImage avatarImage(const PRMessageTreeNode &node);
    // The document's height for content ending at bottom in a view
    // viewHeight high, and whether the vertical scroller is needed.
    static int documentHeight(qreal bottom, int viewHeight, bool *scroller = nullptr);

Q_SIGNALS:
    // Every picture asked for has been shown.
    void picturesLoaded();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // Places a bubble, its text bounded by what remains of the page's budget.
    void placeMessage(const PRMessageNode &message, qsizetype &textBudget);
    void placeMessages(int from, int to);
    void resizeDocument(qreal bottom);
    void requestPicture(PRChatView *bubble, const QString &path);
    void pictureRead(quint64 id, QImage image);
    void cancelPictures();

    QWidget *m_document = nullptr;
    int m_previewCount = kPreviewCount;
    int m_haveAddChatNum = 0;
    QRectF m_previousMessageBubbleFrame;
    qreal m_documentBottom = 0;
    QList<PRChatView *> m_chatViews;
    QPointer<QPushButton> m_moreButton;
    std::shared_ptr<PRMessageTreeNode> m_currentMessageTreeNode;

    // Shared with the reads under way, which may outlive the view.
    struct PictureInbox;
    std::shared_ptr<PictureInbox> m_inbox;
    quint64 m_nextPictureId = 0;
    QHash<quint64, QPointer<PRChatView>> m_pendingPictures;
};
