#include "maintenance/icloud/pricloudcopy.h"

#include "filesafety/exportpaths.h"
#include "platform/paths.h"
#include "platform/regularfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("PRiCloudCopy", text);
}

} // namespace

QString PRiCloudCopy::documentsPath()
{
    return Paths::userPath(QStringLiteral("/Users/%@/Documents"));
}

PRiCloudCopyReport PRiCloudCopy::ExportiCloudFileToDocumentAction(const QList<PRiCloudFileNode> &nodes,
                                                                  const QString &targetFolder,
                                                                  const std::atomic<bool> *cancelled)
{
    PRiCloudCopyReport report;
    report.targetFolder = targetFolder;
    if (nodes.isEmpty())
        return report;
    if (!QDir().mkpath(targetFolder)) {
        report.failed = int(nodes.size());
        report.message = tr("%1 could not be made.").arg(targetFolder);
        return report;
    }
    for (const PRiCloudFileNode &node : nodes) {
        if (cancelled && cancelled->load()) {
            report.cancelled = true;
            break;
        }
        const QString name = PRExportPaths::safeComponent(node.nodeName, QStringLiteral("file"));
        const QString target = QDir(targetFolder).filePath(name);
        QString claimed;
        // The source is checked before a name is claimed, so that a file
        // gone since the scan leaves no empty file behind.
        if (RegularFile::isRegular(node.nodeFullPath) && PRExportPaths::isInside(targetFolder, target))
            claimed = PRExportPaths::claimNewFile(target);
        if (!claimed.isEmpty() && PRExportPaths::fillClaimedFileFrom(claimed, node.nodeFullPath)) {
            ++report.copied;
            report.writtenPaths.append(claimed);
            continue;
        }
        if (!claimed.isEmpty())
            QFile::remove(claimed);
        ++report.failed;
        report.failedNames.append(node.nodeName);
    }
    if (report.failed > 0) {
        const int shown = 8;
        report.message = tr("%1 of %2 files were copied to %3. These could not be copied:")
                             .arg(report.copied)
                             .arg(nodes.size())
                             .arg(targetFolder)
                         + QLatin1Char('\n') + report.failedNames.mid(0, shown).join(QLatin1Char('\n'));
        if (report.failedNames.size() > shown)
            report.message += QLatin1Char('\n') + tr("and %1 more").arg(report.failedNames.size() - shown);
    }
    return report;
}
