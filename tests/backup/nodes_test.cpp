#include "backup/nodes/prbookmarknode.h"
#include "backup/nodes/prcallhistorynode.h"
#include "backup/nodes/prcalendernode.h"
#include "backup/nodes/prcontactnode.h"
#include "backup/nodes/prmessagenode.h"
#include "backup/nodes/prnotenode.h"
#include "backup/nodes/prphotoandvideonode.h"
#include "backup/nodes/prtreenodes.h"
#include "backup/priosdevicenode.h"

#include "tests/support/qtprinters.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// Checks the shared defaults of a fresh node: texts empty (or absent where
// named), row ids -1, flags and sizes 0.
class DefaultsChecker : public PropertyVisitor
{
public:
    explicit DefaultsChecker(std::set<std::string> absent, std::set<std::string> others = {})
        : m_absent(std::move(absent)), m_others(std::move(others))
    {
    }
    void text(const char *name, const QString &value) override
    {
        if (m_others.count(name))
            return;
        if (m_absent.count(name))
            EXPECT_TRUE(value.isNull()) << name;
        else
            EXPECT_TRUE(!value.isNull() && value.isEmpty()) << name;
    }
    void data(const char *name, const QByteArray &value) override { EXPECT_TRUE(value.isNull()) << name; }
    void integer(const char *name, qint64 value) override
    {
        if (m_others.count(name))
            return;
        EXPECT_EQ(value, std::string(name) == "isSelected" ? 0 : -1) << name;
    }
    void unsignedInteger(const char *name, quint64 value) override { EXPECT_EQ(value, 0u) << name; }
    void flag(const char *name, bool value) override { EXPECT_FALSE(value) << name; }
    void nodeCount(const char *name, qsizetype count) override { EXPECT_EQ(count, 0) << name; }

private:
    std::set<std::string> m_absent, m_others;
};

template<typename T>
void checkDefaults(std::set<std::string> absent = {}, std::set<std::string> others = {})
{
    T node;
    DefaultsChecker checker(std::move(absent), std::move(others));
    node.describe(checker);
}

} // namespace

TEST(RecordNodes, FreshNodesHoldTheirDefaults)
{
    checkDefaults<PRContactNode>();
    checkDefaults<PRContactImageNode>();
    checkDefaults<DelContactValue>();
    checkDefaults<PRMessageNode>({"attachmentPath", "attachType"});
    checkDefaults<PRMessageTreeNode>();
    checkDefaults<PRMessageAttachNode>({"attachpath", "attachType"});
    checkDefaults<PRChatMessageNode>();
    checkDefaults<PRCallHistoryNode>();
    checkDefaults<PRNoteNode>();
    checkDefaults<PRNoteValueNode>();
    checkDefaults<PRBookMarkNode>();
    checkDefaults<PRCalenderNode>();
    checkDefaults<PRPhotoAndVideoNode>();
    checkDefaults<PRFaceTwitterNode>();
    checkDefaults<PRTreeDirNode>({}, {"nodeIcon"});
    checkDefaults<PRTreeFileNode>({"filePath", "fileSize"});
    checkDefaults<PRIOSDeviceNode>({"deviceImage"});

    PRTreeDirNode dir;
    EXPECT_EQ(dir.nodeIcon(), QStringLiteral("unselected"));
    EXPECT_EQ(dir.isSelected(), 0);
}

TEST(RecordNodes, TextsAreCopiedAndNodesTravelInVariants)
{
    QString source = QStringLiteral("Ann");
    PRContactNode contact;
    contact.setContactName(source);
    source.append(QStringLiteral(" changed"));
    EXPECT_EQ(contact.contactName(), QStringLiteral("Ann"));

    auto call = std::make_shared<PRCallHistoryNode>();
    call->setCallType(QStringLiteral("Outgoing"));
    const QVariant v = nodeToVariant(call);
    EXPECT_EQ(nodeFromVariant<PRCallHistoryNode>(v), call);
    EXPECT_EQ(nodeFromVariant<PRNoteNode>(v), nullptr);
    EXPECT_EQ(nodeFromVariant<PRNoteNode>(QVariant(5)), nullptr);
}

TEST(RecordNodes, TreeParentLinkDoesNotKeepItsFolderAlive)
{
    std::weak_ptr<PRTreeDirNode> watch;
    {
        auto folder = std::make_shared<PRTreeDirNode>();
        auto child = std::make_shared<PRTreeDirNode>();
        child->setParent(folder);
        folder->mutableChildren().append(child);
        auto file = std::make_shared<PRTreeFileNode>();
        file->setParent(folder);
        folder->addFileChildren(file);
        EXPECT_EQ(child->parent().lock(), folder);
        EXPECT_EQ(folder->fileChildren().size(), 1);
        watch = folder;
    }
    EXPECT_TRUE(watch.expired());
}
