#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <deque>

// The last lines of a backup tool's output, for the user to read when the
// backup failed. A tool may print for hours (a progress line per file), so
// only a bounded tail is kept: the oldest lines go first.
class BackupOutputTail
{
public:
    static constexpr qsizetype kMaxBytes = 64 * 1024;

    void add(const QString &line);
    // The kept lines, one a line; at most kMaxBytes of UTF-8.
    QString text() const;
    // Bytes kept (UTF-8, line ends included).
    qsizetype size() const { return m_bytes; }
    // Bytes seen in all, kept or not.
    qint64 totalBytes() const { return m_total; }
    void clear();

private:
    std::deque<QByteArray> m_lines; // UTF-8, without line ends
    qsizetype m_bytes = 0;
    qint64 m_total = 0;
};
