#pragma once

#include <QList>
#include <QString>

#include <memory>

// One track of the device's media library, as the music and video panes list
// it. The texts are the ones shown; the numbers beside them are what the
// work uses (ids are bound as 64-bit integers, never pasted into SQL, and a
// local copy is named by the id, never by device text).
//
// bhasCopy and bCopyLocationPath are written only by MusicLibraryLoad, under
// its lock; read them through MusicLibraryLoad::localCopy from other threads.
struct PRTranMusicNode
{
    QString musicTitle = QStringLiteral(" ");
    QString musicArtist = QStringLiteral(" ");
    QString musicAlbm; // null until a load sets it; "(null)" for a track without album
    QString musicFileSize = QStringLiteral(" ");
    QString musicRating = QStringLiteral(" ");
    QString musicTime = QStringLiteral(" ");
    QString musicGenre = QStringLiteral(" ");
    QString musicPid = QStringLiteral(" ");
    QString musicLoctionpath = QStringLiteral("");
    QString musicType = QStringLiteral(" ");
    bool bhasCopy = false;
    QString bCopyLocationPath = QStringLiteral(" ");
    QString artistPid = QStringLiteral(" ");
    QString albumPid = QStringLiteral(" ");

    // The numbers behind the texts. itemPid is valid only with hasItemPid.
    qint64 itemPid = 0;
    bool hasItemPid = false;
    qint64 fileBytes = -1;      // -1: the library gave no size
    double durationMs = -1;     // -1: the library gave no duration
};

using PRTranMusicNodePtr = std::shared_ptr<PRTranMusicNode>;
using PRTranMusicList = QList<PRTranMusicNodePtr>;
