#include "recovery/bookmarkscanner.h"

#include "backup/notificationnames.h"
#include "recovery/pagesource.h"

using namespace ScannerSupport;

namespace {

const unsigned char kFour[4] = {0x01, 0x01, 0x01, 0x01};
const unsigned char kSix[6] = {0x01, 0x01, 0x01, 0x01, 0x01, 0x01};
const unsigned char kFive55[5] = {0x01, 0x01, 0x01, 0x01, 0x55};
const unsigned char kSix55[6] = {0x01, 0x01, 0x01, 0x01, 0x01, 0x55};

// Every hit begins with four bytes 01.
const Probes kFourOnes{{0, {0x01}}, {1, {0x01}}, {3, {0x01}}};

int rank(std::uint8_t v)
{
    return v <= 15 ? 0 : v <= 24 ? 1 : 2;
}

template<typename Source>
int bBookMarkTableAlter(const Source &src, std::uint64_t x)
{
    const std::uint8_t b = src.byte(x);
    if (b == 0x00)
        return rank(src.byte(x - 1));
    if (b == 0x14 || b == 0x15 || b == 0x16)
        return 1;
    if (b == 0x19 || b == 0x1a || b == 0x1b)
        return 2;
    if (src.byte(x + 1) != 0x00)
        return 0;
    return rank(src.byte(x - 2));
}

// Looks at the byte before the nearest zero byte at or before offset (the
// source finds it without walking back, see pagesource.h).
template<typename Source>
int getMarkBookLength(const Source &src, std::uint64_t offset, int n)
{
    const std::uint64_t z = src.lastAtOrBefore(offset, 0x00);
    const std::uint8_t v = src.byte(z - 1);
    if (n == 19 && v >= 0x14 && v <= 0x17)
        return 1;
    if (n == 24 && v >= 0x19 && v <= 0x1c)
        return 1;
    if ((n == 19 || n == 24) && v == 0x00)
        return 0;
    return -1;
}

} // namespace

template<typename Source>
void BookmarkScanner<Source>::run(const QString &path, bool commit)
{
    RawDatabase<Source> db;
    if (!db.open(path, commit))
        return;
    db.forEachPage(m_ctx.cancelled, {1}, false, [&](std::uint64_t P, int) {
        carve(db, P);
        m_batch.flush();
    });
    m_batch.flush();
    m_ctx.nc.post(Notifications::ScanProgressInfo, 95);
}

template<typename Source>
void BookmarkScanner<Source>::carve(const RawDatabase<Source> &db, std::uint64_t P)
{
    const Source &src = db.source();
    const std::uint64_t pageSize = db.pageSize();
    const std::uint16_t m = db.u16(P + 8);
    if (std::uint64_t(m) + 17 >= pageSize)
        return;
    if (!pageHolds(src, P + m + 9, 8, RecordHeader::Bookmarks, 8))
        return;
    const int layout = bBookMarkTableAlter(src, P + m + 3);
    std::uint64_t K = layout == 1 ? 19 : layout == 2 ? 24 : 11;
    int C = -1;
    std::uint64_t A = 0;

    const std::uint64_t end = P + pageSize;
    for (std::uint64_t Z = src.nextCandidate(P, end, kFourOnes); Z < end; Z = src.nextCandidate(Z + 1, end, kFourOnes)) {
        const bool six = src.startsWith(Z, kSix, 6);
        const bool five55 = src.startsWith(Z, kFive55, 5);
        const bool matches = K == 19 ? (five55 || six) : src.startsWith(Z, kFour, 4);
        if (!matches)
            continue;

        // Which layout this hit is decoded as: 19 or 24 once confirmed, 11
        // without a check.
        std::uint64_t hitLayout = K;
        if (K != 11 && C == -1) {
            int result;
            if (K == 19) {
                result = getMarkBookLength(src, Z - 6, 19);
                if (result == -1) {
                    result = getMarkBookLength(src, Z - 6, 24);
                    if (result != -1)
                        K = 24;
                }
            } else {
                result = getMarkBookLength(src, Z - 6, 24);
                if (result == -1)
                    K = 19;
            }
            hitLayout = K;
            C = result == 1 ? 1 : -1;
        }

        if (hitLayout == 19) {
            if (six)
                A = Z;
            if (five55 && Z - A <= 18)
                continue;
        } else if (hitLayout == 24) {
            if (six)
                A = Z;
            if ((src.startsWith(Z, kSix55, 6) || five55) && Z - A < 24)
                continue;
        }
        decode(db, Z, hitLayout);
    }
}

template<typename Source>
void BookmarkScanner<Source>::decode(const RawDatabase<Source> &db, std::uint64_t Z, std::uint64_t K)
{
    const Source &src = db.source();
    // Bytes back from Z - 3 to the nearest 0x01 (or to byte 0): how many of
    // title and URL have two-byte serial types.
    const std::uint64_t l = Z - 3 - src.lastAtOrBefore(Z - 3, 0x01);
    std::uint64_t J = 9, L = K;
    if (l == 1) {
        J = 10;
        L = K + 1;
    } else if (l == 2) {
        J = 11;
        L = K + 2;
    }
    auto notMarker = [&](std::uint64_t at) { return src.byte(at) != 0x00 && src.byte(at) != 0x01; };
    if (K == 24 && notMarker(Z + 11))
        ++L;
    if (K == 24 && notMarker(Z + 5) && notMarker(Z + 6))
        ++L;
    const std::uint64_t B = Z - J;

    auto bookmark = std::make_shared<PRBookMarkNode>();
    FieldDecoder<Source> f(src, std::size_t(db.pageSize()));
    for (int j = 1; j <= 3; ++j)
        f.skipOne(j, B, 3, L);
    if (auto v = l != 0 ? f.two(4, B, 3, L) : f.one(4, B, 3, L); nonEmpty(v))
        bookmark->setBookMarkTitle(toString(v));
    if (l == 0) {
        if (auto v = f.one(5, B, 3, L); nonEmpty(v))
            bookmark->setBookMarkURL(toString(v));
    } else if (auto v = l == 1 ? f.one(6, B, 3, L) : f.two(6, B, 3, L); nonEmpty(v)) {
        bookmark->setBookMarkURL(toString(v));
    }
    if (bookmark->bookMarkTitle() == QLatin1String("Root") || bookmark->bookMarkTitle() == QLatin1String("com.apple.ReadingList"))
        return;
    m_batch.add(nodeToVariant(bookmark));
}

template class BookmarkScanner<MappedSource>;
template class BookmarkScanner<StreamSource>;
