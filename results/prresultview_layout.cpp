// The results page's widgets: built once, in the order the page's code
// expects its outlets.

#include "filesafety/primages.h"
#include "results/prresultviewcontroller.h"
#include "results/prsharedcontrols.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace {

QLabel *label(QWidget *parent, const QString &text = {}, int points = 12, bool bold = false)
{
    auto *l = new QLabel(parent);
    l->setFont(lucidaGrande(points, bold));
    // Some show what a backup says of itself (the device's name): never markup.
    l->setTextFormat(Qt::PlainText);
    l->setText(text);
    return l;
}

PRElidedLabel *elidedLabel(QWidget *parent, int points = 12, bool bold = false)
{
    auto *l = new PRElidedLabel(parent);
    l->setFont(lucidaGrande(points, bold));
    return l;
}

// A picture behind a row of controls. A QLabel sizes itself by its picture
// and knows nothing of the layout set on it, so the page would squeeze the
// controls over one another; this one asks its layout.
class Backdrop : public QLabel
{
public:
    Backdrop(const QString &image, QWidget *parent)
        : QLabel(parent)
    {
        setPixmap(imageNamed(image));
        setScaledContents(true);
    }

    QSize sizeHint() const override { return layout() ? layout()->sizeHint() : QLabel::sizeHint(); }
    QSize minimumSizeHint() const override { return layout() ? layout()->minimumSize() : QLabel::minimumSizeHint(); }
};

PRButton *categoryButton(QWidget *parent, const QString &title, const QString &image)
{
    auto *b = new PRButton(title, parent);
    b->setIcon(iconNamed(image));
    b->setIconSize(QSize(28, 28));
    b->setFlat(true);
    b->setFont(lucidaGrande(12));
    b->setMinimumHeight(40);
    b->setStyleSheet(QStringLiteral("PRButton { text-align: left; padding-left: 10px; border: none; }"
                                    "PRButton:hover { background: rgb(227, 234, 239); }"
                                    "PRButton:disabled { color: rgb(160, 160, 160); }"));
    return b;
}

PRButton *linkButton(QWidget *parent, const QString &title)
{
    auto *b = new PRButton(title, parent);
    b->setFlat(true);
    b->setFont(lucidaGrande(11));
    b->setStyleSheet(QStringLiteral("PRButton { border: none; color: rgb(121, 139, 167); }"
                                    "PRButton:disabled { color: rgb(190, 190, 190); }"));
    return b;
}

} // namespace

void PRResultViewController::styleTable(QTableView *table, PRArrayController *model)
{
    table->setModel(model);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setAlternatingRowColors(true);
    table->setShowGrid(false);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(22);
    table->horizontalHeader()->setStretchLastSection(true);
    table->horizontalHeader()->setSectionsClickable(true);
    table->horizontalHeader()->setHighlightSections(false);
    table->setFont(lucidaGrande(11));
    for (size_t i = 0; i < model->columns().size(); ++i)
        table->setColumnWidth(int(i), model->columns()[i].width);
}

QTableView *PRResultViewController::makeTable(PRArrayController *model, QWidget *pane)
{
    auto *table = new QTableView(pane);
    styleTable(table, model);
    connect(table->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this, table](int column) { tableViewDidClickTableColumn(table, column); });
    connect(model, &PRArrayController::tickChanged, this, [this, table](int row, bool on) {
        onTickChanged(on);
        followTickToSelection(table, row, on);
    });
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this, table] {
        if (table == currentTableView)
            tableViewSelectionDidChange();
    });
    return table;
}

