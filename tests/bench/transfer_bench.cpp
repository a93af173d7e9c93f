// The transfer page's contacts and messages path on a large phone: reading
// and grouping 100,000 messages of a backup, writing 10,000 vCards, and the
// PDF of a conversation of 10,000 messages with 500 photos.
//
//   build/tests/bench/ostra-transfer-bench [--benchmark_filter=...]
//
// The backup is written once per run into a temporary folder (a few seconds,
// never timed) and removed at the end. The vCards go to fresh temporary
// folders too; TMPDIR=/dev/shm shows the export's own cost apart from the
// disk's (each card is made durable on its own, so a slow disk dominates).
// fastest_ms is the quickest iteration, the steadier figure on a busy disk.

#include "backup/backupfileindex.h"
#include "backup/contactextractor.h"
#include "backup/messageextractor.h"
#include "backup/nodes/prcontactnode.h"
#include "backup/nodes/prmessagenode.h"
#include "backup/nodes/prnode.h"
#include "backup/notificationnames.h"
#include "backup/scancontext.h"
#include "backup/storednames.h"
#include "platform/notificationcenter.h"
#include "platform/propertylist.h"
#include "platform/regularfile.h"
#include "tools/samplegen/contentproducer.h"
#include "tools/samplegen/deviceprofile.h"
#include "tools/samplegen/records/contactsmessages.h"
#include "tools/samplegen/samplebackup.h"
#include "transfer/personal/personalexport.h"
#include "transfer/personal/transferconversations.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kMessages = 100000;
constexpr int kCards = 10000;
// The sample content grows by five people (each with a conversation) per
// step: 160 steps give 803 conversations and 807 address-book people.
constexpr int kContentScale = 160;
const QString kIosVersion = QStringLiteral("14.2");

namespace cm = samplegen::contactsmessages;

// The sample's people and conversations, with messages added until there are
// kMessages, so that the databases come from the same writers (and schemas)
// as every other sample backup.
cm::Content largeContent(const cm::Generation &generation, const QDateTime &backupDate)
{
    cm::Content c = cm::sampleContent(generation, kContentScale, false, backupDate);
    static const char *const kTexts[] = {
        "On my way", "Sounds good!", "Can you call me later?", "Thanks!", "Running late, sorry",
        "Where are you?", "Got it", "See you soon", "What time works for you?", "Dinner at 8?",
        "The meeting moved to the third floor, bring the printed agenda if you can.",
        "Traffic on the bridge is terrible this morning, I will be about twenty minutes late.",
        "Don't forget we need to book the tickets before Friday 🎟️", "Ok 👍", "Love it ❤️"};
    samplegen::SampleRandom random(samplegen::SampleRandom::seedFor("transfer bench messages"));
    const qsizetype handles = c.handles.size();
    while (c.messages.size() < kMessages) {
        cm::Message m;
        // A phone's conversations are uneven: squaring a uniform draw puts
        // most messages into the first conversations, a few into the rest.
        const double u = double(random.next() >> 11) / double(quint64(1) << 53);
        m.handle = int(qMin<qsizetype>(handles - 1, qsizetype(u * u * double(handles))));
        m.fromMe = (random.next() & 1) != 0;
        m.text = QString::fromUtf8(kTexts[random.next() % std::size(kTexts)]);
        c.messages.append(m);
    }
    // Oldest first over the year before the backup, as the writers expect.
    const qint64 first = backupDate.toSecsSinceEpoch() - 365 * 86400;
    const qint64 step = qMax<qint64>(1, 360 * 86400 / c.messages.size());
    const qsizetype narrowUpTo = generation.messageTableWidened() ? c.messages.size() * 3 / 5 : 0;
    for (qsizetype i = 0; i < c.messages.size(); ++i) {
        cm::Message &m = c.messages[i];
        m.rowid = i + 1;
        m.unixTime = first + i * step;
        m.deleted = false;
        m.narrow = i < narrowUpTo;
    }
    return c;
}

// The address book and sms.db of largeContent, with the message attachments.
class LargeMessagesProducer final : public samplegen::ContentProducer
{
public:
    QString name() const override { return QStringLiteral("large messages"); }

