#include "backup/bookmarkextractor.h"

#include "backup/notificationnames.h"
#include "backup/recorddatabase.h"
#include "backup/storednames.h"
#include "platform/propertylist.h"
#include "platform/regularfile.h"

#include <QDebug>

const BookmarkExtractor::Site BookmarkExtractor::kFixedSites[5] = {
    {"Apple", "https://www.apple.com/iphone/"},
    {"Yahoo", "https://www.yahoo.com/"},
    {"Google", "https://www.google.com/"},
    {"iPhone User Guide", "https://support.apple.com/guide/iphone/welcome/ios"},
    {"iPhone Web Applications", "https://www.apple.com/webapps/"},
};

BookmarkExtractor::BookmarkExtractor(ScanContext &context)
    : m_ctx(context)
{
}

void BookmarkExtractor::scanBookMarkThread(const QString &backupFolder)
{
    if (!ScanContext::folderUsable(backupFolder))
        return;
    QString path = m_ctx.storedPath(backupFolder, StoredNames::BookmarksDb);
    if (!RegularFile::isRegular(path))
        path = m_ctx.storedPath(backupFolder, StoredNames::BookmarksPlist);
    if (!RegularFile::isRegular(path)) {
        qInfo("messageDB is not exist");
        return;
    }
    // The property-list form is opened as a database all the same: it gives
    // no rows, and the fixed sites and the history follow.
    if (const auto db = RecordDatabase::open(path)) {
        Statement rows(*db, "select TITLE,URL,id, parent,type from bookmarks");
        while (!m_ctx.cancelled.load(std::memory_order_relaxed) && rows.step()) {
            auto bookmark = std::make_shared<PRBookMarkNode>();
            if (const QString t = rows.text(0); !t.isNull())
                bookmark->setBookMarkTitle(t);
            if (const QString t = rows.text(1); !t.isNull())
                bookmark->setBookMarkURL(t);
            if (bookmark->bookMarkTitle() == QLatin1String("Root")
                || bookmark->bookMarkTitle() == QLatin1String("com.apple.ReadingList"))
                continue;
            m_ctx.nc.post(Notifications::scanBookMarkInfo, nodeToVariant(bookmark));
        }
    }
    for (const Site &site : kFixedSites) {
        auto bookmark = std::make_shared<PRBookMarkNode>();
        bookmark->setBookMarkTitle(QString::fromUtf8(site.title));
        bookmark->setBookMarkURL(QString::fromUtf8(site.url));
        m_ctx.nc.post(Notifications::scanBookMarkInfo, nodeToVariant(bookmark));
    }

    const QString historyPath = m_ctx.storedPath(backupFolder, StoredNames::HistoryPlist);
    if (!RegularFile::isRegular(historyPath)) {
        qInfo("bookMarkPlistPath not find");
        return;
    }
    const auto history = PropertyList::readDictionary(historyPath);
    if (!history)
        return;
    for (const QVariant &entry : history->value(QStringLiteral("WebHistoryDates")).toList()) {
        if (entry.typeId() != QMetaType::QVariantMap)
            continue;
        const QVariantMap map = entry.toMap();
        auto bookmark = std::make_shared<PRBookMarkNode>();
        bookmark->setBookMarkTitle(map.value(QStringLiteral("title")).toString());
        bookmark->setBookMarkURL(map.value(QString(QLatin1String(""))).toString());
        m_ctx.nc.post(Notifications::scanBookMarkInfo, nodeToVariant(bookmark));
    }
}
