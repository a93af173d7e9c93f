#include "tests/support/qtprinters.h"
#include "tests/transfer/personal/personalexport_testsupport.h"

#include "transfer/personal/pdfconversation.h"
#include "transfer/personal/personalexport.h"

#include "tests/results/vcardreader.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <iostream>
#include <thread>

using namespace personaltest;

namespace {

class PersonalExportTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_temp.isValid()); }

    // The Documents folder, not made yet: the exports make their folders.
    QString documents() const { return m_temp.filePath(QStringLiteral("home/Documents")); }
    // Stored files of a "backup" beside the home folder.
    QString stored(const QString &name) const { return m_temp.filePath(QStringLiteral("backup/") + name); }
    PersonalExport exporter() const { return PersonalExport(documents(), QStringLiteral("Ann's iPhone")); }

    QTemporaryDir m_temp;
};

const QString kDate = QStringLiteral("2023-05-01 10:00:00");

} // namespace

TEST_F(PersonalExportTest, ContactCardIsTheWritersBytesUnderTheContactsName)
{
    auto anna = contact(1, QStringLiteral("Anna Berg"), QStringLiteral("Acme; Inc"));
    anna->setContactEmail(QStringLiteral("anna@example.com"));
    anna->setContactPhone(QStringLiteral(" +49 30 1234 +49 30 5678"));
    const PersonalExportReport report = exporter().exportContacts({anna});

    EXPECT_EQ(exporter().contactFolder(), documents() + QStringLiteral("/Contact"));
    const QString card = documents() + QStringLiteral("/Contact/Anna Berg.vcf");
    EXPECT_EQ(report.total, 1);
    EXPECT_EQ(report.written, QStringList{card});
    EXPECT_TRUE(report.failed.isEmpty()) << report.failed.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(bytesOf(card), QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Anna Berg\r\nFN:Anna Berg\r\n"
                                        "ORG:Acme\\; Inc\r\nEMAIL;INTERNET;HOME;PREF:anna@example.com\r\n"
                                        "TEL;CELL;PREF:+49 30 1234\r\nTEL;CELL:+49 30 5678\r\nURL:\r\nEND:VCARD"));
    EXPECT_TRUE(readVCard(bytesOf(card)).valid()) << readVCard(bytesOf(card)).error.toStdString();
}

TEST_F(PersonalExportTest, ContactNamesFallBackAndNeverReplaceAFile)
{
    putFile(documents() + QStringLiteral("/Contact/Anna.vcf"), "mine");
    int lastDone = 0;
    const PersonalExportReport report =
        exporter().exportContacts({contact(3, QString(), QStringLiteral("Acme")), contact(7, QString()),
                                   contact(8, QStringLiteral("Anna")), contact(9, QStringLiteral("Anna"))},
                                  [&](int done, int total) {
                                      EXPECT_EQ(done, lastDone + 1);
                                      EXPECT_EQ(total, 4);
                                      lastDone = done;
                                  });
    EXPECT_EQ(lastDone, 4);
    EXPECT_EQ(report.written.size(), 4);
    EXPECT_EQ(entries(exporter().contactFolder()),
              QStringList({"Acme.vcf", "Anna 2.vcf", "Anna 3.vcf", "Anna.vcf", "unknown 7.vcf"}));
    EXPECT_EQ(bytesOf(documents() + QStringLiteral("/Contact/Anna.vcf")), QByteArray("mine"));
}