    void produce(const samplegen::ProducerContext &context, samplegen::EntrySink &sink) override
    {
        const cm::Generation generation = cm::Generation::forVersion(context.options.iosVersion);
        const cm::Content content = largeContent(generation, context.device.backupDate);
        QString error;
        const QByteArray book = cm::addressBookDatabase(generation, content, &error);
        const QByteArray images = book.isEmpty() ? QByteArray() : cm::addressBookImagesDatabase(generation, content, &error);
        const QByteArray sms = images.isEmpty() ? QByteArray() : cm::smsDatabase(generation, content, &error);
        if (sms.isEmpty()) {
            sink.fail(error);
            return;
        }
        const QString home = QStringLiteral("HomeDomain");
        sink.addFile(home, QStringLiteral("Library/AddressBook/AddressBook.sqlitedb"), book);
        sink.addFile(home, QStringLiteral("Library/AddressBook/AddressBookImages.sqlitedb"), images);
        sink.addFile(home, QStringLiteral("Library/SMS/sms.db"), sms);
        for (const cm::Attachment &attachment : content.attachments)
            sink.addFile(QStringLiteral("MediaDomain"), attachment.relativePath(), attachment.bytes);
    }
};

// One backup for the whole run, and the contacts the transfer page reads
// from it before its messages (their names go into the conversations).
struct LargeBackup
{
    QTemporaryDir dir;
    QString folder;
    NodeList<PRContactNode> contacts;
    QString error;

    LargeBackup()
    {
        QElapsedTimer timer;
        timer.start();
        folder = dir.filePath(QStringLiteral("backup"));
        samplegen::SampleBackupOptions options;
        options.outDir = folder;
        options.iosVersion = kIosVersion;
        options.keepEntries = false;
        samplegen::SampleBackup backup(options);
        backup.addProducer(std::make_unique<LargeMessagesProducer>());
        if (!backup.write()) {
            error = backup.errorString();
            return;
        }
        NotificationCenter center;
        ScanContext context(center);
        context.IOSVersionIOS6(kIosVersion);
        ContactExtractor(context).scanTransferContactThread(folder, contacts);
        std::fprintf(stderr, "backup with %d messages and %lld contacts written in %lld ms\n", kMessages,
                     static_cast<long long>(contacts.size()), static_cast<long long>(timer.elapsed()));
    }
};

LargeBackup &largeBackup()
{
    static LargeBackup backup;
    return backup;
}

// The version the load gives the context: the backup's own Info.plist.
QString backupVersion(const QString &folder)
{
    const auto info = PropertyList::readDictionary(folder + QStringLiteral("/Info.plist"));
    return info ? info->value(QStringLiteral("Product Version")).toString() : QString();
}

void BM_TransferMessages100k(benchmark::State &state)
{
    LargeBackup &backup = largeBackup();
    if (!backup.error.isEmpty()) {
        state.SkipWithError(qPrintable(QStringLiteral("sample backup: ") + backup.error));
        return;
    }
    qsizetype messages = 0, conversations = 0;
    double indexMs = 0, fastestMs = 0;
    for (auto _ : state) {
        // The load's work after a backup: generation, then the index of the
        // stored files (attachment paths are looked up in it). Not timed:
        // the index runs once per phone, the messages every time they are
        // shown.
        state.PauseTiming();
        NotificationCenter center;
        ScanContext context(center);
        NodeList<PRTreeDirNode> transferFileArray;
        QElapsedTimer indexTimer;
        indexTimer.start();
        context.IOSVersionIOS6(backupVersion(backup.folder));
        context.transferFileArray = &transferFileArray;
        BackupFileIndex(context).scanTransferDirAnalyThread(backup.folder, transferFileArray);
        indexMs = double(indexTimer.nsecsElapsed()) / 1e6;
        if (!RegularFile::isRegular(context.storedPath(backup.folder, StoredNames::Sms))) {
            state.SkipWithError("the backup's sms.db is not where the context looks for it");
            return;
        }
        PRTransferConversations grouped;
        const auto observer =
            center.addObserver(&grouped, Notifications::ScanTransferMessageInfo, [&grouped](const Notification &n) {
                grouped.ScanTransferMessageInfoHandle(nodeFromVariant<PRMessageNode>(n.object));
            });
        QElapsedTimer timer;
        state.ResumeTiming();
        timer.start();

        MessageExtractor(context).scanTransferMessageThread(backup.folder, backup.contacts);

        const double ms = double(timer.nsecsElapsed()) / 1e6;
        state.PauseTiming();
        fastestMs = fastestMs == 0 ? ms : qMin(fastestMs, ms);
        center.removeObserver(observer);
        messages = grouped.messageArray().size();
        conversations = grouped.messageTreeArray().size();
        if (messages != kMessages) {
            state.SkipWithError(qPrintable(QStringLiteral("%1 messages grouped, %2 expected").arg(messages).arg(kMessages)));
            return;
        }
        // The nodes are freed outside the timed part too.
        grouped.clear();
        state.ResumeTiming();
    }
    state.counters["messages"] = double(messages);
    state.counters["conversations"] = double(conversations);
    state.counters["contacts"] = double(backup.contacts.size());
    state.counters["index_ms"] = indexMs;
    state.counters["fastest_ms"] = fastestMs;
}

