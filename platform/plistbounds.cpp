#include "platform/plistbounds.h"

#include <QByteArrayView>

#include <cstring>
#include <vector>

namespace PlistBounds {

namespace {

// ---------------------------------------------------------------------------
// XML
//
// The scan reads the text token by token the way libplist 2.2's own XML
// reader does, so that both see the same tags: a region one of them skips
// (a comment, a CDATA section, a quoted attribute) must be skipped by the
// other too, or a closing tag hidden there would let the real nesting run
// past the count. Where the two could disagree the scan refuses.
//
// Outside element text libplist knows:
//   <? ... ?>               processing instruction; "?>" inside a double-quoted
//                           run does not end it
//   <!-- ... -->            comment
//   <!DOCTYPE ... >         with an internal subset: <!DOCTYPE x [ ... ]>;
//                           quoted runs skipped as above
//   <name ...>              a tag; its name ends at white space, '<' or '>';
//                           the tag ends at the first '>' outside quotes;
//                           "/>" makes it empty (<dict/>, <dict />)
//   </name ...>             a closing tag
// Inside the text of <key>, <string>, <integer>, <real>, <true>, <false>,
// <date> and <data> only comments and <![CDATA[ ... ]]> may appear before
// the closing tag, which must name the same element.
//
// Every opened <plist>, <dict> and <array> counts as a level (libplist 2.2
// builds nodes for dictionaries and arrays; some versions recurse for nested
// <plist> tags as well). Every closing tag, whatever it names, is one level
// less: libplist either closes a level there or stops with an error. After
// the root value only closing tags may follow.
// ---------------------------------------------------------------------------

class XmlScan
{
public:
    XmlScan(const char *begin, const char *end, int maxDepth)
        : m_pos(begin)
        , m_end(end)
        , m_maxDepth(maxDepth)
    {
    }

    bool run()
    {
        int depth = 0;
        int containers = 0;
        bool rootDone = false;
        for (;;) {
            skipSpace();
            if (m_pos >= m_end)
                return depth == 0;
            if (*m_pos != '<' || ++m_pos >= m_end)
                return false;
            if (*m_pos == '?') {
                if (!skipPast("?>", true))
                    return false;
                continue;
            }
            if (*m_pos == '!') {
                if (!skipDeclaration())
                    return false;
                continue;
            }
            QByteArrayView name;
            bool empty = false;
            if (!readTag(name, empty))
                return false;
            if (name.startsWith('/')) {
                if (--depth < 0)
                    return false;
                if (name == "/dict" || name == "/array") {
                    if (--containers < 0)
                        return false;
                    rootDone = containers == 0;
                }
                continue;
            }
            // One root value only: libplist 2.2 takes an empty root <array/>
            // as the parent of whatever follows it.
            if (rootDone)
                return false;
            if (name == "plist" || name == "dict" || name == "array") {
                if (empty) {
                    // Still a node one level down.
                    if (name != "plist" && depth + 1 > m_maxDepth)
                        return false;
                    rootDone = containers == 0 && name != "plist";
                } else {
                    if (++depth > m_maxDepth)
                        return false;
                    if (name != "plist")
                        ++containers;
                }
            } else if (isTextElement(name)) {
                if (!empty && !skipText(name))
                    return false;
                rootDone = containers == 0;
            } else {
                return false;
            }
        }
    }

private:
    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    static bool isTextElement(QByteArrayView name)
    {
        return name == "key" || name == "string" || name == "integer" || name == "real" || name == "true"
               || name == "false" || name == "date" || name == "data";
    }

    void skipSpace()
    {
        while (m_pos < m_end && isSpace(*m_pos))
            ++m_pos;
    }

    // From an opening double quote at m_pos to its closing one.
    bool skipQuoted()
    {
        const void *close = std::memchr(m_pos + 1, '"', std::size_t(m_end - m_pos - 1));
        if (!close)
            return false;
        m_pos = static_cast<const char *>(close);
        return true;
    }

    // Moves to just after the first occurrence of text at or after m_pos.
    bool skipPast(QByteArrayView text, bool skipQuotes)
    {
        if (!skipQuotes) {
            const QByteArrayView rest(m_pos, m_end - m_pos);
            const qsizetype at = rest.indexOf(text);
            if (at < 0)
                return false;
            m_pos += at + text.size();
            return true;
        }
        while (m_end - m_pos >= text.size()) {
            if (std::memcmp(m_pos, text.data(), std::size_t(text.size())) == 0) {
                m_pos += text.size();
                return true;
            }
            if (*m_pos == '"' && !skipQuoted())
                return false;
            ++m_pos;
        }
        return false;
    }

