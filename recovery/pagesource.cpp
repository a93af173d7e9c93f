#include "recovery/pagesource.h"

#include "recovery/rawdatabasereader.h"

#include <vector>

void StreamSource::read(std::uint64_t offset, void *out, std::size_t n) const
{
    std::memset(out, 0, n);
    if (n > 0)
        RawDatabaseReader::readData(m_file, out, offset, int(n));
}

QByteArray StreamSource::hex(std::uint64_t offset, int n) const
{
    std::vector<char> text(std::size_t(2 * n + 1), '\0');
    RawDatabaseReader::getHexString(m_file, offset, n, text.data());
    // An unreadable offset leaves the zeroed buffer: the same as zero bytes.
    QByteArray out(text.data(), 2 * n);
    for (char &c : out) {
        if (c == '\0')
            c = '0';
    }
    return out;
}
