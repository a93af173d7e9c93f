#include "recovery/contactscanner.h"

#include "backup/notificationnames.h"
#include "recovery/pagesource.h"

#include <QDebug>

#include <algorithm>
#include <utility>
#include <vector>

using namespace ScannerSupport;

namespace {

const unsigned char kPersonSignatures[4][5] = {
    {0x0f, 0x0f, 0x08, 0x08, 0x01},
    {0x00, 0x00, 0x04, 0x04, 0x01},
    {0x00, 0x00, 0x04, 0x04, 0x00},
    {0x00, 0x00, 0x04, 0x04, 0x13},
};

// Four-byte patterns of the contact signature type: the only ones an
// eight-character window can begin with.
const unsigned char kValueSignatures[][4] = {
    {0x01, 0x01, 0x08, 0x09}, {0x01, 0x01, 0x09, 0x01}, {0x01, 0x01, 0x01, 0x01}, {0x09, 0x01, 0x08, 0x09},
    {0x01, 0x01, 0x08, 0x01}, {0x02, 0x01, 0x08, 0x01}, {0x02, 0x01, 0x09, 0x01}, {0x02, 0x01, 0x08, 0x09},
    {0x02, 0x01, 0x01, 0x01}, {0x01, 0x09, 0x08, 0x09}, {0xff, 0xd8, 0xff, 0xe0},
};

// Bytes every person signature has (the rarer ones first), and every value
// signature: where the carvers look closer.
const Probes kPersonProbes{{2, {0x08, 0x04}}, {3, {0x08, 0x04}}, {0, {0x0f, 0x00}}};
const Probes kValueProbes{{1, {0x01, 0x09, 0xd8}}, {3, {0x01, 0x09, 0xe0}}, {0, {0x01, 0x02, 0x09, 0xff}}};

// The number of bytes from x back to the nearest zero byte at or before x
// (to byte 0 when there is none), found by the source without walking.
template<typename Source>
std::uint64_t bSortAlter(const Source &src, std::uint64_t x)
{
    return x - src.lastAtOrBefore(x, 0x00);
}

} // namespace

template<typename Source>
QString ContactScanner<Source>::GetLastPageStringWithChar(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        out.append(u < 32 || u >= 127 ? QLatin1Char('.') : QLatin1Char(char(u)));
    }
    return out;
}

template<typename Source>
QString ContactScanner<Source>::getNextSubStringInString(const QString &text, const QString &name)
{
    if (name.isEmpty())
        return {};
    const qsizetype end = text.size() - 1; // the last character is never searched
    qsizetype start = 0;
    while (start + name.size() < end) {
        const qsizetype at = QStringView(text).left(end).indexOf(name, start, Qt::CaseInsensitive);
        if (at < 0)
            return {};
        const qsizetype after = at + name.size();
        const qsizetype space = text.indexOf(QLatin1Char(' '), after);
        const qsizetype stop = space < 0 ? text.size() : space + 1;
        const QString fragment = text.mid(after, stop - after);
        if (fragment.size() <= 20)
            return fragment;
        start = 2 * after + fragment.size();
    }
    return {};
}

template<typename Source>
void ContactScanner<Source>::run(const QString &path, bool commit)
{
    RawDatabase<Source> db;
    if (!db.open(path, commit))
        return;
    const std::uint64_t pageSize = db.pageSize();
    const std::uint64_t count = db.pageCount();
    // The last page's text serves the phone search of persons without one.
    if (count >= 2) {
        QByteArray last(qsizetype(pageSize), '\0');
        db.source().read((count - 1) * pageSize, last.data(), std::size_t(pageSize));
        m_lastPageText = GetLastPageStringWithChar(last);
    }
    db.forEachPage(m_ctx.cancelled, {1}, true, [&](std::uint64_t P, int) {
        carvePersons(db, P);
        carveValues(db, P);
        // Persons found before any row id was known are numbered once, past
        // the largest row id seen by the end of that page.
        if (!m_numbered && !m_ctx.delUnKnowContactArray.isEmpty()) {
            m_numbered = true;
            int next = m_largestRow;
            for (qsizetype i = m_ctx.delUnKnowContactArray.size() - 1; i >= 0; --i) {
                const auto &person = m_ctx.delUnKnowContactArray.at(i);
                person->setRowid(++next);
                m_ctx.delContactArray.append(person);
            }
        }
    });
    joinAndPost();
    m_ctx.nc.post(Notifications::ScanProgressInfo, 75);
}

