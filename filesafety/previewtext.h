#pragma once

#include <QString>
#include <QTextOption>

// Record texts (a stranger's messages, a tampered backup's fields) as the
// previews show them. Laying a text out takes time growing with its length, so
// a preview shows at most limit characters and says that the rest is left
// out; exports keep the whole text.
constexpr qsizetype kPreviewTextLimit = 64 * 1024;
// A label (a name, a number, an address) is laid out again for every size the
// page asks of it: it holds less.
constexpr qsizetype kPreviewFieldLimit = 4 * 1024;
QString previewText(const QString &text, qsizetype limit = kPreviewTextLimit);
// What previewText() appends to a text it cut.
QString previewElisionNote();
// Wraps at word boundaries; anywhere once the text holds a run without a
// break opportunity so long that looking for its end on every line would
// take time growing with the square of its length.
QTextOption::WrapMode previewWrapMode(const QString &text);
