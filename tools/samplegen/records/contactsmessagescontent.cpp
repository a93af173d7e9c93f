#include "tools/samplegen/records/contactsmessages.h"

#include "tools/samplegen/deviceprofile.h"
#include "tools/samplegen/records/contactsmessagesdatabase.h"
#include "tools/samplegen/samplefiles.h"

#include <QColor>

namespace samplegen::contactsmessages {

namespace {

constexpr qint64 kSeconds1970To2001 = 978307200;
constexpr qint64 kDay = 86400;

const QString kMobile = QStringLiteral("_$!<Mobile>!$_");
const QString kHome = QStringLiteral("_$!<Home>!$_");
const QString kWork = QStringLiteral("_$!<Work>!$_");
const QString kIPhone = QStringLiteral("iPhone");
const QString kHomePage = QStringLiteral("_$!<HomePage>!$_");

MultiValue value(int property, const QString &label, const QString &text)
{
    MultiValue v;
    v.property = property;
    v.label = label;
    v.value = text;
    return v;
}

MultiValue address(const QString &label, const QList<QPair<QString, QString>> &parts)
{
    MultiValue v;
    v.property = Address;
    v.label = label;
    v.parts = parts;
    return v;
}

// Birthdays are kept as the text of seconds since 2001.
QString birthday(int year, int month, int day)
{
    const QDateTime noon(QDate(year, month, day), QTime(12, 0), Qt::UTC);
    return QString::number(noon.toSecsSinceEpoch() - kSeconds1970To2001);
}

QList<Person> basePeople()
{
    QList<Person> people(12);
    Person *p = people.data();

    p[0].first = QStringLiteral("Daniel");
    p[0].middle = QStringLiteral("James");
    p[0].last = QStringLiteral("Okafor");
    p[0].organization = QStringLiteral("Harbor Freight Logistics");
    p[0].department = QStringLiteral("Operations");
    p[0].jobTitle = QStringLiteral("Dispatch Manager");
    p[0].note = QStringLiteral("Met at the Oakland port tour.");
    p[0].birthday = birthday(1984, 3, 9);
    p[0].values = {value(Phone, kMobile, QStringLiteral("+1 (415) 555-0134")),
                   value(Phone, kWork, QStringLiteral("(415) 555-0178")),
                   value(Email, kWork, QStringLiteral("daniel.okafor@harborfreight.example")),
                   address(kWork, {{QStringLiteral("Street"), QStringLiteral("200 Embarcadero")},
                                   {QStringLiteral("City"), QStringLiteral("Oakland")},
                                   {QStringLiteral("State"), QStringLiteral("CA")},
                                   {QStringLiteral("ZIP"), QStringLiteral("94607")},
                                   {QStringLiteral("Country"), QStringLiteral("United States")},
                                   {QStringLiteral("CountryCode"), QStringLiteral("us")}})};

    p[1].first = QStringLiteral("Mei");
    p[1].last = QStringLiteral("Tanaka");
    p[1].jobTitle = QStringLiteral("Photographer");
    p[1].birthday = birthday(1990, 11, 23);
    p[1].values = {value(Phone, kIPhone, QStringLiteral("+1 415-555-0112")),
                   value(Email, kHome, QStringLiteral("mei.tanaka@icloud.com")),
                   value(HomePage, kHomePage, QStringLiteral("https://meitanaka.example.com"))};
    p[1].photo = true;

    // Only a last name, the way a business is often saved.
    p[2].last = QStringLiteral("Kowalski");
    p[2].organization = QStringLiteral("Kowalski Hardware");
    p[2].values = {value(Phone, kWork, QStringLiteral("+1 (212) 555-0147"))};

    // A note longer than a one-byte serial type can describe.
    p[3].first = QStringLiteral("Sofia");
    p[3].last = QStringLiteral("Marquez");
    p[3].organization = QStringLiteral("Bayview Dental");
    p[3].jobTitle = QStringLiteral("Hygienist");
    p[3].note = QStringLiteral("Allergic to penicillin. Prefers texts over calls, and only after 6 pm on weekdays. "
                               "Spare key is with the neighbour at number 12.");
    p[3].birthday = birthday(1988, 7, 30);
    p[3].values = {value(Phone, kMobile, QStringLiteral("+1 (628) 555-0161")),
                   value(Phone, kHome, QStringLiteral("628.555.0162")),
                   value(Email, kHome, QStringLiteral("sofia.marquez@example.com"))};

    p[4].first = QStringLiteral("Liam");
    p[4].last = QStringLiteral("O'Brien");
    p[4].values = {value(Phone, kMobile, QStringLiteral("+353 87 555 0123")),
                   value(Email, kWork, QStringLiteral("liam.obrien@example.ie")),
                   address(kHome, {{QStringLiteral("Street"), QStringLiteral("14 Harcourt Street")},
                                   {QStringLiteral("City"), QStringLiteral("Dublin")},
                                   {QStringLiteral("ZIP"), QStringLiteral("D02 HX65")},
                                   {QStringLiteral("Country"), QStringLiteral("Ireland")},
                                   {QStringLiteral("CountryCode"), QStringLiteral("ie")}})};

    p[5].first = QStringLiteral("Priya");
    p[5].last = QStringLiteral("Raman");
    p[5].organization = QStringLiteral("Lumen Labs");
    p[5].department = QStringLiteral("Research");
    p[5].jobTitle = QStringLiteral("Data Scientist");
    p[5].values = {value(Phone, kWork, QStringLiteral("+1 (408) 555-0190")),
                   value(Email, kWork, QStringLiteral("priya.raman@lumenlabs.example")),
                   value(HomePage, kHomePage, QStringLiteral("https://lumenlabs.example/team/priya"))};

    p[6].first = QStringLiteral("Jonas");
    p[6].last = QStringLiteral("Lindqvist");
    p[6].note = QStringLiteral("Sauna on Fridays");
    p[6].values = {value(Phone, kMobile, QStringLiteral("+46 70 555 01 89")),
                   value(Email, kHome, QStringLiteral("jonas.lindqvist@example.se"))};

    // A name long enough that its sort keys need two-byte serial types.
    p[7].first = QStringLiteral("Alexandria");
    p[7].last = QStringLiteral("Montgomery-Whitfield");
    p[7].organization = QStringLiteral("Whitfield & Partners");
    p[7].jobTitle = QStringLiteral("Attorney");
    p[7].values = {value(Phone, kMobile, QStringLiteral("+1 (510) 555-0166")),
                   value(Email, kWork, QStringLiteral("alexandria@montgomery-whitfield.example")),
                   value(HomePage, kHomePage, QStringLiteral("https://montgomery-whitfield.example"))};

    p[8].first = QStringLiteral("Chloé");
    p[8].last = QStringLiteral("Dubois");
    p[8].note = QStringLiteral("Paris office, 9th floor");
    p[8].values = {value(Phone, kMobile, QStringLiteral("+33 6 55 55 01 42")),
                   value(Email, kHome, QStringLiteral("chloe.dubois@example.fr"))};

    p[9].first = QStringLiteral("Grace");
    p[9].last = QStringLiteral("Whitfield");
    p[9].birthday = birthday(1979, 5, 2);
    p[9].values = {value(Phone, kMobile, QStringLiteral("+1 (415) 555-0107")),
                   value(Phone, kHome, QStringLiteral("+1 (415) 555-0108")),
                   value(Phone, kWork, QStringLiteral("+1 (415) 555-0109")),
                   value(Email, kHome, QStringLiteral("grace.w@example.com"))};

    p[10].first = QStringLiteral("Ethan");
    p[10].last = QStringLiteral("Brooks");
    p[10].values = {value(Phone, kMobile, QStringLiteral("+1 (917) 555-0122")),
                    value(Email, kHome, QStringLiteral("ethan.brooks@example.com"))};

    p[11].first = QStringLiteral("Hannah");
    p[11].last = QStringLiteral("Schmidt");
    p[11].organization = QStringLiteral("Schmidt Bau GmbH");
    p[11].values = {value(Phone, kIPhone, QStringLiteral("+49 151 5550 1234")),
                    value(Email, kHome, QStringLiteral("hannah.schmidt@example.de"))};
    return people;
}

const char *const kFirstNames[] = {
    "Olivia", "Noah",   "Emma",   "Lucas",  "Ava",     "Mateo",  "Isla",    "Leo",    "Zoe",    "Omar",
    "Nora",   "Hugo",   "Maya",   "Felix",  "Lena",    "Arjun",  "Clara",  "Theo",    "Ines",   "Samuel",
    "Yara",   "Elias",  "Aiko",   "Jonah",  "Freya",   "Diego",  "Amara",  "Milo",    "Sara",   "Ravi",
    "Ella",   "Tomas",  "Hana",   "Oscar",  "Lucia",   "Kai",    "Nina",   "Adam",    "Vera",   "Ilya"};
const char *const kLastNames[] = {
    "Nguyen",  "Fischer", "Rossi",   "Haddad",  "Kim",     "Novak",   "Silva",   "Larsen",  "Moreau",  "Ito",
    "Schultz", "Alvarez", "Byrne",   "Costa",   "Dahl",    "Evans",   "Ferreira","Garcia",  "Hughes",  "Ivanova",
    "Jensen",  "Keller",  "Lopez",   "Meyer",   "Nakamura","Olsen",   "Patel",   "Quinn",   "Reyes",   "Sato",
    "Tran",    "Ueda",    "Varga",   "Walsh",   "Young",   "Zhang",   "Abbott",  "Berger",  "Chen",    "Duarte"};
const char *const kAreaCodes[] = {"415", "510", "650", "408", "212", "646", "718", "312", "617", "206", "503", "702"};
const char *const kOrganisations[] = {"Northwind Traders", "Blue Harbor Clinic", "Cedar & Pine Studio",
                                      "Riverside Library", "Summit Outdoor Co."};

QList<Person> generatedPeople(int count)
{
    QList<Person> people;
    people.reserve(count);
    for (int g = 0; g < count; ++g) {
        Person p;
        p.first = QLatin1String(kFirstNames[g % 40]);
        p.last = QLatin1String(kLastNames[(g / 40 + g * 7) % 40]);
        const QString area = QLatin1String(kAreaCodes[(g / 10000 + g) % 12]);
        const QString line = QStringLiteral("%1").arg(g % 10000, 4, 10, QLatin1Char('0'));
        // Past ten thousand people the exchange moves on, so that no two
        // people (nor a generated and a base person) share a mobile number.
        const QString exchange = QString::number(555 + g / 10000);
        p.values.append(value(Phone, kMobile, QStringLiteral("+1 (%1) %2-%3").arg(area, exchange, line)));
        if (g % 3 == 1) {
            const QString home = QStringLiteral("%1").arg((g * 37 + 1000) % 10000, 4, 10, QLatin1Char('0'));
            p.values.append(value(Phone, kHome, QStringLiteral("%1-555-%2").arg(area, home)));
        }
        if (g % 2 == 0)
            p.values.append(value(Email, kHome, QStringLiteral("%1.%2.%3@example.com")
                                                    .arg(p.first.toLower(), p.last.toLower())
                                                    .arg(g)));
        if (g % 4 == 2)
            p.organization = QLatin1String(kOrganisations[g % 5]);
        people.append(p);
    }
    return people;
}

struct Line
{
    int handle;
    bool fromMe;
    const char *text;
    int attachment = -1;
};

// Handles of the base conversations, in the order they first wrote.
enum BaseHandle { Daniel, Mei, Kowalski, Grace, Priya, Sofia, ShortCode, Ethan, kBaseHandles };

const Line kBaseLines[60] = {
    {Daniel, false, "Hey, are we still on for Thursday?"},
    {Daniel, true, "Yes! 7pm at the usual place?"},
    {Mei, false, "Did you get the prints?"},
    {Mei, true, "Not yet, the courier says tomorrow"},
    {Daniel, false, "Perfect. I'll bring the charts from the port tour."},
    {Kowalski, false, "Your order is ready for pickup at Kowalski Hardware."},
    {Kowalski, true, "Thanks, I'll come by Saturday morning."},
    {Daniel, false, nullptr, 0},
    {Daniel, true, "Great shot! Is that the new crane?"},
    {Grace, false, "Happy birthday!! 🎂🎉 Hope you have a wonderful day and that someone bakes you a proper cake."},
    {Grace, true, "Thank you so much! ❤️"},
    {Mei, false, nullptr, 1},
    {Mei, true, "Haha that's amazing"},
    {Priya, false, "Can you review the draft before Monday?"},
    {Priya, true, "Sure, send it over."},
    {Sofia, false, "Reminder: your cleaning is booked for Tuesday at 10:30."},
    {Sofia, true, "Thanks, see you then"},
    {Daniel, false, "Quick heads-up: the container from Busan is delayed until Monday, customs flagged the "
                    "paperwork again."},
    {Daniel, true, "Ugh. Thanks for letting me know."},
    {ShortCode, false, "Your Lumen Labs verification code is 482913. Do not share it."},
    {Kowalski, false, nullptr, 2},
    {Kowalski, true, "Got it, thanks"},
    {Grace, false, "Lunch tomorrow?"},
    {Grace, true, "Yes please. Noon?"},
    {Mei, false, "Are you coming to the gallery opening on Friday?"},
    {Mei, true, "Wouldn't miss it"},
    {Priya, false, "Draft is in your inbox 📄"},
    {Priya, true, "Looks good, two small comments"},
    {Daniel, false, "Running 10 min late, order me a coffee?"},
    {Daniel, true, "Flat white as always"},
    {Sofia, true, "Could we move my appointment to Thursday?"},
    {Sofia, false, "Thursday 2:15 pm works. See you then!"},
    {Grace, false, nullptr, 3},
    {Grace, true, "On my way!"},
    {Mei, false, "Can I borrow your tripod next week?"},
    {Mei, true, "Of course, it's in the hallway closet."},
    {Kowalski, false, "We are closed on Monday for the holiday."},
    {Daniel, true, "Did the paperwork clear customs?"},
    {Daniel, false, "Finally, yes. Truck arrives Wednesday."},
    {Priya, true, "Are you presenting at the offsite, or should I take the data section myself this time?"},
    {Ethan, false, "Hey, it's Ethan from the climbing gym. Still keen for Sunday?"},
    {Ethan, true, "Yes! 9am at the crag?"},
    {Ethan, false, "See you there"},
    {Priya, false, "I'll do it, thanks!"},
    {Grace, true, "Movie night at ours on Saturday?"},
    {Grace, false, "Count us in 🍿"},
    {Sofia, false, "Don't forget to floss 😉"},
    {Sofia, true, "Ha, I won't"},
    {Mei, false, "Tripod is back on its hook, thanks again"},
    {Mei, true, "Any time"},
    {ShortCode, false, "Your Lumen Labs verification code is 730155. Do not share it."},
    {Daniel, false, "Beers on Friday?"},
    {Daniel, true, "Always"},
    {Kowalski, true, "Do you have 3/8 inch hex bolts in stock?"},
    {Kowalski, false, "Yes, aisle 7."},
    {Grace, false, "Can you pick up milk on the way home?"},
    {Grace, true, "Sure"},
    {Priya, false, "The client loved the dashboard. Drinks are on me next time we are in the city together!"},
    {Priya, true, "Deal!"},
    {Mei, false, "See you at the opening 🎨"},
};

const char *const kShortLines[] = {
    "On my way", "Sounds good!", "Can you call me later?", "Thanks 🙏", "Running late, sorry",
    "Where are you?", "Got it", "See you soon", "Haha yes", "What time works for you?",
    "Did you see the game last night?", "Dinner at 8?", "Happy Friday!", "Just landed ✈️", "Ok",
    "Call you in 5", "Can't talk now", "Love it", "Let me check and get back to you", "Perfect, thanks!"};
const char *const kLongLines[] = {
    "The meeting moved to the third floor conference room, bring the printed agenda if you can.",
    "Traffic on the bridge is terrible this morning, I will be about twenty minutes late, sorry!",
    "Don't forget we need to book the tickets before Friday, prices go up over the weekend."};

QList<Attachment> baseAttachments()
{
    QList<Attachment> out(4);
    out[0].guid = QString::fromLatin1(uuidText(4201));
    out[0].name = QStringLiteral("IMG_0042.jpeg");
    out[0].mimeType = QStringLiteral("image/jpeg");
    out[0].uti = QStringLiteral("public.jpeg");
    out[0].bytes = SampleFiles::jpeg(320, 240, QColor(30, 110, 160));
    out[0].caption = QStringLiteral("Photo from the port");

    out[1].guid = QString::fromLatin1(uuidText(4301));
    out[1].name = QStringLiteral("IMG_0043.MOV");
    out[1].mimeType = QStringLiteral("video/quicktime");
    out[1].uti = QStringLiteral("com.apple.quicktime-movie");
    out[1].bytes = SampleFiles::quickTimeMovie(12000, 43);
    out[1].caption = QStringLiteral("Video from the shoot");

    out[2].guid = QString::fromLatin1(uuidText(4401));
    out[2].name = QStringLiteral("Contact.vcf");
    out[2].mimeType = QStringLiteral("text/vcard");
    out[2].uti = QStringLiteral("public.vcard");
    out[2].bytes = QByteArrayLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lindqvist;Jonas;;;\r\nFN:Jonas Lindqvist\r\n"
                                     "TEL;type=CELL;type=VOICE;type=pref:+46 70 555 01 89\r\n"
                                     "EMAIL;type=INTERNET;type=HOME:jonas.lindqvist@example.se\r\nEND:VCARD\r\n");
    out[2].caption = QStringLiteral("Jonas's number");

