#pragma once

#include "filebrowser/prbrowseractions.h"

#include <QImage>
#include <QList>
#include <QString>

// An app of the list, for the whole-container copies.
struct PRAppRef
{
    QString bundleId;
    QString shownName;
};

// What the apps pane's documents add to the file browser: an app's
// container as a browser root (the app's name and icon on every entry, the
// container or, where the phone refuses it, only its Documents), the user's
// texts for a refused container, whole-app copies into a folder per app,
// and copies of rows into that app folder. The device work itself is the
// browser's; every function is the body of a device job of device's phone.
class PRAppDocuments
{
public:
    // The user's text for a container the phone would not open.
    static QString refusedText(const QString &shownName, int code);
    static QString documentsOnlyText(const QString &shownName);

    // The browser's walk of one app's root, as the app outline files it.
    static PRBrowserWalk::Plan plan(const QString &bundleId, const QString &displayName, const QImage &appIcon = {});

    // ExpandItemThread: walks the app's container (or its Documents) and
    // hands its entries over in batches; message says what the user is
    // told of a refusal or a partial walk.
    static PRBrowserWalk::Report ExpandItemThread(const PRBrowserDevice &device, const QString &bundleId,
                                                  const QString &displayName, const QImage &appIcon,
                                                  const PRBrowserWalk::BatchSink &sink,
                                                  const devjobs::JobControl *job = nullptr);

    // ExportSelectedAppToMacThreadHandle / ExportSelectedAppToMacThread:
    // each row into "<folder>/<app>/<its path>" (keepPaths) or straight into
    // folder under its name; nothing replaced.
    static PRBrowserReport ExportSelectedAppToMacThreadHandle(const PRBrowserDevice &device,
                                                              const PRBrowserActions::Rows &rows,
                                                              const QString &exportPath, bool keepPaths = true,
                                                              const devjobs::JobControl *job = nullptr);
    // ExportDirAppToMacThread / ExportAllAppToMacThreadHandle: each app's
    // whole container into a folder of its own in exportPath. Each app is
    // listed first, then copied, whatever the depth; what could not be read
    // is named.
    static PRBrowserReport ExportDirAppToMacThread(const PRBrowserDevice &device, const QList<PRAppRef> &apps,
                                                   const QString &exportPath,
                                                   const devjobs::JobControl *job = nullptr);

    // The name of an app's own folder in an export.
    static QString appFolderName(const QString &shownName, const QString &bundleId);
};
