#pragma once

#include "backup/priosdevicenode.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>

#include <memory>

// The backup list: one row per backup folder, read from the property lists
// at the top of the folder.
class PRIOSDeviceController : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { NameColumn, TypeColumn, VersionColumn, TimeColumn, ColumnCount };
    enum Role {
        NodeRole = Qt::UserRole + 1,  // the PRIOSDeviceNode as PRNodeRef
        ImageNameRole                 // name of the row's device image
    };

    explicit PRIOSDeviceController(QObject *parent = nullptr);

    // The column identifier the views test ("Name", ...).
    static QString columnIdentifier(int column);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    const QList<std::shared_ptr<PRIOSDeviceNode>> &arrangedObjects() const { return m_nodes; }
    std::shared_ptr<PRIOSDeviceNode> nodeAt(int row) const;
    void removeAllObjects();

    // Lists the backup folders of root and appends each one that reads as a
    // backup, by name (the file system's own order would make "the first
    // backup" arbitrary); names beginning with "." are never read.
    void showIphoneDisk(const QString &root);

    // Reads one backup folder into a new entry and appends it; false when
    // the folder is not a readable backup.
    bool addDeviceNodeByPath(const QString &folder);

    // The model name of a product type ("iPhone5,2" gives "iPhone 5"), or a
    // null string.
    static QString GetDevcieType(const QString &productType);
    // The image of a model name: "ipad" for the iPad models, else "iphone".
    static QString deviceImageName(const QString &modelName);
    // A UTC time as local "yyyy-MM-dd hh:mm".
    static QString convertCurrentTimeZone2(const QDateTime &utc);

    // Reads a folder into an entry without adding it. The backup time of an
    // incomplete backup says so ("2024-05-01 10:00 (incomplete)"): the list
    // and every place that names the backup by its time show it.
    static std::shared_ptr<PRIOSDeviceNode> readBackupFolder(const QString &folder);

    // A backup whose last run did not end well: one still marked by a device
    // backup of this program, or whose Status.plist says its snapshot is
    // anything but "finished". A backup without a Status.plist is complete.
    static bool backupIncomplete(const QString &folder);

private:
    QList<std::shared_ptr<PRIOSDeviceNode>> m_nodes;
};
