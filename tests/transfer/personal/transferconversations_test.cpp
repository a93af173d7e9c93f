// Messages filed into the transfer page's conversations.

#include "transfer/personal/transferconversations.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace {

std::shared_ptr<PRMessageNode> message(const QString &address, const QString &name = QStringLiteral("Someone"))
{
    auto m = std::make_shared<PRMessageNode>();
    m->setMessagePhone(address);
    m->setMessageName(name);
    return m;
}

QStringList addresses(const PRTransferConversations &c)
{
    QStringList out;
    for (const auto &conversation : c.messageTreeArray())
        out.append(conversation->messageTreeNodeAdress() + QLatin1Char('=')
                   + QString::number(conversation->MessageNodeArray().size()));
    return out;
}

TEST(PRTransferConversations, ShorterAddressesJoinTheFirstLongerOneThatHoldsThem)
{
    PRTransferConversations c;
    c.ScanTransferMessageInfoHandle(message(QStringLiteral("+4915112345678"), QStringLiteral("Ada")));
    c.ScanTransferMessageInfoHandle(message(QStringLiteral("015112345678"), QStringLiteral("Other name")));
    c.ScanTransferMessageInfoHandle(message(QStringLiteral("15112345678")));
    c.ScanTransferMessageInfoHandle(message(QStringLiteral("Ada@Example.org")));
    c.ScanTransferMessageInfoHandle(message(QStringLiteral("ada@example.ORG")));
    // Longer than the first conversation's address and holding it.
    c.ScanTransferMessageInfoHandle(message(QStringLiteral("tel:+4915112345678")));
    EXPECT_EQ(addresses(c), (QStringList{QStringLiteral("+4915112345678=3"), QStringLiteral("015112345678=1"),
                                         QStringLiteral("Ada@Example.org=2")}));
    // A conversation keeps the name of its first message.
    EXPECT_EQ(c.messageTreeArray().first()->messageTreeNodeName(), QStringLiteral("Ada"));
    EXPECT_EQ(c.messageArray().size(), 6);
}

TEST(PRTransferConversations, AnEmptyAddressOpensItsOwnConversation)
{
    PRTransferConversations c;
    c.ScanTransferMessageInfoHandle(message(QStringLiteral("12345")));
    c.ScanTransferMessageInfoHandle(message(QString()));
    c.ScanTransferMessageInfoHandle(message(QString()));
    c.ScanTransferMessageInfoHandle(message(QStringLiteral("12345")));
    EXPECT_EQ(addresses(c), (QStringList{QStringLiteral("12345=2"), QStringLiteral("=2")}));
    EXPECT_FALSE(PRTransferConversations::matches(QStringLiteral("12345"), QString()));
    EXPECT_FALSE(PRTransferConversations::matches(QString(), QStringLiteral("12345")));
    EXPECT_TRUE(PRTransferConversations::matches(QString(), QString()));
}

TEST(PRTransferConversations, AKnownAddressFindsTheSameConversationAsTheWalk)
{
    // The memo must give what the walk gives: here a later, longer
    // conversation also holds "555", but "555" keeps its first match.
    PRTransferConversations c;
    c.ScanTransferMessageInfoHandle(message(QStringLiteral("555")));
    c.ScanTransferMessageInfoHandle(message(QStringLiteral("0555")));  // joins "555"
    c.ScanTransferMessageInfoHandle(message(QStringLiteral("777")));
    c.ScanTransferMessageInfoHandle(message(QStringLiteral("555")));
    c.ScanTransferMessageInfoHandle(message(QStringLiteral("77")));    // shorter: joins "777"
    EXPECT_EQ(addresses(c), (QStringList{QStringLiteral("555=3"), QStringLiteral("777=2")}));
}

TEST(PRTransferConversationsFigures, HundredThousandMessagesAreGroupedQuickly)
{
    QList<std::shared_ptr<PRMessageNode>> messages;
    for (int i = 0; i < 100000; ++i)
        messages.append(message(QStringLiteral("+49151%1").arg(1000000 + i % 800)));
    QElapsedTimer timer;
    timer.start();
    PRTransferConversations c;
    for (const auto &m : messages)
        c.ScanTransferMessageInfoHandle(m);
    const qint64 ms = timer.elapsed();
    std::printf("100,000 messages in 800 conversations grouped in %lld ms\n", static_cast<long long>(ms));
    EXPECT_EQ(c.messageTreeArray().size(), 800);
    EXPECT_LT(ms, 20000);
}

} // namespace
