#include "tools/devicegen/devicescenario.h"

#include "platform/propertylist.h"
#include "tools/samplegen/samplefiles.h"

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QVariantMap>

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

class Writer
{
public:
    Writer(const QString &root, ScenarioSummary *summary)
        : m_root(root)
        , m_summary(summary)
    {
    }
    bool file(const QString &relative, const QByteArray &bytes)
    {
        if (!m_ok)
            return false;
        const QString path = m_root + QLatin1Char('/') + relative;
        QFile out(path);
        if (bytes.isEmpty())
            return fail(QStringLiteral("no bytes could be made for %1").arg(relative));
        if (!QDir().mkpath(QFileInfo(path).path()) || !out.open(QIODevice::WriteOnly | QIODevice::NewOnly)
            || out.write(bytes) != bytes.size())
            return fail(QStringLiteral("%1 could not be written").arg(path));
        ++m_summary->files;
        m_summary->bytes += bytes.size();
        return true;
    }
    bool folder(const QString &relative)
    {
        if (m_ok && !QDir().mkpath(m_root + QLatin1Char('/') + relative))
            return fail(QStringLiteral("%1 could not be made").arg(relative));
        return m_ok;
    }
    bool plist(const QString &relative, const QVariantMap &root, PropertyList::Format format)
    {
        return file(relative, PropertyList::toData(root, format));
    }
    bool ok() const { return m_ok; }
    QString error() const { return m_error; }

private:
    bool fail(const QString &message)
    {
        m_ok = false;
        m_error = message;
        return false;
    }

    QString m_root;
    ScenarioSummary *m_summary;
    bool m_ok = true;
    QString m_error;
};

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

void writeMedia(Writer &out, int scale)
{
    Bytes bytes(1);
    out.file(QStringLiteral("media/iTunes_Control/iTunes/iTunesPrefs"), iTunesPrefs());
    for (const char *folder : {"iTunes_Control/Artwork", "Purchases", "Downloads", "Books", "Podcasts", "PhotoData",
                               "Recordings", "DCIM/.MISC"})
        out.folder(QStringLiteral("media/") + QLatin1String(folder));

    // Songs spread over the Fxx folders as the phone spreads them.
    const int songs = 8 * scale;
    for (int i = 0; i < songs && out.ok(); ++i) {
        const QString folder = QStringLiteral("media/iTunes_Control/Music/F%1/").arg(i % 50, 2, 10, QLatin1Char('0'));
        if (i % 2 == 0)
            out.file(folder + fourLetters(bytes) + QStringLiteral(".mp3"), samplegen::SampleFiles::mp3(4 + i % 5));
        else
            out.file(folder + fourLetters(bytes) + QStringLiteral(".wav"), wav(220 + 40 * i));
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
    writeMedia(out, options.scale);

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
    out.plist(QStringLiteral("apps.plist"), apps, PropertyList::Format::Binary);
    if (!out.ok())
        return fail(out.error());
    return true;
}

} // namespace devicegen
