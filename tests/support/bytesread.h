#pragma once

#include <QByteArray>
#include <QFile>

// Bytes this process has read so far (all threads, from the kernel's count):
// a refusal proven by what was not read, however busy the machine is.
inline qint64 bytesReadByProcess()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n'))
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    return -1;
}
