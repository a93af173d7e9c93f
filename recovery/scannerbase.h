#pragma once

#include "backup/scancontext.h"
#include "recovery/fielddecoder.h"
#include "recovery/rawdatabase.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <algorithm>
#include <cstdlib>
#include <vector>

// What every kind's scanner needs beside the raw file.
namespace ScannerSupport {

// atoi/atol of a decoded field (0 when it is absent).
inline int toInt(const std::optional<QByteArray> &text)
{
    return text ? std::atoi(text->constData()) : 0;
}
inline long long toLong(const std::optional<QByteArray> &text)
{
    return text ? std::atoll(text->constData()) : 0;
}
inline bool nonEmpty(const std::optional<QByteArray> &text)
{
    return text && !text->isEmpty();
}
QString toString(const std::optional<QByteArray> &text);

// A date field as the live steps read it: seconds since 1970 or 2001
// (type 0), since 2001 (type 1); message dates first drop nanoseconds.
QString dateOf(long long value, int type);

// dateOf that keeps its last answer. Neighbouring carved rows often share a
// date and the hits of a hostile page all share one, and making the text is
// the dearest step of a hit. One lives for one scanner run, under one time
// zone.
class DateMemo
{
public:
    QString operator()(long long value, int type)
    {
        if (!m_known || value != m_value || type != m_type) {
            m_text = dateOf(value, type);
            m_value = value;
            m_type = type;
            m_known = true;
        }
        return m_text;
    }

private:
    QString m_text;
    long long m_value = 0;
    int m_type = 0;
    bool m_known = false;
};

// The page test of every carver: do the lower-case hex characters of n bytes
// at offset hold one of the kind's patterns in a window of w characters
// (RecordHeader::bcheckSubStringIsValid), or one of prefixes
// (slidingWindowMatches)? The text is made on the stack.
template<typename Source>
bool pageHolds(const Source &src, std::uint64_t offset, int n, int type, int w)
{
    char text[64];
    n = std::min(n, 32);
    src.hexInto(offset, n, text);
    return RecordHeader::bcheckSubStringIsValid(text, 2 * n, type, w);
}
template<typename Source>
bool pageHoldsAny(const Source &src, std::uint64_t offset, int n, int w, std::initializer_list<const char *> prefixes)
{
    char text[64];
    n = std::min(n, 32);
    src.hexInto(offset, n, text);
    return RecordHeader::slidingWindowMatches(text, 2 * n, w, prefixes);
}

// Carved records of one notification name, posted in batches through
// NotificationCenter::postEach. Observers see the same notifications in the
// same order as with a post per record, provided the carver flushes before
// it posts anything else (progress) and at the end of every page (where it
// looks at the cancel flag a handler may have set). At most kLimit records
// wait at a time.
class RecordBatch
{
public:
    static constexpr std::size_t kLimit = 256;

    RecordBatch(NotificationCenter &nc, const QString &name) : m_nc(nc), m_name(name) { m_waiting.reserve(kLimit); }
    ~RecordBatch() { flush(); }
    RecordBatch(const RecordBatch &) = delete;
    RecordBatch &operator=(const RecordBatch &) = delete;

    void add(QVariant object)
    {
        m_waiting.push_back(std::move(object));
        if (m_waiting.size() >= kLimit)
            flush();
    }
    void flush()
    {
        if (m_waiting.empty())
            return;
        m_nc.postEach(m_name, m_waiting);
        m_waiting.clear();
    }

private:
    NotificationCenter &m_nc;
    QString m_name;
    std::vector<QVariant> m_waiting;
};

// "%@ %@" of the current text and a value.
inline QString joined(const QString &current, const QString &value)
{
    return current + QLatin1Char(' ') + value;
}

// HTML of an older note body as plain text.
QString plainNoteBody(const QString &html);

} // namespace ScannerSupport
