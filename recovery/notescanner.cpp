#include "recovery/notescanner.h"

#include "backup/notificationnames.h"
#include "recovery/pagesource.h"

#include <QHash>

using namespace ScannerSupport;

namespace {

const unsigned char kNoteHit[7] = {0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x05};
const unsigned char kNoteHitIos7[8] = {0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x05};
const unsigned char kNoteHitOlder[7] = {0x01, 0x01, 0x01, 0x01, 0x02, 0x01, 0x05};
const unsigned char kBodyHit[3] = {0x01, 0x01, 0x01};

// Bytes every hit of a loop has: where the carvers look closer.
const Probes kNoteWalProbes{{6, {0x05, 0x00}}, {0, {0x01}}, {5, {0x01}}};
const Probes kNoteOlderProbes{{6, {0x05}}, {0, {0x01}}, {5, {0x01}}};
const Probes kBodyProbes{{0, {0x01}}, {1, {0x01}}, {2, {0x01}}};

// Steps forward from offset to the first byte equal to mark (0 when the
// byte at offset is mark itself; to the end of the file when there is
// none). The source answers without walking: a walk per hit would make a
// file without that byte cost the square of its size.
template<typename Source>
std::uint64_t stepsTo(const Source &src, std::uint64_t offset, std::uint8_t mark)
{
    return src.firstAtOrAfter(offset, mark) - offset;
}

bool isChanged(std::uint8_t v)
{
    return v >= 121 && v <= 136;
}

} // namespace

template<typename Source>
void NoteScanner<Source>::run(const QString &path, bool commit)
{
    RawDatabase<Source> db;
    if (!db.open(path, commit))
        return;
    const bool wal = db.journalVersion() == 2;
    db.forEachPage(m_ctx.cancelled, {1}, false, [&](std::uint64_t P, int) {
        if (wal)
            notesWal(db, P);
        else
            notesOlder(db, P);
        bodies(db, P);
    });
    joinAndPost();
    m_ctx.nc.post(Notifications::ScanProgressInfo, 85);
}

template<typename Source>
void NoteScanner<Source>::notesWal(const RawDatabase<Source> &db, std::uint64_t P)
{
    const Source &src = db.source();
    const std::uint64_t pageSize = db.pageSize();
    const std::uint16_t m = db.u16(P + 8);
    if (!pageHolds(src, P + m + 4, 16, RecordHeader::Notes, 16))
        return;
    const bool ios7 = m_ctx.bIOS7DeviceNode;
    const std::uint64_t end = P + pageSize;
    for (std::uint64_t B = src.nextCandidate(P, end, kNoteWalProbes); B < end;
         B = src.nextCandidate(B + 1, end, kNoteWalProbes)) {
        const bool hit = src.startsWith(B, kNoteHit, 7) || (ios7 && src.startsWith(B, kNoteHitIos7, 8));
        if (!hit)
            continue;
        auto note = std::make_shared<PRNoteNode>();
        FieldDecoder<Source> f(src, std::size_t(pageSize));
        if (!ios7) {
            // Steps to the next 0x03 byte tell how the title's serial type
            // is stored.
            const std::uint64_t Dv = src.byte(B + 18) == 0x03 ? 0 : stepsTo(src, B + 18, 0x03);
            const std::uint64_t L = Dv == 0 ? 19 : Dv == 1 ? 20 : Dv == 2 ? 21 : 0;
            for (int j = 1; j <= 19; ++j) {
                if (j == 10) {
                    note->setUid(toInt(f.one(j, B - 1, 0, L)));
                } else if (j == 13) {
                    note->setNoteDate(m_dates(toLong(f.one(j, B - 1, 0, L)), 1));
                } else if (j == 18) {
                    if (Dv == 0) {
                        if (auto v = f.one(j, B - 1, 0, L); nonEmpty(v))
                            note->setNoteTitle(toString(v));
                    } else {
                        f.skipTwo(j, B - 1, 0, L);
                    }
                } else if (j == 19) {
                    if (Dv == 0)
                        continue;
                    std::optional<QByteArray> v;
                    if (Dv == 1)
                        v = f.two(j, B - 4, 4, L);
                    else if (Dv == 2)
                        v = f.two(j, B - 1, 0, L);
                    if (nonEmpty(v))
                        note->setNoteTitle(toString(v));
                } else {
                    f.skipOne(j, B - 1, 0, L);
                }
            }
        } else {
            const bool S = isChanged(src.byte(B + 17));
            const bool T = isChanged(src.byte(S ? B + 19 : B + 18));
            const std::uint64_t L = 20 + (S ? 1 : 0) + (T ? 1 : 0);
            const int titleField = S ? 20 : 19;
            const int otherField = S ? 19 : 20;
            for (int j = 1; j <= 20; ++j) {
                if (j == 11) {
                    note->setUid(toInt(f.one(j, B - 1, 0, L)));
                } else if (j == 14) {
                    note->setNoteDate(m_dates(toLong(f.one(j, B - 1, 0, L)), 1));
                } else if (j == 18) {
                    if (S)
                        f.skipTwo(j, B - 1, 0, L);
                    else
                        f.skipOne(j, B - 1, 0, L);
                } else if (j == titleField) {
                    note->setNoteTitle(toString(T ? f.two(j, B - 1, 0, L) : f.one(j, B - 1, 0, L)));
                } else if (j == otherField) {
                    continue;
                } else {
                    f.skipOne(j, B - 1, 0, L);
                }
            }
        }
        m_ctx.noteArray.append(note);
    }
}

