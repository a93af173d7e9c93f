#pragma once

#include "backup/scancontext.h"

// The call step: CallHistory.storedata, or the older call_history.db.
class CallHistoryExtractor
{
public:
    explicit CallHistoryExtractor(ScanContext &context);

    // Posts "ScanCallHistoryInfo" per call, then progress 60.
    void scanCallHistoryThread(const QString &backupFolder);

private:
    ScanContext &m_ctx;
};
