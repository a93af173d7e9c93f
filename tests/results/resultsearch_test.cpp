#include "tests/support/qtprinters.h"

#include "results/resultsearch.h"

#include "backup/nodes/prcalendernode.h"
#include "backup/nodes/prcallhistorynode.h"
#include "backup/nodes/prcontactnode.h"
#include "backup/nodes/prmessagenode.h"
#include "backup/nodes/prnotenode.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <functional>

namespace {

// A null pointer makes the field absent.
QString field(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

PRNodeRef contact(const char *name, const char *phone = "")
{
    auto c = std::make_shared<PRContactNode>();
    c->setContactName(field(name));
    c->setContactPhone(field(phone));
    return c;
}

// Each searchable kind with a record whose two searched fields are given.
struct KindCase
{
    PRSearchKind kind;
    std::function<PRNodeRef(const char *, const char *)> make;
};

const KindCase kindCases[] = {
    {PRSearchKind::Conversation,
     [](const char *a, const char *b) {
         auto t = std::make_shared<PRMessageTreeNode>();
         t->setMessageTreeNodeName(field(a));
         t->setMessageTreeNodeAdress(field(b));
         return PRNodeRef(t);
     }},
    {PRSearchKind::Contact, [](const char *a, const char *b) { return contact(a, b); }},
    {PRSearchKind::Note,
     [](const char *a, const char *b) {
         auto n = std::make_shared<PRNoteNode>();
         n->setNoteTitle(field(a));
         n->setNoteContent(field(b));
         return PRNodeRef(n);
     }},
    {PRSearchKind::Call,
     [](const char *a, const char *b) {
         auto c = std::make_shared<PRCallHistoryNode>();
         c->setCallName(field(a));
         c->setCallPhone(field(b));
         return PRNodeRef(c);
     }},
    {PRSearchKind::Calendar,
     [](const char *a, const char *b) {
         auto e = std::make_shared<PRCalenderNode>();
         e->setCalTitle(field(a));
         e->setCalNote(field(b));
         return PRNodeRef(e);
     }},
};

QList<PRNodeRef> manyContacts(qsizetype count, const char *name)
{
    QList<PRNodeRef> out;
    out.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        out << contact(name, "5550100");
    return out;
}

QList<PRNodeRef> resultOf(const QSignalSpy &spy, qsizetype i)
{
    return spy.at(i).at(1).value<QList<PRNodeRef>>();
}

} // namespace

TEST(PRResultSearchMatch, EitherPresentFieldInAnyCase)
{
    const QString text = QStringLiteral("ann");
    for (const KindCase &c : kindCases) {
        SCOPED_TRACE(int(c.kind));
        EXPECT_TRUE(PRResultSearch::matches(c.kind, c.make("Joanne", ""), text));
        EXPECT_TRUE(PRResultSearch::matches(c.kind, c.make("", "ANNA"), text));
        EXPECT_TRUE(PRResultSearch::matches(c.kind, c.make(nullptr, "hAnNah"), text)) << "absent first field";
        EXPECT_TRUE(PRResultSearch::matches(c.kind, c.make("Ann", nullptr), text)) << "absent second field";
        EXPECT_FALSE(PRResultSearch::matches(c.kind, c.make(nullptr, nullptr), text));
        EXPECT_FALSE(PRResultSearch::matches(c.kind, c.make("", ""), text));
        EXPECT_FALSE(PRResultSearch::matches(c.kind, c.make("An", "nn"), text)) << "no match across fields";
        // The page shows the whole table for an empty text; a search for it finds nothing.
        EXPECT_FALSE(PRResultSearch::matches(c.kind, c.make("Ann", "Ann"), QString()));
        EXPECT_FALSE(PRResultSearch::matches(c.kind, c.make("", ""), QStringLiteral("")));
        EXPECT_FALSE(PRResultSearch::matches(PRSearchKind::None, c.make("Ann", "Ann"), text));
    }
}

TEST(PRResultSearchMatch, OtherClassesAndOtherFieldsNeverMatch)
{
    const QString text = QStringLiteral("ann");
    auto message = std::make_shared<PRMessageNode>();
    message->setMessageName(text);
    message->setMessagePhone(text);
    for (const KindCase &c : kindCases) {
        EXPECT_FALSE(PRResultSearch::matches(c.kind, message, text));
        EXPECT_FALSE(PRResultSearch::matches(c.kind, nullptr, text));
    }
    auto c = std::make_shared<PRContactNode>();
    c->setContactEmail(text);
    c->setContactNote(text);
    EXPECT_FALSE(PRResultSearch::matches(PRSearchKind::Contact, c, text));
    EXPECT_FALSE(PRResultSearch::matches(PRSearchKind::Call, contact("Ann"), text)) << "a contact is no call";
}

TEST(PRResultSearchRun, MatchesInOrderAndStopsWhenAsked)
{
    const QList<PRNodeRef> records{contact("Ann"), contact("Bob"), contact("Joanne"), contact(nullptr, "ann@x")};
    const QList<PRNodeRef> found = PRResultSearch::search(PRSearchKind::Contact, records, QStringLiteral("ANN"), {});
    EXPECT_EQ(found, (QList<PRNodeRef>{records[0], records[2], records[3]}));

    // Every record matches: the stop is asked after each match.
    const QList<PRNodeRef> all = manyContacts(200000, "Ann");
    int asked = 0;
    const QList<PRNodeRef> partial = PRResultSearch::search(PRSearchKind::Contact, all, QStringLiteral("ann"),
                                                            [&] { return ++asked >= 10; });
    ASSERT_FALSE(partial.isEmpty());
    EXPECT_LE(partial.size(), 10);
    EXPECT_EQ(partial, all.first(partial.size())) << "what it found so far, in order";

    // Nothing matches: the stop is still asked every few hundred records.
    asked = 0;
    EXPECT_TRUE(PRResultSearch::search(PRSearchKind::Contact, all, QStringLiteral("zz"), [&] {
                    ++asked;
                    return false;
                }).isEmpty());
    EXPECT_GE(asked, 200);
    asked = 0;
    PRResultSearch::search(PRSearchKind::Contact, all, QStringLiteral("zz"), [&] { return ++asked > 0; });
    EXPECT_EQ(asked, 1) << "returns at the first stop request";
}

TEST(PRResultSearchThreads, OnlyTheNewestSearchReportsOnTheOwnersThread)
{
    PRResultSearch search;
    QSignalSpy spy(&search, &PRResultSearch::searchFinished);
    QThread *deliveredOn = nullptr;
    QObject::connect(&search, &PRResultSearch::searchFinished, [&] { deliveredOn = QThread::currentThread(); });

    const QList<PRNodeRef> records{contact("Ann"), contact("Bob"), contact("Annabel")};
    const quint64 first = search.start(PRSearchKind::Contact, records, QStringLiteral("ann"));
    const quint64 second = search.start(PRSearchKind::Contact, records, QStringLiteral("bob"));
    EXPECT_NE(first, second);
    EXPECT_TRUE(search.isRunning());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !search.isRunning(); }, 10000));

    ASSERT_EQ(spy.count(), 1) << "the first search's results are stale even when it ended first";
    EXPECT_EQ(spy.at(0).at(0).value<quint64>(), second);
    EXPECT_EQ(resultOf(spy, 0), QList<PRNodeRef>{records[1]});
    EXPECT_EQ(deliveredOn, QThread::currentThread());
}

