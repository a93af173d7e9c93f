#pragma once

// Shared helpers of the path-tree tests: batches from path lists, the names
// of a level, a full consistency walk of a controller, and a catcher for the
// model tester's complaints.

#include "pathtree/prapptreecontroller.h"
#include "pathtree/prsystemlibtreecontroller.h"

#include <QLocale>
#include <QStringList>

#include <gtest/gtest.h>

#include <mutex>

namespace pathtreetest {

// A fixed collation, so that the order asserted is the same on every
// machine.
inline QLocale testLocale()
{
    return QLocale(QLocale::English, QLocale::UnitedStates);
}

inline PRPathEntryBatch systemBatch(const QStringList &paths, bool isFile = true)
{
    PRPathBatchBuilder builder(PRPathTreeMember::System);
    for (const QString &path : paths)
        builder.add(path, isFile);
    return builder.take();
}

inline PRPathEntry appEntry(const QString &bundleId, const QString &displayName, const QString &path,
                            bool isFile = true)
{
    PRPathEntry entry;
    entry.filePath = path;
    entry.isFile = isFile;
    entry.fileType = isFile ? QStringLiteral("FILE") : QStringLiteral("DIR");
    entry.fileSize = QStringLiteral("10");
    entry.appBundleName = bundleId;
    entry.appDisplayName = displayName;
    return entry;
}

inline PRPathEntryBatch appBatch(const QString &bundleId, const QString &displayName, const QStringList &paths,
                                 PRPathTreeMember member = PRPathTreeMember::AppDocuments)
{
    PRPathBatchBuilder builder(member);
    for (const QString &path : paths)
        builder.add(appEntry(bundleId, displayName, path));
    return builder.take();
}

inline QStringList folderNames(const QList<PRPathDirNode *> &level)
{
    QStringList names;
    for (const PRPathDirNode *folder : level)
        names << folder->fileDirName();
    return names;
}

inline QStringList rowNames(const PRPathDirNode *folder)
{
    QStringList names;
    if (folder) {
        for (const PRPathFileNode *row : folder->fileChildren())
            names << row->fileName();
    }
    return names;
}

inline QStringList shownNames(const QAbstractItemModel &model, const QModelIndex &parent = {})
{
    QStringList names;
    for (int row = 0; row < model.rowCount(parent); ++row)
        names << model.index(row, 0, parent).data().toString();
    return names;
}

// Every shown folder: index and parent agree, each level is in the
// controller's order with no name twice, the model's rows are the node's
// children, and every row's parent link is its folder. Returns the number
// of folders seen; failures are reported through gtest.
inline int expectConsistent(const PRPathTreeController &tree, const QModelIndex &parent = {})
{
    int seen = 0;
    const PRPathDirNode *folder = tree.dirNodeAt(parent);
    const QList<PRPathDirNode *> &level = folder ? folder->children() : tree.rootNodes();
    EXPECT_EQ(tree.rowCount(parent), level.size());
    for (int row = 0; row < tree.rowCount(parent); ++row) {
        const QModelIndex child = tree.index(row, 0, parent);
        EXPECT_TRUE(child.isValid());
        EXPECT_EQ(tree.parent(child), parent);
        EXPECT_EQ(tree.dirNodeAt(child), level.at(row));
        EXPECT_EQ(tree.indexOfNode(level.at(row)), child);
        EXPECT_EQ(level.at(row)->parent(), folder);
        if (row > 0) {
            EXPECT_TRUE(tree.lessThan(*level.at(row - 1), *level.at(row)))
                << qPrintable(level.at(row - 1)->fileDirName()) << " / " << qPrintable(level.at(row)->fileDirName());
        }
        for (const PRPathFileNode *file : level.at(row)->fileChildren())
            EXPECT_EQ(file->parent(), level.at(row));
        ++seen;
        seen += expectConsistent(tree, child);
    }
    return seen;
}

// Collects the model tester's complaints (it reports through the
// "qt.modeltest" category when told to warn).
class ModelTestMessages
{
public:
    ModelTestMessages()
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&ModelTestMessages::handle);
    }
    ~ModelTestMessages()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    QStringList messages() const
    {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (s_current && type != QtDebugMsg && context.category && QByteArray(context.category) == "qt.modeltest") {
            std::lock_guard lock(s_current->m_mutex);
            s_current->m_messages << message;
        }
    }

    static inline ModelTestMessages *s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    mutable std::mutex m_mutex;
    QStringList m_messages;
};

} // namespace pathtreetest