TEST_F(PersonalExportTest, HostileNamesStayInsideAsVisibleNames)
{
    const QStringList hostile = {QStringLiteral("../../x"), QStringLiteral("a/b"), QStringLiteral(".hidden")};
    QList<std::shared_ptr<PRContactNode>> contacts;
    QList<std::shared_ptr<PRMessageTreeNode>> conversations;
    QList<std::shared_ptr<PRNoteNode>> notes;
    for (const QString &name : hostile) {
        contacts.append(contact(1, name));
        conversations.append(conversation(name, QStringLiteral("+1"), {textMessage(name, "Send", name)}));
    }
    putFile(stored(QStringLiteral("..hidden")), "picture");
    notes.append(note(QStringLiteral("t"), QStringLiteral("c"), kDate, stored(QStringLiteral("..hidden"))));

    const PersonalExport out = exporter();
    EXPECT_TRUE(out.exportContacts(contacts).failed.isEmpty());
    EXPECT_TRUE(out.exportConversationsHtml(conversations).failed.isEmpty());
    EXPECT_TRUE(out.exportNotes(notes, {0}).failed.isEmpty());

    EXPECT_EQ(entries(m_temp.path()), QStringList({"backup", "home"}));
    EXPECT_EQ(entries(m_temp.filePath(QStringLiteral("home"))), QStringList{"Documents"});
    EXPECT_EQ(entries(documents()), QStringList({"Contact", "Message", "Note"}));
    EXPECT_EQ(entries(out.contactFolder()), QStringList({"___.._x.vcf", "_hidden.vcf", "a_b.vcf"}));
    EXPECT_EQ(entries(out.messageFolder()), QStringList({"___.._x.html", "_hidden.html", "a_b.html"}));
    EXPECT_EQ(entries(out.noteFolder()), QStringList({"Notes.txt", "__hidden.png"}));
}

TEST_F(PersonalExportTest, KindFolderLinkedOutsideOrNoDocumentsFolderIsRefused)
{
    const QString outside = m_temp.filePath(QStringLiteral("outside"));
    ASSERT_TRUE(QDir().mkpath(outside));
    ASSERT_TRUE(QDir().mkpath(documents()));
    ASSERT_TRUE(QFile::link(outside, documents() + QStringLiteral("/Note")));
    const PersonalExportReport linked = exporter().exportNotes({note("t", "c", kDate)}, {});
    EXPECT_TRUE(linked.written.isEmpty());
    ASSERT_EQ(linked.failed.size(), 1);
    EXPECT_TRUE(linked.failed.at(0).startsWith(QLatin1String("Note: Refused")));
    EXPECT_TRUE(entries(outside).isEmpty());

    // An empty folder name is not the working folder.
    const PersonalExportReport nowhere =
        PersonalExport(QString(), QStringLiteral("x")).exportContacts({contact(1, QStringLiteral("Anna"))});
    EXPECT_TRUE(nowhere.written.isEmpty());
    EXPECT_EQ(nowhere.failed.size(), 1);
}

TEST_F(PersonalExportTest, ConversationPageHoldsTheWritersLines)
{
    const QString picture = stored(QStringLiteral("ab/ab12cd"));
    putFile(picture, jpegOf(QSize(40, 30), Qt::red));
    auto anna = conversation(QStringLiteral("Anna"), QStringLiteral("+4912345"),
                             {textMessage(QStringLiteral("Anna"), "Received", QStringLiteral("Hi <b>there</b> & you")),
                              textMessage(QString(), "Send", QStringLiteral("Ok")),
                              attachmentMessage(QStringLiteral("Anna"), "Received", "Image", picture)});
    const PersonalExportReport report = exporter().exportConversationsHtml({anna});

    const QString page = exporter().messageFolder() + QStringLiteral("/Anna.html");
    const QString copy = exporter().messageFolder() + QStringLiteral("/Anna_files/ab12cd.jpg");
    EXPECT_EQ(report.written, QStringList({copy, page}));
    EXPECT_EQ(entries(exporter().messageFolder()), QStringList({"Anna.html", "Anna_files"}));
    EXPECT_EQ(bytesOf(copy), bytesOf(picture));
    const QString text = pageText(page);
    EXPECT_TRUE(text.contains(QStringLiteral("<title>Ann&#39;s iPhone&#39;s Message</title>")));
    const QString body = QStringLiteral("<p><h3>Name: Anna &nbsp;&nbsp;Phone: +4912345 "
                                        "<p class='name'>Name: Anna &nbsp;&nbsp; Date: 2023-05-01 10:00:00 <p>"
                                        "<p class='triangle-isosceles'> Hi &lt;b&gt;there&lt;/b&gt; &amp; you </p>"
                                        "<p class='name'>Name: Me &nbsp;&nbsp; Date: 2023-05-01 10:00:00 <p>"
                                        "<p class='triangle-isosceles2'> Ok </p>"
                                        "<p class='name'>Name: Anna &nbsp;&nbsp; Date: 2023-05-01 10:00:00 <p>"
                                        "<p><img src='Anna_files/ab12cd.jpg'/></p><hr/></div></div></body></html>");
    EXPECT_TRUE(text.endsWith(QStringLiteral("<div class='content'>") + body)) << text.toStdString();
}

