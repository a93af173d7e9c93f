#include "tests/support/eventwait.h"
#include "tests/support/qtprinters.h"

#include "backup/export/prhtmlcontroller.h"
#include "backup/export/prrtfcontroller.h"
#include "backup/export/prvcfcontroller.h"
#include "filesafety/exportpaths.h"
#include "filesafety/prreveal.h"
#include "results/prexportrun.h"
#include "results/prtreecontroller.h"
#include "tests/results/vcardreader.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QScopeGuard>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <iostream>
#include <optional>

#include <sys/stat.h>

namespace {

using Job = PRExportRun::Job;
using Result = PRExportRun::Result;

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void putFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray out(size, Qt::Uninitialized);
    QRandomGenerator gen(seed);
    for (qsizetype i = 0; i < size; ++i)
        out[i] = char(gen.generate() & 0xff);
    return out;
}

// Every file below folder, relative to it, sorted.
QStringList filesBelow(const QString &folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(folder).relativeFilePath(it.next());
    out.sort();
    return out;
}

QStringList foldersIn(const QString &folder)
{
    QStringList out = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    out.sort();
    return out;
}

// Runs the job to its end, the GUI thread's event loop turning meanwhile.
Result runToEnd(const Job &job, int timeoutMs = testsupport::kEventWaitMs, qint64 notWritten = 0)
{
    PRExportRun run;
    std::optional<Result> result;
    QObject::connect(&run, &PRExportRun::finished, [&](const Result &r) { result = r; });
    EXPECT_TRUE(run.start(job));
    EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, timeoutMs));
    EXPECT_EQ(run.done() + notWritten, run.total()) << "every item written";
    return result.value_or(Result());
}

QString failuresText(const Result &r)
{
    QString out;
    for (const auto &f : r.failures)
        out += f.path + QStringLiteral(": ") + f.reason + QLatin1Char('\n');
    return out;
}

template<typename T>
std::shared_ptr<T> make()
{
    return std::make_shared<T>();
}

std::shared_ptr<PRContactNode> contact(const QString &name, const QString &company, int rowid)
{
    auto c = make<PRContactNode>();
    c->setContactName(name);
    c->setContactCompany(company);
    c->setRowid(rowid);
    c->setContactPhone(QStringLiteral(" +1 555 0100"));
    return c;
}

std::shared_ptr<PRMessageNode> textMessage(const QString &name, const QString &content)
{
    auto m = make<PRMessageNode>();
    m->setMessageName(name);
    m->setMessageContent(content);
    m->setMessageDate(QStringLiteral("2024-01-02 03:04:05"));
    m->setMessageType(QStringLiteral("Received"));
    return m;
}

std::shared_ptr<PRMessageNode> attachment(const QString &type, const QString &path)
{
    auto m = textMessage(QStringLiteral("Anna"), QString());
    m->setIsHasAttach(true);
    m->setAttachType(type);
    m->setAttachmentPath(path);
    return m;
}

std::shared_ptr<PRMessageTreeNode> conversation(const QString &name, QList<std::shared_ptr<PRMessageNode>> messages)
{
    auto c = make<PRMessageTreeNode>();
    c->setMessageTreeNodeName(name);
    c->setMessageTreeNodeAdress(QStringLiteral("+1 555 0100"));
    c->setMessageNodeArray(messages);
    return c;
}

std::shared_ptr<PRPhotoAndVideoNode> photo(const QString &name, const QString &path)
{
    auto p = make<PRPhotoAndVideoNode>();
    p->setFileNodeName(name);
    p->setFilePath(path);
    p->setFileSizeNumber(quint64(std::max<qint64>(QFileInfo(path).size(), 0)));
    return p;
}

std::shared_ptr<PRFaceTwitterNode> socialFile(const QString &name, const QString &path)
{
    auto s = make<PRFaceTwitterNode>();
    s->setFaceTwitterFileName(name);
    s->setFaceTwitterFilePath(path);
    return s;
}

// The text file PRRtfController writes for records, in a folder of its own.
template<typename Node, typename TextOf>
QByteArray textFileOf(const QList<std::shared_ptr<Node>> &records, const QString &kind, TextOf textOf)
{
    QTemporaryDir dir;
    PRRtfController rtf;
    for (const auto &r : records)
        rtf.addRtfContent(textOf(*r));
    rtf.setRtfEnder();
    return bytesOf(rtf.writeRtfInPath(dir.path(), kind));
}

// A small backup of stored files and a job over every kind.
struct Fixture
{
    QTemporaryDir dir;
    QString sources = dir.path() + QStringLiteral("/sources");
    QString root = dir.path() + QStringLiteral("/Export");
    Job job;

    QString source(const QString &name, const QByteArray &bytes)
    {
        const QString path = sources + QLatin1Char('/') + name;
        putFile(path, bytes);
        return path;
    }

    void fillEveryKind()
    {
        job.recoverPath = root;
        job.deviceName = QStringLiteral("Phone");
        job.photoAndVideos = {photo(QStringLiteral("IMG_0001.JPG"), source(QStringLiteral("a.jpg"), "jpeg")),
                              // Past one chunk, not a whole number of chunks.
                              photo(QStringLiteral("IMG_0002.MOV"),
                                    source(QStringLiteral("b.mov"), randomBytes(PRExportRun::copyChunk + 12345, 1)))};
        job.contacts = {contact(QStringLiteral("Anna"), QString(), 1), contact(QString(), QStringLiteral("ACME"), 2),
                        contact(QString(), QString(), 7)};
        job.conversations = {
            conversation(QStringLiteral("Anna"),
                         {textMessage(QStringLiteral("Anna"), QStringLiteral("Hi <b>there</b>")),
                          attachment(QStringLiteral("Mov"), source(QStringLiteral("att/clip.mov"), randomBytes(5000, 2))),
                          attachment(QStringLiteral("Contact"),
                                     source(QStringLiteral("att/card.vcf"), "BEGIN:VCARD\nFN:Bo\xc3\xa9\nEND:VCARD\n")),
                          attachment(QStringLiteral("Image"), source(QStringLiteral("att/pic.jpg"), "img"))}),
            conversation(QStringLiteral("Bo"), {textMessage(QString(), QStringLiteral("Sent text"))})};
        auto note = make<PRNoteNode>();
        note->setNoteTitle(QStringLiteral("Shopping"));
        note->setNoteContent(QStringLiteral("Milk\nEggs"));
        job.notes = {note};
        auto call = make<PRCallHistoryNode>();
        call->setCallName(QStringLiteral("Anna"));
        call->setCallDuration(QStringLiteral("00:01:00"));
        job.calls = {call};
        auto mark = make<PRBookMarkNode>();
        mark->setBookMarkTitle(QStringLiteral("Qt"));
        mark->setBookMarkURL(QStringLiteral("https://qt.io"));
        job.bookMarks = {mark};
        auto event = make<PRCalenderNode>();
        event->setCalTitle(QStringLiteral("Dentist"));
        job.calendarEvents = {event};
        job.socialFiles = {socialFile(QStringLiteral("chat.db"), source(QStringLiteral("fb/chat.db"), "sqlite"))};
        job.backupFiles = {{QStringLiteral("HomeDomain/Library/a.plist"), source(QStringLiteral("stored/1"), "plist"), true, 5},
                           {QStringLiteral("HomeDomain/Media"), sources + QStringLiteral("/stored/missing"), false, 0}};
    }
};

const QStringList kFolders = {QStringLiteral("BookMark"), QStringLiteral("Calendar&Reminder"),
                              QStringLiteral("CallHistory"), QStringLiteral("Contact"),
                              QStringLiteral("FaceBook&Twitter"), QStringLiteral("Message"),
                              QStringLiteral("Note"), QStringLiteral("Photo&Video")};

