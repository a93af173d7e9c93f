#pragma once

#include "backup/nodes/prnode.h"

#include <QList>

// A message ("ScanMessageInfo", "ScanTransferMessageInfo", "ScanDelMessageInfo").
class PRMessageNode : public PRNode
{
    PR_PROPERTY(QString, messageName, setMessageName) = emptyText();
    PR_PROPERTY(QString, messagePhone, setMessagePhone) = emptyText();
    PR_PROPERTY(QString, messageContent, setMessageContent) = emptyText();
    PR_PROPERTY(QString, messageDate, setMessageDate) = emptyText();
    // "Send", "Received" or "unknown".
    PR_PROPERTY(QString, messageType, setMessageType) = emptyText();
    PR_PROPERTY(bool, bImessage, setBImessage) = false;
    PR_PROPERTY(bool, bSelected, setBSelected) = false;
    PR_PROPERTY(bool, bDeleted, setBDeleted) = false;
    PR_PROPERTY(int, handle_id, setHandle_id) = -1;
    PR_PROPERTY(bool, isHasAttach, setIsHasAttach) = false;
    PR_PROPERTY(QString, attachmentPath, setAttachmentPath);
    // "Image", "Mov", "Contact" or "Location".
    PR_PROPERTY(QString, attachType, setAttachType);
    PR_PROPERTY(int, rowId, setRowId) = -1;
    PR_PROPERTY(QByteArray, contactImageData, setContactImageData);

public:
    const char *className() const override { return "PRMessageNode"; }
    void describe(PropertyVisitor &v) const override
    {
        v.text("messageName", m_messageName);
        v.text("messagePhone", m_messagePhone);
        v.text("messageContent", m_messageContent);
        v.text("messageDate", m_messageDate);
        v.text("messageType", m_messageType);
        v.flag("bImessage", m_bImessage);
        v.flag("bSelected", m_bSelected);
        v.flag("bDeleted", m_bDeleted);
        v.integer("handle_id", m_handle_id);
        v.flag("isHasAttach", m_isHasAttach);
        v.text("attachmentPath", m_attachmentPath);
        v.text("attachType", m_attachType);
        v.integer("rowId", m_rowId);
        v.data("contactImageData", m_contactImageData);
    }
};

// A conversation, made by the pages that group messages.
class PRMessageTreeNode : public PRNode
{
    PR_PROPERTY(QList<std::shared_ptr<PRMessageNode>>, MessageNodeArray, setMessageNodeArray);
    PR_PROPERTY(QString, messageTreeNodeName, setMessageTreeNodeName) = emptyText();
    PR_PROPERTY(QString, messageTreeNodeAdress, setMessageTreeNodeAdress) = emptyText();
    PR_PROPERTY(bool, bSelected, setBSelected) = false;
    PR_PROPERTY(bool, bdeleted, setBdeleted) = false;

public:
    QList<std::shared_ptr<PRMessageNode>> &messages() { return m_MessageNodeArray; }

    const char *className() const override { return "PRMessageTreeNode"; }
    void describe(PropertyVisitor &v) const override
    {
        v.nodeCount("MessageNodeArray", m_MessageNodeArray.size());
        v.text("messageTreeNodeName", m_messageTreeNodeName);
        v.text("messageTreeNodeAdress", m_messageTreeNodeAdress);
        v.flag("bSelected", m_bSelected);
        v.flag("bdeleted", m_bdeleted);
    }
};

// One attachment row of the message database (kept, never posted).
class PRMessageAttachNode : public PRNode
{
    PR_PROPERTY(int, messageId, setMessageId) = -1;
    PR_PROPERTY(int, attachmentId, setAttachmentId) = -1;
    PR_PROPERTY(QString, attachpath, setAttachpath);
    PR_PROPERTY(QString, attachType, setAttachType);

public:
    const char *className() const override { return "PRMessageAttachNode"; }
    void describe(PropertyVisitor &v) const override
    {
        v.integer("messageId", m_messageId);
        v.integer("attachmentId", m_attachmentId);
        v.text("attachpath", m_attachpath);
        v.text("attachType", m_attachType);
    }
};

// A carved message-handle row (kept, never posted).
class PRChatMessageNode : public PRNode
{
    PR_PROPERTY(int, rowid, setRowid) = -1;
    PR_PROPERTY(QString, phoneValue, setPhoneValue) = emptyText();

public:
    const char *className() const override { return "PRChatMessageNode"; }
    void describe(PropertyVisitor &v) const override
    {
        v.integer("rowid", m_rowid);
        v.text("phoneValue", m_phoneValue);
    }
};
