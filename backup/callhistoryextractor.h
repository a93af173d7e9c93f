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

// Safari bookmarks and history.
class BookmarkExtractor
{
public:
    explicit BookmarkExtractor(ScanContext &context);

    // Posts "scanBookMarkInfo" per bookmark, fixed site and history entry.
    void scanBookMarkThread(const QString &backupFolder);

    struct Site
    {
        const char *title;
        const char *url;
    };
    static const Site kFixedSites[5];

private:
    ScanContext &m_ctx;
};

// Calendar events.
class CalendarExtractor
{
public:
    explicit CalendarExtractor(ScanContext &context);

    // Posts "scanCalenderInfo" per event.
    void scanCalenderThread(const QString &backupFolder);

private:
    ScanContext &m_ctx;
};