TEST(ExportRunLayout, EveryKindInItsFolderWithTheWritersOwnBytes)
{
    Fixture fx;
    fx.fillEveryKind();
    const Result result = runToEnd(fx.job);
    const Job &job = fx.job;
    EXPECT_TRUE(result.failures.isEmpty()) << failuresText(result).toStdString();
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(result.root, fx.root);

    QStringList folders = kFolders;
    folders << QStringLiteral("Phone");
    folders.sort();
    EXPECT_EQ(foldersIn(fx.root), folders);

    const QStringList expected = {
        QStringLiteral("BookMark/BookMark.txt"),
        QStringLiteral("Calendar&Reminder/Calendar&Reminder.txt"),
        QStringLiteral("CallHistory/Call History.txt"),
        QStringLiteral("Contact/ACME.vcf"),
        QStringLiteral("Contact/Anna.vcf"),
        QStringLiteral("Contact/Contacts.txt"),
        QStringLiteral("Contact/unknown 7.vcf"),
        QStringLiteral("FaceBook&Twitter/chat.db"),
        QStringLiteral("Message/Phone's Message.html"),
        QStringLiteral("Message/Phone's Message_files/pic.jpg.jpg"),
        QStringLiteral("Message/card.vcf.vcf"),
        QStringLiteral("Message/clip.mov.mov"),
        QStringLiteral("Note/Notes.txt"),
        QStringLiteral("Phone/HomeDomain/Library/a.plist"),
        QStringLiteral("Photo&Video/IMG_0001.JPG"),
        QStringLiteral("Photo&Video/IMG_0002.MOV"),
    };
    EXPECT_EQ(filesBelow(fx.root), expected);
    EXPECT_EQ(result.written, expected.size());
    EXPECT_TRUE(QFileInfo(fx.root + QStringLiteral("/Phone/HomeDomain/Media")).isDir());

    // Copies byte for byte.
    const auto at = [&](const QString &rel) { return bytesOf(fx.root + QLatin1Char('/') + rel); };
    EXPECT_EQ(at(QStringLiteral("Photo&Video/IMG_0001.JPG")), bytesOf(job.photoAndVideos[0]->filePath()));
    EXPECT_EQ(at(QStringLiteral("Photo&Video/IMG_0002.MOV")), bytesOf(job.photoAndVideos[1]->filePath()));
    EXPECT_EQ(at(QStringLiteral("Message/clip.mov.mov")), bytesOf(fx.sources + QStringLiteral("/att/clip.mov")));
    EXPECT_EQ(at(QStringLiteral("Message/card.vcf.vcf")), bytesOf(fx.sources + QStringLiteral("/att/card.vcf")));
    EXPECT_EQ(at(QStringLiteral("Message/Phone's Message_files/pic.jpg.jpg")), QByteArray("img"));
    EXPECT_EQ(at(QStringLiteral("FaceBook&Twitter/chat.db")), QByteArray("sqlite"));
    EXPECT_EQ(at(QStringLiteral("Phone/HomeDomain/Library/a.plist")), QByteArray("plist"));

    // vCards and text files, written out here by hand from the fixture's
    // records: absent fields are empty, a record's text ends with a blank line.
    const auto card = [](const char *name, const char *org) {
        return QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nN:") + name + "\r\nFN:" + name + "\r\nORG:" + org
            + "\r\nEMAIL;INTERNET;HOME;PREF:\r\nTEL;CELL;PREF:+1 555 0100\r\nURL:\r\nEND:VCARD";
    };
    EXPECT_EQ(at(QStringLiteral("Contact/Anna.vcf")), card("Anna", ""));
    EXPECT_EQ(at(QStringLiteral("Contact/ACME.vcf")), card("", "ACME"));
    EXPECT_EQ(at(QStringLiteral("Contact/unknown 7.vcf")), card("", ""));
    EXPECT_EQ(at(QStringLiteral("Contact/Contacts.txt")),
              QByteArray("Name:Anna  Phone: +1 555 0100  Email:  Company:  JobTitle:  Home Page:  Birthday:  Note:  \n\n"
                         "Name:  Phone: +1 555 0100  Email:  Company:ACME  JobTitle:  Home Page:  Birthday:  Note:  \n\n"
                         "Name:  Phone: +1 555 0100  Email:  Company:  JobTitle:  Home Page:  Birthday:  Note:  \n\n"));
    EXPECT_EQ(at(QStringLiteral("Note/Notes.txt")), QByteArray("Title:Shopping  Note:Milk\nEggs  Date:  \n\n"));
    EXPECT_EQ(at(QStringLiteral("CallHistory/Call History.txt")),
              QByteArray("Name:Anna  Phone:  Date:  Type:  Duration:00:01:00  \n\n"));
    EXPECT_EQ(at(QStringLiteral("BookMark/BookMark.txt")), QByteArray("Title:Qt  URL:https://qt.io  \n\n"));
    EXPECT_EQ(at(QStringLiteral("Calendar&Reminder/Calendar&Reminder.txt")),
              QByteArray("Title:Dentist  Note:  Start Date:  End Date:  \n\n"));

    // The page: UTF-16 with its mark; after the title and the style sheet,
    // the rows of both conversations in order, texts escaped, attachments
    // linked to their copies beside the page (the picture inline).
    const QByteArray page = at(QStringLiteral("Message/Phone's Message.html"));
    ASSERT_GE(page.size(), 2);
    EXPECT_EQ(page.left(2), QByteArray("\xff\xfe", 2));
    ASSERT_EQ(page.size() % 2, 0);
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(page.constData() + 2), (page.size() - 2) / 2);
    EXPECT_TRUE(text.startsWith(QStringLiteral("<!DOCTYPE html><html lang='en'><head><meta charset='utf-8'>"
                                               "<title>Phone&#39;s Message</title><style>")))
        << text.left(200).toStdString();
    const QString bodyStart = QStringLiteral("</style></head><body><h1>Phone&#39;s Message</h1>"
                                             "<div id='container'><div class='content'>");
    const qsizetype body = text.indexOf(bodyStart);
    ASSERT_GE(body, 0) << text.toStdString();
    const QString said = QStringLiteral("<p class='name'>Name: Anna &nbsp;&nbsp; Date: 2024-01-02 03:04:05 <p>");
    const QString rows =
        QStringLiteral("<p><h3>Name: Anna &nbsp;&nbsp;Phone: +1 555 0100 ") + said
        + QStringLiteral("<p class='triangle-isosceles'> Hi &lt;b&gt;there&lt;/b&gt; </p>") + said
        + QStringLiteral("<p><a href='clip.mov.mov'>clip.mov.mov</a></p>") + said
        + QStringLiteral("<p><a href='card.vcf.vcf'>card.vcf.vcf</a></p>") + said
        + QStringLiteral("<p><img src='Phone%27s%20Message_files/pic.jpg.jpg'/></p><hr/>")
        + QStringLiteral("<p><h3>Name: Bo &nbsp;&nbsp;Phone: +1 555 0100 ")
        + QStringLiteral("<p class='name'>Name: Me &nbsp;&nbsp; Date: 2024-01-02 03:04:05 <p>")
        + QStringLiteral("<p class='triangle-isosceles'> Sent text </p><hr/>")
        + QStringLiteral("</div></div></body></html>");
    EXPECT_EQ(text.mid(body + bodyStart.size()), rows);
}

