#include "backup/backupfileindex.h"

#include "backup/recorddatabase.h"
#include "backup/mbdbreader.h"
#include "backup/nodes/prphotoandvideonode.h"
#include "backup/notificationnames.h"
#include "backup/textformat.h"
#include "platform/regularfile.h"

#include <QDir>
#include <QFileInfo>
#include <QStringBuilder>
#include <QHash>

#include <cstring>
#include <optional>
#include <set>

namespace {

const QString kNotesGroupDomain = QStringLiteral("AppDomainGroup-group.com.apple.notes");

const char *const kImageTypes[] = {
    "3DM", "3DMF", "3DS", "ABM", "AFX", "AI", "ANI", "ART", "ARW", "BLD", "BLEND", "BMP", "BOO", "BR5", "CDR",
    "CDR", "CDT", "CGM", "CIFF", "CLP", "CMX", "CONT", "CPT", "CR2", "CRW", "CUR", "CVX", "DCM", "DCR", "DCR",
    "DIB", "DNG", "DRW", "DS4", "DSC", "DT2", "DWF", "DWG", "EMF", "EMZ", "ERF", "FH8", "FLC", "FOV", "FPF",
    "FPX", "FUJI", "FXG", "GIF", "HDP", "HPI", "ICNS", "ICO", "IDML", "IFF", "IMG", "INX", "IPX", "ISD", "ITC2",
    "IV", "JP2", "JPEG", "JPG", "JPX", "K25", "KDC", "LBM", "MA", "MAX", "MB", "MDI", "MDL", "MDX", "MINO",
    "MNG", "MOS", "MRW", "MSP", "NCR", "NEF", "OBJ", "ORF", "PAL", "PAT", "PBM", "PCS", "PCT", "PCX", "PEF",
    "PGM", "PIC", "PICT", "PICTCLIPPING", "PNG", "PPM", "PSD", "PSP", "PSPIMGE", "PTX", "PXN", "QXD", "RAF",
    "RAS", "RAW", "RELS", "RGB", "RLE", "RTD", "SCT", "SHP", "SKF", "SKP", "SR2", "SRF", "STP", "SVG", "SVGZ",
    "TEX", "TGA", "THM", "TIF", "TIFF", "VWX", "WB1", "WBC", "WBD", "WBMP", "WBZ", "WEBP", "WMF", "WP", "WPG",
    "X3F", "XBM", "XCF", "XPM", "XPS"};

const char *const kVideoTypes[] = {
    "3G2", "3GP", "ANM", "ASF", "ASX", "AVI", "AVS", "CLK", "CPI", "DIVX", "DMSM", "DREAM", "DVDMEDIA", "DVM",
    "DVR-MS", "DXR", "F4V", "FBR", "FLA", "FLV", "HDMOV", "M2P", "M2TS", "M4P", "M4V", "MKV", "MOD", "MOI",
    "MOV", "MP4", "MPE", "MPEG", "MPG", "MXF", "OGM", "PSH", "QT", "QTM", "RCPROJECT", "RM", "RMVB", "SCM",
    "SMIL", "SMJPEG", "SRT", "STX", "SWF", "TIX", "TS", "VOB", "VRO", "WMV", "WTV", "XVID", "YUV"};

const char *const kAudioTypes[] = {"RAM", "RFL", "RMI", "RNS", "RPS", "SIB", "SND", "VPM", "WAV", "WMA",
                                   "AA3", "AAC", "AC3", "AFC", "AIF", "AIFF", "AM", "AT3", "AU", "CAF",
                                   "CDA", "CPF", "DMSA", "DMSE", "DSS", "EMP", "EMX", "FLAC", "KPI", "M3D",
                                   "M4A", "M4R", "MID", "MIDI", "MP3", "OGG", "OMF", "PTF"};

static_assert(std::size(kImageTypes) == 138);
static_assert(std::size(kVideoTypes) == 55);
static_assert(std::size(kAudioTypes) == 38);

template<std::size_t N>
QHash<QByteArray, int> buildTable(const char *const (&types)[N])
{
    QHash<QByteArray, int> table;
    for (std::size_t i = 0; i < N; ++i) {
        if (!table.contains(types[i]))
            table.insert(types[i], int(i));
    }
    return table;
}

int lookup(const QHash<QByteArray, int> &table, const char *extension)
{
    if (!extension)
        return -1;
    const QByteArray upper = QByteArray(extension).toUpper();
    return table.value(upper, -1);
}

bool isHexName(QByteArrayView id)
{
    for (char c : id) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

bool isHexName(const QString &id)
{
    for (QChar c : id) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')))
            return false;
    }
    return true;
}

QByteArray untilNul(const QByteArray &bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.left(nul);
}

} // namespace

