#include "transfer/apps/prappinstall.h"

#include "device/amd/appservice.h"
#include "device/jobs/devicejob.h"
#include "device/devicebackend.h"
#include "platform/propertylist.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>

#include <zip.h>

#include <sys/stat.h>

#include <algorithm>
#include <memory>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("PRAppInstall", text);
}

struct ZipCloser
{
    void operator()(zip_t *archive) const { zip_discard(archive); }
};
struct ZipFileCloser
{
    void operator()(zip_file_t *file) const { zip_fclose(file); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipCloser>;
using ZipFilePtr = std::unique_ptr<zip_file_t, ZipFileCloser>;

// An entry name that stays inside the folder it is extracted to: relative,
// no "..", ".", empty or drive pieces, no backslashes (which another system
// would take for separators).
bool isContainedName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
        || name.contains(QChar(0)))
        return false;
    QString body = name;
    if (body.endsWith(QLatin1Char('/')))
        body.chop(1);
    const QStringList pieces = body.split(QLatin1Char('/'));
    for (const QString &piece : pieces) {
        if (piece.isEmpty() || piece == QLatin1String(".") || piece == QLatin1String(".."))
            return false;
    }
    return !(pieces.first().size() == 2 && pieces.first().at(1) == QLatin1Char(':'));
}

// The phone's staging folder takes one plain name.
QString packageNameFor(const QString &bundleId)
{
    QString name;
    for (const QChar c : bundleId) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
                           || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.')
                           || c == QLatin1Char('-') || c == QLatin1Char('_');
        name.append(plain ? c : QLatin1Char('_'));
    }
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    return (name.isEmpty() ? QStringLiteral("app") : name.left(120)) + QStringLiteral(".ipa");
}

constexpr const char *kNotArchiveSource = QT_TRANSLATE_NOOP(
    "PRAppInstall", "This file is not the archived file of Voskary, please choose again.");

PRAppPackageCheck refuse(PRAppPackageCheck check, const QString &message)
{
    check.ok = false;
    check.message = message;
    return check;
}

// Writes the package the phone installs: the one app folder, stored
// uncompressed (the phone and the simulated one both read it directly).
bool writePackage(const QString &appRoot, const QString &appFolder, const QString &packagePath)
{
    int error = 0;
    zip_t *raw = zip_open(QFile::encodeName(packagePath).constData(), ZIP_CREATE | ZIP_EXCL, &error);
    if (!raw)
        return false;
    ZipPtr archive(raw);
    const QString prefix = QStringLiteral("Payload/") + appFolder + QLatin1Char('/');
    if (zip_dir_add(archive.get(), "Payload/", ZIP_FL_ENC_UTF_8) < 0
        || zip_dir_add(archive.get(), prefix.toUtf8().constData(), ZIP_FL_ENC_UTF_8) < 0)
        return false;
    QDirIterator it(appRoot, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    const QDir root(appRoot);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        const QString name = prefix + root.relativeFilePath(path);
        if (info.isSymLink())
            return false; // never made by the extraction; refused all the same
        if (info.isDir()) {
            if (zip_dir_add(archive.get(), (name + QLatin1Char('/')).toUtf8().constData(), ZIP_FL_ENC_UTF_8) < 0)
                return false;
            continue;
        }
        zip_source_t *source = zip_source_file(archive.get(), QFile::encodeName(path).constData(), 0, -1);
        if (!source)
            return false;
        const zip_int64_t index = zip_file_add(archive.get(), name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            return false;
        }
        if (zip_set_file_compression(archive.get(), zip_uint64_t(index), ZIP_CM_STORE, 0) != 0)
            return false;
    }
    if (zip_close(archive.get()) != 0)
        return false;
    (void)archive.release();
    return true;
}

} // namespace

const QString PRAppInstall::kNotArchiveText = QString::fromLatin1(kNotArchiveSource);