TEST(ExportRunLayout, NothingTickedStillMakesEveryFolderAndTheEmptyTextFiles)
{
    QTemporaryDir dir;
    Job job;
    job.recoverPath = dir.path() + QStringLiteral("/deep/er/Export");
    job.deviceName = QStringLiteral("Phone");
    PRExportRun run;
    std::optional<Result> result;
    QObject::connect(&run, &PRExportRun::finished, [&](const Result &r) { result = r; });
    ASSERT_TRUE(run.start(job));
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 10000));
    EXPECT_EQ(run.total(), 0);
    EXPECT_EQ(run.percent(), 0);
    EXPECT_TRUE(result->failures.isEmpty()) << failuresText(*result).toStdString();

    QStringList folders = kFolders;
    folders << QStringLiteral("Phone");
    folders.sort();
    EXPECT_EQ(foldersIn(job.recoverPath), folders);
    for (const QString &text : {QStringLiteral("Contact/Contacts.txt"), QStringLiteral("Note/Notes.txt"),
                                QStringLiteral("CallHistory/Call History.txt"), QStringLiteral("BookMark/BookMark.txt"),
                                QStringLiteral("Calendar&Reminder/Calendar&Reminder.txt")}) {
        const QFileInfo info(job.recoverPath + QLatin1Char('/') + text);
        EXPECT_TRUE(info.isFile()) << text.toStdString();
        EXPECT_EQ(info.size(), 0) << text.toStdString();
    }
    EXPECT_TRUE(QFileInfo::exists(job.recoverPath + QStringLiteral("/Message/Phone's Message.html")));

    // A backup without a name: the name the file tree shows for it.
    job.deviceName.clear();
    job.recoverPath = dir.path() + QStringLiteral("/Unnamed");
    result.reset();
    ASSERT_TRUE(run.start(job));
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 10000));
    EXPECT_TRUE(QFileInfo(job.recoverPath + QStringLiteral("/Unknown Device")).isDir());
    EXPECT_TRUE(QFileInfo::exists(job.recoverPath + QStringLiteral("/Message/Unknown Device's Message.html")));
}

TEST(ExportRunLayout, SecondExportIntoTheSameRootKeepsTheFirstOnesFiles)
{
    Fixture fx;
    fx.fillEveryKind();
    const Result first = runToEnd(fx.job);
    ASSERT_TRUE(first.failures.isEmpty()) << failuresText(first).toStdString();
    QHash<QString, QByteArray> before;
    const QStringList firstFiles = filesBelow(fx.root);
    for (const QString &rel : firstFiles)
        before.insert(rel, bytesOf(fx.root + QLatin1Char('/') + rel));

    // The sources change meanwhile: the first copies must not follow.
    putFile(fx.job.photoAndVideos[0]->filePath(), "changed");
    const Result second = runToEnd(fx.job);
    EXPECT_TRUE(second.failures.isEmpty()) << failuresText(second).toStdString();
    EXPECT_EQ(second.written, first.written);

    for (auto it = before.cbegin(); it != before.cend(); ++it)
        EXPECT_EQ(bytesOf(fx.root + QLatin1Char('/') + it.key()), it.value()) << it.key().toStdString();
    const QStringList all = filesBelow(fx.root);
    EXPECT_EQ(all.size(), 2 * firstFiles.size());
    EXPECT_TRUE(all.contains(QStringLiteral("Contact/Anna 2.vcf")));
    EXPECT_TRUE(all.contains(QStringLiteral("Contact/Contacts 2.txt")));
    EXPECT_TRUE(all.contains(QStringLiteral("Message/clip 2.mov.mov")));
    EXPECT_EQ(bytesOf(fx.root + QStringLiteral("/Photo&Video/IMG_0001 2.JPG")), QByteArray("changed"));
}

TEST(ExportRunSafety, HostileNamesStayInsideTheRoot)
{
    Fixture fx;
    Job &job = fx.job;
    job.recoverPath = fx.root;
    job.deviceName = QStringLiteral("../../x");
    const QString data = fx.source(QStringLiteral("data"), "data");
    job.photoAndVideos = {photo(QStringLiteral("../../x"), data), photo(QStringLiteral("a/b"), data),
                          photo(QString(), data), photo(QStringLiteral(".."), data)};
    job.contacts = {contact(QStringLiteral(".."), QString(), 7), contact(QStringLiteral("../../x"), QString(), 8),
                    contact(QStringLiteral("a/b"), QString(), 9), contact(QString(), QStringLiteral("/etc/passwd"), 10)};
    job.conversations = {conversation(QStringLiteral("../../x"),
                                      {attachment(QStringLiteral("Mov"), QStringLiteral("/etc/passwd")),
                                       attachment(QStringLiteral("Contact"), QStringLiteral("/etc/passwd")),
                                       attachment(QStringLiteral("Mov"), fx.sources + QStringLiteral("/..")),
                                       attachment(QStringLiteral("Location"), QStringLiteral("../../x"))})};
    job.socialFiles = {socialFile(QStringLiteral("../../y"), data), socialFile(QStringLiteral("/"), data)};
    job.backupFiles = {{QStringLiteral("../../../escape/f"), data, true, 4},
                       {QStringLiteral("HomeDomain/../../../g"), data, true, 4},
                       {QStringLiteral("/etc/passwd"), data, true, 4},
                       {QStringLiteral(".."), data, false, 0}};
    // A kind's folder that is a link to elsewhere is refused, not followed.
    const QString outside = fx.dir.path() + QStringLiteral("/outside");
    QDir().mkpath(outside);
    QDir().mkpath(fx.root);
    ASSERT_TRUE(QFile::link(outside, fx.root + QStringLiteral("/Note")));
    // So is a link inside the device's folder that a backup path runs through.
    QDir().mkpath(fx.root + QStringLiteral("/.._.._x"));
    ASSERT_TRUE(QFile::link(outside, fx.root + QStringLiteral("/.._.._x/HomeDomain")));
    job.notes = {make<PRNoteNode>()};

    const QStringList outsideBefore = QDir(fx.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    PRExportRun run;
    std::optional<Result> result;
    QObject::connect(&run, &PRExportRun::finished, [&](const Result &r) { result = r; });
    ASSERT_TRUE(run.start(job));
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 20000));

    // Nothing new beside the root, nothing in the linked folder.
    EXPECT_EQ(QDir(fx.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), outsideBefore);
    EXPECT_TRUE(QDir(outside).isEmpty());
    const QString realRoot = QFileInfo(fx.root).canonicalFilePath();
    QDirIterator it(fx.root, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (info.isSymLink())
            continue;
        EXPECT_TRUE(info.canonicalFilePath().startsWith(realRoot + QLatin1Char('/'))) << info.filePath().toStdString();
    }

    const QStringList files = filesBelow(fx.root);
    for (const QString &name :
         {QStringLiteral("Photo&Video/.._.._x"), QStringLiteral("Photo&Video/a_b"), QStringLiteral("Photo&Video/unknown"),
          QStringLiteral("Contact/unknown 7.vcf"), QStringLiteral("Contact/.._.._x.vcf"), QStringLiteral("Contact/a_b.vcf"),
          QStringLiteral("Contact/_etc_passwd.vcf"), QStringLiteral("Message/passwd.mov"),
          QStringLiteral("Message/passwd.vcf"), QStringLiteral("FaceBook&Twitter/.._.._y"),
          QStringLiteral(".._.._x/escape/f"), QStringLiteral(".._.._x/etc/passwd")})
        EXPECT_TRUE(files.contains(name)) << name.toStdString() << "\n" << files.join(QLatin1Char('\n')).toStdString();

    // Refusals and unreadable sources are reported, not passed over.
    QStringList failed;
    for (const auto &f : result->failures)
        failed << QDir(fx.root).relativeFilePath(f.path);
    failed.sort();
    EXPECT_EQ(failed, (QStringList{QStringLiteral(".._.._x/HomeDomain/g"), QStringLiteral("Message/attachment.mov"),
                                   QStringLiteral("Message/x.vcf"), QStringLiteral("Note")}))
        << failuresText(*result).toStdString();
}

