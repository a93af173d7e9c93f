#include "tests/support/qtprinters.h"

#include "results/resultsorting.h"

#include "backup/nodes/prcallhistorynode.h"
#include "backup/nodes/prcontactnode.h"
#include "backup/nodes/prmessagenode.h"
#include "backup/nodes/prphotoandvideonode.h"
#include "backup/nodes/prnotenode.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <clocale>
#include <string>
#include <tuple>

namespace {

// Every test starts from a fresh process's flags.
class PRResultSortingTest : public ::testing::Test
{
protected:
    void SetUp() override { PRResultSorting::resetOrderFlags(); }
    void TearDown() override { PRResultSorting::resetOrderFlags(); }
};

PRNodeRef photo(const char *name, const char *size = "0.00bytes")
{
    auto p = std::make_shared<PRPhotoAndVideoNode>();
    p->setFileNodeName(QString::fromUtf8(name));
    p->setFileNodeSize(QString::fromUtf8(size));
    return p;
}

PRNodeRef contact(const char *name)
{
    auto c = std::make_shared<PRContactNode>();
    c->setContactName(QString::fromUtf8(name));
    return c;
}

PRNodeRef message(const char *name)
{
    auto m = std::make_shared<PRMessageNode>();
    m->setMessageName(QString::fromUtf8(name));
    return m;
}

PRNodeRef call(const char *name, const char *date)
{
    auto c = std::make_shared<PRCallHistoryNode>();
    c->setCallName(QString::fromUtf8(name));
    c->setCallDate(QString::fromUtf8(date));
    return c;
}

// The records' identifying texts in list order.
QStringList photoNames(const QList<PRNodeRef> &list)
{
    QStringList out;
    for (const auto &n : list)
        out << std::static_pointer_cast<PRPhotoAndVideoNode>(n)->fileNodeName();
    return out;
}

QStringList contactNames(const QList<PRNodeRef> &list)
{
    QStringList out;
    for (const auto &n : list)
        out << std::static_pointer_cast<PRContactNode>(n)->contactName();
    return out;
}

QStringList callDates(const QList<PRNodeRef> &list)
{
    QStringList out;
    for (const auto &n : list)
        out << std::static_pointer_cast<PRCallHistoryNode>(n)->callDate();
    return out;
}

QStringList texts(std::initializer_list<const char *> items)
{
    QStringList out;
    for (const char *s : items)
        out << QString::fromUtf8(s);
    return out;
}

} // namespace

TEST(PRResultSortingSize, TextsOfEveryUnit)
{
    EXPECT_EQ(PRResultSorting::sizeFormString(QStringLiteral("512.00bytes")), 512u);
    EXPECT_EQ(PRResultSorting::sizeFormString(QStringLiteral("1.50KB")), 1500u);
    EXPECT_EQ(PRResultSorting::sizeFormString(QStringLiteral("2.00MB")), 2000000u);
    EXPECT_EQ(PRResultSorting::sizeFormString(QStringLiteral("3.00GB")), 3000000000u);
    EXPECT_EQ(PRResultSorting::sizeFormString(QStringLiteral("1.00TB")), 1000000000000u);
    EXPECT_EQ(PRResultSorting::sizeFormString(QStringLiteral("7.99bytes")), 7u) << "truncated, not rounded";
    EXPECT_EQ(PRResultSorting::sizeFormString(QStringLiteral("1.2345KB")), 1234u);
}

TEST(PRResultSortingSize, OddTextsGiveZero)
{
    for (const QString &odd : {QString(), QStringLiteral(""), QStringLiteral("bytes"), QStringLiteral("KB"),
                               QStringLiteral("12"), QStringLiteral("1.50kb"), QStringLiteral("1.50 MiB"),
                               QStringLiteral("junkKB"), QStringLiteral("-1.00KB")})
        EXPECT_EQ(PRResultSorting::sizeFormString(odd), 0u) << odd.toStdString();
}

TEST(PRResultSortingSize, IgnoresTheUserLocale)
{
    const char *old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "no German locale here";
    const quint64 parsed = PRResultSorting::sizeFormString(QStringLiteral("1.50KB"));
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(parsed, 1500u);
}

