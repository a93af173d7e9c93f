#include "transfer/page/prtransferpersonalpane.h"

#include "filesafety/primages.h"
#include "filesafety/prreveal.h"
#include "platform/paths.h"
#include "platform/regularfile.h"
#include "results/prconversationview.h"
#include "results/prflowlayout.h"
#include "results/prsharedcontrols.h"
#include "results/recordmodels.h"
#include "transfer/page/nophonelabel.h"

#include <QAction>
#include <QBuffer>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kNamedFailures = 12;
// The note's picture is read no larger than this, and from at most this
// many bytes.
constexpr int kNotePictureSide = 320;
constexpr qint64 kMaxNotePictureBytes = 64 * 1024 * 1024;

QPixmap notePicture(const QString &path)
{
    std::optional<QByteArray> read = RegularFile::read(path, kMaxNotePictureBytes);
    if (!read)
        return {};
    QByteArray bytes = std::move(*read);
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > kNotePictureSide || size.height() > kNotePictureSide))
        reader.setScaledSize(size.scaled(kNotePictureSide, kNotePictureSide, Qt::KeepAspectRatio));
    return QPixmap::fromImage(reader.read());
}

} // namespace

PRTransferPersonalPane::PRTransferPersonalPane(Kind kind, QWidget *pane, QObject *parent)
    : QObject(parent)
    , m_kind(kind)
{
    m_notice = [this](const QString &title, const QString &text) {
        auto *box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, table->window());
        box->setTextFormat(Qt::PlainText);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    };
    m_reveal = [](const QString &folder) { PRReveal::showFolderLater(folder); };
    buildWidgets(pane);
    updateActions();
}

PRTransferPersonalPane::~PRTransferPersonalPane() = default;

QString PRTransferPersonalPane::documentsFolder() const
{
    return m_documents.isEmpty() ? Paths::userPath(QStringLiteral("/Users/%@/Documents")) : m_documents;
}

