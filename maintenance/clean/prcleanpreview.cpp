#include "maintenance/clean/prcleanpreview.h"

#include "backup/textformat.h"
#include "device/amd/appdirservice.h"
#include "device/amd/devicemanager.h"
#include "device/devicebackend.h"
#include "filesafety/prheifimage.h"
#include "maintenance/clean/prcleanexport.h"
#include "maintenance/clean/prcleanphone.h"
#include "pathtree/prpathtreecontroller.h"
#include "platform/regularfile.h"
#include "platform/scratchfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QRegularExpression>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("PRCleanPreview", text);
}

QString shownName(const QString &devicePath)
{
    return PRPathTreeController::plainLabel(devicePath.section(QLatin1Char('/'), -1));
}

// The extension our copy is named with: the row's own when it is a plain one
// (so that a reader knows the type), else none.
QString localExtension(const QString &devicePath)
{
    static const QRegularExpression plain(QStringLiteral("^[a-z0-9]{1,8}$"));
    const QString name = devicePath.section(QLatin1Char('/'), -1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot > 0 ? name.mid(dot + 1).toLower() : QString();
    return plain.match(extension).hasMatch() ? extension : QString();
}

PRCleanPreview::Result failure(PRCleanPreview::Result result, PRCleanPreview::Status status, const QString &message)
{
    result.status = status;
    result.message = message;
    return result;
}

} // namespace

PRCleanPreview::PRCleanPreview() = default;

PRCleanPreview::~PRCleanPreview()
{
    clear();
}

QString PRCleanPreview::keyOf(const PRCleanFileRef &ref)
{
    return QString::number(int(ref.kind)) + QLatin1Char('\n') + ref.bundleId + QLatin1Char('\n') + ref.filePath;
}

QString PRCleanPreview::fileTypeOf(const QString &devicePath)
{
    return PRPathTreeController::typeOfName(devicePath.section(QLatin1Char('/'), -1));
}

bool PRCleanPreview::isPictureType(const QString &fileType)
{
    static const QStringList types{QStringLiteral("jpg"),  QStringLiteral("png"),  QStringLiteral("jpeg"),
                                   QStringLiteral("gif"),  QStringLiteral("heic"), QStringLiteral("heif")};
    return types.contains(fileType, Qt::CaseInsensitive);
}

