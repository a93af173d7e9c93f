#include "backup/contactextractor.h"

#include "backup/notificationnames.h"
#include "backup/recorddatabase.h"
#include "backup/storednames.h"
#include "platform/regularfile.h"

#include <QDebug>
#include <QDir>
#include <QHash>

namespace {

enum ValueKind { Phone = 3, Email = 4, Address = 5, Homepage = 22 };

QString joined(const QString &current, const QString &value)
{
    return current + QLatin1Char(' ') + value;
}

} // namespace

ContactExtractor::ContactExtractor(ScanContext &context)
    : m_ctx(context)
{
}

void ContactExtractor::scanContactThread(const QString &backupFolder)
{
    if (run(backupFolder, Form::Scan, m_ctx.contactArray, m_ctx.contactImageArray))
        m_ctx.nc.post(Notifications::ScanProgressInfo, 40);
}

void ContactExtractor::scanTransferContactThread(const QString &backupFolder,
                                                 NodeList<PRContactNode> &transContactArray)
{
    NodeList<PRContactImageNode> photos;
    if (run(backupFolder, Form::Transfer, transContactArray, photos))
        m_ctx.nc.post(Notifications::ScanTransferContactFinished);
}

bool ContactExtractor::run(const QString &folder, Form form, NodeList<PRContactNode> &contacts,
                           NodeList<PRContactImageNode> &photos)
{
    if (!ScanContext::folderUsable(folder))
        return false;
    const QString bookPath = m_ctx.storedPath(folder, StoredNames::AddressBook);
    if (!RegularFile::isRegular(bookPath)) {
        qInfo("contactDB is not exist");
        return false;
    }
    if (form == Form::Transfer)
        contacts.clear();

    // Photos: the full-size table, or the older image table of the second
    // stored form. Without either there are simply no photos.
    QString imagesPath = m_ctx.storedPath(folder, StoredNames::AddressBookImages);
    const char *imagesQuery = "select record_id, data from ABFullSizeImage";
    if (!RegularFile::isRegular(imagesPath)) {
        imagesPath = m_ctx.storedPath(folder, StoredNames::AddressBookImagesMddata);
        imagesQuery = "select record_id, data from ABImage";
    }
    QHash<int, QByteArray> photoByRow;
    if (auto images = RecordDatabase::open(imagesPath, RecordDatabase::Commit::Skip)) {
        Statement rows(*images, imagesQuery);
        while (rows.step()) {
            auto photo = std::make_shared<PRContactImageNode>();
            photo->setRowid(int(rows.int64(0)));
            photo->setImageData(rows.blob(1, kMaxPhotoBytes));
            photos.append(photo);
            photoByRow.insert(photo->rowid(), photo->imageData()); // the last one wins
        }
    }

    const qsizetype first = contacts.size();
    const auto book = RecordDatabase::open(bookPath);
    if (book) {
        Statement people(*book,
                         "select DISTINCT Rowid, first, Department,DisplayName,firstPhonetic,jobTitle,organization,"
                         "middle,middlePhonetic,CreationDate,Last,Note,Nickname,prefix, suffix, Birthday from abperson ");
        while (people.step()) {
            auto contact = std::make_shared<PRContactNode>();
            if (const int rowid = int(people.int64(0)); rowid != 0)
                contact->setRowid(rowid);
            // Columns are used only when their text is present and not empty.
            if (const QString t = people.text(1); !t.isNull())
                contact->setContactName(t);
            if (const QString t = people.text(2); !t.isNull())
                contact->setContactCompany(t);
            if (const QString t = people.text(5); !t.isNull())
                contact->setContactCompany(joined(contact->contactCompany(), t));
            if (const QString t = people.text(6); !t.isNull())
                contact->setContactCompany(joined(contact->contactCompany(), t));
            if (const QString t = people.text(7); !t.isNull())
                contact->setContactName(joined(contact->contactName(), t));
            if (const QString t = people.text(10); !t.isNull())
                contact->setContactName(joined(contact->contactName(), t));
            if (const QString t = people.text(11); !t.isNull())
                contact->setContactNote(t);
            if (const QString t = people.text(15); !t.isNull())
                contact->setContactBirthday(t);
            contacts.append(contact);
        }

        Statement values(*book, "select property,label,value, UID from abmultivalue where record_id = ? ");
        const QString &postName =
            form == Form::Scan ? Notifications::ScanContactInfo : Notifications::ScanTransferContactInfo;
        for (qsizetype i = first; i < contacts.size(); ++i) {
            const auto &contact = contacts.at(i);
            if (auto it = photoByRow.constFind(contact->rowid()); it != photoByRow.constEnd())
                contact->setImageData(*it);
            values.reset();
            values.bindInt64(1, contact->rowid());
            while (values.step()) {
                const QString value = values.text(2);
                if (value.isNull())
                    continue;
                switch (values.int64(0)) {
                case Phone:
                    contact->setContactPhone(joined(contact->contactPhone(), value));
                    contact->addPhoneNumber(value);
                    break;
                case Email: contact->setContactEmail(joined(contact->contactEmail(), value)); break;
                case Homepage: contact->setContactHomepage(joined(contact->contactHomepage(), value)); break;
                case Address: contact->setContactAdress(joined(contact->contactAdress(), value)); break;
                default: break;
                }
            }
            m_ctx.nc.post(postName, nodeToVariant(contact));
        }
    }
    return true;
}
