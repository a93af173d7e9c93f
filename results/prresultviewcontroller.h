#pragma once

#include "backup/backupscanner.h"
#include "backup/nodes/prtreenodes.h"
#include "results/recordmodels.h"
#include "results/resultintake.h"
#include "results/resultsearch.h"
#include "results/prexportrun.h"
#include "results/pagetimings.h"
#include "results/resultfeed.h"
#include "results/prtreecontroller.h"
#include "results/prtreemodels.h"
#include "results/resultsorting.h"

#include <QPointer>
#include <QWidget>

#include <atomic>
#include <memory>
#include <mutex>

class NotificationCenter;
class PRIOSDeviceController;
class PRIOSDeviceNode;
class PRButton;
class PRFeedBackView;
class PRProgressView;
class PRTextView;
class PRConversationView;
class PRSrollThumView;
class PRMoviePreview;
class QAbstractButton;
class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTextEdit;
class QTimer;
class QDateTime;
class QFileDialog;
class QProgressBar;
class QTreeView;
class QVBoxLayout;

// What the results page needs of the application shell.
class PRResultPageHost
{
public:
    virtual ~PRResultPageHost() = default;
    virtual std::shared_ptr<PRIOSDeviceNode> currentNode() const = 0;
    virtual void setCurrentNode(const std::shared_ptr<PRIOSDeviceNode> &node) = 0;
    // Sets the host's generation flags from a version text; true for iOS 6+.
    virtual bool IOSVersionIOS6(const QString &version) = 0;
    virtual PRIOSDeviceController *GetPRIOSDeviceController() = 0;
    virtual bool getDeviceConnected() const = 0;
    virtual bool ScanIOSBackFile(const QString &folder) = 0;
    virtual void showResultView() = 0;
    virtual void ClickBackup() = 0;
    virtual void ClickBackupAction() = 0;
    virtual void showMainView() = 0;
    virtual QWidget *mainWindow() = 0;
};

// The results page: receives the records of a scan, shows its progress and
// counts, lets the user pick another backup, and lists the records by kind.
//
// While a scan runs the scan thread hands its records and index entries to
// the page's feed, whose workers file them into the intake and the file
// tree; nothing else reads those until the scan's end has been shown (the
// controls that show records stay disabled). Everything on screen changes on
// the GUI thread: progress and counts arrive there coalesced, and the scan
// end as one queued call that names its scan, once all before it is filed.
class PRResultViewController : public QWidget, public ScanFinishListener
{
    Q_OBJECT

public:
    enum class Category { None, Photo, Contact, Message, CallHistory, Note, BookMark, Calender, FaceTwitter, BackUp };

    explicit PRResultViewController(PRResultPageHost &host, NotificationCenter &nc, QWidget *parent = nullptr);
    ~PRResultViewController() override;

    // Puts the page into parent and resets it for a new scan.
    void showView(QWidget *parent);
    // The scan the page now shows (on the thread that started it).
    void scanStarted(quint64 generation) override;
    // On the scan thread when a scan has run all its steps: the end is
    // posted to the GUI thread, never waited for there. An end that is not
    // the scan the page shows is dropped.
    void ScanThreadFinish(quint64 generation) override;
    // The end of the scan the page shows, for a feed without a scanner.
    void ScanThreadFinish() { ScanThreadFinish(m_scanGeneration.load()); }
    // Ends still on their way are dropped: the application is quitting.
    void setShuttingDown();
    // The start of the scan the page was reset for was refused: the page
    // shows no progress, its pop-up and home are usable, and it says why.
    void scanRefused();

    // The backup pop-up's action.
    void actSelectBackUpBtn(int index);

    // Category buttons.
    void actPhoto();
    void actContact();
    void actMessage();
    void actCallHistory();
    void actNote();
    void actBookMark();
    void actCalender();
    void actFaceTwitter();
    void actBackUpBoswer();
    Category currentCategory() const { return m_category; }
    // Empties the record arrays and the tables.
    void releaseUIMemory();

