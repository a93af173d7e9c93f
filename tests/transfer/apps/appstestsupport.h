#pragma once

// What the apps tests share: the phone fixture, the device's private copy
// and hand-made archives.

#include "platform/propertylist.h"
#include "tests/transfer/transferfixture.h"

#include <QDirIterator>
#include <QFile>

#include <zip.h>
#include <sys/stat.h>

namespace appstest {

constexpr const char *kNotebook = "com.ostra.demo.notebook";

// A zip of (name, bytes) entries; a name ending in "/" is a folder. links
// names entries stored as symbolic links; files are stored, or deflated.
inline bool writeZip(const QString &path, const QList<QPair<QString, QByteArray>> &entries,
                     const QStringList &links = {}, bool deflate = false)
{
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    for (const auto &[name, bytes] : entries) {
        const QByteArray utf8 = name.toUtf8();
        zip_int64_t index = -1;
        if (name.endsWith(QLatin1Char('/'))) {
            index = zip_dir_add(archive, utf8.constData(), ZIP_FL_ENC_UTF_8);
        } else {
            auto *copy = static_cast<char *>(malloc(size_t(qMax<qsizetype>(bytes.size(), 1))));
            memcpy(copy, bytes.constData(), size_t(bytes.size()));
            zip_source_t *source = zip_source_buffer(archive, copy, zip_uint64_t(bytes.size()), 1);
            index = zip_file_add(archive, utf8.constData(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
            zip_set_file_compression(archive, zip_uint64_t(index), deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE,
                                     deflate ? 9 : 0);
        }
        if (index < 0) {
            zip_discard(archive);
            return false;
        }
        if (links.contains(name))
            zip_file_set_external_attributes(archive, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX,
                                             zip_uint32_t(S_IFLNK | 0777) << 16);
    }
    return zip_close(archive) == 0;
}

inline QByteArray infoPlist(const QString &bundleId)
{
    return PropertyList::toData(QVariantMap{{QStringLiteral("CFBundleIdentifier"), bundleId},
                                            {QStringLiteral("CFBundleName"), QStringLiteral("Hand")},
                                            {QStringLiteral("CFBundleExecutable"), QStringLiteral("Hand")}},
                                PropertyList::Format::Xml);
}

inline QByteArray metadataPlist(const QString &bundleId)
{
    return PropertyList::toData(QVariantMap{{QStringLiteral("softwareVersionBundleId"), bundleId}},
                                PropertyList::Format::Xml);
}

// Regular files below folder, relative paths.
inline QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(folder).relativeFilePath(it.next()));
    files.sort();
    return files;
}

} // namespace appstest
