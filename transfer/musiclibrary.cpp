#include "transfer/musiclibrary.h"

#include "backup/databasecopy.h"
#include "backup/queryinterrupt.h"
#include "backup/textformat.h"
#include "device/amd/afcservice.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include <cmath>
#include <limits>

const QString MusicLibraryLoad::kLibraryPath = QStringLiteral("/iTunes_Control/iTunes/MediaLibrary.sqlitedb");

namespace {

const QString kAbsent = QStringLiteral("(null)");

// A prepared statement, finalized with the object, that runs under the
// connection's interrupt.
class Statement
{
public:
    Statement(sqlite3 *db, QueryInterrupt &interrupt, const char *sql)
        : m_interrupt(interrupt)
    {
        if (interrupt.rearm() && sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr) != SQLITE_OK) {
            sqlite3_finalize(m_statement);
            m_statement = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    bool isValid() const { return m_statement != nullptr; }
    sqlite3_stmt *get() const { return m_statement; }
    // Ready for a new id: reset and bound.
    bool bind(qint64 id)
    {
        if (!m_statement)
            return false;
        sqlite3_reset(m_statement);
        return sqlite3_bind_int64(m_statement, 1, id) == SQLITE_OK;
    }
    // True while a row is available; false also once the interrupt stopped it.
    bool step() { return m_statement && m_interrupt.rearm() && sqlite3_step(m_statement) == SQLITE_ROW; }

private:
    QueryInterrupt &m_interrupt;
    sqlite3_stmt *m_statement = nullptr;
};

// The column as text when it is there and not empty, cut to maxChars.
std::optional<QString> text(sqlite3_stmt *statement, int column, int maxChars)
{
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    const int length = sqlite3_column_bytes(statement, column);
    if (!bytes || length <= 0)
        return std::nullopt;
    // Cut on bytes first (a character takes at most four), then on characters.
    QString value = TextFormat::GetStringFormChar(bytes, std::size_t(std::min(length, 4 * maxChars)));
    if (value.size() > maxChars)
        value.truncate(maxChars);
    if (value.isEmpty()) // invalid UTF-8, or cut inside a character
        value = QString::fromUtf8(bytes, std::min(length, 4 * maxChars)).left(maxChars);
    return value;
}

bool present(sqlite3_stmt *statement, int column)
{
    return sqlite3_column_type(statement, column) != SQLITE_NULL && sqlite3_column_bytes(statement, column) > 0;
}

// The library's four lookups, prepared once per read, each id bound as a
// 64-bit integer. Each steps through every row; the last row with a value wins.
class Lookups
{
public:
    Lookups(sqlite3 *db, QueryInterrupt &interrupt)
        : m_item(db, interrupt, "select item_artist_pid,album_pid from item where item_pid=?")
        , m_artist(db, interrupt, "select item_artist from item_artist where item_artist_pid=?")
        , m_album(db, interrupt, "select album from album where album_pid=?")
        , m_location(db, interrupt,
                     "select base_location.path from base_location left join item on "
                     "item.base_location_id=base_location.base_location_id where item.item_pid=?")
    {
    }

    struct Ids
    {
        std::optional<qint64> artist;
        std::optional<qint64> album;
    };

    // selectAlbmandArtistFromItemTablewithSqlite: sets the node's artistPid and albumPid.
    Ids selectAlbmandArtistFromItemTablewithSqlite(qint64 itemPid, PRTranMusicNode &node)
    {
        Ids ids;
        if (!m_item.bind(itemPid))
            return ids;
        for (int row = 0; row < kMaxLookupRows && m_item.step(); ++row) {
            if (present(m_item.get(), 0)) {
                ids.artist = sqlite3_column_int64(m_item.get(), 0);
                node.artistPid = QString::number(*ids.artist);
            }
            if (present(m_item.get(), 1)) {
                ids.album = sqlite3_column_int64(m_item.get(), 1);
                node.albumPid = QString::number(*ids.album);
            }
        }
        sqlite3_reset(m_item.get());
        return ids;
    }
    QString selectArtistFromitem_ArtistTablewithSqlite(std::optional<qint64> artistPid)
    {
        return lastText(m_artist, artistPid, MusicLibraryLoad::kMaxTextChars);
    }
    QString selectAlbmArtistFromAlbumTablewithSqlite(std::optional<qint64> albumPid)
    {
        return lastText(m_album, albumPid, MusicLibraryLoad::kMaxTextChars);
    }
    QString selectFileLocationFromAlbumTablewithSqlite(std::optional<qint64> itemPid)
    {
        return lastText(m_location, itemPid, MusicLibraryLoad::kMaxPathChars);
    }

private:
    static constexpr int kMaxLookupRows = 10000;

