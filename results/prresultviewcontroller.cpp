#include "results/prresultviewcontroller.h"

#include "backup/notificationnames.h"
#include "backup/priosdevicecontroller.h"
#include "filesafety/primages.h"
#include "platform/notificationcenter.h"
#include "platform/propertylist.h"
#include "results/prconversationview.h"
#include "results/prmoviepreview.h"
#include "results/prsharedcontrols.h"
#include "results/prthumgrid.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

namespace {


template<typename T>
QList<PRNodeRef> asNodes(const Records<T> &records)
{
    QList<PRNodeRef> nodes;
    nodes.reserve(records.size());
    for (const auto &r : records)
        nodes.append(r);
    return nodes;
}

} // namespace

PRResultViewController::PRResultViewController(PRResultPageHost &host, NotificationCenter &nc, QWidget *parent)
    : QWidget(parent)
    , m_host(host)
    , m_nc(nc)
    , m_feed(std::make_unique<PRResultFeed>(m_intake, m_tree, m_timings))
{
    buildPage();
    m_feed->setProgressSink([this](int progress, const QStringList &summary) {
        std::lock_guard lock(m_pendingMutex);
        m_pending.hasProgress = true;
        m_pending.progress = progress;
        m_pending.summary = summary;
        schedulePendingLocked();
    });
    m_feed->setEndSink([this](quint64 generation) {
        if (m_shuttingDown)
            return;
        QMetaObject::invokeMethod(
            this, [this, generation] { ScanFinishOnMainThread(generation); }, Qt::QueuedConnection);
    });

    // Styling and the texts the page keeps.
    checkBtn->setText(tr("Only dispaly deleted files"));
    checkBtn->setStyleSheet(QStringLiteral("QCheckBox { color: rgb(217, 81, 30); }"));
    remindlab->setText(tr("Have not find deleted files?"));
    getLogBtn->setText(remindlab->text());
    selectAllBtn->hide();
    for (QTableView *table : {photoTableView, contactTableView, messageTableView, noteTableView, callHistoryTableView})
        table->setSelectionMode(QAbstractItemView::ExtendedSelection);

    connect(&m_search, &PRResultSearch::searchFinished, this, &PRResultViewController::showSearchResults);
    m_searchDelay = new QTimer(this);
    m_searchDelay->setSingleShot(true);
    m_searchDelay->setInterval(250);
    connect(m_searchDelay, &QTimer::timeout, this, [this] { StartSearchThread(searchlab->text()); });
    connect(searchlab, &QLineEdit::textChanged, m_searchDelay, qOverload<>(&QTimer::start));

    m_panes = {scanproView, treeView, photoView, contactView, messageView, noteView, callHistoryView, bookMarkView,
               calenderView, facetwitterView, messageTreeView};
    registerObservers();
}

PRResultViewController::~PRResultViewController()
{
    m_export.cancel();
    m_export.wait();
    m_nc.removeObserver(this);
    // Its workers post to the page: they go before anything else of it.
    m_feed.reset();
    m_search.cancelAndWait();
    thumView->cancelAndWait();
}

