#include "tests/support/qtprinters.h"

#include "backup/export/prhtmlcontroller.h"
#include "backup/export/prrtfcontroller.h"
#include "backup/export/prvcfcontroller.h"
#include "backup/nodes/prbookmarknode.h"
#include "backup/nodes/prcalendernode.h"
#include "backup/nodes/prcallhistorynode.h"
#include "backup/nodes/prcontactnode.h"
#include "backup/nodes/prmessagenode.h"
#include "backup/nodes/prnotenode.h"
#include "filesafety/exportpaths.h"
#include "tests/results/vcardreader.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace PRExportPaths;

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

void put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList &criticalMessages()
{
    static QStringList messages;
    return messages;
}

void collectCritical(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg)
        criticalMessages().append(message);
}

std::shared_ptr<PRMessageNode> message(const QString &name, const QString &date, const QString &type,
                                       const QString &content, const QString &attachment = QString())
{
    auto node = std::make_shared<PRMessageNode>();
    node->setMessageName(name);
    node->setMessageDate(date);
    node->setMessageType(type);
    node->setMessageContent(content);
    if (!attachment.isNull()) {
        node->setIsHasAttach(true);
        node->setAttachmentPath(attachment);
        node->setAttachType(QStringLiteral("Image"));
    }
    return node;
}

} // namespace

TEST(ExportWritersPaths, SafeComponentKeepsHostileNamesToOneName)
{
    const QString fb = QStringLiteral("unknown");
    EXPECT_EQ(safeComponent(QStringLiteral("../../x"), fb), QStringLiteral(".._.._x"));
    EXPECT_EQ(safeComponent(QStringLiteral("a/b"), fb), QStringLiteral("a_b"));
    EXPECT_EQ(safeComponent(QStringLiteral("a\\b"), fb), QStringLiteral("a_b"));
    EXPECT_EQ(safeComponent(QString::fromUtf16(u"a\0b", 3), fb), QStringLiteral("a_b"));
    EXPECT_EQ(safeComponent(QStringLiteral("Anna\nMaria\t\x7f"), fb), QStringLiteral("AnnaMaria"));
    EXPECT_EQ(safeComponent(QStringLiteral("  Anna  "), fb), QStringLiteral("Anna"));
    EXPECT_EQ(safeComponent(QStringLiteral("Zoë Smith.vcf"), fb), QStringLiteral("Zoë Smith.vcf"));
    for (const QString &empty : {QString(), QStringLiteral(""), QStringLiteral("."), QStringLiteral(".."),
                                 QStringLiteral(" .. "), QStringLiteral("\n\r"), QStringLiteral("   ")})
        EXPECT_EQ(safeComponent(empty, fb), fb) << empty.toStdString();
    // Half of a surrogate pair has no UTF-8 form.
    EXPECT_EQ(safeComponent(QString(QChar(0xd83d)) + QStringLiteral("x"), fb), QStringLiteral("x"));
}

TEST(ExportWritersPaths, FormatCharactersCannotDisguiseAName)
{
    const QString fb = QStringLiteral("fallback");
    // Shows as "fcv.exe.PDF" with the override kept.
    EXPECT_EQ(safeComponent(QStringLiteral("\u202eFDP.exe.vcf"), fb), QStringLiteral("FDP.exe.vcf"));
    const QString formats = QStringLiteral("\u200b\u200c\u200d\u200e\u200f\u202a\u202b\u202c\u202d\u202e"
                                           "\u2066\u2067\u2068\u2069\ufeff\u061c\u00ad\u2028\u2029");
    for (const QChar c : formats)
        EXPECT_EQ(safeComponent(QStringLiteral("a") + c + QStringLiteral("b"), fb), QStringLiteral("ab"))
            << int(c.unicode());
    // Outside the first plane too (a language tag); other characters of that plane stay.
    EXPECT_EQ(safeComponent(QString::fromUcs4(U"\U000E0001x\U0001F600"), fb), QString::fromUcs4(U"x\U0001F600"));
    EXPECT_EQ(safeComponent(formats, fb), fb) << "nothing visible left";
    EXPECT_EQ(safeComponent(QStringLiteral("\u202e.."), fb), fb);
    EXPECT_EQ(safeRelativePath(QStringLiteral("Home\u202eDomain/\u2066../x"), fb), QStringLiteral("HomeDomain/x"));
    EXPECT_EQ(withoutFormatCharacters(QStringLiteral("Zo\u00eb\u202e/\u2067a")), QStringLiteral("Zo\u00eb/a"));
}

