#include "tools/devicegen/devicescenario.h"
#include "tools/devicegen/scenariowriter.h"

#include "platform/propertylist.h"
#include "tools/samplegen/samplebackup.h"
#include "tools/samplegen/samplefiles.h"

#include <QBuffer>
#include <QColor>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QVariantMap>

#include <sqlite3.h>

#include <cmath>

namespace devicegen {

namespace {

struct DemoApp
{
    const char *bundleId;
    const char *name;
    const char *version;
    QRgb colour;
};

constexpr DemoApp kUserApps[] = {
    {"com.ostra.demo.notebook", "Notebook", "4.2.1", 0xF2B233},
    {"com.ostra.demo.trailmap", "Trail Map", "2.8", 0x3C9D5D},
    {"com.ostra.demo.sketchpad", "Sketchpad", "1.15.0", 0xD9475A},
    {"com.ostra.demo.radiodeck", "Radio Deck", "7.0.3", 0x5B5FD6},
    {"com.ostra.demo.recipebox", "Recipe Box", "3.1", 0xE07B39},
};

constexpr DemoApp kSystemApps[] = {
    {"com.apple.mobilesafari", "Safari", "16.7.2", 0x2F8CEB},
    {"com.apple.camera", "Camera", "1.0", 0x8E8E93},
    {"com.apple.Preferences", "Settings", "1.0", 0x8E8E93},
};

// Deterministic bytes, so that two runs write the same scenario.
class Bytes
{
public:
    explicit Bytes(quint64 seed)
        : m_state(seed * 0x9E3779B97F4A7C15ull + 1)
    {
    }
    quint32 next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return quint32(m_state >> 16);
    }
    QByteArray take(int count)
    {
        QByteArray out(count, '\0');
        for (int i = 0; i < count; ++i)
            out[i] = char(next() & 0xFF);
        return out;
    }

private:
    quint64 m_state;
};

QByteArray littleEndian(quint32 value, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
    return out;
}

// A quarter second of a tone: 8 kHz, 8-bit mono PCM.
QByteArray wav(int tone)
{
    constexpr int kRate = 8000;
    QByteArray samples;
    for (int i = 0; i < kRate / 4; ++i)
        samples.append(char(128 + int(60 * std::sin(2 * M_PI * tone * i / kRate))));
    QByteArray out("RIFF");
    out += littleEndian(quint32(36 + samples.size()), 4) + "WAVEfmt ";
    out += littleEndian(16, 4) + littleEndian(1, 2) + littleEndian(1, 2) + littleEndian(kRate, 4)
           + littleEndian(kRate, 4) + littleEndian(1, 2) + littleEndian(8, 2);
    out += "data" + littleEndian(quint32(samples.size()), 4) + samples;
    return out;
}

QByteArray encode(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format))
        return {};
    return bytes;
}

// A rounded square in the app's colour with a simple white mark, one shape per app.
QByteArray icon(QColor colour, int shape)
{
    QImage image(120, 120, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 0, 120);
    gradient.setColorAt(0, colour.lighter(125));
    gradient.setColorAt(1, colour.darker(115));
    QPainterPath square;
    square.addRoundedRect(QRectF(0, 0, 120, 120), 26, 26);
    painter.fillPath(square, gradient);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    switch (shape % 4) {
    case 0: painter.drawEllipse(QPointF(60, 60), 30, 30); break;
    case 1: painter.drawPolygon(QPolygonF({QPointF(60, 25), QPointF(95, 90), QPointF(25, 90)})); break;
    case 2: painter.drawRect(QRectF(32, 32, 56, 56)); break;
    default: painter.drawRoundedRect(QRectF(25, 48, 70, 24), 12, 12); break;
    }
    painter.end();
    return encode(image, "PNG");
}

// The preferences file whose words at 20, 24, 96 and 100 give the host
// library identifier; 160 bytes, more than the 104 it must hold.
QByteArray iTunesPrefs()
{
    QByteArray prefs = "frpd" + Bytes(7).take(156);
    const auto put = [&prefs](int at, quint32 value) { prefs.replace(at, 4, littleEndian(value, 4)); };
    put(20, 0x1A2B3C4D);
    put(24, 0x55667788);
    put(96, 0x0F0F0F0F);
    put(100, 0x11111111);
    return prefs;
}


