#include "backup/priosdevicecontroller.h"

#include "backup/unfinishedbackup.h"
#include "platform/propertylist.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>

namespace {

QString textValue(const QVariantMap &map, const char *key)
{
    const QVariant v = map.value(QLatin1String(key));
    return v.typeId() == QMetaType::QString ? v.toString() : QStringLiteral("");
}

void setEncryption(PRIOSDeviceNode &node, const std::optional<QVariantMap> &manifest)
{
    if (manifest && manifest->contains(QStringLiteral("IsEncrypted")))
        node.setBeEncrypted(manifest->value(QStringLiteral("IsEncrypted")).toBool());
}

void setModel(PRIOSDeviceNode &node, const QString &productType)
{
    const QString model = PRIOSDeviceController::GetDevcieType(productType);
    node.setStrDeviceType(model.isNull() ? QStringLiteral("") : model);
    node.setDeviceImage(PRIOSDeviceController::deviceImageName(model));
}

} // namespace

PRIOSDeviceController::PRIOSDeviceController(QObject *parent)
    : QAbstractTableModel(parent)
{
}

QString PRIOSDeviceController::columnIdentifier(int column)
{
    switch (column) {
    case NameColumn: return QStringLiteral("Name");
    case TypeColumn: return QStringLiteral("Type");
    case VersionColumn: return QStringLiteral("Version");
    case TimeColumn: return QStringLiteral("Time");
    default: return {};
    }
}

int PRIOSDeviceController::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_nodes.size());
}

int PRIOSDeviceController::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PRIOSDeviceController::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_nodes.size())
        return {};
    const auto &node = m_nodes.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case NameColumn: return node->strDeviceName();
        case TypeColumn: return node->strDeviceType();
        case VersionColumn: return node->strIOSVersion();
        case TimeColumn: return node->strDeviceBackUpTime();
        }
        return {};
    case NodeRole:
        return nodeToVariant(node);
    case ImageNameRole:
        return index.column() == NameColumn ? node->deviceImage() : QVariant();
    default:
        return {};
    }
}

QVariant PRIOSDeviceController::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn: return tr("Name");
    case TypeColumn: return tr("Type");
    case VersionColumn: return tr("Version");
    case TimeColumn: return tr("Backup Time");
    default: return {};
    }
}

std::shared_ptr<PRIOSDeviceNode> PRIOSDeviceController::nodeAt(int row) const
{
    return row >= 0 && row < m_nodes.size() ? m_nodes.at(row) : nullptr;
}

void PRIOSDeviceController::removeAllObjects()
{
    beginResetModel();
    m_nodes.clear();
    endResetModel();
}

void PRIOSDeviceController::showIphoneDisk(const QString &root)
{
    const QDir dir(root);
    if (!dir.exists())
        return;
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        if (name.startsWith(QLatin1Char('.')))
            continue;
        addDeviceNodeByPath(root + QLatin1Char('/') + name);
    }
}

bool PRIOSDeviceController::addDeviceNodeByPath(const QString &folder)
{
    auto node = readBackupFolder(folder);
    if (!node)
        return false;
    const int row = int(m_nodes.size());
    beginInsertRows({}, row, row);
    m_nodes.append(std::move(node));
    endInsertRows();
    return true;
}

