#include "recovery/scannerbase.h"

#include "backup/noteextractor.h"
#include "backup/textformat.h"

namespace ScannerSupport {

QString toString(const std::optional<QByteArray> &text)
{
    if (!text)
        return QStringLiteral("");
    return TextFormat::GetStringFormChar(text->constData(), std::size_t(text->size()));
}

QString dateOf(long long value, int type)
{
    return TextFormat::dateText(value, type).value_or(QString());
}

QString plainNoteBody(const QString &html)
{
    return NoteExtractor::plainBody(html);
}

} // namespace ScannerSupport