void PRResultViewController::registerObservers()
{
    auto observe = [this](const QString &name, NotificationCenter::Handler handler) {
        m_nc.addObserver(this, name, std::move(handler));
    };
    // Records and index entries: the scan thread only hands them to the
    // feed, whose workers file them beside the scan.
    auto feed = [&](const QString &name, PRResultFeed::Kind kind) {
        observe(name, [this, kind](const Notification &n) {
            if (n.object.metaType() == QMetaType::fromType<PRNodeRef>())
                m_feed->take(kind, n.object.value<PRNodeRef>());
        });
    };
    using K = PRResultFeed::Kind;
    feed(Notifications::ScanPhotoAndVideo, K::Photo);
    feed(Notifications::ScanContactInfo, K::Contact);
    feed(Notifications::ScanMessageInfo, K::Message);
    feed(Notifications::ScanCallHistoryInfo, K::CallHistory);
    feed(Notifications::ScanNoteInfo, K::Note);
    feed(Notifications::scanBookMarkInfo, K::BookMark);
    feed(Notifications::scanCalenderInfo, K::Calender);
    feed(Notifications::scanFaceTwitterInfo, K::FaceTwitter);
    // Carved records: kept when new.
    feed(Notifications::ScanDelContactInfo, K::DeletedContact);
    feed(Notifications::ScanDelMessageInfo, K::DeletedMessage);
    feed(Notifications::ScanDelNoteInfo, K::DeletedNote);
    feed(Notifications::ScanDelCallHistoryInfo, K::DeletedCallHistory);
    feed(Notifications::scanDelBookMarkInfo, K::DeletedBookMark);
    feed(Notifications::scanDelCalenderInfo, K::DeletedCalender);
    observe(Notifications::ScanPhotoAndVideoInfo,
            [this](const Notification &n) { m_feed->takeMediaPath(n.object.toString()); });
    // Progress counts what was taken before it; the GUI thread shows it
    // coalesced.
    observe(Notifications::ScanProgressInfo,
            [this](const Notification &n) { m_feed->takeProgress(n.object.toInt()); });
    observe(Notifications::FindBackUpDirFileInfo, [this](const Notification &n) {
        auto node = nodeFromVariant<PRTreeDirNode>(n.object);
        if (!node || node->filePath().isEmpty())
            return;
        m_feed->takeIndexEntry(std::move(node));
        ++m_backupfiles;
    });
    observe(QStringLiteral("PRbuttonMouseEntered"),
            [this](const Notification &n) { hoverLink(n.object.value<QObject *>(), true); });
    observe(QStringLiteral("PRbuttonMouseExited"),
            [this](const Notification &n) { hoverLink(n.object.value<QObject *>(), false); });
}

void PRResultViewController::schedulePendingLocked()
{
    if (m_pending.scheduled)
        return;
    m_pending.scheduled = true;
    QMetaObject::invokeMethod(this, [this] { applyPending(); }, Qt::QueuedConnection);
}

void PRResultViewController::applyPending()
{
    Pending pending;
    {
        std::lock_guard lock(m_pendingMutex);
        pending = std::move(m_pending);
        m_pending = Pending{};
    }
    if (pending.hasProgress) {
        PRPageTimings::Scope took(m_timings, PRPageTimings::Counts);
        scanProgressor->setProgressValue(float(pending.progress) / 100.0f);
        progressTextField->setText(QStringLiteral("%1%").arg(pending.progress));
        setSummaryLabels(pending.summary);
    }
}

void PRResultViewController::setSummaryLabels(const QStringList &texts)
{
    // Live and deleted label of each kind, in the order of the texts.
    QLabel *labels[] = {photovideoNumlab, delPhotovideoNumlab, contactNumlab, delContactNumlab, messageNumlab,
                        delMessageNumlab, noteNumlab,       delNoteNumlab,    callNumlab,    delCallNumlab};
    for (int i = 0; i < 10 && i < texts.size(); ++i)
        labels[i]->setText(texts.at(i));
}

void PRResultViewController::setShuttingDown()
{
    m_shuttingDown = true;
}

void PRResultViewController::scanStarted(quint64 generation)
{
    m_scanGeneration = generation;
}

void PRResultViewController::ScanThreadFinish(quint64 generation)
{
    // The scan thread only hands the end to the feed, which posts it once
    // everything before it is filed: quitting joins the scan thread from
    // the GUI thread, and a page being deleted drops what was posted to it.
    if (m_shuttingDown)
        return;
    m_feed->finish(generation);
}

void PRResultViewController::ScanFinishOnMainThread(quint64 generation)
{
    // A newer scan has reset the page since this one ended.
    if (m_shuttingDown || generation != m_scanGeneration.load())
        return;
    applyPending();
    showScanEnd();
    Q_EMIT scanEnded();
}

void PRResultViewController::showScanEnd()
{
    showScanControls();
    selectAllBtn->show();
    checkBtn->show();
    setCategoryButtonsEnabled(true);
    m_intake.resetKindCounters();
    PRPageTimings::Scope took(m_timings, PRPageTimings::Models);
    treeController->reload();
    actBackUpBoswer();
}

void PRResultViewController::showScanControls()
{
    m_scanFinished = true;
    logoImageView->show();
    getLogBtn->setEnabled(true);
    backupPopBtn->setEnabled(true);
    scanProgressor->setProgressValue(0);
    progressTextField->setText(QStringLiteral("0%"));
    scanProgressor->hide();
    progressTextField->hide();
    scanInfolab->hide();
    progressGround->hide();
    homeBtn->setEnabled(true);
    for (QPushButton *b : {static_cast<QPushButton *>(facebookBtn), static_cast<QPushButton *>(twitterBtn),
                           static_cast<QPushButton *>(feedBackBtn)})
        b->setEnabled(true);
}

