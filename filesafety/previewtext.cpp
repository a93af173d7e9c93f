#include "filesafety/previewtext.h"

#include <QCoreApplication>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace {

// Wrapping a run this long at word boundaries takes a few milliseconds; a
// run of 64 K characters takes half a second.
constexpr qsizetype kLongestRunWrappedAtWords = 1024;

} // namespace

QString previewElisionNote()
{
    return QCoreApplication::translate("PRPreviewText",
                                       "… (the rest of this text is not shown here; export keeps it whole)");
}

QString previewText(const QString &text, qsizetype limit)
{
    if (text.size() <= limit)
        return text;
    qsizetype cut = std::max<qsizetype>(limit, 0);
    if (cut > 0 && text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(cut) + QLatin1Char('\n') + previewElisionNote();
}

QTextOption::WrapMode previewWrapMode(const QString &text)
{
    if (text.size() > kLongestRunWrappedAtWords) {
        QTextBoundaryFinder lines(QTextBoundaryFinder::Line, text);
        qsizetype previous = 0;
        for (qsizetype at = lines.toNextBoundary(); at >= 0; at = lines.toNextBoundary()) {
            if (at - previous > kLongestRunWrappedAtWords)
                return QTextOption::WrapAnywhere;
            previous = at;
        }
    }
    return QTextOption::WrapAtWordBoundaryOrAnywhere;
}
