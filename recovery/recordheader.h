#pragma once

// What the deleted-record scanners share: page geometry and types, the
// signature table, the serial-type rules and the field decoders.
//
// SQLite file format, as far as the scanners use it:
//   offset 16, 2 bytes   page size (big-endian; 1 means 65536)
//   offset 18, 1 byte    read version: 1 rollback journal, 2 write-ahead log
//   page byte 0          page type: 0x0d table leaf, 0x05 table interior,
//                        0x02 index interior, 0x0a index leaf
//   page bytes 5-6       start of the cell content area
//   page bytes 8-9       first cell pointer (leaf pages)
//   record               header length varint, one serial type per column,
//                        then the column bodies in order
//   serial types         0 NULL; 1-4, 5, 6 integers of 1-4, 6, 8 bytes;
//                        7 a 64-bit float; 8 and 9 the integers 0 and 1;
//                        even n >= 12 a blob of (n-12)/2 bytes; odd n >= 13
//                        a text of (n-13)/2 bytes

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace RecordHeader {

// Signature types of the six kinds.
enum SignatureType { CallHistory = 1, Messages = 2, Calendar = 3, Contacts = 4, Bookmarks = 5, Notes = 6 };

// 1 when window begins with one of the type's patterns, -1 when not (or for
// an unknown type), 0 for an empty window.
int bCheckDataIsValid(const QByteArray &window, int type);

// True when some window of width w of text matches the type; the windows
// start at every character 0 .. n - w - 1, so also in the middle of a byte.
bool bcheckSubStringIsValid(const QByteArray &text, int type, int w);
bool bcheckSubStringIsValid(const char *text, qsizetype n, int type, int w);

// Sliding windows against a fixed set of prefixes.
bool slidingWindowMatches(const QByteArray &text, int w, std::initializer_list<const char *> prefixes);
bool slidingWindowMatches(const char *text, qsizetype n, int w, std::initializer_list<const char *> prefixes);

// The value of the first n hex characters; 0 when text is shorter.
std::uint64_t DemaNumberFormHexChar(const QByteArray &text, int n);

std::uint64_t readBigEndian(const unsigned char *bytes, int start, int size);

// A two-byte serial type.
std::uint32_t getAlterInteger(std::uint8_t first, std::uint8_t second);

// Content size of a serial type.
std::uint64_t getFieldDataLengthBy(std::uint64_t serialType);

// Page type: 1 table leaf, 2 table interior or zeroed, 3 index interior,
// 4 index leaf, -1 otherwise.
int pageType(std::uint8_t firstByte);

// The page size stored in a database header: 0 when it is not a power of two
// from 512 to 65536 (the value 1 stands for 65536).
std::uint32_t pageSize(std::uint16_t stored);

// The text of an integer body of serial type t (1-7) in big-endian bytes.
QByteArray integerText(int serialType, const unsigned char *body);
// The number that text stands for, for serial types 1-6: what atoll reads
// back from integerText (types 1-3 read unsigned, as there).
std::int64_t integerValue(int serialType, const unsigned char *body);

} // namespace RecordHeader
