#include "transfer/itunesscripthandler.h"

#include "filesafety/exportpaths.h"
#include "platform/guithread.h"
#include "platform/paths.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

const QString iTunesScriptHandler::kAlertTitle = QStringLiteral("AttachAScript Error");

namespace {

// The numbers the scripting system gives these failures.
constexpr int kErrorUnknownHandler = -1708;
constexpr int kErrorParameter = -50;
constexpr int kErrorMissing = -1728;
constexpr int kErrorWrite = -61;

const QString kPlaylistSuffix = QStringLiteral(".m3u8");
const QByteArray kPlaylistHeader = "#EXTM3U\n";
// Numbered names looked at for a copy the folder may hold already.
constexpr int kMaxNumberedNames = 1000;
// A playlist longer than this is not read back for its entries.
constexpr qint64 kMaxPlaylistBytes = qint64(16) << 20;

QString parameterText(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

// A new playlist file, or the one there. False when the name is taken by
// something that is not a plain file (a link is never written through).
bool ensurePlaylist(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink() || (info.exists() && !info.isFile()))
        return false;
    if (info.exists())
        return true;
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly) && file.write(kPlaylistHeader) == kPlaylistHeader.size();
}

QByteArray digestOf(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

// The file of target's name, or of one of its numbered names ("x 2.mp3"),
// that holds the bytes of source; empty when none does.
QString sameFileIn(const QString &target, const QString &source)
{
    const QString folder = target.section(QLatin1Char('/'), 0, -2) + QLatin1Char('/');
    const QString name = target.section(QLatin1Char('/'), -1);
    // As the names are made: the extension from the first dot after the first character.
    const qsizetype dot = name.indexOf(QLatin1Char('.'), 1);
    const QString stem = dot < 0 ? name : name.left(dot);
    const QString extension = dot < 0 ? QString() : name.mid(dot);
    const qint64 size = QFileInfo(source).size();
    QByteArray digest;
    for (int n = 1; n <= kMaxNumberedNames; ++n) {
        const QString candidate = n == 1 ? target : folder + stem + QLatin1Char(' ') + QString::number(n) + extension;
        const QFileInfo info(candidate);
        if (!info.exists() && !info.isSymLink())
            return {};
        if (!info.isFile() || info.isSymLink() || info.size() != size)
            continue;
        if (digest.isEmpty())
            digest = digestOf(source);
        if (!digest.isEmpty() && digestOf(candidate) == digest)
            return candidate;
    }
    return {};
}

bool playlistLists(const QString &listPath, const QByteArray &line)
{
    QFile list(listPath);
    if (!list.open(QIODevice::ReadOnly) || list.size() > kMaxPlaylistBytes)
        return false;
    return list.readAll().split('\n').contains(line.chopped(1));
}

} // namespace

iTunesScriptHandler::iTunesScriptHandler() = default;

void iTunesScriptHandler::setMusicFolder(const QString &folder)
{
    std::lock_guard lock(m_mutex);
    m_music = folder;
}

void iTunesScriptHandler::setVideosFolder(const QString &folder)
{
    std::lock_guard lock(m_mutex);
    m_videos = folder;
}

QString iTunesScriptHandler::musicFolder() const
{
    std::lock_guard lock(m_mutex);
    return m_music.isEmpty() ? Paths::userPath(QStringLiteral("/Users/%@/Music")) : m_music;
}

QString iTunesScriptHandler::videosFolder() const
{
    std::lock_guard lock(m_mutex);
    return m_videos.isEmpty() ? Paths::userPath(QStringLiteral("/Users/%@/Videos")) : m_videos;
}

void iTunesScriptHandler::setAlertHandler(Alert alert)
{
    std::lock_guard lock(m_mutex);
    m_alert = std::move(alert);
}

QString iTunesScriptHandler::lastAlertMessage() const
{
    std::lock_guard lock(m_mutex);
    return m_lastAlert;
}