    // The selection of the current table changed: fill its preview.
    void tableViewSelectionDidChange();
    // Opens the selected social-app file with the desktop's application.
    void actPreView();
    // Deleted-only filter, select-all and home.
    void actCheck();
    void ClickSelectAll();
    void actHome();

    // Export: the save sheet, the run with its progress sheet, and the
    // picture of the conversation shown.
    void actRecovery();
    void savePanelDidEnd(const QString &path);
    void IphonerecoveryTimer_hander();
    void actExportImage();
    static QString proposedExportName(const QDateTime &now);
    bool isExporting() const { return m_export.isRunning(); }

    // The column sort of a table (the header of column of table was clicked).
    void tableViewDidClickTableColumn(QTableView *table, int column);

    // Search: an empty text shows the category's whole table again.
    void StartSearchThread(const QString &text);
    bool isSearchRunning() const;

    // Help and feedback sheets and links.
    void clickGetLog();
    void actNextClick();
    void clickFeedBack();
    void ClickDontSendFeedBack();
    void clickSendFeedBack();
    void clickFacebook();
    void clickTwitter();
    void clickSupport();
    int currentStep() const { return m_currentStep; }

    // Read after the scan's end only (the scan thread fills it meanwhile).
    const PRResultIntake &intake() const { return m_intake; }
    const PRTreeController &backupTree() const { return m_tree; }
    quint64 backupfiles() const { return m_backupfiles; }
    int currentSelect() const { return m_currentSelect; }
    bool scanFinished() const { return m_scanFinished; }
    // Where the page's time went since its reset for the scan shown.
    const PRPageTimings &timings() const { return m_timings; }
    int selectedFilesNum() const { return m_selectedFilesNum; }

    // Where the link buttons lead.
    static QUrl facebookUrl();
    static QUrl twitterUrl();
    static QUrl supportUrl();

