#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QDBusConnection;
class QDBusMessage;
class QUrl;

// Shows a folder in the desktop's file manager.
//
// First through the freedesktop file-manager interface on the session bus
// (org.freedesktop.FileManager1, which Dolphin, Nautilus, Nemo, Thunar and
// others serve); where there is no session bus, no such service or it
// answers with an error, the folder is opened with QDesktopServices, which
// hands it to the desktop's default application for folders.
//
// Both strategies can be replaced, so tests never open a real file manager.
class PRReveal
{
public:
    struct Strategies
    {
        // Asks the file manager to show path; true when it said yes.
        std::function<bool(const QString &path)> fileManager;
        // Opens url with the desktop's default application; true when handed over.
        std::function<bool(const QUrl &url)> opener;
    };

    PRReveal() = delete;

    // Shows path (a folder). Any thread: it may wait up to fileManagerTimeoutMs
    // for the file manager's answer, so the GUI thread had better use
    // showFolderLater. False when the path is no folder or both strategies
    // failed.
    static bool showFolder(const QString &path);
    // showFolder on a pool thread; returns at once.
    static void showFolderLater(const QString &path);

    // The ShowFolders call for paths (as file:// URIs) with an empty startup id.
    static QDBusMessage showFoldersMessage(const QStringList &paths);
    // Sends the call on bus and waits for the answer; true for a reply,
    // false for an error (no service, refused) or an unconnected bus.
    static bool callFileManager(const QDBusConnection &bus, const QStringList &paths,
                                int timeoutMs = fileManagerTimeoutMs);

    // The strategies in use, and the built-in ones: the session bus's file
    // manager, and QDesktopServices::openUrl run on the GUI thread.
    static Strategies strategies();
    static Strategies defaultStrategies();
    // Replaces the strategies (an empty one counts as failing); returns the
    // ones replaced.
    static Strategies setStrategies(Strategies strategies);

    static constexpr int fileManagerTimeoutMs = 5000;
};
