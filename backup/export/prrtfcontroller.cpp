#include "backup/export/prrtfcontroller.h"

#include "backup/nodes/prbookmarknode.h"
#include "backup/nodes/prcalendernode.h"
#include "backup/nodes/prcallhistorynode.h"
#include "backup/nodes/prcontactnode.h"
#include "backup/nodes/prnotenode.h"
#include "filesafety/exportpaths.h"

#include <initializer_list>
#include <utility>

namespace {

using Field = std::pair<const char *, const QString *>;

// An absent value is written as nothing, like an empty one.
QString recordLine(std::initializer_list<Field> fields)
{
    QString line;
    for (const Field &field : fields) {
        line += QLatin1String(field.first);
        line += QLatin1Char(':');
        line += *field.second;
        line += QLatin1String("  ");
    }
    return line;
}

} // namespace

PRRtfController::PRRtfController()
{
    setRtfHeader();
}

void PRRtfController::setRtfHeader()
{
    m_strRtfContent = QString();
}

void PRRtfController::addRtfContent(const QString &text)
{
    m_strRtfContent += text;
    m_strRtfContent += QLatin1String("\n\n");
}

void PRRtfController::setRtfEnder()
{
}

QString PRRtfController::fileNameForKind(const QString &kind)
{
    static const std::pair<const char *, const char *> names[] = {
        {"Contact", "Contacts.txt"},
        {"Message", "Messages.txt"},
        {"Callhistory", "Call History.txt"},
        {"Note", "Notes.txt"},
        {"BookMark", "BookMark.txt"},
        {"Calendar&Reminder", "Calendar&Reminder.txt"},
    };
    for (const auto &[name, file] : names)
        if (kind == QLatin1String(name))
            return QLatin1String(file);
    return QStringLiteral("TXT.txt");
}

QString PRRtfController::writeRtfInPath(const QString &folder, const QString &kind)
{
    setRtfEnder();
    return PRExportPaths::writeNewFile(folder + QLatin1Char('/') + fileNameForKind(kind), m_strRtfContent.toUtf8());
}

const QString &PRRtfController::strRtfContent() const
{
    return m_strRtfContent;
}

QString PRRtfController::contactText(const PRContactNode &c)
{
    return recordLine({{"Name", &c.contactName()},
                       {"Phone", &c.contactPhone()},
                       {"Email", &c.contactEmail()},
                       {"Company", &c.contactCompany()},
                       {"JobTitle", &c.contactJobtitle()},
                       {"Home Page", &c.contactHomepage()},
                       {"Birthday", &c.contactBirthday()},
                       {"Note", &c.contactNote()}});
}

QString PRRtfController::noteText(const PRNoteNode &n)
{
    return recordLine({{"Title", &n.noteTitle()}, {"Note", &n.noteContent()}, {"Date", &n.noteDate()}});
}

QString PRRtfController::callText(const PRCallHistoryNode &c)
{
    return recordLine({{"Name", &c.callName()},
                       {"Phone", &c.callPhone()},
                       {"Date", &c.callDate()},
                       {"Type", &c.callType()},
                       {"Duration", &c.callDuration()}});
}

QString PRRtfController::bookMarkText(const PRBookMarkNode &b)
{
    return recordLine({{"Title", &b.bookMarkTitle()}, {"URL", &b.bookMarkURL()}});
}

QString PRRtfController::calendarText(const PRCalenderNode &c)
{
    return recordLine({{"Title", &c.calTitle()},
                       {"Note", &c.calNote()},
                       {"Start Date", &c.startDate()},
                       {"End Date", &c.endDate()}});
}
