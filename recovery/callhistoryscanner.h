#pragma once

#include "backup/notificationnames.h"
#include "recovery/scannerbase.h"

// Carves call rows out of the older call database (call_history.db) and
// posts each as "ScanDelCallHistoryInfo"; then progress 90.
template<typename Source>
class CallHistoryScanner
{
public:
    explicit CallHistoryScanner(ScanContext &context)
        : m_ctx(context)
        , m_batch(context.nc, Notifications::ScanDelCallHistoryInfo)
    {
    }
    void run(const QString &databasePath, bool commit = true);

private:
    ScanContext &m_ctx;
    ScannerSupport::DateMemo m_dates;
    ScannerSupport::RecordBatch m_batch;
};