template<typename Source>
void ContactScanner<Source>::carvePersons(const RawDatabase<Source> &db, std::uint64_t P)
{
    const Source &src = db.source();
    const std::uint64_t pageSize = db.pageSize();
    const std::uint16_t m = db.u16(P + 8);
    if (!pageHolds(src, P + m + 30, 10, RecordHeader::Contacts, 10))
        return;
    const std::uint64_t i7 = m_ctx.bIOS7DeviceNode ? 1 : 0;
    const std::uint64_t end = P + pageSize;
    for (std::uint64_t u = src.nextCandidate(P, end, kPersonProbes); u < end;
         u = src.nextCandidate(u + 1, end, kPersonProbes)) {
        bool hit = false;
        for (const auto &signature : kPersonSignatures)
            hit = hit || src.startsWith(u, signature, 5);
        if (!hit)
            continue;

        const std::uint64_t b = bSortAlter(src, u - 12);
        const std::uint8_t noteByte = src.byte(u - 19 - b);
        const std::uint64_t n = noteByte >= 0x80 && noteByte <= 0x89 ? 1 : 0;
        const std::uint64_t L = 34 + b + 2 * i7 + n + (src.byte(u + 6) != 0x09 ? 1 : 0);
        const std::uint64_t B = u - (27 + b + n);

        // The cell's row id sits just before a header whose length byte is
        // 0x23 to 0x26.
        const std::uint8_t lengthByte = src.byte(B - 1);
        const bool marked = lengthByte >= 0x23 && lengthByte <= 0x26 && src.byte(B) == 0x00;
        // A person without a row id before any row id is known waits to be
        // numbered after its page; once that numbering is done, such a
        // person is never numbered nor posted, so it is neither decoded nor
        // kept (a page of hostile hits would otherwise pile up a node each).
        if (!marked && m_lastRow == 0 && m_numbered)
            continue;

        auto person = std::make_shared<PRContactNode>();
        FieldDecoder<Source> fields(src, std::size_t(pageSize));
        auto usable = [](const std::optional<QByteArray> &t) { return t && !t->isEmpty() && t->size() <= 259; };
        // Fields 14 to 34 are not read.
        for (int j = 1; j <= 13; ++j) {
            if (j == 10 && n == 1)
                continue;
            // Only these fields are read; the others only move D.
            if (!(j <= 3 || j == 7 || j == 8 || j == 9 || j == 13)) {
                fields.skipOne(j, B, 0, L);
                continue;
            }
            const std::optional<QByteArray> text =
                j == 9 && n == 1 ? fields.two(j, B, 0, L) : fields.one(j, B, 0, L);
            if (!usable(text))
                continue;
            const QString value = toString(text);
            switch (j) {
            case 1: person->setContactName(value); break;
            case 2:
            case 3: person->setContactName(joined(person->contactName(), value)); break;
            case 7: person->setContactCompany(value); break;
            case 8: person->setContactCompany(joined(person->contactCompany(), value)); break;
            case 9: person->setContactNote(value); break;
            case 13: person->setContactJobtitle(value); break;
            default: break;
            }
        }

        if (marked) {
            const std::uint8_t x = src.byte(B - 2);
            const std::uint8_t y = src.byte(B - 3);
            const int rowid = y >= 0x81 && y <= 0x89 ? int(RecordHeader::getAlterInteger(y, x)) : int(x);
            person->setRowid(rowid);
            m_largestRow = std::max(m_largestRow, rowid);
            if (rowid == 0)
                person->setRowid(m_lastRow + 1);
        } else if (m_lastRow == 0) {
            m_ctx.delUnKnowContactArray.append(person);
            continue;
        } else {
            person->setRowid(m_lastRow - 1);
        }
        m_lastRow = person->rowid();
        if (person->rowid() != -1)
            m_ctx.delContactArray.append(person);
    }
}

