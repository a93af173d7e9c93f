#include "tests/support/qtprinters.h"

#include "results/resultsorting.h"

#include "backup/nodes/prcallhistorynode.h"
#include "backup/nodes/prcontactnode.h"
#include "backup/nodes/prmessagenode.h"
#include "backup/nodes/prnotenode.h"
#include "backup/nodes/prphotoandvideonode.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <cstring>
#include <functional>

namespace {

// The flags live for the process; each test starts from a fresh one's.
class PRResultSortingTest : public ::testing::Test
{
protected:
    void SetUp() override { PRResultSorting::resetOrderFlags(); }
};

PRNodeRef photo(const QString &name, const QString &size = QString())
{
    auto p = std::make_shared<PRPhotoAndVideoNode>();
    p->setFileNodeName(name);
    p->setFileNodeSize(size);
    return p;
}

template<typename Node, typename Setter>
PRNodeRef named(Setter setter, const QString &name)
{
    auto n = std::make_shared<Node>();
    std::invoke(setter, *n, name);
    return n;
}

PRNodeRef contact(const QString &name) { return named<PRContactNode>(&PRContactNode::setContactName, name); }
PRNodeRef message(const QString &name) { return named<PRMessageNode>(&PRMessageNode::setMessageName, name); }

PRNodeRef call(const QString &name, const QString &date)
{
    auto c = std::make_shared<PRCallHistoryNode>();
    c->setCallName(name);
    c->setCallDate(date);
    return c;
}

template<typename Node, typename Getter>
QStringList keys(const QList<PRNodeRef> &list, Getter getter)
{
    QStringList out;
    for (const PRNodeRef &n : list)
        out << std::invoke(getter, static_cast<const Node &>(*n));
    return out;
}

bool sort(PRSortTable table, const char *column, QList<PRNodeRef> &list)
{
    return PRResultSorting::sortForColumn(table, QString::fromLatin1(column), list);
}

} // namespace

TEST(PRResultSortingSize, UnitsAndOddTexts)
{
    const std::pair<const char *, quint64> cases[] = {
        {"512.00bytes", 512},  {"1.50KB", 1500}, {"2.00MB", 2000000}, {"3.00GB", 3000000000},
        {"1.00TB", 1000000000000}, {"7.99bytes", 7}, {"1.2345KB", 1234}, {"", 0}, {"bytes", 0}, {"12", 0},
        {"1.50kb", 0}, {"1.50 MiB", 0}, {"junkKB", 0}, {"-1.00KB", 0}};
    for (const auto &[text, bytes] : cases)
        EXPECT_EQ(PRResultSorting::sizeFormString(QString::fromLatin1(text)), bytes) << text;
    EXPECT_EQ(PRResultSorting::sizeFormString(QString()), 0u);
}

TEST_F(PRResultSortingTest, PhotosByNumberThenSize)
{
    QList<PRNodeRef> list{photo("00000010.jpg", "2.00MB"), photo("00000009.jpg", "999.00KB"), photo("-4.png"),
                          photo("IMG.jpg", "512.00bytes"), photo(" 12.jpg", "1.00GB"),
                          photo("99999999999999999999999.mov", "1.00KB")};
    ASSERT_TRUE(sort(PRSortTable::Photo, "Name", list)) << "first click ascending";
    EXPECT_EQ(keys<PRPhotoAndVideoNode>(list, &PRPhotoAndVideoNode::fileNodeName),
              QStringList({"-4.png", "IMG.jpg", "00000009.jpg", "00000010.jpg", " 12.jpg",
                           "99999999999999999999999.mov"}));

    // The size flag is its own: ascending on its first click.
    ASSERT_TRUE(sort(PRSortTable::Photo, "Size", list));
    EXPECT_EQ(keys<PRPhotoAndVideoNode>(list, &PRPhotoAndVideoNode::fileNodeSize),
              QStringList({"", "512.00bytes", "1.00KB", "999.00KB", "2.00MB", "1.00GB"}));
    ASSERT_TRUE(sort(PRSortTable::Photo, "Name", list));
    EXPECT_EQ(keys<PRPhotoAndVideoNode>(list, &PRPhotoAndVideoNode::fileNodeName).first(),
              "99999999999999999999999.mov");
    const QList<PRNodeRef> before = list;
    EXPECT_FALSE(sort(PRSortTable::Photo, "Path", list));
    EXPECT_EQ(list, before);
}

