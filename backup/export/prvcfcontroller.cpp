#include "backup/export/prvcfcontroller.h"

#include "backup/nodes/prcontactnode.h"
#include "filesafety/exportpaths.h"

#include <QLoggingCategory>

#include <algorithm>

namespace {

Q_LOGGING_CATEGORY(lcVcf, "ostra.export.vcf")

// Encoded in pieces of whole 3-byte groups: the pieces join to the same text
// as one run, and no length ever leaves int.
constexpr qsizetype photoPieceBytes = 3 * 1024 * 1024;

} // namespace

const char *const PRVCFController::base64Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

qint64 PRVCFController::encodedLength(qint64 srcLen, bool padded)
{
    if (srcLen <= 0)
        return 0;
    const qint64 whole = srcLen / 3 * 4;
    const qint64 rest = srcLen % 3;
    if (rest == 0)
        return whole;
    return whole + (padded ? 4 : rest + 1);
}

int PRVCFController::baseEncode(const unsigned char *src, int srcLen, char *dest, int destLen, const char *charset,
                                bool padded)
{
    if (!src || !dest || !charset || srcLen <= 0 || destLen <= 0)
        return 0;
    // Checked once for the whole run, before anything is written: a too
    // small area is the caller's error, reported, never overrun.
    if (encodedLength(srcLen, padded) > destLen) {
        qCCritical(lcVcf, "PRVCFController: our calc for encoded length was wrong");
        return 0;
    }
    int written = 0;
    int i = 0;
    for (; srcLen - i >= 3; i += 3) {
        const unsigned v = unsigned(src[i]) << 16 | unsigned(src[i + 1]) << 8 | src[i + 2];
        dest[written++] = charset[(v >> 18) & 0x3f];
        dest[written++] = charset[(v >> 12) & 0x3f];
        dest[written++] = charset[(v >> 6) & 0x3f];
        dest[written++] = charset[v & 0x3f];
    }
    const int rest = srcLen - i;
    if (rest > 0) {
        const unsigned v = unsigned(src[i]) << 16 | (rest == 2 ? unsigned(src[i + 1]) << 8 : 0u);
        dest[written++] = charset[(v >> 18) & 0x3f];
        dest[written++] = charset[(v >> 12) & 0x3f];
        if (rest == 2)
            dest[written++] = charset[(v >> 6) & 0x3f];
        if (padded) {
            if (rest == 1)
                dest[written++] = '=';
            dest[written++] = '=';
        }
    }
    return written;
}

QString PRVCFController::escapedValue(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        switch (c.unicode()) {
        case '\\': out += QLatin1String("\\\\"); break;
        case ';': out += QLatin1String("\\;"); break;
        case ',': out += QLatin1String("\\,"); break;
        case '\r':
            if (i + 1 < value.size() && value.at(i + 1) == QLatin1Char('\n'))
                ++i;
            out += QLatin1String("\\n");
            break;
        case '\n': out += QLatin1String("\\n"); break;
        default: out += c;
        }
    }
    return out;
}

QStringList PRVCFController::phoneNumbers(const QString &phones)
{
    // E.164 allows 15 digits with the country code; a national number has at most 10 in most plans.
    constexpr int kInternationalDigits = 15;
    constexpr int kNationalDigits = 10;
    QStringList numbers;
    QString number;
    int digits = 0;
    int pieces = 0;
    for (const QString &piece : phones.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        int pieceDigits = 0;
        for (const QChar c : piece)
            pieceDigits += c.isDigit() ? 1 : 0;
        const bool international = number.startsWith(QLatin1Char('+'));
        const bool startsAnother =
            pieces > 0 && pieceDigits > 0
            && (piece.startsWith(QLatin1Char('+'))
                || (piece.startsWith(QLatin1Char('(')) && !(international && pieces == 1 && digits <= 3))
                || digits + pieceDigits > kInternationalDigits || (!international && digits >= kNationalDigits));
        if (startsAnother) {
            numbers.append(number);
            number.clear();
            digits = 0;
            pieces = 0;
        }
        if (pieces > 0)
            number += QLatin1Char(' ');
        number += piece;
        digits += pieceDigits;
        ++pieces;
    }
    if (pieces > 0)
        numbers.append(number);
    return numbers;
}

QByteArray PRVCFController::cardBytes(const PRContactNode &contact)
{
    QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    const auto line = [&card](const char *property, const QString &value) {
        card += property;
        card += ':';
        card += escapedValue(value).toUtf8();
        card += "\r\n";
    };
    line("N", contact.contactName());
    // Readers that validate refuse a 3.0 card without FN; the name is all
    // there is to format, so it is the same text.
    line("FN", contact.contactName());
    line("ORG", contact.contactCompany());
    line("EMAIL;INTERNET;HOME;PREF", contact.contactEmail());
    // An address book takes one number per TEL line.
    // The numbers as the address book held them; a joined text (a carved
    // record's) is split where one number plainly ends.
    const QStringList numbers =
        contact.phoneNumbers().isEmpty() ? phoneNumbers(contact.contactPhone()) : contact.phoneNumbers();
    line("TEL;CELL;PREF", numbers.value(0));
    for (qsizetype i = 1; i < numbers.size(); ++i)
        line("TEL;CELL", numbers.at(i));
    line("URL", contact.contactHomepage());
    const QByteArray &photo = contact.imageData();
    if (!photo.isEmpty()) {
        card += "PHOTO;ENCODING=b;TYPE=JPEG:";
        for (qsizetype at = 0; at < photo.size(); at += photoPieceBytes) {
            const int length = int(std::min(photoPieceBytes, photo.size() - at));
            QByteArray encoded(encodedLength(length, true), Qt::Uninitialized);
            const int written =
                baseEncode(reinterpret_cast<const unsigned char *>(photo.constData() + at), length,
                           encoded.data(), int(encoded.size()), base64Alphabet, true);
            card.append(encoded.constData(), written);
        }
        card += "\r\n";
    }
    card += "END:VCARD";
    return card;
}

QString PRVCFController::creatFile(const PRContactNode &contact, const QString &filePath)
{
    const QByteArray card = cardBytes(contact);
    m_strContent = QString::fromUtf8(card);
    return PRExportPaths::writeNewFile(filePath, card);
}