QVariantMap identity()
{
    return {
        {QStringLiteral("DeviceName"), kDeviceName},
        {QStringLiteral("UniqueDeviceID"), kUniqueDeviceId},
        {QStringLiteral("ProductVersion"), QStringLiteral("16.7.2")},
        {QStringLiteral("BuildVersion"), QStringLiteral("20H115")},
        {QStringLiteral("ProductType"), QStringLiteral("iPhone10,6")},
        {QStringLiteral("DeviceClass"), QStringLiteral("iPhone")},
        {QStringLiteral("HardwareModel"), QStringLiteral("D221AP")},
        {QStringLiteral("ModelNumber"), QStringLiteral("MQA82")},
        {QStringLiteral("SerialNumber"), QStringLiteral("F2LXK8Q2JCLG")},
        {QStringLiteral("PhoneNumber"), QStringLiteral("+1 (555) 014-2387")},
        {QStringLiteral("CPUArchitecture"), QStringLiteral("arm64")},
        {QStringLiteral("ActivationState"), QStringLiteral("Activated")},
        {QStringLiteral("DeviceColor"), QStringLiteral("1")},
        {QStringLiteral("TimeZone"), QStringLiteral("Europe/Berlin")},
    };
}

QVariantMap diskUsage()
{
    constexpr qint64 kDisk = 128000000000;
    constexpr qint64 kSystem = 7600000000;
    constexpr qint64 kDataFree = 41300000000;
    return {
        {QStringLiteral("TotalDiskCapacity"), kDisk},
        {QStringLiteral("TotalSystemCapacity"), kSystem},
        {QStringLiteral("TotalDataCapacity"), kDisk - kSystem},
        {QStringLiteral("TotalDataAvailable"), kDataFree},
        {QStringLiteral("AmountDataAvailable"), kDataFree},
        {QStringLiteral("TotalSystemAvailable"), qint64(1900000000)},
    };
}

QVariantMap physicalSize(qint64 bytes)
{
    return {{QStringLiteral("_PhysicalSize"), bytes}};
}

QVariantMap assetMetrics()
{
    return {
        {QStringLiteral("Application"), physicalSize(21400000000)},
        {QStringLiteral("Media"), QVariantMap{{QStringLiteral("Music"), physicalSize(3200000000)},
                                              {QStringLiteral("Movie"), physicalSize(5100000000)}}},
        {QStringLiteral("Photo"), QVariantMap{{QStringLiteral("Photo"), physicalSize(1100000000)},
                                              {QStringLiteral("CameraRoll"), physicalSize(12600000000)}}},
    };
}

QString fourLetters(Bytes &bytes)
{
    QString name;
    for (int i = 0; i < 4; ++i)
        name.append(QChar(u'A' + int(bytes.next() % 26)));
    return name;
}

// One file of the media area the library points at: its Fxx folder (relative
// to the media root) and its name.
struct MediaFile
{
    QString folder;
    QString name;
    qint64 bytes = 0;
};

QList<MediaFile> writeMedia(Writer &out, int scale)
{
    QList<MediaFile> songFiles;
    Bytes bytes(1);
    out.file(QStringLiteral("media/iTunes_Control/iTunes/iTunesPrefs"), iTunesPrefs());
    for (const char *folder : {"iTunes_Control/Artwork", "Purchases", "Downloads", "Books", "Podcasts", "PhotoData",
                               "Recordings", "DCIM/.MISC"})
        out.folder(QStringLiteral("media/") + QLatin1String(folder));

    // Songs spread over the Fxx folders as the phone spreads them.
    const int songs = 8 * scale;
    for (int i = 0; i < songs && out.ok(); ++i) {
        const QString sub = QStringLiteral("iTunes_Control/Music/F%1").arg(i % 50, 2, 10, QLatin1Char('0'));
        const QString folder = QStringLiteral("media/") + sub + QLatin1Char('/');
        const QString name = fourLetters(bytes) + (i % 2 == 0 ? QStringLiteral(".mp3") : QStringLiteral(".wav"));
        const QByteArray content = i % 2 == 0 ? samplegen::SampleFiles::mp3(4 + i % 5) : wav(220 + 40 * i);
        // Four random letters may repeat at large scales; the phone never
        // holds two songs under one name.
        if (QFileInfo::exists(out.path(folder + name)))
            continue;
        if (out.file(folder + name, content))
            songFiles.append({sub, name, content.size()});
    }
    out.file(QStringLiteral("media/Recordings/20231104 091522.m4a"), samplegen::SampleFiles::mpeg4Audio(6000, 3));
    out.file(QStringLiteral("media/Downloads/downloads.28.sqlitedb"), QByteArray("SQLite format 3\0", 16));

    // Photos and movies, 999 to a numbered folder.
    const int photos = 12 * scale;
    const int movies = 2 * scale;
    for (int i = 0; i < photos + movies && out.ok(); ++i) {
        const QString folder = QStringLiteral("media/DCIM/%1APPLE/").arg(100 + i / 999);
        const QString stem = QStringLiteral("IMG_%1").arg(i % 999 + 1, 4, 10, QLatin1Char('0'));
        if (i < photos) {
            const QColor colour = QColor::fromHsv((i * 37) % 360, 160, 220);
            out.file(folder + stem + QStringLiteral(".JPG"), samplegen::SampleFiles::jpeg(64 + i % 3 * 16, 48, colour));
        } else {
            out.file(folder + stem + QStringLiteral(".MOV"), samplegen::SampleFiles::quickTimeMovie(20000, quint64(i)));
        }
    }
    out.file(QStringLiteral("media/Purchases/Guide.pdf"), QByteArray("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n%%EOF\n"));
    return songFiles;
}