TEST(ExportWritersPaths, SafeComponentCutsAt200BytesBetweenCharacters)
{
    const QString fb = QStringLiteral("fallback");
    EXPECT_EQ(safeComponent(QString(300, QLatin1Char('x')), fb), QString(200, QLatin1Char('x')));
    const QString emoji = QStringLiteral("\U0001F600");
    // 198 + 4 bytes would pass the limit: the emoji goes whole.
    const QString cut = safeComponent(QString(198, QLatin1Char('a')) + emoji + QStringLiteral("b"), fb);
    EXPECT_EQ(cut, QString(198, QLatin1Char('a')));
    // 196 + 4 bytes fit exactly.
    const QString fits = safeComponent(QString(196, QLatin1Char('a')) + emoji + emoji, fb);
    EXPECT_EQ(fits, QString(196, QLatin1Char('a')) + emoji);
    EXPECT_EQ(fits.toUtf8().size(), 200);
    EXPECT_EQ(safeComponent(QString(199, QLatin1Char('a')) + QStringLiteral("é"), fb), QString(199, QLatin1Char('a')));
    EXPECT_EQ(safeComponent(QString(199, QLatin1Char('a')) + QStringLiteral(" tail"), fb),
              QString(199, QLatin1Char('a')))
        << "no blank left at the end of the cut";
    const QString emojis = safeComponent(QString(80, QChar(0x20ac)) /* 3 bytes each */ + emoji, fb);
    EXPECT_EQ(emojis.toUtf8().size(), 198);
    EXPECT_EQ(QString::fromUtf8(emojis.toUtf8()), emojis) << "valid UTF-8";
}

TEST(ExportWritersPaths, SafeRelativePathStaysBelowItsRoot)
{
    const QString fb = QStringLiteral("file");
    EXPECT_EQ(safeRelativePath(QStringLiteral("../../etc/passwd"), fb), QStringLiteral("etc/passwd"));
    EXPECT_EQ(safeRelativePath(QStringLiteral("HomeDomain/Library/../../../x"), fb),
              QStringLiteral("HomeDomain/Library/x"));
    EXPECT_EQ(safeRelativePath(QStringLiteral("/abs//a/./b/"), fb), QStringLiteral("abs/a/b"));
    EXPECT_EQ(safeRelativePath(QStringLiteral("a\\..\\b"), fb), QStringLiteral("a_.._b"));
    EXPECT_EQ(safeRelativePath(QStringLiteral("a/ .. /b"), fb), QStringLiteral("a/b"));
    EXPECT_EQ(safeRelativePath(QString::fromUtf16(u"a/\0/b", 5), fb), QStringLiteral("a/_/b"));
    for (const QString &empty : {QString(), QStringLiteral(""), QStringLiteral("/"), QStringLiteral("../.."),
                                 QStringLiteral("./."), QStringLiteral("\n/..")})
        EXPECT_EQ(safeRelativePath(empty, fb), fb) << empty.toStdString();
    const QString longPiece = QString(500, QLatin1Char('z'));
    EXPECT_EQ(safeRelativePath(QStringLiteral("d/") + longPiece, fb), QStringLiteral("d/") + QString(200, QLatin1Char('z')));

    QTemporaryDir dir;
    for (const QString &hostile : {QStringLiteral("../../x"), QStringLiteral("a/../../../b"), QStringLiteral(".."),
                                   QStringLiteral("/etc/passwd"), QString::fromUtf16(u"..\0/..", 6)})
        EXPECT_TRUE(isInside(dir.path(), dir.filePath(safeRelativePath(hostile, fb)))) << hostile.toStdString();
}

// "..." is a valid name on a phone; a file system that drops trailing dots
// reads it as the folder itself. A cut name keeps its type.
TEST(ExportWritersPaths, DotsBecomePlainNamesAndCutNamesKeepTheirExtension)
{
    const QString fb = QStringLiteral("file");
    for (const QString &dots : {QStringLiteral("..."), QStringLiteral(". ."), QStringLiteral(".\u202e..")})
        EXPECT_EQ(safeComponent(dots, fb), fb) << dots.toStdString();
    EXPECT_EQ(safeComponent(QStringLiteral("a..."), fb), QStringLiteral("a..."));
    EXPECT_EQ(safeRelativePath(QStringLiteral("a/.../b"), fb), QStringLiteral("a/file/b"));
    EXPECT_EQ(mirroredRelativePath(QStringLiteral("/a/..."), fb), QStringLiteral("a/file"));
    EXPECT_EQ(mirroredRelativePath(QStringLiteral("/a/.b/..c/../."), fb), QStringLiteral("a/b/.c"));

    const auto n = [](int count, char c) { return QString(count, QLatin1Char(c)); };
    EXPECT_EQ(safeComponent(n(246, 'n') + QStringLiteral(".jpg"), fb), n(196, 'n') + QStringLiteral(".jpg"));
    // Cut between characters (3 bytes each), a blank at the cut dropped.
    EXPECT_EQ(safeComponent(QString(100, QChar(0x20ac)) + QStringLiteral(".heic"), fb),
              QString(65, QChar(0x20ac)) + QStringLiteral(".heic"));
    EXPECT_EQ(safeComponent(n(196, 'a') + QStringLiteral(" ") + n(60, 'c') + QStringLiteral(".tar.gz"), fb),
              n(196, 'a') + QStringLiteral(".gz"));
    // No extension: a long tail, a blank in it, a leading dot only.
    for (const QString &name : {QStringLiteral("a.") + n(300, 't'), n(250, 's') + QStringLiteral(". x"),
                                QStringLiteral(".") + n(250, 'h')})
        EXPECT_EQ(safeComponent(name, fb), name.left(200).trimmed());
}