void PRResultViewController::setCategoryButtonsEnabled(bool on)
{
    for (PRButton *b : {photoBtn, contactBtn, messageBtn, noteBtn, callBtn, backupBroswerBtn, bookMarkBtn,
                        calendarBtn, facetwitterBtn})
        b->setEnabled(on);
}

void PRResultViewController::showView(QWidget *parent)
{
    getLogBtn->setEnabled(false);
    parentView = parent;
    if (parent) {
        if (parentWidget() != parent)
            setParent(parent);
        if (parent->layout() && parent->layout()->indexOf(this) < 0)
            parent->layout()->addWidget(this);
    }
    show();

    for (QWidget *pane : m_panes) {
        if (CustomView->layout()->indexOf(pane) < 0)
            CustomView->layout()->addWidget(pane);
        pane->setVisible(pane == scanproView);
    }
    imageView->hide();
    movView->hide();
    m_category = Category::None;
    currentTableView = nullptr;

    scanProgressor->setProgressValue(0);
    progressTextField->setText(QStringLiteral("1%"));
    scanProgressor->show();
    progressTextField->show();
    scanInfolab->show();
    progressGround->show();

    checkBtn->setChecked(false);
    checkBtn->hide();
    selectAllBtn->setChecked(false);
    selectAllBtn->hide();
    selecteFilelab->hide();

    // What an earlier scan handed over is filed before the page resets.
    m_feed->waitIdle();
    {
        std::lock_guard lock(m_pendingMutex);
        m_pending = Pending{};
    }
    treeFileController->showFolder(nullptr);
    treeController->clear();
    m_tree.initData();
    m_backupfiles = 0;
    m_timings.reset();
    const auto current = m_host.currentNode();
    if (current)
        m_tree.setDeviceName(current->strDeviceName());
    m_feed->reset(current ? current->backUpFilePath() : QString());
    m_intake.BackUpFilesNum = 0;
    m_intake.deleteeFilesNum = 0;
    m_intake.resetKindCounters();
    m_selectedFilesNum = 0;
    recovredFilesNum = 0;
    allSelectedFileNum = 0;
    m_scanFinished = false;
    m_startRefused = false;

    saveBtn->setEnabled(false);
    homeBtn->setEnabled(false);
    setCategoryButtonsEnabled(false);
    for (QPushButton *b : {static_cast<QPushButton *>(facebookBtn), static_cast<QPushButton *>(twitterBtn),
                           static_cast<QPushButton *>(feedBackBtn)})
        b->setEnabled(false);

    if (const auto node = m_host.currentNode()) {
        const QString value = QStringLiteral("%1");
        setPreviewLabel(backupNameInfolab, value, node->strDeviceName());
        setPreviewLabel(backupSerialInfolab, value, node->strDeviceSerial());
        setPreviewLabel(deviceTypeInfolab, value, node->strDeviceType());
        setPreviewLabel(iOSTypeInfolab, value, node->strIOSVersion());
        setPreviewLabel(backupDateInfolab, value, node->strDeviceBackUpTime());
    }

    photoBtn->setIcon(iconNamed(QStringLiteral("phone&videoNom")));
    contactBtn->setIcon(iconNamed(QStringLiteral("contactNom")));
    messageBtn->setIcon(iconNamed(QStringLiteral("messageNom")));
    noteBtn->setIcon(iconNamed(QStringLiteral("noteNom")));
    callBtn->setIcon(iconNamed(QStringLiteral("callNom")));

    QStringList empty;
    for (const char *kind : {"Photo&Video:  ", "Contacts:  ", "Messages:  ", "Notes:  ", "Call History:  "})
        empty << QLatin1String(kind) << QLatin1String(kind);
    setSummaryLabels(empty);

    auto widen = [](QTableView *table, PRArrayController *model, const QString &id, int width) {
        const int column = model->columnOf(id);
        if (column >= 0)
            table->setColumnWidth(column, width);
    };
    widen(messageTableView, messageController, QStringLiteral("Content"), 240);
    widen(noteTableView, noteController, QStringLiteral("Content"), 307);
    widen(callHistoryTableView, callHistoryController, QStringLiteral("Phone"), 174);
    widen(contactTableView, contactController, QStringLiteral("Name"), 200);

    bPhotoSelectAll = bContctSelectAll = bMessageSelectAll = bNoteSelectAll = bCallSelectAll = bbookMarkSelectAll =
        bcalenderSelectAll = bfaceTwitterSelectAll = false;

    if (m_currentSelect == 0)
        fillBackupPopUp();

    logoImageView->hide();
    exportBtn->hide();
}

