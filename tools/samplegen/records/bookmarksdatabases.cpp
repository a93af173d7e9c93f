#include "tools/samplegen/records/notescallscalendarsupport.h"

#include "tools/samplegen/backupplists.h"
#include "tools/samplegen/deviceprofile.h"
#include "tools/samplegen/samplebackup.h"
#include "tools/samplegen/samplefiles.h"

#include <map>

namespace samplegen::pim {

namespace {

const QString kHome = QStringLiteral("HomeDomain");

// Safari's bookmarks table grew by appending columns, except that iOS 6
// put "hidden" and "hidden_ancestor_count" before "order_index" when it
// rebuilt the table. A column belongs to every table from the width given.
struct Column
{
    const char *definition;
    int since;
};

const Column kColumns[] = {
    {"id INTEGER PRIMARY KEY", 11},
    {"special_id INTEGER DEFAULT 0", 11},
    {"parent INTEGER", 11},
    {"type INTEGER", 11},
    {"title TEXT", 11},
    {"url TEXT COLLATE NOCASE", 11},
    {"num_children INTEGER DEFAULT 0", 11},
    {"editable INTEGER DEFAULT 1", 11},
    {"deletable INTEGER DEFAULT 1", 11},
    {"hidden INTEGER DEFAULT 0", 24},
    {"hidden_ancestor_count INTEGER DEFAULT 0", 24},
    {"order_index INTEGER NOT NULL", 11},
    {"external_uuid TEXT", 11},
    {"read INTEGER DEFAULT NULL", 19},
    {"last_modified REAL DEFAULT NULL", 19},
    {"server_id TEXT", 19},
    {"sync_key TEXT", 19},
    {"sync_data BLOB", 19},
    {"added INTEGER DEFAULT 1", 19},
    {"deleted INTEGER DEFAULT 0", 19},
    {"extra_attributes BLOB DEFAULT NULL", 19},
    {"local_attributes BLOB DEFAULT NULL", 24},
    {"fetched_icon BOOL DEFAULT 0", 24},
    {"icon BLOB DEFAULT NULL", 24},
    {"dav_generation INTEGER DEFAULT 0", 29},
    {"locally_added BOOL DEFAULT 0", 29},
    {"archive_status INTEGER DEFAULT 0", 29},
    {"syncable BOOL DEFAULT 1", 29},
    {"web_filter_status INTEGER DEFAULT 0", 29},
};

// The table of iOS 13 and later, as its CREATE text reads.
const char kBookmarksIos13[] =
    "CREATE TABLE bookmarks (id INTEGER PRIMARY KEY AUTOINCREMENT,special_id INTEGER DEFAULT 0,parent INTEGER, "
    "type INTEGER,title TEXT,url TEXT COLLATE NOCASE,num_children INTEGER DEFAULT 0,editable INTEGER DEFAULT 1,"
    "deletable INTEGER DEFAULT 1,hidden INTEGER DEFAULT 0,hidden_ancestor_count INTEGER DEFAULT 0,order_index "
    "INTEGER NOT NULL,external_uuid TEXT,read INTEGER DEFAULT NULL,last_modified REAL DEFAULT NULL,server_id TEXT, "
    "sync_key TEXT,sync_data BLOB,added INTEGER DEFAULT 1,deleted INTEGER DEFAULT 0,extra_attributes BLOB DEFAULT "
    "NULL,local_attributes BLOB DEFAULT NULL,fetched_icon BOOL DEFAULT 0, icon BLOB DEFAULT NULL,dav_generation "
    "INTEGER DEFAULT 0,locally_added BOOL DEFAULT 0,archive_status INTEGER DEFAULT 0,syncable BOOL DEFAULT 1,"
    "web_filter_status INTEGER DEFAULT 0, modified_attributes UNSIGNED BIG INT DEFAULT 0);";

const char kOtherTables[] = R"sql(
CREATE TABLE generations (generation INTEGER NOT NULL);
CREATE TABLE sync_properties (key TEXT NOT NULL, value TEXT NOT NULL);
@BOOKMARKS@
CREATE TABLE bookmark_title_words (id INTEGER PRIMARY KEY@AUTO@, bookmark_id INTEGER NOT NULL CONSTRAINT fk_bookmark_id
    REFERENCES bookmarks(id) ON DELETE CASCADE, word TEXT, word_index INTEGER);
CREATE TABLE folder_ancestors (id INTEGER PRIMARY KEY@AUTO@, folder_id INTEGER NOT NULL CONSTRAINT
    fk_ancestors_folder_id REFERENCES bookmarks(id) ON DELETE CASCADE, ancestor_id INTEGER NOT NULL);
CREATE INDEX sync_properties_key_index ON sync_properties (key);
CREATE INDEX special_id_index ON bookmarks (special_id);
CREATE INDEX autocomplete_index ON bookmarks (url);
CREATE INDEX folder_list_index ON bookmarks (parent, type, order_index);
CREATE INDEX group_index ON bookmarks (parent, order_index);
CREATE INDEX sync_index ON bookmarks (external_uuid);
@SERVERINDEX@@DAVINDEX@CREATE INDEX title_word_index ON bookmark_title_words(word);
CREATE INDEX title_bookmark_id_index ON bookmark_title_words(bookmark_id);
CREATE INDEX ancestor_folder_id_index on folder_ancestors(folder_id);
CREATE INDEX ancestor_ancestor_id_index on folder_ancestors(ancestor_id);
CREATE TRIGGER fkd_bookmark_title_words_bookmark_id BEFORE DELETE ON bookmarks      FOR EACH ROW BEGIN DELETE FROM
    bookmark_title_words WHERE bookmark_id = OLD.id;      END;
CREATE TRIGGER fkd_ancestors_folder_id BEFORE DELETE ON bookmarks FOR EACH ROW BEGIN DELETE FROM folder_ancestors
    WHERE folder_id = OLD.id; END;
)sql";

// Columns of the bookmarks table of a generation: 11 (iOS 4 and earlier),
// 19 (iOS 5), 24 (iOS 6), 29 (iOS 7 to 12) or 30 (iOS 13 and later).
int tableWidth(int major)
{
    return major <= 4 ? 11 : major == 5 ? 19 : major == 6 ? 24 : major <= 12 ? 29 : 30;
}

QByteArray schema(int width)
{
    QByteArray table;
    if (width == 30) {
        table = kBookmarksIos13;
    } else {
        // Safari wrote its CREATE text with each column on a padded line.
        QList<QByteArray> defs;
        for (const Column &c : kColumns) {
            if (c.since <= width)
                defs.append(c.definition);
        }
        table = "CREATE TABLE bookmarks (" + defs.join("," + QByteArray(59, ' ')) + ");";
    }
    QByteArray sql(kOtherTables);
    sql.replace("@BOOKMARKS@", table);
    sql.replace("@AUTO@", width == 30 ? " AUTOINCREMENT" : "");
    sql.replace("@SERVERINDEX@", width >= 19 ? "CREATE INDEX server_id_index ON bookmarks(server_id);\n" : "");
    sql.replace("@DAVINDEX@", width >= 29 ? "CREATE INDEX dav_generation_index ON bookmarks(dav_generation);\n" : "");
    return sql;
}

QList<QByteArray> columnNames(int width)
{
    QList<QByteArray> names;
    for (const Column &c : kColumns) {
        if (c.since <= width)
            names.append(QByteArray(c.definition).split(' ').first());
    }
    if (width == 30)
        names.append("modified_attributes");
    return names;
}

enum Folder { Bar, ReadingList, Travel };

struct SampleBookmark
{
    const char *title;
    const char *url;
    Folder folder;
};

// Titles and addresses of 58 bytes and more take two-byte serial types.
const SampleBookmark kBookmarks[] = {
    {"Wikipedia", "https://en.wikipedia.org/", Bar},
    {"Hacker News", "https://news.ycombinator.com/", Bar},
    {"Weather San Francisco", "https://weather.example.com/sf", Bar},
    {"Recipes: Sourdough Bread", "https://www.kingarthurbaking.com/recipes", Bar},
    {"Lisbon hotels", "https://www.booking.com/city/pt/lisbon.html", Travel},
    {"The New York Times - Breaking News, US News, World News and Videos", "https://www.nytimes.com/", Bar},
    {"BBC News", "https://www.bbc.co.uk/news/technology-58432123/live-updates-from-the-conference", Bar},
    {"Why sleep matters", "https://example.org/articles/sleep", ReadingList},
    {"Stack Overflow - Where Developers Learn, Share, & Build Careers",
     "https://stackoverflow.com/questions/tagged/c%2B%2B20?tab=Newest&page=2", Bar},
    {"Train times to Sintra", "https://www.cp.pt/passageiros/en", ReadingList},
};

struct HistoryVisit
{
    const char *title;
    const char *url;
    int visits;
};

const HistoryVisit kHistory[] = {
    {"Apple - iPhone", "https://www.apple.com/iphone/", 3},
    {"Lisbon - Wikipedia", "https://en.wikipedia.org/wiki/Lisbon", 1},
    {"Hacker News", "https://news.ycombinator.com/", 12},
    {"Google Maps", "https://maps.google.com/", 2},
};

struct Row
{
    int id;
    std::map<QByteArray, Value> values;
};

void writeBookmarksDb(EntrySink &sink, int major, bool deleted)
{
    const int width = tableWidth(major);
    const bool readingList = major >= 5;
    // Stores first made on iOS 6 or earlier keep that SQLite's file format;
    // Safari started over with a new store on iOS 7.
    DatabaseShape shape;
    shape.journal = major <= 4 ? DatabaseShape::Journal::Rollback : DatabaseShape::Journal::Wal;
    shape.autoVacuum = DatabaseShape::AutoVacuum::None;
    shape.legacyFormat = width <= 24;
    shape.userVersion = width == 29 ? 38 : width == 30 ? 40 : 0;
    DatabaseBuilder db(shape);
    db.exec(schema(width));

    const QDateTime saved = sampleMoment(0, 4);
    auto uuid = [](int id) { return BackupPlists::uuidFor("bookmark:" + QByteArray::number(id)); };
    auto base = [&](int id, int special, Value parent, int type, const QString &title, Value url, int order) {
        Row row{id, {}};
        row.values = {{"id", id},
                      {"special_id", special},
                      {"parent", parent},
                      {"type", type},
                      {"title", title},
                      {"url", url},
                      {"num_children", 0},
                      {"editable", type == 1 && special ? 0 : 1},
                      {"deletable", type == 1 && special ? 0 : 1},
                      {"hidden", 0},
                      {"hidden_ancestor_count", 0},
                      {"order_index", order},
                      {"external_uuid", uuid(id)},
                      {"added", 1},
                      {"deleted", 0},
                      {"fetched_icon", 0},
                      {"dav_generation", 0},
                      {"locally_added", 0},
                      {"archive_status", 0},
                      {"syncable", 1},
                      {"web_filter_status", 0},
                      {"modified_attributes", 0}};
        return row;
    };

    // Folders first, then the bookmarks in the order they were saved.
    std::vector<Row> rows;
    rows.push_back(base(0, 0, nullptr, 1, QStringLiteral("Root"), nullptr, 0));
    rows.push_back(base(1, 1, 0, 1, QStringLiteral("BookmarksBar"), nullptr, 0));
    int nextId = 2;
    int readingListId = -1;
    if (readingList) {
        readingListId = nextId++;
        rows.push_back(base(readingListId, 3, 0, 1, QStringLiteral("com.apple.ReadingList"), nullptr, 1));
    }
    const int travelId = nextId++;
    int barChildren = 0, listChildren = 0, travelChildren = 0;
    rows.push_back(base(travelId, 0, 1, 1, QStringLiteral("Travel"), nullptr, barChildren++));
    std::vector<int> bookmarkIds;
    for (const SampleBookmark &b : kBookmarks) {
        const Folder folder = b.folder == ReadingList && !readingList ? Bar : b.folder;
        const int parent = folder == Bar ? 1 : folder == Travel ? travelId : readingListId;
        const int order = folder == Bar ? barChildren++ : folder == Travel ? travelChildren++ : listChildren++;
        Row row = base(nextId, 0, parent, 0, QString::fromUtf8(b.title), QString::fromUtf8(b.url), order);
        if (folder == ReadingList) {
            row.values.insert_or_assign("read", order % 2);
            row.values.insert_or_assign("last_modified",
                                        double(secondsSince2001(saved.addDays(3 * qint64(bookmarkIds.size())))));
        }
        bookmarkIds.push_back(nextId++);
        rows.push_back(row);
    }
    rows[0].values.insert_or_assign("num_children", readingList ? 2 : 1);
    rows[1].values.insert_or_assign("num_children", barChildren);
    if (readingList)
        rows[2].values.insert_or_assign("num_children", listChildren);
    rows[readingList ? 3 : 2].values.insert_or_assign("num_children", travelChildren);

    const QList<QByteArray> names = columnNames(width);
    QByteArray insert = "INSERT INTO bookmarks (" + names.join(", ") + ") VALUES (?";
    for (qsizetype k = 1; k < names.size(); ++k)
        insert += ", ?";
    insert += ")";

    db.begin();
    db.exec("INSERT INTO generations (generation) VALUES (" + QByteArray::number(rows.size()) + ")");
    Prepared property = db.prepare("INSERT INTO sync_properties (key, value) VALUES (?, ?)");
    property.run({"_UniqueIdentifier", BackupPlists::uuidFor("Bookmarks.db")});
    property.run({"_ClientVersion", QString::number(shape.userVersion)});
    Prepared bookmark = db.prepare(insert.constData());
    Prepared word = db.prepare("INSERT INTO bookmark_title_words (bookmark_id, word, word_index) VALUES (?, ?, ?)");
    Prepared ancestor = db.prepare("INSERT INTO folder_ancestors (folder_id, ancestor_id) VALUES (?, ?)");
    for (const Row &row : rows) {
        std::vector<Value> values;
        for (const QByteArray &name : names) {
            const auto it = row.values.find(name);
            values.push_back(it != row.values.end() ? it->second : Value(nullptr));
        }
        bookmark.run(values);
        const QStringList words = row.values.at("title").bytes().isEmpty()
                                      ? QStringList()
                                      : QString::fromUtf8(row.values.at("title").bytes())
                                            .toLower()
                                            .split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (qsizetype w = 0; w < words.size(); ++w)
            word.run({row.id, words.at(w), int(w)});
        if (row.values.at("type").integer() == 1 && row.id != 0)
            ancestor.run({row.id, 0});
    }
    db.commit();
    if (deleted) {
        db.begin();
        Prepared drop = db.prepare("DELETE FROM bookmarks WHERE id = ?");
        for (qsizetype i = 0; i < qsizetype(bookmarkIds.size()); ++i) {
            if (isDeletedRow(i))
                drop.run({bookmarkIds[std::size_t(i)]});
        }
        db.commit();
    }
    addDatabase(sink, db, kHome, QStringLiteral("Library/Safari/Bookmarks.db"));
}

// Safari kept its history in a property list until iOS 7.
void writeHistory(EntrySink &sink)
{
    QVariantList visits;
    for (qsizetype i = 0; i < qsizetype(sizeof kHistory / sizeof kHistory[0]); ++i) {
        const HistoryVisit &h = kHistory[i];
        QVariantMap visit;
        visit.insert(QString(), QString::fromUtf8(h.url));
        visit.insert(QStringLiteral("title"), QString::fromUtf8(h.title));
        visit.insert(QStringLiteral("visitCount"), qint64(h.visits));
        visit.insert(QStringLiteral("lastVisitedDate"),
                     QString::number(secondsSince2001(sampleMoment(i, 5))) + QStringLiteral(".0"));
        visits.append(visit);
    }
    const QByteArray bytes = SampleFiles::plist(
        {{QStringLiteral("WebHistoryDates"), visits}, {QStringLiteral("WebHistoryFileVersion"), qint64(1)}});
    if (bytes.isEmpty()) {
        sink.fail(QStringLiteral("cannot make the Safari history"));
        return;
    }
    sink.addFile(kHome, QStringLiteral("Library/Safari/History.plist"), bytes);
}

class BookmarksProducer final : public ContentProducer
{
public:
    QString name() const override { return QStringLiteral("safari bookmarks"); }

    void produce(const ProducerContext &context, EntrySink &sink) override
    {
        const int major = context.device.version.major;
        sink.addDirectory(kHome, QStringLiteral("Library/Safari"));
        writeBookmarksDb(sink, major, context.options.deleted);
        if (major <= 7 && !sink.failed())
            writeHistory(sink);
    }
};

} // namespace

std::unique_ptr<ContentProducer> makeBookmarksProducer()
{
    return std::make_unique<BookmarksProducer>();
}

} // namespace samplegen::pim
