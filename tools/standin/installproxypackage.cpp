// The packages and archives of the installation proxy: what an app's
// Info.plist says, read from a package (an .ipa, a zip with
// Payload/<name>.app/Info.plist, compressed or not) or from a bundle folder
// (what a "Developer" install names).

#include "tools/standin/installproxypackage.h"

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

std::optional<QVariantMap> infoOf(const QByteArray &data)
{
    const std::optional<QVariant> root = PropertyList::fromData(data);
    if (!root || root->metaType().id() != QMetaType::QVariantMap)
        return std::nullopt;
    return root->toMap();
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


} // namespace standin
