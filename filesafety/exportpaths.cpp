#include "filesafety/exportpaths.h"

#include "platform/regularfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace PRExportPaths {

QString proposedExportName(const QDateTime &now)
{
    return QCoreApplication::translate("PRExportPaths", "Ostra %1 - %2")
        .arg(now.toString(QStringLiteral("yyyy-MM-dd")), now.toString(QStringLiteral("hh.mm.ss")));
}

namespace {

// A dangling symlink does not "exist" for QFileInfo, yet writing through it
// would create its target wherever it points: it counts as taken.
bool taken(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

int utf8Length(char32_t codePoint)
{
    if (codePoint < 0x80)
        return 1;
    if (codePoint < 0x800)
        return 2;
    if (codePoint < 0x10000)
        return 3;
    return 4;
}

// Keeps whole code points (a surrogate pair is never split) while they fit.
QString cutToUtf8Bytes(const QString &text, int maxBytes)
{
    int bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const bool pair = text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const char32_t codePoint = pair ? QChar::surrogateToUcs4(text.at(i), text.at(i + 1)) : text.at(i).unicode();
        bytes += utf8Length(codePoint);
        if (bytes > maxBytes)
            break;
        i += pair ? 2 : 1;
    }
    return text.left(i);
}

QString absoluteClean(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// The path with its longest existing prefix replaced by where that prefix
// really is; empty when that cannot be known (a dangling symlink on the way).
QString resolved(const QString &absolutePath)
{
    QString head = absolutePath;
    QStringList tail;
    for (;;) {
        const QFileInfo info(head);
        if (info.exists()) {
            QString result = info.canonicalFilePath();
            if (result.isEmpty())
                return {};
            for (const QString &piece : std::as_const(tail)) {
                if (!result.endsWith(QLatin1Char('/')))
                    result += QLatin1Char('/');
                result += piece;
            }
            return result;
        }
        if (info.isSymLink())
            return {};
        const qsizetype slash = head.lastIndexOf(QLatin1Char('/'));
        if (slash < 0 || head == QLatin1String("/"))
            return {};
        tail.prepend(head.mid(slash + 1));
        head = slash == 0 ? QStringLiteral("/") : head.left(slash);
    }
}

// Invisible, yet they reorder or hide what a name shows.
bool isFormatCharacter(char32_t codePoint)
{
    switch (QChar::category(codePoint)) {
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph: return true;
    default: return false;
    }
}

} // namespace

QString withoutFormatCharacters(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            if (!isFormatCharacter(QChar::surrogateToUcs4(c, text.at(i + 1)))) {
                out += c;
                out += text.at(i + 1);
            }
            ++i;
        } else if (!isFormatCharacter(c.unicode())) {
            out += c;
        }
    }
    return out;
}

namespace {

// Longest tail after the last dot that a cut keeps as the name's extension.
constexpr int kMaxExtensionBytes = 24;

qsizetype utf8Size(const QString &text)
{
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            bytes += 4;
            ++i;
        } else {
            bytes += utf8Length(c.unicode());
        }
    }
    return bytes;
}

// Dots, with or without blanks: "." and ".." climb or stay, and a file
// system that drops trailing dots and blanks (a shared Windows folder, a
// FAT stick) reads "..." or ". ." as the folder itself.
bool onlyDots(const QString &name)
{
    bool dot = false;
    for (const QChar c : name) {
        if (c == QLatin1Char('.'))
            dot = true;
        else if (!c.isSpace())
            return false;
    }
    return dot;
}

// The extension a cut keeps: from the last dot (not a leading one), short
// and without blanks; empty when the name has none.
QString extensionToKeep(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot + 1 >= name.size())
        return {};
    const QString extension = name.mid(dot);
    if (utf8Size(extension) > kMaxExtensionBytes)
        return {};
    for (const QChar c : extension) {
        if (c.isSpace())
            return {};
    }
    return extension;
}

// name at most maxComponentBytes, its extension kept when it has one: the
// stem is cut ("IMG_...very long....jpg" stays a picture).
QString cutName(const QString &name)
{
    if (utf8Size(name) <= maxComponentBytes)
        return name;
    const QString extension = extensionToKeep(name);
    if (!extension.isEmpty()) {
        const QString stem =
            cutToUtf8Bytes(name.left(name.size() - extension.size()), maxComponentBytes - int(utf8Size(extension)))
                .trimmed();
        if (!stem.isEmpty() && !onlyDots(stem))
            return stem + extension;
    }
    // Trimmed again after the cut: the cut may end on a blank.
    return cutToUtf8Bytes(name, maxComponentBytes).trimmed();
}

