#include "filesafety/fileopening.h"

#include "filesafety/exportpaths.h"
#include "platform/regularfile.h"
#include "platform/scratchfolder.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QUrl>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace PRFileOpening {

namespace {

// What decides a stored file's type by its content: far beyond the start of
// every format below.
constexpr qint64 kSniffBytes = 64 * 1024;

enum class Kind { None, Picture, Media, Document, Text };

struct Viewable
{
    const char *type;
    Kind kind;
};

// The types a viewer shows, by exact name: a type that merely derives from
// one of these is not one (a shell script is a kind of plain text, an SVG
// drawing a kind of XML with scripts). Pictures are the raster formats only.
constexpr Viewable viewableTypes[] = {
    {"image/jpeg", Kind::Picture},      {"image/png", Kind::Picture},        {"image/gif", Kind::Picture},
    {"image/bmp", Kind::Picture},       {"image/webp", Kind::Picture},       {"image/tiff", Kind::Picture},
    {"image/heif", Kind::Picture},      {"image/heic", Kind::Picture},       {"image/avif", Kind::Picture},
    {"audio/mpeg", Kind::Media},        {"audio/mp4", Kind::Media},          {"audio/aac", Kind::Media},
    {"audio/flac", Kind::Media},        {"audio/ogg", Kind::Media},          {"audio/x-vorbis+ogg", Kind::Media},
    {"audio/x-opus+ogg", Kind::Media},  {"audio/x-wav", Kind::Media},        {"audio/x-aiff", Kind::Media},
    {"audio/AMR", Kind::Media},         {"audio/webm", Kind::Media},         {"video/mp4", Kind::Media},
    {"video/quicktime", Kind::Media},   {"video/3gpp", Kind::Media},         {"video/3gpp2", Kind::Media},
    {"video/webm", Kind::Media},        {"video/x-matroska", Kind::Media},   {"video/mpeg", Kind::Media},
    {"video/ogg", Kind::Media},         {"video/x-msvideo", Kind::Media},    {"application/pdf", Kind::Document},
    {"text/plain", Kind::Text},
};

Kind kindOf(const QMimeType &type)
{
    for (const Viewable &viewable : viewableTypes) {
        const QLatin1String name(viewable.type);
        if (type.name() == name || type.aliases().contains(name))
            return viewable.kind;
    }
    return Kind::None;
}

Kind kindOfContent(const QString &path)
{
    return kindOf(QMimeDatabase().mimeTypeForData(RegularFile::readPrefix(path, kSniffBytes)));
}

Kind kindOfName(const QString &displayName)
{
    return kindOf(QMimeDatabase().mimeTypeForFile(copyName(displayName), QMimeDatabase::MatchExtension));
}

// The copies stay until the application ends: the desktop's application
// reads them after the call has returned.
std::vector<std::unique_ptr<ScratchFolder>> &openedCopies()
{
    static std::vector<std::unique_ptr<ScratchFolder>> copies;
    return copies;
}

std::mutex &openedCopiesMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

QString copyName(const QString &displayName)
{
    QString name = PRExportPaths::withoutFormatCharacters(displayName.section(QLatin1Char('/'), -1));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("file");
    return name;
}

bool isSafeToOpen(const QString &path, const QString &displayName)
{
    if (!RegularFile::isRegular(path) || QFileInfo(path).isExecutable())
        return false;
    const Kind byName = kindOfName(displayName);
    return byName != Kind::None && kindOfContent(path) == byName;
}

Result prepareCopy(const QString &path, const QString &displayName, QString *copyPath)
{
    const std::optional<qint64> size = RegularFile::size(path);
    if (!size)
        return Result::Missing;
    if (!isSafeToOpen(path, displayName))
        return Result::Refused;
    auto folder = std::make_unique<ScratchFolder>();
    if (!folder->isValid())
        return Result::Failed;
    const QString copy = folder->filePath(copyName(displayName));
    // No more than was looked at: a file that grew meanwhile is not this one.
    if (!RegularFile::copy(path, copy, *size))
        return Result::Failed;
    // What is handed over is the copy: its own bytes decide, out of reach of
    // whoever can change the backup's file after the look above.
    if (kindOfContent(copy) != kindOfName(displayName))
        return Result::Refused;
    {
        std::lock_guard lock(openedCopiesMutex());
        openedCopies().push_back(std::move(folder));
    }
    if (copyPath)
        *copyPath = copy;
    return Result::Opened;
}

Result openWithDefaultApplication(const QString &path, const QString &displayName)
{
    QString copy;
    const Result result = prepareCopy(path, displayName, &copy);
    if (result != Result::Opened)
        return result;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(copy)) ? Result::Opened : Result::Failed;
}

QString message(Result result)
{
    switch (result) {
    case Result::Opened: return {};
    case Result::Missing: return QCoreApplication::translate("PRFileOpening", "The file is not in the backup.");
    case Result::Refused:
        return QCoreApplication::translate("PRFileOpening",
                                           "Ostra opens only pictures, sound, films, PDF documents and plain text "
                                           "from a backup: this file is none of them, or its name says otherwise.");
    case Result::Failed:
        return QCoreApplication::translate("PRFileOpening", "No application could open the file.");
    }
    return {};
}

} // namespace PRFileOpening
