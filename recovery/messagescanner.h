#pragma once

#include "recovery/scannerbase.h"

// Carves messages out of sms.db in one of three record layouts: the handle
// and message tables of iOS 6 and later (A), the single message table of
// older rollback-journal files (B), or of older write-ahead-log files (C).
// Posts "ScanDelMessageInfo" per message, then progress 80.
template<typename Source>
class MessageScanner
{
public:
    explicit MessageScanner(ScanContext &context) : m_ctx(context) {}
    void run(const QString &databasePath, bool commit = true);

private:
    void layoutA(const RawDatabase<Source> &db, std::uint64_t P);
    void postLayoutA();
    void layoutB(const RawDatabase<Source> &db, std::uint64_t P);
    void layoutC(const RawDatabase<Source> &db, std::uint64_t P);
    void lookUpAndPost(const std::shared_ptr<PRMessageNode> &message);

    ScanContext &m_ctx;
    std::optional<std::uint64_t> m_lastShortHit;
};
