#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

// What the fuzz targets share: the readers under test take paths, so each
// input is written to a file in one folder the process keeps for its life.
namespace FuzzInput {

inline const QString &folder()
{
    static QTemporaryDir dir;
    static const QString path = dir.path();
    return path;
}

inline QByteArray bytes(const std::uint8_t *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Writes data to name in the folder and returns its path; the file is
// replaced, never appended to. An empty path when it cannot be written.
inline QString put(const QString &name, const QByteArray &data)
{
    const QString path = folder() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
        return {};
    return path;
}

inline void remove(const QString &name)
{
    QFile::remove(folder() + QLatin1Char('/') + name);
}

} // namespace FuzzInput

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);
