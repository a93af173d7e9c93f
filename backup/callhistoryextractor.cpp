#include "backup/callhistoryextractor.h"

#include "backup/nodes/prcalendernode.h"
#include "backup/nodes/prcallhistorynode.h"
#include "backup/notificationnames.h"
#include "backup/recorddatabase.h"
#include "backup/storednames.h"
#include "backup/textformat.h"
#include "platform/propertylist.h"

#include <QDebug>
#include <QFileInfo>

namespace {

bool folderUsable(const QString &folder)
{
    return !folder.isEmpty() && QFileInfo(folder).isDir();
}

void setDate(const Statement &s, int column, int type, const std::function<void(const QString &)> &set)
{
    if (s.isNull(column))
        return;
    if (auto date = TextFormat::dateText(s.int64(column), type))
        set(*date);
}

} // namespace

CallHistoryExtractor::CallHistoryExtractor(ScanContext &context)
    : m_ctx(context)
{
}

void CallHistoryExtractor::scanCallHistoryThread(const QString &backupFolder)
{
    if (!folderUsable(backupFolder))
        return;
    const QString storedata = m_ctx.storedPath(backupFolder, StoredNames::CallHistoryStoredata);
    const QString older = m_ctx.storedPath(backupFolder, StoredNames::CallHistoryDb);
    const bool modern = QFileInfo(storedata).isFile();
    std::unique_ptr<RecordDatabase> db;
    if (modern)
        db = RecordDatabase::open(storedata);
    else if (QFileInfo(older).isFile())
        db = RecordDatabase::open(older);

    if (db) {
        Statement rows(*db, modern ? "select ZADDRESS,ZDATE,ZDURATION,ZORIGINATED,ZCALLTYPE,ZLOCATION from ZCALLRECORD"
                                   : "select address,date,duration,flags from call");
        while (!m_ctx.cancelled.load(std::memory_order_relaxed) && rows.step()) {
            auto call = std::make_shared<PRCallHistoryNode>();
            if (const QString t = rows.text(0); !t.isNull())
                call->setCallPhone(t);
            setDate(rows, 1, 0, [&](const QString &d) { call->setCallDate(d); });
            if (!rows.isNull(2))
                call->setCallTime(int(rows.int64(2)));
            if (!rows.isNull(3)) {
                const bool outgoing = modern ? rows.int64(3) == 1 : rows.int64(3) == 5;
                call->setCallType(outgoing ? QStringLiteral("Outgoing") : QStringLiteral("Incoming"));
            }
            if (modern) {
                if (const QString t = rows.text(5); !t.isNull())
                    call->setCallAttribution(t);
            }
            if (call->callTime() != 0)
                call->setCallDuration(TextFormat::getCallHistoryDuration(call->callTime()));
            else
                call->setCallDuration(call->callType() == QLatin1String("Outgoing") ? QStringLiteral("Cancelled")
                                                                                     : QStringLiteral("Missed"));
            call->setCallName(m_ctx.phoneLookup.getNameByPhoneNumber(call->callPhone()));
            m_ctx.nc.post(Notifications::ScanCallHistoryInfo, nodeToVariant(call));
        }
    }
    m_ctx.nc.post(Notifications::ScanProgressInfo, 60);
}

const BookmarkExtractor::Site BookmarkExtractor::kFixedSites[5] = {
    {"Apple", "https://www.apple.com/iphone/"},
    {"Yahoo", "https://www.yahoo.com/"},
    {"Google", "https://www.google.com/"},
    {"iPhone User Guide", "https://support.apple.com/guide/iphone/welcome/ios"},
    {"iPhone Web Applications", "https://www.apple.com/webapps/"},
};

BookmarkExtractor::BookmarkExtractor(ScanContext &context)
    : m_ctx(context)
{
}

void BookmarkExtractor::scanBookMarkThread(const QString &backupFolder)
{
    if (!folderUsable(backupFolder))
        return;
    QString path = m_ctx.storedPath(backupFolder, StoredNames::BookmarksDb);
    if (!QFileInfo(path).isFile())
        path = m_ctx.storedPath(backupFolder, StoredNames::BookmarksPlist);
    if (!QFileInfo(path).isFile()) {
        qInfo("messageDB is not exist");
        return;
    }
    // The property-list form is opened as a database all the same: it gives
    // no rows, and the fixed sites and the history follow.
    if (const auto db = RecordDatabase::open(path)) {
        Statement rows(*db, "select TITLE,URL,id, parent,type from bookmarks");
        while (!m_ctx.cancelled.load(std::memory_order_relaxed) && rows.step()) {
            auto bookmark = std::make_shared<PRBookMarkNode>();
            if (const QString t = rows.text(0); !t.isNull())
                bookmark->setBookMarkTitle(t);
            if (const QString t = rows.text(1); !t.isNull())
                bookmark->setBookMarkURL(t);
            if (bookmark->bookMarkTitle() == QLatin1String("Root")
                || bookmark->bookMarkTitle() == QLatin1String("com.apple.ReadingList"))
                continue;
            m_ctx.nc.post(Notifications::scanBookMarkInfo, nodeToVariant(bookmark));
        }
    }
    for (const Site &site : kFixedSites) {
        auto bookmark = std::make_shared<PRBookMarkNode>();
        bookmark->setBookMarkTitle(QString::fromUtf8(site.title));
        bookmark->setBookMarkURL(QString::fromUtf8(site.url));
        m_ctx.nc.post(Notifications::scanBookMarkInfo, nodeToVariant(bookmark));
    }

    const QString historyPath = m_ctx.storedPath(backupFolder, StoredNames::HistoryPlist);
    if (!QFileInfo(historyPath).isFile()) {
        qInfo("bookMarkPlistPath not find");
        return;
    }
    const auto history = PropertyList::readDictionary(historyPath);
    if (!history)
        return;
    for (const QVariant &entry : history->value(QStringLiteral("WebHistoryDates")).toList()) {
        if (entry.typeId() != QMetaType::QVariantMap)
            continue;
        const QVariantMap map = entry.toMap();
        auto bookmark = std::make_shared<PRBookMarkNode>();
        bookmark->setBookMarkTitle(map.value(QStringLiteral("title")).toString());
        bookmark->setBookMarkURL(map.value(QString(QLatin1String(""))).toString());
        m_ctx.nc.post(Notifications::scanBookMarkInfo, nodeToVariant(bookmark));
    }
}

CalendarExtractor::CalendarExtractor(ScanContext &context)
    : m_ctx(context)
{
}

void CalendarExtractor::scanCalenderThread(const QString &backupFolder)
{
    if (!folderUsable(backupFolder))
        return;
    const QString path = m_ctx.storedPath(backupFolder, StoredNames::Calendar);
    if (!QFileInfo(path).isFile()) {
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
            setDate(rows, 3, 1, [&](const QString &d) { event->setStartDate(d); });
            setDate(rows, 4, 1, [&](const QString &d) { event->setEndDate(d); });
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
