#include "pathtree/pathentrybatch.h"

#include <utility>

namespace {

constexpr QChar kSeparator = u'/';

PRPathCheck checkPiece(QStringView piece)
{
    if (piece.isEmpty())
        return PRPathCheck::EmptyName;
    if (piece == u"." || piece == u"..")
        return PRPathCheck::DotName;
    if (piece.size() > PRPathBatchBuilder::kMaxNameLength)
        return PRPathCheck::NameTooLong;
    return PRPathCheck::Ok;
}

} // namespace

PRPathBatchBuilder::PRPathBatchBuilder(PRPathTreeMember member)
{
    m_batch.member = member;
}

PRPathCheck PRPathBatchBuilder::splitDevicePath(const QString &devicePath, QStringList *names)
{
    if (names)
        names->clear();
    if (devicePath.isEmpty())
        return PRPathCheck::Empty;
    if (devicePath.size() > kMaxPathLength)
        return PRPathCheck::PathTooLong;
    if (devicePath.front() != kSeparator)
        return PRPathCheck::NotAbsolute;

    // Checked in full before anything is kept, so a refused path costs no
    // allocation and a deep one is cut off at the limit, not at its end.
    const QStringView rest = QStringView(devicePath).mid(1);
    int depth = 0;
    for (const QStringView piece : rest.tokenize(kSeparator)) {
        if (++depth > kMaxDepth)
            return PRPathCheck::TooDeep;
        if (const PRPathCheck check = checkPiece(piece); check != PRPathCheck::Ok)
            return check;
    }
    if (names) {
        names->reserve(depth);
        for (const QStringView piece : rest.tokenize(kSeparator))
            names->append(piece.toString());
    }
    return PRPathCheck::Ok;
}

PRPathCheck PRPathBatchBuilder::checkName(const QString &name)
{
    if (name.contains(kSeparator))
        return PRPathCheck::SeparatorInName;
    return checkPiece(name);
}

QString PRPathBatchBuilder::childPath(const QString &folderPath, const QString &name)
{
    if (checkName(name) != PRPathCheck::Ok)
        return {};
    if (folderPath == QStringLiteral("/"))
        return QLatin1Char('/') + name;
    if (splitDevicePath(folderPath) != PRPathCheck::Ok)
        return {};
    QString path = folderPath + kSeparator + name;
    if (path.size() > kMaxPathLength)
        return {};
    return path;
}

PRPathCheck PRPathBatchBuilder::add(PRPathEntry entry)
{
    const PRPathCheck check = splitDevicePath(entry.filePath, &entry.names);
    if (check != PRPathCheck::Ok) {
        ++m_batch.refused;
        return check;
    }
    m_batch.entries.append(std::move(entry));
    return check;
}

PRPathCheck PRPathBatchBuilder::add(const QString &devicePath, bool isFile, const QString &fileSize)
{
    PRPathEntry entry;
    entry.filePath = devicePath;
    entry.isFile = isFile;
    entry.fileSize = fileSize;
    return add(std::move(entry));
}

PRPathEntryBatch PRPathBatchBuilder::take()
{
    PRPathEntryBatch batch;
    batch.member = m_batch.member;
    std::swap(batch, m_batch);
    return batch;
}