TEST(PRResultSearchThreads, LargeSearchIsSupersededByANewerOne)
{
    PRResultSearch search;
    QSignalSpy spy(&search, &PRResultSearch::searchFinished);
    search.start(PRSearchKind::Contact, manyContacts(200000, "Ann"), QStringLiteral("a"));
    const QList<PRNodeRef> small{contact("Zoe")};
    const quint64 newest = search.start(PRSearchKind::Contact, small, QStringLiteral("zoe"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !search.isRunning(); }, 30000));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).value<quint64>(), newest);
    EXPECT_EQ(resultOf(spy, 0), small);

    // Still usable for the next text.
    search.start(PRSearchKind::Contact, small, QStringLiteral("Z"));
    ASSERT_TRUE(spy.wait(10000));
    EXPECT_EQ(resultOf(spy, 1), small);
}

TEST(PRResultSearchThreads, CancelledSearchesNeverReport)
{
    PRResultSearch search;
    QSignalSpy spy(&search, &PRResultSearch::searchFinished);
    search.start(PRSearchKind::Contact, manyContacts(200000, "Ann"), QStringLiteral("a"));
    search.start(PRSearchKind::Contact, {contact("Ann")}, QStringLiteral("a"));
    search.cancelAndWait();
    EXPECT_FALSE(search.isRunning());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(spy.count(), 0);
}

TEST(PRResultSearchThreads, DestroyedWhileSearching)
{
    int reported = 0;
    {
        QObject receiver;
        auto *search = new PRResultSearch;
        QObject::connect(search, &PRResultSearch::searchFinished, &receiver, [&] { ++reported; });
        search->start(PRSearchKind::Contact, manyContacts(200000, "Ann"), QStringLiteral("a"));
        search->start(PRSearchKind::Contact, manyContacts(1000, "Ann"), QStringLiteral("n"));
        delete search;
        // Completions the threads posted before they were joined must die
        // with the object.
        QCoreApplication::sendPostedEvents();
    }
    EXPECT_EQ(reported, 0);
}
