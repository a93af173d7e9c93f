#include "tests/support/qtprinters.h"

#include "results/resultintake.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::shared_ptr<PRMessageNode> message(const char *phone, const char *text, const char *date = "01-01-2020 10:00",
                                       const char *name = "")
{
    auto m = std::make_shared<PRMessageNode>();
    m->setMessagePhone(QString::fromUtf8(phone));
    m->setMessageContent(QString::fromUtf8(text));
    m->setMessageDate(QString::fromUtf8(date));
    m->setMessageName(QString::fromUtf8(name));
    return m;
}

} // namespace

TEST(PRResultIntake, LiveMessagesGroupIntoConversationsByAddress)
{
    EXPECT_TRUE(PRResultIntake::addressMatches(QStringLiteral("+14155550134"), QStringLiteral("4155550134")));
    EXPECT_TRUE(PRResultIntake::addressMatches(QStringLiteral("4155550134"), QStringLiteral("+14155550134")));
    EXPECT_TRUE(PRResultIntake::addressMatches(QStringLiteral("Ann@Example.com"), QStringLiteral("ann@example.com")));
    EXPECT_FALSE(PRResultIntake::addressMatches(QString(), QStringLiteral("1")));
    EXPECT_FALSE(PRResultIntake::addressMatches(QStringLiteral("1"), QString()));
    EXPECT_TRUE(PRResultIntake::addressMatches(QString(), QString()));

    PRResultIntake intake;
    intake.addMessage(message("+14155550134", "hi", "01-01-2020 10:00", "Ann"));
    intake.addMessage(message("4155550134", "back"));
    intake.addMessage(message("+12125550147", "other"));
    intake.addMessage(message("", "no address"));
    intake.addMessage(message("", "still none"));
    ASSERT_EQ(intake.messageTreeArray.size(), 3) << "messages without an address share one conversation";
    EXPECT_EQ(intake.messageTreeArray[2]->MessageNodeArray().size(), 2);
    EXPECT_EQ(intake.messageTreeArray[0]->MessageNodeArray().size(), 2);
    EXPECT_EQ(intake.messageTreeArray[0]->messageTreeNodeName(), QStringLiteral("Ann"));
    EXPECT_EQ(intake.messageNum, 5);
    EXPECT_EQ(intake.BackUpFilesNum, 5);
}

TEST(PRResultIntake, CarvedMessagesKeepOnlyNewConversations)
{
    PRResultIntake intake;
    intake.addMessage(message("+14155550134", "live text"));
    EXPECT_FALSE(intake.addDeletedMessage(message("+14155550134", "live text"))) << "the live row itself";
    EXPECT_FALSE(intake.addDeletedMessage(message("", ""))) << "empty";

    auto first = message("+14155559999", "gone");
    EXPECT_TRUE(intake.addDeletedMessage(first));
    EXPECT_TRUE(first->bDeleted());
    // A second carved message of that number joins the deleted conversation
    // without being counted or flagged.
    auto second = message("4155559999", "also gone");
    EXPECT_FALSE(intake.addDeletedMessage(second));
    EXPECT_FALSE(second->bDeleted());
    EXPECT_EQ(intake.messageTreeArray.last()->MessageNodeArray().size(), 2);

    // A live number does not take a carved message into its live conversation.
    EXPECT_TRUE(intake.addDeletedMessage(message("+14155550134", "deleted earlier")));
    auto shortNumber = message(" 1 ", "who");
    EXPECT_TRUE(intake.addDeletedMessage(shortNumber));
    EXPECT_EQ(shortNumber->messagePhone(), QStringLiteral("Unknown"));
    EXPECT_EQ(intake.delMessageNum, 3);
    EXPECT_EQ(intake.deleteeFilesNum, 3);
    EXPECT_EQ(intake.messageNum, 1);
}

