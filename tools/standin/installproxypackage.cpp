// The packages and archives of the installation proxy: what an app's
// Info.plist says, read from a package (an .ipa, a zip with
// Payload/<name>.app/Info.plist, compressed or not) or from a bundle folder
// (what a "Developer" install names), and the archive an app is packed into.

#include "tools/standin/installproxypackage.h"

#include "device/simulated/storedzip.h"
#include "platform/propertylist.h"
#include "platform/regularfile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <zip.h>

#include <sys/stat.h>
#include <unistd.h>

namespace standin {

namespace {

// Far above any real Info.plist.
constexpr qint64 kMaxInfoBytes = 4 * 1024 * 1024;
constexpr qint64 kMaxArchiveBytes = 128 * 1024 * 1024;
constexpr int kMaxArchivedFiles = 10000;
constexpr int kMaxFolderDepth = 64;

std::optional<QVariantMap> infoOf(const QByteArray &data)
{
    const std::optional<QVariant> root = PropertyList::fromData(data);
    if (!root || root->metaType().id() != QMetaType::QVariantMap)
        return std::nullopt;
    return root->toMap();
}

// The regular files of folder as archive entries under prefix, links left out.
void collectFiles(const QString &folder, const QString &prefix, int depth, qint64 *bytes,
                  QList<amd::sim::StoredZip::Entry> *entries)
{
    if (depth > kMaxFolderDepth)
        return;
    const QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &name : names) {
        if (entries->size() >= kMaxArchivedFiles)
            return;
        const QString path = folder + QLatin1Char('/') + name;
        struct stat st{};
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            entries->append({prefix + name + QLatin1Char('/'), {}});
            collectFiles(path, prefix + name + QLatin1Char('/'), depth + 1, bytes, entries);
        } else if (S_ISREG(st.st_mode)) {
            if (const auto data = RegularFile::read(path, kMaxArchiveBytes - *bytes)) {
                *bytes += data->size();
                entries->append({prefix + name, *data});
            }
        }
    }
}

} // namespace

std::optional<QVariantMap> packageInfo(int fd)
{
    int error = 0;
    zip_t *zip = zip_fdopen(fd, ZIP_RDONLY, &error);
    if (!zip) {
        ::close(fd);
        return std::nullopt;
    }
    static const QRegularExpression s_infoPath(QStringLiteral("^Payload/[^/]+\\.app/Info\\.plist$"));
    std::optional<QVariantMap> info;
    const zip_int64_t count = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < count && !info; ++i) {
        const char *name = zip_get_name(zip, zip_uint64_t(i), ZIP_FL_ENC_GUESS);
        if (!name || !s_infoPath.match(QString::fromUtf8(name)).hasMatch())
            continue;
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(zip, zip_uint64_t(i), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)
            || stat.size > zip_uint64_t(kMaxInfoBytes))
            break;
        zip_file_t *file = zip_fopen_index(zip, zip_uint64_t(i), 0);
        if (!file)
            break;
        QByteArray data(qsizetype(stat.size), Qt::Uninitialized);
        const zip_int64_t got = zip_fread(file, data.data(), stat.size);
        zip_fclose(file);
        if (got == zip_int64_t(stat.size))
            info = infoOf(data);
        break;
    }
    zip_discard(zip);
    return info;
}

std::optional<QVariantMap> bundleInfo(const QString &bundleFolder)
{
    const auto data = RegularFile::read(bundleFolder + QStringLiteral("/Info.plist"), kMaxInfoBytes);
    return data ? infoOf(*data) : std::nullopt;
}

std::optional<QByteArray> archiveOf(const QVariantMap &app, const QString &bundleId,
                                    const std::optional<QString> &container, bool withApplication,
                                    bool withDocuments)
{
    QList<amd::sim::StoredZip::Entry> entries;
    if (withApplication) {
        const QString bundle =
            QStringLiteral("Payload/%1.app/").arg(app.value(QStringLiteral("CFBundleName"), bundleId).toString());
        entries.append({QStringLiteral("Payload/"), {}});
        entries.append({bundle, {}});
        entries.append({bundle + QStringLiteral("Info.plist"), PropertyList::toData(app, PropertyList::Format::Xml)});
    }
    if (withDocuments && container) {
        qint64 bytes = 0;
        entries.append({QStringLiteral("Container/"), {}});
        collectFiles(*container, QStringLiteral("Container/"), 0, &bytes, &entries);
    }
    return amd::sim::StoredZip::write(entries, kMaxArchiveBytes);
}

} // namespace standin