const char *const kFirstNames[] = {
    "Olivia", "Noah",  "Emma",  "Lucas", "Ava",   "Mateo",  "Isla",  "Leo",   "Zoe",   "Omar",
    "Nora",   "Hugo",  "Maya",  "Felix", "Lena",  "Arjun",  "Clara", "Theo",  "Ines",  "Samuel",
    "Yara",   "Elias", "Aiko",  "Jonah", "Freya", "Diego",  "Amara", "Milo",  "Sara",  "Ravi",
    "Ella",   "Tomas", "Hana",  "Oscar", "Lucia", "Kai",    "Nina",  "Adam",  "Vera",  "Ilya",
    "Chloé",  "Björn", "Zoë",   "Aled",  "Mina",  "Pavel",  "Rosa",  "Sven",  "Tara",  "Yusuf"};
const char *const kLastNames[] = {
    "Nguyen",  "Fischer", "Rossi",    "Haddad",   "Kim",    "Novak",  "Silva",  "Larsen",  "Moreau", "Ito",
    "Schultz", "Alvarez", "Byrne",    "Costa",    "Dahl",   "Evans",  "Ferreira", "Garcia", "Hughes", "Ivanova",
    "Jensen",  "Keller",  "Lopez",    "Meyer",    "Nakamura", "Olsen", "Patel",  "Quinn",   "Reyes",  "Sato",
    "Tran",    "Ueda",    "Varga",    "Walsh",    "Young",  "Zhang",  "Abbott", "Berger",  "Chen",   "Duarte",
    "Müller",  "O'Brien", "Søndergaard", "Kowalski", "Dubois", "Marquez", "Okafor", "Tanaka", "Lindqvist", "Raman"};

// Contacts as the contact step makes them: every value of a multi-valued
// field preceded by one space. Names are unique, as in most address books,
// so that the count of written files is the count of contacts.
NodeList<PRContactNode> generatedContacts()
{
    NodeList<PRContactNode> out;
    out.reserve(kCards);
    for (int i = 0; i < kCards; ++i) {
        auto contact = std::make_shared<PRContactNode>();
        const QString first = QString::fromUtf8(kFirstNames[i % 50]);
        const QString last = QString::fromUtf8(kLastNames[(i / 50) % 50]);
        const QChar initial = QLatin1Char(char('A' + i / 2500));
        contact->setRowid(i + 1);
        contact->setContactName(QStringLiteral(" %1 %2. %3").arg(first, QString(initial), last));
        QString phones = QStringLiteral(" +1 (415) 555-%1").arg(i, 4, 10, QLatin1Char('0'));
        if (i % 3 == 0)
            phones += QStringLiteral(" +1 650-555-%1").arg((i * 37) % 10000, 4, 10, QLatin1Char('0'));
        contact->setContactPhone(phones);
        contact->setContactEmail(QStringLiteral(" %1.%2%3@example.com").arg(first.toLower(), last.toLower()).arg(i));
        if (i % 4 == 2)
            contact->setContactCompany(QStringLiteral(" Northwind Traders"));
        if (i % 10 == 0)
            contact->setContactNote(QStringLiteral("Met at the spring conference; prefers texts."));
        out.append(contact);
    }
    return out;
}