template<typename Source>
void NoteScanner<Source>::notesOlder(const RawDatabase<Source> &db, std::uint64_t P)
{
    const Source &src = db.source();
    const std::uint64_t pageSize = db.pageSize();
    const std::uint16_t m = db.u16(P + 8);
    if (!pageHolds(src, P + m + 4, 14, RecordHeader::Notes, 14))
        return;
    const std::uint64_t end = P + pageSize;
    for (std::uint64_t t = src.nextCandidate(P, end, kNoteOlderProbes); t < end;
         t = src.nextCandidate(t + 1, end, kNoteOlderProbes)) {
        if (!(src.startsWith(t, kNoteHit, 7) || src.startsWith(t, kNoteHitOlder, 7)))
            continue;
        const int w = src.byte(t + 13) == 0x00 ? 19 : 15;
        const std::uint64_t h = w == 15 ? 14 : 18;
        int A = 0;
        if (h + 1 == 19)
            A = src.byte(t + h) != 0x03 && src.byte(t + h + 1) != 0x01 ? 1 : 0;
        else
            A = int(src.byte(t + h) == 0x00 ? 0 : stepsTo(src, t + h, 0x00));
        const std::uint64_t g = A == 1 ? 19 : 18;
        const std::uint64_t S = src.byte(t + g) == 0x03 ? 0 : stepsTo(src, t + g, 0x03);
        const std::uint64_t L = g + 1 + (S > 0 ? 1 : 0);
        const std::uint64_t base = t - 1;
        auto note = std::make_shared<PRNoteNode>();
        FieldDecoder<Source> f(src, std::size_t(pageSize));
        if (w == 15) {
            for (int j = 1; j <= 18; ++j) {
                if (j == 11) {
                    note->setUid(toInt(f.one(j, base, 0, L)));
                } else if (j == 12) {
                    note->setNoteDate(m_dates(toLong(f.one(j, base, 0, L)), 1));
                } else if (j == 14) {
                    if (auto v = A == 1 ? f.two(j, base, 0, L) : f.one(j, base, 0, L); nonEmpty(v))
                        note->setNoteTitle(toString(v));
                } else if (j == 15) {
                    if (A == 0)
                        f.skipOne(j, base, 0, L);
                } else if (j == 18) {
                    if (S > 0)
                        f.skipTwo(j, base, 0, L);
                    else
                        f.skipOne(j, base, 0, L);
                } else {
                    f.skipOne(j, base, 0, L);
                }
            }
        } else {
            const int titleField = S == 0 ? 18 : 19;
            for (int j = 1; j <= 19; ++j) {
                if (j == 10) {
                    note->setUid(toInt(f.one(j, base, 0, L)));
                } else if (j == 12) {
                    note->setNoteDate(m_dates(toLong(f.one(j, base, 0, L)), 1));
                } else if (j == 17) {
                    if (S > 0)
                        f.skipTwo(j, base, 0, L);
                    else
                        f.skipOne(j, base, 0, L);
                } else if (j == titleField) {
                    if (auto v = A != 0 ? f.two(j, base, 0, L) : f.one(j, base, 0, L); nonEmpty(v))
                        note->setNoteTitle(toString(v));
                } else {
                    f.skipOne(j, base, 0, L);
                }
            }
        }
        m_ctx.noteArray.append(note);
    }
}

