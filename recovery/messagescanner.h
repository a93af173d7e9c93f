#pragma once

#include "backup/notificationnames.h"
#include "recovery/scannerbase.h"

#include <QSet>

// Carves messages out of sms.db in one of three record layouts: the handle
// and message tables of iOS 6 and later (A), the single message table of
// older rollback-journal files (B), or of older write-ahead-log files (C).
// Posts "ScanDelMessageInfo" per message, then progress 80.
template<typename Source>
class MessageScanner
{
public:
    explicit MessageScanner(ScanContext &context)
        : m_ctx(context)
        , m_batch(context.nc, Notifications::ScanDelMessageInfo)
    {
    }
    void run(const QString &databasePath, bool commit = true);

private:
    void layoutA(const RawDatabase<Source> &db, std::uint64_t P);
    void postLayoutA();
    void layoutB(const RawDatabase<Source> &db, std::uint64_t P);
    void layoutC(const RawDatabase<Source> &db, std::uint64_t P);
    void lookUpAndPost(const std::shared_ptr<PRMessageNode> &message);

    ScanContext &m_ctx;
    ScannerSupport::DateMemo m_dates;
    std::optional<std::uint64_t> m_lastShortHit;
    // The row numbers of chatMessageArray: a handle is kept once per number.
    QSet<int> m_handleRows;
    ScannerSupport::RecordBatch m_batch;
};
