#include "filesafety/prreveal.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QThread>
#include <QThreadPool>
#include <QUrl>

#include <mutex>

namespace {

std::mutex s_mutex;

PRReveal::Strategies &current()
{
    static PRReveal::Strategies s_strategies = PRReveal::defaultStrategies();
    return s_strategies;
}

bool sessionFileManager(const QString &path)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && PRReveal::callFileManager(bus, {path});
}

// QDesktopServices belongs to the GUI: from another thread the opening is
// posted there, and counts as handed over once posted.
bool desktopOpener(const QUrl &url)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return false;
    if (QThread::currentThread() == app->thread())
        return QDesktopServices::openUrl(url);
    return QMetaObject::invokeMethod(app, [url] { QDesktopServices::openUrl(url); }, Qt::QueuedConnection);
}

} // namespace

QDBusMessage PRReveal::showFoldersMessage(const QStringList &paths)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
                                       QStringLiteral("/org/freedesktop/FileManager1"),
                                       QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowFolders"));
    QStringList uris;
    uris.reserve(paths.size());
    for (const QString &path : paths)
        uris << QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    message << uris << QString(QStringLiteral(""));
    return message;
}

bool PRReveal::callFileManager(const QDBusConnection &bus, const QStringList &paths, int timeoutMs)
{
    if (!bus.isConnected())
        return false;
    const QDBusMessage reply = bus.call(showFoldersMessage(paths), QDBus::Block, timeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

PRReveal::Strategies PRReveal::defaultStrategies()
{
    return {sessionFileManager, desktopOpener};
}

PRReveal::Strategies PRReveal::strategies()
{
    std::lock_guard lock(s_mutex);
    return current();
}

PRReveal::Strategies PRReveal::setStrategies(Strategies strategies)
{
    std::lock_guard lock(s_mutex);
    std::swap(current(), strategies);
    return strategies;
}

bool PRReveal::showFolder(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isDir())
        return false;
    const QString folder = QDir::cleanPath(info.absoluteFilePath());
    const Strategies use = strategies();
    if (use.fileManager && use.fileManager(folder))
        return true;
    return use.opener && use.opener(QUrl::fromLocalFile(folder));
}

void PRReveal::showFolderLater(const QString &path)
{
    QThreadPool::globalInstance()->start([path] { showFolder(path); });
}
