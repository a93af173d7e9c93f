// The cleaner's head on the main view: the scan's bar and running totals per
// kind, the finished scan's summary, the labels that move by what a removal
// really removed, and the one-click fix with its timed bar and result.

#include "app/veldruneappdelegate.h"

#include "backup/textformat.h"
#include "maintenance/clean/prcleanfix.h"
#include "maintenance/clean/prcleanremoval.h"
#include "maintenance/clean/prcleanresults.h"
#include "maintenance/page/prcleansummarypanel.h"
#include "platform/guithread.h"
#include "platform/notificationcenter.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <array>

namespace {

QString sizeText(quint64 bytes)
{
    std::array<char, 100> buffer{};
    return QString::fromLatin1(TextFormat::size_to_unit(bytes, buffer.data()));
}

void onGui(QObject *context, std::function<void()> fn)
{
    if (isGuiThread())
        fn();
    else
        QMetaObject::invokeMethod(context, std::move(fn), Qt::QueuedConnection);
}

quint64 bytesOf(const Notification &notification)
{
    return notification.object.value<quint64>();
}

// The finish view's summary: what the results hold now (the scan's finds,
// less what the phone really removed since).
void writeCleanSummary(VeldruneAppDelegate &d, quint64 count, quint64 bytes)
{
    d.FileNumber = double(count);
    d.allCleanFileNumber = QString::number(count);
    d.allCleanFileSize = sizeText(bytes);
    // The counts in yellow, the rest in white; the texts are numbers and
    // sizes of our own, so the rich text carries nothing of the phone's.
    const QString yellow = QStringLiteral("<span style=\"color:#fdf009\">%1</span>");
    d.cleanFilelab->setTextFormat(Qt::RichText);
    d.cleanFilelab->setText(
        QStringLiteral("<span style=\"color:white\">%1 %2 %3 %4</span>")
            .arg(yellow.arg(d.allCleanFileNumber.toHtmlEscaped()),
                 VeldruneAppDelegate::tr("app issues are affecting your iDevice system performance and wasting"),
                 yellow.arg(d.allCleanFileSize.toHtmlEscaped()),
                 VeldruneAppDelegate::tr("disk space on your iDevice, Fix now to speed up and revive your iDevice.")));
}

} // namespace

void VeldruneAppDelegate::buildCleanHead()
{
    cleanViewController->buildView(ClearnView);
    PRCleanSummaryPanel *head = cleanViewController->summary();
    cleanShowView = head;
    cleanScanView = head->cleanScanView;
    cleanFinishView = head->cleanFinishView;
    fixResultView = head->fixResultView;
    tempJunkFileTextlab = head->tempJunkFileTextlab;
    cacheTextlab = head->cacheTextlab;
    cookieTextlab = head->cookieTextlab;
    cleanFilelab = head->cleanFilelab;
    topInfoAnytlab = head->topInfoAnytlab;
    fixInfolab = head->fixInfolab;
    cleanprogressor = head->cleanprogressor;
    connect(head->fixButton, &QPushButton::clicked, this, &VeldruneAppDelegate::CleanAlliPhoneFiles);
    connect(head->rescanButton, &QPushButton::clicked, this, &VeldruneAppDelegate::ClickCleanAction);
    connect(head->scanAgainButton, &QPushButton::clicked, this, &VeldruneAppDelegate::ClickCleanAction);
    connect(cleanViewController, &PRCleanViewController::scanEnded, this,
            [this](const PRCleanScanReport &report) { cleanScanEnded(report.finished, report.reason); });
    // The summary follows the rows the phone really let go (the fix tells
    // its own result).
    connect(cleanViewController, &PRCleanViewController::removalEnded, this, [this] {
        const PRCleanResults *results = cleanViewController->results();
        writeCleanSummary(*this, results->totalFileNumber(), results->totalFileSize());
    });
    connect(cleanViewController->fix(), &PRCleanFix::fixEnded, this,
            [this](const PRCleanFixResult &result) { CleanAlliPhoneFilesThreaderOnMain(result.text); });
}

void VeldruneAppDelegate::registerCleanObservers()
{
    m_nc.addObserver(this, QStringLiteral("CleanFileProgressInfo"),
                     [this](const Notification &n) { CleanFileProgressInfoHandle(n); });
    m_nc.addObserver(this, QStringLiteral("AddCleanFileSizeThreadProgressInfo"),
                     [this](const Notification &n) { AddCleanFileSizeThreadProgressInfoHandle(n); });
    m_nc.addObserver(this, QStringLiteral("CleanFilehasFinished"),
                     [this](const Notification &n) { CleanFilehasFinishedHandle(n); });
    m_nc.addObserver(this, QStringLiteral("CleanJunkFilesSize"),
                     [this](const Notification &n) { CleanJunkFilesSizeHandle(n); });
    m_nc.addObserver(this, QStringLiteral("CleanCacheFilesSize"),
                     [this](const Notification &n) { CleanCacheFilesSizeHandle(n); });
    m_nc.addObserver(this, QStringLiteral("CleanCookFilesSize"),
                     [this](const Notification &n) { CleanCookFilesSizeHandle(n); });
}

// ------------------------------------------------------------------- scan

void VeldruneAppDelegate::CleanFileProgressInfoHandle(const Notification &notification)
{
    const int percent = notification.object.toInt();
    onGui(this, [this, percent] { CleanFileProgressInfoHandleOnMain(percent); });
}