TEST(ExportWritersPaths, IsInsideFollowsSymlinksAndCleansPaths)
{
    QTemporaryDir base;
    const QString root = base.filePath(QStringLiteral("root"));
    const QString outside = base.filePath(QStringLiteral("outside"));
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/sub")));
    ASSERT_TRUE(QDir().mkpath(outside));

    EXPECT_TRUE(isInside(root, root + QStringLiteral("/sub/new/file.txt"))) << "need not exist yet";
    EXPECT_TRUE(isInside(root, root));
    EXPECT_FALSE(isInside(root, root + QStringLiteral("/sub/../../outside/x")));
    EXPECT_FALSE(isInside(root, base.filePath(QStringLiteral("rootx/a")))) << "a name sharing the prefix";
    EXPECT_FALSE(isInside(root, QString()));
    EXPECT_FALSE(isInside(QString(), root));

    ASSERT_TRUE(QFile::link(outside, root + QStringLiteral("/escape")));
    EXPECT_FALSE(isInside(root, root + QStringLiteral("/escape")));
    EXPECT_FALSE(isInside(root, root + QStringLiteral("/escape/new/file.txt")));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/sub"), root + QStringLiteral("/alias")));
    EXPECT_TRUE(isInside(root, root + QStringLiteral("/alias/x")));
    // Where a dangling link leads cannot be told: not inside.
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/later"), root + QStringLiteral("/dangling")));
    EXPECT_FALSE(isInside(root, root + QStringLiteral("/dangling")));

    // The root itself reached through a link.
    ASSERT_TRUE(QFile::link(root, base.filePath(QStringLiteral("rootlink"))));
    EXPECT_TRUE(isInside(base.filePath(QStringLiteral("rootlink")), root + QStringLiteral("/sub/a")));
}

TEST(ExportWritersPaths, UniquePathCountsAfterTheFirstDot)
{
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("clip.mov.mov"));
    EXPECT_EQ(uniquePath(clip), clip);
    put(clip, "1");
    EXPECT_EQ(uniquePath(clip), dir.filePath(QStringLiteral("clip 2.mov.mov")));
    put(dir.filePath(QStringLiteral("clip 2.mov.mov")), "2");
    EXPECT_EQ(uniquePath(clip), dir.filePath(QStringLiteral("clip 3.mov.mov")));

    put(dir.filePath(QStringLiteral(".profile")), "");
    EXPECT_EQ(uniquePath(dir.filePath(QStringLiteral(".profile"))), dir.filePath(QStringLiteral(".profile 2")));
    put(dir.filePath(QStringLiteral(".config.json")), "");
    EXPECT_EQ(uniquePath(dir.filePath(QStringLiteral(".config.json"))), dir.filePath(QStringLiteral(".config 2.json")));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Contact")));
    EXPECT_EQ(uniquePath(dir.filePath(QStringLiteral("Contact"))), dir.filePath(QStringLiteral("Contact 2")));
    // A dangling link is taken too: writing through it would land elsewhere.
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("nowhere")), dir.filePath(QStringLiteral("a.txt"))));
    EXPECT_EQ(uniquePath(dir.filePath(QStringLiteral("a.txt"))), dir.filePath(QStringLiteral("a 2.txt")));
}

TEST(ExportWritersPaths, WriteNewFileNeverReplacesAndFailsCleanly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Anna.vcf"));
    EXPECT_EQ(writeNewFile(path, "first"), path);
    EXPECT_EQ(writeNewFile(path, "second"), dir.filePath(QStringLiteral("Anna 2.vcf")));
    EXPECT_EQ(writeNewFile(path, ""), dir.filePath(QStringLiteral("Anna 3.vcf")));
    EXPECT_EQ(contents(path), "first");
    EXPECT_EQ(contents(dir.filePath(QStringLiteral("Anna 2.vcf"))), "second");
    EXPECT_EQ(contents(dir.filePath(QStringLiteral("Anna 3.vcf"))), "");

    // A link planted at the name is neither followed nor replaced.
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath(QStringLiteral("victim"));
    ASSERT_TRUE(QFile::link(victim, dir.filePath(QStringLiteral("Notes.txt"))));
    EXPECT_EQ(writeNewFile(dir.filePath(QStringLiteral("Notes.txt")), "x"), dir.filePath(QStringLiteral("Notes 2.txt")));
    EXPECT_FALSE(QFile::exists(victim));

    // A folder that cannot hold files (its "parent" is a file): nothing written, nothing left.
    const QStringList before = entries(dir.path());
    EXPECT_EQ(writeNewFile(path + QStringLiteral("/inner.txt"), "x"), QString());
    EXPECT_EQ(writeNewFile(dir.filePath(QStringLiteral("missing/inner.txt")), "x"), QString());
    EXPECT_EQ(writeNewFile(dir.filePath(QString(300, QLatin1Char('n'))), "x"), QString()) << "name too long";
    EXPECT_EQ(writeNewFile(QString(), "x"), QString());
    EXPECT_EQ(entries(dir.path()), before);
}

TEST(ExportWritersPaths, AClaimedNameIsFilledLaterAndNeverTakenMeanwhile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Contacts.txt"));
    const QString claimed = claimNewFile(path);
    ASSERT_EQ(claimed, path);
    EXPECT_EQ(contents(path), "");
    EXPECT_EQ(writeNewFile(path, "backup"), dir.filePath(QStringLiteral("Contacts 2.txt")));
    EXPECT_TRUE(fillClaimedFile(claimed, "report"));
    EXPECT_EQ(contents(path), "report");
    EXPECT_EQ(contents(dir.filePath(QStringLiteral("Contacts 2.txt"))), "backup");
    EXPECT_EQ(claimNewFile(path), dir.filePath(QStringLiteral("Contacts 3.txt")));
    EXPECT_EQ(claimNewFile(dir.filePath(QStringLiteral("missing/x.txt"))), QString());
    EXPECT_FALSE(fillClaimedFile(QString(), "x"));
}

