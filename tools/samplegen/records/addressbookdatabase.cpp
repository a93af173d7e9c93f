#include "tools/samplegen/records/contactsmessages.h"

#include "tools/samplegen/records/addressbookschemas.h"
#include "tools/samplegen/records/contactsmessagesdatabase.h"
#include "tools/samplegen/samplefiles.h"

#include <QHash>
#include <QRegularExpression>

#include <memory>

namespace samplegen::contactsmessages {

namespace {

constexpr qint64 kDay = 86400;

Statements schemaOf(Generation::AddressBook book)
{
    switch (book) {
    case Generation::AddressBook::Ios4: return AddressBookSchema::ios4();
    case Generation::AddressBook::Ios7: return AddressBookSchema::ios7();
    case Generation::AddressBook::Ios8: return AddressBookSchema::ios8();
    case Generation::AddressBook::Ios13: return AddressBookSchema::ios13();
    }
    return AddressBookSchema::ios13();
}

QString clientVersion(Generation::AddressBook book)
{
    switch (book) {
    case Generation::AddressBook::Ios4: return QStringLiteral("33");
    case Generation::AddressBook::Ios7: return QStringLiteral("52");
    case Generation::AddressBook::Ios8: return QStringLiteral("56");
    case Generation::AddressBook::Ios13: return QStringLiteral("78");
    }
    return {};
}

// What the phone's collation makes of a name, roughly: the letters in upper
// case, then one weight mark per character. Long names give keys past the
// 57 bytes of a one-byte serial type.
QString sortKey(const QString &name)
{
    static const QRegularExpression notLetter(QStringLiteral("[^A-Z ]"));
    QString key = name.normalized(QString::NormalizationForm_D).toUpper();
    key.remove(notLetter);
    return key + QStringLiteral("  ") + QString(name.size(), QLatin1Char(')'));
}

QString section(const QString &key)
{
    const QChar c = key.isEmpty() ? QChar() : key.at(0);
    return c >= QLatin1Char('A') && c <= QLatin1Char('Z') ? QString(c) : QStringLiteral("#");
}

QString lastFour(const QString &phone)
{
    QString digits;
    for (QChar c : phone) {
        if (c.isDigit())
            digits.append(c);
    }
    return digits.right(4);
}

class AddressBookWriter
{
public:
    AddressBookWriter(const Generation &generation, const Content &content)
        : m_generation(generation)
        , m_content(content)
        , m_book(generation.addressBook())
        , m_db(FileLayout{4096, FileLayout::AutoVacuum::None, !generation.olderThanWal(),
                          phoneSqliteVersion(generation.major)})
    {
    }

    QByteArray write(QString *error)
    {
        const Statements schema = schemaOf(m_book);
        const QByteArray personTable = createStatement(schema, "ABPerson");
        // Rows from before the iOS 8 columns were added: the table starts
        // as iOS 7 made it and grows the way the phone grew it.
        const QByteArray narrowPersonTable = m_generation.personTableWidened()
                                                 ? createStatement(AddressBookSchema::ios7(), "ABPerson")
                                                 : personTable;
        QByteArray searchTable;
        const QList<QByteArray> later = m_db.create(schema, [&](const QByteArray &sql) -> QByteArray {
            if (sql == personTable)
                return narrowPersonTable;
            if (sql.contains("tokenize=ab_cf_tokenizer")) {
                // The phone's tokenizer is not in this library; the text is
                // put back once the rows are in.
                searchTable = sql;
                return QByteArray(sql).replace("tokenize=ab_cf_tokenizer", "tokenize=simple");
            }
            return sql;
        });

        writeProperties();
        m_hasPhoneLastFour = m_db.hasTable("ABPhoneLastFour");
        m_multiValueGuid = m_db.columns("ABMultiValue").contains("guid");
        const bool grows = narrowPersonTable != personTable;
        bool widened = !grows;
        auto widen = [&] {
            for (const QByteArray &column : addedColumns(narrowPersonTable, personTable))
                m_db.exec("ALTER TABLE ABPerson ADD COLUMN " + column);
            for (const QByteArray &sql : later)
                m_db.exec(sql);
            widened = true;
        };
        if (!grows)
            widen();
        for (const Person &person : m_content.people) {
            if (!widened && !person.narrow)
                widen();
            writePerson(person);
        }
        if (!widened)
            widen();

        m_db.commit();
        for (const Person &person : m_content.people) {
            if (person.deleted)
                deletePerson(person);
        }
        if (!searchTable.isEmpty())
            m_db.setSchemaText(QStringLiteral("ABPersonFullTextSearch"), searchTable);
        const QByteArray file = m_db.finish();
        if (!m_db.ok() && error)
            *error = QStringLiteral("AddressBook.sqlitedb: ") + m_db.error();
        return m_db.ok() ? file : QByteArray();
    }

private:
    void writeProperties()
    {
        DatabaseBuilder::Query property(m_db, "INSERT INTO _SqliteDatabaseProperties (key, value) VALUES (?1, ?2)");
        property.run({QStringLiteral("_ClientVersion"), clientVersion(m_book)});
        property.run({QStringLiteral("_UniqueIdentifier"), QString::fromLatin1(uuidText(0xAB))});
        property.run({QStringLiteral("PersonLinkerVersion"), QStringLiteral("2")});
        property.run({QStringLiteral("__CPRecordSequenceNumber"), QString::number(m_content.people.size() * 4)});
    }

