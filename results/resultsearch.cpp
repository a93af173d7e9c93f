#include "results/resultsearch.h"

#include "backup/nodes/prcalendernode.h"
#include "backup/nodes/prcallhistorynode.h"
#include "backup/nodes/prcontactnode.h"
#include "backup/nodes/prmessagenode.h"
#include "backup/nodes/prnotenode.h"

#include <QMetaObject>
#include <QMetaType>

#include <algorithm>
#include <utility>

namespace {

// How many records pass between two stop checks when none matches: often
// enough that a superseded search over a large table ends within
// milliseconds, rarely enough to cost nothing next to the matching.
constexpr qsizetype StopCheckInterval = 256;

// An absent (null) field contains no text, so it never matches; neither does
// an empty one. Both would contain the empty text, turned away before this.
bool eitherContains(const QString &first, const QString &second, const QString &text)
{
    return first.contains(text, Qt::CaseInsensitive) || second.contains(text, Qt::CaseInsensitive);
}

template<typename Node>
const Node *as(const PRNodeRef &record)
{
    return dynamic_cast<const Node *>(record.get());
}

} // namespace

PRResultSearch::PRResultSearch(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<QList<PRNodeRef>>();
}

PRResultSearch::~PRResultSearch()
{
    // The threads read this object's generation; none may outlive it.
    cancelAndWait();
}

bool PRResultSearch::matches(PRSearchKind kind, const PRNodeRef &record, const QString &text)
{
    if (text.isEmpty())
        return false;
    switch (kind) {
    case PRSearchKind::Conversation:
        if (const auto *tree = as<PRMessageTreeNode>(record))
            return eitherContains(tree->messageTreeNodeName(), tree->messageTreeNodeAdress(), text);
        return false;
    case PRSearchKind::Contact:
        if (const auto *contact = as<PRContactNode>(record))
            return eitherContains(contact->contactName(), contact->contactPhone(), text);
        return false;
    case PRSearchKind::Note:
        if (const auto *note = as<PRNoteNode>(record))
            return eitherContains(note->noteTitle(), note->noteContent(), text);
        return false;
    case PRSearchKind::Call:
        if (const auto *call = as<PRCallHistoryNode>(record))
            return eitherContains(call->callName(), call->callPhone(), text);
        return false;
    case PRSearchKind::Calendar:
        if (const auto *event = as<PRCalenderNode>(record))
            return eitherContains(event->calTitle(), event->calNote(), text);
        return false;
    case PRSearchKind::None:
        return false;
    }
    return false;
}

QList<PRNodeRef> PRResultSearch::search(PRSearchKind kind, const QList<PRNodeRef> &records, const QString &text,
                                        const std::function<bool()> &stopRequested)
{
    QList<PRNodeRef> found;
    if (text.isEmpty() || kind == PRSearchKind::None)
        return found;
    const auto stop = [&stopRequested] { return stopRequested && stopRequested(); };
    for (qsizetype i = 0; i < records.size(); ++i) {
        // Checked on the first record too, so that a search superseded
        // before its thread got going costs nothing.
        if (i % StopCheckInterval == 0 && stop())
            break;
        if (!matches(kind, records[i], text))
            continue;
        found.append(records[i]);
        // A short text matches nearly every record; appending is then the
        // cost that must stay interruptible.
        if (stop())
            break;
    }
    return found;
}

quint64 PRResultSearch::start(PRSearchKind kind, QList<PRNodeRef> snapshot, const QString &text)
{
    // Raising the generation is what asks every earlier search to stop.
    const quint64 generation = m_generation.fetch_add(1, std::memory_order_acq_rel) + 1;
    std::thread thread([this, generation, kind, records = std::move(snapshot), text] {
        const auto superseded = [this, generation] {
            return m_generation.load(std::memory_order_acquire) != generation;
        };
        QList<PRNodeRef> found = search(kind, records, text, superseded);
        {
            const std::lock_guard lock(m_finishedMutex);
            m_finished.push_back(Finished{generation, std::move(found)});
        }
        // Posted even when superseded, so that the owner joins this thread
        // as soon as it is done rather than at the next start. Posting to an
        // object is safe from any thread, and the object outlives this
        // thread: its destructor joins it. A call still queued when the
        // object dies is discarded with the object's posted events.
        QMetaObject::invokeMethod(this, "collectFinished", Qt::QueuedConnection);
    });
    m_workers.push_back(Worker{generation, std::move(thread)});
    return generation;
}

void PRResultSearch::collectFinished()
{
    std::vector<Finished> finished;
    {
        const std::lock_guard lock(m_finishedMutex);
        finished.swap(m_finished);
    }
    for (Finished &f : finished) {
        const auto it = std::find_if(m_workers.begin(), m_workers.end(),
                                     [&f](const Worker &w) { return w.generation == f.generation; });
        // The thread has handed over its matches as nearly its last act; the
        // join waits at most for it to return.
        if (it != m_workers.end()) {
            it->thread.join();
            m_workers.erase(it);
        }
    }
    // Several searches may have ended since the last call; at most the
    // newest reports, and only if no search was started or cancelled since.
    const quint64 newest = m_generation.load(std::memory_order_acquire);
    for (Finished &f : finished) {
        if (f.generation == newest)
            Q_EMIT searchFinished(f.generation, f.matches);
    }
}

void PRResultSearch::cancelAndWait()
{
    m_generation.fetch_add(1, std::memory_order_acq_rel);
    for (Worker &w : m_workers)
        w.thread.join();
    m_workers.clear();
    // Their matches are void; the calls they posted find nothing.
    const std::lock_guard lock(m_finishedMutex);
    m_finished.clear();
}

bool PRResultSearch::isRunning() const
{
    return !m_workers.empty();
}
