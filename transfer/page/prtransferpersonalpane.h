#pragma once

#include "backup/nodes/prnode.h"
#include "transfer/personal/personalexport.h"
#include "transfer/personal/transferrecordload.h"

#include "device/jobs/devicejob.h"

#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class PRArrayController;
class PRConversationView;
class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QTableView;
class QWidget;

// The contacts, the messages or the notes pane of the transfer page: its
// table, the preview of the selected row (a contact card, the conversation
// as chat bubbles, the note's text and picture) and its exports into the
// kind's folder of Documents, which run on a worker.
class PRTransferPersonalPane : public QObject
{
    Q_OBJECT

public:
    using Kind = PRTransferRecordLoad::Kind;
    enum class Format { Default, Html, Pdf };

    PRTransferPersonalPane(Kind kind, QWidget *pane, QObject *parent = nullptr);
    ~PRTransferPersonalPane() override;

    Kind kind() const { return m_kind; }

    // The finish step of a load: the table gets the kind's list and its first
    // row is selected without drawing a preview.
    void setContent(const PRTransferRecordLoad::Lists &lists);
    // The phone left: its rows and preview go, and the pane says no phone
    // is connected until a load is asked for the next one.
    void clear();

    // tableViewSelectionDidChange for this pane's table.
    void tableViewSelectionDidChange();

    // The exports: the selected rows or every row, in the pane's format.
    void exportSelected(Format format = Format::Default);
    void exportAll(Format format = Format::Default);
    bool isBusy() const { return m_exporting; }

    void setDocumentsFolder(const QString &folder) { m_documents = folder; }
    QString documentsFolder() const;
    // A load was asked for a phone of that name.
    void setDeviceName(const QString &name);
    using Notice = std::function<void(const QString &title, const QString &text)>;
    void setNotice(Notice notice) { m_notice = std::move(notice); }
    void setReveal(std::function<void(const QString &folder)> reveal) { m_reveal = std::move(reveal); }

    // bPreviewTag: set while the finish step selects the first row.
    bool bPreviewTag() const { return m_previewTag; }

    // Enables the right-click menu's items before it opens: the contact and
    // message menus keep theirs off, the note menu follows its actions.
    void menuNeedsUpdate(QMenu *menu);

    // The page's fields of this pane.
    QTableView *table = nullptr;
    PRArrayController *controller = nullptr;
    QProgressBar *exportProgressor = nullptr;
    QLabel *statusLab = nullptr;
    // Says so while the pane holds no phone.
    QLabel *noPhoneLab = nullptr;
    // contactMenu, messageMenu or noteMenu: the table's right-click menu.
    QMenu *menu = nullptr;
    // Contacts.
    QLabel *contactImageView = nullptr;
    std::array<QLabel *, 8> contactLabels{}; // name, phone, e-mail, home page, company, job title, birthday, note
    // Messages.
    PRConversationView *messageTreeScrollView = nullptr;
    // Notes.
    QLabel *noteContentlab = nullptr;
    QLabel *noteImageView = nullptr;

    QAction *exportSelectedAction = nullptr;
    QAction *exportAllAction = nullptr;
    QAction *exportSelectedPdfAction = nullptr; // messages
    QAction *exportAllPdfAction = nullptr;      // messages

Q_SIGNALS:
    void exportEnded(const PersonalExportReport &report);

private:
    void buildWidgets(QWidget *pane);
    void buildMenu();
    void setHasPhone(bool hasPhone);
    void updateActions();
    QList<PRNodeRef> selectedNodes() const;
    void startExport(const QList<PRNodeRef> &nodes, const QList<int> &rows, Format format);
    void exportFinished(const PersonalExportReport &report, const QString &folder);
    void previewContact(int row);
    void previewMessage(int row);
    void previewNote(int row);

    const Kind m_kind;
    QString m_documents;
    QString m_deviceName;
    Notice m_notice;
    std::function<void(const QString &)> m_reveal;
    bool m_previewTag = false;
    // The export writes this computer's files only: a job of no phone, which
    // the pane's end cancels without waiting for it.
    bool m_exporting = false;
    devjobs::JobHandle m_export;
    devjobs::JobLane m_exportLane{this};
};
