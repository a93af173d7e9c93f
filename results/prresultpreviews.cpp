// The preview beside each record table: filled from the selected record
// whenever the selection of the current table changes.

#include "backup/nodes/prbookmarknode.h"
#include "backup/nodes/prcalendernode.h"
#include "backup/nodes/prcallhistorynode.h"
#include "filesafety/fileopening.h"
#include "filesafety/primages.h"
#include "results/prconversationview.h"
#include "results/prmoviepreview.h"
#include "results/prpreviewpictureloader.h"
#include "results/prresultviewcontroller.h"
#include "results/prsharedcontrols.h"
#include "results/prthumgrid.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>
#include <QUrl>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QHeaderView>
#include <QTableView>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

QLabel *field(QWidget *parent, QVBoxLayout *column, int points = 12, bool bold = false)
{
    auto *l = new QLabel(parent);
    l->setFont(lucidaGrande(points, bold));
    // Every field shows record text: never markup.
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(l);
    return l;
}

QWidget *panel(QWidget *parent, QVBoxLayout **column)
{
    auto *w = new QWidget(parent);
    w->setMinimumWidth(240);
    *column = new QVBoxLayout(w);
    (*column)->setContentsMargins(12, 8, 8, 8);
    (*column)->setSpacing(6);
    return w;
}

// Pictures are read at the size they are shown (a 12-megapixel photo is not
// decoded whole for a preview), on a worker: the stored file of a tampered
// backup may be a FIFO or huge. The label shows nothing, or what stands for
// the picture, until the picture arrives.
PRPreviewPictureLoader *pictureLoader(QLabel *label)
{
    return PRPreviewPictureLoader::of(label);
}

// The picture that stands for a file of this name's type.
QPixmap fileTypeIcon(const QString &name, int side)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    const QIcon themed = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
    if (!themed.isNull())
        return themed.pixmap(side, side);
    return imageNamed(QStringLiteral("document.png")).scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

template<typename T>
std::shared_ptr<T> recordAt(PRArrayController *controller, int row)
{
    return std::dynamic_pointer_cast<T>(controller ? controller->nodeAt(row) : nullptr);
}

} // namespace

void PRResultViewController::placeWithPreview(QWidget *pane, QWidget *table, QWidget *preview)
{
    auto *layout = new QHBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    if (!preview) {
        layout->addWidget(table);
        return;
    }
    auto *splitter = new QSplitter(Qt::Horizontal, pane);
    splitter->addWidget(table);
    // A long contact or note scrolls inside its preview instead of making
    // the window taller; the conversation view scrolls by itself.
    if (preview->findChild<PRConversationView *>()) {
        splitter->addWidget(preview);
    } else {
        auto *scroll = new QScrollArea(pane);
        scroll->setWidget(preview);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setMinimumWidth(preview->minimumWidth());
        scroll->setMaximumWidth(preview->maximumWidth());
        splitter->addWidget(scroll);
    }
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setChildrenCollapsible(false);
    layout->addWidget(splitter);
}