template<typename Source>
void NoteScanner<Source>::bodies(const RawDatabase<Source> &db, std::uint64_t P)
{
    const Source &src = db.source();
    const std::uint64_t pageSize = db.pageSize();
    const std::uint16_t m = db.u16(P + 8);
    if (!pageHolds(src, P + m + 4, 6, RecordHeader::Notes, 6))
        return;
    const std::uint64_t end = P + pageSize;
    for (std::uint64_t x = src.nextCandidate(P, end, kBodyProbes); x < end; x = src.nextCandidate(x + 1, end, kBodyProbes)) {
        if (!src.startsWith(x, kBodyHit, 3))
            continue;
        if (!(src.byte(x + 3) >= 0x10 && (src.byte(x + 4) == 0x00 || src.byte(x + 5) == 0x00)))
            continue;
        const std::uint64_t F = src.byte(x + 4) == 0x00 ? 0 : stepsTo(src, x + 4, 0x00);
        const std::uint64_t L = F + 7;
        auto body = std::make_shared<PRNoteValueNode>();
        FieldDecoder<Source> f(src, std::size_t(pageSize));
        f.skipOne(1, x - 1, 0, L);
        f.skipOne(2, x - 1, 0, L);
        body->setUid(toInt(f.one(3, x - 1, 0, L)));
        if (auto v = F == 1 ? f.two(4, x - 1, 0, L) : f.one(4, x - 1, 0, L); nonEmpty(v))
            body->setNoteValue(toString(v));
        m_ctx.noteValueArray.append(body);
    }
}

template<typename Source>
void NoteScanner<Source>::joinAndPost()
{
    if (m_ctx.noteValueArray.isEmpty())
        return;
    RecordBatch batch(m_ctx.nc, Notifications::ScanDelNoteInfo);
    // A row whose number repeats the one before it counts as the next number
    // (the first row as at least 1). Once done, doing it again changes no
    // number, so it is done once rather than once per body; a body then takes
    // the date and title of the last row with its number.
    QHash<int, qsizetype> lastRowOf;
    int previous = 0;
    for (qsizetype i = 0; i < m_ctx.noteArray.size(); ++i) {
        const auto &row = m_ctx.noteArray.at(i);
        if (row->uid() == previous)
            row->setUid(int(unsigned(row->uid()) + 1u)); // wraps rather than overflows on a hostile number
        lastRowOf.insert(row->uid(), i);
        previous = row->uid();
    }
    for (const auto &body : m_ctx.noteValueArray) {
        auto note = std::make_shared<PRNoteNode>();
        if (const auto it = lastRowOf.constFind(body->uid()); it != lastRowOf.constEnd()) {
            const auto &row = m_ctx.noteArray.at(*it);
            note->setNoteDate(row->noteDate());
            note->setNoteTitle(row->noteTitle());
        }
        note->setNoteContent(plainNoteBody(body->noteValue()));
        batch.add(nodeToVariant(note));
    }
    batch.flush();
}

template class NoteScanner<MappedSource>;
template class NoteScanner<StreamSource>;
