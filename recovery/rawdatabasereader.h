#pragma once

#include <cstdint>
#include <cstdio>

// Positioned reads of a database file through a C stream: every call seeks
// and reads only the bytes asked for. Short reads leave zeros ("00").
namespace RawDatabaseReader {

// Copies length bytes at offset into buffer; bytes past the end of the file
// arrive as zeros. Null for a null stream or buffer, offset 0 or length 0.
void *readData(std::FILE *file, void *buffer, std::uint64_t offset, int length);

// Writes the bytes at offset as lower-case hex text into text (2 characters
// a byte, no terminator: the caller passes a zeroed buffer of at least
// 2 * length + 1 characters). Null for a null stream, offset 0 or length 0;
// the buffer is returned unchanged when the seek fails.
char *getHexString(std::FILE *file, std::uint64_t offset, int length, char *text);

} // namespace RawDatabaseReader
