#include "platform/notificationcenter.h"

#include "tests/support/qtprinters.h"

#include <gtest/gtest.h>

#include <QThread>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

TEST(NotificationCenter, DeliversToObserversOfTheNameInOrderOnThePostingThread)
{
    NotificationCenter nc;
    std::vector<int> seen;
    Qt::HANDLE poster = nullptr;
    int owner = 0;
    nc.addObserver(&owner, QStringLiteral("A"), [&](const Notification &n) {
        seen.push_back(n.object.toInt());
        poster = QThread::currentThreadId();
    });
    nc.addObserver(&owner, QStringLiteral("A"), [&](const Notification &n) { seen.push_back(n.object.toInt() * 10); });
    nc.addObserver(&owner, QStringLiteral("B"), [&](const Notification &) { seen.push_back(-1); });

    std::thread worker([&] { nc.post(QStringLiteral("A"), 7); });
    const auto workerId = worker.get_id();
    worker.join();
    (void)workerId;
    EXPECT_EQ(seen, (std::vector<int>{7, 70}));
    EXPECT_NE(poster, QThread::currentThreadId());
}

TEST(NotificationCenter, NullNameObservesEveryNotification)
{
    NotificationCenter nc;
    QStringList seen;
    int owner = 0;
    nc.addObserver(&owner, QString(), [&](const Notification &n) { seen << n.name; });
    nc.addObserver(&owner, QStringLiteral("A"), [&](const Notification &) { seen << QStringLiteral("named"); });
    nc.post(QStringLiteral("A"));
    nc.post(QStringLiteral("B"));
    EXPECT_EQ(seen, (QStringList{QStringLiteral("named"), QStringLiteral("A"), QStringLiteral("B")}));
}

TEST(NotificationCenter, RemovalByIdOwnerAndNameStopsDelivery)
{
    NotificationCenter nc;
    int a = 0, b = 0;
    int calls = 0;
    auto id = nc.addObserver(&a, QStringLiteral("X"), [&](const Notification &) { ++calls; });
    nc.addObserver(&a, QStringLiteral("Y"), [&](const Notification &) { calls += 100; });
    nc.addObserver(&b, QStringLiteral("Y"), [&](const Notification &) { calls += 1000; });

    nc.removeObserver(id);
    nc.post(QStringLiteral("X"));
    EXPECT_EQ(calls, 0);

    nc.removeObserver(&a, QStringLiteral("Y"));
    nc.post(QStringLiteral("Y"));
    EXPECT_EQ(calls, 1000);

    nc.removeObserver(&b);
    nc.post(QStringLiteral("Y"));
    EXPECT_EQ(calls, 1000);
    EXPECT_EQ(nc.observerCount(QStringLiteral("Y")), 0);
}

TEST(NotificationCenter, HandlerMayRemoveItselfAndAddOthersWhileDelivering)
{
    NotificationCenter nc;
    int owner = 0;
    int first = 0, added = 0;
    NotificationCenter::ObserverId id = 0;
    id = nc.addObserver(&owner, QStringLiteral("N"), [&](const Notification &) {
        ++first;
        nc.removeObserver(id);
        nc.addObserver(&owner, QStringLiteral("N"), [&](const Notification &) { ++added; });
    });
    nc.post(QStringLiteral("N"));
    nc.post(QStringLiteral("N"));
    EXPECT_EQ(first, 1);
    EXPECT_EQ(added, 1); // added during the first post, called by the second only
}

TEST(NotificationCenter, ConcurrentPostsAndRegistrationsStayConsistent)
{
    NotificationCenter nc;
    std::atomic<int> delivered{0};
    int owner = 0;
    nc.addObserver(&owner, QStringLiteral("P"), [&](const Notification &) { delivered.fetch_add(1); });

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i)
                nc.post(QStringLiteral("P"), i);
        });
    }
    threads.emplace_back([&] {
        int other = 0;
        for (int i = 0; i < 500; ++i) {
            auto id = nc.addObserver(&other, QStringLiteral("P"), [](const Notification &) {});
            nc.removeObserver(id);
        }
    });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(delivered.load(), 8000);
    EXPECT_EQ(nc.observerCount(QStringLiteral("P")), 1);
}

namespace {

// Observers A and B of "R" and one of every name, each logging what it sees.
// The first, at object 3, removes B and adds C (which logs too), so a batch
// must take the change into account from the next object on, as single
// posts do.
std::vector<std::string> logOf(bool batched, int count)
{
    NotificationCenter nc;
    std::vector<std::string> log;
    int owner = 0;
    NotificationCenter::ObserverId b = 0;
    auto record = [&log](const char *who) {
        return [&log, who](const Notification &n) {
            log.push_back(std::string(who) + ":" + n.name.toStdString() + ":" + std::to_string(n.object.toInt()));
        };
    };
    nc.addObserver(&owner, QStringLiteral("R"), [&, a = record("A")](const Notification &n) {
        a(n);
        if (n.object.toInt() == 3) {
            nc.removeObserver(b);
            nc.addObserver(&owner, QStringLiteral("R"), record("C"));
        }
    });
    b = nc.addObserver(&owner, QStringLiteral("R"), record("B"));
    nc.addObserver(&owner, QString(), record("all"));
    nc.addObserver(&owner, QStringLiteral("other"), record("other"));

    std::vector<QVariant> objects;
    for (int i = 0; i < count; ++i)
        objects.push_back(i);
    if (batched) {
        nc.postEach(QStringLiteral("R"), objects);
    } else {
        for (const QVariant &object : objects)
            nc.post(QStringLiteral("R"), object);
    }
    return log;
}

} // namespace

TEST(NotificationCenter, PostEachShowsEveryObserverWhatSinglePostsWould)
{
    const std::vector<std::string> single = logOf(false, 300);
    // Spelled out for the first objects: order within an object (named
    // observers, then those of every name), B gone and C there from 4 on.
    const std::vector<std::string> head(single.begin(), single.begin() + 15);
    EXPECT_EQ(head, (std::vector<std::string>{"A:R:0", "B:R:0", "all:R:0", "A:R:1", "B:R:1", "all:R:1", "A:R:2",
                                              "B:R:2", "all:R:2", "A:R:3", "all:R:3", "A:R:4", "C:R:4", "all:R:4",
                                              "A:R:5"}));
    // Every object once, in order, with nothing lost or repeated.
    EXPECT_EQ(logOf(true, 300), single);
    EXPECT_TRUE(logOf(true, 0).empty());
}