void BM_ExportVCards10k(benchmark::State &state)
{
    const NodeList<PRContactNode> contacts = generatedContacts();
    qsizetype written = 0;
    double fastestMs = 0;
    // Each export gets a fresh folder, all removed after the loop: on some
    // file systems (ext4 without a journal) inodes freed moments before are
    // skipped, at length, by the next file creations, which would charge the
    // removal of one export's cards to the next one.
    std::vector<std::unique_ptr<QTemporaryDir>> folders;
    for (auto _ : state) {
        state.PauseTiming();
        auto dir = std::make_unique<QTemporaryDir>();
        if (!dir->isValid()) {
            state.SkipWithError("no temporary folder");
            return;
        }
        const PersonalExport exporter(dir->filePath(QStringLiteral("Documents")), QStringLiteral("Phone"));
        QElapsedTimer timer;
        state.ResumeTiming();
        timer.start();

        const PersonalExportReport report = exporter.exportContacts(contacts);

        const double ms = double(timer.nsecsElapsed()) / 1e6;
        state.PauseTiming();
        fastestMs = fastestMs == 0 ? ms : qMin(fastestMs, ms);
        written = report.written.size();
        if (written != kCards) {
            state.SkipWithError(qPrintable(QStringLiteral("%1 vCards written, %2 failed, %3 expected")
                                               .arg(written)
                                               .arg(report.failed.size())
                                               .arg(kCards)));
            return;
        }
        folders.push_back(std::move(dir));
        state.ResumeTiming();
    }
    // The timer stops with the loop: the removal is not measured.
    folders.clear();
    state.counters["contacts"] = double(contacts.size());
    state.counters["written"] = double(written);
    state.counters["fastest_ms"] = fastestMs;
}

// A photo's worth of JPEG: a gradient with a frame compresses like a sky.
QByteArray photoJpeg(const QSize &size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, colour);
    gradient.setColorAt(1, Qt::white);
    painter.fillRect(image.rect(), gradient);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 80);
    return bytes;
}

void BM_ConversationPdf10k(benchmark::State &state)
{
    constexpr int kPdfMessages = 10000;
    constexpr int kPhotos = 500;
    QTemporaryDir dir;
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::cyan};
    QByteArray photos[5];
    for (int i = 0; i < 5; ++i)
        photos[i] = photoJpeg(QSize(3000 - 200 * i, 2000 + 100 * i), colours[i]);
    QList<std::shared_ptr<PRMessageNode>> messages;
    for (int i = 0; i < kPdfMessages; ++i) {
        auto message = std::make_shared<PRMessageNode>();
        const bool mine = i % 3 == 0;
        message->setMessageName(mine ? QString() : QStringLiteral("Anna"));
        message->setMessageType(mine ? QStringLiteral("Send") : QStringLiteral("Received"));
        message->setMessageDate(QStringLiteral("2023-05-01 10:00:00"));
        if (i % (kPdfMessages / kPhotos) == 7) {
            const QString path = dir.filePath(QStringLiteral("photo%1.jpg").arg(i));
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(photos[i % 5]) != photos[i % 5].size()) {
                state.SkipWithError("cannot write the photos");
                return;
            }
            message->setIsHasAttach(true);
            message->setAttachType(QStringLiteral("Image"));
            message->setAttachmentPath(path);
        } else {
            message->setMessageContent(
                QStringLiteral("Message %1: see you at the station at half past six, bring the tickets.").arg(i));
        }
        messages.append(message);
    }
    auto conversation = std::make_shared<PRMessageTreeNode>();
    conversation->setMessageTreeNodeName(QStringLiteral("Anna"));
    conversation->setMessageTreeNodeAdress(QStringLiteral("+1"));
    conversation->setMessageNodeArray(messages);

    int run = 0;
    for (auto _ : state) {
        const PersonalExport exporter(dir.filePath(QStringLiteral("Documents%1").arg(run++)), QStringLiteral("Phone"));
        const PersonalExportReport report = exporter.exportConversationsPdf({conversation});
        if (report.written.size() != 1) {
            state.SkipWithError("the PDF was not written");
            return;
        }
    }
    state.counters["messages"] = kPdfMessages;
    state.counters["photos"] = kPhotos;
}

} // namespace

BENCHMARK(BM_TransferMessages100k)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ExportVCards10k)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ConversationPdf10k)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

int main(int argc, char **argv)
{
    // The conversation PDFs of the same export need a GUI application for
    // their fonts; no display is wanted for a measurement.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