void PRTransferPersonalPane::buildWidgets(QWidget *pane)
{
    const char *names[] = {"", "contactTableView", "messageTableView", "noteTableView"};
    switch (m_kind) {
    case Kind::Contact: controller = new PRContactController(this); break;
    case Kind::Message: controller = new PRMessageTreeController(this); break;
    case Kind::Note: controller = new PRNoteController(this); break;
    }
    table = new QTableView(pane);
    table->setObjectName(QLatin1String(names[int(m_kind)]));
    table->setModel(controller);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->hide();
    table->setAlternatingRowColors(true);
    // The transfer page exports what is selected: no tick column.
    if (const int tick = controller->columnOf(QStringLiteral("bSelected")); tick >= 0)
        table->hideColumn(tick);
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        tableViewSelectionDidChange();
        updateActions();
    });
    connect(controller, &QAbstractItemModel::modelReset, this, &PRTransferPersonalPane::updateActions);

    auto action = [this](const QString &text, auto slot) {
        auto *a = new QAction(text, this);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    if (m_kind == Kind::Message) {
        exportSelectedAction = action(tr("Export Selected as HTML"), [this] { exportSelected(Format::Html); });
        exportAllAction = action(tr("Export All as HTML"), [this] { exportAll(Format::Html); });
        exportSelectedPdfAction = action(tr("Export Selected as PDF"), [this] { exportSelected(Format::Pdf); });
        exportAllPdfAction = action(tr("Export All as PDF"), [this] { exportAll(Format::Pdf); });
    } else {
        exportSelectedAction = action(tr("Export Selected to Documents"), [this] { exportSelected(); });
        exportAllAction = action(tr("Export All to Documents"), [this] { exportAll(); });
    }
    // The buttons wrap rather than cut their titles when the pane is narrow.
    auto *bar = new QHBoxLayout;
    auto *buttons = new PRFlowLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    bar->addLayout(buttons, 1);
    for (QAction *a : {exportSelectedAction, exportAllAction, exportSelectedPdfAction, exportAllPdfAction}) {
        if (!a)
            continue;
        auto *b = new QToolButton(pane);
        b->setDefaultAction(a);
        buttons->addWidget(b);
    }
    statusLab = new QLabel(pane);
    statusLab->setTextFormat(Qt::PlainText);
    bar->addWidget(statusLab);
    exportProgressor = new QProgressBar(pane);
    exportProgressor->setRange(0, 0);
    exportProgressor->setMaximumWidth(160);
    exportProgressor->setTextVisible(false);
    exportProgressor->hide();
    bar->addWidget(exportProgressor);

    auto *body = new QHBoxLayout;
    body->addWidget(table, 2);
    auto *preview = new QWidget(pane);
    auto *side = new QVBoxLayout(preview);
    switch (m_kind) {
    case Kind::Contact: {
        contactImageView = new QLabel(preview);
        contactImageView->setAlignment(Qt::AlignCenter);
        contactImageView->setPixmap(imageNamed(QStringLiteral("contact")));
        side->addWidget(contactImageView);
        const char *labelNames[] = {"contactNamelab",     "contactPhonelab",   "contactEmaillab",
                                    "contactHomepagelab", "contactCompanylab", "contactJobtitlelab",
                                    "contactBirthdaylab", "contactNotelab"};
        for (std::size_t i = 0; i < contactLabels.size(); ++i) {
            auto *label = new QLabel(preview);
            label->setObjectName(QLatin1String(labelNames[i]));
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            label->hide();
            side->addWidget(label);
            contactLabels[i] = label;
        }
        QFont big = contactLabels[0]->font();
        big.setPointSize(16);
        contactLabels[0]->setFont(big);
        side->addStretch(1);
        preview->setFixedWidth(300);
        break;
    }
    case Kind::Message:
        messageTreeScrollView = new PRConversationView(preview);
        messageTreeScrollView->setObjectName(QStringLiteral("messageTreeScrollView"));
        side->setContentsMargins(0, 0, 0, 0);
        side->addWidget(messageTreeScrollView);
        table->setMinimumWidth(360);
        preview->setMinimumWidth(420);
        break;
    case Kind::Note:
        noteContentlab = new QLabel(preview);
        noteContentlab->setObjectName(QStringLiteral("noteContentlab"));
        noteContentlab->setTextFormat(Qt::PlainText);
        noteContentlab->setWordWrap(true);
        noteContentlab->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        noteContentlab->setAutoFillBackground(true);
        {
            QPalette palette = noteContentlab->palette();
            palette.setColor(QPalette::Window, QColor(223, 224, 101));
            palette.setColor(QPalette::WindowText, Qt::black);
            noteContentlab->setPalette(palette);
        }
        noteContentlab->setMargin(8);
        noteImageView = new QLabel(preview);
        noteImageView->setObjectName(QStringLiteral("noteImageView"));
        noteImageView->setAlignment(Qt::AlignCenter);
        side->addWidget(noteContentlab, 1);
        side->addWidget(noteImageView);
        preview->setFixedWidth(340);
        break;
    }
    body->addWidget(preview, m_kind == Kind::Message ? 3 : 0);

    noPhoneLab = makeNoPhoneLabel(pane);

    auto *layout = qobject_cast<QVBoxLayout *>(pane->layout());
    if (!layout)
        layout = new QVBoxLayout(pane);
    layout->addWidget(noPhoneLab);
    layout->addLayout(bar);
    layout->addLayout(body, 1);
    buildMenu();
}

void PRTransferPersonalPane::buildMenu()
{
    const char *names[] = {"", "contactMenu", "messageMenu", "noteMenu"};
    menu = new QMenu(table);
    menu->setObjectName(QLatin1String(names[int(m_kind)]));
    // The menu's own items: enabling them never touches the buttons.
    for (QAction *a : {exportSelectedAction, exportAllAction, exportSelectedPdfAction, exportAllPdfAction}) {
        if (a)
            connect(menu->addAction(a->text()), &QAction::triggered, a, &QAction::trigger);
    }
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        menuNeedsUpdate(menu);
        menu->popup(table->viewport()->mapToGlobal(at));
    });
}

void PRTransferPersonalPane::menuNeedsUpdate(QMenu *which)
{
    if (which != menu)
        return;
    const QList<QAction *> items = menu->actions();
    const QList<QAction *> actions{exportSelectedAction, exportAllAction, exportSelectedPdfAction, exportAllPdfAction};
    for (qsizetype i = 0; i < items.size(); ++i)
        items.at(i)->setEnabled(m_kind == Kind::Note && actions.value(i) && actions.value(i)->isEnabled());
}

void PRTransferPersonalPane::setDeviceName(const QString &name)
{
    m_deviceName = name;
    setHasPhone(true);
}