TEST(ExportWritersText, RecordTextsWithTwoBlanksAfterEachValue)
{
    PRContactNode contact;
    contact.setContactName(QStringLiteral("Anna"));
    contact.setContactPhone(QStringLiteral(" 555 1 555 2"));
    contact.setContactNote(QStringLiteral("line\nbreak"));
    contact.setContactEmail(QString()); // absent: nothing written, like empty
    EXPECT_EQ(PRRtfController::contactText(contact),
              QStringLiteral("Name:Anna  Phone: 555 1 555 2  Email:  Company:  JobTitle:  Home Page:  Birthday:  "
                             "Note:line\nbreak  "));
    PRCallHistoryNode call;
    call.setCallName(QStringLiteral("Bo"));
    call.setCallPhone(QStringLiteral("555"));
    call.setCallDate(QStringLiteral("2014-01-02 03:04:05"));
    call.setCallType(QStringLiteral("Outgoing"));
    call.setCallDuration(QStringLiteral("Missed"));
    EXPECT_EQ(PRRtfController::callText(call),
              QStringLiteral("Name:Bo  Phone:555  Date:2014-01-02 03:04:05  Type:Outgoing  Duration:Missed  "));
    PRBookMarkNode mark;
    mark.setBookMarkTitle(QStringLiteral("Qt"));
    mark.setBookMarkURL(QStringLiteral("https://qt.io"));
    EXPECT_EQ(PRRtfController::bookMarkText(mark), QStringLiteral("Title:Qt  URL:https://qt.io  "));
    PRCalenderNode event;
    event.setCalTitle(QStringLiteral("Dentist"));
    event.setStartDate(QStringLiteral("9:00"));
    event.setEndDate(QStringLiteral("10:00"));
    EXPECT_EQ(PRRtfController::calendarText(event),
              QStringLiteral("Title:Dentist  Note:  Start Date:9:00  End Date:10:00  "));
}

TEST(ExportWritersText, NotesFileByteForByteAndNeverReplaced)
{
    QTemporaryDir dir;
    PRRtfController writer;
    PRNoteNode first;
    first.setNoteTitle(QStringLiteral("Shopping"));
    first.setNoteContent(QStringLiteral("Milk\nBread"));
    first.setNoteDate(QStringLiteral("2014-05-06 07:08:09"));
    PRNoteNode second;
    second.setNoteTitle(QStringLiteral("Zoë"));
    writer.addRtfContent(PRRtfController::noteText(first));
    writer.addRtfContent(PRRtfController::noteText(second));
    const QString written = writer.writeRtfInPath(dir.path(), QStringLiteral("Note"));
    EXPECT_EQ(written, dir.filePath(QStringLiteral("Notes.txt")));
    EXPECT_EQ(contents(written), QByteArray("Title:Shopping  Note:Milk\nBread  Date:2014-05-06 07:08:09  \n\n"
                                            "Title:Zo\xc3\xab  Note:  Date:  \n\n"));

    // A second export into the same folder keeps the first one's file.
    PRRtfController empty;
    EXPECT_EQ(empty.writeRtfInPath(dir.path(), QStringLiteral("Note")), dir.filePath(QStringLiteral("Notes 2.txt")));
    EXPECT_EQ(contents(dir.filePath(QStringLiteral("Notes 2.txt"))), QByteArray(""));
    EXPECT_TRUE(contents(written).startsWith("Title:Shopping")) << "the first export's file stays";
    EXPECT_EQ(writer.writeRtfInPath(dir.filePath(QStringLiteral("gone")), QStringLiteral("Note")), QString());
}

TEST(ExportWritersText, FileNamesByKind)
{
    EXPECT_EQ(PRRtfController::fileNameForKind(QStringLiteral("Contact")), QStringLiteral("Contacts.txt"));
    EXPECT_EQ(PRRtfController::fileNameForKind(QStringLiteral("Message")), QStringLiteral("Messages.txt"));
    EXPECT_EQ(PRRtfController::fileNameForKind(QStringLiteral("Callhistory")), QStringLiteral("Call History.txt"));
    EXPECT_EQ(PRRtfController::fileNameForKind(QStringLiteral("Note")), QStringLiteral("Notes.txt"));
    EXPECT_EQ(PRRtfController::fileNameForKind(QStringLiteral("BookMark")), QStringLiteral("BookMark.txt"));
    EXPECT_EQ(PRRtfController::fileNameForKind(QStringLiteral("Calendar&Reminder")),
              QStringLiteral("Calendar&Reminder.txt"));
    EXPECT_EQ(PRRtfController::fileNameForKind(QStringLiteral("note")), QStringLiteral("TXT.txt")) << "case matters";
    EXPECT_EQ(PRRtfController::fileNameForKind(QStringLiteral("CallHistory")), QStringLiteral("TXT.txt"));
}