BackupFileIndex::BackupFileIndex(ScanContext &context)
    : m_ctx(context)
{
}

int BackupFileIndex::GetImageType(const char *extension)
{
    static const auto table = buildTable(kImageTypes);
    return lookup(table, extension);
}

int BackupFileIndex::GetViedoType(const char *extension)
{
    static const auto table = buildTable(kVideoTypes);
    return lookup(table, extension);
}

int BackupFileIndex::GetAudioType(const char *extension)
{
    static const auto table = buildTable(kAudioTypes);
    return lookup(table, extension);
}

bool BackupFileIndex::isMediaDomain(const QString &domain)
{
    static const QStringList kMedia = {QStringLiteral("CameraRollDomain"),
                                       QStringLiteral("MediaDomain"),
                                       QStringLiteral("HomeDomain"),
                                       QStringLiteral("AppDomain-com.facebook.Facebook"),
                                       QStringLiteral("AppDomain-com.facebook.Messenger"),
                                       QStringLiteral("AppDomain-com.atebits.Tweetie2")};
    return kMedia.contains(domain);
}

bool BackupFileIndex::isSocialDomain(const QString &domain)
{
    return domain == QLatin1String("AppDomain-com.facebook.Facebook")
           || domain == QLatin1String("AppDomain-com.facebook.Messenger")
           || domain == QLatin1String("AppDomain-com.atebits.Tweetie2");
}

QString BackupFileIndex::pathExtension(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1)
        return QStringLiteral("");
    return path.mid(dot + 1);
}

void BackupFileIndex::scanDirAnalyThread(const QString &backupFolder)
{
    m_transferFiles = nullptr;
    m_stored = std::make_unique<RegularFile::StoredFolder>(backupFolder);
    if (m_ctx.biOS10Version)
        readManifestDb(backupFolder);
    else
        readManifestMbdb(backupFolder);
    m_stored.reset();
}

void BackupFileIndex::scanTransferDirAnalyThread(const QString &backupFolder,
                                                 NodeList<PRTreeDirNode> &transferFileArray)
{
    m_transferFiles = &transferFileArray;
    m_stored = std::make_unique<RegularFile::StoredFolder>(backupFolder);
    if (m_ctx.biOS10Version) {
        transferFileArray.clear();
        readManifestDb(backupFolder);
    } else {
        readManifestMbdb(backupFolder);
    }
    m_transferFiles = nullptr;
    m_stored.reset();
}

QString BackupFileIndex::domainOf(const Statement &rows)
{
    // Looked up by the column's bytes (no copy made): the few domains of an
    // index are decoded once each, not once per row.
    const QByteArrayView raw = rows.rawText(1);
    const QByteArray key = QByteArray::fromRawData(raw.data(), raw.size());
    if (const auto it = m_domainsByBytes.constFind(key); it != m_domainsByBytes.constEnd())
        return *it;
    const QString text = rows.text(1);
    const QString domain = text.isEmpty() ? text : internDomain(text);
    m_domainsByBytes.insert(QByteArray(raw.data(), raw.size()), domain);
    return domain;
}