    // Null when the statement did not prepare, the id was never set, or no row had a value.
    static QString lastText(Statement &statement, std::optional<qint64> id, int maxChars)
    {
        QString result;
        if (!id || !statement.bind(*id))
            return result;
        for (int row = 0; row < kMaxLookupRows && statement.step(); ++row) {
            if (const auto value = text(statement.get(), 0, maxChars))
                result = *value;
        }
        sqlite3_reset(statement.get());
        return result;
    }

    Statement m_item;
    Statement m_artist;
    Statement m_album;
    Statement m_location;
};

// The library's connection. The phone wrote the database, so any of its
// queries may be made to run for ever: they all run under the interrupt,
// which goes before the connection closes.
struct Connection
{
    sqlite3 *db = nullptr;
    std::optional<QueryInterrupt> interrupt;

    Connection() = default;
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;
    ~Connection()
    {
        interrupt.reset();
        sqlite3_close(db);
    }
};

int durationMs(double value)
{
    if (!std::isfinite(value) || value <= 0)
        return 0;
    return value >= double(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max() : int(value);
}

} // namespace

MusicLibraryLoad::MusicLibraryLoad(int deviceId)
    : m_deviceId(deviceId)
{
}

MusicLibraryLoad::Result MusicLibraryLoad::StartMusicThread()
{
    // The commit step on the copy stops on the load's cancel too.
    const QueryInterrupt::CancelScope cancelScope(m_cancelled);
    const Result result = loadLibrary();
    QString message;
    if (result == Result::Stalled)
        message = QStringLiteral("The phone's media library could not be read to the end (a query ran too long "
                                 "without an answer); the tracks read before that are shown.");
    else if (result == Result::Cancelled)
        message = QStringLiteral("Reading the phone's media library was stopped.");
    std::lock_guard lock(m_mutex);
    m_message = message;
    return result;
}

QString MusicLibraryLoad::message() const
{
    std::lock_guard lock(m_mutex);
    return m_message;
}

MusicLibraryLoad::Result MusicLibraryLoad::loadLibrary()
{
    amd::AfcService afc;
    if (const amd::ServiceError opened = afc.open(m_deviceId); opened.failed())
        return opened.is(amd::ServiceError::Kind::PhoneGone) ? Result::DeviceGone : Result::NoFileService;
    if (!m_scratch.isValid())
        return Result::NoFileService;
    const QString copy = m_scratch.filePath(QStringLiteral("MediaLibrary.sqlitedb"));
    // In this order: a log copied before its database could be newer than
    // the database it belongs to. A missing companion is simply not copied.
    bool copied = false;
    for (const char *suffix : {"", "-shm", "-wal"}) {
        if (m_cancelled)
            return Result::Cancelled;
        if (m_step)
            m_step(kLibraryPath + QLatin1String(suffix));
        const int code = afc.downloadFile(kLibraryPath + QLatin1String(suffix), copy + QLatin1String(suffix)).code();
        copied = copied || (code == 0 && !*suffix);
    }
    if (m_cancelled)
        return Result::Cancelled;
    // A phone that left fails its calls before the device list hears of it:
    // a library that did not arrive is absent only while the phone answers.
    if (!copied && !afc.fileInfo(QStringLiteral("/")))
        return Result::DeviceGone;
    // Without a library the commit step leaves an empty database: the lists
    // stay empty and the load still finishes.
    commitDB(copy);
    ReadMusicInfoFromHandleTablewithSqlitePath(copy);
    if (m_cancelled)
        return Result::Cancelled;
    return m_stalled ? Result::Stalled : Result::Loaded;
}

bool MusicLibraryLoad::ReadMusicInfoFromHandleTablewithSqlitePath(const QString &path)
{
    m_stalled = false;
    if (!QFileInfo(path).isFile())
        return false;
    Connection connection;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &connection.db, SQLITE_OPEN_READWRITE, nullptr)
        != SQLITE_OK) {
        return false;
    }
    sqlite3 *db = connection.db;
    QueryInterrupt &interrupt = connection.interrupt.emplace(db, &m_cancelled);
    PRTranMusicList music;
    PRTranMusicList video;
    bool ok = false;
    {
        const Statement probe(db, interrupt, "select item_extra.title,item_extra.file_size,item_extra.media_kind,"
                                  "item_extra.total_time_ms,item_extra.item_pid,item_extra.location,"
                                  "item_artist.item_artist from item_extra left join item_artist on "
                                  "item_extra.item_pid=item_artist.representative_item_pid");
        if (!probe.isValid()) {
            // Only ever run on the private copy: the phone's library is untouched.
            if (interrupt.rearm()
                && sqlite3_exec(db, "DROP TABLE IF EXISTS genre", nullptr, nullptr, nullptr) == SQLITE_OK)
                qInfo("deleted OK");
            else
                qInfo("deleted failed");
        }
    }
    {
        Statement query(db, interrupt, "select item_extra.title,item_extra.file_size,item_extra.media_kind,"
                            "item_extra.total_time_ms,item_extra.item_pid,item_artist.item_artist,"
                            "item_extra.location from item_extra left join item_artist on "
                            "item_extra.item_pid=item_artist.representative_item_pid");
        Lookups lookups(db, interrupt);
        ok = query.isValid();
        sqlite3_stmt *row = query.get();
        // A cancel, or a lookup that stalled, ends the read at the next row.
        for (int n = 0; ok && n < kMaxTracks && query.step(); ++n) {
            auto node = std::make_shared<PRTranMusicNode>();
            if (const auto title = text(row, 0, kMaxTextChars))
                node->musicTitle = *title;
            if (present(row, 1)) {
                node->fileBytes = sqlite3_column_int64(row, 1);
                char buffer[100] = {};
                node->musicFileSize =
                    QString::fromLatin1(TextFormat::size_to_unit(std::uint64_t(std::max<qint64>(0, node->fileBytes)),
                                                                 buffer));
            }
            if (present(row, 2))
                node->musicType = sqlite3_column_int64(row, 2) == 2 ? QStringLiteral("Video") : QStringLiteral("Music");
            if (present(row, 3)) {
                // REAL on the phone: read as a number, never through its text.
                node->durationMs = sqlite3_column_double(row, 3);
                node->musicTime = TextFormat::getCallHistoryDate(durationMs(node->durationMs));
            }
            if (present(row, 4)) {
                node->itemPid = sqlite3_column_int64(row, 4);
                node->hasItemPid = true;
                node->musicPid = QString::number(node->itemPid);
            }
            if (const auto artist = text(row, 5, kMaxTextChars))
                node->musicArtist = *artist;

            const std::optional<qint64> item = node->hasItemPid ? std::optional<qint64>(node->itemPid) : std::nullopt;
            Lookups::Ids ids;
            if (item)
                ids = lookups.selectAlbmandArtistFromItemTablewithSqlite(*item, *node);
            node->musicArtist = lookups.selectArtistFromitem_ArtistTablewithSqlite(ids.artist);
            const QString album = lookups.selectAlbmArtistFromAlbumTablewithSqlite(ids.album);
            node->musicAlbm = album.isNull() ? kAbsent : album;
            const QString base = lookups.selectFileLocationFromAlbumTablewithSqlite(item);
            if (const auto location = text(row, 6, kMaxPathChars))
                node->musicLoctionpath = (base.isNull() ? kAbsent : base) + QLatin1Char('/') + *location;

            if (node->musicType == QLatin1String("Music"))
                music.append(node);
            else if (node->musicType == QLatin1String("Video"))
                video.append(node);
        }
    }
    m_stalled = interrupt.reason() == QueryInterrupt::Reason::Stalled;
    std::lock_guard lock(m_mutex);
    m_music += music;
    m_video += video;
    return ok;
}