void PRResultViewController::buildPreviews()
{
    QVBoxLayout *c = nullptr;

    // Photos and videos.
    priviewImageVideoView = panel(photoView, &c);
    imageView = new QLabel(priviewImageVideoView);
    imageView->setAlignment(Qt::AlignCenter);
    imageView->setMinimumSize(160, 160);
    movView = new PRMoviePreview(priviewImageVideoView);
    movView->hide();
    connect(movView, &PRMoviePreview::failed, this, [this] {
        // A movie that cannot be played shows its file type instead.
        pictureLoader(imageView)->cancel();
        movView->hide();
        imageView->show();
        imageView->setPixmap(imageNamed(QStringLiteral("mov")).scaled(128, 128, Qt::KeepAspectRatio,
                                                                      Qt::SmoothTransformation));
    });
    c->addWidget(imageView, 1);
    c->addWidget(movView, 1);
    imageFileNamelab = field(priviewImageVideoView, c);
    imageFileSizelab = field(priviewImageVideoView, c);
    priviewImageVideoView->setMinimumWidth(200);
    priviewImageVideoView->setMaximumWidth(320);
    // Photos and videos show as a grid of thumbnails; their table stays
    // behind it for the selection and the sorting.
    thumView = new PRSrollThumView(photoView);
    photoTableView->hide();
    placeWithPreview(photoView, thumView, priviewImageVideoView);
    connect(thumView, &PRSrollThumView::tickChanged, this, [this](bool on) { onTickChanged(on); });
    connect(thumView, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        if (auto node = thumView->thumModel()->record(index.row()))
            showPhotoPreview(*node);
    });
    connect(this, &PRResultViewController::selectAllApplied, this, [this](bool on) {
        if (m_category == Category::Photo)
            thumView->RefreshNodeSelectView(on);
    });

    // Contacts.
    QWidget *contactPreview = panel(contactView, &c);
    contactImageView = new QLabel(contactPreview);
    contactImageView->setFixedSize(96, 96);
    contactImageView->setScaledContents(true);
    c->addWidget(contactImageView);
    contactNamelab = field(contactPreview, c, 16, true);
    contactPhonelab = field(contactPreview, c);
    contactEmaillab = field(contactPreview, c);
    contactHomePagelab = field(contactPreview, c);
    contactCompanylab = field(contactPreview, c);
    contactJobTitlelab = field(contactPreview, c);
    contactBirthdaylab = field(contactPreview, c);
    contactNotelab = new PRTextView(contactPreview);
    contactNoteScrollView = contactNotelab;
    c->addWidget(contactNotelab, 1);
    placeWithPreview(contactView, contactTableView, contactPreview);

    // Conversations: the bubbles come with the conversation view.
    QWidget *messagePreview = panel(messageTreeView, &c);
    messageNamelab = field(messagePreview, c, 14, true);
    messagePhonelab = field(messagePreview, c);
    messageTypelab = field(messagePreview, c, 11);
    messageDatelab = field(messagePreview, c, 11);
    conversationView = new PRConversationView(messagePreview);
    conversationView->setMinimumWidth(430);
    messageScrollView = conversationView;
    c->addWidget(messageScrollView, 1);
    placeWithPreview(messageTreeView, messageTreeTableView, messagePreview);
    placeWithPreview(messageView, messageTableView, nullptr);

    // Calls.
    QWidget *callPreview = panel(callHistoryView, &c);
    callNamelab = field(callPreview, c, 14, true);
    callPhonelab = field(callPreview, c);
    callTypelab = field(callPreview, c);
    callTimelab = field(callPreview, c);
    callDatelab = field(callPreview, c);
    c->addStretch(1);
    placeWithPreview(callHistoryView, callHistoryTableView, callPreview);

    // Notes.
    QWidget *notePreview = panel(noteView, &c);
    noteTitlelab = field(notePreview, c, 14, true);
    noteDatelab = field(notePreview, c);
    noteContentlab = field(notePreview, c, 11);
    noteContentlab->hide();  // the text view below shows the note whole
    noteContentView = new PRTextView(notePreview);
    noteScrollView = noteContentView;
    c->addWidget(noteContentView, 1);
    placeWithPreview(noteView, noteTableView, notePreview);

    // Bookmarks.
    QWidget *bookMarkPreview = panel(bookMarkView, &c);
    bookMarkTitlelab = field(bookMarkPreview, c, 13);
    bookMarkURLlab = field(bookMarkPreview, c);
    c->addStretch(1);
    placeWithPreview(bookMarkView, bookMarkTableView, bookMarkPreview);

    // Calendar.
    QWidget *calendarPreview = panel(calenderView, &c);
    calTitlelab = field(calendarPreview, c, 13);
    calNotelab = field(calendarPreview, c);
    calStartDatelab = field(calendarPreview, c);
    calEndDatelab = field(calendarPreview, c);
    c->addStretch(1);
    placeWithPreview(calenderView, calenderTableView, calendarPreview);

    // Social-app files.
    faceTwitterShowView = panel(facetwitterView, &c);
    faceTwitterShowImageView = new QLabel(faceTwitterShowView);
    faceTwitterShowImageView->setAlignment(Qt::AlignCenter);
    faceTwitterShowImageView->setMinimumSize(160, 160);
    c->addWidget(faceTwitterShowImageView, 1);
    previewBtn = new QPushButton(tr("Open"), faceTwitterShowView);
    previewBtn->setIcon(iconNamed(QStringLiteral("document.png")));
    c->addWidget(previewBtn, 0, Qt::AlignHCenter);
    faceTwitterFileNamelab = field(faceTwitterShowView, c);
    faceTwitterFileSizelab = field(faceTwitterShowView, c);
    connect(previewBtn, &QPushButton::clicked, this, &PRResultViewController::actPreView);
    placeWithPreview(facetwitterView, facetwitterTableView, faceTwitterShowView);

    // Backup files.
    QWidget *filePreview = panel(treeView, &c);
    treeFileImageView = new QLabel(filePreview);
    treeFileImageView->setAlignment(Qt::AlignCenter);
    treeFileImageView->setMinimumSize(200, 200);
    c->addWidget(treeFileImageView, 1);
    buildTreePane(filePreview);
}