void PRTransferPersonalPane::setHasPhone(bool hasPhone)
{
    noPhoneLab->setVisible(!hasPhone);
}

void PRTransferPersonalPane::updateActions()
{
    const bool rows = controller->rowCount() > 0;
    const bool selected = table->selectionModel()->hasSelection();
    const bool free = !isBusy();
    for (QAction *a : {exportSelectedAction, exportSelectedPdfAction})
        if (a)
            a->setEnabled(free && selected);
    for (QAction *a : {exportAllAction, exportAllPdfAction})
        if (a)
            a->setEnabled(free && rows);
}

void PRTransferPersonalPane::setContent(const PRTransferRecordLoad::Lists &lists)
{
    QList<PRNodeRef> nodes;
    switch (m_kind) {
    case Kind::Contact:
        for (const auto &n : lists.contactArray)
            nodes.append(n);
        break;
    case Kind::Message:
        for (const auto &n : lists.messageTreeArray)
            nodes.append(n);
        break;
    case Kind::Note:
        for (const auto &n : lists.noteArray)
            nodes.append(n);
        break;
    }
    setHasPhone(true);
    m_previewTag = true;
    controller->setContent(nodes);
    if (controller->rowCount() > 0) {
        table->clearSelection();
        table->selectRow(0);
    }
    m_previewTag = false;
}

void PRTransferPersonalPane::clear()
{
    m_export.cancel();
    m_previewTag = true;
    controller->setContent({});
    m_previewTag = false;
    if (messageTreeScrollView)
        messageTreeScrollView->RemoveAllMessageChatView();
    for (QLabel *label : contactLabels)
        if (label)
            label->hide();
    if (contactImageView)
        contactImageView->setPixmap(imageNamed(QStringLiteral("contact")));
    if (noteContentlab)
        noteContentlab->clear();
    if (noteImageView)
        noteImageView->clear();
    setHasPhone(false);
}

