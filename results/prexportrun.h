#pragma once

#include "backup/nodes/prbookmarknode.h"
#include "backup/nodes/prcalendernode.h"
#include "backup/nodes/prcallhistorynode.h"
#include "backup/nodes/prcontactnode.h"
#include "backup/nodes/prmessagenode.h"
#include "backup/nodes/prnotenode.h"
#include "backup/nodes/prphotoandvideonode.h"
#include "filesafety/filecopy.h"

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class PRTreeController;
class QImage;

// The export of the results page: every ticked record and backup file,
// written below one chosen folder, one folder per kind:
//
//   Photo&Video/         copies of the photos and videos
//   <device>/            the ticked backup files at their domain and path
//                        ("<device> (device)" when the device is named like
//                        one of the kinds' folders)
//   Contact/             Contacts.txt and one vCard per contact
//   Message/             one HTML page of the conversations, with their
//                        contact-card and movie attachments beside it and
//                        their pictures in "<page>_files/", each referred
//                        to by a path relative to the page
//   Note/ CallHistory/ BookMark/ Calendar&Reminder/   the kind's text file
//   FaceBook&Twitter/    copies of the social-app files
//
// Every folder is made whether or not anything of its kind is ticked, and
// each of the five text kinds gets its file, empty when nothing is ticked.
//
// The page fills a Job on the GUI thread and start() takes it; from then on
// the run works on its own copy on a worker thread and touches nothing the
// page owns, so the page stays live. Names come from the phone, so every
// target is built from sanitised pieces and checked to lie inside the
// chosen folder; nothing that exists is ever replaced (a second export into
// the same folder writes "name 2.ext" beside the first one's files).
// Whatever could not be written is reported in the Result, never skipped
// silently. The generated files' names (the text files, the page) are
// claimed before the first backup file is copied: what a backup holds never
// takes their place.
class PRExportRun : public QObject
{
    Q_OBJECT

public:
    // A ticked file of the backup file tree, taken on the GUI thread.
    struct BackupFile
    {
        // Domain and relative path: where the file goes below the device's folder.
        QString dirFilePath;
        // The stored file to copy.
        QString filePath;
        // Whether the stored file exists; a missing one becomes an empty
        // folder at its path and is not counted.
        bool isFile = false;
        quint64 realFileSize = 0;
    };

    struct Job
    {
        // The export's root folder (made with its parents).
        QString recoverPath;
        // Names the folder of the backup files and the conversation page.
        QString deviceName;
        // The ticked records of each kind, in table order.
        QList<std::shared_ptr<PRPhotoAndVideoNode>> photoAndVideos;
        QList<std::shared_ptr<PRContactNode>> contacts;
        QList<std::shared_ptr<PRMessageTreeNode>> conversations;
        QList<std::shared_ptr<PRNoteNode>> notes;
        QList<std::shared_ptr<PRCallHistoryNode>> calls;
        QList<std::shared_ptr<PRBookMarkNode>> bookMarks;
        QList<std::shared_ptr<PRCalenderNode>> calendarEvents;
        QList<std::shared_ptr<PRFaceTwitterNode>> socialFiles;
        // tickedBackupFiles() of the page's tree.
        QList<BackupFile> backupFiles;
        // Show the root in the file manager once the run has ended (not
        // after a cancel). Done on the worker: the file manager's answer
        // may take a moment.
        bool revealWhenDone = false;
    };

    struct Failure
    {
        QString path;
        QString reason;
    };

    struct Result
    {
        QString root;
        // Files written: copies, vCards, text files, the page and attachments.
        int written = 0;
        QList<Failure> failures;
        bool cancelled = false;
    };

    explicit PRExportRun(QObject *parent = nullptr);
    // Cancels a running export and waits for it.
    ~PRExportRun() override;

    // The ticked files of the tree, folders in state 0 skipped with
    // everything below them; a folder's files before its sub-folders.
    // GUI thread (the tree belongs to the page).
    static QList<BackupFile> tickedBackupFiles(const PRTreeController &tree);

    // Starts the export on a worker thread. False (and nothing started)
    // while an export runs or when the job has no root.
    bool start(const Job &job);
    bool isRunning() const { return m_running.load(); }
    // Asks the run to stop at its next item or chunk; a file being copied
    // is removed rather than left partial. finished() still comes.
    void cancel();
    // Blocks until the worker has ended. finished() is still delivered
    // through the owner's event loop afterwards.
    void wait();

    // Items written so far and items to write: every record, each ticked
    // backup file that exists, each movie and picture attachment (which the
    // total counts too, so the percentage ends at 100, not beyond).
    qint64 done() const { return m_done.load(); }
    qint64 total() const { return m_total.load(); }
    // done * 100 / total, within 0..100; 0 while the total is 0.
    int percent() const;

    // The copy of one file lives below the results page (filesafety/), where
    // the transfer and cleaner exports take it from too.
    static constexpr qint64 copyChunk = PRFileCopy::copyChunk;
    using CopyStatus = PRFileCopy::CopyStatus;
    using CopyOutcome = PRFileCopy::CopyOutcome;
    static CopyOutcome copyFile(const QString &source, const QString &target, QByteArray &buffer,
                                const std::function<bool()> &keepGoing = {})
    {
        return PRFileCopy::copyFile(source, target, buffer, keepGoing);
    }

    // The conversation picture: writes picture as PNG to
    // "<conversationName>_MessageImage.png" (name sanitised, never
    // replacing a file) in folder, made with its parents. Returns the path
    // written, or empty. Any thread; the page grabs the view on the GUI
    // thread and hands the image over.
    static QString saveConversationPicture(const QImage &picture, const QString &folder,
                                           const QString &conversationName);
    // Where the pictures go: "Ostra" in the desktop folder.
    static QString pictureFolder();

Q_SIGNALS:
    // The run has ended (also after a cancel); delivered on the thread the
    // run object lives in.
    void finished(const PRExportRun::Result &result);

private:
    void join();

    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_cancel{false};
    std::atomic<qint64> m_done{0};
    std::atomic<qint64> m_total{0};
};

Q_DECLARE_METATYPE(PRExportRun::Result)
