#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class PRContactNode;

// One contact as a vCard 3.0 file, its photo in Base64.
class PRVCFController
{
public:
    // The vCard 3.0 bytes, UTF-8: N, FN (the same text), ORG, EMAIL, TEL and URL lines always
    // (bare when empty), PHOTO only with image data, "END:VCARD" without a
    // line end. One TEL line per number of phoneNumbers(), the first one
    // "TEL;CELL;PREF", the others "TEL;CELL". Values are escaped as vCard 3.0
    // wants, so a value cannot add lines or properties of its own.
    static QByteArray cardBytes(const PRContactNode &contact);

    // The numbers of a contact's phone text, which holds each number preceded
    // by one blank while the numbers have blanks of their own
    // (" +1 (415) 555-0107 +1 (415) 555-0108"). Read as a person would: a
    // piece beginning with "+" starts a number, so does one beginning with
    // "(" unless it follows a country code alone, and so does a piece with
    // digits once the number has all the digits a number can have (15 with a
    // country code, 10 without). Pieces without digits stay with their
    // number. Numbers written without any separating mark ("555 0100 555
    // 0101") cannot be told apart and stay one.
    static QStringList phoneNumbers(const QString &phones);

    // Writes cardBytes to filePath through PRExportPaths::writeNewFile; returns the path written or empty.
    QString creatFile(const PRContactNode &contact, const QString &filePath);

    // Base64 of srcLen bytes into dest with the 64-character alphabet
    // charset, "=" padding when padded. Returns the number of characters
    // written; 0 for missing input or output, and 0 (with nothing written
    // and "our calc for encoded length was wrong" logged) when destLen
    // cannot hold the whole encoding.
    static int baseEncode(const unsigned char *src, int srcLen, char *dest, int destLen, const char *charset,
                          bool padded);

    // The characters baseEncode writes for srcLen bytes.
    static qint64 encodedLength(qint64 srcLen, bool padded);

    // A value as vCard 3.0 text: "\" ";" "," escaped with a backslash and
    // every line break (CRLF, CR or LF) as "\n".
    static QString escapedValue(const QString &value);

    static const char *const base64Alphabet;

    const QString &strContent() const { return m_strContent; }

private:
    QString m_strContent;
};