void PRResultViewController::buildScanPane()
{
    scanproView = new QWidget(CustomView);
    scanproView->setObjectName(QStringLiteral("scanproView"));
    auto *column = new QVBoxLayout(scanproView);
    column->setContentsMargins(40, 30, 40, 30);
    column->addStretch(1);

    logoImageView = new QLabel(scanproView);
    logoImageView->setPixmap(imageNamed(QStringLiteral("ostra")).scaled(96, 96, Qt::KeepAspectRatio,
                                                                        Qt::SmoothTransformation));
    logoImageView->setAlignment(Qt::AlignCenter);
    column->addWidget(logoImageView);

    scanInfolab = label(scanproView, tr("Scanning the backup, please wait..."), 14);
    scanInfolab->setAlignment(Qt::AlignCenter);
    column->addWidget(scanInfolab);

    // The bar sits on its background image, the percentage beside it.
    progressGround = new QLabel(scanproView);
    progressGround->setPixmap(imageNamed(QStringLiteral("progressGorund")));
    progressGround->setScaledContents(true);
    progressGround->setFixedHeight(70);
    auto *barRow = new QHBoxLayout(progressGround);
    barRow->setContentsMargins(24, 22, 24, 22);
    scanProgressor = new PRProgressView(progressGround);
    scanProgressor->setMinimumHeight(24);
    barRow->addWidget(scanProgressor, 1);
    progressTextField = label(progressGround, QStringLiteral("1%"), 14, true);
    progressTextField->setMinimumWidth(52);
    progressTextField->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    barRow->addWidget(progressTextField);
    column->addWidget(progressGround);
    column->addSpacing(18);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(60);
    grid->setVerticalSpacing(8);
    grid->addWidget(label(scanproView, tr("Found in the backup"), 13, true), 0, 0);
    grid->addWidget(label(scanproView, tr("Deleted, recovered"), 13, true), 0, 1);
    QLabel **live[] = {&photovideoNumlab, &contactNumlab, &messageNumlab, &noteNumlab, &callNumlab};
    QLabel **deleted[] = {&delPhotovideoNumlab, &delContactNumlab, &delMessageNumlab, &delNoteNumlab,
                          &delCallNumlab};
    for (int i = 0; i < 5; ++i) {
        *live[i] = label(scanproView, {}, 12);
        *deleted[i] = label(scanproView, {}, 12);
        (*deleted[i])->setStyleSheet(QStringLiteral("color: rgb(217, 81, 30);"));
        grid->addWidget(*live[i], i + 1, 0);
        grid->addWidget(*deleted[i], i + 1, 1);
    }
    auto *gridRow = new QHBoxLayout;
    gridRow->addStretch(1);
    gridRow->addLayout(grid);
    gridRow->addStretch(1);
    column->addLayout(gridRow);
    column->addStretch(2);
}