std::shared_ptr<PRIOSDeviceNode> PRIOSDeviceController::readBackupFolder(const QString &folder)
{
    const QFileInfo folderInfo(folder);
    if (!folderInfo.exists()) {
        qInfo("Filepath is not exist");
        return nullptr;
    }
    const QDir dir(folder);
    QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    entries.removeOne(UnfinishedBackup::markerName());
    if (!folderInfo.isDir() || entries.size() < 2)
        return nullptr;

    const QString infoPath = folder + QStringLiteral("/Info.plist");
    const QString manifestPath = folder + QStringLiteral("/Manifest.plist");
    const auto info = PropertyList::readDictionary(infoPath);
    const auto manifest = PropertyList::readDictionary(manifestPath);

    auto node = std::make_shared<PRIOSDeviceNode>();
    if (info) {
        const QFileInfo file(infoPath);
        node->setStrDeviceName(textValue(*info, "Device Name"));
        node->setStrDeviceSerial(textValue(*info, "Serial Number"));
        setModel(*node, textValue(*info, "Product Type"));
        node->setStrIOSVersion(textValue(*info, "Product Version"));
        node->setItunesVersion(textValue(*info, "iTunes Version"));
        node->setStrDeviceSize(QString::number(file.size()));
        node->setStrDeviceBackUpTime(convertCurrentTimeZone2(file.lastModified().toUTC()));
        setEncryption(*node, manifest);
    } else if (manifest && manifest->value(QStringLiteral("Lockdown")).typeId() == QMetaType::QVariantMap) {
        const QVariantMap lockdown = manifest->value(QStringLiteral("Lockdown")).toMap();
        node->setStrDeviceName(textValue(lockdown, "DeviceName"));
        node->setStrDeviceSerial(textValue(lockdown, "SerialNumber"));
        setModel(*node, textValue(lockdown, "ProductType"));
        node->setStrIOSVersion(textValue(lockdown, "ProductVersion"));
        node->setItunesVersion(textValue(lockdown, "BuildVersion"));
        node->setStrDeviceBackUpTime(convertCurrentTimeZone2(QFileInfo(manifestPath).lastModified().toUTC()));
        setEncryption(*node, manifest);
    } else {
        return nullptr;
    }
    node->setBackUpFilePath(folder);
    if (backupIncomplete(folder))
        node->setStrDeviceBackUpTime(QCoreApplication::translate("PRIOSDeviceController", "%1 (incomplete)")
                                         .arg(node->strDeviceBackUpTime())
                                         .trimmed());
    return node;
}

bool PRIOSDeviceController::backupIncomplete(const QString &folder)
{
    if (UnfinishedBackup::isMarked(folder))
        return true;
    const auto status = PropertyList::readDictionary(folder + QStringLiteral("/Status.plist"));
    if (!status)
        return false;
    const QVariant state = status->value(QStringLiteral("SnapshotState"));
    return state.typeId() == QMetaType::QString && state.toString() != QLatin1String("finished");
}

QString PRIOSDeviceController::GetDevcieType(const QString &productType)
{
    static const struct { const char *pattern; const char *name; } kModels[] = {
        {"iPhone1,1", QT_TRANSLATE_NOOP("PRIOSDeviceController", "iPhone")},
        {"iPhone1,2", QT_TRANSLATE_NOOP("PRIOSDeviceController", "iPhone3G")},
        {"iPhone2,1", QT_TRANSLATE_NOOP("PRIOSDeviceController", "iPhone3GS")},
        {"iPhone3,1", QT_TRANSLATE_NOOP("PRIOSDeviceController", "iPhone 4")},
        {"iPhone3,3", QT_TRANSLATE_NOOP("PRIOSDeviceController", "iPhone 4")},
        {"iPhone4,1", QT_TRANSLATE_NOOP("PRIOSDeviceController", "iPhone 4S")},
        {"iPhone5", QT_TRANSLATE_NOOP("PRIOSDeviceController", "iPhone 5")},
        {"iPod1,1", QT_TRANSLATE_NOOP("PRIOSDeviceController", "iPodTouch")},
        {"iPod2,1", QT_TRANSLATE_NOOP("PRIOSDeviceController", "iPodTouch2G")},
        {"iPod3,1", QT_TRANSLATE_NOOP("PRIOSDeviceController", "IpodTouch3G")},
        {"iPod4,1", QT_TRANSLATE_NOOP("PRIOSDeviceController", "iPodTouch4G")},
        {"iPad1,1", QT_TRANSLATE_NOOP("PRIOSDeviceController", "iPad 1")},
        {"iPad2,1", QT_TRANSLATE_NOOP("PRIOSDeviceController", "iPad 2")},
        {"iPad3", QT_TRANSLATE_NOOP("PRIOSDeviceController", "NewiPad")},
    };
    if (productType.isEmpty())
        return QCoreApplication::translate("PRIOSDeviceController", "iPhone");
    for (const auto &model : kModels) {
        if (productType.contains(QLatin1String(model.pattern), Qt::CaseInsensitive))
            return QCoreApplication::translate("PRIOSDeviceController", model.name);
    }
    return {};
}

QString PRIOSDeviceController::deviceImageName(const QString &modelName)
{
    static const char *const kIpads[] = {"iPad 1", "iPad 2", "NewiPad"};
    for (const char *ipad : kIpads) {
        if (modelName == QCoreApplication::translate("PRIOSDeviceController", ipad))
            return QStringLiteral("ipad");
    }
    return QStringLiteral("iphone");
}

QString PRIOSDeviceController::convertCurrentTimeZone2(const QDateTime &utc)
{
    if (!utc.isValid())
        return QStringLiteral("");
    return utc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}
