#pragma once

// What a run of deleted-record steps posts, every field of every record,
// one text a notification, so that two runs compare whole.

#include "backup/nodes/prnode.h"
#include "backup/scancontext.h"
#include "recovery/deletedrecordscanner.h"

#include <QStringList>

class ScanTranscript : public PropertyVisitor
{
public:
    explicit ScanTranscript(NotificationCenter &nc) : m_nc(nc)
    {
        nc.addObserver(this, QString(), [this](const Notification &n) {
            m_line = n.name + QLatin1Char(':');
            if (auto node = n.object.value<PRNodeRef>())
                node->describe(*this);
            else
                m_line += n.object.toString();
            lines << m_line;
        });
    }
    ~ScanTranscript() override { m_nc.removeObserver(this); }

    void text(const char *name, const QString &v) override { m_line += QStringLiteral(" %1=%2").arg(QLatin1String(name), v); }
    void data(const char *name, const QByteArray &v) override { m_line += QStringLiteral(" %1=#%2").arg(QLatin1String(name)).arg(v.size()); }
    void integer(const char *name, qint64 v) override { m_line += QStringLiteral(" %1=%2").arg(QLatin1String(name)).arg(v); }
    void unsignedInteger(const char *name, quint64 v) override { m_line += QStringLiteral(" %1=%2").arg(QLatin1String(name)).arg(v); }
    void flag(const char *name, bool v) override { m_line += QStringLiteral(" %1=%2").arg(QLatin1String(name)).arg(v); }
    void nodeCount(const char *, qsizetype) override {}

    QStringList lines;

private:
    NotificationCenter &m_nc;
    QString m_line;
};

// The given steps (all six by default) on folder, with a context flagged
// as the given iOS version.
inline QStringList transcriptOf(const QString &folder, DeletedRecordScanner::Options options, const char *version,
                                const std::vector<BackupScanner::Step> &steps = {})
{
    NotificationCenter nc;
    ScanContext ctx(nc);
    ctx.IOSVersionIOS6(QString::fromLatin1(version));
    ScanTranscript transcript(nc);
    for (const auto &step : steps.empty() ? DeletedRecordScanner::steps(options) : steps)
        step(ctx, folder);
    return transcript.lines;
}