TEST_F(PRResultSortingTest, NameFlagSharedAndCheckBoxesIgnored)
{
    QList<PRNodeRef> messages{message("b"), message("a"), message("c")};
    QList<PRNodeRef> contacts{contact("b"), contact("a"), contact("c")};
    for (PRSortTable table : {PRSortTable::Photo, PRSortTable::Contact, PRSortTable::Message, PRSortTable::Call,
                              PRSortTable::Other})
        EXPECT_FALSE(sort(table, "bSelected", contacts));
    EXPECT_FALSE(sort(PRSortTable::Other, "Name", contacts));
    EXPECT_EQ(keys<PRContactNode>(contacts, &PRContactNode::contactName), QStringList({"b", "a", "c"}));

    ASSERT_TRUE(sort(PRSortTable::Message, "messageName", messages));
    EXPECT_EQ(keys<PRMessageNode>(messages, &PRMessageNode::messageName), QStringList({"a", "b", "c"}));
    ASSERT_TRUE(sort(PRSortTable::Contact, "contactName", contacts));
    EXPECT_EQ(keys<PRContactNode>(contacts, &PRContactNode::contactName), QStringList({"c", "b", "a"}));
    QList<PRNodeRef> calls{call("b", ""), call("a", "")};
    ASSERT_TRUE(sort(PRSortTable::Call, "Name", calls));
    EXPECT_EQ(keys<PRCallHistoryNode>(calls, &PRCallHistoryNode::callName), QStringList({"a", "b"}));
    EXPECT_FALSE(PRResultSorting::orderFlags().date);
}

TEST_F(PRResultSortingTest, NamesLiteralAndStable)
{
    QList<PRNodeRef> list{contact("bob"), contact("Zed"), contact("adam"), contact(""), contact("Émile")};
    ASSERT_TRUE(sort(PRSortTable::Contact, "contactName", list));
    EXPECT_EQ(keys<PRContactNode>(list, &PRContactNode::contactName),
              QStringList({"", "Zed", "adam", "bob", "Émile"}));

    // Small lists come out stable from most sorts; many equal names show
    // whether the order really holds, in both directions.
    QList<PRNodeRef> many, xs;
    for (int i = 0; i < 200; ++i) {
        many << contact(i % 3 ? "y" : "x");
        if (i % 3 == 0)
            xs << many.last();
    }
    ASSERT_TRUE(sort(PRSortTable::Contact, "contactName", many));
    EXPECT_EQ(many.last(xs.size()), xs) << "descending";
    ASSERT_TRUE(sort(PRSortTable::Contact, "contactName", many));
    EXPECT_EQ(many.first(xs.size()), xs);
}

TEST_F(PRResultSortingTest, CallDatesAsDatesNotText)
{
    QList<PRNodeRef> list{call("", "12-31-2019 23:59"), call("", "01-01-2020 00:00"), call("", "02-15-2019 10:00"),
                          call("", "not a date"), call("", "2019-06-01 08:00:00"), call("", "02-30-2020 10:00")};
    ASSERT_TRUE(sort(PRSortTable::Call, "callDate", list));
    EXPECT_EQ(keys<PRCallHistoryNode>(list, &PRCallHistoryNode::callDate),
              QStringList({"not a date", "02-30-2020 10:00", "02-15-2019 10:00", "2019-06-01 08:00:00",
                           "12-31-2019 23:59", "01-01-2020 00:00"}));
    EXPECT_FALSE(PRResultSorting::orderFlags().name);
    ASSERT_TRUE(sort(PRSortTable::Call, "callDuration", list));
    EXPECT_EQ(keys<PRCallHistoryNode>(list, &PRCallHistoryNode::callDate).first(), "01-01-2020 00:00");
}

TEST_F(PRResultSortingTest, RecordsOfAnotherClassSortAsEmpty)
{
    const PRNodeRef note = std::make_shared<PRNoteNode>();
    const PRNodeRef b = contact("b");
    QList<PRNodeRef> list{b, note, nullptr};
    // Ascending: the two empty keys first, in the order they came.
    ASSERT_TRUE(sort(PRSortTable::Contact, "contactName", list));
    EXPECT_EQ(list, (QList<PRNodeRef>{note, nullptr, b}));

    // To another table's columns every record here is foreign: all keys are
    // empty, so the stable sort keeps the order, whichever direction.
    const QList<PRNodeRef> kept{note, nullptr, b};
    for (PRSortTable table : {PRSortTable::Message, PRSortTable::Call, PRSortTable::Photo}) {
        for (const char *column : {"Name", "Size", "callDate"}) {
            const bool sorts = table != PRSortTable::Photo || std::strcmp(column, "callDate") != 0;
            EXPECT_EQ(sort(table, column, list), sorts) << int(table) << column;
            EXPECT_EQ(list, kept) << int(table) << column;
        }
    }

    // Descending: the contact first, the empty keys after it, still in
    // their order.
    PRResultSorting::resetOrderFlags();
    ASSERT_TRUE(sort(PRSortTable::Contact, "contactName", list));
    ASSERT_TRUE(sort(PRSortTable::Contact, "contactName", list));
    EXPECT_EQ(list, (QList<PRNodeRef>{b, note, nullptr}));

    // Beside a real call, a foreign record has no date: before every date
    // ascending, after them descending.
    const PRNodeRef ann = call(QStringLiteral("Ann"), QStringLiteral("01-01-2020 00:00"));
    QList<PRNodeRef> calls{ann, note};
    ASSERT_TRUE(sort(PRSortTable::Call, "callDate", calls));
    EXPECT_EQ(calls, (QList<PRNodeRef>{note, ann}));
    ASSERT_TRUE(sort(PRSortTable::Call, "callDate", calls));
    EXPECT_EQ(calls, (QList<PRNodeRef>{ann, note}));
}