TEST(ExportRunSafety, UnreadableSourcesAndBlockedFoldersAreReported)
{
    Fixture fx;
    Job &job = fx.job;
    job.recoverPath = fx.root;
    job.deviceName = QStringLiteral("Phone");
    const QString good = fx.source(QStringLiteral("good.jpg"), "good");
    job.photoAndVideos = {photo(QStringLiteral("missing.jpg"), fx.sources + QStringLiteral("/nothing")),
                          photo(QStringLiteral("folder.jpg"), fx.sources),
                          photo(QStringLiteral("good.jpg"), good)};
    job.contacts = {contact(QStringLiteral("Anna"), QString(), 1)};
    // Not a text card: skipped and reported.
    job.conversations = {conversation(QStringLiteral("Anna"), {attachment(QStringLiteral("Contact"),
                                                                          fx.source(QStringLiteral("bin.vcf"), "\xff\xfe\x00\xd8"))})};
    // A file where the contacts' folder should be.
    putFile(fx.root + QStringLiteral("/Contact"), "in the way");

    PRExportRun run;
    std::optional<Result> result;
    QObject::connect(&run, &PRExportRun::finished, [&](const Result &r) { result = r; });
    ASSERT_TRUE(run.start(job));
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 10000));

    QStringList failed;
    for (const auto &f : result->failures)
        failed << QDir(fx.root).relativeFilePath(f.path);
    failed.sort();
    EXPECT_EQ(failed, (QStringList{QStringLiteral("Contact"), QStringLiteral("Message/bin.vcf.vcf"),
                                   QStringLiteral("Photo&Video/folder.jpg"), QStringLiteral("Photo&Video/missing.jpg")}))
        << failuresText(*result).toStdString();
    EXPECT_EQ(QDir(fx.root + QStringLiteral("/Photo&Video")).entryList(QDir::Files), QStringList{QStringLiteral("good.jpg")});
    EXPECT_EQ(bytesOf(fx.root + QStringLiteral("/Contact")), QByteArray("in the way"));
    EXPECT_FALSE(QFileInfo::exists(fx.root + QStringLiteral("/Message/bin.vcf.vcf")));
    // Only what was written counts: the good photo and the conversation.
    EXPECT_EQ(run.done(), 2);
    EXPECT_EQ(run.total(), 5);
    EXPECT_EQ(run.percent(), 40);

    // A root that cannot be made: one failure, nothing else tried.
    Job blocked;
    blocked.recoverPath = fx.root + QStringLiteral("/Contact/Export");
    result.reset();
    ASSERT_TRUE(run.start(blocked));
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 10000));
    ASSERT_EQ(result->failures.size(), 1);
    EXPECT_EQ(result->failures[0].path, blocked.recoverPath);
}

// The page as text (UTF-16 after its mark).
QString pageText(const QString &path)
{
    const QByteArray bytes = bytesOf(path);
    if (!bytes.startsWith("\xff\xfe"))
        return {};
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 2), (bytes.size() - 2) / 2);
}

// Every relative file below folder whose bytes are bytes.
QStringList filesHolding(const QString &folder, const QByteArray &bytes)
{
    QStringList out;
    for (const QString &rel : filesBelow(folder))
        if (bytesOf(folder + QLatin1Char('/') + rel) == bytes)
            out << rel;
    return out;
}

TEST(ExportRunSafety, BackupFilesNeverTakeTheGeneratedFilesNames)
{
    Fixture fx;
    const QByteArray fakePage = "<html><script>steal()</script></html>";
    const QByteArray fakeText = "Name:Mallory  Phone:call me  ";
    const QByteArray fakeCard = "BEGIN:VCARD\nFN:Mallory\nEND:VCARD\n";

    // A device named like the page's folder, its index naming the page.
    Job &messages = fx.job;
    messages.recoverPath = fx.root;
    messages.deviceName = QStringLiteral("Message");
    messages.conversations = {
        conversation(QStringLiteral("Anna"), {textMessage(QStringLiteral("Anna"), QStringLiteral("<b>hi</b>"))})};
    const QString fake = fx.source(QStringLiteral("p"), fakePage);
    messages.backupFiles = {{QStringLiteral("../Message's Message.html"), fake, true, 1},
                            {QStringLiteral("Message's Message.html"), fake, true, 1}};
    Result result = runToEnd(messages);
    EXPECT_TRUE(result.failures.isEmpty()) << failuresText(result).toStdString();
    const QString page = fx.root + QStringLiteral("/Message/Message's Message.html");
    EXPECT_TRUE(pageText(page).contains(QLatin1String("&lt;b&gt;hi&lt;/b&gt;"))) << "the real page at its name";
    EXPECT_FALSE(QFileInfo::exists(fx.root + QStringLiteral("/Message/Message's Message_.html")));
    EXPECT_TRUE(filesHolding(fx.root + QStringLiteral("/Message"), fakePage).isEmpty());
    EXPECT_EQ(filesHolding(fx.root, fakePage).size(), 2) << "the backup's files are still exported, apart";

    // The same for the contacts' text file and their cards.
    Fixture contacts;
    Job &job = contacts.job;
    job.recoverPath = contacts.root;
    job.deviceName = QStringLiteral("Contact");
    job.contacts = {contact(QStringLiteral("Anna"), QString(), 1)};
    job.backupFiles = {{QStringLiteral("Contacts.txt"), contacts.source(QStringLiteral("t"), fakeText), true, 1},
                       {QStringLiteral("Anna.vcf"), contacts.source(QStringLiteral("c"), fakeCard), true, 1}};
    result = runToEnd(job);
    EXPECT_TRUE(result.failures.isEmpty()) << failuresText(result).toStdString();
    EXPECT_EQ(bytesOf(contacts.root + QStringLiteral("/Contact/Contacts.txt")),
              textFileOf(job.contacts, QStringLiteral("Contact"), &PRRtfController::contactText));
    EXPECT_EQ(bytesOf(contacts.root + QStringLiteral("/Contact/Anna.vcf")),
              PRVCFController::cardBytes(*job.contacts[0]));
    EXPECT_TRUE(filesHolding(contacts.root + QStringLiteral("/Contact"), fakeText).isEmpty());
    EXPECT_TRUE(filesHolding(contacts.root + QStringLiteral("/Contact"), fakeCard).isEmpty());

    // Whichever way a backup file reaches a kind's folder (here the
    // device's folder is a link to it), the generated file was there first.
    Fixture linked;
    linked.job.recoverPath = linked.root;
    linked.job.deviceName = QStringLiteral("Phone");
    QDir().mkpath(linked.root + QStringLiteral("/Message"));
    ASSERT_TRUE(QFile::link(linked.root + QStringLiteral("/Message"), linked.root + QStringLiteral("/Phone")));
    linked.job.backupFiles = {
        {QStringLiteral("Phone's Message.html"), linked.source(QStringLiteral("p"), fakePage), true, 1}};
    result = runToEnd(linked.job);
    EXPECT_TRUE(result.failures.isEmpty()) << failuresText(result).toStdString();
    EXPECT_TRUE(
        pageText(linked.root + QStringLiteral("/Message/Phone's Message.html")).contains(QLatin1String("<h1>")));
    EXPECT_EQ(filesHolding(linked.root, fakePage), QStringList{QStringLiteral("Message/Phone's Message 2.html")});
}