void PRResultViewController::buildTreePane(QWidget *filePreview)
{
    treeController = new PRTreeOutlineModel(&m_tree, this);
    treeFileController = new PRTreeFileController(&m_tree, this);
    treeOutlineView = new QTreeView(treeView);
    treeOutlineView->setModel(treeController);
    treeOutlineView->setHeaderHidden(false);
    treeOutlineView->setUniformRowHeights(true);
    treeOutlineView->setMinimumWidth(180);
    filePreview->setMinimumWidth(140);
    styleTable(treetableView, treeFileController);

    // A folder shows its files; a file shows its picture or its type.
    connect(treeOutlineView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                treeFileController->showFolder(treeController->folderAt(current));
                treetableView->clearSelection();
            });
    connect(treetableView->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (currentTableView == treetableView)
            tableViewSelectionDidChange();
    });
    // Ticks: the folders follow the files and the files the folders.
    connect(treeFileController, &PRTreeFileController::filesTicked, this, [this] {
        treeController->refreshStates();
        showSelectionCount();
    });
    connect(treeController, &PRTreeOutlineModel::selectionChanged, this, [this] {
        treeFileController->refreshTicks();
        showSelectionCount();
    });
    connect(treeFileController, &PRArrayController::tickChanged, this, [this](int row, bool on) {
        if (m_tickingSelection || !treetableView->selectionModel()->isRowSelected(row, {}))
            return;
        QList<int> rows;
        for (const QModelIndex &selected : treetableView->selectionModel()->selectedRows())
            if (selected.row() != row)
                rows << selected.row();
        m_tickingSelection = true;
        treeFileController->setRowsSelected(rows, on);
        m_tickingSelection = false;
    });

    auto *layout = new QHBoxLayout(treeView);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *splitter = new QSplitter(Qt::Horizontal, treeView);
    splitter->addWidget(treeOutlineView);
    splitter->addWidget(treetableView);
    splitter->addWidget(filePreview);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 4);
    splitter->setStretchFactor(2, 1);
    splitter->setSizes({240, 460, 200});
    splitter->setChildrenCollapsible(false);
    layout->addWidget(splitter);
}

