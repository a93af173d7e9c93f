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

namespace {

template<typename Node>
PRNodeRef make(void (Node::*setA)(const QString &), void (Node::*setB)(const QString &), const char *a,
               const char *b)
{
    auto n = std::make_shared<Node>();
    (n.get()->*setA)(a ? QString::fromUtf8(a) : QString());
    (n.get()->*setB)(b ? QString::fromUtf8(b) : QString());
    return n;
}

// A record of the kind whose two searched fields are a and b; a null
// pointer leaves the field absent.
PRNodeRef record(PRSearchKind kind, const char *a, const char *b)
{
    switch (kind) {
    case PRSearchKind::Conversation:
        return make(&PRMessageTreeNode::setMessageTreeNodeName, &PRMessageTreeNode::setMessageTreeNodeAdress, a,
                    b);
    case PRSearchKind::Note:
        return make(&PRNoteNode::setNoteTitle, &PRNoteNode::setNoteContent, a, b);
    case PRSearchKind::Call:
        return make(&PRCallHistoryNode::setCallName, &PRCallHistoryNode::setCallPhone, a, b);
    case PRSearchKind::Calendar:
        return make(&PRCalenderNode::setCalTitle, &PRCalenderNode::setCalNote, a, b);
    default:
        return make(&PRContactNode::setContactName, &PRContactNode::setContactPhone, a, b);
    }
}

QList<PRNodeRef> contacts(qsizetype count, const char *name)
{
    QList<PRNodeRef> out;
    for (qsizetype i = 0; i < count; ++i)
        out << record(PRSearchKind::Contact, name, "5550100");
    return out;
}

} // namespace

TEST(PRResultSearch, EitherPresentFieldInAnyCase)
{
    const QString ann = QStringLiteral("ann");
    for (PRSearchKind kind : {PRSearchKind::Conversation, PRSearchKind::Contact, PRSearchKind::Note,
                              PRSearchKind::Call, PRSearchKind::Calendar}) {
        SCOPED_TRACE(int(kind));
        EXPECT_TRUE(PRResultSearch::matches(kind, record(kind, nullptr, "hAnNah"), ann));
        EXPECT_TRUE(PRResultSearch::matches(kind, record(kind, "Joanne", nullptr), ann));
        EXPECT_FALSE(PRResultSearch::matches(kind, record(kind, nullptr, nullptr), ann));
        EXPECT_FALSE(PRResultSearch::matches(kind, record(kind, "An", "nn"), ann)) << "not across fields";
        // The page shows the whole table for an empty text itself.
        EXPECT_FALSE(PRResultSearch::matches(kind, record(kind, "", ""), QStringLiteral("")));
        EXPECT_FALSE(PRResultSearch::matches(kind, record(kind, "Ann", "Ann"), QString()));
        EXPECT_FALSE(PRResultSearch::matches(PRSearchKind::None, record(kind, "Ann", "Ann"), ann));
        const PRSearchKind other = kind == PRSearchKind::Note ? PRSearchKind::Call : PRSearchKind::Note;
        EXPECT_FALSE(PRResultSearch::matches(other, record(kind, "Ann", "Ann"), ann)) << "another class";
    }
}

TEST(PRResultSearch, InOrderAndStopsWhenAsked)
{
    const QList<PRNodeRef> all = contacts(200000, "Ann");
    int asked = 0;
    const QList<PRNodeRef> partial = PRResultSearch::search(PRSearchKind::Contact, all, QStringLiteral("ANN"),
                                                            [&] { return ++asked >= 10; });
    ASSERT_FALSE(partial.isEmpty());
    EXPECT_LE(partial.size(), 10) << "asked after each match";
    EXPECT_EQ(partial, all.first(partial.size()));

    asked = 0;
    const auto neverStop = [&] {
        ++asked;
        return false;
    };
    EXPECT_TRUE(PRResultSearch::search(PRSearchKind::Contact, all, QStringLiteral("zz"), neverStop).isEmpty());
    EXPECT_GE(asked, 200) << "asked every few hundred records without matches";
}

TEST(PRResultSearch, OnlyTheNewestReportsOnTheOwnersThread)
{
    PRResultSearch search;
    QSignalSpy spy(&search, &PRResultSearch::searchFinished);
    QThread *deliveredOn = nullptr;
    QObject::connect(&search, &PRResultSearch::searchFinished, [&] { deliveredOn = QThread::currentThread(); });

    const QList<PRNodeRef> small{record(PRSearchKind::Contact, "Ann", ""), record(PRSearchKind::Contact, "Bob", "")};
    search.start(PRSearchKind::Contact, small, QStringLiteral("ann"));
    const quint64 second = search.start(PRSearchKind::Contact, small, QStringLiteral("bob"));
    search.start(PRSearchKind::Contact, contacts(200000, "Ann"), QStringLiteral("a"));
    const quint64 fourth = search.start(PRSearchKind::Contact, small, QStringLiteral("o"));
    EXPECT_GT(fourth, second);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !search.isRunning(); }, 30000));
    ASSERT_EQ(spy.count(), 1) << "an older search's results are stale even when it ended first";
    EXPECT_EQ(spy.at(0).at(0).value<quint64>(), fourth);
    EXPECT_EQ(spy.at(0).at(1).value<QList<PRNodeRef>>(), QList<PRNodeRef>{small[1]});
    EXPECT_EQ(deliveredOn, QThread::currentThread());

    search.start(PRSearchKind::Contact, contacts(200000, "Ann"), QStringLiteral("a"));
    search.cancelAndWait();
    EXPECT_FALSE(search.isRunning());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(spy.count(), 1) << "a cancelled search never reports";
}

TEST(PRResultSearch, DestroyedWhileSearching)
{
    int reported = 0;
    QObject receiver;
    auto *search = new PRResultSearch;
    QObject::connect(search, &PRResultSearch::searchFinished, &receiver, [&] { ++reported; });
    search->start(PRSearchKind::Contact, contacts(200000, "Ann"), QStringLiteral("a"));
    search->start(PRSearchKind::Contact, contacts(1000, "Ann"), QStringLiteral("n"));
    delete search;
    // What the threads posted before they were joined must die with the object.
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(reported, 0);
}