void PRResultViewController::fillBackupPopUp()
{
    PRIOSDeviceController *list = m_host.GetPRIOSDeviceController();
    const auto &entries = list ? list->arrangedObjects() : QList<std::shared_ptr<PRIOSDeviceNode>>();
    QSignalBlocker block(backupPopBtn);
    backupPopBtn->clear();
    if (!entries.isEmpty()) {
        backupPopBtn->show();
        for (const auto &entry : entries)
            backupPopBtn->addItem(QStringLiteral("%1 %2").arg(entry->strDeviceName(), entry->strDeviceBackUpTime()));
        backupPopBtn->setCurrentIndex(m_currentSelect);
        backupPopBtn->setEnabled(false);
        return;
    }
    backupPopBtn->addItem(tr("No Device"));
    scanProgressor->setProgressValue(0);
    progressTextField->setText(QStringLiteral("0%"));
    scanProgressor->hide();
    progressTextField->hide();
    QWidget *window = m_host.mainWindow();
    if (m_host.getDeviceConnected()) {
        QMessageBox box(QMessageBox::Question, QString(),
                        tr("No backups have been found. Do you want to backup your device with Ostra?"),
                        QMessageBox::NoButton, window);
        QPushButton *backup = box.addButton(tr(" Backup "), QMessageBox::AcceptRole);
        box.addButton(tr("Cancel"), QMessageBox::RejectRole);
        box.setDefaultButton(backup);
        box.exec();
        if (box.clickedButton() == backup) {
            m_host.ClickBackup();
            m_host.ClickBackupAction();
        }
    } else {
        QMessageBox box(QMessageBox::Information, QString(),
                        tr("No backups have been found. Please connect your iOS device to Mac and backup with "
                           "Ostra/iTunes."),
                        QMessageBox::NoButton, window);
        box.addButton(tr(" OK "), QMessageBox::AcceptRole);
        box.exec();
    }
}

bool PRResultViewController::backupIsEncrypted(const QString &folder)
{
    const auto manifest = PropertyList::readDictionary(folder + QStringLiteral("/Manifest.plist"));
    return manifest && manifest->value(QStringLiteral("IsEncrypted")).toBool();
}

void PRResultViewController::actSelectBackUpBtn(int index)
{
    // The backup shown is picked again only to retry a refused start.
    if ((index == m_currentSelect && !m_startRefused) || index < 0)
        return;
    PRIOSDeviceController *list = m_host.GetPRIOSDeviceController();
    const auto entry = list ? list->nodeAt(index) : nullptr;
    if (!entry)
        return;
    // The page belongs to its scan until that scan's end has been shown (the
    // pop-up is disabled meanwhile; this guards a call made all the same).
    if (!m_scanFinished) {
        backupPopBtn->setCurrentIndex(m_currentSelect);
        return;
    }
    // An encrypted backup is refused before anything of the page changes,
    // so the results shown stay usable and the pop-up shows them again.
    if (backupIsEncrypted(entry->backUpFilePath())) {
        backupPopBtn->setCurrentIndex(m_currentSelect);
        openSheetAlert(m_host.mainWindow(), QStringLiteral("encryptedBackupAlert"),
                       tr("The iTunes backup has been encrypted by iTunes, please decrypt with iTunes."),
                       tr("Connect your iOS device with the computer, and open the iTunes and access your device "
                          "summary setting, check Encrypt iPhone backup button to unlock your iPhone private data. "
                          "Then go back and scan again."),
                       tr(" Ok "));
        return;
    }
    bSelectedNode = true;
    m_currentSelect = index;
    releaseUIMemory();
    m_selectedFilesNum = 0;
    recovredFilesNum = 0;
    m_intake.BackUpFilesNum = 0;
    m_intake.deleteeFilesNum = 0;
    backupPopBtn->setEnabled(false);
    bSelectedNode = false;
    m_host.setCurrentNode(entry);
    m_host.IOSVersionIOS6(entry->strIOSVersion());
    // The page is reset before the scan starts posting into it.
    m_host.showResultView();
    if (!m_host.ScanIOSBackFile(entry->backUpFilePath()))
        scanRefused();
}

