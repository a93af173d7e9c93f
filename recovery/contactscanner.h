#pragma once

#include "recovery/scannerbase.h"

// Carves person rows and multi-value rows out of the address book's table
// leaf pages, last page first, joins values to persons and posts each person
// as "ScanDelContactInfo"; then progress 75.
template<typename Source>
class ContactScanner
{
public:
    explicit ContactScanner(ScanContext &context) : m_ctx(context) {}
    void run(const QString &databasePath, bool commit = true);

    // The text of the last page, one character a byte, "." for anything not
    // printable ASCII.
    static QString GetLastPageStringWithChar(const QByteArray &bytes);
    // The fragment after name in text, up to and including the next space,
    // when it is at most 20 characters long.
    static QString getNextSubStringInString(const QString &text, const QString &name);

private:
    void carvePersons(const RawDatabase<Source> &db, std::uint64_t P);
    void carveValues(const RawDatabase<Source> &db, std::uint64_t P);
    void joinAndPost();

    ScanContext &m_ctx;
    int m_lastRow = 0;     // R
    int m_largestRow = 0;  // M
    bool m_numbered = false;
    QString m_lastPageText;
};