TEST(PRResultIntake, CarvedRecordsOfOtherKindsKeptWhenNew)
{
    PRResultIntake intake;
    auto live = std::make_shared<PRContactNode>();
    live->setContactName(QStringLiteral("Ann Lee"));
    live->setContactPhone(QStringLiteral(" 555"));
    intake.addContact(live);
    auto same = std::make_shared<PRContactNode>();
    same->setContactName(QStringLiteral("Ann Lee"));
    same->setContactPhone(QStringLiteral(" 555"));
    EXPECT_FALSE(intake.addDeletedContact(same));
    auto other = std::make_shared<PRContactNode>();
    other->setContactName(QStringLiteral("Bo"));
    EXPECT_TRUE(intake.addDeletedContact(other));
    EXPECT_FALSE(intake.addDeletedContact(std::make_shared<PRContactNode>(*other))) << "kept ones count too";

    auto call = std::make_shared<PRCallHistoryNode>();
    EXPECT_FALSE(intake.addDeletedCallHistory(call)) << "name and phone both empty";
    call->setCallName(QString());
    EXPECT_TRUE(intake.addDeletedCallHistory(call)) << "an absent name is not the empty text";

    auto note = std::make_shared<PRNoteNode>();
    note->setNoteTitle(QString());
    note->setNoteContent(QString());
    EXPECT_FALSE(intake.addDeletedNote(note));
    auto liveNote = std::make_shared<PRNoteNode>();
    liveNote->setNoteContent(QStringLiteral("milk"));
    intake.addNote(liveNote);
    auto carvedNote = std::make_shared<PRNoteNode>();
    carvedNote->setNoteContent(QStringLiteral("milk"));
    EXPECT_FALSE(intake.addDeletedNote(carvedNote));

    EXPECT_FALSE(intake.addDeletedBookMark(std::make_shared<PRBookMarkNode>()));
    auto event = std::make_shared<PRCalenderNode>();
    event->setCalTitle(QStringLiteral("Dentist"));
    EXPECT_TRUE(intake.addDeletedCalender(event));

    EXPECT_EQ(intake.delContactNum, 1);
    EXPECT_EQ(intake.delCallNum, 1);
    EXPECT_EQ(intake.delCalenderNum, 1);
    const QStringList labels = intake.summaryTexts();
    EXPECT_EQ(labels[2], QStringLiteral("Contacts:  1"));
    EXPECT_EQ(labels[3], QStringLiteral("Contacts:  1"));
    EXPECT_EQ(labels[1], QStringLiteral("Photo&Video:  0"));
    EXPECT_EQ(labels[9], QStringLiteral("Call History:  1"));
    intake.resetKindCounters();
    EXPECT_EQ(intake.contactNum, 0);
    EXPECT_EQ(intake.contactArray.size(), 2) << "the records stay";
}

// The indexed grouping must file every message where comparing it with each
// conversation in order would: random short addresses over a small alphabet
// make many overlaps, a few long ones take the unindexed path.
TEST(PRResultIntake, IndexedGroupingMatchesTheWalkOverEveryConversation)
{
    std::mt19937 random(7);
    const QString alphabet = QStringLiteral("01+aA@");
    auto address = [&] {
        const int kind = int(random() % 20);
        int length = kind == 0 ? 0 : kind == 1 ? 49 + int(random() % 10) : 1 + int(random() % 7);
        QString text;
        for (int i = 0; i < length; ++i)
            text += alphabet.at(qsizetype(random() % quint32(alphabet.size())));
        return text;
    };

    PRResultIntake intake;
    // The reference: conversation addresses and deleted flags, walked in order.
    QList<std::pair<QString, bool>> reference;
    QList<int> expectedSizes;
    auto walk = [&](const QString &phone, bool deletedOnly) {
        for (qsizetype i = 0; i < reference.size(); ++i)
            if ((!deletedOnly || reference[i].second) && PRResultIntake::addressMatches(reference[i].first, phone))
                return i;
        return qsizetype(-1);
    };
    for (int n = 0; n < 3000; ++n) {
        const QString phone = address();
        if (random() % 4 == 0) {
            const bool kept = intake.addDeletedMessage(message(phone.toUtf8().constData(), QByteArray::number(n).constData()));
            QString filed = phone;
            if (QString(filed).remove(QLatin1Char(' ')).size() <= 2)
                filed = QStringLiteral("Unknown");
            const qsizetype at = walk(filed, true);
            ASSERT_EQ(kept, at < 0) << n;
            if (at >= 0) {
                ++expectedSizes[at];
            } else {
                reference.append({filed, true});
                expectedSizes.append(1);
            }
        } else {
            intake.addMessage(message(phone.toUtf8().constData(), QByteArray::number(n).constData()));
            const qsizetype at = walk(phone, false);
            if (at >= 0) {
                ++expectedSizes[at];
            } else {
                reference.append({phone, false});
                expectedSizes.append(1);
            }
        }
        ASSERT_EQ(intake.messageTreeArray.size(), reference.size()) << n << " " << qPrintable(phone);
    }
    for (qsizetype i = 0; i < reference.size(); ++i)
        EXPECT_EQ(intake.messageTreeArray[i]->MessageNodeArray().size(), expectedSizes[i]) << i;
}