// The device's media library (iTunes_Control/iTunes/MediaLibrary.sqlitedb),
// the tables the music and video panes read, as the phone lays them out.
//
// Besides one row per song it holds what a real library shows: tracks with
// and without album or artist, two equal titles, a title with "/" and "..",
// an empty title, fractional REAL durations, movies (media_kind 2), a row
// whose file is missing, a 20 MiB track, and one track that exists only in
// the -wal (the file is left in WAL mode with the log not checkpointed, as a
// phone in use leaves it).
class MediaLibraryWriter
{
public:
    static constexpr qint64 kPidBase = 0x1F3A000000000000ll; // item pids use all 64 bits on the phone

    explicit MediaLibraryWriter(sqlite3 *db)
        : m_db(db)
    {
    }
    ~MediaLibraryWriter()
    {
        for (sqlite3_stmt *statement : m_statements)
            sqlite3_finalize(statement);
    }

    bool prepare()
    {
        static const char *const kInserts[] = {
            "INSERT INTO item (item_pid, media_type, item_artist_pid, album_pid, base_location_id) VALUES (?,?,?,?,?)",
            "INSERT INTO item_extra (item_pid, title, total_time_ms, location, file_size, media_kind) "
            "VALUES (?,?,?,?,?,?)",
            "INSERT INTO item_artist (item_artist_pid, item_artist, representative_item_pid) VALUES (?,?,?)",
            "INSERT INTO album (album_pid, album, representative_item_pid) VALUES (?,?,?)",
            "INSERT INTO base_location (base_location_id, path) VALUES (?,?)",
        };
        for (const char *sql : kInserts) {
            sqlite3_stmt *statement = nullptr;
            if (sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) != SQLITE_OK)
                return false;
            m_statements.append(statement);
        }
        return true;
    }

    struct Track
    {
        QString title;
        QString folder;
        QString name;
        qint64 bytes = 0;
        int mediaKind = 1;
        double durationMs = 0;
        QString artist; // empty: no artist row
        QString album;  // empty: no album row
    };

    bool add(const Track &track)
    {
        const qint64 pid = kPidBase + 7919 * qint64(m_count++);
        const qint64 folderId = baseLocation(track.folder);
        const qint64 artistPid = track.artist.isEmpty() ? 0 : named(m_artists, track.artist, 2, pid, 0x100000000ll);
        const qint64 albumPid = track.album.isEmpty() ? 0 : named(m_albums, track.album, 3, pid, 0x200000000ll);
        if (folderId == 0 || artistPid < 0 || albumPid < 0)
            return false;
        return run(0, {pid, qint64(track.mediaKind == 2 ? 2048 : 8), artistPid, albumPid, folderId})
               && run(1, {pid, track.title, track.durationMs, track.name, track.bytes, qint64(track.mediaKind)});
    }

private:
    qint64 baseLocation(const QString &folder)
    {
        if (const auto it = m_folders.constFind(folder); it != m_folders.cend())
            return *it;
        const qint64 id = m_folders.size() + 1;
        if (!run(4, {id, folder}))
            return 0;
        m_folders.insert(folder, id);
        return id;
    }

    // The id of an artist or album, its row made (with pid as representative)
    // the first time the name comes.
    qint64 named(QHash<QString, qint64> &ids, const QString &name, int statement, qint64 pid, qint64 base)
    {
        if (const auto it = ids.constFind(name); it != ids.cend())
            return *it;
        const qint64 id = base + ids.size() + 1;
        if (!run(statement, {id, name, pid}))
            return -1;
        ids.insert(name, id);
        return id;
    }

    bool run(int index, const QVariantList &values)
    {
        sqlite3_stmt *statement = m_statements.at(index);
        sqlite3_reset(statement);
        for (int i = 0; i < values.size(); ++i) {
            const QVariant &value = values.at(i);
            if (value.typeId() == QMetaType::Double) {
                sqlite3_bind_double(statement, i + 1, value.toDouble());
            } else if (value.typeId() == QMetaType::QString) {
                const QByteArray text = value.toString().toUtf8();
                sqlite3_bind_text(statement, i + 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            } else {
                sqlite3_bind_int64(statement, i + 1, value.toLongLong());
            }
        }
        return sqlite3_step(statement) == SQLITE_DONE;
    }

    sqlite3 *m_db;
    QList<sqlite3_stmt *> m_statements;
    QHash<QString, qint64> m_folders;
    QHash<QString, qint64> m_artists;
    QHash<QString, qint64> m_albums;
    int m_count = 0;
};

