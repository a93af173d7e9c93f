#include "maintenance/backup/backupoutputtail.h"

void BackupOutputTail::add(const QString &line)
{
    QByteArray kept = line.toUtf8();
    m_total += kept.size() + 1;
    // A single line longer than the whole tail keeps only its end, cut where
    // a character begins.
    if (kept.size() + 1 > kMaxBytes) {
        qsizetype from = kept.size() - (kMaxBytes - 1);
        while (from < kept.size() && (uchar(kept.at(from)) & 0xC0) == 0x80)
            ++from;
        kept = kept.mid(from);
    }
    const qsizetype bytes = kept.size() + 1;
    while (!m_lines.empty() && m_bytes + bytes > kMaxBytes) {
        m_bytes -= m_lines.front().size() + 1;
        m_lines.pop_front();
    }
    m_lines.push_back(std::move(kept));
    m_bytes += bytes;
}

QString BackupOutputTail::text() const
{
    QByteArray text;
    text.reserve(m_bytes);
    for (const QByteArray &line : m_lines) {
        text += line;
        text += '\n';
    }
    return QString::fromUtf8(text);
}

void BackupOutputTail::clear()
{
    m_lines.clear();
    m_bytes = 0;
    m_total = 0;
}
