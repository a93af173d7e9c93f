#pragma once

#include "backup/nodes/prnode.h"

// A note ("ScanNoteInfo", "ScanTransferNoteInfo", "ScanDelNoteInfo").
class PRNoteNode : public PRNode
{
    PR_PROPERTY(QString, noteTitle, setNoteTitle) = emptyText();
    PR_PROPERTY(QString, noteContent, setNoteContent) = emptyText();
    PR_PROPERTY(QString, noteDate, setNoteDate) = emptyText();
    PR_PROPERTY(int, uid, setUid) = -1;
    PR_PROPERTY(bool, bSelected, setBSelected) = false;
    PR_PROPERTY(bool, bDeleted, setBDeleted) = false;
    // Stored path of the note's thumbnail attachment.
    PR_PROPERTY(QString, noteAttachPath, setNoteAttachPath) = emptyText();

public:
    const char *className() const override { return "PRNoteNode"; }
    void describe(PropertyVisitor &v) const override
    {
        v.text("noteTitle", m_noteTitle);
        v.text("noteContent", m_noteContent);
        v.text("noteDate", m_noteDate);
        v.integer("uid", m_uid);
        v.flag("bSelected", m_bSelected);
        v.flag("bDeleted", m_bDeleted);
        v.text("noteAttachPath", m_noteAttachPath);
    }
};

// A carved note body (kept, never posted).
class PRNoteValueNode : public PRNode
{
    PR_PROPERTY(QString, noteValue, setNoteValue) = emptyText();
    PR_PROPERTY(int, uid, setUid) = -1;

public:
    const char *className() const override { return "PRNoteValueNode"; }
    void describe(PropertyVisitor &v) const override
    {
        v.text("noteValue", m_noteValue);
        v.integer("uid", m_uid);
    }
};
