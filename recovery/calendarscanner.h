#pragma once

#include "backup/notificationnames.h"
#include "recovery/scannerbase.h"

// Carves calendar events out of Calendar.sqlitedb: the calendar-item layout
// of write-ahead-log files, or the older event layout. Posts
// "scanDelCalenderInfo" per event, then progress 100.
template<typename Source>
class CalendarScanner
{
public:
    explicit CalendarScanner(ScanContext &context)
        : m_ctx(context)
        , m_batch(context.nc, Notifications::scanDelCalenderInfo)
    {
    }
    void run(const QString &databasePath, bool commit = true);

private:
    void calendarItems(const RawDatabase<Source> &db, std::uint64_t P);
    void events(const RawDatabase<Source> &db, std::uint64_t P);

    ScanContext &m_ctx;
    ScannerSupport::DateMemo m_dates;
    ScannerSupport::RecordBatch m_batch;
};