void PRResultViewController::tableViewSelectionDidChange()
{
    if (bSelectedNode || !currentTableView)
        return;
    const QModelIndexList rows = currentTableView->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    const int row = rows.first().row();
    PRArrayController *controller = controllerOf(currentTableView);

    if (currentTableView == photoTableView) {
        if (auto node = recordAt<PRPhotoAndVideoNode>(controller, row))
            showPhotoPreview(*node);
    } else if (currentTableView == contactTableView) {
        if (auto node = recordAt<PRContactNode>(controller, row))
            showContactPreview(*node);
    } else if (currentTableView == callHistoryTableView) {
        if (auto node = recordAt<PRCallHistoryNode>(controller, row)) {
            setPreviewLabel(callNamelab, tr("Name: %1"), node->callName());
            setPreviewLabel(callPhonelab, tr("Phone: %1"), node->callPhone());
            setPreviewLabel(callTypelab, tr("Type: %1"), node->callType());
            setPreviewLabel(callTimelab, tr("Duration: %1"), node->callDuration());
            setPreviewLabel(callDatelab, tr("Date: %1"), node->callDate());
        }
    } else if (currentTableView == noteTableView) {
        if (auto node = recordAt<PRNoteNode>(controller, row)) {
            noteScrollView->show();
            setPreviewLabel(noteTitlelab, tr("Title: %1"), node->noteTitle());
            setPreviewLabel(noteDatelab, tr("Date: %1"), node->noteDate());
            noteContentView->setPreviewText(node->noteContent());
            setPreviewLabel(noteContentlab, tr("Note: %1"), node->noteContent());
        }
    } else if (currentTableView == bookMarkTableView) {
        if (auto node = recordAt<PRBookMarkNode>(controller, row)) {
            setPreviewLabel(bookMarkTitlelab, tr("Title: \n%1"), node->bookMarkTitle());
            setPreviewLabel(bookMarkURLlab, tr("URL: \n%1"), node->bookMarkURL());
        }
    } else if (currentTableView == calenderTableView) {
        if (auto node = recordAt<PRCalenderNode>(controller, row)) {
            setPreviewLabel(calTitlelab, tr("Title: \n%1"), node->calTitle());
            setPreviewLabel(calNotelab, tr("Note: \n%1"), node->calNote());
            setPreviewLabel(calStartDatelab, tr("Start Date: %1"), node->startDate());
            setPreviewLabel(calEndDatelab, tr("Start End: %1"), node->endDate());
        }
    } else if (currentTableView == facetwitterTableView) {
        if (auto node = recordAt<PRFaceTwitterNode>(controller, row))
            showFaceTwitterPreview(*node);
    } else if (currentTableView == treetableView) {
        if (auto file = std::dynamic_pointer_cast<PRTreeFileNode>(treeFileController->nodeAt(row)))
            showFilePreview(file->filePath());
    } else if (currentTableView == messageTreeTableView) {
        if (auto node = recordAt<PRMessageTreeNode>(controller, row)) {
            const auto &messages = node->MessageNodeArray();
            setPreviewLabel(messageNamelab, QStringLiteral("%1"), node->messageTreeNodeName());
            setPreviewLabel(messagePhonelab, QStringLiteral("%1"), node->messageTreeNodeAdress());
            messageTypelab->setText(tr("%n message(s)", nullptr, int(messages.size())));
            setPreviewLabel(messageDatelab, QStringLiteral("%1"),
                            messages.isEmpty() || !messages.last() ? QString() : messages.last()->messageDate());
            conversationView->showConversation(node);
        }
    }
}

void PRResultViewController::showPhotoPreview(const PRPhotoAndVideoNode &node)
{
    if (node.bmov()) {
        // A photo still being read must not land on the movie's place.
        pictureLoader(imageView)->cancel();
        imageView->hide();
        movView->show();
        movView->setMovie(node.filePath());
    } else {
        movView->stop();
        movView->hide();
        imageView->show();
        imageView->setPixmap(QPixmap());
        QLabel *label = imageView;
        pictureLoader(imageView)->requestFile(node.filePath(), QSize(360, 360), [label](const QImage &picture) {
            label->setPixmap(QPixmap::fromImage(picture));
        });
    }
    setPreviewLabel(imageFileNamelab, tr("File Name: %1"), node.fileNodeName());
    setPreviewLabel(imageFileSizelab, tr("File Size: %1"), node.fileNodeSize());
}

void PRResultViewController::showContactPreview(const PRContactNode &node)
{
    setPreviewLabel(contactNamelab, QStringLiteral("%1"), node.contactName());
    setPreviewLabel(contactPhonelab, tr("Phone: %1"), node.contactPhone());
    setPreviewLabel(contactEmaillab, tr("Email: %1"), node.contactEmail());
    setPreviewLabel(contactHomePagelab, tr("HomePage: %1"), node.contactHomepage());
    setPreviewLabel(contactCompanylab, tr("Company: %1"), node.contactCompany());
    setPreviewLabel(contactJobTitlelab, tr("JobTitle: %1"), node.contactJobtitle());
    setPreviewLabel(contactBirthdaylab, tr("Birthday: %1"), node.contactBirthday());
    contactNotelab->setPreviewText(tr("Note: %1").arg(node.contactNote()));
    // Shown in 96 points; twice that keeps it sharp on a dense screen. The
    // stand-in shows until the record's own picture is decoded.
    contactImageView->setPixmap(imageNamed(QStringLiteral("contact")));
    QLabel *label = contactImageView;
    pictureLoader(contactImageView)->requestData(node.imageData(), QSize(192, 192), [label](const QImage &photo) {
        if (!photo.isNull())
            label->setPixmap(QPixmap::fromImage(photo));
    });
    // An empty value hides its line; a present one shows it again.
    const std::pair<QWidget *, const QString *> lines[] = {
        {contactNamelab, &node.contactName()},         {contactPhonelab, &node.contactPhone()},
        {contactEmaillab, &node.contactEmail()},       {contactHomePagelab, &node.contactHomepage()},
        {contactCompanylab, &node.contactCompany()},   {contactJobTitlelab, &node.contactJobtitle()},
        {contactBirthdaylab, &node.contactBirthday()}, {contactNoteScrollView, &node.contactNote()}};
    for (const auto &[widget, value] : lines)
        widget->setVisible(!value->isEmpty());
}