TEST_F(PRResultSortingTest, PhotoNamesSortAsNumbersFirstClickAscending)
{
    QList<PRNodeRef> list{photo("00000010.jpg"), photo("00000009.jpg"), photo("2.png"), photo("IMG.jpg"),
                          photo("00000100.mov")};
    ASSERT_TRUE(PRResultSorting::sortForColumn(PRSortTable::Photo, QStringLiteral("Name"), list));
    EXPECT_EQ(photoNames(list), texts({"IMG.jpg", "2.png", "00000009.jpg", "00000010.jpg", "00000100.mov"}))
        << "a name that is no number reads as 0";
    EXPECT_TRUE(PRResultSorting::orderFlags().name);

    ASSERT_TRUE(PRResultSorting::sortForColumn(PRSortTable::Photo, QStringLiteral("Name"), list));
    EXPECT_EQ(photoNames(list), texts({"00000100.mov", "00000010.jpg", "00000009.jpg", "2.png", "IMG.jpg"}));
}

TEST_F(PRResultSortingTest, PhotoNamesReadLikeAtoi)
{
    QList<PRNodeRef> list{photo("7x.jpg"), photo(" 3.jpg"), photo("-4.jpg"), photo("99999999999999.jpg"),
                          photo("+5.jpg")};
    ASSERT_TRUE(PRResultSorting::sortForColumn(PRSortTable::Photo, QStringLiteral("Name"), list));
    EXPECT_EQ(photoNames(list), texts({"-4.jpg", " 3.jpg", "+5.jpg", "7x.jpg", "99999999999999.jpg"}));
}

TEST_F(PRResultSortingTest, PhotoSizesByByteCountWithTheirOwnFlag)
{
    QList<PRNodeRef> list{photo("a", "2.00MB"), photo("b", "999.00KB"), photo("c", "512.00bytes"),
                          photo("d", "1.00GB"), photo("e", "")};
    ASSERT_TRUE(PRResultSorting::sortForColumn(PRSortTable::Photo, QStringLiteral("Size"), list));
    EXPECT_EQ(photoNames(list), texts({"e", "c", "b", "a", "d"})) << "by bytes, not by the text";
    EXPECT_TRUE(PRResultSorting::orderFlags().size);
    EXPECT_FALSE(PRResultSorting::orderFlags().name);

    ASSERT_TRUE(PRResultSorting::sortForColumn(PRSortTable::Photo, QStringLiteral("Size"), list));
    EXPECT_EQ(photoNames(list), texts({"d", "a", "b", "c", "e"}));

    const QList<PRNodeRef> before = list;
    EXPECT_FALSE(PRResultSorting::sortForColumn(PRSortTable::Photo, QStringLiteral("Path"), list));
    EXPECT_EQ(list, before);
}

TEST_F(PRResultSortingTest, NameFlagIsSharedAcrossTables)
{
    QList<PRNodeRef> messages{message("b"), message("a"), message("c")};
    QList<PRNodeRef> contacts{contact("b"), contact("a"), contact("c")};
    ASSERT_TRUE(PRResultSorting::sortForColumn(PRSortTable::Message, QStringLiteral("messageName"), messages));
    ASSERT_TRUE(PRResultSorting::sortForColumn(PRSortTable::Contact, QStringLiteral("contactName"), contacts));
    EXPECT_EQ(contactNames(contacts), texts({"c", "b", "a"})) << "continues the message table's direction";

    // The call table's name column and the photo table's share it too.
    QList<PRNodeRef> calls{call("b", ""), call("a", ""), call("c", "")};
    ASSERT_TRUE(PRResultSorting::sortForColumn(PRSortTable::Call, QStringLiteral("Name"), calls));
    EXPECT_EQ(std::static_pointer_cast<PRCallHistoryNode>(calls.first())->callName(), QStringLiteral("a"));
    EXPECT_FALSE(PRResultSorting::orderFlags().date);
    QList<PRNodeRef> photos{photo("1.jpg"), photo("2.jpg")};
    ASSERT_TRUE(PRResultSorting::sortForColumn(PRSortTable::Photo, QStringLiteral("Name"), photos));
    EXPECT_EQ(photoNames(photos), texts({"2.jpg", "1.jpg"}));
}

