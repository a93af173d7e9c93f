#pragma once

#include "backup/nodes/prmessagenode.h"

#include <QList>
#include <QString>

#include <atomic>
#include <memory>

// One conversation as a PDF: the page the HTML export writes (the same rows
// from PRHtmlController), laid out by QTextDocument and printed on A4 pages
// through QPdfWriter. Any thread, as long as a QGuiApplication exists (fonts).
//
// A conversation is a stranger's text and pictures, so what the layout gets is
// bounded: each bubble holds at most what the previews show, the whole page
// has a text budget, and pictures are never given to QTextDocument to load.
// Its own image handler would read an <img> path by itself (following links,
// decoding the full picture); here the pictures get synthetic names that only
// this renderer's handler knows, their size is read from the file's header
// and they are decoded, scaled down on reading, only while their page is
// drawn. So a conversation of 500 photos holds one decoded photo at a time.
namespace PRPdfConversation {

struct Outcome
{
    // The file written (the claimed path); empty when nothing was.
    QString path;
    // Why not, when nothing was written and the run was not cancelled.
    QString reason;
    bool cancelled = false;
    int pages = 0;
    // Pictures laid out as pictures, and those shown by name only (past the
    // count limit, or unreadable).
    int pictures = 0;
    int picturesByName = 0;
    // Bubbles whose text was cut.
    int textsCut = 0;
};

// Longest side a picture is decoded to for the PDF, in pixels: sharp at the
// size it is shown at (about 2.5 times kShownPictureSide).
inline constexpr int kDecodedPictureSide = 800;
// Longest side a picture takes on the page, in layout units (1/96 inch).
inline constexpr int kShownPictureSide = 320;
// Pictures laid out per PDF; later ones are shown by name.
inline constexpr int kMaxPictures = 1000;
// Characters of message text per PDF laid out in full bubbles: past it each
// further bubble shows at most kTextAfterBudget characters. Layout time grows
// with the text; a gigantic conversation still ends in seconds.
inline constexpr qsizetype kTextBudget = 4'000'000;
inline constexpr qsizetype kTextAfterBudget = 1024;

// Writes conversation (its messages as given, in order) as a PDF over
// claimedPath, a file PRExportPaths::claimNewFile made: the only file it may
// replace. title heads the page. cancel (may be null) is asked between
// messages and between pages; a cancelled or failed run leaves the claim as it
// was (empty), for the caller to remove.
Outcome write(const PRMessageTreeNode &conversation, const QList<std::shared_ptr<PRMessageNode>> &messages,
              const QString &title, const QString &claimedPath, const std::atomic<bool> *cancel = nullptr);

// The note a cut bubble ends with.
QString cutNote();

} // namespace PRPdfConversation