namespace {

// Every src and href of a written page, resolved against the page's folder.
QStringList pageReferences(const QString &page)
{
    static const QRegularExpression reference(QStringLiteral("(?:src|href)='([^']*)'"));
    QStringList out;
    for (const QRegularExpressionMatch &match : reference.globalMatch(pageText(page))) {
        QString value = match.captured(1);
        value.replace(QLatin1String("&#39;"), QLatin1String("'")).replace(QLatin1String("&amp;"), QLatin1String("&"));
        const QUrl url(value, QUrl::StrictMode);
        out << (url.isRelative() && !value.startsWith(QLatin1Char('/'))
                    ? QFileInfo(page).path() + QLatin1Char('/') + url.path(QUrl::FullyDecoded)
                    : value);
    }
    return out;
}

} // namespace

TEST_F(PersonalExportTest, PageRefersOnlyToCopiesBesideIt)
{
    putFile(stored(QStringLiteral("ab/jpeg01")), jpegOf(QSize(40, 30), Qt::red));
    putFile(stored(QStringLiteral("Media/IMG 7#1.MOV")), "movie bytes");
    const QString name = QStringLiteral("Ann's #1");
    // The pictures' folder of the page's name is taken already: never shared.
    putFile(exporter().messageFolder() + QLatin1Char('/') + name + QStringLiteral("_files/jpeg01.jpg"), "mine");
    auto chat = conversation(name, QStringLiteral("+46"),
                             {attachmentMessage(name, "Received", "Image", stored(QStringLiteral("ab/jpeg01"))),
                              attachmentMessage(name, "Send", "Mov", stored(QStringLiteral("Media/IMG 7#1.MOV")))});
    ASSERT_EQ(exporter().exportConversationsHtml({chat}).written.size(), 3);

    // Moved elsewhere, the backup gone: the page still finds what it shows.
    const QString moved = m_temp.filePath(QStringLiteral("moved"));
    ASSERT_TRUE(QDir().rename(exporter().messageFolder(), moved));
    ASSERT_TRUE(QDir(m_temp.filePath(QStringLiteral("backup"))).removeRecursively());
    const QString page = moved + QLatin1Char('/') + name + QStringLiteral(".html");
    const QString pictures = moved + QLatin1Char('/') + name + QStringLiteral("_files 2");
    EXPECT_EQ(pageReferences(page),
              QStringList({pictures + QStringLiteral("/jpeg01.jpg"), moved + QStringLiteral("/IMG 7#1.MOV.mov")}));
    for (const QString &reference : pageReferences(page))
        EXPECT_TRUE(QFileInfo(reference).isFile()) << reference.toStdString();
    EXPECT_EQ(bytesOf(moved + QStringLiteral("/IMG 7#1.MOV.mov")), QByteArray("movie bytes"));
    EXPECT_TRUE(pageText(page).contains(QStringLiteral("<a href='IMG%207%231.MOV.mov'>"))) << "the movie is linked";
    EXPECT_EQ(bytesOf(moved + QLatin1Char('/') + name + QStringLiteral("_files/jpeg01.jpg")), QByteArray("mine"));
}