QString iTunesScriptHandler::lastHandlerName() const
{
    std::lock_guard lock(m_mutex);
    return m_lastHandler;
}

QString iTunesScriptHandler::playlistPath(const QString &name) const
{
    return musicFolder() + QLatin1Char('/') + PRExportPaths::safeComponent(name, QStringLiteral("Playlist"))
           + kPlaylistSuffix;
}

QVariant iTunesScriptHandler::callHandler(const QString &name, const QVariantList &parameters)
{
    for (int i = 0; i < parameters.size(); ++i) {
        const QVariant &value = parameters.at(i);
        if (!isNumber(value) && value.typeId() != QMetaType::QString && value.typeId() != QMetaType::QStringList) {
            qWarning("unrecognized parameter type for parameter %d in callHandler:withParameters:", i + 1);
            return {};
        }
    }
    QVariantList list;
    for (const QVariant &value : parameters)
        list.append(isNumber(value) ? QVariant(qint32(value.toLongLong())) : value);
    return callScript(name, list);
}

QVariant iTunesScriptHandler::callScript(const QString &name, const std::optional<QVariantList> &parameters)
{
    std::lock_guard lock(m_mutex);
    const QVariantList list = parameters.value_or(QVariantList());
    const QString handler = name.toLower();
    m_lastHandler = handler;
    std::optional<Failure> failure;
    const QVariant result = answer(handler, list, &failure);
    if (!failure)
        return result;
    QStringList texts;
    for (const QVariant &value : list)
        texts.append(parameterText(value));
    return fail(QStringLiteral("Error %1 occured the %2(%3) call: %4")
                    .arg(failure->number)
                    .arg(name, texts.join(QStringLiteral(", ")), failure->message));
}

QVariant iTunesScriptHandler::fail(const QString &message)
{
    m_lastAlert = message;
    if (!m_alert)
        return {};
    if (isGuiThread())
        m_alert(kAlertTitle, message);
    else
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [alert = m_alert, message] { alert(kAlertTitle, message); },
            Qt::QueuedConnection);
    return {};
}