    using Query = DatabaseBuilder::Query;

    // Statements are prepared once and reused for every row.
    Query &query(std::unique_ptr<Query> &slot, const char *sql)
    {
        if (!slot)
            slot = std::make_unique<Query>(m_db, sql);
        return *slot;
    }

    qint64 labelId(const QString &label)
    {
        if (auto it = m_labels.constFind(label); it != m_labels.constEnd())
            return *it;
        DatabaseBuilder::Query insert(m_db, "INSERT INTO ABMultiValueLabel (value) VALUES (?1)");
        insert.run({label});
        const qint64 id = sqlite3RowId();
        m_labels.insert(label, id);
        return id;
    }

    qint64 entryKeyId(const QString &key)
    {
        if (auto it = m_entryKeys.constFind(key); it != m_entryKeys.constEnd())
            return *it;
        DatabaseBuilder::Query insert(m_db, "INSERT INTO ABMultiValueEntryKey (value) VALUES (?1)");
        insert.run({key});
        const qint64 id = sqlite3RowId();
        m_entryKeys.insert(key, id);
        return id;
    }

    qint64 sqlite3RowId()
    {
        return query(m_lastRowId, "SELECT last_insert_rowid()").value({});
    }

    static QVariant text(const QString &s) { return s.isEmpty() ? QVariant() : QVariant(s); }

    void writePerson(const Person &p)
    {
        const QString firstKey = sortKey(p.fullName());
        QStringList lastFirst{p.last, p.first, p.middle};
        lastFirst.removeAll(QString());
        const QString lastKey = sortKey(lastFirst.join(QLatin1Char(' ')));
        QList<QVariant> values = {p.rowid,
                                  text(p.first),
                                  text(p.last),
                                  text(p.middle),
                                  text(p.organization),
                                  text(p.department),
                                  text(p.note),
                                  0, // Kind: a person
                                  text(p.birthday),
                                  text(p.jobTitle),
                                  firstKey,
                                  lastKey,
                                  p.created,
                                  p.created + (p.rowid * 7 % 90) * kDay,
                                  0, // the local store
                                  section(firstKey),
                                  section(lastKey),
                                  0, // Latin script
                                  0};
        if (m_book == Generation::AddressBook::Ios4) {
            static const char sql[] =
                "INSERT INTO ABPerson (ROWID, First, Last, Middle, Organization, Department, Note, Kind, Birthday, "
                "JobTitle, FirstSort, LastSort, CreationDate, ModificationDate, StoreID, FirstSortSection, "
                "LastSortSection, FirstSortLanguageIndex, LastSortLanguageIndex) VALUES (?1, ?2, ?3, ?4, ?5, ?6, "
                "?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19)";
            query(m_insertPerson, sql).run(values);
        } else {
            static const char sql[] =
                "INSERT INTO ABPerson (ROWID, First, Last, Middle, Organization, Department, Note, Kind, Birthday, "
                "JobTitle, FirstSort, LastSort, CreationDate, ModificationDate, StoreID, FirstSortSection, "
                "LastSortSection, FirstSortLanguageIndex, LastSortLanguageIndex, guid) VALUES (?1, ?2, ?3, ?4, ?5, "
                "?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19, ?20)";
            values.append(QString::fromLatin1(uuidText(0xAB0000 + quint64(p.rowid))));
            query(m_insertPerson, sql).run(values);
        }

        QHash<int, int> identifiers;
        for (qsizetype i = 0; i < p.values.size(); ++i) {
            const MultiValue &v = p.values.at(i);
            const int identifier = identifiers[v.property]++;
            const qint64 label = labelId(v.label);
            if (m_multiValueGuid) {
                query(m_insertValue, "INSERT INTO ABMultiValue (record_id, property, identifier, label, value, guid) "
                                     "VALUES (?1, ?2, ?3, ?4, ?5, ?6)")
                    .run({p.rowid, v.property, identifier, label, text(v.value),
                            QString::fromLatin1(uuidText(0xAB000000 + quint64(p.rowid) * 64 + quint64(i)))});
            } else {
                query(m_insertValue, "INSERT INTO ABMultiValue (record_id, property, identifier, label, value) "
                                     "VALUES (?1, ?2, ?3, ?4, ?5)")
                    .run({p.rowid, v.property, identifier, label, text(v.value)});
            }
            const qint64 uid = sqlite3RowId();
            if (v.property == Phone && m_hasPhoneLastFour) {
                query(m_insertLastFour, "INSERT INTO ABPhoneLastFour (multivalue_id, value) VALUES (?1, ?2)")
                    .run({uid, lastFour(v.value)});
            }
            for (const auto &part : v.parts) {
                const qint64 key = entryKeyId(part.first);
                query(m_insertEntry, "INSERT INTO ABMultiValueEntry (parent_id, key, value) VALUES (?1, ?2, ?3)")
                    .run({uid, key, part.second});
            }
        }
    }