void VeldruneAppDelegate::CleanFileProgressInfoHandleOnMain(int percent)
{
    cleanprogressor->setRange(0, 100);
    cleanprogressor->setValue(qBound(0, percent, 100));
}

void VeldruneAppDelegate::AddCleanFileSizeThreadProgressInfoHandle(const Notification &notification)
{
    const QVariantList sizes = notification.object.toList();
    if (sizes.size() != 3)
        return;
    const quint64 junk = sizes.at(0).value<quint64>();
    const quint64 cache = sizes.at(1).value<quint64>();
    const quint64 cookie = sizes.at(2).value<quint64>();
    onGui(this, [this, junk, cache, cookie] { AddCleanFileSizeThreadProgressInfoHandleOnMain(junk, cache, cookie); });
}

void VeldruneAppDelegate::AddCleanFileSizeThreadProgressInfoHandleOnMain(quint64 junk, quint64 cache, quint64 cookie)
{
    if (junk > 0)
        tempJunkFileTextlab->setText(tr("Temp Files Cleaner (%1)").arg(sizeText(junk)));
    if (cache > 0)
        cacheTextlab->setText(tr("Cache Cleaner (%1)").arg(sizeText(cache)));
    if (cookie > 0)
        cookieTextlab->setText(tr("Cookie Cleaner (%1)").arg(sizeText(cookie)));
    allCacheFileNumber = cache;
    allJunkFileNumber = junk;
    allCookFileNumber = cookie;
}

void VeldruneAppDelegate::CleanFilehasFinishedHandle(const Notification &notification)
{
    const quint64 total = bytesOf(notification);
    onGui(this, [this, total] { CleanFilehasFinishedOnMainThreadHanld(total); });
}

void VeldruneAppDelegate::CleanFilehasFinishedOnMainThreadHanld(quint64 totalBytes)
{
    cleanprogressor->setValue(100);
    writeCleanSummary(*this, cleanViewController->results()->GetCleanTaotalFileNumber(), totalBytes);
    QFont font(QStringLiteral("Lucida Grande"));
    font.setPointSize(11);
    cleanFilelab->setFont(font);
    cleanScanView->hide();
    cleanFinishView->show();
    fixResultView->hide();
    for (const char *name : {"systemlibBtn", "appBtn", "photoBtn", "musicBtn", "videoBtn", "transContactBtn",
                             "transMessageBtn", "transNoteBtn"}) {
        if (QPushButton *row = rowButton(name))
            row->setEnabled(true);
    }
}

void VeldruneAppDelegate::cleanScanEnded(bool finished, const QString &why)
{
    if (finished)
        return;
    // No finish view: the bar stops where it was and the head says why.
    topInfoAnytlab->setText(why.isEmpty() ? tr("The scan stopped before its end.") : why);
}

// ----------------------------------------------------------- removal labels

void VeldruneAppDelegate::CleanJunkFilesSizeHandle(const Notification &notification)
{
    const quint64 removed = bytesOf(notification);
    onGui(this, [this, removed] { CleanJunkFilesSizeHandleMain(removed); });
}

void VeldruneAppDelegate::CleanCacheFilesSizeHandle(const Notification &notification)
{
    const quint64 removed = bytesOf(notification);
    onGui(this, [this, removed] { CleanCacheFilesSizeHandleOnMain(removed); });
}

void VeldruneAppDelegate::CleanCookFilesSizeHandle(const Notification &notification)
{
    const quint64 removed = bytesOf(notification);
    onGui(this, [this, removed] { CleanCookFilesSizeHandleMain(removed); });
}

namespace {

// The kind's stored total goes down by what the phone removed (never below
// 0); the label shows what is left, or the kind's plain name once nothing is.
void moveLabel(quint64 &total, quint64 removed, QLabel *label, const QString &plain, const QString &withSize)
{
    total = removed >= total ? 0 : total - removed;
    label->setText(total == 0 ? plain : withSize.arg(sizeText(total)));
}

} // namespace

void VeldruneAppDelegate::CleanJunkFilesSizeHandleMain(quint64 removed)
{
    moveLabel(allJunkFileNumber, removed, tempJunkFileTextlab, tr("Temp Files Cleaner"),
              tr("Temp Files Cleaner (%1)"));
}

void VeldruneAppDelegate::CleanCacheFilesSizeHandleOnMain(quint64 removed)
{
    moveLabel(allCacheFileNumber, removed, cacheTextlab, tr("Cache Cleaner"), tr("Cache Cleaner (%1)"));
}

void VeldruneAppDelegate::CleanCookFilesSizeHandleMain(quint64 removed)
{
    moveLabel(allCookFileNumber, removed, cookieTextlab, tr("Cookie Cleaner"), tr("Cookie Cleaner (%1)"));
}

// --------------------------------------------------------------------- fix

void VeldruneAppDelegate::CleanAlliPhoneFiles()
{
    if (!cleanViewController->startFix())
        return;
    topInfoAnytlab->setText(tr("Cleaning issues, Please waiting..."));
    cleanprogressor->setValue(0);
    cleanScanView->show();
    cleanFinishView->hide();
    fixResultView->hide();
    totalTime = cleanViewController->fix()->totalTime();
}

void VeldruneAppDelegate::CleanAlliPhoneFilesThreaderOnMain(const QString &text)
{
    topInfoAnytlab->setText(tr("Analyzing your iDevice. Please waiting...."));
    cleanprogressor->setValue(100);
    cleanScanView->hide();
    cleanFinishView->hide();
    fixResultView->show();
    cleanTimeCount = 0;
    FileNumber = 0;
    fixInfolab->setText(text);
}