// What safeComponent makes of name before it looks for a name that is no
// name: separators replaced, invisible characters dropped, trimmed and cut.
QString cleanedName(const QString &name)
{
    QString cleaned;
    cleaned.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            if (!isFormatCharacter(QChar::surrogateToUcs4(c, name.at(i + 1)))) {
                cleaned += c;
                cleaned += name.at(i + 1);
            }
            ++i;
        } else if (c.isSurrogate()) {
            // A lone half has no UTF-8 form: it would become a stray byte in the name.
            continue;
        } else if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() == 0) {
            cleaned += QLatin1Char('_');
        } else if (c.category() != QChar::Other_Control && !isFormatCharacter(c.unicode())) {
            cleaned += c;
        }
    }
    return cutName(cleaned.trimmed());
}

} // namespace

QString safeComponent(const QString &name, const QString &fallback)
{
    const QString cleaned = cleanedName(name);
    if (cleaned.isEmpty() || onlyDots(cleaned))
        return fallback;
    return cleaned;
}

QString safeRelativePath(const QString &path, const QString &fallback)
{
    QStringList pieces;
    const QStringList parts = path.split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            continue;
        const QString piece = cleanedName(part);
        // A piece that cleans to nothing (" .. ", a control character) is dropped like "..".
        if (piece.isEmpty() || piece == QLatin1String(".") || piece == QLatin1String(".."))
            continue;
        // "..." is a name, not a step: dropped, its file would land in the
        // folder above as that folder's namesake.
        if (onlyDots(piece))
            pieces.append(fallback.isEmpty() ? QStringLiteral("_") : fallback);
        else
            pieces.append(piece);
    }
    return pieces.isEmpty() ? fallback : pieces.join(QLatin1Char('/'));
}

QString mirroredRelativePath(const QString &devicePath, const QString &fallback)
{
    QStringList pieces;
    for (const QString &part : devicePath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        // Steps, never names a phone lists.
        if (part == QLatin1String(".") || part == QLatin1String(".."))
            continue;
        pieces.append(safeComponent(part.startsWith(QLatin1Char('.')) ? part.mid(1) : part, fallback));
    }
    return pieces.isEmpty() ? fallback : pieces.join(QLatin1Char('/'));
}

bool isInside(const QString &root, const QString &path)
{
    if (root.isEmpty() || path.isEmpty())
        return false;
    const QString realRoot = resolved(absoluteClean(root));
    const QString realPath = resolved(absoluteClean(path));
    if (realRoot.isEmpty() || realPath.isEmpty())
        return false;
    if (realPath == realRoot)
        return true;
    const QString prefix = realRoot.endsWith(QLatin1Char('/')) ? realRoot : realRoot + QLatin1Char('/');
    return realPath.startsWith(prefix);
}

QString uniquePath(const QString &path)
{
    if (!taken(path))
        return path;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = path.left(slash + 1);
    const QString name = path.mid(slash + 1);
    // From the second character: ".profile" is all stem.
    const qsizetype dot = name.indexOf(QLatin1Char('.'), 1);
    const QString stem = dot < 0 ? name : name.left(dot);
    const QString extension = dot < 0 ? QString() : name.mid(dot);
    for (qint64 counter = 2;; ++counter) {
        const QString candidate = folder + stem + QLatin1Char(' ') + QString::number(counter) + extension;
        if (!taken(candidate))
            return candidate;
    }
}

QString writeNewFile(const QString &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        return {};
    // The file is made here (exclusively, so nothing at the name is ever
    // replaced or followed) and written at once: no second, temporary file
    // and no rename, which made an export of ten thousand cards spend most
    // of its time in the file system.
    for (int attempt = 0; attempt < 64; ++attempt) {
        const QString target = uniquePath(path);
        QFile file(target);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (!taken(target))
                return {};
            continue;
        }
        if (file.write(bytes) == bytes.size() && file.flush()) {
            file.close();
            if (file.error() == QFileDevice::NoError)
                return target;
        }
        file.close();
        QFile::remove(target);
        return {};
    }
    return {};
}

QString claimNewFile(const QString &path)
{
    if (path.isEmpty())
        return {};
    // A name taken between the look and the create is passed over.
    for (int attempt = 0; attempt < 64; ++attempt) {
        const QString target = uniquePath(path);
        QFile claim(target);
        if (claim.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return target;
        if (!taken(target))
            return {};
    }
    return {};
}

bool fillClaimedFile(const QString &claimed, const QByteArray &bytes)
{
    // QSaveFile renames over whatever is at its name when it commits; the
    // claim makes that the empty file made here.
    if (claimed.isEmpty())
        return false;
    QSaveFile file(claimed);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

bool fillClaimedFileFrom(const QString &claimed, const QString &source)
{
    QFile in;
    if (claimed.isEmpty() || !RegularFile::openFile(in, source))
        return false;
    QSaveFile out(claimed);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    constexpr qint64 kPiece = 1 << 20;
    for (;;) {
        const QByteArray piece = in.read(kPiece);
        if (piece.isEmpty())
            break;
        if (out.write(piece) != piece.size()) {
            out.cancelWriting();
            return false;
        }
    }
    if (in.error() != QFileDevice::NoError) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

} // namespace PRExportPaths
