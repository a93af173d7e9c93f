// The shared controls under the record tables: the deleted-only filter,
// select-all, ticks, and the way home.

#include "results/prresultviewcontroller.h"

#include <QCheckBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>

namespace {

bool isDeletedRecord(const PRNodeRef &node)
{
    if (auto c = std::dynamic_pointer_cast<PRContactNode>(node))
        return c->bDeleted();
    if (auto t = std::dynamic_pointer_cast<PRMessageTreeNode>(node))
        return t->bdeleted();
    if (auto n = std::dynamic_pointer_cast<PRNoteNode>(node))
        return n->bDeleted();
    if (auto k = std::dynamic_pointer_cast<PRCallHistoryNode>(node))
        return k->bDeleted();
    if (auto b = std::dynamic_pointer_cast<PRBookMarkNode>(node))
        return b->bDeleted();
    if (auto e = std::dynamic_pointer_cast<PRCalenderNode>(node))
        return e->bDeleted();
    return false;
}

} // namespace

void PRResultViewController::actCheck()
{
    QList<QWidget *> fields;
    if (currentTableView == messageTreeTableView)
        fields = {messageNamelab, messagePhonelab, messageTypelab, messageDatelab, messageScrollView};
    else if (currentTableView == noteTableView)
        fields = {noteTitlelab, noteDatelab, noteScrollView};
    else if (currentTableView == bookMarkTableView)
        fields = {bookMarkTitlelab, bookMarkURLlab};
    else if (currentTableView == calenderTableView)
        fields = {calTitlelab, calNotelab, calStartDatelab, calEndDatelab};
    else if (currentTableView != contactTableView && currentTableView != callHistoryTableView)
        return;
    PRArrayController *controller = controllerOf(currentTableView);
    QList<PRNodeRef> records = recordsOf(m_category);
    if (checkBtn->isChecked())
        records.removeIf([](const PRNodeRef &node) { return !isDeletedRecord(node); });
    controller->setContent(records);
    selectFirstRow(currentTableView);
    for (QWidget *w : fields)
        w->setVisible(controller->rowCount() > 0);
}

bool *PRResultViewController::selectAllFlag()
{
    switch (m_category) {
    case Category::Photo: return &bPhotoSelectAll;
    case Category::Contact: return &bContctSelectAll;
    case Category::Message: return &bMessageSelectAll;
    case Category::Note: return &bNoteSelectAll;
    case Category::CallHistory: return &bCallSelectAll;
    case Category::BookMark: return &bbookMarkSelectAll;
    case Category::Calender: return &bcalenderSelectAll;
    case Category::FaceTwitter: return &bfaceTwitterSelectAll;
    default: return nullptr;
    }
}

void PRResultViewController::ClickSelectAll()
{
    const bool on = selectAllBtn->isChecked();
    PRArrayController *controller = m_category == Category::Photo ? photoController : controllerOf(currentTableView);
    const QList<PRNodeRef> records = m_category == Category::Photo ? recordsOf(Category::Photo)
                                     : (controller && m_category != Category::BackUp) ? controller->arrangedObjects()
                                                                                      : QList<PRNodeRef>();
    for (const PRNodeRef &record : records) {
        if (controller->isSelected(*record) == on)
            continue;
        controller->setSelected(*record, on);
        m_selectedFilesNum += on ? 1 : -1;
    }
    if (!records.isEmpty())
        if (bool *flag = selectAllFlag())
            *flag = on;
    Q_EMIT selectAllApplied(on);
    showSelectionLabel(m_selectedFilesNum, tr("You select %1 files in the recovery results."));
    if (controller && controller->rowCount() > 0)
        Q_EMIT controller->dataChanged(controller->index(0, 0),
                                       controller->index(controller->rowCount() - 1, 0), {Qt::CheckStateRole});
}

void PRResultViewController::actHome()
{
    QMessageBox box(QMessageBox::Question, QString(),
                    tr("Are you sure you want to go back to Home? If Back, the scanning results will not be saved."),
                    QMessageBox::NoButton, m_host.mainWindow());
    box.setObjectName(QStringLiteral("homeConfirmation"));
    QPushButton *back = box.addButton(tr(" Back "), QMessageBox::AcceptRole);
    box.addButton(tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(back);
    box.exec();
    if (box.clickedButton() != back)
        return;
    releaseUIMemory();
    // Going home leaves the window the size the user gave it.
    hide();
    m_host.showMainView();
    m_intake.BackUpFilesNum = 0;
    m_intake.deleteeFilesNum = 0;
    m_selectedFilesNum = 0;
    recovredFilesNum = 0;
    m_currentSelect = 0;
}

void PRResultViewController::onTickChanged(bool on)
{
    m_selectedFilesNum += on ? 1 : -1;
    showSelectionCount();
}

void PRResultViewController::showSelectionCount()
{
    showSelectionLabel(m_selectedFilesNum + treeSelectedCount(), tr("You select %1 files in the backup results."));
}

void PRResultViewController::showSelectionLabel(int count, const QString &format)
{
    // Below one nothing is said and nothing can be exported.
    selecteFilelab->setVisible(count >= 1);
    saveBtn->setEnabled(count >= 1);
    if (count >= 1)
        selecteFilelab->setText(format.arg(count));
}

void PRResultViewController::followTickToSelection(QTableView *table, int row, bool on)
{
    // A tick belongs to the row clicked; it extends to the other selected
    // rows only when the clicked row is one of them.
    if (m_tickingSelection || !table->selectionModel()->isRowSelected(row, {}))
        return;
    PRArrayController *controller = controllerOf(table);
    const int column = controller->columnOf(QStringLiteral("bSelected"));
    m_tickingSelection = true;
    for (const QModelIndex &selected : table->selectionModel()->selectedRows())
        if (selected.row() != row)
            controller->setData(controller->index(selected.row(), column), on ? Qt::Checked : Qt::Unchecked,
                                Qt::CheckStateRole);
    m_tickingSelection = false;
}

int PRResultViewController::treeSelectedCount() const
{
    return m_tree.getTreeSelectedItemNum();
}
