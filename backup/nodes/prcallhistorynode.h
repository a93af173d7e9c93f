#pragma once

#include "backup/nodes/prnode.h"

// A call ("ScanCallHistoryInfo", "ScanDelCallHistoryInfo").
class PRCallHistoryNode : public PRNode
{
    PR_PROPERTY(QString, callName, setCallName) = emptyText();
    PR_PROPERTY(QString, callPhone, setCallPhone) = emptyText();
    PR_PROPERTY(QString, callDate, setCallDate) = emptyText();
    // "Outgoing" or "Incoming".
    PR_PROPERTY(QString, callType, setCallType) = emptyText();
    // Duration in whole seconds.
    PR_PROPERTY(int, callTime, setCallTime) = -1;
    // Duration text, or "Cancelled" / "Missed" for a call of no duration.
    PR_PROPERTY(QString, callDuration, setCallDuration) = emptyText();
    PR_PROPERTY(QString, callAttribution, setCallAttribution) = emptyText();
    PR_PROPERTY(bool, bSelected, setBSelected) = false;
    PR_PROPERTY(bool, bDeleted, setBDeleted) = false;

public:
    const char *className() const override { return "PRCallHistoryNode"; }
    void describe(PropertyVisitor &v) const override
    {
        v.text("callName", m_callName);
        v.text("callPhone", m_callPhone);
        v.text("callDate", m_callDate);
        v.text("callType", m_callType);
        v.integer("callTime", m_callTime);
        v.text("callDuration", m_callDuration);
        v.text("callAttribution", m_callAttribution);
        v.flag("bSelected", m_bSelected);
        v.flag("bDeleted", m_bDeleted);
    }
};
