// Export from the results page: the save sheet, the run on its worker with
// a progress sheet read once a second, and the conversation picture.

#include "backup/priosdevicenode.h"
#include "filesafety/exportpaths.h"
#include "filesafety/prreveal.h"
#include "results/prconversationview.h"
#include "results/prresultviewcontroller.h"

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>

namespace {

template<typename T>
QList<std::shared_ptr<T>> ticked(const Records<T> &records)
{
    QList<std::shared_ptr<T>> out;
    for (const auto &r : records)
        if (r->bSelected())
            out.append(r);
    return out;
}

} // namespace

void PRResultViewController::buildSaveSheet()
{
    saveWindow = new QDialog(this);
    saveWindow->setObjectName(QStringLiteral("saveWindow"));
    saveWindow->setWindowTitle(tr("Recovering"));
    saveWindow->setWindowModality(Qt::WindowModal);
    auto *layout = new QVBoxLayout(saveWindow);
    layout->addWidget(new QLabel(tr("Recovering the selected files, please wait..."), saveWindow));
    saveProgressor = new QProgressBar(saveWindow);
    saveProgressor->setRange(0, 100);
    saveProgressor->setTextVisible(false);
    saveProgressor->setMinimumWidth(320);
    layout->addWidget(saveProgressor);
    savepercentlab = new QLabel(QStringLiteral("0%"), saveWindow);
    savepercentlab->setAlignment(Qt::AlignRight);
    layout->addWidget(savepercentlab);
    auto *cancel = new QPushButton(tr("Cancel"), saveWindow);
    layout->addWidget(cancel, 0, Qt::AlignRight);
    connect(cancel, &QPushButton::clicked, this, [this] { m_export.cancel(); });
    // Closing the sheet with Escape cancels as well; the sheet goes when the run has ended.
    connect(saveWindow, &QDialog::rejected, this, [this] {
        if (m_export.isRunning()) {
            m_export.cancel();
            saveWindow->open();
        }
    });

    recoverTimer = new QTimer(this);
    recoverTimer->setInterval(1000);
    connect(recoverTimer, &QTimer::timeout, this, &PRResultViewController::IphonerecoveryTimer_hander);
    connect(&m_export, &PRExportRun::finished, this, &PRResultViewController::saveProgressorHanderToMainThread);
    connect(saveBtn, &QPushButton::clicked, this, &PRResultViewController::actRecovery);
    connect(exportBtn, &QPushButton::clicked, this, &PRResultViewController::actExportImage);
}

QString PRResultViewController::proposedExportName(const QDateTime &now)
{
    return PRExportPaths::proposedExportName(now);
}

void PRResultViewController::actRecovery()
{
    if (m_export.isRunning())
        return;
    recovredFilesNum = 0;
    saveProgressor->setValue(0);
    savepercentlab->setText(QStringLiteral("0%"));
    delete sp;
    sp = new QFileDialog(m_host.mainWindow() ? m_host.mainWindow() : this, tr("Recover to"), QDir::homePath());
    sp->setObjectName(QStringLiteral("savePanel"));
    sp->setAcceptMode(QFileDialog::AcceptSave);
    sp->setFileMode(QFileDialog::AnyFile);
    sp->selectFile(proposedExportName(QDateTime::currentDateTime()));
    sp->setWindowModality(Qt::WindowModal);
    connect(sp, &QFileDialog::fileSelected, this, &PRResultViewController::savePanelDidEnd);
    sp->open();
}

PRExportRun::Job PRResultViewController::exportJob() const
{
    PRExportRun::Job job;
    job.recoverPath = recoverPath;
    if (const auto node = m_host.currentNode())
        job.deviceName = node->strDeviceName();
    job.photoAndVideos = ticked(m_intake.photoAndVideoArray);
    job.contacts = ticked(m_intake.contactArray);
    job.conversations = ticked(m_intake.messageTreeArray);
    job.notes = ticked(m_intake.noteArray);
    job.calls = ticked(m_intake.callHistoryArray);
    job.bookMarks = ticked(m_intake.bookMarkArray);
    job.calendarEvents = ticked(m_intake.calenderArray);
    job.socialFiles = ticked(m_intake.faceTwitterArray);
    job.backupFiles = PRExportRun::tickedBackupFiles(m_tree);
    // The folder is shown by the page once it has told the user how it went.
    job.revealWhenDone = false;
    return job;
}

void PRResultViewController::savePanelDidEnd(const QString &path)
{
    if (path.isEmpty() || m_export.isRunning())
        return;
    recoverPath = QDir::cleanPath(path);
    allSelectedFileNum = quint64(m_selectedFilesNum) + quint64(m_tree.getTreeSelectedItemNum());
    if (!m_export.start(exportJob()))
        return;
    saveWindow->open();
    recoverTimer->start();
}

void PRResultViewController::IphonerecoveryTimer_hander()
{
    recovredFilesNum = int(m_export.done());
    const int percent = m_export.percent();
    saveProgressor->setValue(percent);
    savepercentlab->setText(QStringLiteral("%1%").arg(percent));
}

void PRResultViewController::saveProgressorHanderToMainThread(const PRExportRun::Result &result)
{
    recoverTimer->stop();
    saveWindow->hide();
    saveProgressor->setValue(0);
    savepercentlab->setText(QStringLiteral("0%"));
    recovredFilesNum = 0;
    if (!result.failures.isEmpty() && !result.cancelled) {
        QStringList lines;
        for (qsizetype i = 0; i < result.failures.size() && i < 12; ++i)
            lines << QStringLiteral("%1: %2").arg(result.failures[i].path, result.failures[i].reason);
        if (result.failures.size() > 12)
            lines << tr("and %n more.", nullptr, int(result.failures.size() - 12));
        auto *box = new QMessageBox(QMessageBox::Warning, QString(),
                                    tr("%n item(s) could not be recovered.", nullptr, int(result.failures.size())),
                                    QMessageBox::Ok, m_host.mainWindow() ? m_host.mainWindow() : this);
        box->setObjectName(QStringLiteral("exportFailures"));
        box->setInformativeText(tr("%n file(s) were written to %1.", nullptr, result.written).arg(result.root));
        box->setDetailedText(lines.join(QLatin1Char('\n')));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        box->open();
    }
    if (!result.cancelled && result.written > 0)
        PRReveal::showFolderLater(result.root);
    Q_EMIT exportEnded(result);
}

void PRResultViewController::actExportImage()
{
    const auto conversation = conversationView->currentMessageTreeNode();
    if (!conversation || !conversationView->documentView())
        return;
    // Drawn on the GUI thread; written and revealed on a worker.
    const QImage picture = conversationView->documentView()->grab().toImage();
    const QString name = conversation->messageTreeNodeName().isEmpty() ? conversation->messageTreeNodeAdress()
                                                                       : conversation->messageTreeNodeName();
    QPointer<PRResultViewController> page(this);
    QThreadPool::globalInstance()->start([picture, name, page] {
        const QString folder = PRExportRun::pictureFolder();
        const QString written = PRExportRun::saveConversationPicture(picture, folder, name);
        if (!written.isEmpty())
            PRReveal::showFolder(folder);
        QMetaObject::invokeMethod(
            qApp, [page, written] {
                if (page)
                    Q_EMIT page->conversationPictureSaved(written);
            },
            Qt::QueuedConnection);
    });
}