QString BackupFileIndex::internDomain(const QString &domain)
{
    auto it = m_domains.constFind(domain);
    if (it == m_domains.constEnd())
        it = m_domains.insert(domain, domain);
    return *it;
}

void BackupFileIndex::handleEntry(const std::shared_ptr<PRTreeDirNode> &node, int progress)
{
    const bool media = isMediaDomain(node->fileDomain())
                       || (m_transferFiles && node->fileDomain() == kNotesGroupDomain);
    m_filling.push_back({node, progress, media});
    if (m_filling.size() >= kRunEntries)
        startRun();
}

void BackupFileIndex::startRun()
{
    if (m_filling.empty())
        return;
    Run run;
    run.entries = std::move(m_filling);
    m_filling.clear();
    std::vector<QString> keys;
    for (const Pending &entry : run.entries) {
        if (entry.media)
            keys.push_back(entry.node->fileKey());
    }
    run.sizes = std::async(std::launch::async,
                           [stored = m_stored.get(), keys = std::move(keys)] { return stored->sizes(keys); });
    std::unique_lock lock(m_runsMutex);
    m_runsChanged.wait(lock, [this] { return m_runs.size() < kRunsAhead; });
    m_runs.push_back(std::move(run));
    m_runsChanged.notify_all();
}

void BackupFileIndex::announce(Run &run)
{
    const std::vector<std::optional<qint64>> found = run.sizes.get();
    std::size_t next = 0;
    for (const Pending &entry : run.entries) {
        if (m_ctx.cancelled.load(std::memory_order_relaxed))
            return;
        m_ctx.nc.post(Notifications::FindBackUpDirFileInfo, nodeToVariant(entry.node));
        if (!entry.media)
            continue;
        m_ctx.postProgress(entry.progress);
        mediaRecords(entry.node, found[next++]);
        m_ctx.appendTreeFile(entry.node);
        if (m_transferFiles)
            m_transferFiles->append(entry.node);
    }
}

void BackupFileIndex::readAndAnnounce(const std::function<void()> &read)
{
    bool done = false;
    std::thread reader([&] {
        read();
        startRun();
        std::lock_guard lock(m_runsMutex);
        done = true;
        m_runsChanged.notify_all();
    });
    for (;;) {
        Run run;
        {
            std::unique_lock lock(m_runsMutex);
            m_runsChanged.wait(lock, [&] { return !m_runs.empty() || done; });
            if (m_runs.empty())
                break;
            run = std::move(m_runs.front());
            m_runs.pop_front();
            m_runsChanged.notify_all();
        }
        // A cancelled scan announces nothing more; the reader stops at its
        // next row and the sizes being asked are awaited as the runs go.
        announce(run);
    }
    reader.join();
}

void BackupFileIndex::readManifestDb(const QString &folder)
{
    const QString source = folder + QStringLiteral("/Manifest.db");
    if (!QFileInfo::exists(source)) {
        qInfo("messageDB is not exist");
        return;
    }
    const auto db = RecordDatabase::open(source);
    if (!db)
        return;

    // The row count gives the progress; the rows themselves are read one at
    // a time, without the large "file" column, so that an index of half a
    // million entries never sits in memory.
    Statement count(*db, "select count(*) from Files");
    if (!count.step())
        return;
    const qint64 total = count.int64(0);
    if (total <= 0)
        return;

    Statement rows(*db, "select fileID,domain,relativePath from Files");
    readAndAnnounce([&] {
        qint64 row = 0;
        while (!m_ctx.cancelled.load(std::memory_order_relaxed) && rows.step()) {
            ++row;
            const QString domain = domainOf(rows);
            if (domain.isEmpty())
                continue;
            auto node = std::make_shared<PRTreeDirNode>();
            node->setFileDomain(domain);

            // A stored name is 40 hex digits; anything else (a "/" or "..")
            // would point outside the backup folder and is not followed.
            // Hex digits are their own text, so they are taken as they are.
            const QByteArrayView rawId = rows.rawText(0);
            if (rawId.size() > 2 && isHexName(rawId)) {
                node->setFileKey(folder % QLatin1Char('/') % QLatin1String(rawId.first(2)) % QLatin1Char('/')
                                 % QLatin1String(rawId));
            } else if (const QString fileId = rows.text(0); fileId.size() > 2 && isHexName(fileId)) {
                node->setFileKey(folder % QLatin1Char('/') % QStringView(fileId).first(2) % QLatin1Char('/') % fileId);
            }
            const QString relative = rows.text(2);
            if (!relative.isEmpty())
                node->setFilePath(relative);

            handleEntry(node, int(qint64(20) * qMin(row, total) / total));
        }
    });
}