TEST(ExportRunSafety, LinksPipesAndDevicesAreReportedNotRead)
{
    Fixture fx;
    const QByteArray secret = "the user's own private words, outside the backup\n";
    const QString outsideFile = fx.dir.path() + QStringLiteral("/outside/secret.txt");
    putFile(outsideFile, secret);
    QDir().mkpath(fx.sources);
    const QString toOutside = fx.sources + QStringLiteral("/link-outside");
    const QString toZero = fx.sources + QStringLiteral("/link-zero");
    const QString fifo = fx.sources + QStringLiteral("/fifo");
    ASSERT_TRUE(QFile::link(outsideFile, toOutside));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), toZero));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QStringList bad = {toOutside, toZero, fifo};

    Job &job = fx.job;
    job.recoverPath = fx.root;
    job.deviceName = QStringLiteral("Phone");
    QList<std::shared_ptr<PRMessageNode>> messages;
    for (const QString &source : bad) {
        const QString name = QFileInfo(source).fileName();
        job.photoAndVideos << photo(name + QStringLiteral(".jpg"), source);
        job.socialFiles << socialFile(name + QStringLiteral(".db"), source);
        job.backupFiles << PRExportRun::BackupFile{QStringLiteral("HomeDomain/") + name, source, true, 10};
        messages << attachment(QStringLiteral("Mov"), source) << attachment(QStringLiteral("Contact"), source)
                 << attachment(QStringLiteral("Image"), source);
    }
    job.conversations = {conversation(QStringLiteral("Anna"), messages)};

    PRExportRun run;
    std::optional<Result> result;
    QObject::connect(&run, &PRExportRun::finished, [&](const Result &r) { result = r; });
    ASSERT_TRUE(run.start(job));
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 20000)) << "a pipe never blocks the run";

    // Each of the six ways to read a source, for each of the three.
    QStringList failed;
    for (const auto &f : result->failures)
        failed << QDir(fx.root).relativeFilePath(f.path);
    EXPECT_EQ(failed.size(), 6 * bad.size()) << failuresText(*result).toStdString();
    for (const QString &name :
         {QStringLiteral("Photo&Video/link-outside.jpg"), QStringLiteral("Phone/HomeDomain/fifo"),
          QStringLiteral("FaceBook&Twitter/link-zero.db"), QStringLiteral("Message/link-outside.mov"),
          QStringLiteral("Message/link-outside.vcf"), QStringLiteral("Message/Phone's Message_files/fifo.jpg")})
        EXPECT_TRUE(failed.contains(name)) << name.toStdString() << "\n" << failuresText(*result).toStdString();

    // Nothing of the outside file, nor of the device, was written.
    for (const QString &rel : filesBelow(fx.root)) {
        const QByteArray bytes = bytesOf(fx.root + QLatin1Char('/') + rel);
        EXPECT_FALSE(bytes.contains(secret.left(24))) << rel.toStdString();
        if (!rel.endsWith(QLatin1String(".html")) && !rel.endsWith(QLatin1String(".txt")))
            ADD_FAILURE() << "a copy was made: " << rel.toStdString();
    }
    EXPECT_FALSE(pageText(fx.root + QStringLiteral("/Message/Phone's Message.html")).contains(fx.sources));
}

TEST(ExportRunConversationPage, PicturesBesideThePageByRelativeReference)
{
    // The backup's place names its owner: the page must not.
    QTemporaryDir dir;
    const QString backup = dir.path() + QStringLiteral("/home of anna/Backup/00008030-001A");
    const auto stored = [&](const QString &key, const QByteArray &bytes) {
        const QString path = backup + QLatin1Char('/') + key.left(2) + QLatin1Char('/') + key;
        putFile(path, bytes);
        return path;
    };
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray png;
    QBuffer buffer(&png);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
    ASSERT_TRUE(image.save(&buffer, "PNG"));
    const QByteArray jpeg = QByteArray::fromHex("ffd8ffe000104a46494600010100000100010000") + QByteArray(40, 'j');
    const QByteArray movie = randomBytes(3000, 5);
    const QByteArray card = "BEGIN:VCARD\nFN:Bo\nEND:VCARD\n";
    Job job;
    job.recoverPath = dir.path() + QStringLiteral("/Export");
    job.deviceName = QStringLiteral("Anna's #1 iPhone");
    job.conversations = {conversation(
        QStringLiteral("Bo"), {attachment(QStringLiteral("Image"), stored(QStringLiteral("aa11"), png)),
                               attachment(QStringLiteral("Image"), stored(QStringLiteral("bb22"), jpeg)),
                               attachment(QStringLiteral("Mov"), stored(QStringLiteral("cc33"), movie)),
                               attachment(QStringLiteral("Contact"), stored(QStringLiteral("dd44"), card)),
                               attachment(QStringLiteral("Image"), backup + QStringLiteral("/ee/gone"))})};
    // The missing picture: reported, and not written.
    const Result result = runToEnd(job, 60000, 1);
    ASSERT_EQ(result.failures.size(), 1) << failuresText(result).toStdString();

    const QString pagePath = job.recoverPath + QStringLiteral("/Message/Anna's #1 iPhone's Message.html");
    const QString page = pageText(pagePath);
    ASSERT_FALSE(page.isEmpty());
    EXPECT_FALSE(page.contains(backup)) << page.toStdString();
    EXPECT_FALSE(page.contains(QLatin1String("home of anna"))) << page.toStdString();
    EXPECT_FALSE(page.contains(dir.path())) << page.toStdString();

    // Each reference, resolved against the page as a browser would, is the copy.
    QStringList references;
    const QRegularExpression attribute(QStringLiteral("(?:src|href)='([^']*)'"));
    for (auto it = attribute.globalMatch(page); it.hasNext();)
        references << it.next().captured(1);
    ASSERT_EQ(references.size(), 4) << page.toStdString();
    const QList<QByteArray> expected = {png, jpeg, movie, card};
    for (qsizetype i = 0; i < references.size(); ++i) {
        const QUrl reference(references[i]);
        EXPECT_TRUE(reference.isRelative()) << references[i].toStdString();
        EXPECT_FALSE(references[i].contains(QLatin1Char(' '))) << "escaped: " << references[i].toStdString();
        const QString file = QUrl::fromLocalFile(pagePath).resolved(reference).toLocalFile();
        EXPECT_EQ(bytesOf(file), expected[i]) << references[i].toStdString();
        EXPECT_TRUE(PRExportPaths::isInside(job.recoverPath + QStringLiteral("/Message"), file));
    }
    EXPECT_EQ(references[0], QStringLiteral("Anna%27s%20%231%20iPhone%27s%20Message_files/aa11.png"));
    EXPECT_EQ(references[1], QStringLiteral("Anna%27s%20%231%20iPhone%27s%20Message_files/bb22.jpg"));

    // A second export beside the first: the first one's pictures stay its own.
    const Result again = runToEnd(job, 60000, 1);
    EXPECT_EQ(again.failures.size(), 1) << failuresText(again).toStdString();
    const QString second = pageText(job.recoverPath + QStringLiteral("/Message/Anna's #1 iPhone's Message_.html"));
    EXPECT_TRUE(second.contains(QLatin1String("Message__files/aa11.png"))) << second.toStdString();
    EXPECT_EQ(bytesOf(job.recoverPath + QStringLiteral("/Message/Anna's #1 iPhone's Message_files/aa11.png")), png);
}

