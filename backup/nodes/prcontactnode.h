#pragma once

#include "backup/nodes/prnode.h"

#include <QStringList>

// A contact ("ScanContactInfo", "ScanTransferContactInfo", "ScanDelContactInfo").
// Multi-valued fields hold every value, each preceded by one space.
class PRContactNode : public PRNode
{
    PR_PROPERTY(int, rowid, setRowid) = -1;
    PR_PROPERTY(QString, contactName, setContactName) = emptyText();
    PR_PROPERTY(QString, contactPhone, setContactPhone) = emptyText();
    PR_PROPERTY(QString, contactEmail, setContactEmail) = emptyText();
    PR_PROPERTY(QString, contactHomepage, setContactHomepage) = emptyText();
    PR_PROPERTY(QString, contactCompany, setContactCompany) = emptyText();
    PR_PROPERTY(QString, contactBirthday, setContactBirthday) = emptyText();
    PR_PROPERTY(QString, contactJobtitle, setContactJobtitle) = emptyText();
    PR_PROPERTY(QString, contactNote, setContactNote) = emptyText();
    PR_PROPERTY(QString, contactAdress, setContactAdress) = emptyText();
    PR_PROPERTY(QByteArray, imageData, setImageData);
    PR_PROPERTY(bool, bDeleted, setBDeleted) = false;
    PR_PROPERTY(bool, bSelected, setBSelected) = false;
    // Each number as the address book holds it (contactPhone joins them), for
    // writers that need them apart; empty when the numbers came only as text.
    PR_PROPERTY(QStringList, phoneNumbers, setPhoneNumbers);

public:
    const char *className() const override { return "PRContactNode"; }
    void addPhoneNumber(const QString &number) { m_phoneNumbers.append(number); }
    void describe(PropertyVisitor &v) const override
    {
        v.integer("rowid", m_rowid);
        v.text("contactName", m_contactName);
        v.text("contactPhone", m_contactPhone);
        v.text("contactEmail", m_contactEmail);
        v.text("contactHomepage", m_contactHomepage);
        v.text("contactCompany", m_contactCompany);
        v.text("contactBirthday", m_contactBirthday);
        v.text("contactJobtitle", m_contactJobtitle);
        v.text("contactNote", m_contactNote);
        v.text("contactAdress", m_contactAdress);
        v.data("imageData", m_imageData);
        v.flag("bDeleted", m_bDeleted);
        v.flag("bSelected", m_bSelected);
    }
};

// One photo row of the address-book image database (kept, never posted).
class PRContactImageNode : public PRNode
{
    PR_PROPERTY(int, rowid, setRowid) = -1;
    PR_PROPERTY(QByteArray, imageData, setImageData);

public:
    const char *className() const override { return "PRContactImageNode"; }
    void describe(PropertyVisitor &v) const override
    {
        v.integer("rowid", m_rowid);
        v.data("imageData", m_imageData);
    }
};

// One carved multi-value row of a contact: value text, value kind, owning
// person row id (kept, never posted).
class DelContactValue : public PRNode
{
    PR_PROPERTY(QString, contactValue, setContactValue) = emptyText();
    PR_PROPERTY(int, valueType, setValueType) = -1;
    PR_PROPERTY(int, rowID, setRowID) = -1;

public:
    const char *className() const override { return "DelContactValue"; }
    void describe(PropertyVisitor &v) const override
    {
        v.text("contactValue", m_contactValue);
        v.integer("valueType", m_valueType);
        v.integer("rowID", m_rowID);
    }
};
