#pragma once

#include "backup/nodes/prnode.h"

// A bookmark or history entry ("scanBookMarkInfo", "scanDelBookMarkInfo").
class PRBookMarkNode : public PRNode
{
    PR_PROPERTY(QString, bookMarkTitle, setBookMarkTitle) = emptyText();
    PR_PROPERTY(QString, bookMarkURL, setBookMarkURL) = emptyText();
    PR_PROPERTY(bool, bSelected, setBSelected) = false;
    PR_PROPERTY(bool, bDeleted, setBDeleted) = false;

public:
    const char *className() const override { return "PRBookMarkNode"; }
    void describe(PropertyVisitor &v) const override
    {
        v.text("bookMarkTitle", m_bookMarkTitle);
        v.text("bookMarkURL", m_bookMarkURL);
        v.flag("bSelected", m_bSelected);
        v.flag("bDeleted", m_bDeleted);
    }
};