TEST(ExportWritersVCard, CardsByteForByte)
{
    PRContactNode contact;
    contact.setContactName(QStringLiteral("Anna Berg"));
    contact.setContactCompany(QStringLiteral("Ostra AB"));
    contact.setContactPhone(QStringLiteral(" 555 1"));
    const QByteArray card = PRVCFController::cardBytes(contact);
    EXPECT_EQ(card, QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Anna Berg\r\nFN:Anna Berg\r\nORG:Ostra AB\r\n"
                               "EMAIL;INTERNET;HOME;PREF:\r\nTEL;CELL;PREF:555 1\r\nURL:\r\nEND:VCARD"));
    EXPECT_EQ(card.split('\n').size(), 9);

    contact.setImageData(QByteArray("\xff", 1));
    EXPECT_EQ(PRVCFController::cardBytes(contact),
              QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Anna Berg\r\nFN:Anna Berg\r\nORG:Ostra AB\r\n"
                         "EMAIL;INTERNET;HOME;PREF:\r\nTEL;CELL;PREF:555 1\r\nURL:\r\n"
                         "PHOTO;ENCODING=b;TYPE=JPEG:/w==\r\nEND:VCARD"));

    // A photo larger than one encoding piece is still one line of standard Base64.
    QByteArray big(3 * 1024 * 1024 + 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char(i * 7 + i / 251);
    contact.setImageData(big);
    const QByteArray withBig = PRVCFController::cardBytes(contact);
    const QByteArray photoLine = "PHOTO;ENCODING=b;TYPE=JPEG:" + big.toBase64() + "\r\n";
    EXPECT_TRUE(withBig.contains(photoLine));
    EXPECT_EQ(withBig.size(), card.size() + photoLine.size());

    QTemporaryDir dir;
    PRVCFController writer;
    const QString path = dir.filePath(QStringLiteral("Anna Berg.vcf"));
    EXPECT_EQ(writer.creatFile(PRContactNode(), path), path);
    EXPECT_EQ(writer.creatFile(contact, path), dir.filePath(QStringLiteral("Anna Berg 2.vcf")));
    EXPECT_EQ(contents(path), PRVCFController::cardBytes(PRContactNode()));
    EXPECT_EQ(contents(dir.filePath(QStringLiteral("Anna Berg 2.vcf"))), withBig);
}

TEST(ExportWritersVCard, ValuesCannotAddLinesOrProperties)
{
    EXPECT_EQ(PRVCFController::escapedValue(QStringLiteral("plain value 1")), QStringLiteral("plain value 1"));
    EXPECT_EQ(PRVCFController::escapedValue(QStringLiteral("a\\b;c,d")), QStringLiteral("a\\\\b\\;c\\,d"));
    EXPECT_EQ(PRVCFController::escapedValue(QStringLiteral("1\r\n2\r3\n4\n\r5")), QStringLiteral("1\\n2\\n3\\n4\\n\\n5"));

    PRContactNode contact;
    contact.setContactName(QStringLiteral("Eve\r\nEND:VCARD\r\nBEGIN:VCARD"));
    contact.setContactCompany(QStringLiteral("A;B"));
    contact.setContactEmail(QStringLiteral("e@x.org\nTEL:666"));
    contact.setContactHomepage(QStringLiteral("http://x/?a=1,2"));
    const QByteArray card = PRVCFController::cardBytes(contact);
    EXPECT_EQ(card, QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Eve\\nEND:VCARD\\nBEGIN:VCARD\r\n"
                               "FN:Eve\\nEND:VCARD\\nBEGIN:VCARD\r\nORG:A\\;B\r\n"
                               "EMAIL;INTERNET;HOME;PREF:e@x.org\\nTEL:666\r\nTEL;CELL;PREF:\r\n"
                               "URL:http://x/?a=1\\,2\r\nEND:VCARD"));
    EXPECT_EQ(card.count("\n"), 8);
}

// A contact's numbers arrive as one text, each after a blank; an address book
// takes one number per TEL line, the first the preferred one.
TEST(ExportWritersVCard, EachNumberOnATelLineOfItsOwn)
{
    const QStringList cases[] = {
        {" +1 (415) 555-0107 +1 (415) 555-0108", "+1 (415) 555-0107", "+1 (415) 555-0108"},
        {" (415) 555-0178 (415) 555-0179", "(415) 555-0178", "(415) 555-0179"},
        {" +1 415-555-0112 628.555.0162", "+1 415-555-0112", "628.555.0162"},
        {" 020 7946 0958 +353 87 555 0123", "020 7946 0958", "+353 87 555 0123"},
        {" +44 (0) 20 7946 0958 ext. 12", "+44 (0) 20 7946 0958 ext. 12"},
        {" 1;2,3", "1;2,3"},
        {"", ""}};
    QTemporaryDir dir;
    for (const QStringList &c : cases) {
        PRContactNode contact;
        contact.setContactPhone(c.first());
        const VCardReading card =
            readVCard(contents(PRVCFController().creatFile(contact, dir.filePath(QStringLiteral("a.vcf")))));
        ASSERT_TRUE(card.valid()) << card.error.toStdString();
        QStringList tel{c.first()};
        for (const VCardReading::Property &property : card.properties)
            if (property.name == QLatin1String("TEL"))
                tel << property.value + QLatin1Char('|') + property.params;
        QStringList expected{c.first()};
        for (qsizetype i = 1; i < c.size(); ++i)
            expected << c.at(i) + (i == 1 ? QStringLiteral("|CELL;PREF") : QStringLiteral("|CELL"));
        EXPECT_EQ(tel, expected);
        EXPECT_EQ(card.names().indexOf(QStringLiteral("URL")), 6 + c.size() - 1) << "nothing else moves";
    }
    // Numbers the address book gave one by one are written as they came,
    // where their joined text cannot tell where one ends.
    PRContactNode contact;
    contact.setContactPhone(QStringLiteral(" 555 0100 555 0101"));
    contact.setPhoneNumbers({QStringLiteral("555 0100"), QStringLiteral("555 0101")});
    const VCardReading card =
        readVCard(contents(PRVCFController().creatFile(contact, dir.filePath(QStringLiteral("b.vcf")))));
    QStringList tel;
    for (const VCardReading::Property &property : card.properties)
        if (property.name == QLatin1String("TEL"))
            tel << property.value;
    EXPECT_EQ(tel, contact.phoneNumbers());
}