void PRResultViewController::showFaceTwitterPreview(const PRFaceTwitterNode &node)
{
    // A file that is no picture is opened with the button instead; until the
    // picture arrives the file counts as one.
    previewBtn->setVisible(true);
    faceTwitterShowImageView->setVisible(false);
    faceTwitterShowImageView->setPixmap(QPixmap());
    pictureLoader(faceTwitterShowImageView)
        ->requestFile(node.faceTwitterFilePath(), QSize(360, 360), [this](const QImage &picture) {
            previewBtn->setVisible(picture.isNull());
            faceTwitterShowImageView->setVisible(!picture.isNull());
            faceTwitterShowImageView->setPixmap(QPixmap::fromImage(picture));
        });
    setPreviewLabel(faceTwitterFileNamelab, tr("Name: %1"), node.faceTwitterFileName());
    setPreviewLabel(faceTwitterFileSizelab, tr("Size: %1"), node.fileSize());
}

void PRResultViewController::showFilePreview(const QString &path)
{
    // The type's picture first; the file's own when it is one.
    treeFileImageView->setPixmap(fileTypeIcon(path, 128));
    QLabel *label = treeFileImageView;
    pictureLoader(treeFileImageView)->requestFile(path, QSize(320, 320), [label](const QImage &picture) {
        if (!picture.isNull())
            label->setPixmap(QPixmap::fromImage(picture));
    });
}

void PRResultViewController::actPreView()
{
    if (currentTableView != facetwitterTableView)
        return;
    const QModelIndexList rows = facetwitterTableView->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    auto node = recordAt<PRFaceTwitterNode>(faceTwitterController, rows.first().row());
    if (!node)
        return;
    // The private copy of a large video takes a while: made on a worker,
    // handed to the desktop (or explained) back on the GUI thread.
    QPointer<PRResultViewController> page(this);
    const QString path = node->faceTwitterFilePath();
    const QString name = node->faceTwitterFileName();
    QThreadPool::globalInstance()->start([page, path, name] {
        QString copy;
        const PRFileOpening::Result result = PRFileOpening::prepareCopy(path, name, &copy);
        QMetaObject::invokeMethod(
            qApp,
            [page, result, copy] {
                const bool handed = result == PRFileOpening::Result::Opened
                                    && QDesktopServices::openUrl(QUrl::fromLocalFile(copy));
                if (!handed && page)
                    QMessageBox::information(page->m_host.mainWindow(), QString(),
                                             PRFileOpening::message(result == PRFileOpening::Result::Opened
                                                                        ? PRFileOpening::Result::Failed
                                                                        : result));
            },
            Qt::QueuedConnection);
    });
}

void PRResultViewController::updatePreviewFieldsVisibility()
{
    const bool empty = isCurrentRecordsEmpty();
    QList<QWidget *> fields;
    switch (m_category) {
    case Category::CallHistory: fields = {callNamelab, callPhonelab, callTypelab, callTimelab, callDatelab}; break;
    case Category::Note: fields = {noteTitlelab, noteDatelab, noteScrollView}; break;
    case Category::BookMark: fields = {bookMarkTitlelab, bookMarkURLlab}; break;
    case Category::Calender: fields = {calTitlelab, calNotelab, calStartDatelab, calEndDatelab}; break;
    case Category::FaceTwitter:
        fields = {previewBtn, faceTwitterShowView, faceTwitterFileNamelab, faceTwitterFileSizelab};
        break;
    default: return;
    }
    for (QWidget *w : fields)
        w->setVisible(!empty);
    if (!empty && m_category == Category::FaceTwitter)
        previewBtn->show();
}

bool PRResultViewController::isCurrentRecordsEmpty() const
{
    switch (m_category) {
    case Category::CallHistory: return m_intake.callHistoryArray.isEmpty();
    case Category::Note: return m_intake.noteArray.isEmpty();
    case Category::BookMark: return m_intake.bookMarkArray.isEmpty();
    case Category::Calender: return m_intake.calenderArray.isEmpty();
    case Category::FaceTwitter: return m_intake.faceTwitterArray.isEmpty();
    default: return recordsOf(m_category).isEmpty();
    }
}
