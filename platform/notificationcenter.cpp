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

void NotificationCenter::post(const Notification &notification)
{
    std::shared_ptr<const EntryList> named, everything;
    {
        std::lock_guard lock(m_mutex);
        if (auto it = m_byName.constFind(notification.name); it != m_byName.constEnd())
            named = *it;
        if (!notification.name.isNull()) {
            if (auto it = m_byName.constFind(QString()); it != m_byName.constEnd())
                everything = *it;
        }
    }
    for (const auto *list : {named.get(), everything.get()}) {
        if (!list)
            continue;
        for (const auto &entry : *list) {
            if (!entry->removed.load(std::memory_order_acquire))
                entry->handler(notification);
        }
    }
}

int NotificationCenter::observerCount(const QString &name) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_byName.constFind(name);
    return it == m_byName.constEnd() ? 0 : int((*it)->size());
}