void BackupFileIndex::readManifestMbdb(const QString &folder)
{
    MbdbReader reader;
    if (!reader.open(folder + QStringLiteral("/Manifest.mbdb")))
        return;
    if (m_transferFiles)
        m_transferFiles->clear();

    const qint64 size = reader.size();
    const QString prefix = folder + QLatin1Char('/');
    readAndAnnounce([&] {
        MbdbReader::Record record;
        while (!m_ctx.cancelled.load(std::memory_order_relaxed) && reader.next(record)) {
            auto node = std::make_shared<PRTreeDirNode>();
            const QByteArray domain = untilNul(record.domain);
            const QByteArray path = untilNul(record.relativePath);
            if (!domain.isEmpty())
                node->setFileDomain(
                    internDomain(TextFormat::GetStringFormChar(domain.constData(), std::size_t(domain.size()))));
            if (!path.isEmpty())
                node->setFilePath(TextFormat::GetStringFormChar(path.constData(), std::size_t(path.size())));

            m_digest.reset();
            m_digest.addBytes(domain.constData(), std::size_t(domain.size()));
            m_digest.addBytes("-", 1);
            m_digest.addBytes(path.constData(), std::size_t(path.size()));
            std::uint32_t words[5];
            char hex[41];
            if (!m_digest.getDigest(words) || !shahDigestToHex(words, hex))
                qInfo("AnalyzerFile hash1 could not compute message digest.\n");
            else
                node->setFileKey(prefix + QLatin1String(hex, 40));

            handleEntry(node, size > 0 ? int(record.endOffset * 20 / size) : 0);
        }
    });
}

void BackupFileIndex::GetMediaFileByNode(const std::shared_ptr<PRTreeDirNode> &node)
{
    mediaRecords(node, RegularFile::size(node->fileKey()));
}

void BackupFileIndex::mediaRecords(const std::shared_ptr<PRTreeDirNode> &node, std::optional<qint64> stored)
{
    const QByteArray extension = pathExtension(node->filePath()).toUtf8();
    const QString &path = node->filePath();
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    // A link, FIFO or device in the backup folder is a missing stored file.
    const bool exists = stored.has_value();
    const quint64 size = exists ? quint64(*stored) : 0;

    const bool image = GetImageType(extension.constData()) >= 0;
    const bool movie = !image
                       && (GetAudioType(extension.constData()) >= 0 || GetViedoType(extension.constData()) >= 0);
    if (image || movie) {
        auto media = std::make_shared<PRPhotoAndVideoNode>();
        media->setFilePath(node->fileKey());
        media->setFileSizeNumber(size);
        media->setFileNodeName(name);
        media->setFileNodeSize(TextFormat::sizeText(size));
        media->setBmov(movie);
        m_ctx.nc.post(Notifications::ScanPhotoAndVideo, nodeToVariant(media));
    }
    if (isSocialDomain(node->fileDomain()) && exists) {
        auto social = std::make_shared<PRFaceTwitterNode>();
        social->setFileSize(TextFormat::sizeText(size));
        social->setFaceTwitterFileName(name);
        social->setFaceTwitterFilePath(node->fileKey());
        m_ctx.nc.post(Notifications::scanFaceTwitterInfo, nodeToVariant(social));
    }
}