// The six tables of the iOS 16 family the library queries touch, columns as
// the phone has them.
constexpr const char *kMediaLibrarySchema = R"sql(
CREATE TABLE album (album_pid INTEGER PRIMARY KEY, album TEXT NOT NULL DEFAULT '', sort_album TEXT, album_artist_pid INTEGER NOT NULL DEFAULT 0, representative_item_pid INTEGER NOT NULL DEFAULT 0, grouping_key BLOB, cloud_status INTEGER NOT NULL DEFAULT 0, user_rating INTEGER NOT NULL DEFAULT 0, liked_state INTEGER NOT NULL DEFAULT 0, all_compilations INTEGER NOT NULL DEFAULT 0, feed_url TEXT, season_number INTEGER NOT NULL DEFAULT 0, album_year INTEGER NOT NULL DEFAULT 0, keep_local INTEGER NOT NULL DEFAULT 0, keep_local_status INTEGER NOT NULL DEFAULT 0, keep_local_status_reason INTEGER NOT NULL DEFAULT 0, keep_local_constraints INTEGER NOT NULL DEFAULT 0, app_data BLOB, contains_classical_work INTEGER NOT NULL DEFAULT 0, date_played_local INTEGER NOT NULL DEFAULT 0, user_rating_is_derived INTEGER NOT NULL DEFAULT 0, sync_id INTEGER NOT NULL DEFAULT 0, classical_experience_available INTEGER NOT NULL DEFAULT 0, cloud_library_id TEXT NOT NULL DEFAULT '', liked_state_changed_date INTEGER NOT NULL DEFAULT 0, editorial_notes TEXT NOT NULL DEFAULT '');
CREATE TABLE base_location (base_location_id INTEGER PRIMARY KEY, path TEXT NOT NULL);
CREATE TABLE genre (genre_id INTEGER PRIMARY KEY, genre TEXT NOT NULL DEFAULT '', grouping_key BLOB, cloud_status INTEGER NOT NULL DEFAULT 0, representative_item_pid INTEGER NOT NULL DEFAULT 0, keep_local INTEGER NOT NULL DEFAULT 0, keep_local_status INTEGER NOT NULL DEFAULT 0, keep_local_status_reason INTEGER NOT NULL DEFAULT 0, keep_local_constraints INTEGER NOT NULL DEFAULT 0, sync_id INTEGER NOT NULL DEFAULT 0);
CREATE TABLE item (item_pid INTEGER PRIMARY KEY, media_type INTEGER NOT NULL DEFAULT 0, title_order INTEGER NOT NULL DEFAULT 0, title_order_section INTEGER NOT NULL DEFAULT 0, item_artist_pid INTEGER NOT NULL DEFAULT 0, item_artist_order INTEGER NOT NULL DEFAULT 0, item_artist_order_section INTEGER NOT NULL DEFAULT 0, series_name_order INTEGER NOT NULL DEFAULT 0, series_name_order_section INTEGER NOT NULL DEFAULT 0, album_pid INTEGER NOT NULL DEFAULT 0, album_order INTEGER NOT NULL DEFAULT 0, album_order_section INTEGER NOT NULL DEFAULT 0, album_artist_pid INTEGER NOT NULL DEFAULT 0, album_artist_order INTEGER NOT NULL DEFAULT 0, album_artist_order_section INTEGER NOT NULL DEFAULT 0, composer_pid INTEGER NOT NULL DEFAULT 0, composer_order INTEGER NOT NULL DEFAULT 0, composer_order_section INTEGER NOT NULL DEFAULT 0, genre_id INTEGER NOT NULL DEFAULT 0, genre_order INTEGER NOT NULL DEFAULT 0, genre_order_section INTEGER NOT NULL DEFAULT 0, disc_number INTEGER NOT NULL DEFAULT 0, track_number INTEGER NOT NULL DEFAULT 0, episode_sort_id INTEGER NOT NULL DEFAULT 0, base_location_id INTEGER NOT NULL DEFAULT 0, remote_location_id INTEGER NOT NULL DEFAULT 0, exclude_from_shuffle INTEGER NOT NULL DEFAULT 0, keep_local INTEGER NOT NULL DEFAULT 0, keep_local_status INTEGER NOT NULL DEFAULT 0, keep_local_status_reason INTEGER NOT NULL DEFAULT 0, keep_local_constraints INTEGER NOT NULL DEFAULT 0, in_my_library INTEGER NOT NULL DEFAULT 0, is_compilation INTEGER NOT NULL DEFAULT 0, date_added INTEGER NOT NULL DEFAULT 0, show_composer INTEGER NOT NULL DEFAULT 0, is_music_show INTEGER NOT NULL DEFAULT 0, date_downloaded INTEGER NOT NULL DEFAULT 0, download_source_container_pid INTEGER NOT NULL DEFAULT 0);
CREATE TABLE item_artist (item_artist_pid INTEGER PRIMARY KEY, item_artist TEXT NOT NULL DEFAULT '', sort_item_artist TEXT, series_name TEXT NOT NULL DEFAULT '', sort_series_name TEXT, grouping_key BLOB, cloud_status INTEGER NOT NULL DEFAULT 0, store_id INTEGER NOT NULL DEFAULT 0, representative_item_pid INTEGER NOT NULL DEFAULT 0, keep_local INTEGER NOT NULL DEFAULT 0, keep_local_status INTEGER NOT NULL DEFAULT 0, keep_local_status_reason INTEGER NOT NULL DEFAULT 0, keep_local_constraints INTEGER NOT NULL DEFAULT 0, app_data BLOB, sync_id INTEGER NOT NULL DEFAULT 0, classical_experience_available INTEGER NOT NULL DEFAULT 0);
CREATE TABLE item_extra (item_pid INTEGER PRIMARY KEY, title TEXT NOT NULL DEFAULT '', sort_title TEXT, disc_count INTEGER NOT NULL DEFAULT 0, track_count INTEGER NOT NULL DEFAULT 0, total_time_ms REAL NOT NULL DEFAULT 0, year INTEGER NOT NULL DEFAULT 0, location TEXT NOT NULL DEFAULT '', file_size INTEGER NOT NULL DEFAULT 0, integrity BLOB, is_audible_audio_book INTEGER NOT NULL DEFAULT 0, date_modified INTEGER NOT NULL DEFAULT 0, media_kind INTEGER NOT NULL DEFAULT 0, content_rating INTEGER NOT NULL DEFAULT 0, content_rating_level INTEGER NOT NULL DEFAULT 0, is_user_disabled INTEGER NOT NULL DEFAULT 0, bpm INTEGER NOT NULL DEFAULT 0, genius_id INTEGER NOT NULL DEFAULT 0, comment TEXT, grouping TEXT, description TEXT, description_long TEXT, collection_description TEXT, copyright TEXT, pending_genius_checksum INTEGER NOT NULL DEFAULT 0, category_id INTEGER NOT NULL DEFAULT 0, location_kind_id INTEGER NOT NULL DEFAULT 0, version TEXT NOT NULL DEFAULT '', display_version TEXT NOT NULL DEFAULT '', classical_work TEXT NOT NULL DEFAULT '', classical_movement TEXT NOT NULL DEFAULT '', classical_movement_count INTEGER NOT NULL DEFAULT 0, classical_movement_number INTEGER NOT NULL DEFAULT 0, is_preorder INTEGER NOT NULL DEFAULT 0);
)sql";

