#pragma once

#include "filebrowser/prbrowserdevice.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class ScratchFolder;

// What every file browser page does the same around its actions: the phone
// it shows, one action at a time as a device job of that phone, and how an
// action's end is told (the status line, a notice, the folder written into
// shown). A page that lets its phone go (forget) cancels its actions; their
// reports still come and are told, but no longer applied to what the page
// shows now. The dialogs and the file manager are hooks, so tests never
// block. No widgets: the page shows statusChanged and busyChanged.
class PRBrowserController : public QObject
{
    Q_OBJECT

public:
    explicit PRBrowserController(QObject *parent = nullptr);
    ~PRBrowserController() override;

    using Notice = std::function<void(const QString &title, const QString &text)>;
    void setNotice(Notice notice) { m_notice = std::move(notice); }
    void setReveal(std::function<void(const QString &folder)> reveal) { m_reveal = std::move(reveal); }

    // The phone shown (invalid: none); setting it again binds what a job read of it.
    const PRBrowserDevice &device() const { return m_device; }
    void setDevice(const PRBrowserDevice &device) { m_device = device; }
    // Lets the phone go: its actions are cancelled and the controller is free.
    void forget();

    bool isBusy() const { return m_busy; }
    // Actions and previews whose ends are still to come.
    int pendingActions() const { return m_pending + m_previewPending; }

    // The page is busy with text shown; false while another action runs or
    // no phone is shown.
    bool startAction(const QString &text);
    // The action ends: told, and reveal shown when it is not empty.
    void endAction(bool ok, const QString &message, const QString &reveal = {});
    // The page is free again without an end told: the action waits on a
    // question, or told its end its own way.
    void release() { setBusy(false); }
    // The text shown, and a notice of it (nothing for an empty text).
    void tell(const QString &title, const QString &text);

    // Runs work as a job of the phone shown. When it ends, applied(report)
    // runs on this object's thread if the phone is still the one shown,
    // then the action ends; the folder reveal is shown when something was
    // written into it, even for a phone let go meanwhile.
    using Work = std::function<PRBrowserReport(const devjobs::JobControl &job)>;
    using Applied = std::function<void(const PRBrowserReport &report)>;
    void run(Work work, Applied applied = {}, const QString &reveal = {});

    // The preview of one row (a newer one makes it moot): its whole local
    // copy, row.localCopy while that is a regular file, else a new one of
    // at most maxBytes in a private folder of the phone shown; decode runs
    // on it off the GUI thread. shown(local, image) runs only while the
    // phone is the one shown, and only when a copy came (else the status
    // says so); a local other than row.localCopy is new.
    using Decode = std::function<QImage(const QString &local)>;
    using Shown = std::function<void(const QString &local, const QImage &image)>;
    void preview(const PRBrowserFileRef &row, qint64 maxBytes, Decode decode, Shown shown);

Q_SIGNALS:
    void statusChanged(const QString &text);
    void busyChanged(bool busy);
    // An action ended; text is what the user was told (empty: plain success).
    void actionEnded(bool ok, const QString &text);

private:
    void setBusy(bool busy);

    Notice m_notice;
    std::function<void(const QString &)> m_reveal;
    PRBrowserDevice m_device;
    quint64 m_generation = 0;
    bool m_busy = false;
    int m_pending = 0;
    std::vector<devjobs::JobHandle> m_jobs;
    // Previews' copies live as long as they may be shown (a job still
    // copying holds the folder too).
    std::shared_ptr<ScratchFolder> m_previewFolder;
    int m_previewSerial = 0;
    int m_previewPending = 0;
    // Last, so that they go first: the jobs are cancelled before anything
    // they report to.
    devjobs::JobLane m_previewLane{this};
    devjobs::JobLane m_lane{this};
};