QImage PRCleanPreview::pictureOf(const QString &localPath, const QString &fileType, int side)
{
    if (!isPictureType(fileType))
        return {};
    QFile file;
    if (!RegularFile::openFile(file, localPath) || file.size() > kMaxPreviewBytes)
        return {};
    if (fileType.compare(QLatin1String("heic"), Qt::CaseInsensitive) == 0
        || fileType.compare(QLatin1String("heif"), Qt::CaseInsensitive) == 0)
        return PRHeifImage::read(&file, side);
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > side || size.height() > side))
        reader.setScaledSize(size.scaled(side, side, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    if (!image.isNull() && (image.width() > side || image.height() > side))
        image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

QString PRCleanPreview::transferPath(const PRCleanDevice &device, const PRCleanFileRef &ref) const
{
    std::lock_guard lock(m_mutex);
    if (!(device == m_device))
        return {};
    return m_copies.value(keyOf(ref));
}

int PRCleanPreview::copyCount() const
{
    std::lock_guard lock(m_mutex);
    return int(m_copies.size());
}

void PRCleanPreview::clear()
{
    std::lock_guard lock(m_mutex);
    clearLocked();
}

void PRCleanPreview::clearLocked()
{
    for (const QString &path : std::as_const(m_copies))
        QFile::remove(path);
    m_copies.clear();
    m_device = {};
    ++m_generation;
}

PRCleanPreview::Result PRCleanPreview::CacheFilePreivewOnThread(const PRCleanDevice &device,
                                                                const PRCleanFileRef &ref, devjobs::JobControl &job)
{
    Result result;
    result.fileType = fileTypeOf(ref.filePath);
    const QString name = shownName(ref.filePath);
    const auto gone = [&job](amd::AfcService *service) {
        return job.phoneLeft() || (service && PRCleanPhone::hasLeft(*service));
    };

    if (!PRCleanExport::isJobOf(device, job)) {
        std::lock_guard lock(m_mutex);
        if (device == m_device)
            clearLocked(); // the copies of a phone that left go with its results
        return failure(result, Status::DeviceGone, PRCleanExport::deviceGoneText());
    }

    // The folder and the generation this copy belongs to; the copies of
    // another phone are forgotten first.
    QString folder;
    quint64 generation = 0;
    {
        std::lock_guard lock(m_mutex);
        if (!(device == m_device)) {
            clearLocked();
            m_device = device;
        }
        if (!m_scratch) {
            auto scratch = std::make_unique<ScratchFolder>();
            if (scratch->isValid())
                m_scratch = std::move(scratch);
        }
        folder = m_scratch ? m_scratch->path() : QString();
        generation = m_generation;
    }
    if (folder.isEmpty())
        return failure(result, Status::Failed, tr("No private folder could be made for the preview."));

    std::unique_ptr<amd::AfcService> service;
    int code = 0;
    if (ref.kind == PRCleanFileRef::Kind::SyncFailed) {
        service = std::make_unique<amd::AfcService>();
        code = service->open(device.deviceId).code();
    } else {
        auto app = std::make_unique<amd::AppDirService>();
        code = ref.bundleId.isEmpty() ? amd::kBackendInvalidArgument : app->open(device.deviceId, ref.bundleId).code();
        service = std::move(app);
    }
    if (code != 0) {
        if (gone(nullptr) || code == amd::kBackendNoDevice)
            return failure(result, Status::DeviceGone, PRCleanExport::deviceGoneText());
        return failure(result, Status::Refused,
                       tr("The iPhone does not let \"%1\" be opened (%2).")
                           .arg(PRPathTreeController::plainLabel(ref.displayName.isEmpty() ? ref.bundleId
                                                                                           : ref.displayName),
                                amd::backendErrorText(code)));
    }
    if (job.cancelled())
        return job.phoneLeft() ? failure(result, Status::DeviceGone, PRCleanExport::deviceGoneText())
                          : failure(result, Status::Cancelled, {});

    const auto info = service->fileInfo(ref.filePath);
    if (!info) {
        if (gone(service.get()))
            return failure(result, Status::DeviceGone, PRCleanExport::deviceGoneText());
        return failure(result, Status::Unreadable, tr("%1 is no longer on the iPhone.").arg(name));
    }
    if (info->value(QStringLiteral("st_ifmt")) != QLatin1String("S_IFREG"))
        return failure(result, Status::NotAFile, tr("%1 is not a regular file.").arg(name));
    bool sizeOk = false;
    const qint64 size = info->value(QStringLiteral("st_size")).toLongLong(&sizeOk);
    if (!sizeOk || size < 0 || size > kMaxPreviewBytes)
        return failure(result, Status::TooLarge,
                       tr("%1 is larger than %2 and is not previewed.")
                           .arg(name, TextFormat::sizeText(quint64(kMaxPreviewBytes))));

    // Read whole into memory under the cap: the phone's size is a claim, the
    // cap counts what really arrives.
    const QByteArray bytes = service->readWholeFile(ref.filePath, kMaxPreviewBytes).valueOr({});
    if (bytes.isEmpty() && size > 0) {
        if (gone(service.get()))
            return failure(result, Status::DeviceGone, PRCleanExport::deviceGoneText());
        return failure(result, Status::Unreadable, tr("%1 could not be read from the iPhone.").arg(name));
    }
    if (job.cancelled())
        return job.phoneLeft() ? failure(result, Status::DeviceGone, PRCleanExport::deviceGoneText())
                          : failure(result, Status::Cancelled, {});

    const QString extension = localExtension(ref.filePath);
    const QString local = QDir(folder).filePath(
        QStringLiteral("preview-%1%2").arg(++m_serial).arg(extension.isEmpty() ? QString() : QLatin1Char('.') + extension));
    {
        QFile out(local);
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly) || out.write(bytes) != bytes.size()) {
            out.close();
            QFile::remove(local);
            return failure(result, Status::Failed, tr("%1 could not be copied to this computer.").arg(name));
        }
    }
    {
        std::lock_guard lock(m_mutex);
        if (generation != m_generation) {
            // Cleared while the copy was made (the phone left, a rescan).
            QFile::remove(local);
            return failure(result, Status::Cancelled, {});
        }
        const QString key = keyOf(ref);
        const QString earlier = m_copies.value(key);
        if (!earlier.isEmpty())
            QFile::remove(earlier);
        m_copies.insert(key, local);
    }
    result.localPath = local;
    result.image = pictureOf(local, result.fileType);
    result.status = result.image.isNull() ? Status::NoPicture : Status::Shown;
    return result;
}
