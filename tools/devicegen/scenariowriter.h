#pragma once

#include "platform/propertylist.h"
#include "tools/devicegen/devicescenario.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QVariantMap>

// The pieces of a scenario are written through one writer, which counts what
// it wrote and keeps the first failure.
namespace devicegen {

class Writer
{
public:
    Writer(const QString &root, ScenarioSummary *summary)
        : m_root(root)
        , m_summary(summary)
    {
    }
    bool file(const QString &relative, const QByteArray &bytes)
    {
        if (!m_ok)
            return false;
        const QString path = m_root + QLatin1Char('/') + relative;
        QFile out(path);
        if (bytes.isEmpty())
            return fail(QStringLiteral("no bytes could be made for %1").arg(relative));
        if (!QDir().mkpath(QFileInfo(path).path()) || !out.open(QIODevice::WriteOnly | QIODevice::NewOnly)
            || out.write(bytes) != bytes.size())
            return fail(QStringLiteral("%1 could not be written").arg(path));
        ++m_summary->files;
        m_summary->bytes += bytes.size();
        return true;
    }
    // A file of no bytes (file() refuses them, to catch generators that
    // made nothing).
    bool emptyFile(const QString &relative)
    {
        if (!m_ok)
            return false;
        const QString path = m_root + QLatin1Char('/') + relative;
        QFile out(path);
        if (!QDir().mkpath(QFileInfo(path).path()) || !out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return fail(QStringLiteral("%1 could not be written").arg(path));
        ++m_summary->files;
        return true;
    }
    bool folder(const QString &relative)
    {
        if (m_ok && !QDir().mkpath(m_root + QLatin1Char('/') + relative))
            return fail(QStringLiteral("%1 could not be made").arg(relative));
        return m_ok;
    }
    // A file something else wrote under the root (a database), counted.
    void counted(const QString &relative)
    {
        const QFileInfo info(m_root + QLatin1Char('/') + relative);
        if (info.isFile()) {
            ++m_summary->files;
            m_summary->bytes += info.size();
        }
    }
    QString path(const QString &relative) const { return m_root + QLatin1Char('/') + relative; }
    bool failWith(const QString &message) { return fail(message); }
    bool plist(const QString &relative, const QVariantMap &root, PropertyList::Format format)
    {
        return file(relative, PropertyList::toData(root, format));
    }
    bool ok() const { return m_ok; }
    QString error() const { return m_error; }

private:
    bool fail(const QString &message)
    {
        m_ok = false;
        m_error = message;
        return false;
    }

    QString m_root;
    ScenarioSummary *m_summary;
    bool m_ok = true;
    QString m_error;
};

// The photo extras of the media area (DCIM folders beyond the numbered
// series), written after the media files.
bool writePhotoExtras(Writer &out, int scale);
// The app extras: more user apps, containers and archives; adds the apps'
// attributes to apps (bundle id -> attributes) and their ids to the summary.
bool writeAppExtras(Writer &out, QVariantMap &apps, int scale);
// The cleaner's part of the demo: odd cache, cookie and temporary files in
// two demo apps' containers and the failed-sync media.
bool writeCleanerExtras(Writer &out);

} // namespace devicegen
