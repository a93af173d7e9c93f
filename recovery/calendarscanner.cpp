#include "recovery/calendarscanner.h"

#include "backup/nodes/prcalendernode.h"
#include "backup/notificationnames.h"
#include "recovery/pagesource.h"

using namespace ScannerSupport;

namespace {

const unsigned char kItemHits[2][6] = {{0x08, 0x08, 0x08, 0x08, 0x08, 0x08}, {0x08, 0x08, 0x00, 0x08, 0x08, 0x08}};

// The event patterns of the calendar type that fit a 12-character window.
const unsigned char kEventHit1[6] = {0x08, 0x08, 0x00, 0x08, 0x08, 0x08};
const unsigned char kEventHit2[6] = {0x08, 0x08, 0x08, 0x08, 0x08, 0x08};
const unsigned char kEventHit3[4] = {0x00, 0x00, 0x01, 0x08};
const unsigned char kEventHit4[4] = {0x00, 0x00, 0x08, 0x01};

// Bytes every hit of a loop has: where the carvers look closer.
const Probes kItemProbes{{3, {0x08}}, {0, {0x08}}, {1, {0x08}}};
const Probes kEventProbes{{3, {0x08, 0x01}}, {0, {0x08, 0x00}}, {1, {0x08, 0x00}}};

} // namespace

template<typename Source>
void CalendarScanner<Source>::run(const QString &path, bool commit)
{
    RawDatabase<Source> db;
    if (!db.open(path, commit))
        return;
    const bool wal = db.journalVersion() == 2;
    db.forEachPage(m_ctx.cancelled, {1}, false, [&](std::uint64_t P, int) {
        if (wal)
            calendarItems(db, P);
        else
            events(db, P);
        m_batch.flush();
    });
    m_batch.flush();
    m_ctx.nc.post(Notifications::ScanProgressInfo, 100);
}

template<typename Source>
void CalendarScanner<Source>::calendarItems(const RawDatabase<Source> &db, std::uint64_t P)
{
    const Source &src = db.source();
    const std::uint64_t pageSize = db.pageSize();
    const std::uint16_t m = db.u16(P + 8);
    if (!pageHolds(src, P + m + 14, 10, RecordHeader::Calendar, 12))
        return;
    const std::uint64_t s = m_ctx.currentNodeIsiOS6Version ? 1 : 0;
    const std::uint64_t end = P + pageSize;
    for (std::uint64_t l = src.nextCandidate(P, end, kItemProbes); l < end; l = src.nextCandidate(l + 1, end, kItemProbes)) {
        if (!(src.startsWith(l, kItemHits[0], 6) || src.startsWith(l, kItemHits[1], 6)))
            continue;
        const std::uint8_t noteByte = src.byte(l - 9);
        const bool u = noteByte != 0x08 && noteByte != 0x00 && noteByte != 0x01 && noteByte != 0x09;
        const bool v = src.byte(u ? l - 12 : l - 11) != 0x00;
        const std::uint64_t E = (s ? 51 : 41) + (u ? 1 : 0) + (v ? 1 : 0);
        const std::uint8_t c = src.byte(v ? l - 13 : l - 12);
        const std::uint64_t D = c >= 42 && c <= 45 ? c - 1 : 0;
        std::uint64_t L = D;
        if (D < E) {
            const std::uint64_t x = src.byte(l + 14) != 0x55 ? 1 : 0;
            const std::uint64_t y = src.byte(l + x + 16) != 0x00 ? 1 : 0;
            L = E + x + y;
        }
        const std::uint64_t B = l - (15 + (u ? 1 : 0) + (v ? 1 : 0));
        auto event = std::make_shared<PRCalenderNode>();
        FieldDecoder<Source> f(src, std::size_t(pageSize));
        for (int j = 1; j <= 8; ++j) {
            if (j == 1) {
                event->setCalTitle(v ? f.textTwo(j, B, 4, L) : f.textOne(j, B, 4, L));
            } else if (j == 3) {
                event->setCalNote(u ? f.textTwo(j, B, 4, L) : f.textOne(j, B, 4, L));
            } else if ((j == 4 && !u) || (j == 5 && u)) {
                event->setStartDate(m_dates(f.longOne(j, B, 4, L), 1));
            } else if (j == 4) {
                continue;
            } else if ((j == 6 && !u) || (j == 7 && u)) {
                event->setEndDate(m_dates(f.longOne(j, B, 4, L), 1));
            } else {
                f.skipOne(j, B, 4, L);
            }
        }
        m_batch.add(nodeToVariant(event));
    }
}

template<typename Source>
void CalendarScanner<Source>::events(const RawDatabase<Source> &db, std::uint64_t P)
{
    const Source &src = db.source();
    const std::uint64_t pageSize = db.pageSize();
    const std::uint16_t m = db.u16(P + 8);
    if (!pageHolds(src, P + m + 14, 12, RecordHeader::Calendar, 12))
        return;
    const std::uint64_t end = P + pageSize;
    for (std::uint64_t l = src.nextCandidate(P, end, kEventProbes); l < end; l = src.nextCandidate(l + 1, end, kEventProbes)) {
        if (!(src.startsWith(l, kEventHit1, 6) || src.startsWith(l, kEventHit2, 6) || src.startsWith(l, kEventHit3, 4)
              || src.startsWith(l, kEventHit4, 4)))
            continue;
        const std::uint8_t noteByte = src.byte(l - 9);
        const bool t = noteByte >= 0x80 && noteByte <= 0x89;
        const std::uint64_t L = t ? 32 : 31;
        const std::uint64_t B = t ? l - 15 : l - 14;
        auto event = std::make_shared<PRCalenderNode>();
        FieldDecoder<Source> f(src, std::size_t(pageSize));
        event->setCalTitle(f.textOne(1, B, 3, L));
        event->setLocation(f.textOne(2, B, 3, L));
        event->setCalNote(t ? f.textTwo(3, B, 3, L) : f.textOne(3, B, 3, L));
        if (!t) {
            event->setStartDate(m_dates(f.longOne(4, B, 3, L), 1));
            f.skipOne(5, B, 3, L);
            event->setEndDate(m_dates(f.longOne(6, B, 3, L), 1));
        } else {
            event->setStartDate(m_dates(f.longOne(5, B, 3, L), 1));
            event->setEndDate(m_dates(f.longOne(7, B, 3, L), 1));
        }
        m_batch.add(nodeToVariant(event));
    }
}

template class CalendarScanner<MappedSource>;
template class CalendarScanner<StreamSource>;
