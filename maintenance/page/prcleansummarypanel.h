#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

// The head of the cleaner's main view: the scan in progress (its bar and the
// running totals per kind), the finished scan's summary with the fix button,
// and the fix's result. The application delegate writes these labels (they
// are its outlets); the panel only lays them out.
class PRCleanSummaryPanel : public QWidget
{
    Q_OBJECT

public:
    explicit PRCleanSummaryPanel(QWidget *parent = nullptr);

    // Shows one of the three views and hides the other two. The scan view
    // starts with its bar and running totals.
    void showScanView();
    void showFinishView();
    void showFixResultView();
    // The scan view without a scan: the text (no phone, or why a scan
    // stopped) in place of the bar; offerScan shows "Scan Again".
    void showScanMessage(const QString &text, bool offerScan, bool withTotals);

    QWidget *cleanScanView = nullptr;
    QWidget *cleanFinishView = nullptr;
    QWidget *fixResultView = nullptr;
    QLabel *topInfoAnytlab = nullptr;
    QProgressBar *cleanprogressor = nullptr;
    QLabel *tempJunkFileTextlab = nullptr;
    QLabel *cacheTextlab = nullptr;
    QLabel *cookieTextlab = nullptr;
    QLabel *cleanFilelab = nullptr;
    QPushButton *fixButton = nullptr;
    QPushButton *rescanButton = nullptr;
    QLabel *fixInfolab = nullptr;
    // On the scan view, after a scan that did not finish.
    QPushButton *scanAgainButton = nullptr;
};