    // Moves to the first of chars at or after m_pos.
    bool findAny(const char *chars, bool skipQuotes)
    {
        while (m_pos < m_end) {
            if (skipQuotes && *m_pos == '"' && !skipQuoted())
                return false;
            if (*m_pos != '\0' && std::strchr(chars, *m_pos))
                return true;
            ++m_pos;
        }
        return false;
    }

    // m_pos is at the '!' of "<!".
    bool skipDeclaration()
    {
        const QByteArrayView rest(m_pos, m_end - m_pos);
        if (rest.size() > 3 && rest.startsWith("!--")) {
            m_pos += 3;
            return skipPast("-->", false);
        }
        if (rest.size() > 8 && rest.startsWith("!DOCTYPE")) {
            m_pos += 8;
            for (;;) {
                if (!findAny(" \t\r\n[>", true))
                    return false;
                if (*m_pos == '[')
                    return skipPast("]>", true);
                if (*m_pos == '>') {
                    ++m_pos;
                    return true;
                }
                skipSpace();
            }
        }
        return false;
    }

    // m_pos is just after '<'. Leaves m_pos after the tag's '>'.
    bool readTag(QByteArrayView &name, bool &empty)
    {
        const char *start = m_pos;
        if (!findAny(" \r\n\t<>", false))
            return false;
        qsizetype length = m_pos - start;
        // libplist copies the name as a C string: a NUL would cut it short.
        if (std::memchr(start, '\0', std::size_t(length)))
            return false;
        if (*m_pos != '>' && !findAny("<>", true))
            return false;
        if (*m_pos != '>')
            return false;
        empty = m_pos[-1] == '/';
        if (empty && m_pos - start - 1 < length)
            length = m_pos - start - 1;
        ++m_pos;
        name = QByteArrayView(start, length);
        return true;
    }

    // The text of a non-empty element named name, through its closing tag.
    bool skipText(QByteArrayView name)
    {
        for (;;) {
            const void *open = std::memchr(m_pos, '<', std::size_t(m_end - m_pos));
            if (!open)
                return false;
            m_pos = static_cast<const char *>(open) + 1;
            if (m_pos >= m_end)
                return false;
            if (*m_pos == '/')
                break;
            const QByteArrayView rest(m_pos, m_end - m_pos);
            if (rest.startsWith("!--")) {
                m_pos += 3;
                if (!skipPast("-->", false))
                    return false;
            } else if (rest.startsWith("![CDATA[")) {
                m_pos += 8;
                if (!skipPast("]]>", false))
                    return false;
            } else {
                return false;
            }
        }
        ++m_pos;
        if (m_end - m_pos <= name.size() || std::memcmp(m_pos, name.data(), std::size_t(name.size())) != 0)
            return false;
        m_pos += name.size();
        skipSpace();
        if (m_pos >= m_end || *m_pos != '>')
            return false;
        ++m_pos;
        return true;
    }

    const char *m_pos;
    const char *m_end;
    const int m_maxDepth;
};

// ---------------------------------------------------------------------------
// Binary ("bplist00")
//
//   offset 0         "bplist00"
//   offset 8         the objects, each starting with a marker byte
//   table offset     the offset table: one big-endian unsigned integer of
//                    offsetSize bytes per object, the object's offset from
//                    the start of the data
//   size - 32        the trailer:
//                      [0..5]    unused
//                      [6]       offsetSize (bytes per offset-table entry)
//                      [7]       refSize (bytes per object reference)
//                      [8..15]   number of objects, big-endian
//                      [16..23]  index of the top object, big-endian
//                      [24..31]  offset of the offset table, big-endian
//
// Markers (high nibble the type, low nibble a count or size):
//   0x00 null, 0x08 false, 0x09 true, 0x0F fill
//   0x1n integer of 2^n bytes         0x2n real of 2^n bytes
//   0x33 date (8-byte real)           0x4n data, n bytes
//   0x5n ASCII string, n bytes        0x6n UTF-16 string, n units
//   0x8n UID of n+1 bytes
//   0xAn array of n references        0xBn ordered set, 0xCn set (as arrays)
//   0xDn dictionary: n key references, then n value references
// A count nibble of 0xF means the count follows as an integer object
// (0x1n and 2^n big-endian bytes).
//
// References are object indexes of refSize big-endian bytes. Nothing stops a
// list from referring to one object many times, or to an object that holds
// the reference: libplist copies a shared object once per reference and stops
// only a cycle it reaches, after recursing all the way round. The walk below
// follows references the way libplist does, from the top object, with an
// explicit stack; it refuses a reference back to an object on the current
// path (a cycle), a path deeper than maxDepth, and more visits than one per
// kBytesPerVisit bytes of data.
//
// A list whose dictionaries and arrays are not shared (writers share equal
// strings, numbers and the like, never containers) visits one object per
// reference plus the top one. A list of more than 255 objects needs
// references of at least two bytes, so such a list stays under one visit per
// two bytes; only sharing containers (the exponential case), or hundreds of
// thousands of one-byte references to a handful of objects, reaches the
// bound. libplist spends about 100 bytes and 0.3 microseconds per object it
// builds, so the bound also keeps a 16 MiB list to some 8 million objects.
// ---------------------------------------------------------------------------

constexpr qsizetype kHeaderSize = 8;
constexpr qsizetype kTrailerSize = 32;
constexpr quint64 kBytesPerVisit = 2;
constexpr quint64 kFreeVisits = 1024; // so that small lists are never short

quint64 readBigEndian(const uchar *p, int n)
{
    quint64 v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | p[i];
    return v;
}

class BinaryScan
{
public:
    BinaryScan(const QByteArray &data, int maxDepth)
        : m_data(reinterpret_cast<const uchar *>(data.constData()))
        , m_size(quint64(data.size()))
        , m_maxDepth(maxDepth)
    {
    }

