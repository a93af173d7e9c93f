#include "recovery/messagescanner.h"

#include "backup/messageextractor.h"
#include "backup/notificationnames.h"
#include "recovery/pagesource.h"

#include <QSet>

using namespace ScannerSupport;

namespace {

const unsigned char kHandleHit[2] = {0x06, 0x00};
const unsigned char kShortHit[4] = {0x00, 0x11, 0x00, 0x00};
const unsigned char kLongHits[2][8] = {{0x08, 0x08, 0x00, 0x08, 0x08, 0x08, 0x08, 0x08},
                                       {0x01, 0x08, 0x00, 0x01, 0x08, 0x08, 0x08, 0x08}};
const unsigned char kMessageHits[4][5] = {{0x08, 0x00, 0x01, 0x00, 0x00},
                                          {0x08, 0x00, 0x01, 0x00, 0x11},
                                          {0x08, 0x00, 0x01, 0x0d, 0x00},
                                          {0x08, 0x00, 0x09, 0x00, 0x11}};
const unsigned char kMessageHitPrefix[3] = {0x08, 0x00, 0x02};

// Bytes every hit of a loop has: where the carvers look closer.
const Probes kHandleProbes{{0, {0x06}}, {1, {0x00}}};
const Probes kMessageProbes{{2, {0x01, 0x02, 0x09}}, {0, {0x08}}, {1, {0x00}}};
const Probes kShortProbes{{1, {0x11}}, {0, {0x00}}, {2, {0x00}}};
// Short hits (00 11 00 00) and the long ones (08 08 00 08 .., 01 08 00 01 ..).
const Probes kShortOrLongProbes{{1, {0x11, 0x08}}, {2, {0x00}}, {0, {0x00, 0x08, 0x01}}};

QString typeFromIsFromMe(int value)
{
    if (value == 0)
        return QStringLiteral("Received");
    if (value == 1)
        return QStringLiteral("Send");
    return QStringLiteral("Unknowed");
}

bool isTextOrBlobType(std::uint8_t t)
{
    return t >= 14;
}

// 1 when the last non-zero byte before the first zero byte at or after
// offset is 18 to 20, 2 when it is 34 to 36. The zero byte is found by the
// source without walking forward to it.
template<typename Source>
int GetFildLength(const Source &src, std::uint64_t offset)
{
    const std::uint64_t zero = src.firstAtOrAfter(offset, 0x00);
    const std::uint8_t v = src.byte(zero - 1);
    if (v >= 18 && v <= 20)
        return 1;
    if (v >= 34 && v <= 36)
        return 2;
    return 0;
}

// Message dates are read as the live step reads them.
long long messageSeconds(long long value)
{
    return MessageExtractor::messageSeconds(value);
}

} // namespace

template<typename Source>
void MessageScanner<Source>::run(const QString &path, bool commit)
{
    RawDatabase<Source> db;
    if (!db.open(path, commit))
        return;
    if (m_ctx.currentNodeIsiOS6Version) {
        for (const auto &handle : m_ctx.chatMessageArray)
            m_handleRows.insert(handle->rowid());
        db.forEachPage(m_ctx.cancelled, {1, 2}, false, [&](std::uint64_t P, int) { layoutA(db, P); });
        postLayoutA();
    } else if (db.journalVersion() == 2) {
        db.forEachPage(m_ctx.cancelled, {1}, false, [&](std::uint64_t P, int) {
            layoutC(db, P);
            m_batch.flush();
        });
    } else {
        db.forEachPage(m_ctx.cancelled, {1}, false, [&](std::uint64_t P, int) {
            layoutB(db, P);
            m_batch.flush();
        });
    }
    m_batch.flush();
    m_ctx.nc.post(Notifications::ScanProgressInfo, 80);
}