template<typename Source>
void ContactScanner<Source>::carveValues(const RawDatabase<Source> &db, std::uint64_t P)
{
    const Source &src = db.source();
    const std::uint64_t pageSize = db.pageSize();
    const std::uint16_t m = db.u16(P + 8);
    if (!pageHolds(src, P + m + 4, 8, RecordHeader::Contacts, 8))
        return;
    const std::uint64_t L = m_ctx.bIOS7DeviceNode ? 7 : 6;
    // From the first byte of the next page down to the page's second byte.
    for (std::uint64_t i = src.previousCandidate(P + pageSize, P + 1, kValueProbes); i != kNoCandidate;
         i = i > P + 1 ? src.previousCandidate(i - 1, P + 1, kValueProbes) : kNoCandidate) {
        bool hit = false;
        for (const auto &signature : kValueSignatures)
            hit = hit || src.startsWith(i, signature, 4);
        if (!hit)
            continue;
        auto value = std::make_shared<DelContactValue>();
        FieldDecoder<Source> fields(src, std::size_t(pageSize));
        const int row = fields.intOne(1, i - 4, 3, L);
        value->setRowID(row == 0 ? 1 : row);
        value->setValueType(fields.intOne(2, i - 4, 3, L));
        fields.skipOne(3, i - 4, 3, L);
        fields.skipOne(4, i - 4, 3, L);
        if (const auto text = fields.one(5, i - 4, 3, L); text && !text->isEmpty() && text->size() <= 1023)
            value->setContactValue(toString(text));
        m_ctx.delContactValueArray.append(value);
    }
}

template<typename Source>
void ContactScanner<Source>::joinAndPost()
{
    // The values of each row, in the order they were carved: sorted by row,
    // carving order kept within a row.
    std::vector<std::pair<int, qsizetype>> valuesOf;
    valuesOf.reserve(std::size_t(m_ctx.delContactValueArray.size()));
    for (qsizetype i = 0; i < m_ctx.delContactValueArray.size(); ++i)
        valuesOf.emplace_back(m_ctx.delContactValueArray.at(i)->rowID(), i);
    std::sort(valuesOf.begin(), valuesOf.end());

    RecordBatch batch(m_ctx.nc, Notifications::ScanDelContactInfo);
    for (const auto &person : m_ctx.delContactArray) {
        const auto first = std::lower_bound(valuesOf.begin(), valuesOf.end(), std::make_pair(person->rowid(), qsizetype(-1)));
        for (auto it = first; it != valuesOf.end() && it->first == person->rowid(); ++it) {
            const auto &value = m_ctx.delContactValueArray.at(it->second);
            switch (value->valueType()) {
            case 3:
                person->setContactPhone(joined(person->contactPhone(), value->contactValue()));
                person->addPhoneNumber(value->contactValue());
                break;
            case 4: person->setContactEmail(joined(person->contactEmail(), value->contactValue())); break;
            case 22: person->setContactHomepage(joined(person->contactHomepage(), value->contactValue())); break;
            default: break;
            }
        }
        if (person->contactPhone().size() < 3) {
            QString name = person->contactName();
            name.remove(QLatin1Char(' '));
            person->setContactPhone(getNextSubStringInString(m_lastPageText, name));
            person->setPhoneNumbers({});
        }
        batch.add(nodeToVariant(person));
    }
    batch.flush();
}

template class ContactScanner<MappedSource>;
template class ContactScanner<StreamSource>;