PRAppPackageCheck PRAppInstall::checkArchive(const QString &archivePath, const Limits &limits,
                                             const std::atomic<bool> *cancelled)
{
    PRAppPackageCheck check;
    const QString shownFile = QFileInfo(archivePath).fileName();
    const QFileInfo file(archivePath);
    if (!file.isFile())
        return refuse(check, tr("%1 cannot be read.").arg(shownFile));

    check.scratch = std::make_shared<ScratchFolder>();
    if (!check.scratch->isValid())
        return refuse(check, tr("No private folder could be made to read the archive in."));
    const QString root = check.scratch->filePath(QStringLiteral("x"));
    if (!QDir().mkdir(root))
        return refuse(check, tr("No private folder could be made to read the archive in."));

    int error = 0;
    zip_t *raw = zip_open(QFile::encodeName(archivePath).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!raw)
        return refuse(check, tr("%1 is not a readable zip archive.").arg(shownFile));
    ZipPtr archive(raw);

    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    if (count < 0 || count > limits.maxEntries)
        return refuse(check, tr("%1 holds too many entries to be an app archive.").arg(shownFile));

    // First the names, kinds and sizes of every entry, before one byte is
    // written: a hostile archive is refused whole.
    struct Entry
    {
        zip_uint64_t index;
        QString name;
        bool folder;
        zip_uint64_t size;
    };
    QList<Entry> entries;
    qint64 total = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive.get(), zip_uint64_t(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME)
            || !(st.valid & ZIP_STAT_SIZE))
            return refuse(check, tr("%1 is damaged.").arg(shownFile));
        const QString name = QString::fromUtf8(st.name);
        if (!isContainedName(name))
            return refuse(check, tr("%1 holds an entry that would be written outside its folder (%2); it was not "
                                    "installed.")
                                     .arg(shownFile, name.left(200)));
        if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
            return refuse(check, tr("%1 is encrypted.").arg(shownFile));
        zip_uint8_t opsys = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(archive.get(), zip_uint64_t(i), 0, &opsys, &attributes) != 0)
            return refuse(check, tr("%1 is damaged.").arg(shownFile));
        const bool folder = name.endsWith(QLatin1Char('/'));
        if (opsys == ZIP_OPSYS_UNIX) {
            const mode_t mode = mode_t(attributes >> 16);
            const mode_t type = mode & S_IFMT;
            if (S_ISLNK(mode))
                return refuse(check, tr("%1 holds a link (%2); it was not installed.").arg(shownFile, name.left(200)));
            if (type != 0 && type != S_IFREG && type != S_IFDIR)
                return refuse(check, tr("%1 holds an entry that is not a file (%2).").arg(shownFile, name.left(200)));
        }
        if (st.size > zip_uint64_t(limits.maxTotalBytes) || total + qint64(st.size) > limits.maxTotalBytes)
            return refuse(check, tr("%1 unpacks to more than this computer reads for an app.").arg(shownFile));
        total += qint64(st.size);
        entries.append({zip_uint64_t(i), name, folder, st.size});
    }
    // A zip bomb: a few megabytes that claim gigabytes.
    const qint64 archiveBytes = qMax<qint64>(file.size(), 1);
    if (total > limits.ratioFloorBytes && total / archiveBytes > limits.maxExpansionRatio)
        return refuse(check, tr("%1 unpacks to %2 times its own size; an app archive does not compress that well, so it "
                                "was not unpacked.")
                                 .arg(shownFile)
                                 .arg(total / archiveBytes));

    // The extraction and the package made from it both need room.
    const qint64 free = limits.freeBytes ? *limits.freeBytes : QStorageInfo(root).bytesAvailable();
    if (2 * total + file.size() > free)
        return refuse(check, tr("There is not enough free space on this computer to unpack %1.").arg(shownFile));

    // Exactly one app folder under Payload/.
    QSet<QString> appFolders;
    for (const Entry &entry : entries) {
        const QStringList pieces = entry.name.split(QLatin1Char('/'));
        if (pieces.size() >= 2 && pieces[0] == QLatin1String("Payload") && !pieces[1].isEmpty()
            && pieces[1].endsWith(QLatin1String(".app"), Qt::CaseInsensitive) && (pieces.size() > 2 || entry.folder))
            appFolders.insert(pieces[1]);
    }
    if (appFolders.isEmpty())
        return refuse(check, tr("%1 holds no app (no \".app\" folder under \"Payload\").").arg(shownFile));
    if (appFolders.size() > 1)
        return refuse(check, tr("%1 holds %2 apps; an app archive holds one.").arg(shownFile).arg(appFolders.size()));
    check.appFolder = *appFolders.begin();
    // Only an archive with its metadata names the app it holds.
    const bool hasMetadata = std::any_of(entries.cbegin(), entries.cend(), [](const Entry &entry) {
        return !entry.folder && entry.name == QLatin1String("iTunesMetadata.plist");
    });
    if (!hasMetadata) {
        check.notArchive = true;
        return refuse(check, tr(kNotArchiveSource));
    }

    // Every entry read whole: libzip checks the checksum once an entry was
    // read to its end, and the count must match the size the archive gives.
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    qint64 written = 0;
    for (const Entry &entry : entries) {
        if (cancelled && *cancelled)
            return refuse(check, tr("The install was cancelled."));
        const QString target = root + QLatin1Char('/') + entry.name;
        if (entry.folder) {
            if (!QDir().mkpath(target))
                return refuse(check, tr("%1 could not be unpacked.").arg(shownFile));
            continue;
        }
        if (!QDir().mkpath(QFileInfo(target).path()))
            return refuse(check, tr("%1 could not be unpacked.").arg(shownFile));
        QFile out(target);
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return refuse(check, tr("%1 names one file twice (%2).").arg(shownFile, entry.name.left(200)));
        ZipFilePtr in(zip_fopen_index(archive.get(), entry.index, 0));
        if (!in)
            return refuse(check, tr("%1 is damaged (%2).").arg(shownFile, entry.name.left(200)));
        zip_uint64_t got = 0;
        for (;;) {
            const zip_int64_t n = zip_fread(in.get(), buffer.data(), zip_uint64_t(buffer.size()));
            if (n < 0)
                return refuse(check, tr("%1 is damaged: %2 does not match its checksum.")
                                         .arg(shownFile, entry.name.left(200)));
            if (n == 0)
                break;
            got += zip_uint64_t(n);
            written += n;
            if (written > total || written > limits.maxTotalBytes)
                return refuse(check, tr("%1 unpacks to more than it says.").arg(shownFile));
            if (got > entry.size || out.write(buffer.constData(), n) != n)
                return refuse(check, tr("%1 could not be unpacked (%2).").arg(shownFile, entry.name.left(200)));
        }
        if (got != entry.size)
            return refuse(check, tr("%1 is damaged: %2 is shorter than it says.").arg(shownFile, entry.name.left(200)));
        if (zip_fclose(in.release()) != 0)
            return refuse(check, tr("%1 is damaged: %2 does not match its checksum.")
                                     .arg(shownFile, entry.name.left(200)));
    }

    // The bundle id of this archive (never of an earlier extraction: the
    // folder is fresh).
    const QString appRoot = root + QStringLiteral("/Payload/") + check.appFolder;
    const QVariantMap metadata = PropertyList::readDictionary(root + QStringLiteral("/iTunesMetadata.plist"))
                                     .value_or(QVariantMap());
    const QVariantMap info = PropertyList::readDictionary(appRoot + QStringLiteral("/Info.plist")).value_or(QVariantMap());
    const QString fromMetadata = metadata.value(QStringLiteral("softwareVersionBundleId")).toString();
    const QString fromInfo = info.value(QStringLiteral("CFBundleIdentifier")).toString();
    check.bundleId = fromMetadata;
    if (check.bundleId.isEmpty() || !PRAppArchive::isPlainBundleId(check.bundleId)) {
        check.notArchive = true;
        return refuse(check, tr(kNotArchiveSource));
    }
    if (!fromInfo.isEmpty() && fromInfo != check.bundleId)
        return refuse(check, tr("%1 names two different apps (%2 and %3); it was not installed.")
                                 .arg(shownFile, fromMetadata, fromInfo));
    check.displayName = info.value(QStringLiteral("CFBundleDisplayName")).toString().left(200);
    if (check.displayName.isEmpty())
        check.displayName = info.value(QStringLiteral("CFBundleName"), check.bundleId).toString().left(200);

    check.stagingPackage = check.scratch->filePath(packageNameFor(check.bundleId));
    if (!writePackage(appRoot, check.appFolder, check.stagingPackage))
        return refuse(check, tr("The app of %1 could not be packed for the iPhone.").arg(shownFile));
    check.ok = true;
    return check;
}

PRAppActionReport PRAppInstall::installChecked(int deviceId, const PRAppPackageCheck &check)
{
    PRAppActionReport report;
    if (!check.ok || check.stagingPackage.isEmpty()) {
        report.message = check.message;
        return report;
    }
    amd::AppService apps;
    int rc = apps.open(deviceId).code();
    if (rc == 0)
        rc = apps.installApplication(check.stagingPackage).code();
    if (rc != 0) {
        report.deviceGone = devjobs::phoneGone(deviceId);
        report.message = report.deviceGone
                             ? tr("The iPhone was disconnected: \"%1\" was not installed.").arg(check.displayName)
                             : tr("The iPhone refused to install \"%1\" (%2). The app on the iPhone, if any, was left "
                                  "as it was. An iPhone installs only apps signed for it.")
                                   .arg(check.displayName, amd::backendErrorText(rc));
        return report;
    }
    report.ok = true;
    report.message = tr("\"%1\" was installed on the iPhone; its documents were kept.").arg(check.displayName);
    return report;
}