constexpr qint64 kLargeTrackBytes = qint64(20) << 20;

void writeMediaLibrary(Writer &out, const QList<MediaFile> &songs, int scale)
{
    if (!out.ok())
        return;
    const QString relative = QStringLiteral("media/iTunes_Control/iTunes/MediaLibrary.sqlitedb");
    // Movies, a 20 MiB song and the song only the log knows: files first.
    QList<MediaFile> movies;
    for (int i = 0; i < 2 * scale && out.ok(); ++i) {
        const MediaFile movie{QStringLiteral("iTunes_Control/Music/F%1").arg(49 - i % 50, 2, 10, QLatin1Char('0')),
                              QStringLiteral("MV%1.m4v").arg(i + 1, 4, 10, QLatin1Char('0')), 0};
        const QByteArray bytes = samplegen::SampleFiles::quickTimeMovie(30000, quint64(1000 + i));
        if (out.file(QStringLiteral("media/%1/%2").arg(movie.folder, movie.name), bytes))
            movies.append({movie.folder, movie.name, bytes.size()});
    }
    const MediaFile large{QStringLiteral("iTunes_Control/Music/F01"), QStringLiteral("LONG.mp3"), kLargeTrackBytes};
    {
        QByteArray bytes = samplegen::SampleFiles::mp3(40);
        const QByteArray block = Bytes(20).take(1 << 16);
        while (bytes.size() < kLargeTrackBytes)
            bytes += block;
        bytes.truncate(int(kLargeTrackBytes));
        out.file(QStringLiteral("media/%1/%2").arg(large.folder, large.name), bytes);
    }
    const QByteArray lateBytes = samplegen::SampleFiles::mp3(7);
    const MediaFile late{QStringLiteral("iTunes_Control/Music/F02"), QStringLiteral("LATE.mp3"), lateBytes.size()};
    out.file(QStringLiteral("media/%1/%2").arg(late.folder, late.name), lateBytes);
    if (!out.ok())
        return;

    sqlite3 *db = nullptr;
    const auto fail = [&](const char *what) {
        out.failWith(QStringLiteral("the media library could not be written (%1: %2)")
                         .arg(QLatin1String(what), QString::fromUtf8(sqlite3_errmsg(db))));
        sqlite3_close(db);
    };
    if (sqlite3_open(QFile::encodeName(out.path(relative)).constData(), &db) != SQLITE_OK)
        return fail("open");
    // The log must outlive the close for the last row to stay in it only.
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    if (sqlite3_exec(db, "PRAGMA journal_mode=WAL;", nullptr, nullptr, nullptr) != SQLITE_OK
        || sqlite3_exec(db, kMediaLibrarySchema, nullptr, nullptr, nullptr) != SQLITE_OK
        || sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail("schema");
    {
        MediaLibraryWriter library(db);
        if (!library.prepare())
            return fail("prepare");
        static const char *const kArtists[] = {"The Testers", "Ada & Co", "Ünïcode Ärtist"};
        bool ok = true;
        for (int i = 0; i < songs.size() && ok; ++i) {
            MediaLibraryWriter::Track track{QStringLiteral("Song %1").arg(i + 1), songs[i].folder, songs[i].name,
                                            songs[i].bytes, i == 5 ? 8 : 1, 1000.0 * (30 + i) + 0.25, {}, {}};
            if (i == 1 || i == 2)
                track.title = QStringLiteral("Same Title");
            else if (i == 3)
                track.title = QStringLiteral("../../.config/autostart/x");
            else if (i == 4)
                track.title.clear();
            if (i % 4 != 1)
                track.artist = QString::fromUtf8(kArtists[i % 3]);
            if (i % 3 != 0)
                track.album = QStringLiteral("Album %1").arg(i % 5 + 1);
            ok = library.add(track);
        }
        for (int i = 0; i < movies.size() && ok; ++i) {
            ok = library.add({QStringLiteral("Movie %1").arg(i + 1), movies[i].folder, movies[i].name,
                              movies[i].bytes, 2, 95000.5 + i, i % 2 ? QString() : QStringLiteral("Studio Nine"),
                              {}});
        }
        if (ok)
            ok = library.add({QStringLiteral("Missing Song"), QStringLiteral("iTunes_Control/Music/F00"),
                              QStringLiteral("GONE.mp3"), 4096, 1, 61000, QStringLiteral("The Testers"),
                              QStringLiteral("Album 1")});
        if (ok)
            ok = library.add({QStringLiteral("Long Mix"), large.folder, large.name, large.bytes, 1, 3600000.75,
                              QStringLiteral("Ada & Co"), QStringLiteral("Album 2")});
        if (!ok || sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            return fail("rows");
        if (sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr) != SQLITE_OK)
            return fail("checkpoint");
        if (!library.add({QStringLiteral("Late Addition"), late.folder, late.name, late.bytes, 1, 200123.5,
                          QStringLiteral("Late Band"), QStringLiteral("Late Album")}))
            return fail("log row");
    }
    sqlite3_close(db);
    for (const char *suffix : {"", "-wal", "-shm"})
        out.counted(relative + QLatin1String(suffix));
}

QVariantMap appAttributes(const DemoApp &app, int index, bool user, qint64 dynamicBytes)
{
    const QString name = QString::fromLatin1(app.name);
    const QString executable = QString(name).remove(QLatin1Char(' '));
    return {
        {QStringLiteral("CFBundleIdentifier"), QString::fromLatin1(app.bundleId)},
        {QStringLiteral("ApplicationType"), user ? QStringLiteral("User") : QStringLiteral("System")},
        {QStringLiteral("CFBundleExecutable"), executable},
        {QStringLiteral("CFBundleDisplayName"), name},
        {QStringLiteral("CFBundleIconFile"), QStringLiteral("AppIcon60x60")},
        {QStringLiteral("CFBundleName"), executable},
        {QStringLiteral("CFBundleShortVersionString"), QString::fromLatin1(app.version)},
        {QStringLiteral("CFBundleVersion"), QString::fromLatin1(app.version).section(QLatin1Char('.'), 0, 0)},
        {QStringLiteral("Entitlements"),
         QVariantMap{{QStringLiteral("application-identifier"), QStringLiteral("8QZ4R9T2UX.") + app.bundleId}}},
        {QStringLiteral("Path"), user ? QStringLiteral("/private/var/containers/Bundle/Application/%1/%2.app")
                                            .arg(QStringLiteral("5C1E0A7B-%1-4B2D-9E11-0C3F5A6D7E%2")
                                                     .arg(1000 + 137 * index)
                                                     .arg(10 + index),
                                                 executable)
                                      : QStringLiteral("/Applications/%1.app").arg(executable)},
        {QStringLiteral("UIFileSharingEnabled"), user},
        {QStringLiteral("DynamicDiskUsage"), dynamicBytes},
        {QStringLiteral("StaticDiskUsage"), qint64(18000000 + 7300000 * index)},
    };
}

// Documents, caches, cookies, preferences and temporary files, as a cleaner
// and a document browser expect to find them.
qint64 writeContainer(Writer &out, const DemoApp &app, int index, int scale)
{
    const QString root = QStringLiteral("containers/%1/").arg(QLatin1String(app.bundleId));
    Bytes bytes(100 + quint64(index));
    qint64 total = 0;
    const auto add = [&](const QString &relative, const QByteArray &data) {
        out.file(root + relative, data);
        total += data.size();
    };
    for (int i = 0; i < 3 * scale && out.ok(); ++i) {
        add(QStringLiteral("Documents/Note %1.txt").arg(i + 1),
            QStringLiteral("%1 note %2\n").arg(QLatin1String(app.name)).arg(i + 1).repeated(20).toUtf8());
    }
    add(QStringLiteral("Documents/library.json"),
        QStringLiteral("{\"app\": \"%1\", \"items\": %2}\n").arg(QLatin1String(app.name)).arg(3 * scale).toUtf8());
    add(QStringLiteral("Documents/Cover.jpg"), samplegen::SampleFiles::jpeg(80, 60, QColor(app.colour)));
    for (int i = 0; i < 2 * scale && out.ok(); ++i)
        add(QStringLiteral("Library/Caches/%1/cache-%2.bin").arg(QLatin1String(app.bundleId)).arg(i), bytes.take(3000));
    add(QStringLiteral("Library/Caches/Snapshots/%1/Main.ktx").arg(QLatin1String(app.bundleId)), bytes.take(8000));
    add(QStringLiteral("Library/Cookies/Cookies.binarycookies"), "cook" + QByteArray(4, '\0') + bytes.take(120));
    add(QStringLiteral("Library/Preferences/%1.plist").arg(QLatin1String(app.bundleId)),
        PropertyList::toData(QVariantMap{{QStringLiteral("LaunchCount"), 17 + index},
                                         {QStringLiteral("LastVersion"), QString::fromLatin1(app.version)}},
                             PropertyList::Format::Binary));
    for (int i = 0; i < scale && out.ok(); ++i)
        add(QStringLiteral("tmp/upload-%1.tmp").arg(i), bytes.take(1500));
    add(QStringLiteral("iTunesArtwork"), samplegen::SampleFiles::jpeg(60, 60, QColor(app.colour)));
    return total;
}

// The identity of the generated phone in place of the sample generator's
// own, so that the backup and the phone it came from agree. The file keeps
// its time: readers date a backup by it.
bool adoptIdentity(const QString &path, const QVariantMap &values)
{
    auto list = PropertyList::readDictionary(path);
    const QDateTime modified = QFileInfo(path).lastModified();
    if (!list)
        return false;
    for (auto it = values.begin(); it != values.end(); ++it) {
        const QStringList keys = it.key().split(QLatin1Char('/'));
        if (keys.size() == 1) {
            list->insert(keys[0], it.value());
        } else {
            QVariantMap inner = list->value(keys[0]).toMap();
            inner.insert(keys[1], it.value());
            list->insert(keys[0], inner);
        }
    }
    QFile file(path);
    return PropertyList::writeFile(path, *list, PropertyList::Format::Binary) && file.open(QIODevice::ReadWrite)
           && file.setFileTime(modified, QFileDevice::FileModificationTime);
}

// The backup the phone gives when asked for one (the simulated backup runner
// copies it): contacts, messages with attachments, notes and the rest of a
// standard sample backup, of the phone's own iOS version. It lies beside
// media/ and containers/, where no file service of the phone reaches.
void writePreparedBackup(Writer &out)
{
    if (!out.ok())
        return;
    const QVariantMap phone = identity();
    samplegen::SampleBackupOptions options;
    options.outDir = out.path(QStringLiteral("backup"));
    options.iosVersion = phone.value(QStringLiteral("ProductVersion")).toString();
    samplegen::SampleBackup backup(options);
    backup.addStandardContent();
    if (!backup.write()) {
        out.failWith(QStringLiteral("the prepared backup could not be written (%1)").arg(backup.errorString()));
        return;
    }
    const auto value = [&phone](const char *key) { return phone.value(QLatin1String(key)); };
    const QVariantMap info{
        {QStringLiteral("Device Name"), value("DeviceName")},
        {QStringLiteral("Display Name"), value("DeviceName")},
        {QStringLiteral("Product Type"), value("ProductType")},
        {QStringLiteral("Product Version"), value("ProductVersion")},
        {QStringLiteral("Build Version"), value("BuildVersion")},
        {QStringLiteral("Serial Number"), value("SerialNumber")},
        {QStringLiteral("Phone Number"), value("PhoneNumber")},
        {QStringLiteral("Unique Identifier"), value("UniqueDeviceID")},
        {QStringLiteral("Target Identifier"), value("UniqueDeviceID")},
    };
    QVariantMap lockdown;
    for (const char *key : {"DeviceName", "ProductType", "ProductVersion", "BuildVersion", "UniqueDeviceID",
                            "SerialNumber"})
        lockdown.insert(QStringLiteral("Lockdown/") + QLatin1String(key), value(key));
    if (!adoptIdentity(out.path(QStringLiteral("backup/Info.plist")), info)
        || !adoptIdentity(out.path(QStringLiteral("backup/Manifest.plist")), lockdown))
        out.failWith(QStringLiteral("the prepared backup's property lists could not be rewritten"));
}

} // namespace

