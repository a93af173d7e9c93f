#pragma once

#include "backup/nodes/prnode.h"

// A calendar event ("scanCalenderInfo", "scanDelCalenderInfo").
class PRCalenderNode : public PRNode
{
    PR_PROPERTY(QString, calTitle, setCalTitle) = emptyText();
    PR_PROPERTY(QString, calNote, setCalNote) = emptyText();
    PR_PROPERTY(QString, location, setLocation) = emptyText();
    PR_PROPERTY(QString, startDate, setStartDate) = emptyText();
    PR_PROPERTY(QString, endDate, setEndDate) = emptyText();
    PR_PROPERTY(bool, bDeleted, setBDeleted) = false;
    PR_PROPERTY(bool, bSelected, setBSelected) = false;

public:
    const char *className() const override { return "PRCalenderNode"; }
    void describe(PropertyVisitor &v) const override
    {
        v.text("calTitle", m_calTitle);
        v.text("calNote", m_calNote);
        v.text("location", m_location);
        v.text("startDate", m_startDate);
        v.text("endDate", m_endDate);
        v.flag("bDeleted", m_bDeleted);
        v.flag("bSelected", m_bSelected);
    }
};