    // Outlets.
    QWidget *parentView = nullptr;
    QWidget *CustomView = nullptr;
    QWidget *scanproView = nullptr, *treeView = nullptr, *photoView = nullptr, *contactView = nullptr,
            *messageView = nullptr, *noteView = nullptr, *callHistoryView = nullptr, *bookMarkView = nullptr,
            *calenderView = nullptr, *facetwitterView = nullptr, *messageTreeView = nullptr;
    QWidget *faceTwitterShowView = nullptr;
    QLabel *faceTwitterShowImageView = nullptr;
    QWidget *priviewImageVideoView = nullptr;
    PRMoviePreview *movView = nullptr;
    QLabel *imageView = nullptr;
    // Preview fields.
    QLabel *imageFileNamelab = nullptr, *imageFileSizelab = nullptr;
    QLabel *contactImageView = nullptr, *contactNamelab = nullptr, *contactPhonelab = nullptr,
           *contactEmaillab = nullptr, *contactHomePagelab = nullptr, *contactCompanylab = nullptr,
           *contactJobTitlelab = nullptr, *contactBirthdaylab = nullptr;
    PRTextView *contactNotelab = nullptr;
    QWidget *contactNoteScrollView = nullptr;
    QLabel *callNamelab = nullptr, *callPhonelab = nullptr, *callTypelab = nullptr, *callTimelab = nullptr,
           *callDatelab = nullptr;
    QLabel *noteTitlelab = nullptr, *noteDatelab = nullptr, *noteContentlab = nullptr;
    PRTextView *noteContentView = nullptr;
    QWidget *noteScrollView = nullptr;
    QLabel *bookMarkTitlelab = nullptr, *bookMarkURLlab = nullptr;
    QLabel *calTitlelab = nullptr, *calNotelab = nullptr, *calStartDatelab = nullptr, *calEndDatelab = nullptr;
    QLabel *faceTwitterFileNamelab = nullptr, *faceTwitterFileSizelab = nullptr;
    QPushButton *previewBtn = nullptr;
    QLabel *treeFileImageView = nullptr;
    QLabel *messageNamelab = nullptr, *messagePhonelab = nullptr, *messageTypelab = nullptr,
           *messageDatelab = nullptr;
    QWidget *messageScrollView = nullptr;
    PRConversationView *conversationView = nullptr;
    PRProgressView *scanProgressor = nullptr;
    QLabel *progressTextField = nullptr, *scanInfolab = nullptr, *progressGround = nullptr, *GroundView = nullptr,
           *bottomImg = nullptr, *logoImageView = nullptr;
    QLabel *photovideoNumlab = nullptr, *delPhotovideoNumlab = nullptr, *contactNumlab = nullptr,
           *delContactNumlab = nullptr, *messageNumlab = nullptr, *delMessageNumlab = nullptr, *noteNumlab = nullptr,
           *delNoteNumlab = nullptr, *callNumlab = nullptr, *delCallNumlab = nullptr;
    QLabel *backupNameInfolab = nullptr, *backupSerialInfolab = nullptr, *deviceTypeInfolab = nullptr,
           *iOSTypeInfolab = nullptr, *backupDateInfolab = nullptr;
    QLabel *selecteFilelab = nullptr, *remindlab = nullptr, *getLogImageView = nullptr;
    QComboBox *backupPopBtn = nullptr;
    QLineEdit *searchlab = nullptr;
    QCheckBox *checkBtn = nullptr, *selectAllBtn = nullptr;
    QPushButton *getLogBtn = nullptr, *saveBtn = nullptr, *homeBtn = nullptr, *exportBtn = nullptr;
    PRButton *photoBtn = nullptr, *contactBtn = nullptr, *messageBtn = nullptr, *noteBtn = nullptr, *callBtn = nullptr,
             *bookMarkBtn = nullptr, *calendarBtn = nullptr, *facetwitterBtn = nullptr, *backupBroswerBtn = nullptr;
    PRButton *facebookBtn = nullptr, *twitterBtn = nullptr, *feedBackBtn = nullptr;
    QTableView *photoTableView = nullptr, *contactTableView = nullptr, *messageTableView = nullptr,
               *messageTreeTableView = nullptr, *callHistoryTableView = nullptr, *noteTableView = nullptr,
               *bookMarkTableView = nullptr, *calenderTableView = nullptr, *facetwitterTableView = nullptr,
               *treetableView = nullptr;
    QTableView *currentTableView = nullptr;
    QTreeView *treeOutlineView = nullptr;
    PRSrollThumView *thumView = nullptr;
    PRTreeOutlineModel *treeController = nullptr;
    PRTreeFileController *treeFileController = nullptr;
    PRPhotoAndVideoController *photoController = nullptr;
    PRContactController *contactController = nullptr;
    PRMessageController *messageController = nullptr;
    PRMessageTreeController *messageTreeController = nullptr;
    PRCallHistoryController *callHistoryController = nullptr;
    PRNoteController *noteController = nullptr;
    PRBookMarkController *bookMarkController = nullptr;
    PRCalendarController *calendarController = nullptr;
    PRFaceTwitterController *faceTwitterController = nullptr;
    // Help sheet.
    QDialog *guidWindow = nullptr;
    QLabel *showStepImageView = nullptr, *showStepBtn = nullptr, *step1lab = nullptr, *firstTiplab = nullptr;
    QPushButton *nextBtn = nullptr;
    // Feedback sheet.
    QDialog *feedbackWindow = nullptr;
    PRFeedBackView *feedbackTextView = nullptr;
    QLineEdit *feedbackEmailVaule = nullptr;
    QPushButton *supprotBtn = nullptr, *feedbackHelpBtn = nullptr;