QVariant iTunesScriptHandler::answer(const QString &handler, const QVariantList &parameters,
                                     std::optional<Failure> *failure)
{
    const auto failWith = [failure](int number, const QString &message) {
        *failure = Failure{number, message};
        return QVariant();
    };
    const auto stringAt = [&parameters](int index) {
        return index < parameters.size() && parameters.at(index).typeId() == QMetaType::QString
                   ? std::optional<QString>(parameters.at(index).toString())
                   : std::nullopt;
    };

    if (handler == QLatin1String("hidewindow") || handler == QLatin1String("quitwindow"))
        return QVariantList();

    const QString musicFolder = this->musicFolder();
    if (handler == QLatin1String("getallplaylist")) {
        QStringList names;
        const QDir music(musicFolder);
        for (const QFileInfo &info :
             music.entryInfoList({QStringLiteral("*") + kPlaylistSuffix}, QDir::Files, QDir::Name)) {
            names.append(info.fileName().chopped(kPlaylistSuffix.size()));
        }
        // The list ends with an empty item, which callers drop.
        names.append(QString());
        return names;
    }

    const std::optional<QString> first = stringAt(0);
    if (!first)
        return failWith(kErrorParameter, QStringLiteral("A parameter is missing or is not text."));

    if (handler == QLatin1String("addnewplaylist")) {
        const QString path = playlistPath(*first);
        if (!QDir().mkpath(musicFolder))
            return failWith(kErrorWrite, QStringLiteral("The music folder could not be made."));
        // An existing playlist stays as it is.
        if (!ensurePlaylist(path))
            return failWith(kErrorWrite, QStringLiteral("The playlist could not be written."));
        return path;
    }

    if (handler == QLatin1String("deleteplaylist")) {
        const QString path = playlistPath(*first);
        const QFileInfo info(path);
        if (!info.isFile() || info.isSymLink() || !PRExportPaths::isInside(musicFolder, path))
            return failWith(kErrorMissing, QStringLiteral("The playlist does not exist."));
        if (!QFile::remove(path))
            return failWith(kErrorWrite, QStringLiteral("The playlist could not be removed."));
        return true;
    }

    if (handler == QLatin1String("addnewfile")) {
        const std::optional<QString> playlist = stringAt(1);
        if (!playlist)
            return failWith(kErrorParameter, QStringLiteral("The playlist name is missing."));
        const QFileInfo source(*first);
        if (!source.isFile())
            return failWith(kErrorMissing, QStringLiteral("The file does not exist."));
        const QString wanted = stringAt(2).value_or(source.fileName());
        const bool video = QMimeDatabase().mimeTypeForFile(source.fileName(), QMimeDatabase::MatchExtension)
                               .name()
                               .startsWith(QLatin1String("video/"));
        const QString folder = video ? videosFolder() : musicFolder;
        const QString listPath = playlistPath(*playlist);
        if (!QDir().mkpath(musicFolder) || !ensurePlaylist(listPath))
            return failWith(kErrorWrite, QStringLiteral("The playlist could not be written."));
        if (!QDir().mkpath(folder))
            return failWith(kErrorWrite, QStringLiteral("The folder could not be made."));
        const QString target = folder + QLatin1Char('/') + PRExportPaths::safeComponent(wanted, QStringLiteral("Track"));
        if (!PRExportPaths::isInside(folder, target))
            return failWith(kErrorWrite, QStringLiteral("The file name leads outside the folder."));
        // A track added before stays the one copy, listed once.
        QString claimed = sameFileIn(target, source.filePath());
        const bool copied = claimed.isEmpty();
        if (copied) {
            claimed = PRExportPaths::claimNewFile(target);
            if (claimed.isEmpty())
                return failWith(kErrorWrite, QStringLiteral("The file could not be written."));
            if (!PRExportPaths::fillClaimedFileFrom(claimed, source.filePath())) {
                QFile::remove(claimed);
                return failWith(kErrorWrite, QStringLiteral("The file could not be copied."));
            }
        }
        QFile list(listPath);
        const QByteArray line = QFileInfo(claimed).absoluteFilePath().toUtf8() + '\n';
        if (!copied && playlistLists(listPath, line))
            return claimed;
        if (!list.open(QIODevice::WriteOnly | QIODevice::Append) || list.write(line) != line.size())
            return failWith(kErrorWrite, QStringLiteral("The playlist could not be written."));
        return claimed;
    }

    return failWith(kErrorUnknownHandler, QStringLiteral("The handler %1 is not known.").arg(handler));
}

QVariant iTunesScriptHandler::hideWindow()
{
    return callHandler(QStringLiteral("HideWindow"));
}

QVariant iTunesScriptHandler::addNewPlaylist(const QString &name)
{
    return callHandler(QStringLiteral("AddNewPlaylist"), {name});
}

QVariant iTunesScriptHandler::deletePlaylist(const QString &name)
{
    return callHandler(QStringLiteral("deletePlaylist"), {name});
}

QStringList iTunesScriptHandler::getAllPlaylist()
{
    const QStringList items = callHandler(QStringLiteral("GetAllPlaylist")).toStringList();
    return items.size() > 1 ? items.first(items.size() - 1) : QStringList();
}

QVariant iTunesScriptHandler::addNewFile(const QString &path, const QString &playlist, const QString &nameInLibrary)
{
    QVariantList parameters{path, playlist};
    if (!nameInLibrary.isEmpty())
        parameters.append(nameInLibrary);
    return callHandler(QStringLiteral("AddNewFile"), parameters);
}

QVariant iTunesScriptHandler::quit()
{
    return callHandler(QStringLiteral("QuitWindow"));
}
