#pragma once

#include <QString>

// Text that came from a phone, a backup or an archive, made safe to show.
//
// Qt guesses the format of a tool tip, of a label left on Qt::AutoText and
// of a message box's informative text: a name such as
// `<img src="/dev/zero">` is read as markup and Qt opens the file it names
// on the GUI thread. The rules, in one place:
// - a QLabel or a message box's main text shows such text with
//   setTextFormat(Qt::PlainText) (and, on one line, PlainText::oneLine);
// - a tool tip, a model's Qt::ToolTipRole and a message box's informative
//   text take PlainText::markup, which is always read as markup and shows
//   the text exactly as written;
// - a label whose text can be as long as the phone likes is elided
//   (PlainText::elided) with the whole text in its tool tip.
namespace PlainText {

// The most characters a tool tip shows; a longer text ends in "…".
inline constexpr qsizetype kToolTipLimit = 2000;

// The text on one line: C0 and C1 controls, the line and paragraph
// separators and the directional controls (which would reorder the
// neighbouring text) are shown as U+FFFD.
QString oneLine(const QString &text);

// Markup that shows the text itself, line breaks kept, cut at
// kToolTipLimit characters; empty for an empty text (no tool tip).
QString markup(const QString &text);

// At most maxChars characters of oneLine(text), the middle replaced by "…".
QString elided(const QString &text, qsizetype maxChars);

} // namespace PlainText
