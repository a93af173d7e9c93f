#include "backup/calendarextractor.h"

#include "backup/nodes/prcalendernode.h"
#include "backup/notificationnames.h"
#include "backup/recorddatabase.h"
#include "backup/storednames.h"
#include "backup/textformat.h"
#include "platform/regularfile.h"

#include <QDebug>

#include <functional>

CalendarExtractor::CalendarExtractor(ScanContext &context)
    : m_ctx(context)
{
}

void CalendarExtractor::scanCalenderThread(const QString &backupFolder)
{
    if (!ScanContext::folderUsable(backupFolder))
        return;
    const QString path = m_ctx.storedPath(backupFolder, StoredNames::Calendar);
    if (!RegularFile::isRegular(path)) {
        qInfo("CalenderDB is not exist");
        return;
    }
    const auto db = RecordDatabase::open(path);
    if (!db)
        return;

    auto post = [this](Statement &rows) {
        int count = 0;
        while (!m_ctx.cancelled.load(std::memory_order_relaxed) && rows.step()) {
            ++count;
            auto event = std::make_shared<PRCalenderNode>();
            if (const QString t = rows.text(0); !t.isNull())
                event->setCalTitle(t);
            if (const QString t = rows.text(1); !t.isNull())
                event->setLocation(t);
            if (const QString t = rows.text(2); !t.isNull())
                event->setCalNote(t);
            if (auto d = rows.date(3, 1))
                event->setStartDate(*d);
            if (auto d = rows.date(4, 1))
                event->setEndDate(*d);
            m_ctx.nc.post(Notifications::scanCalenderInfo, nodeToVariant(event));
        }
        return count;
    };

    if (m_ctx.currentNodeIsiOS6Version) {
        Statement rows(*db, "select summary,location_id,description,start_date,end_date,start_tz,all_day,calendar_id "
                            "from CalendarItem");
        post(rows);
        return;
    }
    Statement rows(*db, "select summary,location.title as location,description,start_date,end_date,start_tz,all_day,"
                        "calendar_id,supported_entity_types from calendaritem left join location on "
                        "calendaritem.[location_id]=location.rowid left join Calendar on "
                        "calendaritem.[calendar_id]=calendar.rowid where supported_entity_types !=8");
    if (post(rows) == 0) {
        Statement events(*db, "select summary,location,description,start_date,end_date,start_tz,all_day,calendar_id "
                              "from event");
        post(events);
    }
}