template<typename Source>
void MessageScanner<Source>::lookUpAndPost(const std::shared_ptr<PRMessageNode> &message)
{
    if (message->messagePhone().size() >= 2)
        message->setMessageName(m_ctx.phoneLookup.getNameByPhoneNumber(message->messagePhone()));
    m_batch.add(nodeToVariant(message));
}

template<typename Source>
void MessageScanner<Source>::layoutA(const RawDatabase<Source> &db, std::uint64_t P)
{
    const Source &src = db.source();
    const std::uint64_t pageSize = db.pageSize();
    const std::uint16_t c1 = db.u16(P + 8), c2 = db.u16(P + 10), c3 = db.u16(P + 12), s = db.u16(P + 5);

    const std::uint64_t end = P + pageSize;
    if (pageHoldsAny(src, P + c1, 14, 4, {"0600"})) {
        for (std::uint64_t o = src.nextCandidate(P, end, kHandleProbes); o < end;
             o = src.nextCandidate(o + 1, end, kHandleProbes)) {
            if (!src.startsWith(o, kHandleHit, 2))
                continue;
            auto handle = std::make_shared<PRChatMessageNode>();
            handle->setRowid(src.byte(o - 1));
            FieldDecoder<Source> fields(src, std::size_t(pageSize));
            handle->setPhoneValue(fields.textOne(1, o + 1, 0, 5));
            if (!m_handleRows.contains(handle->rowid())) {
                m_handleRows.insert(handle->rowid());
                m_ctx.chatMessageArray.append(handle);
            }
        }
    }

    static const std::initializer_list<const char *> kMessageWindows = {"0800010000", "0800010011", "0800020011",
                                                                        "0800020000", "0800090011"};
    bool pass = db.pageTypeAt(P) == 2;
    for (std::uint64_t at : {P + c2 + 4, P + c1 + 4, P + c3 + 4, P + s + 8})
        pass = pass || pageHoldsAny(src, at, 14, 10, kMessageWindows);
    if (!pass)
        return;

    for (std::uint64_t x = src.nextCandidate(P, end, kMessageProbes); x < end;
         x = src.nextCandidate(x + 1, end, kMessageProbes)) {
        bool hit = src.startsWith(x, kMessageHitPrefix, 3);
        for (const auto &signature : kMessageHits)
            hit = hit || src.startsWith(x, signature, 5);
        if (!hit)
            continue;
        const std::uint8_t rb = src.byte(x + 5);
        const bool r = rb >= 121 && rb <= 136;
        const bool t = src.byte(x - 2) != 0x55;
        const std::uint64_t L = 38 + (r ? 1 : 0) + (t ? 1 : 0);
        const std::uint64_t B = t ? x - 4 : x - 3;

        auto message = std::make_shared<PRMessageNode>();
        FieldDecoder<Source> f(src, std::size_t(pageSize));
        for (int j = 1; j <= 23; ++j) {
            if (!t) {
                switch (j) {
                case 2: if (auto v = f.presentOne(j, B, 0, L)) message->setMessageContent(*v); break;
                case 5: message->setHandle_id(f.intOne(j, B, 0, L)); break;
                case 8: if (r) f.skipTwo(j, x - 3, 0, L); break;
                case 9: break;
                case 12: message->setBImessage(f.textOne(j, B, 0, L) != QLatin1String("SMS")); break;
                case 16: message->setMessageDate(m_dates(messageSeconds(f.longOne(j, B, 0, L)), 0)); break;
                case 22: message->setMessageType(typeFromIsFromMe(f.intOne(j, B, 0, L))); break;
                default: f.skipOne(j, B, 0, L); break;
                }
            } else {
                switch (j) {
                case 2: if (auto v = f.presentTwo(j, B, 0, L)) message->setMessageContent(*v); break;
                case 3:
                case 4:
                case 5:
                case 10: break;
                case 6: message->setHandle_id(f.intOne(j, B, 0, L)); break;
                case 9: f.skipTwo(j, B, 0, L); break;
                case 13: message->setBImessage(f.textOne(j, B, 0, L) != QLatin1String("SMS")); break;
                case 17: message->setMessageDate(m_dates(messageSeconds(f.longOne(j, B, 0, L)), 0)); break;
                case 23: message->setMessageType(typeFromIsFromMe(f.intOne(j, B, 0, L))); break;
                default: f.skipOne(j, B, 0, L); break;
                }
            }
        }
        m_ctx.messageArray.append(message);
    }
}