TEST_F(PRResultSortingTest, CheckBoxColumnAndOtherTablesNeverSort)
{
    QList<PRNodeRef> contacts{contact("b"), contact("a")};
    QList<PRNodeRef> calls{call("b", "01-02-2020 10:00"), call("a", "01-01-2020 10:00")};
    QList<PRNodeRef> photos{photo("2.jpg", "1.00KB"), photo("1.jpg", "2.00KB")};
    const auto snapshot = std::make_tuple(contacts, calls, photos);
    for (PRSortTable table : {PRSortTable::Photo, PRSortTable::Contact, PRSortTable::Message, PRSortTable::Call,
                              PRSortTable::Other}) {
        EXPECT_FALSE(PRResultSorting::sortForColumn(table, QStringLiteral("bSelected"), contacts));
        EXPECT_FALSE(PRResultSorting::sortForColumn(table, QStringLiteral("bSelected"), calls));
        EXPECT_FALSE(PRResultSorting::sortForColumn(table, QStringLiteral("bSelected"), photos));
    }
    EXPECT_FALSE(PRResultSorting::sortForColumn(PRSortTable::Other, QStringLiteral("Name"), contacts));
    EXPECT_EQ(std::make_tuple(contacts, calls, photos), snapshot);
    EXPECT_FALSE(PRResultSorting::orderFlags().name);
    EXPECT_FALSE(PRResultSorting::orderFlags().size);
    EXPECT_FALSE(PRResultSorting::orderFlags().date);
}

TEST_F(PRResultSortingTest, NamesCompareLiterallyAndStably)
{
    QList<PRNodeRef> list{contact("bob"), contact("Zed"), contact("adam"), contact(""), contact("Émile")};
    auto firstBob = list[0];
    auto secondBob = contact("bob");
    list.insert(2, secondBob);
    ASSERT_TRUE(PRResultSorting::sortForColumn(PRSortTable::Contact, QStringLiteral("contactName"), list));
    EXPECT_EQ(contactNames(list), texts({"", "Zed", "adam", "bob", "bob", "Émile"}))
        << "upper case before lower case, by code unit";
    EXPECT_EQ(list[3], firstBob);
    EXPECT_EQ(list[4], secondBob);

    ASSERT_TRUE(PRResultSorting::sortForColumn(PRSortTable::Contact, QStringLiteral("contactName"), list));
    EXPECT_EQ(list[1], firstBob) << "equal names keep their order descending too";
    EXPECT_EQ(list[2], secondBob);
}

TEST_F(PRResultSortingTest, CallDatesSortAsDatesNotText)
{
    QList<PRNodeRef> list{call("a", "12-31-2019 23:59"), call("b", "01-01-2020 00:00"),
                          call("c", "02-15-2019 10:00"), call("d", "01-01-2020 00:01"),
                          call("e", "2019-06-01 08:00:00"), call("f", "not a date"),
                          call("g", "02-30-2020 10:00")};
    ASSERT_TRUE(PRResultSorting::sortForColumn(PRSortTable::Call, QStringLiteral("callDate"), list));
    EXPECT_TRUE(PRResultSorting::orderFlags().date);
    EXPECT_FALSE(PRResultSorting::orderFlags().name);
    EXPECT_EQ(callDates(list), texts({"not a date", "02-30-2020 10:00", "02-15-2019 10:00", "2019-06-01 08:00:00",
                                      "12-31-2019 23:59", "01-01-2020 00:00", "01-01-2020 00:01"}))
        << "texts that are no date come first, in their order";

    ASSERT_TRUE(PRResultSorting::sortForColumn(PRSortTable::Call, QStringLiteral("callDuration"), list));
    EXPECT_EQ(callDates(list), texts({"01-01-2020 00:01", "01-01-2020 00:00", "12-31-2019 23:59",
                                      "2019-06-01 08:00:00", "02-15-2019 10:00", "not a date", "02-30-2020 10:00"}));
}

TEST_F(PRResultSortingTest, RecordsOfAnotherClassSortAsEmpty)
{
    auto note = std::make_shared<PRNoteNode>();
    QList<PRNodeRef> list{contact("b"), note, nullptr, contact("a")};
    ASSERT_TRUE(PRResultSorting::sortForColumn(PRSortTable::Contact, QStringLiteral("contactName"), list));
    EXPECT_EQ(list[0], note);
    EXPECT_EQ(list[1], nullptr);
    for (PRSortTable table : {PRSortTable::Message, PRSortTable::Call, PRSortTable::Photo})
        for (const char *column : {"Name", "Size", "callDate"})
            PRResultSorting::sortForColumn(table, QString::fromLatin1(column), list);
    EXPECT_EQ(list.size(), 4);
}
