#include "recovery/callhistoryscanner.h"

#include "backup/nodes/prcallhistorynode.h"
#include "backup/notificationnames.h"
#include "backup/textformat.h"
#include "recovery/pagesource.h"

using namespace ScannerSupport;

namespace {

// The header length told by the byte before the nearest zero byte at or
// before offset (found by the source without walking back).
template<typename Source>
std::uint64_t accquireFieldLength(const Source &src, std::uint64_t offset)
{
    const std::uint64_t z = src.lastAtOrBefore(offset, 0x00);
    const std::uint8_t v = src.byte(z - 1);
    if (v == 7 || v == 8)
        return 7;
    if (v >= 9 && v <= 11)
        return v - 1;
    return 0;
}

// A call row begins where byte 01 or 03 is followed by 01, 02 or 09.
const Probes kCallPair{{1, {0x01, 0x02, 0x09}}, {0, {0x01, 0x03}}};

} // namespace

template<typename Source>
void CallHistoryScanner<Source>::run(const QString &path, bool commit)
{
    RawDatabase<Source> db;
    if (!db.open(path, commit))
        return;
    const Source &src = db.source();
    const std::uint64_t pageSize = db.pageSize();
    const bool ios6 = m_ctx.currentNodeIsiOS6Version;
    db.forEachPage(m_ctx.cancelled, {1, 4}, false, [&](std::uint64_t P, int) {
        const std::uint16_t m = db.u16(P + 8);
        if (!pageHolds(src, P + m + 7, 6, RecordHeader::CallHistory, 6))
            return;
        std::uint64_t pageL = ios6 ? 13 : accquireFieldLength(src, P + m + 3);
        const std::uint64_t end = P + pageSize;
        for (std::uint64_t u = src.nextCandidate(P, end, kCallPair); u < end; u = src.nextCandidate(u + 1, end, kCallPair)) {
            std::uint64_t L = pageL;
            if (L == 0) {
                L = accquireFieldLength(src, u - 5);
                if (L != 0)
                    pageL = L;
                else
                    L = src.byte(u + 4) == 0x11 ? 9 : 8;
            }
            const std::uint64_t B = u - 4;
            auto call = std::make_shared<PRCallHistoryNode>();
            FieldDecoder<Source> f(src, std::size_t(pageSize));
            if (auto v = f.nonEmptyOne(1, B, 0, L))
                call->setCallPhone(*v);
            call->setCallDate(m_dates(f.longOne(2, B, 0, L), 0));
            call->setCallTime(f.intOne(3, B, 0, L));
            call->setCallType(f.intOne(4, B, 0, L) == 5 ? QStringLiteral("Outgoing") : QStringLiteral("Incoming"));
            if (call->callTime() != 0)
                call->setCallDuration(TextFormat::getCallHistoryDuration(call->callTime()));
            else
                call->setCallDuration(call->callType() == QLatin1String("Outgoing") ? QStringLiteral("Cancelled")
                                                                                     : QStringLiteral("Missed"));
            if (call->callPhone().size() > 1)
                call->setCallName(m_ctx.phoneLookup.getNameByPhoneNumber(call->callPhone()));
            m_batch.add(nodeToVariant(call));
        }
        m_batch.flush();
    });
    m_batch.flush();
    m_ctx.nc.post(Notifications::ScanProgressInfo, 90);
}

template class CallHistoryScanner<MappedSource>;
template class CallHistoryScanner<StreamSource>;
