#include "backup/scancontext.h"

#include "backup/notificationnames.h"

#include <QFileInfo>

bool ScanContext::IOSVersionIOS6(const QString &version)
{
    bool ios6 = false, ios7 = false, ios10 = false;
    const QStringList parts = version.split(QLatin1Char('.'));
    if (!version.isEmpty() && !parts.isEmpty()) {
        const QString &major = parts.first();
        if (major == QLatin1String("6")) {
            ios6 = true;
        } else if (major == QLatin1String("7") || major == QLatin1String("8") || major == QLatin1String("9")) {
            ios6 = ios7 = true;
        } else {
            static const QStringList kTen = {QStringLiteral("10"), QStringLiteral("11"), QStringLiteral("12"),
                                             QStringLiteral("13"), QStringLiteral("14"), QStringLiteral("15")};
            if (kTen.contains(major) || major.toInt() > 10)
                ios6 = ios7 = ios10 = true;
        }
    }
    bIOS7DeviceNode = ios7;
    biOS10Version = ios10;
    currentNodeIsiOS6Version = ios6;
    return ios6;
}

void ScanContext::appendTreeFile(const std::shared_ptr<PRTreeDirNode> &node)
{
    m_treeFileByPath.insert(node->filePath(), treeFileArray.size());
    treeFileArray.append(node);
}

QString ScanContext::getFileKeyBytheFilepath(const QString &filePath) const
{
    auto it = m_treeFileByPath.constFind(filePath);
    if (it == m_treeFileByPath.constEnd() || *it >= treeFileArray.size())
        return QString();
    return treeFileArray.at(*it)->fileKey();
}

void ScanContext::removeSomeArray()
{
    treeFileArray.clear();
    m_treeFileByPath.clear();
    meesageAttachArray.clear();
    bookMarkArray.clear();
    contactImageArray.clear();
    messageArray.clear();
    chatMessageArray.clear();
    contactArray.clear();
    contactInfoArray.clear();
    delContactValueArray.clear();
    delContactArray.clear();
    noteArray.clear();
    noteValueArray.clear();
    delUnKnowContactArray.clear();
}

void ScanContext::postProgress(int value)
{
    if (value == m_lastProgress)
        return;
    m_lastProgress = value;
    nc.post(Notifications::ScanProgressInfo, value);
}

bool ScanContext::folderUsable(const QString &folder)
{
    return !folder.isEmpty() && QFileInfo(folder).isDir();
}