PRTranMusicList MusicLibraryLoad::musicArray() const
{
    std::lock_guard lock(m_mutex);
    return m_music;
}

PRTranMusicList MusicLibraryLoad::videoArray() const
{
    std::lock_guard lock(m_mutex);
    return m_video;
}

void MusicLibraryLoad::removeTracks(const QList<qint64> &itemPids)
{
    std::lock_guard lock(m_mutex);
    const auto removed = [&](const PRTranMusicNodePtr &node) {
        return node->hasItemPid && itemPids.contains(node->itemPid);
    };
    m_music.removeIf(removed);
    m_video.removeIf(removed);
}

QString MusicLibraryLoad::devicePath(const PRTranMusicNode &track)
{
    const QString &path = track.musicLoctionpath;
    return path.startsWith(QLatin1Char('/')) ? path : QLatin1Char('/') + path;
}

QString MusicLibraryLoad::extensionOf(const PRTranMusicNode &track)
{
    static const QRegularExpression kPlain(QStringLiteral("^[A-Za-z0-9]{1,10}$"));
    const QString name = track.musicLoctionpath.section(QLatin1Char('/'), -1);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return {};
    const QString extension = name.mid(dot + 1);
    return kPlain.match(extension).hasMatch() ? extension : QString();
}

QString MusicLibraryLoad::localCopy(const PRTranMusicNode &track) const
{
    std::lock_guard lock(m_mutex);
    return track.bhasCopy ? track.bCopyLocationPath : QString();
}