void PRResultViewController::scanRefused()
{
    // Nothing will end this scan: the page ends it here, with the pop-up
    // and home usable so that the user can choose again. The scan that
    // holds the scanner may still file into the intake, so the record
    // categories stay shut, and its end, when it comes, is not this page's.
    m_scanGeneration = 0;
    {
        std::lock_guard lock(m_pendingMutex);
        m_pending = Pending{};
    }
    m_startRefused = true;
    showScanControls();
    openSheetAlert(m_host.mainWindow(), QStringLiteral("scanRefusedAlert"), tr("Another scan is still running."),
                   tr("Wait until it has ended, then choose the backup again."), tr(" Ok "));
}

void PRResultViewController::releaseUIMemory()
{
    m_feed->waitIdle();
    m_search.cancelAndWait();
    thumView->cancelAndWait();
    thumView->showPreivewNodeView({});
    m_intake = PRResultIntake{};
    for (PRArrayController *c : std::initializer_list<PRArrayController *>{
             photoController, contactController, messageController, messageTreeController, noteController,
             callHistoryController, bookMarkController, calendarController, faceTwitterController})
        c->setContent({});
    treeFileController->showFolder(nullptr);
    treeController->clear();
    m_tree.initData();
    m_backupfiles = 0;
}

QList<PRNodeRef> PRResultViewController::recordsOf(Category category) const
{
    switch (category) {
    case Category::Photo: return asNodes(m_intake.photoAndVideoArray);
    case Category::Contact: return asNodes(m_intake.contactArray);
    case Category::Message: return asNodes(m_intake.messageTreeArray);
    case Category::CallHistory: return asNodes(m_intake.callHistoryArray);
    case Category::Note: return asNodes(m_intake.noteArray);
    case Category::BookMark: return asNodes(m_intake.bookMarkArray);
    case Category::Calender: return asNodes(m_intake.calenderArray);
    case Category::FaceTwitter: return asNodes(m_intake.faceTwitterArray);
    case Category::BackUp:
    case Category::None: break;
    }
    return {};
}

PRArrayController *PRResultViewController::controllerOf(QTableView *table) const
{
    return table ? qobject_cast<PRArrayController *>(table->model()) : nullptr;
}