QList<PRNodeRef> PRTransferPersonalPane::selectedNodes() const
{
    QList<int> rows;
    for (const QModelIndex &index : table->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    QList<PRNodeRef> nodes;
    for (int row : rows)
        if (PRNodeRef node = controller->nodeAt(row))
            nodes.append(node);
    return nodes;
}

// -- preview ------------------------------------------------------------------------

void PRTransferPersonalPane::tableViewSelectionDidChange()
{
    if (m_previewTag)
        return;
    const QModelIndexList rows = table->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    const QModelIndex current = table->currentIndex();
    const int row = current.isValid() && table->selectionModel()->isRowSelected(current.row(), {}) ? current.row()
                                                                                                    : rows.first().row();
    switch (m_kind) {
    case Kind::Contact: previewContact(row); break;
    case Kind::Message: previewMessage(row); break;
    case Kind::Note: previewNote(row); break;
    }
}

void PRTransferPersonalPane::previewContact(int row)
{
    const auto contact = std::dynamic_pointer_cast<PRContactNode>(controller->nodeAt(row));
    if (!contact)
        return;
    const QString values[] = {contact->contactName(),     contact->contactPhone(),    contact->contactEmail(),
                              contact->contactHomepage(), contact->contactCompany(),  contact->contactJobtitle(),
                              contact->contactBirthday(), contact->contactNote()};
    const QString formats[] = {QStringLiteral("%1"),          tr("Phone: %1"),    tr("Email: %1"),
                               tr("HomePage: %1"),            tr("Company: %1"),  tr("JobTitle: %1"),
                               tr("Birthday: %1"),            tr("Note: %1")};
    for (std::size_t i = 0; i < contactLabels.size(); ++i) {
        contactLabels[i]->setText(formats[i].arg(previewText(values[i])));
        contactLabels[i]->setVisible(!values[i].isEmpty());
    }
    QImage photo;
    if (!contact->imageData().isEmpty())
        photo.loadFromData(contact->imageData());
    contactImageView->setPixmap(photo.isNull() ? imageNamed(QStringLiteral("contact"))
                                               : QPixmap::fromImage(photo.scaled(120, 120, Qt::KeepAspectRatio,
                                                                                 Qt::SmoothTransformation)));
}

void PRTransferPersonalPane::previewMessage(int row)
{
    const auto conversation = std::dynamic_pointer_cast<PRMessageTreeNode>(controller->nodeAt(row));
    if (conversation)
        messageTreeScrollView->showConversation(conversation);
}

void PRTransferPersonalPane::previewNote(int row)
{
    const auto note = std::dynamic_pointer_cast<PRNoteNode>(controller->nodeAt(row));
    if (!note)
        return;
    noteContentlab->setText(previewText(note->noteContent()));
    if (!note->noteAttachPath().isEmpty()) {
        const QPixmap picture = notePicture(note->noteAttachPath());
        if (!picture.isNull())
            noteImageView->setPixmap(picture);
    }
}

// -- exports ------------------------------------------------------------------------

void PRTransferPersonalPane::exportSelected(Format format)
{
    QList<int> rows;
    for (const QModelIndex &index : table->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    const QList<PRNodeRef> nodes = selectedNodes();
    if (nodes.isEmpty())
        return;
    startExport(nodes, rows, format);
}

void PRTransferPersonalPane::exportAll(Format format)
{
    const QList<PRNodeRef> nodes = controller->arrangedObjects();
    if (nodes.isEmpty())
        return;
    QList<int> rows;
    for (int i = 0; i < nodes.size(); ++i)
        rows.append(i);
    startExport(nodes, rows, format);
}

void PRTransferPersonalPane::startExport(const QList<PRNodeRef> &nodes, const QList<int> &rows, Format format)
{
    if (isBusy())
        return;
    m_exporting = true;
    exportProgressor->show();
    statusLab->clear();
    auto exporter = std::make_shared<PersonalExport>(documentsFolder(), m_deviceName);
    QString folder;
    switch (m_kind) {
    case Kind::Contact: folder = exporter->contactFolder(); break;
    case Kind::Message: folder = exporter->messageFolder(); break;
    case Kind::Note: folder = exporter->noteFolder(); break;
    }
    const Kind kind = m_kind;
    m_export = m_exportLane.start(
        devjobs::kNoPhone,
        [exporter, nodes, rows, format, kind](devjobs::JobContext<devjobs::NoProgress> &context) {
            const std::atomic<bool> *cancel = &context.cancelFlag();
            PersonalExportReport report;
            switch (kind) {
            case Kind::Contact: {
                QList<std::shared_ptr<PRContactNode>> contacts;
                for (const auto &n : nodes)
                    if (auto c = std::dynamic_pointer_cast<PRContactNode>(n))
                        contacts.append(c);
                report = exporter->exportContacts(contacts, {}, cancel);
                break;
            }
            case Kind::Message: {
                QList<std::shared_ptr<PRMessageTreeNode>> conversations;
                for (const auto &n : nodes)
                    if (auto c = std::dynamic_pointer_cast<PRMessageTreeNode>(n))
                        conversations.append(c);
                report = format == Format::Pdf ? exporter->exportConversationsPdf(conversations, {}, cancel)
                                               : exporter->exportConversationsHtml(conversations, {}, cancel);
                break;
            }
            case Kind::Note: {
                QList<std::shared_ptr<PRNoteNode>> notes;
                for (const auto &n : nodes)
                    if (auto c = std::dynamic_pointer_cast<PRNoteNode>(n))
                        notes.append(c);
                report = exporter->exportNotes(notes, rows, {}, cancel);
                break;
            }
            }
            return report;
        },
        [this, folder](const PersonalExportReport &report, const devjobs::JobError &) { exportFinished(report, folder); });
    updateActions();
}

void PRTransferPersonalPane::exportFinished(const PersonalExportReport &report, const QString &folder)
{
    m_exporting = false;
    exportProgressor->hide();
    statusLab->setText(tr("%n file(s) written", nullptr, int(report.written.size())));
    if (!report.failed.isEmpty()) {
        QStringList lines{tr("These were not exported:")};
        for (int i = 0; i < report.failed.size() && i < kNamedFailures; ++i)
            lines.append(report.failed[i]);
        if (report.failed.size() > kNamedFailures)
            lines.append(tr("and %n more", nullptr, int(report.failed.size()) - kNamedFailures));
        if (m_notice)
            m_notice(tr("Not Everything Was Exported"), lines.join(QLatin1Char('\n')));
    }
    if (!report.written.isEmpty() && m_reveal)
        m_reveal(folder);
    updateActions();
    Q_EMIT exportEnded(report);
}
