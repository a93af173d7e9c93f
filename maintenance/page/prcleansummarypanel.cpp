#include "maintenance/page/prcleansummarypanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel *label(const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    // Texts here carry the phone's name and counts: never markup.
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(true);
    return l;
}

} // namespace

PRCleanSummaryPanel::PRCleanSummaryPanel(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("cleanShowView"));
    setAutoFillBackground(true);
    QPalette dark = palette();
    dark.setColor(QPalette::Window, QColor(52, 73, 104));
    dark.setColor(QPalette::WindowText, Qt::white);
    setPalette(dark);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 10, 16, 10);

    cleanScanView = new QWidget(this);
    auto *scan = new QVBoxLayout(cleanScanView);
    scan->setContentsMargins(0, 0, 0, 0);
    topInfoAnytlab = label(tr("Analyzing your iDevice. Please waiting...."), cleanScanView);
    cleanprogressor = new QProgressBar(cleanScanView);
    cleanprogressor->setRange(0, 100);
    cleanprogressor->setValue(0);
    auto *kinds = new QHBoxLayout;
    tempJunkFileTextlab = label(tr("Temp Files Cleaner"), cleanScanView);
    cacheTextlab = label(tr("Cache Cleaner"), cleanScanView);
    cookieTextlab = label(tr("Cookie Cleaner"), cleanScanView);
    kinds->addWidget(tempJunkFileTextlab);
    kinds->addWidget(cacheTextlab);
    kinds->addWidget(cookieTextlab);
    scanAgainButton = new QPushButton(tr("Scan Again"), cleanScanView);
    scanAgainButton->setObjectName(QStringLiteral("scanAgainButton"));
    auto *top = new QHBoxLayout;
    top->addWidget(topInfoAnytlab, 1);
    top->addWidget(scanAgainButton);
    scan->addLayout(top);
    scan->addWidget(cleanprogressor);
    scan->addLayout(kinds);

    cleanFinishView = new QWidget(this);
    auto *finish = new QHBoxLayout(cleanFinishView);
    finish->setContentsMargins(0, 0, 0, 0);
    cleanFilelab = new QLabel(cleanFinishView);
    cleanFilelab->setWordWrap(true);
    fixButton = new QPushButton(tr("Fix Now"), cleanFinishView);
    fixButton->setObjectName(QStringLiteral("fixButton"));
    finish->addWidget(cleanFilelab, 1);
    finish->addWidget(fixButton);

    fixResultView = new QWidget(this);
    auto *fixed = new QHBoxLayout(fixResultView);
    fixed->setContentsMargins(0, 0, 0, 0);
    fixInfolab = label(QString(), fixResultView);
    rescanButton = new QPushButton(tr("Scan Again"), fixResultView);
    rescanButton->setObjectName(QStringLiteral("rescanButton"));
    fixed->addWidget(fixInfolab, 1);
    fixed->addWidget(rescanButton);

    layout->addWidget(cleanScanView);
    layout->addWidget(cleanFinishView);
    layout->addWidget(fixResultView);
    showScanView();
}

void PRCleanSummaryPanel::showScanView()
{
    cleanScanView->show();
    cleanFinishView->hide();
    fixResultView->hide();
    cleanprogressor->show();
    for (QLabel *kind : {tempJunkFileTextlab, cacheTextlab, cookieTextlab})
        kind->show();
    scanAgainButton->hide();
}

void PRCleanSummaryPanel::showScanMessage(const QString &text, bool offerScan, bool withTotals)
{
    showScanView();
    topInfoAnytlab->setText(text);
    // A bar that does not move would say a scan runs.
    cleanprogressor->hide();
    for (QLabel *kind : {tempJunkFileTextlab, cacheTextlab, cookieTextlab})
        kind->setVisible(withTotals);
    scanAgainButton->setVisible(offerScan);
}

void PRCleanSummaryPanel::showFinishView()
{
    cleanScanView->hide();
    cleanFinishView->show();
    fixResultView->hide();
}

void PRCleanSummaryPanel::showFixResultView()
{
    cleanScanView->hide();
    cleanFinishView->hide();
    fixResultView->show();
}