TEST(ExportRunCopy, ShrinkingGrowingAndVanishingSourcesLeaveNoPartialTarget)
{
    QTemporaryDir dir;
    const QString source = dir.path() + QStringLiteral("/src.bin");
    const QByteArray content = randomBytes(2 * PRExportRun::copyChunk + 100, 3);
    QByteArray buffer;

    // Whole, in chunks of at most 8 MiB through the one buffer.
    putFile(source, content);
    int chunks = 0;
    auto done = PRExportRun::copyFile(source, dir.path() + QStringLiteral("/whole"), buffer, [&] { return ++chunks > 0; });
    ASSERT_EQ(done.status, PRExportRun::CopyStatus::Copied) << done.reason.toStdString();
    EXPECT_EQ(bytesOf(done.path), content);
    EXPECT_EQ(done.bytes, content.size());
    EXPECT_EQ(chunks, 4) << "three chunks and the look for more";
    EXPECT_EQ(buffer.size(), PRExportRun::copyChunk);

    // Cut short after the first chunk: a failure, no target left.
    const QString shrunkTarget = dir.path() + QStringLiteral("/shrunk");
    int calls = 0;
    auto shrunk = PRExportRun::copyFile(source, shrunkTarget, buffer, [&] {
        if (++calls == 2)
            QFile::resize(source, 1000);
        return true;
    });
    EXPECT_EQ(shrunk.status, PRExportRun::CopyStatus::Failed);
    EXPECT_TRUE(shrunk.path.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(shrunkTarget));
    EXPECT_FALSE(shrunk.reason.isEmpty());

    // Grown meanwhile: the copy would not be the file that was opened.
    putFile(source, content);
    calls = 0;
    auto grown = PRExportRun::copyFile(source, dir.path() + QStringLiteral("/grown"), buffer, [&] {
        if (++calls == 2) {
            QFile f(source);
            if (f.open(QIODevice::Append))
                f.write("more");
        }
        return true;
    });
    EXPECT_EQ(grown.status, PRExportRun::CopyStatus::Failed);
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/grown")));

    // Cancelled mid-way: removed, reported as cancelled.
    calls = 0;
    auto stopped = PRExportRun::copyFile(source, dir.path() + QStringLiteral("/stopped"), buffer, [&] { return ++calls < 2; });
    EXPECT_EQ(stopped.status, PRExportRun::CopyStatus::Cancelled);
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/stopped")));

    // Missing or not a regular file: nothing made at the target.
    for (const QString &bad : {dir.path() + QStringLiteral("/none"), dir.path(), QStringLiteral("/dev/zero")}) {
        auto failed = PRExportRun::copyFile(bad, dir.path() + QStringLiteral("/bad"), buffer);
        EXPECT_EQ(failed.status, PRExportRun::CopyStatus::Failed) << bad.toStdString();
        EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/bad")));
    }

    // An empty source gives an empty copy; a taken name is never replaced.
    putFile(dir.path() + QStringLiteral("/empty"), QByteArray());
    putFile(dir.path() + QStringLiteral("/taken.txt"), "keep");
    auto empty = PRExportRun::copyFile(dir.path() + QStringLiteral("/empty"), dir.path() + QStringLiteral("/taken.txt"), buffer);
    ASSERT_EQ(empty.status, PRExportRun::CopyStatus::Copied);
    EXPECT_EQ(empty.path, dir.path() + QStringLiteral("/taken 2.txt"));
    EXPECT_EQ(QFileInfo(empty.path).size(), 0);
    EXPECT_EQ(bytesOf(dir.path() + QStringLiteral("/taken.txt")), QByteArray("keep"));
}

TEST(ExportRunProgress, MoviesCountInTheTotalSoTheEndIsAHundred)
{
    Fixture fx;
    fx.job.recoverPath = fx.root;
    for (int i = 0; i < 3; ++i) {
        const QString clip = fx.source(QStringLiteral("clip%1.mov").arg(i), randomBytes(1000, quint32(i)));
        fx.job.conversations.append(
            conversation(QStringLiteral("C%1").arg(i), {attachment(QStringLiteral("Mov"), clip)}));
    }
    PRExportRun run;
    std::optional<Result> result;
    int highest = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] { highest = std::max(highest, run.percent()); });
    poll.start(1);
    QObject::connect(&run, &PRExportRun::finished, [&](const Result &r) { result = r; });
    ASSERT_TRUE(run.start(fx.job));
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 10000));
    EXPECT_EQ(run.total(), 6);
    EXPECT_EQ(run.done(), 6);
    EXPECT_EQ(run.percent(), 100);
    EXPECT_LE(highest, 100);
}

TEST(ExportRunProgress, CancelStopsEarlyAndLeavesOnlyWholeCopies)
{
    Fixture fx;
    fx.job.recoverPath = fx.root;
    const QString big = fx.source(QStringLiteral("big.bin"), randomBytes(3 * 1024 * 1024, 9));
    for (int i = 0; i < 300; ++i)
        fx.job.photoAndVideos.append(photo(QStringLiteral("p%1.bin").arg(i), big));
    PRExportRun run;
    std::optional<Result> result;
    QObject::connect(&run, &PRExportRun::finished, [&](const Result &r) { result = r; });
    ASSERT_TRUE(run.start(fx.job));
    EXPECT_FALSE(run.start(fx.job)) << "one export at a time";
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.done() >= 2; }, 10000));
    run.cancel();
    run.wait();
    EXPECT_FALSE(run.isRunning());
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 10000));
    EXPECT_TRUE(result->cancelled);
    EXPECT_LT(run.done(), run.total());
    EXPECT_LT(run.percent(), 100);
    const QStringList copies = QDir(fx.root + QStringLiteral("/Photo&Video")).entryList(QDir::Files);
    EXPECT_EQ(copies.size(), run.done());
    for (const QString &name : copies)
        EXPECT_EQ(QFileInfo(fx.root + QStringLiteral("/Photo&Video/") + name).size(), 3 * 1024 * 1024);
    // Cancelled before the text kinds: their folders are not made.
    EXPECT_FALSE(QFileInfo::exists(fx.root + QStringLiteral("/Note")));

    // The object's end cancels and waits for a running export.
    {
        PRExportRun dropped;
        ASSERT_TRUE(dropped.start(fx.job));
    }
}

TEST(ExportRunBackupFiles, TickedFilesAtTheirPathMissingOnesAsEmptyFolders)
{
    QTemporaryDir dir;
    const auto stored = [&](const QString &name, const QByteArray &bytes) {
        const QString path = dir.path() + QStringLiteral("/backup/") + name;
        putFile(path, bytes);
        return path;
    };
    const auto entry = [](const QString &domain, const QString &path, const QString &key) {
        auto e = std::make_shared<PRTreeDirNode>();
        e->setFileDomain(domain);
        e->setFilePath(path);
        e->setFileKey(key);
        return e;
    };
    PRTreeController tree;
    tree.setDeviceName(QStringLiteral("Phone"));
    tree.addTreeNode(entry(QStringLiteral("HomeDomain"), QStringLiteral("Library/Preferences/a.plist"), stored("aa", "A")));
    tree.addTreeNode(entry(QStringLiteral("HomeDomain"), QStringLiteral("Library/b.plist"), stored("bb", "BB")));
    tree.addTreeNode(entry(QStringLiteral("HomeDomain"), QStringLiteral("Media/DCIM"), dir.path() + QStringLiteral("/backup/none")));
    tree.addTreeNode(entry(QStringLiteral("CameraRollDomain"), QStringLiteral("x.jpg"), stored("xx", "X")));
    ASSERT_EQ(tree.topLevel().size(), 1);
    const auto device = tree.topLevel().first();
    PRTreeController::DirRef home;
    for (const auto &d : device->children())
        if (d->fileName() == QLatin1String("HomeDomain"))
            home = d;
    ASSERT_TRUE(home);
    tree.setFolderState(home, 1);

    const QList<PRExportRun::BackupFile> ticked = PRExportRun::tickedBackupFiles(tree);
    QStringList paths;
    for (const auto &f : ticked)
        paths << f.dirFilePath;
    EXPECT_EQ(paths, (QStringList{QStringLiteral("HomeDomain/Library/b.plist"), QStringLiteral("HomeDomain/Library/Preferences/a.plist"),
                                  QStringLiteral("HomeDomain/Media/DCIM")}));

    Job job;
    job.recoverPath = dir.path() + QStringLiteral("/Export");
    job.deviceName = QStringLiteral("Phone");
    job.backupFiles = ticked;
    PRExportRun run;
    std::optional<Result> result;
    QObject::connect(&run, &PRExportRun::finished, [&](const Result &r) { result = r; });
    ASSERT_TRUE(run.start(job));
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 10000));
    EXPECT_TRUE(result->failures.isEmpty()) << failuresText(*result).toStdString();
    EXPECT_EQ(run.total(), 2) << "the missing stored file is not counted";
    EXPECT_EQ(run.done(), 2);
    const QString base = job.recoverPath + QStringLiteral("/Phone/");
    EXPECT_EQ(bytesOf(base + QStringLiteral("HomeDomain/Library/Preferences/a.plist")), QByteArray("A"));
    EXPECT_EQ(bytesOf(base + QStringLiteral("HomeDomain/Library/b.plist")), QByteArray("BB"));
    EXPECT_TRUE(QFileInfo(base + QStringLiteral("HomeDomain/Media/DCIM")).isDir());
    EXPECT_TRUE(QDir(base + QStringLiteral("HomeDomain/Media/DCIM")).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(base + QStringLiteral("CameraRollDomain")));
}

