#include "tools/samplegen/records/recorddatabases.h"

#include "tools/samplegen/deviceprofile.h"
#include "tools/samplegen/records/contactsmessages.h"
#include "tools/samplegen/samplebackup.h"

namespace samplegen {

namespace {

using namespace contactsmessages;

const QString kHome = QStringLiteral("HomeDomain");

Content contentFor(const ProducerContext &context, const Generation &generation)
{
    return sampleContent(generation, context.options.scale, context.options.deleted, context.device.backupDate);
}

class AddressBookProducer final : public ContentProducer
{
public:
    QString name() const override { return QStringLiteral("address book"); }

    void produce(const ProducerContext &context, EntrySink &sink) override
    {
        const Generation generation = Generation::forVersion(context.options.iosVersion);
        const Content content = contentFor(context, generation);
        QString error;
        const QByteArray book = addressBookDatabase(generation, content, &error);
        const QByteArray images =
            book.isEmpty() ? QByteArray() : addressBookImagesDatabase(generation, content, &error);
        if (book.isEmpty() || images.isEmpty()) {
            sink.fail(error);
            return;
        }
        sink.addFile(kHome, QStringLiteral("Library/AddressBook/AddressBook.sqlitedb"), book);
        SampleEntry imageFile =
            SampleEntry::file(kHome, QStringLiteral("Library/AddressBook/AddressBookImages.sqlitedb"), images);
        // The older phones' backups keep the image database under its
        // second stored form.
        if (generation.olderThanWal())
            imageFile.storedNameSuffix = QStringLiteral(".mddata");
        sink.add(imageFile);
    }
};

class MessagesProducer final : public ContentProducer
{
public:
    QString name() const override { return QStringLiteral("messages"); }

    void produce(const ProducerContext &context, EntrySink &sink) override
    {
        const Generation generation = Generation::forVersion(context.options.iosVersion);
        const Content content = contentFor(context, generation);
        QString error;
        const QByteArray sms = smsDatabase(generation, content, &error);
        if (sms.isEmpty()) {
            sink.fail(error);
            return;
        }
        sink.addFile(kHome, QStringLiteral("Library/SMS/sms.db"), sms);
        for (const Attachment &attachment : content.attachments) {
            if (attachment.bytes.isEmpty()) {
                sink.fail(QStringLiteral("cannot make the attachment %1").arg(attachment.name));
                return;
            }
            sink.addFile(QStringLiteral("MediaDomain"), attachment.relativePath(), attachment.bytes);
        }
    }
};

} // namespace

std::vector<std::unique_ptr<ContentProducer>> addressBookAndMessageProducers()
{
    std::vector<std::unique_ptr<ContentProducer>> producers;
    producers.push_back(std::make_unique<AddressBookProducer>());
    producers.push_back(std::make_unique<MessagesProducer>());
    return producers;
}

} // namespace samplegen
