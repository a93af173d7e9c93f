#include "recovery/bytemarkindex.h"
#include "recovery/pagesource.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <random>
#include <vector>

namespace {

// The plain walks the index answers for.
std::optional<std::uint64_t> walkBack(const std::vector<unsigned char> &bytes, std::uint64_t x, unsigned char mark)
{
    if (bytes.empty())
        return std::nullopt;
    for (std::uint64_t p = std::min<std::uint64_t>(x, bytes.size() - 1) + 1; p-- > 0;) {
        if (bytes[p] == mark)
            return p;
    }
    return std::nullopt;
}
std::optional<std::uint64_t> walkForward(const std::vector<unsigned char> &bytes, std::uint64_t x, unsigned char mark)
{
    for (std::uint64_t p = x; p < bytes.size(); ++p) {
        if (bytes[p] == mark)
            return p;
    }
    return std::nullopt;
}

// Files whose marks are dense, sparse, absent, or only at the edges of
// words (64 bytes) and blocks (512 bytes), at sizes around those edges.
std::vector<std::vector<unsigned char>> files()
{
    std::vector<std::vector<unsigned char>> out;
    std::mt19937 random(7);
    for (std::size_t size : {0u, 1u, 63u, 64u, 65u, 511u, 512u, 513u, 1024u, 4099u}) {
        for (int density : {0, 1, 50, 1000}) {
            std::vector<unsigned char> bytes(size, 0x01);
            for (auto &b : bytes) {
                if (density && int(random() % 1000) < density)
                    b = 0x00;
            }
            out.push_back(bytes);
        }
        std::vector<unsigned char> edges(size, 0x07);
        for (std::size_t at : {std::size_t(0), std::size_t(63), std::size_t(64), std::size_t(511), std::size_t(512), size - 1}) {
            if (at < size)
                edges[at] = 0x00;
        }
        out.push_back(edges);
    }
    return out;
}

} // namespace

TEST(ByteMarkIndex, AnswersAsTheWalkFromEveryPosition)
{
    for (const auto &bytes : files()) {
        SCOPED_TRACE(bytes.size());
        for (unsigned char mark : {0x00, 0x01, 0x07}) {
            const ByteMarkIndex index(bytes.data(), bytes.size(), mark);
            for (std::uint64_t x = 0; x < bytes.size() + 70; ++x) {
                ASSERT_EQ(index.lastAtOrBefore(x), walkBack(bytes, x, mark)) << "x " << x << " mark " << int(mark);
                ASSERT_EQ(index.firstAtOrAfter(x), walkForward(bytes, x, mark)) << "x " << x << " mark " << int(mark);
            }
        }
    }
}

// The two sources answer the scanners' questions alike, past the end of the
// file included: the mapped one from its index, the stream one by walking.
TEST(ByteMarkIndex, MappedAndStreamSourcesFindTheSameNearestBytes)
{
    QTemporaryDir dir;
    std::mt19937 random(11);
    int file = 0;
    for (const auto &bytes : files()) {
        // The stream source walks a byte per read: small files do.
        if (bytes.empty() || bytes.size() > 1024)
            continue;
        const QString path = dir.filePath(QString::number(++file));
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
        out.close();
        MappedSource mapped;
        StreamSource stream;
        ASSERT_TRUE(mapped.open(path));
        ASSERT_TRUE(stream.open(path));
        for (unsigned char mark : {0x00, 0x01, 0x03}) {
            for (std::uint64_t x = 1; x < bytes.size() + 20; x += 1 + random() % 23) {
                ASSERT_EQ(mapped.lastAtOrBefore(x, mark), stream.lastAtOrBefore(x, mark)) << path.toStdString() << " x " << x;
                ASSERT_EQ(mapped.firstAtOrAfter(x, mark), stream.firstAtOrAfter(x, mark)) << path.toStdString() << " x " << x;
            }
        }
    }
}
