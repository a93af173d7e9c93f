#pragma once

#include "backup/nodes/prnode.h"

#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The tables of the results page that have a search field.
enum class PRSearchKind { Conversation, Contact, Note, Call, Calendar, None };

// The search field of the results page: matching records off the GUI thread.
//
// Each start() searches its own copy of the records on a thread of its own
// and supersedes every earlier search, which stops at its next check. Only
// the newest search reports, so typing quickly never shows an older text's
// results after a newer one's. The object is used from the thread that owns
// it; destroying it stops and joins its searches.
class PRResultSearch : public QObject
{
    Q_OBJECT

public:
    explicit PRResultSearch(QObject *parent = nullptr);
    ~PRResultSearch() override;

    // Whether a present (non-null) field of the kind contains text, in any
    // case. An empty text matches nothing: for it the page shows the whole
    // table without searching. A record of another class never matches.
    static bool matches(PRSearchKind kind, const PRNodeRef &record, const QString &text);

    // The matching records in their order. stopRequested is asked every few
    // hundred records and after each match; once it answers true the matches
    // found so far are returned.
    static QList<PRNodeRef> search(PRSearchKind kind, const QList<PRNodeRef> &records, const QString &text,
                                   const std::function<bool()> &stopRequested);

    // Searches snapshot, which the search keeps to itself, and returns the
    // search's generation. Every earlier search is asked to stop.
    quint64 start(PRSearchKind kind, QList<PRNodeRef> snapshot, const QString &text);
    // Stops every search and waits for their threads; no results of them
    // are reported afterwards.
    void cancelAndWait();
    // Whether a search has not ended yet, as seen from the owner's thread: a
    // search counts until its end has been delivered there or it was
    // cancelled.
    bool isRunning() const;

Q_SIGNALS:
    // Emitted on the owner's thread when a search ends and no newer one has
    // been started since; a superseded or cancelled search never emits.
    void searchFinished(quint64 generation, QList<PRNodeRef> matches);

private Q_SLOTS:
    // Every search, superseded or not, ends here on the owner's thread,
    // where its thread is joined and, when still the newest, reported.
    void collectFinished();

private:
    struct Worker
    {
        quint64 generation;
        std::thread thread;
    };
    struct Finished
    {
        quint64 generation;
        QList<PRNodeRef> matches;
    };

    // The newest search's generation; the worker threads read it to learn
    // that they have been superseded.
    std::atomic<quint64> m_generation{0};
    // Owner's thread only.
    std::vector<Worker> m_workers;
    // Handed from the workers to the owner under the mutex, never inside the
    // posted call: a handoff race detectors can follow, which they cannot
    // through Qt's own event queue.
    std::mutex m_finishedMutex;
    std::vector<Finished> m_finished;
};