template<typename Source>
void MessageScanner<Source>::postLayoutA()
{
    QHash<int, QString> phoneOf;
    for (const auto &handle : m_ctx.chatMessageArray)
        phoneOf.insert(handle->rowid(), handle->phoneValue());
    for (const auto &message : m_ctx.messageArray) {
        if (auto it = phoneOf.constFind(message->handle_id()); it != phoneOf.constEnd()) {
            message->setMessagePhone(*it);
            if (it->size() >= 2)
                message->setMessageName(m_ctx.phoneLookup.getNameByPhoneNumber(*it));
        }
        m_batch.add(nodeToVariant(message));
    }
    m_batch.flush();
}

template<typename Source>
void MessageScanner<Source>::layoutB(const RawDatabase<Source> &db, std::uint64_t P)
{
    const Source &src = db.source();
    const std::uint64_t pageSize = db.pageSize();
    const std::uint16_t c1 = db.u16(P + 8), c2 = db.u16(P + 10);
    if (!pageHolds(src, P + c1 + 10, 14, RecordHeader::Messages, 10)
        && !pageHolds(src, P + c2 + 10, 14, RecordHeader::Messages, 10))
        return;
    const std::uint64_t end = P + pageSize;
    for (std::uint64_t i = src.nextCandidate(P, end, kShortProbes); i < end; i = src.nextCandidate(i + 1, end, kShortProbes)) {
        if (!src.startsWith(i, kShortHit, 4))
            continue;
        const bool x = isTextOrBlobType(src.byte(i - 10));
        const std::uint64_t L = 17 + (x ? 1 : 0);
        const std::uint64_t B = i - 12 - (x ? 1 : 0);
        auto message = std::make_shared<PRMessageNode>();
        FieldDecoder<Source> f(src, std::size_t(pageSize));
        if (auto v = f.nonEmptyOne(1, B, 0, L))
            message->setMessagePhone(*v);
        message->setMessageDate(m_dates(f.longOne(2, B, 0, L), 0));
        if (auto v = x ? f.presentTwo(3, B, 0, L) : f.presentOne(3, B, 0, L))
            message->setMessageContent(*v);
        message->setMessageType(MessageExtractor::typeFromFlags(f.intOne(x ? 5 : 4, B, 0, L)));
        lookUpAndPost(message);
    }
}