bool writeScenario(const ScenarioOptions &options, ScenarioSummary *summary, QString *error)
{
    ScenarioSummary ignored;
    ScenarioSummary &result = summary ? *summary : ignored;
    result = {};
    const auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    if (options.outDir.isEmpty())
        return fail(QStringLiteral("no output folder given"));
    if (options.scale < 1 || options.scale > kMaxScale)
        return fail(QStringLiteral("the scale must be between 1 and %1").arg(kMaxScale));
    const QDir dir(options.outDir);
    if (dir.exists() && !dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
        return fail(QStringLiteral("%1 exists and is not empty").arg(options.outDir));
    if (!QDir().mkpath(options.outDir))
        return fail(QStringLiteral("%1 could not be made").arg(options.outDir));

    Writer out(options.outDir, &result);
    out.plist(QStringLiteral("device.plist"),
              {{QStringLiteral("Values"), QVariantMap{{QStringLiteral(""), identity()},
                                                      {QStringLiteral("com.apple.disk_usage"), diskUsage()}}},
               {QStringLiteral("Paired"), true},
               {QStringLiteral("AssetMetrics"), assetMetrics()}},
              PropertyList::Format::Xml);
    writeMediaLibrary(out, writeMedia(out, options.scale), options.scale);
    writePhotoExtras(out, options.scale);

    QVariantMap apps;
    int index = 0;
    for (const DemoApp &app : kUserApps) {
        const qint64 dynamicBytes = writeContainer(out, app, index, options.scale);
        out.file(QStringLiteral("icons/%1.png").arg(QLatin1String(app.bundleId)), icon(QColor(app.colour), index));
        apps.insert(QString::fromLatin1(app.bundleId), appAttributes(app, index, true, dynamicBytes));
        result.userApps.append(QString::fromLatin1(app.bundleId));
        ++index;
    }
    for (const DemoApp &app : kSystemApps) {
        out.file(QStringLiteral("icons/%1.png").arg(QLatin1String(app.bundleId)), icon(QColor(app.colour), index));
        apps.insert(QString::fromLatin1(app.bundleId), appAttributes(app, index, false, 0));
        ++index;
    }
    writeAppExtras(out, apps, options.scale);
    writeCleanerExtras(out);
    out.plist(QStringLiteral("apps.plist"), apps, PropertyList::Format::Binary);
    writePreparedBackup(out);
    if (!out.ok())
        return fail(out.error());
    return true;
}

} // namespace devicegen
