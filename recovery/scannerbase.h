#pragma once

#include "backup/scancontext.h"
#include "recovery/fielddecoder.h"
#include "recovery/rawdatabase.h"

#include <QByteArray>
#include <QString>

#include <cstdlib>

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

// "%@ %@" of the current text and a value.
inline QString joined(const QString &current, const QString &value)
{
    return current + QLatin1Char(' ') + value;
}

// HTML of an older note body as plain text.
QString plainNoteBody(const QString &html);

} // namespace ScannerSupport
