#include "maintenance/clean/prcleanfix.h"

#include "backup/textformat.h"
#include "maintenance/clean/prcleanremoval.h"
#include "platform/notificationcenter.h"

#include <QCoreApplication>

namespace {

QString sizeText(quint64 bytes)
{
    char buffer[100] = {};
    return QString::fromLatin1(TextFormat::size_to_unit(bytes, buffer));
}

} // namespace

PRCleanFix::PRCleanFix(PRCleanRemoval *removal, QObject *parent)
    : QObject(parent)
    , m_removal(removal)
{
    qRegisterMetaType<PRCleanFixResult>();
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &PRCleanFix::cleanFilesTimer_hander);
    if (m_removal)
        connect(m_removal, &PRCleanRemoval::removalEnded, this, &PRCleanFix::removalEnded);
}

PRCleanFix::~PRCleanFix() = default;

int PRCleanFix::totalTimeFor(quint64 fileNumber)
{
    if (fileNumber <= 1000)
        return 10;
    if (fileNumber <= 9999)
        return 60;
    if (fileNumber <= 29999)
        return 180;
    if (fileNumber <= 49999)
        return 300;
    return 600;
}

int PRCleanFix::progressAt(int tick, int totalTime)
{
    if (totalTime <= 0 || tick <= 0)
        return 0;
    // The bar never claims the end before the removal reached it.
    return int(std::min<qint64>(99, qint64(tick) * 100 / totalTime));
}

QString PRCleanFix::fixResultText(quint64 files, quint64 bytes)
{
    return tr("%1 app issues have been fixed, Ostra had successfully free up %2 space on your device.")
        .arg(files)
        .arg(sizeText(bytes));
}

QString PRCleanFix::partialResultText(const PRCleanRemovalReport &report)
{
    QString text = tr("%1 of %2 app issues have been fixed, Ostra freed up %3 space on your device.")
                       .arg(report.removedFiles)
                       .arg(report.items.size())
                       .arg(sizeText(report.removedBytes));
    if (!report.reason.isEmpty())
        text += QLatin1Char('\n') + report.reason;
    return text;
}

bool PRCleanFix::CleanAlliPhoneFiles(const PRCleanRemovalRequest &confirmed)
{
    if (m_running || !m_removal)
        return false;
    PRCleanRemovalRequest request = confirmed;
    request.scope = PRCleanRemovalRequest::Scope::Fix;
    // Marked running first: the removal's end may be heard from inside start.
    m_running = true;
    m_removalRunning = true;
    m_fileNumber = quint64(request.files.size());
    m_totalTime = totalTimeFor(m_fileNumber);
    m_cleanTimeCount = 0;
    if (!m_removal->start(request)) {
        m_running = false;
        m_removalRunning = false;
        m_fileNumber = 0;
        return false;
    }
    setProgress(0);
    Q_EMIT fixStarted(m_totalTime);
    if (m_timerEnabled)
        m_timer.start();
    return true;
}

void PRCleanFix::cleanFilesTimer_hander()
{
    if (!m_running || !m_removalRunning)
        return;
    ++m_cleanTimeCount;
    setProgress(progressAt(m_cleanTimeCount, m_totalTime));
}

void PRCleanFix::setProgress(int percent)
{
    m_progress = percent;
    NotificationCenter::defaultCenter().post(QStringLiteral("CleanFileProgressInfo"), QVariant(percent));
    Q_EMIT fixProgress(percent);
}

void PRCleanFix::removalEnded(const PRCleanRemovalReport &report)
{
    if (!m_running || report.scope != PRCleanRemovalRequest::Scope::Fix)
        return;
    m_timer.stop();
    m_removalRunning = false;
    m_running = false;

    PRCleanFixResult result;
    result.complete = report.complete() && report.refused == 0;
    result.files = quint64(report.removedFiles);
    result.bytes = report.removedBytes;
    result.text = result.complete ? fixResultText(result.files, result.bytes) : partialResultText(report);
    result.report = report;
    setProgress(100);
    m_cleanTimeCount = 0;
    m_fileNumber = 0;
    Q_EMIT fixEnded(result);
}