TEST(ExportRunPicture, PictureWrittenBesideEarlierOnesUnderASafeName)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/Desktop/Ostra");
    QLabel view(QStringLiteral("Hi there"));
    view.resize(120, 40);
    const QImage picture = view.grab().toImage();

    const QString first = PRExportRun::saveConversationPicture(picture, folder, QStringLiteral("Anna"));
    const QString second = PRExportRun::saveConversationPicture(picture, folder, QStringLiteral("Anna"));
    EXPECT_EQ(first, folder + QStringLiteral("/Anna_MessageImage.png"));
    EXPECT_EQ(second, folder + QStringLiteral("/Anna_MessageImage 2.png"));
    EXPECT_EQ(QImage(first).size(), picture.size());

    const QString hostile = PRExportRun::saveConversationPicture(picture, folder, QStringLiteral("../../evil"));
    EXPECT_EQ(hostile, folder + QStringLiteral("/.._.._evil_MessageImage.png"));
    EXPECT_TRUE(PRExportRun::saveConversationPicture(QImage(), folder, QStringLiteral("x")).isEmpty());
    EXPECT_TRUE(PRExportRun::pictureFolder().endsWith(QStringLiteral("/Ostra")));
}

// Records what the reveal strategies were asked, and restores the real ones.
struct RevealRecorder
{
    QStringList fileManagerPaths;
    QList<QUrl> opened;
    bool fileManagerAnswers = false;
    QThread *thread = nullptr;
    PRReveal::Strategies saved;

    RevealRecorder()
    {
        saved = PRReveal::setStrategies({[this](const QString &path) {
                                             fileManagerPaths << path;
                                             thread = QThread::currentThread();
                                             return fileManagerAnswers;
                                         },
                                         [this](const QUrl &url) {
                                             opened << url;
                                             return true;
                                         }});
    }
    ~RevealRecorder() { PRReveal::setStrategies(saved); }
};

TEST(ExportRunReveal, FileManagerFirstThenTheDesktopOpener)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/with space#");
    QDir().mkpath(folder);

    const QDBusMessage message = PRReveal::showFoldersMessage({folder});
    EXPECT_EQ(message.type(), QDBusMessage::MethodCallMessage);
    EXPECT_EQ(message.service(), QStringLiteral("org.freedesktop.FileManager1"));
    EXPECT_EQ(message.path(), QStringLiteral("/org/freedesktop/FileManager1"));
    EXPECT_EQ(message.interface(), QStringLiteral("org.freedesktop.FileManager1"));
    EXPECT_EQ(message.member(), QStringLiteral("ShowFolders"));
    ASSERT_EQ(message.arguments().size(), 2);
    const QStringList uris = message.arguments()[0].toStringList();
    ASSERT_EQ(uris.size(), 1);
    EXPECT_EQ(QUrl(uris[0]).toLocalFile(), folder);
    EXPECT_TRUE(uris[0].startsWith(QStringLiteral("file:///")));
    EXPECT_TRUE(uris[0].contains(QStringLiteral("%23"))) << uris[0].toStdString();
    EXPECT_EQ(message.arguments()[1].toString(), QString());
    EXPECT_FALSE(PRReveal::callFileManager(QDBusConnection(QStringLiteral("not connected")), {folder}));

    {
        RevealRecorder rec;
        rec.fileManagerAnswers = true;
        EXPECT_TRUE(PRReveal::showFolder(folder + QStringLiteral("/.")));
        EXPECT_EQ(rec.fileManagerPaths, QStringList{folder});
        EXPECT_TRUE(rec.opened.isEmpty());

        rec.fileManagerAnswers = false;
        EXPECT_TRUE(PRReveal::showFolder(folder));
        EXPECT_EQ(rec.opened, QList<QUrl>{QUrl::fromLocalFile(folder)});

        rec.fileManagerPaths.clear();
        EXPECT_FALSE(PRReveal::showFolder(dir.path() + QStringLiteral("/none")));
        EXPECT_TRUE(rec.fileManagerPaths.isEmpty());

        // The export reveals on its worker, never on the GUI thread.
        rec.fileManagerAnswers = true;
        Job job;
        job.recoverPath = dir.path() + QStringLiteral("/Export");
        job.revealWhenDone = true;
        const Result result = runToEnd(job);
        EXPECT_EQ(rec.fileManagerPaths.value(0), job.recoverPath);
        EXPECT_NE(rec.thread, nullptr);
        EXPECT_NE(rec.thread, QThread::currentThread());
    }
}

// A stand-in file manager on a bus of its own, serving from its own thread.
class FakeFileManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList uris;
    QString startupId;

public Q_SLOTS:
    void ShowFolders(const QStringList &folders, const QString &startup)
    {
        uris = folders;
        startupId = startup;
    }
};

