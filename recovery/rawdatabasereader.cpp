#include "recovery/rawdatabasereader.h"

#include <cstring>
#include <vector>

namespace RawDatabaseReader {

void *readData(std::FILE *file, void *buffer, std::uint64_t offset, int length)
{
    if (!file || !buffer || offset == 0 || length <= 0)
        return nullptr;
    std::vector<unsigned char> scratch(std::size_t(length), 0);
    if (fseeko(file, off_t(offset), SEEK_SET) == 0)
        (void)std::fread(scratch.data(), 1, scratch.size(), file);
    std::memcpy(buffer, scratch.data(), scratch.size());
    return buffer;
}

char *getHexString(std::FILE *file, std::uint64_t offset, int length, char *text)
{
    if (!file || !text || offset == 0 || length <= 0)
        return nullptr;
    std::vector<unsigned char> scratch(std::size_t(length), 0);
    if (fseeko(file, off_t(offset), SEEK_SET) != 0)
        return text;
    (void)std::fread(scratch.data(), 1, scratch.size(), file);
    static const char digits[] = "0123456789abcdef";
    for (int i = 0; i < length; ++i) {
        text[2 * i] = digits[scratch[std::size_t(i)] >> 4];
        text[2 * i + 1] = digits[scratch[std::size_t(i)] & 0xF];
    }
    return text;
}

} // namespace RawDatabaseReader
