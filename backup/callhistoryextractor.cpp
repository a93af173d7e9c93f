#include "backup/callhistoryextractor.h"

#include "backup/nodes/prcallhistorynode.h"
#include "backup/notificationnames.h"
#include "backup/recorddatabase.h"
#include "backup/storednames.h"
#include "backup/textformat.h"
#include "platform/regularfile.h"

#include <QDebug>

CallHistoryExtractor::CallHistoryExtractor(ScanContext &context)
    : m_ctx(context)
{
}

void CallHistoryExtractor::scanCallHistoryThread(const QString &backupFolder)
{
    if (!ScanContext::folderUsable(backupFolder))
        return;
    const QString storedata = m_ctx.storedPath(backupFolder, StoredNames::CallHistoryStoredata);
    const QString older = m_ctx.storedPath(backupFolder, StoredNames::CallHistoryDb);
    const bool modern = RegularFile::isRegular(storedata);
    std::unique_ptr<RecordDatabase> db;
    if (modern)
        db = RecordDatabase::open(storedata);
    else if (RegularFile::isRegular(older))
        db = RecordDatabase::open(older);

    if (db) {
        Statement rows(*db, modern ? "select ZADDRESS,ZDATE,ZDURATION,ZORIGINATED,ZCALLTYPE,ZLOCATION from ZCALLRECORD"
                                   : "select address,date,duration,flags from call");
        while (!m_ctx.cancelled.load(std::memory_order_relaxed) && rows.step()) {
            auto call = std::make_shared<PRCallHistoryNode>();
            if (const QString t = rows.text(0); !t.isNull())
                call->setCallPhone(t);
            if (auto d = rows.date(1, 0))
                call->setCallDate(*d);
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