    out[3].guid = QString::fromLatin1(uuidText(4501));
    out[3].name = QStringLiteral("Current Location.loc.vcf");
    out[3].mimeType = QStringLiteral("text/x-vlocation");
    out[3].uti = QStringLiteral("public.vlocation");
    out[3].bytes = QByteArrayLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nPRODID:-//Apple Inc.//iOS 7.0//EN\r\n"
                                     "N:;Current Location;;;\r\nFN:Current Location\r\n"
                                     "item1.URL;type=pref:http://maps.apple.com/?ll=37.795200\\,-122.393700"
                                     "&q=37.795200\\,-122.393700\r\nitem1.X-ABLabel:map url\r\nEND:VCARD\r\n");
    out[3].caption = QStringLiteral("I'm here");
    return out;
}

// The handle text of a person's first phone: the international form the
// phone stores, whatever way the number was typed in the card.
QString canonicalPhone(const QString &typed)
{
    QString digits;
    for (QChar c : typed) {
        if (c.isDigit())
            digits.append(c);
    }
    return QLatin1Char('+') + (typed.startsWith(QLatin1Char('+')) ? digits : QStringLiteral("1") + digits);
}

} // namespace

Generation Generation::forVersion(const QString &iosVersion)
{
    Generation g;
    if (const auto v = IosVersion::parse(iosVersion))
        g.major = v->major;
    return g;
}

