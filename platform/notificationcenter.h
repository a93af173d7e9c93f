#pragma once

#include <QHash>
#include <QString>
#include <QVariant>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

// A notification: a string name and one object (a record node, a number, a
// text or a list), delivered synchronously on the thread that posts it.
struct Notification
{
    QString name;
    QVariant object;
};

// The process-wide notification centre the scan, the pages and the device
// layer talk through.
//
// Delivery runs on the posting thread, in the order the observers were
// added. Adding and removing observers is safe from any thread, also from
// inside a handler. After removeObserver() returns no new delivery to that
// observer starts; a delivery already running on another thread finishes, so
// an observer that goes away while a worker may post must outlive that
// worker (the pages join their workers before they are destroyed).
class NotificationCenter
{
public:
    using Handler = std::function<void(const Notification &)>;
    using ObserverId = std::uint64_t;

    NotificationCenter() = default;
    NotificationCenter(const NotificationCenter &) = delete;
    NotificationCenter &operator=(const NotificationCenter &) = delete;

    static NotificationCenter &defaultCenter();

    // owner groups observers so that one object can remove all of its own at
    // once; it is only compared, never dereferenced. A null name observes
    // every notification (after the observers of the name itself).
    ObserverId addObserver(const void *owner, const QString &name, Handler handler);
    void removeObserver(ObserverId id);
    void removeObserver(const void *owner);
    void removeObserver(const void *owner, const QString &name);

    void post(const QString &name, const QVariant &object = {});
    void post(const Notification &notification);
    // post(name, object) for each object in turn, in one call: every
    // observer sees exactly what the posts one after the other would show
    // it (one notification per object, in order, observers added or removed
    // by a handler taking effect from the next object on), without a lock
    // and a copy of the observer lists per object. For senders of many
    // records of one kind.
    void postEach(const QString &name, std::span<const QVariant> objects);

    // Observers of one name, for tests and diagnostics.
    int observerCount(const QString &name) const;

private:
    struct Entry
    {
        ObserverId id;
        const void *owner;
        Handler handler;
        std::atomic<bool> removed{false};
    };
    using EntryList = std::vector<std::shared_ptr<Entry>>;

    // Copy-on-write lists: a post takes a snapshot under the lock and calls
    // the handlers outside it, so a handler may add or remove observers.
    mutable std::mutex m_mutex;
    QHash<QString, std::shared_ptr<const EntryList>> m_byName;
    ObserverId m_nextId = 1;
    // Moves on with every change of the lists (under the lock): a batch
    // takes a new snapshot when it has moved since the last one.
    std::atomic<std::uint64_t> m_changes{0};

    struct Snapshot
    {
        std::shared_ptr<const EntryList> named;
        std::shared_ptr<const EntryList> everything;
        std::uint64_t changes = 0;
    };
    Snapshot snapshot(const QString &name) const;
    static void deliver(const Snapshot &lists, const Notification &notification);

    template<typename Pred>
    void removeWhere(Pred pred);
};