TEST_F(PersonalExportTest, ShortNamedConversationIsSavedUnderItsAddressAndNeverReplaced)
{
    auto one = conversation(QStringLiteral("A"), QStringLiteral("+1 555"), {textMessage("A", "Received", "first")});
    ASSERT_EQ(exporter().exportConversationsHtml({one}).written.size(), 1);
    one->setMessageNodeArray({textMessage("A", "Received", "second")});
    ASSERT_EQ(exporter().exportConversationsHtml({one}).written.size(), 1);

    EXPECT_EQ(entries(exporter().messageFolder()), QStringList({"+1 555.html", "+1 555_.html"}));
    EXPECT_TRUE(pageText(exporter().messageFolder() + QStringLiteral("/+1 555.html")).contains("first"));
    EXPECT_TRUE(pageText(exporter().messageFolder() + QStringLiteral("/+1 555_.html")).contains("second"));
}

TEST_F(PersonalExportTest, CardsAndMoviesAreCopiedBesideThePage)
{
    const QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Zoë\r\nEND:VCARD\r\n";
    putFile(stored(QStringLiteral("cd/cd01")), card);
    putFile(stored(QStringLiteral("cd/cd02")), "BEGIN:VCARD\r\nURL:geo\r\nEND:VCARD\r\n");
    putFile(stored(QStringLiteral("cd/bad")), QByteArray("BEGIN:VCARD\xff\xfe"));
    putFile(stored(QStringLiteral("cd/big")), QByteArray(PersonalExport::kMaxCardBytes + 1, 'v'));
    ASSERT_EQ(QFile::link(stored(QStringLiteral("cd/cd01")), stored(QStringLiteral("cd/linked"))), true);
    QByteArray movie(20 << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < movie.size(); ++i)
        movie[i] = char((i * 131) ^ (i >> 13));
    putFile(stored(QStringLiteral("Media/IMG_0001.MOV")), movie);

    auto chat = conversation(QStringLiteral("Bo"), QStringLiteral("+2"),
                             {attachmentMessage("Bo", "Received", "Contact", stored(QStringLiteral("cd/cd01"))),
                              attachmentMessage("Bo", "Received", "Location", stored(QStringLiteral("cd/cd02"))),
                              attachmentMessage("Bo", "Received", "Contact", stored(QStringLiteral("cd/bad"))),
                              attachmentMessage("Bo", "Received", "Contact", stored(QStringLiteral("cd/big"))),
                              attachmentMessage("Bo", "Received", "Contact", stored(QStringLiteral("cd/linked"))),
                              attachmentMessage("", "Send", "Mov", stored(QStringLiteral("Media/IMG_0001.MOV")))});
    const PersonalExportReport report = exporter().exportConversationsHtml({chat});

    const QString folder = exporter().messageFolder();
    EXPECT_EQ(entries(folder), QStringList({"Bo.html", "IMG_0001.MOV.mov", "cd01.vcf", "cd02.vcf"}));
    EXPECT_EQ(bytesOf(folder + QStringLiteral("/cd01.vcf")), card);
    EXPECT_EQ(bytesOf(folder + QStringLiteral("/IMG_0001.MOV.mov")), movie) << "the movie is copied intact";
    EXPECT_EQ(report.written.size(), 4);
    ASSERT_EQ(report.failed.size(), 3) << report.failed.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(report.failed.at(0).startsWith(QLatin1String("bad.vcf: ")));
    EXPECT_TRUE(report.failed.at(1).startsWith(QLatin1String("big.vcf: ")));
    EXPECT_TRUE(report.failed.at(2).startsWith(QLatin1String("linked.vcf: "))) << "a link is never read";
}