QString BackupFileIndex::getNoteThumFileKeyBytheFilepath(const NodeList<PRTreeDirNode> &transferFileArray,
                                                         const QString &identifier)
{
    for (const auto &node : transferFileArray) {
        if (node->fileDomain() == kNotesGroupDomain && node->filePath().contains(identifier, Qt::CaseInsensitive)
            && RegularFile::isRegular(node->fileKey()))
            return node->fileKey();
    }
    return QString();
}

void BackupFileIndex::scanPhotoAndVideoThread(const QString &folder)
{
    const QDir dir(folder);
    const QFileInfoList entries = dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    const qsizetype n = entries.size();
    std::set<qsizetype> steps;
    for (qsizetype k = 1; k <= 29; ++k)
        steps.insert(n * k / 30);
    int counter = 0;
    for (qsizetype i = 0; i < n && !m_ctx.cancelled.load(std::memory_order_relaxed); ++i) {
        if (steps.count(i))
            m_ctx.nc.post(Notifications::ScanProgressInfo, ++counter);
        const QString path = folder + QLatin1Char('/') + entries.at(i).fileName();
        if (RegularFile::size(path).value_or(0) >= 50000)
            m_ctx.nc.post(Notifications::ScanPhotoAndVideoInfo, path);
    }
}

int BackupFileIndex::getS(std::FILE *file, char *buffer)
{
    if (!file || !buffer)
        return -1;
    unsigned char len[2];
    if (std::fread(len, 1, 2, file) != 2)
        return -1;
    const unsigned n = unsigned(len[0]) << 8 | len[1];
    if (n == 0xFFFF || n == 0)
        return -1;
    const unsigned keep = n < 259 ? n : 259;
    const std::size_t got = std::fread(buffer, 1, keep, file);
    buffer[got] = '\0';
    if (n > keep)
        std::fseek(file, long(n - keep), SEEK_CUR);
    return 0;
}

int BackupFileIndex::seekData(std::FILE *file)
{
    if (!file)
        return -1;
    unsigned char len[2];
    if (std::fread(len, 1, 2, file) != 2)
        return -1;
    const unsigned n = unsigned(len[0]) << 8 | len[1];
    if (n == 0xFFFF || n == 0)
        return -1;
    std::fseek(file, long(n), SEEK_CUR);
    return 0;
}

int BackupFileIndex::stringReset(char *a, char *b)
{
    if (!a || !b)
        return -1;
    if (a[0])
        std::memset(a, 0, 260);
    if (b[0])
        std::memset(b, 0, 260);
    return 0;
}

int BackupFileIndex::toHex(char *buffer, const unsigned char *bytes, int count)
{
    if (!buffer || !bytes || count <= 0)
        return -1;
    static const char digits[] = "0123456789ABCDEF";
    const int n = count < 129 ? count : 129;
    for (int i = 0; i < n; ++i) {
        buffer[2 * i] = digits[bytes[i] >> 4];
        buffer[2 * i + 1] = digits[bytes[i] & 0xF];
    }
    buffer[2 * n] = '\0';
    return 0;
}

int BackupFileIndex::getD(std::FILE *file, char *buffer, const void *unused)
{
    if (!file || !buffer || !unused)
        return -1;
    unsigned char len[2];
    if (std::fread(len, 1, 2, file) != 2)
        return -1;
    const unsigned n = unsigned(len[0]) << 8 | len[1];
    if (n == 0xFFFF || n == 0)
        return -1;
    unsigned char bytes[259];
    const unsigned keep = n < 259 ? n : 259;
    const std::size_t got = std::fread(bytes, 1, keep, file);
    if (n > keep)
        std::fseek(file, long(n - keep), SEEK_CUR);
    static const char digits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < got; ++i) {
        buffer[2 * i] = digits[bytes[i] >> 4];
        buffer[2 * i + 1] = digits[bytes[i] & 0xF];
    }
    buffer[2 * got] = '\0';
    return 0;
}