Generation::AddressBook Generation::addressBook() const
{
    if (major <= 6)
        return AddressBook::Ios4;
    if (major == 7)
        return AddressBook::Ios7;
    if (major <= 9)
        return AddressBook::Ios8;
    return AddressBook::Ios13;
}

Generation::Sms Generation::sms() const
{
    if (major <= 4)
        return Sms::Ios4;
    if (major == 5)
        return Sms::Ios5;
    if (major == 6)
        return Sms::Ios6;
    if (major <= 9)
        return Sms::Ios7;
    if (major <= 11)
        return Sms::Ios11;
    if (major == 12)
        return Sms::Ios12;
    if (major == 13)
        return Sms::Ios13;
    return Sms::Ios14;
}

QString Person::fullName() const
{
    QStringList parts;
    for (const QString &part : {first, middle, last}) {
        if (!part.isEmpty())
            parts.append(part);
    }
    return parts.join(QLatin1Char(' '));
}

QStringList Person::valuesOf(int property) const
{
    QStringList out;
    for (const MultiValue &v : values) {
        if (v.property == property && !v.value.isEmpty())
            out.append(v.value);
    }
    return out;
}

QString Attachment::relativePath() const
{
    return QStringLiteral("Library/SMS/Attachments/%1/%2/%3")
        .arg(guid.left(2).toLower(), guid.mid(2, 2).toLower(), name);
}

