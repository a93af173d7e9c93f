#pragma once

// What the window tests share: screenshots for the eye and a probe of how
// long the GUI thread was held.

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace testsupport {

// Saves a picture of w into OSTRA_SCREENSHOT_DIR when it is set.
inline void screenshot(QWidget *w, const QString &name)
{
    const QString dir = qEnvironmentVariable("OSTRA_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

// Measures the longest time the GUI thread was held while it runs.
class GuiProbe
{
public:
    GuiProbe()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_worst = std::max(m_worst, m_tick.restart() - 10); });
        m_tick.start();
        m_timer.start();
    }
    qint64 worst() const { return m_worst; }

private:
    QTimer m_timer;
    QElapsedTimer m_tick;
    qint64 m_worst = 0;
};

} // namespace testsupport