TEST(ExportWritersVCard, BaseEncodeNeverWritesPastItsArea)
{
    const char *alphabet = PRVCFController::base64Alphabet;
    const auto encode = [alphabet](const QByteArray &in, bool padded) {
        char out[32];
        const int n = PRVCFController::baseEncode(reinterpret_cast<const unsigned char *>(in.constData()),
                                                  int(in.size()), out, sizeof out, alphabet, padded);
        return QByteArray(out, n);
    };
    // RFC 4648, section 10.
    EXPECT_EQ(encode("f", true), "Zg==");
    EXPECT_EQ(encode("fo", true), "Zm8=");
    EXPECT_EQ(encode("foo", true), "Zm9v");
    EXPECT_EQ(encode("foob", true), "Zm9vYg==");
    EXPECT_EQ(encode("fooba", true), "Zm9vYmE=");
    EXPECT_EQ(encode("foobar", true), "Zm9vYmFy");
    EXPECT_EQ(encode("foob", false), "Zm9vYg");
    EXPECT_EQ(encode("fooba", false), "Zm9vYmE");
    EXPECT_EQ(encode(QByteArray("\xfb\xff", 2), true), "+/8=");

    const unsigned char src[] = {'f', 'o', 'o', 'b'};
    char area[12];
    EXPECT_EQ(PRVCFController::baseEncode(nullptr, 4, area, 12, alphabet, true), 0);
    EXPECT_EQ(PRVCFController::baseEncode(src, 4, nullptr, 12, alphabet, true), 0);
    EXPECT_EQ(PRVCFController::baseEncode(src, 0, area, 12, alphabet, true), 0);
    EXPECT_EQ(PRVCFController::baseEncode(src, 4, area, 0, alphabet, true), 0);
    EXPECT_EQ(PRVCFController::baseEncode(src, 4, area, 12, nullptr, true), 0);

    // One character short of "Zm9vYg==": reported, and not one byte written.
    criticalMessages().clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectCritical);
    std::fill(std::begin(area), std::end(area), '#');
    const int written = PRVCFController::baseEncode(src, 4, area, 7, alphabet, true);
    qInstallMessageHandler(previous);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(QByteArray(area, sizeof area), QByteArray(12, '#'));
    ASSERT_EQ(criticalMessages().size(), 1);
    EXPECT_TRUE(criticalMessages().first().contains(QLatin1String("our calc for encoded length was wrong")));
    EXPECT_EQ(PRVCFController::baseEncode(src, 4, area, 6, alphabet, false), 6) << "unpadded needs only six";
}