bool MusicLibraryLoad::CopyMusictoMacThread(const PRTranMusicNodePtr &track, amd::AfcService *afc)
{
    if (!track || !track->hasItemPid || !m_scratch.isValid())
        return false;
    if (!localCopy(*track).isEmpty())
        return true;
    std::unique_ptr<amd::AfcService> own;
    if (!afc) {
        own = std::make_unique<amd::AfcService>();
        if (own->open(m_deviceId).failed())
            return false;
        afc = own.get();
    }
    // Named by the item id: two tracks of one title never share a copy, and
    // no device text reaches the name.
    const QString extension = extensionOf(*track);
    const QString name = QStringLiteral("track-%1").arg(track->itemPid) + (extension.isEmpty() ? QString()
                                                                             : QLatin1Char('.') + extension);
    const QString target = m_scratch.filePath(name);
    if (afc->downloadFile(devicePath(*track), target).failed())
        return false;
    std::lock_guard lock(m_mutex);
    track->bhasCopy = true;
    track->bCopyLocationPath = target;
    return true;
}

// -- PRMusicLibrary ------------------------------------------------------------

void PRMusicLibrary::ShowMusic(int deviceId)
{
    if (deviceId == m_device && (m_started || m_finished))
        return;
    if (deviceId != m_device) {
        m_lane.newGeneration();
        m_running.reset();
        m_loaded.reset();
        m_finished = false;
    }
    m_device = deviceId;
    m_started = true;
    auto load = std::make_shared<MusicLibraryLoad>(deviceId);
    m_running = load;
    // A cancel, the phone's departure or the window's close also stops the
    // query the load runs, so nothing waits on a library built to be read
    // for ever.
    m_lane.start(
        deviceId,
        [load](devjobs::JobControl &job) {
            job.onCancel([load](devjobs::JobError::Kind) { load->cancel(); });
            return load->StartMusicThread();
        },
        [this, load](MusicLibraryLoad::Result result, const devjobs::JobError &error) {
            loadEnded(load, result, error);
        });
}

void PRMusicLibrary::loadEnded(const std::shared_ptr<MusicLibraryLoad> &load, MusicLibraryLoad::Result result,
                               const devjobs::JobError &error)
{
    if (load != m_running)
        return;
    m_running.reset();
    m_started = false;
    if (error.is(devjobs::JobError::Kind::PhoneGone))
        result = MusicLibraryLoad::Result::DeviceGone;
    // Shown only while it is the load of the device on show and that device
    // is still there. A stalled read shows what it read and says why it
    // stopped.
    const bool shown = error.ok() && !load->cancelled()
                       && (result == MusicLibraryLoad::Result::Loaded || result == MusicLibraryLoad::Result::Stalled);
    if (shown) {
        m_loaded = load;
        m_finished = true;
        if (m_callback)
            m_callback(load->deviceId());
    } else if (m_failed) {
        m_failed(load->deviceId(), result);
    }
}

void PRMusicLibrary::deviceRemoved(int deviceId)
{
    if (deviceId != m_device)
        return;
    m_lane.newGeneration();
    m_running.reset();
    m_loaded.reset();
    m_started = false;
    m_finished = false;
    m_device = -1;
}

PRTranMusicList PRMusicLibrary::musicArray() const
{
    return m_loaded ? m_loaded->musicArray() : PRTranMusicList();
}

PRTranMusicList PRMusicLibrary::videoArray() const
{
    return m_loaded ? m_loaded->videoArray() : PRTranMusicList();
}