TEST_F(PersonalExportTest, NotesAreOneTextFileWithTheirPicturesBesideIt)
{
    putFile(stored(QStringLiteral("n1/IMG.jpg")), "first picture");
    putFile(stored(QStringLiteral("n2/IMG.jpg")), "second picture");
    putFile(stored(QStringLiteral("n3/IMG.jpg")), "third picture");
    const QList<std::shared_ptr<PRNoteNode>> notes = {
        note(QStringLiteral("Shopping"), QStringLiteral("Milk\nEggs"), kDate, stored(QStringLiteral("n1/IMG.jpg"))),
        note(QStringLiteral("Trip"), QString(""), QStringLiteral("2023-05-02 09:00:00"),
             stored(QStringLiteral("n2/IMG.jpg"))),
        note(QStringLiteral("Again"), QStringLiteral("x"), kDate, stored(QStringLiteral("n3/IMG.jpg"))),
        note(QStringLiteral("Gone"), QStringLiteral("y"), kDate, stored(QStringLiteral("n4/missing")))};
    const PersonalExportReport first = exporter().exportNotes(notes, {3, 5, 5, 6});

    const QString folder = exporter().noteFolder();
    EXPECT_EQ(entries(folder), QStringList({"5_IMG 2.jpg.png", "5_IMG.jpg.png", "IMG.jpg.png", "Notes.txt"}));
    EXPECT_EQ(bytesOf(folder + QStringLiteral("/IMG.jpg.png")), QByteArray("first picture"));
    EXPECT_EQ(bytesOf(folder + QStringLiteral("/5_IMG.jpg.png")), QByteArray("second picture"));
    EXPECT_EQ(bytesOf(folder + QStringLiteral("/5_IMG 2.jpg.png")), QByteArray("third picture"));
    const QByteArray text = "Title:Shopping  Note:Milk\nEggs  Date:2023-05-01 10:00:00  \n\n"
                            "Title:Trip  Note:  Date:2023-05-02 09:00:00  \n\n"
                            "Title:Again  Note:x  Date:2023-05-01 10:00:00  \n\n"
                            "Title:Gone  Note:y  Date:2023-05-01 10:00:00  \n\n";
    EXPECT_EQ(bytesOf(folder + QStringLiteral("/Notes.txt")), text);
    EXPECT_EQ(first.written.size(), 4);
    ASSERT_EQ(first.failed.size(), 1);
    EXPECT_TRUE(first.failed.at(0).startsWith(QLatin1String("missing.png: ")));

    // The next export gets its own file; the first stays as it was.
    const PersonalExportReport second = exporter().exportNotes({notes.at(1)}, {});
    EXPECT_TRUE(second.written.contains(folder + QStringLiteral("/Notes 2.txt")));
    EXPECT_EQ(bytesOf(folder + QStringLiteral("/Notes.txt")), text);
    EXPECT_EQ(bytesOf(folder + QStringLiteral("/Notes 2.txt")),
              QByteArray("Title:Trip  Note:  Date:2023-05-02 09:00:00  \n\n"));
    EXPECT_TRUE(second.written.contains(folder + QStringLiteral("/0_IMG.jpg.png")))
        << "its row is its position when no row is given";
}

TEST_F(PersonalExportTest, CancelStopsBetweenRowsAndLeavesNoPartialFile)
{
    std::atomic<bool> cancel{false};
    const auto stopAfterOne = [&cancel](int done, int) { cancel = done >= 1; };
    QList<std::shared_ptr<PRMessageTreeNode>> conversations;
    for (int i = 0; i < 3; ++i)
        conversations.append(conversation(QStringLiteral("Chat %1").arg(i), "+1", {textMessage("", "Send", "hi")}));
    const PersonalExportReport pdf = exporter().exportConversationsPdf(conversations, stopAfterOne, &cancel);
    EXPECT_TRUE(pdf.cancelled);
    EXPECT_EQ(pdf.written.size(), 1);
    EXPECT_EQ(entries(exporter().messageFolder()), QStringList{"Chat 0.pdf"});

    cancel = false;
    const PersonalExportReport notes = exporter().exportNotes(
        {note("a", "b", kDate), note("c", "d", kDate)}, {}, stopAfterOne, &cancel);
    EXPECT_TRUE(notes.cancelled);
    EXPECT_TRUE(entries(exporter().noteFolder()).isEmpty()) << "no text file of only some of the notes";
}