void PRResultViewController::selectFirstRow(QTableView *table)
{
    if (!table || table->model()->rowCount() == 0)
        return;
    table->clearSelection();
    table->selectionModel()->select(table->model()->index(0, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    table->setCurrentIndex(table->model()->index(0, 0));
}

void PRResultViewController::showCategory(Category category, QWidget *pane, QTableView *table,
                                          PRArrayController *controller, const QList<PRNodeRef> &records,
                                          bool showCheck, bool selectAll)
{
    m_category = category;
    exportBtn->setVisible(category == Category::Message);
    checkBtn->setVisible(showCheck);
    if (showCheck)
        checkBtn->setChecked(false);
    const struct
    {
        PRButton *button;
        Category category;
        const char *on;
        const char *normal;
    } images[] = {{photoBtn, Category::Photo, "phone&videoOn", "phone&videoNom"},
                  {contactBtn, Category::Contact, "contactOn", "contactNom"},
                  {messageBtn, Category::Message, "messageOn", "messageNom"},
                  {noteBtn, Category::Note, "noteOn", "noteNom"},
                  {callBtn, Category::CallHistory, "callOn", "callNom"},
                  {bookMarkBtn, Category::BookMark, "Safari-BookMarkOn", "Safari-BookMarkNom"},
                  {calendarBtn, Category::Calender, "CalendarReminderOn", "CalendarReminderNom"},
                  {facetwitterBtn, Category::FaceTwitter, "TwitterFaceBookOn", "TwitterFaceBookNom"},
                  {backupBroswerBtn, Category::BackUp, "backupborswerDown", "backupborswerNom"}};
    for (const auto &i : images) {
        const bool pressed = i.category == category;
        i.button->setIcon(iconNamed(QLatin1String(pressed ? i.on : i.normal)));
        i.button->setStyleSheet(pressed ? QStringLiteral("PRButton { text-align: left; padding-left: 10px; border: "
                                                         "none; background: rgb(157, 181, 212); color: white; }")
                                        : QStringLiteral("PRButton { text-align: left; padding-left: 10px; border: "
                                                         "none; } PRButton:hover { background: rgb(227, 234, 239); }"));
    }
    currentTableView = table;
    for (QWidget *p : m_panes)
        p->setVisible(p == pane);
    if (controller) {
        PRPageTimings::Scope took(m_timings, PRPageTimings::Models);
        controller->setContent(records);
        selectFirstRow(table);
    }
    if (category != Category::BackUp)
        selectAllBtn->setChecked(selectAll);
    updatePreviewFieldsVisibility();
}

void PRResultViewController::actPhoto()
{
    showCategory(Category::Photo, photoView, photoTableView, photoController, recordsOf(Category::Photo), false,
                 bPhotoSelectAll);
    thumView->showPreivewNodeView(m_intake.photoAndVideoArray);
}

void PRResultViewController::actContact()
{
    showCategory(Category::Contact, contactView, contactTableView, contactController, recordsOf(Category::Contact),
                 true, bContctSelectAll);
}

void PRResultViewController::actMessage()
{
    showCategory(Category::Message, messageTreeView, messageTreeTableView, messageTreeController,
                 recordsOf(Category::Message), true, bMessageSelectAll);
}

void PRResultViewController::actCallHistory()
{
    showCategory(Category::CallHistory, callHistoryView, callHistoryTableView, callHistoryController,
                 recordsOf(Category::CallHistory), true, bCallSelectAll);
}

void PRResultViewController::actNote()
{
    showCategory(Category::Note, noteView, noteTableView, noteController, recordsOf(Category::Note), true,
                 bNoteSelectAll);
}

void PRResultViewController::actBookMark()
{
    showCategory(Category::BookMark, bookMarkView, bookMarkTableView, bookMarkController,
                 recordsOf(Category::BookMark), true, bbookMarkSelectAll);
}

void PRResultViewController::actCalender()
{
    showCategory(Category::Calender, calenderView, calenderTableView, calendarController,
                 recordsOf(Category::Calender), true, bcalenderSelectAll);
}

void PRResultViewController::actFaceTwitter()
{
    showCategory(Category::FaceTwitter, facetwitterView, facetwitterTableView, faceTwitterController,
                 recordsOf(Category::FaceTwitter), false, bfaceTwitterSelectAll);
}

void PRResultViewController::actBackUpBoswer()
{
    showCategory(Category::BackUp, treeView, treetableView, nullptr, {}, false, false);
    refreshOutlineView();
}

void PRResultViewController::refreshOutlineView()
{
    if (treeController->rowCount() > 0)
        treeOutlineView->expand(treeController->index(0, 0));
}

void PRResultViewController::tableViewDidClickTableColumn(QTableView *table, int column)
{
    PRArrayController *controller = controllerOf(table);
    if (!controller)
        return;
    PRSortTable kind = PRSortTable::Other;
    if (table == photoTableView)
        kind = PRSortTable::Photo;
    else if (table == contactTableView)
        kind = PRSortTable::Contact;
    else if (table == messageTableView)
        kind = PRSortTable::Message;
    else if (table == callHistoryTableView)
        kind = PRSortTable::Call;
    QList<PRNodeRef> content = controller->arrangedObjects();
    if (!PRResultSorting::sortForColumn(kind, controller->columnIdentifier(column), content))
        return;
    controller->setContent(content);
    selectFirstRow(table);
}

void PRResultViewController::StartSearchThread(const QString &text)
{
    PRSearchKind kind = PRSearchKind::None;
    switch (m_category) {
    case Category::Message: kind = PRSearchKind::Conversation; break;
    case Category::Contact: kind = PRSearchKind::Contact; break;
    case Category::Note: kind = PRSearchKind::Note; break;
    case Category::CallHistory: kind = PRSearchKind::Call; break;
    case Category::Calender: kind = PRSearchKind::Calendar; break;
    default: break;
    }
    if (!m_scanFinished || m_category == Category::None || m_category == Category::BackUp
        || m_category == Category::Photo || m_category == Category::BookMark)
        return;
    if (text.isEmpty()) {
        m_search.cancelAndWait();
        returnOriginTableView();
        return;
    }
    // The table empties at once; the matches fill it when the search ends.
    if (PRArrayController *controller = controllerOf(currentTableView))
        controller->setContent({});
    if (currentTableView == messageTreeTableView)
        conversationView->RemoveAllMessageChatView();
    if (kind == PRSearchKind::None)
        return;
    m_searchGeneration = m_search.start(kind, recordsOf(m_category), text);
}

bool PRResultViewController::isSearchRunning() const
{
    return m_search.isRunning();
}

void PRResultViewController::showSearchResults(quint64 generation, const QList<PRNodeRef> &matches)
{
    if (generation != m_searchGeneration)
        return;
    if (PRArrayController *controller = controllerOf(currentTableView)) {
        controller->setContent(matches);
        selectFirstRow(currentTableView);
    }
    Q_EMIT searchShown(int(matches.size()));
}

void PRResultViewController::returnOriginTableView()
{
    switch (m_category) {
    case Category::Message: actMessage(); break;
    case Category::Contact: actContact(); break;
    case Category::CallHistory: actCallHistory(); break;
    case Category::Note: actNote(); break;
    case Category::Calender: actCalender(); break;
    case Category::FaceTwitter: actFaceTwitter(); break;
    default: break;
    }
}

void PRResultViewController::clickGetLog()
{
    showStepImageView->setPixmap(imageNamed(QStringLiteral("firstSteppic")));
    showStepBtn->setPixmap(imageNamed(QStringLiteral("firstStep")));
    m_currentStep = 0;
    guidWindow->open();
}

void PRResultViewController::actNextClick()
{
    switch (m_currentStep) {
    case 0:
        showStepImageView->setPixmap(imageNamed(QStringLiteral("secondStepPic")));
        showStepBtn->setPixmap(imageNamed(QStringLiteral("secondStep")));
        firstTiplab->setText(tr("Step2: Backup with iTunes to obtain the latest database file."));
        m_currentStep = 1;
        break;
    case 1:
        showStepImageView->setPixmap(imageNamed(QStringLiteral("thirdSteppic")));
        showStepBtn->setPixmap(imageNamed(QStringLiteral("thirdStep")));
        nextBtn->setIcon(iconNamed(QStringLiteral("DoneNom")));
        firstTiplab->setText(tr("Strep3: Run Ostra and rescan."));
        m_currentStep = 2;
        break;
    default:
        nextBtn->setIcon(iconNamed(QStringLiteral("nextBtn")));
        firstTiplab->setText(tr("Step1: Reboot your iPhone or other i-device."));
        guidWindow->hide();
        m_currentStep = 0;
        break;
    }
}

void PRResultViewController::clickFeedBack()
{
    feedbackTextView->setPlainText(tr("Provide any suggestions or problems to us."));
    QFont font = feedbackTextView->font();
    font.setPointSize(13);
    feedbackTextView->setFont(font);
    feedbackTextView->setTextColor(Qt::gray);
    feedbackEmailVaule->clear();
    if (!feedbackWindow->isVisible())
        feedbackWindow->show();
}

void PRResultViewController::ClickDontSendFeedBack()
{
    feedbackWindow->hide();
}

void PRResultViewController::clickSendFeedBack()
{
    // Nothing is sent anywhere: the sheet only collects.
}

QUrl PRResultViewController::facebookUrl()
{
    return QUrl(QStringLiteral("https://www.facebook.com/ostra.app"));
}

QUrl PRResultViewController::twitterUrl()
{
    return QUrl(QStringLiteral("https://twitter.com/ostra_app"));
}

QUrl PRResultViewController::supportUrl()
{
    return QUrl(QStringLiteral("https://ostra.app/support"));
}

void PRResultViewController::openLink(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}

void PRResultViewController::clickFacebook()
{
    openLink(facebookUrl());
}

void PRResultViewController::clickTwitter()
{
    openLink(twitterUrl());
}

void PRResultViewController::clickSupport()
{
    openLink(supportUrl());
}

void PRResultViewController::hoverLink(QObject *button, bool entered)
{
    // Hover notifications come from every button of the application; only
    // the page's three links answer, and only on the GUI thread.
    if (button != facebookBtn && button != twitterBtn && button != feedBackBtn)
        return;
    auto *b = static_cast<QPushButton *>(button);
    b->setCursor(entered ? Qt::PointingHandCursor : Qt::ArrowCursor);
    QFont font = lucidaGrande(11);
    font.setUnderline(entered);
    b->setFont(font);
}