void PRResultViewController::buildPage()
{
    setObjectName(QStringLiteral("ResulutView"));
    setAutoFillBackground(true);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    // Header: the backup shown, the pop-up of the others, search and home.
    GroundView = new Backdrop(QStringLiteral("whiteimg"), this);
    GroundView->setFixedHeight(64);
    auto *header = new QHBoxLayout(GroundView);
    header->setContentsMargins(16, 6, 16, 6);
    // What the backup says of itself takes the room the controls leave, cut
    // short when it must: a name can be as long as its writer likes.
    auto *info = new QGridLayout;
    info->setHorizontalSpacing(18);
    info->setVerticalSpacing(2);
    backupNameInfolab = elidedLabel(GroundView, 14, true);
    backupSerialInfolab = elidedLabel(GroundView, 11);
    deviceTypeInfolab = elidedLabel(GroundView, 11);
    iOSTypeInfolab = elidedLabel(GroundView, 11);
    backupDateInfolab = elidedLabel(GroundView, 11);
    info->addWidget(backupNameInfolab, 0, 0, 1, 2);
    info->addWidget(deviceTypeInfolab, 0, 2);
    info->addWidget(backupSerialInfolab, 1, 0);
    info->addWidget(iOSTypeInfolab, 1, 1);
    info->addWidget(backupDateInfolab, 1, 2);
    info->setColumnStretch(2, 1);
    header->addLayout(info, 1);
    backupPopBtn = new QComboBox(GroundView);
    backupPopBtn->setMinimumWidth(240);
    // Sized by a fixed count of characters, not by the longest device name;
    // the box cuts a longer one.
    backupPopBtn->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    backupPopBtn->setMinimumContentsLength(20);
    backupPopBtn->setToolTip(tr("Scan another backup"));
    header->addWidget(backupPopBtn);
    searchlab = new QLineEdit(GroundView);
    searchlab->setPlaceholderText(tr("Search"));
    searchlab->setClearButtonEnabled(true);
    searchlab->setFixedWidth(180);
    header->addWidget(searchlab);
    homeBtn = new QPushButton(tr("Home"), GroundView);
    homeBtn->setIcon(iconNamed(QStringLiteral("iDeviceStartup01")));
    header->addWidget(homeBtn);
    outer->addWidget(GroundView);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setStyleSheet(QStringLiteral("color: rgb(210, 218, 226);"));
    outer->addWidget(line);

    auto *middle = new QHBoxLayout;
    middle->setSpacing(0);
    outer->addLayout(middle, 1);

    // Category buttons along the side.
    auto *side = new QWidget(this);
    side->setObjectName(QStringLiteral("categoryColumn"));
    side->setAttribute(Qt::WA_StyledBackground);
    side->setStyleSheet(QStringLiteral("#categoryColumn { background: rgb(243, 246, 249); "
                                       "border-right: 1px solid rgb(214, 222, 230); }"));
    side->setFixedWidth(206);
    auto *sideColumn = new QVBoxLayout(side);
    sideColumn->setContentsMargins(6, 10, 6, 10);
    sideColumn->setSpacing(2);
    backupBroswerBtn = categoryButton(side, tr("Backup Files"), QStringLiteral("backupborswerNom"));
    photoBtn = categoryButton(side, tr("Photo && Video"), QStringLiteral("phone&videoNom"));
    contactBtn = categoryButton(side, tr("Contacts"), QStringLiteral("contactNom"));
    messageBtn = categoryButton(side, tr("Messages"), QStringLiteral("messageNom"));
    noteBtn = categoryButton(side, tr("Notes"), QStringLiteral("noteNom"));
    callBtn = categoryButton(side, tr("Call History"), QStringLiteral("callNom"));
    bookMarkBtn = categoryButton(side, tr("Safari Bookmarks"), QStringLiteral("Safari-BookMarkNom"));
    calendarBtn = categoryButton(side, tr("Calendar"), QStringLiteral("CalendarReminderNom"));
    facetwitterBtn = categoryButton(side, tr("Facebook && Twitter"), QStringLiteral("TwitterFaceBookNom"));
    for (PRButton *b : {backupBroswerBtn, photoBtn, contactBtn, messageBtn, noteBtn, callBtn, bookMarkBtn,
                        calendarBtn, facetwitterBtn})
        sideColumn->addWidget(b);
    sideColumn->addStretch(1);
    middle->addWidget(side);
    connect(photoBtn, &QPushButton::clicked, this, &PRResultViewController::actPhoto);
    connect(contactBtn, &QPushButton::clicked, this, &PRResultViewController::actContact);
    connect(messageBtn, &QPushButton::clicked, this, &PRResultViewController::actMessage);
    connect(noteBtn, &QPushButton::clicked, this, &PRResultViewController::actNote);
    connect(callBtn, &QPushButton::clicked, this, &PRResultViewController::actCallHistory);
    connect(bookMarkBtn, &QPushButton::clicked, this, &PRResultViewController::actBookMark);
    connect(calendarBtn, &QPushButton::clicked, this, &PRResultViewController::actCalender);
    connect(facetwitterBtn, &QPushButton::clicked, this, &PRResultViewController::actFaceTwitter);
    connect(backupBroswerBtn, &QPushButton::clicked, this, &PRResultViewController::actBackUpBoswer);

    // The panes, one shown at a time.
    CustomView = new QWidget(this);
    auto *panes = new QVBoxLayout(CustomView);
    panes->setContentsMargins(8, 8, 8, 8);
    middle->addWidget(CustomView, 1);
    buildScanPane();

    auto pane = [this](const char *name) {
        auto *w = new QWidget(CustomView);
        w->setObjectName(QLatin1String(name));
        return w;
    };
    treeView = pane("treeView");
    photoView = pane("photoView");
    contactView = pane("contactView");
    messageView = pane("messageView");
    noteView = pane("noteView");
    callHistoryView = pane("callHistoryView");
    bookMarkView = pane("bookMarkView");
    calenderView = pane("calenderView");
    facetwitterView = pane("facetwitterView");
    messageTreeView = pane("messageTreeView");

    photoController = new PRPhotoAndVideoController(this);
    contactController = new PRContactController(this);
    messageController = new PRMessageController(this);
    messageTreeController = new PRMessageTreeController(this);
    callHistoryController = new PRCallHistoryController(this);
    noteController = new PRNoteController(this);
    bookMarkController = new PRBookMarkController(this);
    calendarController = new PRCalendarController(this);
    faceTwitterController = new PRFaceTwitterController(this);
    photoTableView = makeTable(photoController, photoView);
    contactTableView = makeTable(contactController, contactView);
    messageTableView = makeTable(messageController, messageView);
    messageTreeTableView = makeTable(messageTreeController, messageTreeView);
    callHistoryTableView = makeTable(callHistoryController, callHistoryView);
    noteTableView = makeTable(noteController, noteView);
    bookMarkTableView = makeTable(bookMarkController, bookMarkView);
    calenderTableView = makeTable(calendarController, calenderView);
    facetwitterTableView = makeTable(faceTwitterController, facetwitterView);
    treetableView = new QTableView(treeView);
    buildPreviews();

    // Footer: the category's shared controls and the actions on one row, the
    // help and the links below, so that at the window's size after a scan
    // every text is whole; the selection count is cut last, on a narrower window.
    bottomImg = new Backdrop(QStringLiteral("bottom"), this);
    bottomImg->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto *footer = new QVBoxLayout(bottomImg);
    footer->setContentsMargins(14, 4, 14, 4);
    footer->setSpacing(2);
    auto *controls = new QHBoxLayout;
    auto *links = new QHBoxLayout;
    footer->addLayout(controls);
    footer->addLayout(links);
    checkBtn = new QCheckBox(bottomImg);
    selectAllBtn = new QCheckBox(tr("Select All"), bottomImg);
    selecteFilelab = elidedLabel(bottomImg, 11);
    controls->addWidget(selectAllBtn);
    controls->addWidget(checkBtn);
    controls->addWidget(selecteFilelab, 1);
    exportBtn = new QPushButton(tr("Save as Picture"), bottomImg);
    saveBtn = new QPushButton(tr("Recover"), bottomImg);
    saveBtn->setDefault(true);
    controls->addWidget(exportBtn);
    controls->addWidget(saveBtn);

    getLogImageView = new Backdrop(QStringLiteral("backgroundlog"), bottomImg);
    getLogImageView->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto *logRow = new QHBoxLayout(getLogImageView);
    logRow->setContentsMargins(10, 1, 10, 1);
    getLogBtn = new QPushButton(getLogImageView);
    getLogBtn->setFlat(true);
    getLogBtn->setCursor(Qt::PointingHandCursor);
    getLogBtn->setStyleSheet(QStringLiteral("QPushButton { border: none; color: rgb(74, 120, 181); }"));
    remindlab = label(getLogImageView, {}, 11);
    remindlab->hide();
    logRow->addWidget(getLogBtn);
    links->addWidget(getLogImageView);
    links->addStretch(1);
    facebookBtn = linkButton(bottomImg, tr("Facebook"));
    twitterBtn = linkButton(bottomImg, tr("Twitter"));
    feedBackBtn = linkButton(bottomImg, tr("Feedback"));
    links->addWidget(facebookBtn);
    links->addWidget(twitterBtn);
    links->addWidget(feedBackBtn);
    outer->addWidget(bottomImg);

    connect(getLogBtn, &QPushButton::clicked, this, &PRResultViewController::clickGetLog);
    connect(feedBackBtn, &QPushButton::clicked, this, &PRResultViewController::clickFeedBack);
    connect(facebookBtn, &QPushButton::clicked, this, &PRResultViewController::clickFacebook);
    connect(twitterBtn, &QPushButton::clicked, this, &PRResultViewController::clickTwitter);
    connect(backupPopBtn, &QComboBox::activated, this, &PRResultViewController::actSelectBackUpBtn);
    connect(checkBtn, &QCheckBox::clicked, this, &PRResultViewController::actCheck);
    connect(selectAllBtn, &QCheckBox::clicked, this, &PRResultViewController::ClickSelectAll);
    connect(homeBtn, &QPushButton::clicked, this, &PRResultViewController::actHome);
    buildSheets();
    buildSaveSheet();
}

