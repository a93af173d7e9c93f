#pragma once

#include "device/jobs/devicejob.h"
#include "maintenance/icloud/pricloudcopy.h"
#include "maintenance/icloud/priclouddircontroller.h"
#include "maintenance/icloud/pricloudfilecontroller.h"

#include <QImage>
#include <QWidget>

class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

// The iCloud folder of the cleaner's main view: the container table beside
// the file table of the selected container, "Select All", "Deselect All",
// the copy into Documents, and a preview of the selected file.
//
// The scan, the copy and the previews run as jobs of this computer (bound to
// no phone); their results come back on the pane's thread and a stale
// preview is dropped. Destroying the pane cancels them without waiting.
class PRiCloudPane : public QWidget
{
    Q_OBJECT

public:
    // The preview's longer side, and the largest file a preview reads.
    static constexpr int kPreviewSide = 512;
    static constexpr qint64 kMaxPreviewBytes = 64 * 1024 * 1024;

    explicit PRiCloudPane(QWidget *parent = nullptr);
    ~PRiCloudPane() override = default;

    // ScaniCloudDocumentAndData: reads the list on a worker and shows it
    // (scanFinished follows). Nothing when a scan runs. The page calls it on
    // its first display, while bHasScanFinish() is false.
    void ScaniCloudDocumentAndData();
    // The list has been read (stays false when the home folder has no
    // Library, so that a later display tries again).
    bool bHasScanFinish() const { return m_hasScanFinish; }
    bool isScanning() const { return m_scanning; }

    // Select or deselect every row of the file table.
    void SelectAlliCloudFileAction();
    void UnSelectAlliCloudFileAction();

    // Copies the selected rows of the file table (as the table shows them,
    // sorted or not) into Documents on a worker; copyFinished follows, and
    // Documents is revealed (PRReveal) when a file was copied. False, and
    // nothing happens, when no row is selected or a copy runs.
    bool ExportiCloudFileToDocumentAction();
    bool isCopying() const { return m_copying; }

    // The file nodes of the selected rows, in the order the table shows them.
    QList<PRiCloudFileNode> selectedFileNodes() const;
    // The picture a preview of path gives (worker side): a regular file of
    // at most kMaxPreviewBytes that decodes, scaled to fit side; else null.
    static QImage previewImageOf(const QString &path, int side = kPreviewSide);

    QList<PRiCloudDirNode> iCloudDirDataArray() const { return icloudDirController->content(); }

    // The outlets, for the page's layout and the tests.
    PRiCloudDirController *icloudDirController = nullptr;
    PRiCloudFileController *icloudFileController = nullptr;
    QTableView *icloudDirTableView = nullptr;
    QTableView *icloudFileTableView = nullptr;
    QLabel *previewImageView = nullptr;
    QLabel *statusLabel = nullptr;
    QPushButton *selectAllButton = nullptr;
    QPushButton *deselectAllButton = nullptr;
    QPushButton *copyButton = nullptr;

Q_SIGNALS:
    void scanFinished(int containers, int files, bool truncated);
    void copyFinished(const PRiCloudCopyReport &report);
    // A preview reached the image area: a picture of the file, or the
    // "document" image when it gave none.
    void previewShown(const QString &path, bool picture);

private:
    void dirSelectionChanged();
    void fileSelectionChanged();
    void showPreview(const QString &path, const QImage &image);
    void updateButtons();

    QSortFilterProxyModel *m_fileProxy = nullptr;
    bool m_hasScanFinish = false;
    bool m_scanning = false;
    bool m_copying = false;
    devjobs::JobLane m_lane{this};
    // A new selection starts a new generation: only its preview is shown.
    devjobs::JobLane m_previewLane{this};
};