TEST(ExportWritersHtml, PageOfTwoConversationsByteForByte)
{
    PRMessageTreeNode anna;
    anna.setMessageTreeNodeName(QStringLiteral("Anna"));
    anna.setMessageTreeNodeAdress(QStringLiteral("+46 555"));
    anna.messages() = {message(QStringLiteral("Anna"), QStringLiteral("2014-01-01 10:00"), QStringLiteral("Received"),
                               QStringLiteral("Hi there")),
                       message(QStringLiteral(""), QStringLiteral("2014-01-01 10:01"), QStringLiteral("Send"),
                               QStringLiteral("Hello")),
                       message(QStringLiteral("Anna"), QStringLiteral("2014-01-01 10:02"), QStringLiteral("Received"),
                               QString(), QStringLiteral("/b/Attachments/a.jpg"))};
    PRMessageTreeNode bo;
    bo.setMessageTreeNodeName(QStringLiteral("Bo"));
    bo.setMessageTreeNodeAdress(QStringLiteral("bo@x.org"));
    bo.messages() = {message(QStringLiteral(" "), QStringLiteral("2014-02-02 09:00"), QStringLiteral("Send"),
                             QString(), QStringLiteral("/b/Attachments/b.jpg")),
                     message(QStringLiteral("Bo"), QStringLiteral("2014-02-02 09:05"), QStringLiteral("unknown"),
                             QStringLiteral("ok"))};

    PRHtmlController page;
    page.initMessageHtmlHeader(QStringLiteral("Ostra iPhone"));
    for (PRMessageTreeNode *conversation : {&anna, &bo}) {
        page.addHtmlContent(PRHtmlController::headRow(*conversation));
        for (const auto &m : conversation->messages())
            page.addHtmlContent(PRHtmlController::messageRow(*m));
        page.addHtmlContent(PRHtmlController::endRow());
    }
    QTemporaryDir dir;
    const QString written = page.writeHtmlInPath(dir.filePath(QStringLiteral("Ostra iPhone Message.html")));
    ASSERT_EQ(written, dir.filePath(QStringLiteral("Ostra iPhone Message.html")));
    const QByteArray bytes = contents(written);
    ASSERT_TRUE(bytes.startsWith("\xff\xfe")) << "UTF-16 little-endian with its byte-order mark";
    QStringDecoder fromUtf16(QStringConverter::Utf16LE);
    const QString html = fromUtf16(bytes.mid(2));
    const QString css = html.section(QStringLiteral("<style>"), 1).section(QStringLiteral("</style>"), 0, 0);
    const QString expected =
        QStringLiteral("<!DOCTYPE html><html lang='en'><head><meta charset='utf-8'><title>Ostra iPhone</title><style>")
        + css + QStringLiteral("</style></head><body><h1>Ostra iPhone</h1><div id='container'><div class='content'>")
        + QStringLiteral("<p><h3>Name: Anna &nbsp;&nbsp;Phone: +46 555 "
                         "<p class='name'>Name: Anna &nbsp;&nbsp; Date: 2014-01-01 10:00 <p>"
                         "<p class='triangle-isosceles'> Hi there </p>"
                         "<p class='name'>Name: Me &nbsp;&nbsp; Date: 2014-01-01 10:01 <p>"
                         "<p class='triangle-isosceles2'> Hello </p>"
                         "<p class='name'>Name: Anna &nbsp;&nbsp; Date: 2014-01-01 10:02 <p>"
                         "<p><img src='/b/Attachments/a.jpg'/></p>"
                         "<hr/>"
                         "<p><h3>Name: Bo &nbsp;&nbsp;Phone: bo@x.org "
                         "<p class='name'>Name: Me &nbsp;&nbsp; Date: 2014-02-02 09:00 <p>"
                         "<p class='imgdic'><img src='/b/Attachments/b.jpg'/></p>"
                         "<p class='name'>Name: Bo &nbsp;&nbsp; Date: 2014-02-02 09:05 <p>"
                         "<p class='triangle-isosceles'> ok </p>"
                         "<hr/>"
                         "</div></div></body></html>");
    EXPECT_EQ(bytes, QByteArray("\xff\xfe", 2) + QByteArray(reinterpret_cast<const char *>(expected.utf16()),
                                                            expected.size() * 2));
    EXPECT_EQ(html, page.strHtmlContent());

    // The style sheet: its rules in order, and the bubbles' own colours and sides.
    QStringList selectors;
    for (const QString &rule : css.split(QLatin1Char('}'), Qt::SkipEmptyParts))
        if (!rule.trimmed().isEmpty())
            selectors.append(rule.section(QLatin1Char('{'), 0, 0).trimmed());
    EXPECT_EQ(selectors, QStringList({"body", ".date", "#container", "h1", "h3", ".triangle-isosceles",
                                      ".triangle-isosceles:after", ".content", ".triangle-isosceles2",
                                      ".triangle-isosceles2:after", ".triangle-isosceles3",
                                      ".triangle-isosceles3:after", "hr", ".imgdic"}));
    const auto rule = [&css](const QString &selector) {
        return css.section(QLatin1Char('\n') + selector + QLatin1Char('{'), 1).section(QLatin1Char('}'), 0, 0);
    };
    EXPECT_TRUE(rule(QStringLiteral("\t.triangle-isosceles")).contains(QLatin1String("linear-gradient(#f3f3f3, #dedede)")));
    EXPECT_TRUE(rule(QStringLiteral("\t.triangle-isosceles2")).contains(QLatin1String("left:170px")));
    EXPECT_TRUE(rule(QStringLiteral(".triangle-isosceles2:after")).contains(QLatin1String("right:30px")));
    EXPECT_TRUE(rule(QStringLiteral(".triangle-isosceles2:after")).contains(QLatin1String("#8eca35 transparent")));
    EXPECT_TRUE(rule(QStringLiteral(".triangle-isosceles:after")).contains(QLatin1String("left:30px")));
    EXPECT_TRUE(rule(QStringLiteral(".imgdic")).contains(QLatin1String("left:170px;position:relative")));
}