void PRResultViewController::buildSheets()
{
    // Help sheet: three steps to get deleted records into a backup.
    guidWindow = new QDialog(this);
    guidWindow->setWindowTitle(tr("Have not find deleted files?"));
    guidWindow->setWindowModality(Qt::WindowModal);
    auto *help = new QVBoxLayout(guidWindow);
    step1lab = label(guidWindow, tr("Have not find deleted files?"), 20);
    help->addWidget(step1lab);
    showStepBtn = new QLabel(guidWindow);
    help->addWidget(showStepBtn, 0, Qt::AlignHCenter);
    showStepImageView = new QLabel(guidWindow);
    showStepImageView->setAlignment(Qt::AlignCenter);
    help->addWidget(showStepImageView);
    firstTiplab = label(guidWindow, tr("Step1: Reboot your iPhone or other i-device."), 16);
    firstTiplab->setWordWrap(true);
    help->addWidget(firstTiplab);
    nextBtn = new QPushButton(guidWindow);
    nextBtn->setIcon(iconNamed(QStringLiteral("nextBtn")));
    nextBtn->setIconSize(QSize(90, 28));
    nextBtn->setFlat(true);
    nextBtn->setAccessibleName(tr("Next"));
    help->addWidget(nextBtn, 0, Qt::AlignRight);
    connect(nextBtn, &QPushButton::clicked, this, &PRResultViewController::actNextClick);

    // Feedback sheet: collects an address and a suggestion (nothing is sent).
    feedbackWindow = new QDialog(this);
    feedbackWindow->setWindowTitle(tr("Feedback"));
    auto *feedback = new QVBoxLayout(feedbackWindow);
    feedbackEmailVaule = new QLineEdit(feedbackWindow);
    feedbackEmailVaule->setPlaceholderText(tr("Your e-mail address"));
    feedback->addWidget(feedbackEmailVaule);
    feedbackTextView = new PRFeedBackView(feedbackWindow);
    feedback->addWidget(feedbackTextView);
    auto *feedbackButtons = new QHBoxLayout;
    supprotBtn = new QPushButton(tr("Support"), feedbackWindow);
    supprotBtn->setFlat(true);
    supprotBtn->setStyleSheet(QStringLiteral("QPushButton { border: none; color: blue; text-decoration: underline; }"));
    feedbackHelpBtn = new QPushButton(tr("Need Help? Go to our Support Portal"), feedbackWindow);
    feedbackHelpBtn->setFlat(true);
    feedbackHelpBtn->setStyleSheet(QStringLiteral("QPushButton { border: none; }"));
    auto *dontSend = new QPushButton(tr("Don't Send"), feedbackWindow);
    auto *send = new QPushButton(tr("Send"), feedbackWindow);
    feedbackButtons->addWidget(feedbackHelpBtn);
    feedbackButtons->addWidget(supprotBtn);
    feedbackButtons->addStretch(1);
    feedbackButtons->addWidget(dontSend);
    feedbackButtons->addWidget(send);
    feedback->addLayout(feedbackButtons);
    connect(dontSend, &QPushButton::clicked, this, &PRResultViewController::ClickDontSendFeedBack);
    connect(send, &QPushButton::clicked, this, &PRResultViewController::clickSendFeedBack);
    connect(supprotBtn, &QPushButton::clicked, this, &PRResultViewController::clickSupport);
    connect(feedbackHelpBtn, &QPushButton::clicked, this, &PRResultViewController::clickSupport);
}
