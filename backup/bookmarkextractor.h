#pragma once

#include "backup/scancontext.h"

// Safari bookmarks and history.
class BookmarkExtractor
{
public:
    explicit BookmarkExtractor(ScanContext &context);

    // Posts "scanBookMarkInfo" per bookmark, fixed site and history entry.
    void scanBookMarkThread(const QString &backupFolder);

    struct Site
    {
        const char *title;
        const char *url;
    };
    static const Site kFixedSites[5];

private:
    ScanContext &m_ctx;
};
