#pragma once

#include "backup/scancontext.h"

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
