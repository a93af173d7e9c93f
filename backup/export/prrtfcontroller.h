#pragma once

#include <QString>

class PRBookMarkNode;
class PRCalenderNode;
class PRCallHistoryNode;
class PRContactNode;
class PRNoteNode;

// Collects one kind's records as plain text, one record a line, and writes
// them as that kind's text file. Made, fed and dropped by one export step.
class PRRtfController
{
public:
    PRRtfController(); // runs setRtfHeader()

    void setRtfHeader(); // empty content
    void addRtfContent(const QString &text); // appends text + "\n\n"
    void setRtfEnder(); // nothing: plain text has no trailer

    // Writes the content (UTF-8) as the kind's file in folder: "Contact" -> "Contacts.txt", "Message" ->
    // "Messages.txt", "Callhistory" -> "Call History.txt", "Note" -> "Notes.txt", "BookMark" -> "BookMark.txt",
    // "Calendar&Reminder" -> "Calendar&Reminder.txt", any other kind "TXT.txt"; never replaces an existing file
    // (PRExportPaths::writeNewFile). Returns the path written or empty.
    QString writeRtfInPath(const QString &folder, const QString &kind);

    const QString &strRtfContent() const;

    // The file name of a kind, compared exactly (case matters).
    static QString fileNameForKind(const QString &kind);

    // The record texts: each field as its label, a colon, the value and two
    // blanks, line breaks inside values kept.
    static QString contactText(const PRContactNode &);
    static QString noteText(const PRNoteNode &);
    static QString callText(const PRCallHistoryNode &);
    static QString bookMarkText(const PRBookMarkNode &);
    static QString calendarText(const PRCalenderNode &);

private:
    QString m_strRtfContent;
};