    // Select-all flags, one per category.
    bool bPhotoSelectAll = false, bContctSelectAll = false, bMessageSelectAll = false, bNoteSelectAll = false,
         bCallSelectAll = false, bbookMarkSelectAll = false, bcalenderSelectAll = false,
         bfaceTwitterSelectAll = false;
    bool bSelectedNode = false;
    // Export state.
    int recovredFilesNum = 0;
    quint64 allSelectedFileNum = 0;
    QString recoverPath, recoverFilePath;
    QFileDialog *sp = nullptr;
    QDialog *saveWindow = nullptr;
    QProgressBar *saveProgressor = nullptr;
    QLabel *savepercentlab = nullptr;
    QTimer *recoverTimer = nullptr;

Q_SIGNALS:
    // The scan has ended and the page shows its results.
    void scanEnded();
    // A search's results are shown.
    void searchShown(int matches);
    // Select-all changed every record of the category (the grid follows).
    void selectAllApplied(bool on);
    // An export has ended (its sheet is closed, its failures shown).
    void exportEnded(const PRExportRun::Result &result);
    // The conversation picture was written (empty path when it failed).
    void conversationPictureSaved(const QString &path);

private:
    struct Pending
    {
        bool scheduled = false;
        bool hasProgress = false;
        int progress = 0;
        QStringList summary;
    };

    void buildPage();
    void buildScanPane();
    void buildSheets();
    QTableView *makeTable(PRArrayController *model, QWidget *pane);
    void styleTable(QTableView *table, PRArrayController *model);
    void buildPreviews();
    void placeWithPreview(QWidget *pane, QWidget *table, QWidget *preview);
    void showPhotoPreview(const PRPhotoAndVideoNode &node);
    void showContactPreview(const PRContactNode &node);
    void showFaceTwitterPreview(const PRFaceTwitterNode &node);
    void showFilePreview(const QString &path);
    void updatePreviewFieldsVisibility();
    bool isCurrentRecordsEmpty() const;
    void followTickToSelection(QTableView *table, int row, bool on);
    void buildTreePane(QWidget *filePreview);
    void refreshOutlineView();
    void buildSaveSheet();
    PRExportRun::Job exportJob() const;
    void saveProgressorHanderToMainThread(const PRExportRun::Result &result);
    void showSelectionCount();
    void showSelectionLabel(int count, const QString &format);
    bool *selectAllFlag();
    // Ticked files of the backup file tree.
    int treeSelectedCount() const;
    void registerObservers();
    void schedulePendingLocked();
    void applyPending();
    void ScanFinishOnMainThread(quint64 generation);
    // The page's state once its scan has ended: its controls, and the
    // records to browse.
    void showScanEnd();
    void showScanControls();
    void setSummaryLabels(const QStringList &texts);
    void fillBackupPopUp();
    void setCategoryButtonsEnabled(bool on);
    void showCategory(Category category, QWidget *pane, QTableView *table, PRArrayController *controller,
                      const QList<PRNodeRef> &records, bool showCheck, bool selectAll);
    void selectFirstRow(QTableView *table);
    QList<PRNodeRef> recordsOf(Category category) const;
    PRArrayController *controllerOf(QTableView *table) const;
    void returnOriginTableView();
    void showSearchResults(quint64 generation, const QList<PRNodeRef> &matches);
    void onTickChanged(bool on);
    void openLink(const QUrl &url);
    void hoverLink(QObject *button, bool entered);
    static bool backupIsEncrypted(const QString &folder);

    PRResultPageHost &m_host;
    NotificationCenter &m_nc;
    PRResultIntake m_intake;
    PRPageTimings m_timings;
    PRResultSearch m_search;
    PRExportRun m_export;
    quint64 m_searchGeneration = 0;
    Category m_category = Category::None;
    // Filed by the feed's workers while a scan runs; shown after its end.
    PRTreeController m_tree;
    std::atomic<quint64> m_backupfiles{0};
    int m_currentSelect = 0;
    int m_selectedFilesNum = 0;
    int m_currentStep = 0;
    bool m_scanFinished = false;
    // The page was reset for a scan whose start was refused.
    bool m_startRefused = false;
    std::mutex m_pendingMutex;
    Pending m_pending;
    std::atomic<bool> m_shuttingDown{false};
    // The generation of the scan shown; an end of another one is stale.
    std::atomic<quint64> m_scanGeneration{0};
    QList<QWidget *> m_panes;
    QTimer *m_searchDelay = nullptr;
    bool m_tickingSelection = false;
    // Files the scan's records into m_intake and m_tree beside the scan.
    std::unique_ptr<PRResultFeed> m_feed;
};
