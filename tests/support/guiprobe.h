#pragma once

// How long the GUI thread (the thread of the event loop) was held, for tests
// with or without widgets.

#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QTimer>

#include <algorithm>

namespace testsupport {

// Nanoseconds the calling thread has been ready to run but waited for a CPU
// (the kernel's scheduler statistics), or -1 where the kernel does not say.
inline qint64 runQueueWaitNs()
{
    QFile stat(QStringLiteral("/proc/thread-self/schedstat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = stat.readAll().simplified().split(' ');
    bool ok = false;
    const qint64 waited = fields.size() >= 2 ? fields.at(1).toLongLong(&ok) : -1;
    return ok ? waited : -1;
}

// Measures the longest time the GUI thread was held, ticking every
// intervalMs. A machine busy with other processes leaves the thread waiting
// for a CPU: that time is the machine's, not the application's, and is not
// counted; what the thread did or waited on itself is.
class GuiProbe
{
public:
    explicit GuiProbe(int intervalMs = 10) : m_interval(intervalMs)
    {
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        m_waited = runQueueWaitNs();
        m_tick.start();
        m_timer.start();
    }
    qint64 worst() const { return m_worst; }
    void stop() { m_timer.stop(); }

private:
    void tick()
    {
        qint64 held = m_tick.restart() - m_interval;
        const qint64 waited = runQueueWaitNs();
        if (waited >= 0 && m_waited >= 0)
            held -= (waited - m_waited) / 1000000;
        m_waited = waited;
        m_worst = std::max(m_worst, held);
    }

    QTimer m_timer;
    QElapsedTimer m_tick;
    const int m_interval;
    qint64 m_waited = -1;
    qint64 m_worst = 0;
};

} // namespace testsupport