TEST_F(PersonalExportTest, PdfShowsTheConversationAndIsMadeOnAWorkerThread)
{
    if (!havePdfTools())
        GTEST_SKIP() << "pdfinfo, pdftotext and pdfimages (poppler-utils) are not installed";
    putFile(stored(QStringLiteral("pp/huge")), jpegOf(QSize(6000, 4000), Qt::blue));
    putFile(m_temp.filePath(QStringLiteral("outside.jpg")), jpegOf(QSize(300, 200), Qt::green));
    ASSERT_TRUE(QFile::link(m_temp.filePath(QStringLiteral("outside.jpg")), stored(QStringLiteral("pp/linked"))));
    auto chat = conversation(
        QStringLiteral("Anna"), QStringLiteral("+4912345"),
        {textMessage(QStringLiteral("Anna"), "Received", QStringLiteral("Hello from Anna")),
         textMessage(QString(), "Send", QStringLiteral("<img src='/etc/hostname'> stays text")),
         attachmentMessage(QStringLiteral("Anna"), "Received", "Image", stored(QStringLiteral("pp/huge"))),
         attachmentMessage(QStringLiteral("Anna"), "Received", "Image", stored(QStringLiteral("pp/linked"))),
         attachmentMessage(QString(), "Send", "Mov", stored(QStringLiteral("pp/IMG_0002.MOV")))});

    PersonalExportReport report;
    std::thread worker([&] { report = exporter().exportConversationsPdf({chat}); });
    worker.join();

    const QString pdf = exporter().messageFolder() + QStringLiteral("/Anna.pdf");
    ASSERT_EQ(report.written, QStringList{pdf}) << report.failed.join(QLatin1Char('\n')).toStdString();
    EXPECT_GE(pdfPages(pdf), 1);
    const QString text = pdfText(pdf);
    for (const char *shown : {"Ann's iPhone's Message", "Name: Anna", "Phone: +4912345", "Hello from Anna",
                              "<img src='/etc/hostname'> stays text", "Name: Me", "linked", "IMG_0002.MOV.mov"})
        EXPECT_TRUE(text.contains(QLatin1String(shown))) << shown << " in " << text.toStdString();
    // The 6000 px picture is decoded for the page at most 800 px wide; the
    // linked one is not read at all.
    EXPECT_EQ(pdfImageWidths(pdf), QList<int>{PRPdfConversation::kDecodedPictureSide});
}

// Every message carries the contact's name, whichever way it went (as the
// extraction fills it); the PDF tells the owner's own apart.
TEST_F(PersonalExportTest, PdfLabelsTheOwnersMessagesAsTheOwnersOwn)
{
    if (!havePdfTools())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    const QString anna = QStringLiteral("Anna");
    auto chat = conversation(anna, QStringLiteral("+4912345"),
                             {textMessage(anna, "Received", QStringLiteral("question"), "2023-05-01 10:00:01"),
                              textMessage(anna, "Send", QStringLiteral("answer"), "2023-05-01 10:00:02"),
                              textMessage(QString(), "Received", QStringLiteral("unnamed"), "2023-05-01 10:00:03")});
    const PersonalExportReport report = exporter().exportConversationsPdf({chat});
    ASSERT_EQ(report.written.size(), 1) << report.failed.join(QLatin1Char('\n')).toStdString();
    const QString text = pdfText(report.written.at(0));
    QStringList labels; // the head's name, then each message's
    for (const QRegularExpressionMatch &match : QRegularExpression(QStringLiteral("Name: (\\S+)")).globalMatch(text))
        labels << match.captured(1);
    EXPECT_EQ(labels, QStringList({"Anna", "Anna", "Me", "Anna"})) << text.toStdString();
}

TEST_F(PersonalExportTest, TwentyConversationsGiveTwentyPdfs)
{
    if (!havePdfTools())
        GTEST_SKIP() << "pdfinfo and pdftotext (poppler-utils) are not installed";
    QList<std::shared_ptr<PRMessageTreeNode>> conversations;
    for (int i = 0; i < 20; ++i) {
        // Two of each name: the second of a pair must not replace the first.
        const QString name = QStringLiteral("Friend %1").arg(i / 2);
        conversations.append(conversation(name, "+1", {textMessage(name, "Received", QStringLiteral("note %1").arg(i))}));
    }
    const PersonalExportReport report = exporter().exportConversationsPdf(conversations);
    ASSERT_EQ(report.written.size(), 20) << report.failed.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(entries(exporter().messageFolder()).size(), 20);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(pdfPages(report.written.at(i)), 1);
        EXPECT_TRUE(pdfText(report.written.at(i)).contains(QStringLiteral("note %1").arg(i)));
    }
}