QString Content::storedText(const Generation &g, const Message &m) const
{
    if (m.attachment < 0)
        return m.text;
    return g.handleTables() ? QString(QChar(0xFFFC)) : attachments.at(m.attachment).caption;
}

Content sampleContent(const Generation &generation, int scale, bool withDeleted, const QDateTime &backupDate)
{
    Content c;
    const int steps = qMax(scale, 1) - 1;
    c.people = basePeople() + generatedPeople(5 * steps);
    const qint64 backup2001 = backupDate.toSecsSinceEpoch() - kSeconds1970To2001;
    const int widenedFrom = c.people.size() - steps - 2; // the last few came after the widening
    for (int i = 0; i < c.people.size(); ++i) {
        Person &p = c.people[i];
        p.rowid = i + 1;
        p.deleted = withDeleted && p.rowid % 4 == 0;
        p.narrow = generation.personTableWidened() && i < widenedFrom;
        // Cards were made over the three years before the backup.
        p.created = backup2001 - 3 * 365 * kDay + qint64(i) * (3 * 365 * kDay / c.people.size());
    }
    // Before iOS 6 the reader has no attachments; those messages keep their
    // captions as text.
    const QList<Attachment> attachments = baseAttachments();
    if (generation.handleTables())
        c.attachments = attachments;

    // Base conversations, then one for each generated person.
    const int baseHandlePerson[kBaseHandles] = {0, 1, 2, 9, 5, 3, -1, 10};
    for (int h = 0; h < kBaseHandles; ++h) {
        Handle handle;
        handle.person = baseHandlePerson[h];
        handle.iMessage = h == Mei || h == Grace || h == Priya;
        if (h == ShortCode)
            handle.id = QStringLiteral("262966");
        else if (h == Priya && generation.iMessage())
            handle.id = QStringLiteral("priya.raman@lumenlabs.example");
        else
            handle.id = canonicalPhone(c.people.at(handle.person).values.first().value);
        handle.deleted = withDeleted && h == Ethan;
        c.handles.append(handle);
    }
    for (int g = 0; g < 5 * steps; ++g) {
        Handle handle;
        handle.person = 12 + g;
        handle.iMessage = g % 3 == 0;
        handle.id = canonicalPhone(c.people.at(handle.person).values.first().value);
        c.handles.append(handle);
    }
    for (qsizetype h = 0; h < c.handles.size(); ++h)
        c.handles[h].rowid = h + 1;

    for (const Line &line : kBaseLines) {
        Message m;
        m.handle = line.handle;
        m.fromMe = line.fromMe;
        m.text = line.text ? QString::fromUtf8(line.text) : QString();
        m.attachment = generation.handleTables() ? line.attachment : -1;
        if (line.attachment >= 0 && !generation.handleTables())
            m.text = attachments.at(line.attachment).caption;
        c.messages.append(m);
    }
    for (int step = 0; step < steps; ++step) {
        for (int k = 0; k < 50; ++k) {
            Message m;
            m.handle = kBaseHandles + 5 * step + k % 5;
            m.fromMe = (k / 5) % 2 == 1;
            const int pick = step * 50 + k;
            m.text = QString::fromUtf8(pick % 9 == 4 ? kLongLines[pick % 3] : kShortLines[(pick * 7) % 20]);
            c.messages.append(m);
        }
    }
    // Spread over the 300 days before the backup, oldest first.
    const qint64 first = backupDate.toSecsSinceEpoch() - 310 * kDay;
    const qint64 span = 300 * kDay;
    const qint64 count = c.messages.size();
    const qint64 step = span / count;
    const int narrowUpTo = int(count * 3 / 5);
    for (qint64 i = 0; i < count; ++i) {
        Message &m = c.messages[i];
        m.rowid = i + 1;
        m.unixTime = first + i * step + (i * 7919) % qMax<qint64>(1, step / 2);
        // The newest tenth stays: deleting from the last, part-filled page of
        // a table makes SQLite merge it into its neighbour, which rewrites
        // the pages and leaves little of the deleted rows behind.
        m.deleted = withDeleted
                    && ((m.rowid % 5 == 0 && m.rowid <= count * 9 / 10) || c.handles.at(m.handle).deleted);
        m.narrow = generation.messageTableWidened() && i < narrowUpTo;
    }
    return c;
}

qint64 storedDate(const Generation &generation, const Content &content, const Message &message)
{
    const qint64 since2001 = message.unixTime - kSeconds1970To2001;
    switch (generation.sms()) {
    case Generation::Sms::Ios4:
        return message.unixTime;
    case Generation::Sms::Ios5:
        return content.isIMessage(generation, message) ? since2001 : message.unixTime;
    case Generation::Sms::Ios6:
    case Generation::Sms::Ios7:
        return since2001;
    case Generation::Sms::Ios11:
        return generation.major >= 11 && !message.narrow ? since2001 * 1000000000 : since2001;
    case Generation::Sms::Ios12:
    case Generation::Sms::Ios13:
    case Generation::Sms::Ios14:
        return since2001 * 1000000000;
    }
    return since2001;
}

QByteArray personPhoto(const Person &person)
{
    const int shade = int(person.rowid * 53 % 200);
    return SampleFiles::jpeg(240, 240, QColor(55 + shade, 120, 255 - shade));
}

} // namespace samplegen::contactsmessages