    bool run()
    {
        if (m_size < quint64(kHeaderSize + kTrailerSize))
            return false;
        const uchar *trailer = m_data + m_size - kTrailerSize;
        m_offsetSize = trailer[6];
        m_refSize = trailer[7];
        m_count = readBigEndian(trailer + 8, 8);
        const quint64 top = readBigEndian(trailer + 16, 8);
        m_table = readBigEndian(trailer + 24, 8);
        const quint64 tableEnd = m_size - kTrailerSize;
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8)
            return false;
        if (m_count == 0 || top >= m_count)
            return false;
        if (m_table < quint64(kHeaderSize) || m_table > tableEnd || m_count > (tableEnd - m_table) / m_offsetSize)
            return false;

        m_onPath.assign(std::size_t(m_count), false);
        const quint64 maxVisits = m_size / kBytesPerVisit + kFreeVisits;
        m_visits = 1;
        if (!enter(top))
            return false;
        while (!m_stack.empty()) {
            Frame &frame = m_stack.back();
            if (frame.next == frame.refs) {
                m_onPath[std::size_t(frame.object)] = false;
                m_stack.pop_back();
                continue;
            }
            const quint64 ref = readBigEndian(m_data + frame.refsAt + frame.next * m_refSize, m_refSize);
            ++frame.next;
            if (ref >= m_count || m_onPath[std::size_t(ref)] || ++m_visits > maxVisits)
                return false;
            if (!enter(ref)) // may grow m_stack: frame is not used past here
                return false;
        }
        return true;
    }

private:
    struct Frame
    {
        quint64 object;
        quint64 refsAt; // offset of the first reference
        quint64 refs;   // number of references
        quint64 next;   // the next one to follow
    };

    // Looks at object index; a container is pushed to be walked.
    bool enter(quint64 index)
    {
        const quint64 offset = readBigEndian(m_data + m_table + index * m_offsetSize, m_offsetSize);
        if (offset < quint64(kHeaderSize) || offset >= m_table)
            return false;
        const uchar marker = m_data[offset];
        const int type = marker >> 4;
        const bool isDict = type == 0xD;
        if (type != 0xA && type != 0xB && type != 0xC && !isDict)
            return true;
        quint64 at = offset + 1;
        quint64 count = marker & 0x0F;
        if (count == 0x0F) {
            if (at >= m_table)
                return false;
            const uchar sizeMarker = m_data[at];
            if ((sizeMarker >> 4) != 0x1 || (sizeMarker & 0x0F) > 3)
                return false;
            const int width = 1 << (sizeMarker & 0x0F);
            if (m_table - at - 1 < quint64(width))
                return false;
            count = readBigEndian(m_data + at + 1, width);
            at += 1 + quint64(width);
        }
        const quint64 perEntry = quint64(m_refSize) * (isDict ? 2 : 1);
        if (count > (m_table - at) / perEntry)
            return false;
        if (int(m_stack.size()) >= m_maxDepth)
            return false;
        m_onPath[std::size_t(index)] = true;
        m_stack.push_back(Frame{index, at, count * (isDict ? 2 : 1), 0});
        return true;
    }

    const uchar *m_data;
    const quint64 m_size;
    const int m_maxDepth;
    int m_offsetSize = 0;
    int m_refSize = 0;
    quint64 m_count = 0;
    quint64 m_table = 0;
    quint64 m_visits = 0;
    std::vector<bool> m_onPath;
    std::vector<Frame> m_stack;
};

} // namespace

bool check(const QByteArray &data, int maxDepth)
{
    if (data.startsWith("bplist00"))
        return BinaryScan(data, maxDepth).run();
    return XmlScan(data.constData(), data.constData() + data.size(), maxDepth).run();
}

} // namespace PlistBounds