    void deletePerson(const Person &p)
    {
        query(m_deleteEntries,
              "DELETE FROM ABMultiValueEntry WHERE parent_id IN (SELECT UID FROM ABMultiValue WHERE record_id = ?1)")
            .run({p.rowid});
        query(m_deleteValues, "DELETE FROM ABMultiValue WHERE record_id = ?1").run({p.rowid});
        query(m_deletePerson, "DELETE FROM ABPerson WHERE ROWID = ?1").run({p.rowid});
    }

    const Generation m_generation;
    const Content &m_content;
    const Generation::AddressBook m_book;
    DatabaseBuilder m_db;
    QHash<QString, qint64> m_labels;
    QHash<QString, qint64> m_entryKeys;
    bool m_hasPhoneLastFour = false;
    bool m_multiValueGuid = false;
    std::unique_ptr<Query> m_lastRowId, m_insertPerson, m_insertValue, m_insertLastFour, m_insertEntry,
        m_deleteEntries, m_deleteValues, m_deletePerson;
};

// The image database of the older phones, kept in the backup under its
// second stored form.
const char *const kOlderImages[] = {
    "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key))",
    "CREATE TABLE ABImage (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, record_id INTEGER, format INTEGER, "
    "derived_from_format INTEGER, data BLOB, UNIQUE (record_id, format))",
};

} // namespace

QByteArray addressBookDatabase(const Generation &generation, const Content &content, QString *error)
{
    return AddressBookWriter(generation, content).write(error);
}

QByteArray addressBookImagesDatabase(const Generation &generation, const Content &content, QString *error)
{
    const bool older = generation.olderThanWal();
    // The image database of iOS 7 and later uses 8 KiB pages and vacuums
    // itself completely.
    DatabaseBuilder db(FileLayout{older ? 4096 : 8192,
                                  older ? FileLayout::AutoVacuum::None : FileLayout::AutoVacuum::Full, !older,
                                  phoneSqliteVersion(generation.major)});
    db.create(older ? Statements(kOlderImages) : AddressBookSchema::images());
    for (const Person &person : content.people) {
        if (!person.photo || person.deleted)
            continue;
        const QByteArray photo = personPhoto(person);
        const QByteArray thumbnail = SampleFiles::jpeg(60, 60, Qt::darkGray);
        if (photo.isEmpty() || thumbnail.isEmpty()) {
            if (error)
                *error = QStringLiteral("cannot encode a contact photo");
            return {};
        }
        if (older) {
            DatabaseBuilder::Query image(db, "INSERT INTO ABImage (record_id, format, derived_from_format, data) "
                                             "VALUES (?1, ?2, ?3, ?4)");
            image.run({person.rowid, 0, 1, thumbnail});
            image.run({person.rowid, 1, -1, photo});
        } else {
            DatabaseBuilder::Query full(db, "INSERT INTO ABFullSizeImage (record_id, crop_x, crop_y, crop_width, data) "
                                            "VALUES (?1, 0, 0, 240, ?2)");
            full.run({person.rowid, photo});
            DatabaseBuilder::Query thumb(db, "INSERT INTO ABThumbnailImage (record_id, format, derived_from_format, "
                                             "data) VALUES (?1, 0, 5, ?2)");
            thumb.run({person.rowid, thumbnail});
        }
    }
    const QByteArray file = db.finish();
    if (!db.ok() && error)
        *error = QStringLiteral("AddressBookImages.sqlitedb: ") + db.error();
    return db.ok() ? file : QByteArray();
}

} // namespace samplegen::contactsmessages
