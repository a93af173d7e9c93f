#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

// Reader of the file index of older backups, Manifest.mbdb.
//
//   header   6 bytes   "mbdb" 05 00
//   records  to the end of the file, each:
//     domain, relative path, link target, data hash, encryption key: string
//     fixed fields: 39 bytes (mode 2, inode 8, uid 4, gid 4, mtime 4,
//                   atime 4, ctime 4, size 8, protection class 1)
//     property count: 1 byte, then that many (name string, value string)
//   string   2-byte big-endian length, then that many bytes; 0xFFFF marks an
//            absent string and no bytes follow
//
// Every length is checked against the bytes left in the file: a record cut
// short ends the walk at the end of the file, with what was read of it.
// The file is opened read-only and read sequentially through one buffer.
class MbdbReader
{
public:
    struct Record
    {
        QByteArray domain;       // empty when absent or empty
        QByteArray relativePath; // empty when absent or empty
        bool truncated = false;
        qint64 endOffset = 0;    // read position after the record
    };

    // False when the file is missing, unreadable or not a Manifest.mbdb.
    bool open(const QString &path);
    qint64 size() const { return m_size; }
    qint64 position() const { return m_bufferStart + qint64(m_bufferPos); }
    bool atEnd() const { return position() >= m_size; }

    // Reads the next record; false at the end of the file.
    bool next(Record &record);

    static constexpr char kHeaderHex[] = "6D6264620500";

private:
    bool fill();
    bool readBytes(void *out, std::size_t n);
    bool skip(std::uint64_t n);
    // Reads a string into out (cleared when absent); false when cut short.
    bool readString(QByteArray &out);
    bool skipString();

    QFile m_file;
    qint64 m_size = 0;
    std::vector<char> m_buffer;
    qint64 m_bufferStart = 0;
    std::size_t m_bufferPos = 0;
    std::size_t m_bufferLen = 0;
};