TEST_F(PersonalExportTest, GiganticTextIsCutForThePdf)
{
    if (!havePdfTools())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    const QString run(3'000'000, QLatin1Char('w'));
    auto chat = conversation(QStringLiteral("Long"), "+1",
                             {textMessage("Long", "Received", run), textMessage("", "Send", "after the long one")});
    QElapsedTimer timer;
    timer.start();
    const PersonalExportReport report = exporter().exportConversationsPdf({chat});
    std::cout << "[ figures  ] 3,000,000-character message: PDF in " << timer.elapsed() << " ms\n";
    ASSERT_EQ(report.written.size(), 1);
    EXPECT_LT(timer.elapsed(), 60'000) << "sanity bound only";
    const QString text = pdfText(report.written.at(0)).remove(QLatin1Char(' '));
    EXPECT_TRUE(text.contains(QStringLiteral("leftoutofthePDF")));
    EXPECT_TRUE(text.contains(QStringLiteral("afterthelongone")));
    EXPECT_LT(text.count(QLatin1Char('w')), 3'000'000 / 10);
}

TEST_F(PersonalExportTest, BigConversationFigures)
{
    if (!havePdfTools())
        GTEST_SKIP() << "pdfinfo (poppler-utils) is not installed";
#ifdef __SANITIZE_ADDRESS__
    // Under the sanitizers the figures mean nothing and the full size takes
    // minutes: a tenth keeps every check.
    constexpr int kMessages = 1'000;
    constexpr int kPictures = 50;
#else
    constexpr int kMessages = 10'000;
    constexpr int kPictures = 500;
#endif
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::cyan};
    QByteArray pictures[5];
    for (int i = 0; i < 5; ++i)
        pictures[i] = jpegOf(QSize(3000 - 200 * i, 2000 + 100 * i), colours[i]);
    QList<std::shared_ptr<PRMessageNode>> messages;
    for (int i = 0; i < kMessages; ++i) {
        const bool mine = i % 3 == 0;
        if (i % (kMessages / kPictures) == 7) {
            const QString path = stored(QStringLiteral("big/%1").arg(i));
            putFile(path, pictures[i % 5]);
            messages.append(attachmentMessage(mine ? "" : "Anna", mine ? "Send" : "Received", "Image", path));
        } else {
            messages.append(textMessage(mine ? QString() : QStringLiteral("Anna"), mine ? "Send" : "Received",
                                        QStringLiteral("Message %1: see you at the station at half past six, "
                                                       "bring the tickets and something to eat.")
                                            .arg(i)));
        }
    }
    const qint64 peakBefore = peakResidentKiB();
    QElapsedTimer timer;
    timer.start();
    const PersonalExportReport report =
        exporter().exportConversationsPdf({conversation(QStringLiteral("Anna"), "+1", messages)});
    const qint64 elapsed = timer.elapsed();
    const qint64 peakAfter = peakResidentKiB();
    ASSERT_EQ(report.written.size(), 1) << report.failed.join(QLatin1Char('\n')).toStdString();
    const int pages = pdfPages(report.written.at(0));
    std::cout << "[ figures  ] " << kMessages << " messages, " << kPictures << " pictures: " << elapsed << " ms, "
              << pages << " pages, " << QFileInfo(report.written.at(0)).size() / 1024 << " KiB, peak RSS "
              << peakAfter / 1024 << " MiB (" << peakBefore / 1024 << " MiB before)\n";
    EXPECT_GT(pages, kMessages / 100);
    EXPECT_EQ(pdfImageWidths(report.written.at(0)).size(), kPictures);
    // The time is a figure to watch (ostra-transfer-bench times this export);
    // the memory is a bound: pictures are drawn one at a time, never held.
    EXPECT_LT(peakAfter, qint64(2) << 20) << "KiB";
}
