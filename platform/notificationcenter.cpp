#include "platform/notificationcenter.h"

NotificationCenter &NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

NotificationCenter::ObserverId NotificationCenter::addObserver(const void *owner, const QString &name,
                                                               Handler handler)
{
    std::lock_guard lock(m_mutex);
    auto entry = std::make_shared<Entry>();
    entry->id = m_nextId++;
    entry->owner = owner;
    entry->handler = std::move(handler);

    auto list = std::make_shared<EntryList>();
    if (auto it = m_byName.constFind(name); it != m_byName.constEnd())
        *list = **it;
    list->push_back(entry);
    m_byName.insert(name, std::move(list));
    m_changes.fetch_add(1, std::memory_order_release);
    return entry->id;
}

template<typename Pred>
void NotificationCenter::removeWhere(Pred pred)
{
    std::lock_guard lock(m_mutex);
    for (auto it = m_byName.begin(); it != m_byName.end();) {
        const EntryList &old = **it;
        auto kept = std::make_shared<EntryList>();
        kept->reserve(old.size());
        for (const auto &entry : old) {
            if (pred(it.key(), *entry))
                entry->removed.store(true, std::memory_order_release);
            else
                kept->push_back(entry);
        }
        if (kept->size() != old.size())
            m_changes.fetch_add(1, std::memory_order_release);
        if (kept->empty()) {
            it = m_byName.erase(it);
        } else {
            if (kept->size() != old.size())
                it.value() = std::move(kept);
            ++it;
        }
    }
}

void NotificationCenter::removeObserver(ObserverId id)
{
    removeWhere([id](const QString &, const Entry &e) { return e.id == id; });
}

void NotificationCenter::removeObserver(const void *owner)
{
    removeWhere([owner](const QString &, const Entry &e) { return e.owner == owner; });
}

void NotificationCenter::removeObserver(const void *owner, const QString &name)
{
    removeWhere([owner, &name](const QString &key, const Entry &e) { return e.owner == owner && key == name; });
}

void NotificationCenter::post(const QString &name, const QVariant &object)
{
    post(Notification{name, object});
}

NotificationCenter::Snapshot NotificationCenter::snapshot(const QString &name) const
{
    Snapshot lists;
    std::lock_guard lock(m_mutex);
    lists.changes = m_changes.load(std::memory_order_relaxed);
    if (auto it = m_byName.constFind(name); it != m_byName.constEnd())
        lists.named = *it;
    if (!name.isNull()) {
        if (auto it = m_byName.constFind(QString()); it != m_byName.constEnd())
            lists.everything = *it;
    }
    return lists;
}

void NotificationCenter::deliver(const Snapshot &lists, const Notification &notification)
{
    for (const auto *list : {lists.named.get(), lists.everything.get()}) {
        if (!list)
            continue;
        for (const auto &entry : *list) {
            if (!entry->removed.load(std::memory_order_acquire))
                entry->handler(notification);
        }
    }
}

void NotificationCenter::post(const Notification &notification)
{
    deliver(snapshot(notification.name), notification);
}

void NotificationCenter::postEach(const QString &name, std::span<const QVariant> objects)
{
    if (objects.empty())
        return;
    Snapshot lists = snapshot(name);
    Notification notification{name, {}};
    for (const QVariant &object : objects) {
        // A handler that added or removed an observer: the next object goes
        // to the lists as they are now, as a post of its own would.
        if (m_changes.load(std::memory_order_acquire) != lists.changes)
            lists = snapshot(name);
        notification.object = object;
        deliver(lists, notification);
    }
}

int NotificationCenter::observerCount(const QString &name) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_byName.constFind(name);
    return it == m_byName.constEnd() ? 0 : int((*it)->size());
}
