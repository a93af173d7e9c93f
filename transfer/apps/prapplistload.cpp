#include "transfer/apps/prapplistload.h"

#include "device/amd/appservice.h"
#include "device/jobs/devicejob.h"
#include "device/amd/sbservice.h"
#include "filesafety/exportpaths.h"
#include "filesafety/primages.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImageReader>
#include <QPainter>

#include <algorithm>

namespace {

// Device text is shown, never used as a path: control and format characters
// go, and an overlong text is cut.
QString shownText(const QVariant &value)
{
    QString text = PRExportPaths::withoutFormatCharacters(value.toString());
    text.erase(std::remove_if(text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; }),
               text.end());
    return text.left(PRAppListLoad::kMaxTextChars).trimmed();
}

// The picture that stands in for an app the springboard has no icon for.
QImage standInIcon()
{
    static const QImage s_icon = [] {
        QImage image(imageResourcePath(QStringLiteral("app01.png")));
        if (!image.isNull())
            return image;
        image = QImage(64, 64, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(0xB0, 0xB4, 0xBA));
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(2, 2, 60, 60), 14, 14);
        return image;
    }();
    return s_icon;
}

// The icon is decoded here, on the worker, at most at the browser's size.
QImage decodeIcon(const QByteArray &png)
{
    if (png.isEmpty() || png.size() > PRAppListLoad::kMaxIconBytes)
        return {};
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > 4096 || size.height() > 4096)
        return {};
    if (size.width() > 128 || size.height() > 128)
        reader.setScaledSize(size.scaled(128, 128, Qt::KeepAspectRatio));
    return reader.read();
}

} // namespace

QString PRAppListItem::shownName() const
{
    if (!displayName.isEmpty())
        return displayName;
    if (!executable.isEmpty())
        return executable;
    return bundleId;
}

PRAppListLoad::PRAppListLoad(int deviceId)
    : m_deviceId(deviceId)
{
}

bool PRAppListLoad::deviceConnected() const
{
    return !devjobs::phoneGone(m_deviceId);
}

QString PRAppListLoad::titleFor(const QString &executable, const QString &bundleId)
{
    const QString base = executable.isEmpty() ? bundleId : executable;
    QString title = base + QStringLiteral(".png");
    return title.replace(QStringLiteral("png"), QStringLiteral("app"));
}

PRAppListItem PRAppListLoad::itemFor(const QString &bundleId, const QVariantMap &attributes)
{
    PRAppListItem item;
    if (attributes.value(QStringLiteral("ApplicationType")).toString() != QLatin1String("User"))
        return item;
    item.bundleId = shownText(bundleId);
    // A bundle id that needed cleaning is not the one the phone knows.
    if (item.bundleId != bundleId)
        item.bundleId.clear();
    item.displayName = shownText(attributes.value(QStringLiteral("CFBundleDisplayName")));
    item.executable = shownText(attributes.value(QStringLiteral("CFBundleExecutable")));
    item.version = shownText(attributes.value(QStringLiteral("CFBundleShortVersionString")));
    item.fileName = titleFor(item.executable, item.bundleId);
    return item;
}

QImage PRAppListLoad::getIPhoneAppIconwithDisplayname(const QString &executable, const QString &bundleId,
                                                      amd::SBService *sb, bool *fromDevice)
{
    Q_UNUSED(executable); // icons are keyed by bundle id: executables repeat
    if (fromDevice)
        *fromDevice = false;
    QByteArray png;
    if (sb && sb->getIconPNGData(bundleId, &png).ok()) {
        const QImage icon = decodeIcon(png);
        if (!icon.isNull()) {
            if (fromDevice)
                *fromDevice = true;
            return icon;
        }
    }
    return standInIcon();
}

PRAppListLoad::Result PRAppListLoad::StartAppThread(const Batch &batch)
{
    amd::AppService service;
    if (service.open(m_deviceId).failed())
        return deviceConnected() ? Result::NoAppService : Result::DeviceGone;
    const std::optional<QVariantMap> apps = service.lookupApplications();
    if (!apps)
        return deviceConnected() ? Result::NoAppService : Result::DeviceGone;

    // One springboard connection for all icons, opened again only when a
    // reply broke it off.
    std::unique_ptr<amd::SBService> sb;
    const auto openSpringboard = [&] {
        sb = std::make_unique<amd::SBService>();
        ++m_springboardOpens;
        if (sb->open(m_deviceId).failed())
            sb.reset();
    };
    openSpringboard();

    QList<PRAppListItem> pending;
    QElapsedTimer sinceBatch;
    sinceBatch.start();
    int listed = 0;
    for (auto it = apps->cbegin(); it != apps->cend() && listed < kMaxApps; ++it) {
        if (m_cancelled)
            return Result::Cancelled;
        PRAppListItem item = itemFor(it.key(), it.value().toMap());
        if (item.bundleId.isEmpty())
            continue;
        bool fromDevice = false;
        item.icon = getIPhoneAppIconwithDisplayname(item.executable, item.bundleId, sb.get(), &fromDevice);
        item.hasDeviceIcon = fromDevice;
        if (!fromDevice) {
            if (!deviceConnected())
                return Result::DeviceGone;
            openSpringboard();
        }
        pending.append(std::move(item));
        ++listed;
        // The list grows while it loads, without a GUI hop per app.
        if (sinceBatch.elapsed() >= 40 || pending.size() >= 32) {
            batch(pending);
            pending.clear();
            sinceBatch.restart();
        }
    }
    if (!pending.isEmpty())
        batch(pending);
    if (m_cancelled)
        return Result::Cancelled;
    return deviceConnected() ? Result::Loaded : Result::DeviceGone;
}