template<typename Source>
void MessageScanner<Source>::layoutC(const RawDatabase<Source> &db, std::uint64_t P)
{
    const Source &src = db.source();
    const std::uint64_t pageSize = db.pageSize();
    const std::uint16_t c1 = db.u16(P + 8), c2 = db.u16(P + 10), c3 = db.u16(P + 12), s = db.u16(P + 5);
    bool pass = false;
    for (std::uint64_t at : {P + c2 + 10, P + c1 + 10, P + c3 + 10})
        pass = pass || pageHolds(src, at, 14, RecordHeader::Messages, 10);
    pass = pass || pageHolds(src, P + s + 15, 8, RecordHeader::Messages, 10);
    if (!pass)
        return;
    auto headerOf = [&](std::uint64_t at, std::uint64_t two) -> std::uint64_t {
        const int k = GetFildLength(src, at);
        return k == 1 ? 17 : k == 2 ? two : 0;
    };
    const std::uint64_t H0 = headerOf(P + c1 + 3, 33);

    const std::uint64_t end = P + pageSize;
    for (std::uint64_t x = src.nextCandidate(P, end, kShortOrLongProbes); x < end;
         x = src.nextCandidate(x + 1, end, kShortOrLongProbes)) {
        const std::uint8_t first = src.byte(x);
        if (first == 0x00 && src.startsWith(x, kShortHit, 4)) {
            const std::uint64_t H = H0 != 0 ? H0 : headerOf(x - 14, 33);
            const bool f2 = isTextOrBlobType(src.byte(x - 10));
            const std::uint64_t L = H + (f2 ? 1 : 0);
            const std::uint64_t B = x - 15 - (f2 ? 1 : 0);
            auto message = std::make_shared<PRMessageNode>();
            FieldDecoder<Source> f(src, std::size_t(pageSize));
            auto address = f.one(1, B, 3, L);
            // An address with a two-byte serial type moves the header: the
            // date and the flags are then read the same way.
            const bool moved = !nonEmpty(address);
            const std::uint64_t movedBase = x - L + 20;
            if (moved)
                address = f.two(1, movedBase, 0, L);
            message->setMessagePhone(toString(address));
            message->setMessageDate(m_dates(moved ? toLong(f.two(2, movedBase, 0, L)) : f.longOne(2, B, 3, L), 0));
            if (auto v = f2 ? f.nonEmptyTwo(3, B, 3, L) : f.nonEmptyOne(3, B, 3, L))
                message->setMessageContent(*v);
            const int flagsField = f2 ? 5 : 4;
            message->setMessageType(MessageExtractor::typeFromFlags(
                moved ? toInt(f.two(flagsField, movedBase, 0, L)) : f.intOne(flagsField, B, 3, L)));
            lookUpAndPost(message);
            m_lastShortHit = x;
            continue;
        }
        if ((first != 0x08 && first != 0x01) || !(src.startsWith(x, kLongHits[0], 8) || src.startsWith(x, kLongHits[1], 8)))
            continue;
        const int k = GetFildLength(src, x);
        const std::uint64_t H = k == 1 ? 17 : 34;
        const bool a = src.byte(x - 2) != 0x04;
        const std::uint64_t L = H + (a ? 1 : 0);
        const std::uint64_t B = x - 4 - (a ? 1 : 0);
        auto message = std::make_shared<PRMessageNode>();
        FieldDecoder<Source> f(src, std::size_t(pageSize));
        bool hasAddress = false;
        for (int j = 1; j <= 27; ++j) {
            if (j == 2) {
                message->setMessageDate(m_dates(f.longOne(j, B, 0, L), 0));
            } else if (j == 3) {
                if (auto v = a ? f.nonEmptyTwo(j, B, 0, L) : f.nonEmptyOne(j, B, 0, L))
                    message->setMessageContent(*v);
            } else if ((j == 4 && a) || (j == 5 && !a) || (j == 17 && a) || (j == 18 && !a) || (j == 19 && a)
                       || (j == 26 && a) || (j == 27 && !a)) {
                continue;
            } else if (j == 17 || j == 18) {
                f.skipTwo(j, B, 0, L);
            } else if ((j == 19 && !a) || (j == 20 && a)) {
                message->setMessagePhone(f.textOne(j, B, 0, L));
                hasAddress = !message->messagePhone().isEmpty();
            } else if ((j == 20 && !a) || (j == 26 && !a) || (j == 27 && a)) {
                message->setMessageType(MessageExtractor::typeFromFlags(f.intOne(j, B, 0, L)));
            } else {
                f.skipOne(j, B, 0, L);
            }
        }
        if (message->messagePhone().size() >= 2)
            message->setMessageName(m_ctx.phoneLookup.getNameByPhoneNumber(message->messagePhone()));
        const bool nearShort = m_lastShortHit && x - *m_lastShortHit < 400;
        if (hasAddress || message->messageType() != QLatin1String("unknown") || !nearShort)
            m_batch.add(nodeToVariant(message));
    }
}

template class MessageScanner<MappedSource>;
template class MessageScanner<StreamSource>;
