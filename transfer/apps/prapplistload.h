#pragma once

#include <QImage>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>

namespace amd {
class SBService;
}

// One item of the app browser: what the list shows of one user app. The icon
// is kept in memory with the item (keyed by the app's bundle id), never in a
// shared folder: two apps with one executable name keep their own icons.
struct PRAppListItem
{
    QString bundleId;       // appBundleName of the app node
    QString displayName;    // appDisplayName ("CFBundleDisplayName"; may be empty)
    QString executable;     // "CFBundleExecutable"
    QString version;        // "CFBundleShortVersionString"
    QString fileName;       // the title under the icon
    QImage icon;            // the springboard's icon, or the stand-in picture
    bool hasDeviceIcon = false;

    // The name shown and used for folders: the display name, else the
    // executable, else the bundle id.
    QString shownName() const;
};

// The load of one phone's user apps and their icons, bound to that phone:
// runs on the caller's (worker) thread, hands the items over in batches and
// stops as soon as the phone leaves or the load is cancelled.
class PRAppListLoad
{
public:
    enum class Result { Loaded, NoAppService, DeviceGone, Cancelled };

    // Apps beyond this are not listed (a phone holds far fewer).
    static constexpr int kMaxApps = 10000;
    // The longest text kept of an attribute (names are shown, never paths).
    static constexpr int kMaxTextChars = 512;
    // Icons larger than this are not decoded.
    static constexpr qint64 kMaxIconBytes = 4 * 1024 * 1024;

    explicit PRAppListLoad(int deviceId);
    PRAppListLoad(const PRAppListLoad &) = delete;
    PRAppListLoad &operator=(const PRAppListLoad &) = delete;

    int deviceId() const { return m_deviceId; }

    // Gets the items read since the last call (UpAppImageDataSource); called
    // on the worker, it must hop to the GUI thread itself.
    using Batch = std::function<void(const QList<PRAppListItem> &items)>;
    Result StartAppThread(const Batch &batch);

    // The icon of one app through an open springboard client, or the
    // stand-in picture ("NULLImage.png") when the phone has none.
    QImage getIPhoneAppIconwithDisplayname(const QString &executable, const QString &bundleId, amd::SBService *sb,
                                           bool *fromDevice = nullptr);

    // The title of an app item: the executable's icon file name with every
    // "png" made "app" ("Notes" gives "Notes.app").
    static QString titleFor(const QString &executable, const QString &bundleId);
    // The item of one entry of the lookup; nothing (an empty bundle id) for
    // an app that is not the user's.
    static PRAppListItem itemFor(const QString &bundleId, const QVariantMap &attributes);

    void cancel() { m_cancelled = true; }
    bool cancelled() const { return m_cancelled; }
    bool deviceConnected() const;
    // Springboard connections the load opened (tests).
    int springboardOpens() const { return m_springboardOpens; }

private:
    const int m_deviceId;
    std::atomic<bool> m_cancelled{false};
    int m_springboardOpens = 0;
};
