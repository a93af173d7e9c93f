#include "pathtree/prsystemlibtreecontroller.h"

PRSystemLibTreeController::PRSystemLibTreeController(QObject *parent)
    : PRPathTreeController({PRPathTreeMember::System}, parent)
{
}

PRSystemLibTreeController::~PRSystemLibTreeController() = default;

bool PRSystemLibTreeController::addTreeNode(const PRPhoneSystemDirNode &entry)
{
    PRPathEntry carrier;
    carrier.filePath = entry.filePath();
    carrier.isFile = entry.isFile();
    carrier.fileSize = entry.fileSize();
    carrier.fileType = entry.fileType();
    return fileOne(PRPathTreeMember::System, std::move(carrier));
}

PRPhoneSystemDirNode *PRSystemLibTreeController::addPathToTreeFolder(const QString &devicePath)
{
    PRPathEntry carrier;
    carrier.filePath = devicePath;
    if (devicePath != QStringLiteral("/") && PRPathBatchBuilder::splitDevicePath(devicePath) != PRPathCheck::Ok)
        return nullptr;
    beginBatch();
    PRPathDirNode *root = rootForEntry(PRPathTreeMember::System, carrier);
    PRPathDirNode *folder = makeFolders(root, PRPathTreeMember::System, devicePath, carrier);
    endBatch();
    return folder ? folder->as<PRPhoneSystemDirNode>() : nullptr;
}

PRPhoneSystemFileNode *PRSystemLibTreeController::addFileNode(PRPhoneSystemDirNode *folder, const QString &name)
{
    PRPathEntry carrier;
    carrier.filePath = nodeFullPath();
    carrier.isFile = true;
    PRPathFileNode *row = makeRow(folder, name, carrier);
    return row ? row->as<PRPhoneSystemFileNode>() : nullptr;
}

PRPhoneSystemDirNode *PRSystemLibTreeController::systemRoot() const
{
    PRPathDirNode *root = rootWithKey(PRPathTreeMember::System, rootName());
    return root ? root->as<PRPhoneSystemDirNode>() : nullptr;
}

PRPathDirNode *PRSystemLibTreeController::rootForEntry(PRPathTreeMember member, const PRPathEntry &)
{
    if (member != PRPathTreeMember::System)
        return nullptr;
    if (PRPathDirNode *root = rootWithKey(member, rootName()))
        return root;
    return addRoot(std::make_unique<PRPhoneSystemDirNode>(), rootName(), rootName());
}

std::unique_ptr<PRPathDirNode> PRSystemLibTreeController::makeFolder(PRPathTreeMember, const PRPathEntry &) const
{
    return std::make_unique<PRPhoneSystemDirNode>();
}

std::unique_ptr<PRPathFileNode> PRSystemLibTreeController::makeFile(PRPathTreeMember, const PRPathEntry &) const
{
    return std::make_unique<PRPhoneSystemFileNode>();
}
