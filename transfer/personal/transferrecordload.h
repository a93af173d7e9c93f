#pragma once

#include "backup/nodes/prcontactnode.h"
#include "backup/nodes/prmessagenode.h"
#include "backup/nodes/prnotenode.h"

#include "device/jobs/devicejob.h"

#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <memory>

// The contacts, messages and notes of the transfer page, read from a fresh
// backup of the phone. The first kind chosen backs the phone up (one device
// backup at a time in the whole application), refuses an encrypted backup,
// indexes it and extracts that kind on a worker; kinds chosen while that runs
// wait for the same backup and are extracted after it, in the order chosen.
// A finished kind is not loaded again for this phone; a kind whose backup
// failed (or was encrypted) may be chosen again and retries.
//
// The steps run as a device job of the phone, on a scan context of their own,
// so a scan of the results page meanwhile keeps its generation flags.
// Everything belongs to one phone: when it leaves, its job is stopped and
// forgotten, and nothing it still produces is published.
//
// For the thread it lives on (the GUI thread); the callbacks run there too.
class PRTransferRecordLoad : public QObject
{
public:
    enum class Kind { Contact = 1, Message = 2, Note = 3 };

    struct Device
    {
        int id = -1;
        QString udid;
        QString iosVersion;
        QString name;
    };

    // What a finished kind holds (only its own list is set).
    struct Lists
    {
        QList<std::shared_ptr<PRContactNode>> contactArray;
        QList<std::shared_ptr<PRMessageNode>> messageArray;
        QList<std::shared_ptr<PRMessageTreeNode>> messageTreeArray;
        QList<std::shared_ptr<PRNoteNode>> noteArray;
    };

    enum class Failure { BackupFailed, Encrypted, DeviceGone };

    struct Callbacks
    {
        // The backup tool's progress lines.
        std::function<void(int deviceId, const QString &line)> progress;
        std::function<void(int deviceId, Kind kind, const Lists &lists)> finished;
        // Every kind that waited for the failed backup, and why.
        std::function<void(int deviceId, const QList<Kind> &kinds, Failure failure, const QString &message)> failed;
    };

    static const QString kEncryptedMessage;
    static const QString kEncryptedInformative;

    PRTransferRecordLoad();
    ~PRTransferRecordLoad() override;
    PRTransferRecordLoad(const PRTransferRecordLoad &) = delete;
    PRTransferRecordLoad &operator=(const PRTransferRecordLoad &) = delete;

    void setCallbacks(Callbacks callbacks);
    // The folder the backups are kept in, between runs (made private, 0700):
    // ~/tmp/Backup of the home folder the application reads unless set.
    void setBackupRoot(const QString &root);
    QString backupRoot() const;

    // showContact / showMessage / showNote: false when the kind runs or is
    // finished for this phone (nothing starts).
    bool request(Kind kind, const Device &device);
    bool isStarted(Kind kind) const;
    bool isFinished(Kind kind) const;
    // A backup of this phone was made and indexed in this run.
    bool bBackup() const;

    // The phone left: its job stops, its flags and lists are forgotten.
    void deviceRemoved(int deviceId);

private:
    struct Job;
    // What the job tells this object, in order.
    struct Event
    {
        enum class Type { Progress, Finished, Failed } type = Type::Progress;
        QString text;
        Kind kind = Kind::Contact;
        Lists lists;
        QList<Kind> kinds;
        Failure failure = Failure::BackupFailed;
    };
    static void work(const std::shared_ptr<Job> &job, const QString &root, const devjobs::JobContext<Event> &context);
    void deliver(const std::shared_ptr<Job> &job, const Event &event);
    void ended(const std::shared_ptr<Job> &job, quint64 run, const devjobs::JobError &error);
    QString rootLocked() const;

    Callbacks m_callbacks;
    QString m_root;
    std::shared_ptr<Job> m_job; // of the current phone
    devjobs::JobLane m_lane{this};
};