TEST(ExportRunReveal, TalksToAFileManagerOnAPrivateBus)
{
    const QString daemon = QStringLiteral("/usr/bin/dbus-daemon");
    if (!QFileInfo(daemon).isExecutable())
        GTEST_SKIP() << "no dbus-daemon";
    QProcess bus;
    bus.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    if (!bus.waitForStarted(5000) || !bus.waitForReadyRead(5000))
        GTEST_SKIP() << "dbus-daemon did not start";
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    const auto stopBus = qScopeGuard([&] {
        bus.terminate();
        bus.waitForFinished(5000);
    });

    QDBusConnection client = QDBusConnection::connectToBus(address, QStringLiteral("ostra-reveal-client"));
    ASSERT_TRUE(client.isConnected());
    QTemporaryDir dir;

    // No service: an error, so the opener is next.
    EXPECT_FALSE(PRReveal::callFileManager(client, {dir.path()}, 2000));

    QThread serverThread;
    serverThread.start();
    FakeFileManager fake;
    fake.moveToThread(&serverThread);
    QDBusConnection server = QDBusConnection::connectToBus(address, QStringLiteral("ostra-reveal-server"));
    ASSERT_TRUE(server.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &fake,
                                      QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    EXPECT_TRUE(PRReveal::callFileManager(client, {dir.path()}, 5000));
    EXPECT_EQ(fake.uris, QStringList{QUrl::fromLocalFile(dir.path()).toString()});
    EXPECT_EQ(fake.startupId, QString());

    // The service without its object: an error reply.
    server.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
    EXPECT_FALSE(PRReveal::callFileManager(client, {dir.path()}, 2000));

    server.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
    QDBusConnection::disconnectFromBus(QStringLiteral("ostra-reveal-server"));
    QDBusConnection::disconnectFromBus(QStringLiteral("ostra-reveal-client"));
    serverThread.quit();
    serverThread.wait();
}

// An export of many conversations with attachments larger than one copy
// chunk runs off the GUI thread: start() returns at once, the event loop
// keeps turning while the files are written, every movie arrives whole. The
// times (and a run of 256 MiB or more) are measured by ostra-results-bench.
TEST(ExportRunMeasure, ManyMessagesAndLargeAttachmentsOffTheGuiThread)
{
    constexpr int kMessages = 2000;
    constexpr int kConversations = 20;
    constexpr int kMovies = 4;
    const qint64 movieSize = PRExportRun::copyChunk * 2 + 4321;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    // Sparse movie sources, each starting with its own number.
    QList<QString> movies;
    for (int i = 0; i < kMovies; ++i) {
        const QString path = dir.path() + QStringLiteral("/src/movie%1.mov").arg(i);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("moov") + QByteArray::number(i));
        ASSERT_TRUE(f.resize(movieSize));
        movies << path;
    }
    const QString card = dir.path() + QStringLiteral("/src/card.vcf");
    putFile(card, "BEGIN:VCARD\nFN:A\nEND:VCARD\n");

    Job job;
    job.recoverPath = dir.path() + QStringLiteral("/Export");
    job.deviceName = QStringLiteral("Phone");
    int movieIndex = 0;
    for (int c = 0; c < kConversations; ++c) {
        QList<std::shared_ptr<PRMessageNode>> messages;
        for (int m = 0; m < kMessages / kConversations; ++m) {
            const int n = c * (kMessages / kConversations) + m;
            if (n % (kMessages / kMovies) == 0 && movieIndex < kMovies)
                messages << attachment(QStringLiteral("Mov"), movies[movieIndex++]);
            else if (n % 500 == 1)
                messages << attachment(QStringLiteral("Contact"), card);
            else
                messages << textMessage(QStringLiteral("Person %1").arg(c), QStringLiteral("Message number %1 with some text").arg(n));
        }
        job.conversations << conversation(QStringLiteral("Person %1").arg(c), messages);
    }
    ASSERT_EQ(movieIndex, kMovies);

    PRExportRun run;
    std::optional<Result> result;
    QObject::connect(&run, &PRExportRun::finished, [&](const Result &r) { result = r; });
    int ticks = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] { ++ticks; });
    watch.start(1);
    ASSERT_TRUE(run.start(job));
    EXPECT_FALSE(result.has_value()) << "the export ran inside start()";
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 120000));
    watch.stop();

    EXPECT_TRUE(result->failures.isEmpty()) << failuresText(*result).toStdString();
    EXPECT_EQ(run.total(), kConversations + kMovies);
    EXPECT_EQ(run.done(), run.total());
    std::cout << "export of " << kMessages << " messages: the GUI thread's 1 ms timer ran " << ticks << " times\n";
    EXPECT_GT(ticks, 0) << "the GUI thread's events waited for the export";
    QStringList copies = QDir(job.recoverPath + QStringLiteral("/Message")).entryList({QStringLiteral("*.mov.mov")});
    copies.sort();
    ASSERT_EQ(copies.size(), kMovies);
    for (int i = 0; i < kMovies; ++i) {
        const QByteArray copy = bytesOf(job.recoverPath + QStringLiteral("/Message/") + copies[i]);
        EXPECT_EQ(copy.size(), movieSize) << i;
        EXPECT_TRUE(copy.startsWith(QByteArray("moov") + QByteArray::number(i))) << i;
        EXPECT_EQ(copy.count('\0'), movieSize - 5) << "zeros past the header: " << i;
    }
}

} // namespace

#include "exportrun_test.moc"

// Every card the export writes is one a validating vCard 3.0 reader takes:
// read back strictly, each carries its contact's name as N and as FN, and its
// values come back as they were, separators, backslashes and line breaks
// included.
TEST(ExportRunVCards, EveryWrittenCardReadsBackStrictly)
{
    Fixture fx;
    fx.job.recoverPath = fx.root;
    fx.job.deviceName = QStringLiteral("Phone");
    fx.job.contacts = {contact(QStringLiteral("Anna Berg"), QStringLiteral("Ostra AB"), 1),
                       contact(QString(), QStringLiteral("ACME"), 2), contact(QString(), QString(), 3),
                       contact(QStringLiteral("Eve, \\the\\; \"Mallory\"\r\nEND:VCARD\nFN:x"),
                               QStringLiteral("A;B,C"), 4),
                       contact(QStringLiteral("Zoë Ångström \u202e"), QString(), 5)};
    fx.job.contacts[3]->setContactEmail(QStringLiteral("e@x.org\rTEL:666"));
    fx.job.contacts[4]->setContactHomepage(QStringLiteral("http://x/?a=1,2;3"));
    fx.job.contacts[4]->setImageData(QByteArray("\xff\xd8\xff\xe0 not really a JPEG", 21));
    const Result result = runToEnd(fx.job);
    ASSERT_TRUE(result.failures.isEmpty()) << failuresText(result).toStdString();

    QStringList cards;
    for (const QString &file : filesBelow(fx.root))
        if (file.endsWith(QLatin1String(".vcf")))
            cards << file;
    ASSERT_EQ(cards.size(), fx.job.contacts.size()) << cards.join(QLatin1Char(' ')).toStdString();
    QStringList names;
    for (const QString &file : cards) {
        SCOPED_TRACE(file.toStdString());
        const VCardReading card = readVCard(bytesOf(fx.root + QLatin1Char('/') + file));
        ASSERT_TRUE(card.valid()) << card.error.toStdString();
        EXPECT_EQ(card.value(QStringLiteral("FN")), card.value(QStringLiteral("N")));
        names << card.value(QStringLiteral("N"));
    }
    // Line breaks of every kind come back as one "\n".
    QStringList expected = {QStringLiteral("Anna Berg"), QString(), QString(),
                            QStringLiteral("Eve, \\the\\; \"Mallory\"\nEND:VCARD\nFN:x"),
                            QStringLiteral("Zoë Ångström \u202e")};
    names.sort();
    expected.sort();
    EXPECT_EQ(names, expected);

    const VCardReading eve = readVCard(bytesOf(fx.root + QLatin1Char('/') + cards.filter(QStringLiteral("Eve")).value(0)));
    EXPECT_EQ(eve.value(QStringLiteral("ORG")), QStringLiteral("A;B,C"));
    EXPECT_EQ(eve.value(QStringLiteral("EMAIL")), QStringLiteral("e@x.org\nTEL:666"));
    EXPECT_EQ(eve.names(), (QStringList{QStringLiteral("BEGIN"), QStringLiteral("VERSION"), QStringLiteral("N"),
                                        QStringLiteral("FN"), QStringLiteral("ORG"), QStringLiteral("EMAIL"),
                                        QStringLiteral("TEL"), QStringLiteral("URL"), QStringLiteral("END")}));

    // One card byte for byte: FN right after N, nothing else moved.
    EXPECT_EQ(bytesOf(fx.root + QStringLiteral("/Contact/Anna Berg.vcf")),
              QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Anna Berg\r\nFN:Anna Berg\r\nORG:Ostra AB\r\n"
                         "EMAIL;INTERNET;HOME;PREF:\r\nTEL;CELL;PREF:+1 555 0100\r\nURL:\r\nEND:VCARD"));
}

// The strict reader itself refuses what a validating reader refuses, so that
// the test above cannot pass on a card that would be turned away.
TEST(ExportRunVCards, TheStrictReaderRefusesInvalidCards)
{
    const QByteArray good = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:A\r\nFN:A\r\nEND:VCARD";
    EXPECT_TRUE(readVCard(good).valid()) << readVCard(good).error.toStdString();
    EXPECT_TRUE(readVCard(good + "\r\n").valid());
    for (const QByteArray &bad : {QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nN:A\r\nEND:VCARD"),
                                  QByteArray("BEGIN:VCARD\nVERSION:3.0\nN:A\nFN:A\nEND:VCARD"),
                                  QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nN:A\r\nFN:A\r\nEND:VCARD"),
                                  QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nN:A\r\nFN:A,B\r\nEND:VCARD"),
                                  QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nN:A\\x\r\nFN:A\r\nEND:VCARD"),
                                  QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nN:A\r\nFN:A\r\nEND:VCARD\r\n\r\n"),
                                  QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nN:A\r\nFN:A\r\n"),
                                  QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nN:\xff\r\nFN:A\r\nEND:VCARD")})
        EXPECT_FALSE(readVCard(bad).valid()) << bad.toStdString();
}