TEST(ExportWritersHtml, ReceivedTextCannotInjectMarkup)
{
    EXPECT_EQ(PRHtmlController::escaped(QStringLiteral("plain, text; 100% 'ok'")),
              QStringLiteral("plain, text; 100% &#39;ok&#39;"));
    EXPECT_EQ(PRHtmlController::escaped(QStringLiteral("<script>alert(\"x\")</script> & more")),
              QStringLiteral("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; more"));

    PRMessageTreeNode conversation;
    conversation.setMessageTreeNodeName(QStringLiteral("<b>Eve</b>"));
    conversation.setMessageTreeNodeAdress(QStringLiteral("a&b"));
    EXPECT_EQ(PRHtmlController::headRow(conversation),
              QStringLiteral("<p><h3>Name: &lt;b&gt;Eve&lt;/b&gt; &nbsp;&nbsp;Phone: a&amp;b "));
    EXPECT_EQ(PRHtmlController::messageRow(*message(QStringLiteral("Eve\""), QStringLiteral("<now>"),
                                                    QStringLiteral("Received"),
                                                    QStringLiteral("<img src=x onerror=alert(1)>"))),
              QStringLiteral("<p class='name'>Name: Eve&quot; &nbsp;&nbsp; Date: &lt;now&gt; <p>"
                             "<p class='triangle-isosceles'> &lt;img src=x onerror=alert(1)&gt; </p>"));
    EXPECT_EQ(PRHtmlController::messageRow(*message(QStringLiteral("Eve"), QStringLiteral("d"), QStringLiteral("Send"),
                                                    QString(), QStringLiteral("x' onerror='alert(1)"))),
              QStringLiteral("<p class='name'>Name: Eve &nbsp;&nbsp; Date: d <p>"
                             "<p class='imgdic'><img src='x&#39; onerror=&#39;alert(1)'/></p>"));

    PRHtmlController page;
    page.initMessageHtmlHeader(QStringLiteral("</title><script>x</script>'s Message"));
    EXPECT_TRUE(page.strHtmlContent().contains(
        QLatin1String("<title>&lt;/title&gt;&lt;script&gt;x&lt;/script&gt;&#39;s Message</title>")));
    EXPECT_TRUE(page.strHtmlContent().contains(
        QLatin1String("<h1>&lt;/title&gt;&lt;script&gt;x&lt;/script&gt;&#39;s Message</h1>")));
    EXPECT_FALSE(page.strHtmlContent().contains(QLatin1String("<script>")));
}

TEST(ExportWritersHtml, ExportedAttachmentsByRelativeEscapedReference)
{
    const auto attached = [](const QString &type, const QString &path) {
        return message(QStringLiteral("Eve"), QStringLiteral("d"), type, QString(), path);
    };
    const auto received = attached(QStringLiteral("Received"), QStringLiteral("/home/anna/backups/abc/12/1234"));
    EXPECT_EQ(PRHtmlController::messageRow(*received, QStringLiteral("Anna's #1 page_files/x y.png"), true),
              QStringLiteral("<p class='name'>Name: Eve &nbsp;&nbsp; Date: d <p>"
                             "<p><img src='Anna%27s%20%231%20page_files/x%20y.png'/></p>"));
    const auto sent = attached(QStringLiteral("Send"), QStringLiteral("/home/anna/backups/abc/12/1234"));
    EXPECT_EQ(PRHtmlController::messageRow(*sent, QStringLiteral("a:b<c>.mov"), false),
              QStringLiteral("<p class='name'>Name: Eve &nbsp;&nbsp; Date: d <p>"
                             "<p class='imgdic'><a href='a%3Ab%3Cc%3E.mov'>a:b&lt;c&gt;.mov</a></p>"));
    // Nothing copied: no reference at all, least of all into the backup.
    const QString missing = PRHtmlController::messageRow(*received, QString(), true);
    EXPECT_FALSE(missing.contains(QLatin1String("/home/anna"))) << missing.toStdString();
    EXPECT_FALSE(missing.contains(QLatin1String("<img"))) << missing.toStdString();
    // A message without an attachment is the text row it always was.
    const auto text = message(QStringLiteral("Eve"), QStringLiteral("d"), QStringLiteral("Send"), QStringLiteral("hi"));
    EXPECT_EQ(PRHtmlController::messageRow(*text, QStringLiteral("x.png"), true), PRHtmlController::messageRow(*text));
}

TEST(ExportWritersHtml, ATakenNameGetsUnderscoreThenCounters)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Message.html")));
    const QString folder = dir.filePath(QStringLiteral("Message.html"));
    const QString path = folder + QStringLiteral("/page.html");
    const auto write = [&path](const QString &title) {
        PRHtmlController page;
        page.initMessageHtmlHeader(title);
        return page.writeHtmlInPath(path);
    };
    EXPECT_EQ(write(QStringLiteral("one")), path);
    EXPECT_EQ(write(QStringLiteral("two")), folder + QStringLiteral("/page_.html")) << "the folder's name stays";
    EXPECT_EQ(write(QStringLiteral("three")), folder + QStringLiteral("/page_ 2.html"));
    EXPECT_EQ(entries(folder), QStringList({"page.html", "page_ 2.html", "page_.html"}));
    EXPECT_TRUE(QString::fromUtf16(reinterpret_cast<const char16_t *>(contents(path).constData() + 2),
                                   (contents(path).size() - 2) / 2)
                    .contains(QLatin1String("<h1>one</h1>")));

    PRHtmlController twice;
    twice.initMessageHtmlHeader(QStringLiteral("t"));
    EXPECT_EQ(twice.writeHtmlInPath(dir.filePath(QStringLiteral("none/x.html"))), QString());
    const QString again = twice.writeHtmlInPath(dir.filePath(QStringLiteral("again.html")));
    EXPECT_EQ(again, dir.filePath(QStringLiteral("again.html")));
    EXPECT_EQ(twice.strHtmlContent().count(PRHtmlController::footer()), 1) << "a retried write ends the page once";
    EXPECT_TRUE(entries(dir.path()).contains(QStringLiteral("again.html")));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("none"))));
}
