#include "device/simulated/apparchive.h"

#include "device/simulated/storedzip.h"
#include "platform/propertylist.h"
#include "platform/regularfile.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace amd::sim {

namespace {

constexpr qint64 kMaxArchiveBytes = 128 * 1024 * 1024;
constexpr int kMaxArchivedFiles = 10000;
constexpr int kMaxFolderDepth = 64;

void collectFiles(const QString &folder, const QString &prefix, int depth, qint64 *bytes,
                  QList<StoredZip::Entry> *entries)
{
    if (depth > kMaxFolderDepth)
        return;
    const QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden
                                                         | QDir::System,
                                                     QDir::Name);
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
            const auto data = RegularFile::read(path, kMaxArchiveBytes - *bytes);
            if (!data)
                continue;
            *bytes += data->size();
            entries->append({prefix + name, *data});
        }
    }
}

} // namespace

std::optional<QByteArray> appArchive(const QVariantMap &app, const QString &bundleId,
                                     const std::optional<QString> &container, bool withApplication,
                                     bool withDocuments)
{
    QList<StoredZip::Entry> entries;
    if (withApplication) {
        const QVariantMap metadata{{QStringLiteral("softwareVersionBundleId"), bundleId},
                                   {QStringLiteral("itemName"), app.value(QStringLiteral("CFBundleDisplayName"))}};
        entries.append({QStringLiteral("iTunesMetadata.plist"), PropertyList::toData(metadata, PropertyList::Format::Xml)});
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
    return StoredZip::write(entries, kMaxArchiveBytes);
}

} // namespace amd::sim
