#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <mutex>
#include <optional>

// The music-library handler the transfer page adds tracks through. The six
// handlers keep their names and parameters; their names are sent lower-cased.
// There is no scripted music application on this platform, so the handlers
// are answered in process on the user's music folders:
//
//   "AddNewPlaylist"(name)        makes <music folder>/<name>.m3u8 (UTF-8,
//                                 first line "#EXTM3U") unless it is there
//   "AddNewFile"(path, playlist[, name])
//                                 copies the file into the music folder (a
//                                 video into the videos folder) under a name
//                                 that replaces nothing, and appends it to
//                                 the playlist; a file the folder holds
//                                 already (that name or a numbered one, the
//                                 same bytes) is not copied again, nor listed
//                                 twice
//   "GetAllPlaylist"()            the playlists' names and an empty end item
//   "deletePlaylist"(name)        removes the playlist file
//   "HideWindow"(), "QuitWindow"() nothing
//
// Names made from device text pass the export name rules, so they stay
// inside the folders. A failing call reports "AttachAScript Error" with its
// message to the alert callback (the page shows it) and returns nothing; the
// callback runs on the GUI thread, later when the call came from a worker.
// Calls are serialised; a run's worker may call while the page does.
class iTunesScriptHandler
{
public:
    static const QString kAlertTitle;
    using Alert = std::function<void(const QString &title, const QString &message)>;

    // The folders default to Music and Videos of the home folder the
    // application reads (Paths), looked up at each call.
    iTunesScriptHandler();

    void setMusicFolder(const QString &folder);
    void setVideosFolder(const QString &folder);
    QString musicFolder() const;
    QString videosFolder() const;
    void setAlertHandler(Alert alert);
    // The message of the last failed call, empty when none failed.
    QString lastAlertMessage() const;
    // The last handler name as sent (lower-cased).
    QString lastHandlerName() const;

    // Parameters: numbers (sent as 32-bit integers), strings, string lists.
    // Another type logs a line and returns nothing without calling.
    QVariant callHandler(const QString &name, const QVariantList &parameters = {});
    // parameters: nothing sends an empty list.
    QVariant callScript(const QString &name, const std::optional<QVariantList> &parameters);

    QVariant hideWindow();
    QVariant addNewPlaylist(const QString &name);
    QVariant deletePlaylist(const QString &name);
    // The result's items but the last (the end item), in order.
    QStringList getAllPlaylist();
    // The path the file was copied to, or nothing.
    QVariant addNewFile(const QString &path, const QString &playlist, const QString &nameInLibrary = {});
    QVariant quit();

    // The file of a playlist.
    QString playlistPath(const QString &name) const;

private:
    struct Failure
    {
        int number;
        QString message;
    };
    QVariant answer(const QString &handler, const QVariantList &parameters, std::optional<Failure> *failure);
    QVariant fail(const QString &message);

    mutable std::recursive_mutex m_mutex;
    QString m_music;
    QString m_videos;
    Alert m_alert;
    QString m_lastAlert;
    QString m_lastHandler;
};
