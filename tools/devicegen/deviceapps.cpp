#include "tools/devicegen/scenariowriter.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QPainter>

// The apps beyond the demo's five that the apps pane's cases need: two apps
// with one executable name and different icons, an app without a display
// name, one that refuses its container, one that opens only its documents
// (as App Store apps do since iOS 8.3), and one whose container has dot
// files, deep folders and, from scale 2 on, five thousand files (kept out
// of scale 1: every plug copies the scenario).
namespace devicegen {

namespace {

struct ExtraApp
{
    const char *bundleId;
    const char *displayName; // null: the app has none
    const char *executable;
    unsigned colour;
    const char *houseArrest; // null: the whole container opens
};

constexpr ExtraApp kExtraApps[] = {
    {"com.ostra.extra.twin.one", "Twin One", "Twin", 0x2A9DF4, nullptr},
    {"com.ostra.extra.twin.two", "Twin Two", "Twin", 0xF4632A, nullptr},
    {"com.ostra.extra.nameless", nullptr, "Nameless", 0x6B8E23, nullptr},
    {"com.ostra.extra.vault", "Vault", "Vault", 0x333344, "Refused"},
    {"com.ostra.extra.storebought", "Store Bought", "StoreBought", 0x9B59B6, "DocumentsOnly"},
    {"com.ostra.extra.deepfiles", "Deep Files", "DeepFiles", 0x16A085, nullptr},
};

QByteArray iconPng(QColor colour, int mark)
{
    QImage image(120, 120, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
    QPainter painter(&image);
    painter.setBrush(Qt::white);
    painter.setPen(Qt::NoPen);
    painter.drawRect(QRect(20 + 10 * mark, 20, 30, 80));
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

QVariantMap attributesOf(const ExtraApp &app, int index)
{
    const QString bundleId = QString::fromLatin1(app.bundleId);
    const QString executable = QString::fromLatin1(app.executable);
    QVariantMap map{
        {QStringLiteral("CFBundleIdentifier"), bundleId},
        {QStringLiteral("ApplicationType"), QStringLiteral("User")},
        {QStringLiteral("CFBundleExecutable"), executable},
        {QStringLiteral("CFBundleIconFile"), QStringLiteral("AppIcon60x60")},
        {QStringLiteral("CFBundleName"), executable},
        {QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.%1").arg(index)},
        {QStringLiteral("CFBundleVersion"), QStringLiteral("1")},
        {QStringLiteral("Entitlements"),
         QVariantMap{{QStringLiteral("application-identifier"), QStringLiteral("8QZ4R9T2UX.") + bundleId}}},
        {QStringLiteral("Path"), QStringLiteral("/private/var/containers/Bundle/Application/7D2E41A0-%1-4C11-8E20-"
                                                "1B2C3D4E5F%2/%3.app")
                                     .arg(2000 + index)
                                     .arg(10 + index)
                                     .arg(executable)},
        {QStringLiteral("UIFileSharingEnabled"), false},
        {QStringLiteral("DynamicDiskUsage"), qint64(4096)},
        {QStringLiteral("StaticDiskUsage"), qint64(9000000 + 100000 * index)},
    };
    if (app.displayName)
        map.insert(QStringLiteral("CFBundleDisplayName"), QString::fromLatin1(app.displayName));
    if (app.houseArrest)
        map.insert(QStringLiteral("SimulatedHouseArrest"), QString::fromLatin1(app.houseArrest));
    return map;
}

void writeSmallContainer(Writer &out, const ExtraApp &app)
{
    const QString root = QStringLiteral("containers/%1/").arg(QLatin1String(app.bundleId));
    out.file(root + QStringLiteral("Documents/readme.txt"),
             QStringLiteral("%1 keeps this file.\n").arg(QLatin1String(app.executable)).toUtf8());
    out.file(root + QStringLiteral("Library/Preferences/%1.plist").arg(QLatin1String(app.bundleId)),
             PropertyList::toData(QVariantMap{{QStringLiteral("Opened"), 3}}, PropertyList::Format::Xml));
    out.folder(root + QStringLiteral("tmp"));
}

void writeDeepContainer(Writer &out, const ExtraApp &app, int scale)
{
    const QString root = QStringLiteral("containers/%1/").arg(QLatin1String(app.bundleId));
    out.file(root + QStringLiteral(".com.apple.mobile_container_manager.metadata.plist"),
             PropertyList::toData(QVariantMap{{QStringLiteral("MCMMetadataIdentifier"), QLatin1String(app.bundleId)}},
                                  PropertyList::Format::Xml));
    out.file(root + QStringLiteral("Documents/.hidden-note"), "not shown by default\n");
    out.file(root + QStringLiteral("Documents/.config/settings.json"), "{\"theme\": \"dark\"}\n");
    QString deep = root + QStringLiteral("Documents/deep");
    for (int level = 1; level <= 12; ++level) {
        deep += QStringLiteral("/level%1").arg(level);
        out.file(deep + QStringLiteral("/file%1.txt").arg(level), QByteArray("level ") + QByteArray::number(level));
    }
    out.file(root + QStringLiteral("Documents/Same Name.txt"), "deep files' own\n");
    // The bulk: many small files in a hundred folders.
    if (scale >= 2) {
        for (int i = 0; i < 5000 && out.ok(); ++i)
            out.file(root + QStringLiteral("Documents/bulk/%1/item-%2.txt").arg(i / 50, 2, 10, QLatin1Char('0')).arg(i),
                     QByteArray::number(i) + '\n');
    }
}

} // namespace

bool writeAppExtras(Writer &out, QVariantMap &apps, int scale)
{
    int index = 0;
    for (const ExtraApp &app : kExtraApps) {
        out.file(QStringLiteral("icons/%1.png").arg(QLatin1String(app.bundleId)), iconPng(QColor(app.colour), index));
        if (QLatin1String(app.bundleId) == QLatin1String("com.ostra.extra.deepfiles"))
            writeDeepContainer(out, app, scale);
        else
            writeSmallContainer(out, app);
        // Both twins keep a file of one name: a copy of both must keep both.
        if (QLatin1String(app.executable) == QLatin1String("Twin"))
            out.file(QStringLiteral("containers/%1/Documents/Same Name.txt").arg(QLatin1String(app.bundleId)),
                     QStringLiteral("written by %1\n").arg(QLatin1String(app.bundleId)).toUtf8());
        apps.insert(QString::fromLatin1(app.bundleId), attributesOf(app, index));
        ++index;
    }
    return out.ok();
}

} // namespace devicegen
