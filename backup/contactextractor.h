#pragma once

#include "backup/scancontext.h"

// The contact step: every person of the address book with all their
// numbers, e-mail addresses, home pages and addresses, and their photo.
class ContactExtractor
{
public:
    explicit ContactExtractor(ScanContext &context);

    // Fills contactArray and contactImageArray, posts "ScanContactInfo" per
    // contact, then progress 40.
    void scanContactThread(const QString &backupFolder);
    // The transfer page's form: contacts into transContactArray (replaced),
    // "ScanTransferContactInfo" per contact, "ScanTransferContactFinished"
    // at the end.
    void scanTransferContactThread(const QString &backupFolder, NodeList<PRContactNode> &transContactArray);

    // The largest photo read into a record.
    static constexpr qsizetype kMaxPhotoBytes = 16 * 1024 * 1024;

private:
    enum class Form { Scan, Transfer };
    bool run(const QString &folder, Form form, NodeList<PRContactNode> &contacts,
             NodeList<PRContactImageNode> &photos);

    ScanContext &m_ctx;
};
