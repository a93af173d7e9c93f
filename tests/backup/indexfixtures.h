#pragma once

// Small hand-made backup pieces for the index tests: exact bytes, so that
// broken and hostile variants can be cut from them.

#include "backup/nodes/prnode.h"
#include "backup/shah.h"
#include "platform/notificationcenter.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <vector>

class MbdbBuilder
{
public:
    MbdbBuilder() { m_bytes = QByteArray("mbdb\x05\x00", 6); }

    static void putString(QByteArray &out, const QByteArray *s)
    {
        if (!s) {
            out += char(0xFF);
            out += char(0xFF);
            return;
        }
        out += char((s->size() >> 8) & 0xFF);
        out += char(s->size() & 0xFF);
        out += *s;
    }

    // One record; properties as name/value pairs.
    MbdbBuilder &add(const QByteArray &domain, const QByteArray &path,
                     const std::vector<std::pair<QByteArray, QByteArray>> &properties = {})
    {
        putString(m_bytes, &domain);
        putString(m_bytes, &path);
        putString(m_bytes, nullptr);                 // link target
        const QByteArray hash(20, '\x11');
        putString(m_bytes, &hash);                   // data hash
        putString(m_bytes, nullptr);                 // encryption key
        m_bytes += QByteArray(39, '\x00');
        m_bytes += char(properties.size());
        for (const auto &[name, value] : properties) {
            putString(m_bytes, &name);
            putString(m_bytes, &value);
        }
        return *this;
    }

    QByteArray &bytes() { return m_bytes; }

private:
    QByteArray m_bytes;
};

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Records every notification posted on a centre while it lives.
class NotificationLog
{
public:
    explicit NotificationLog(NotificationCenter &nc) : m_nc(nc)
    {
        nc.addObserver(this, QString(), [this](const Notification &n) { all.push_back(n); });
    }
    ~NotificationLog() { m_nc.removeObserver(this); }

    std::vector<Notification> named(const QString &name) const
    {
        std::vector<Notification> out;
        for (const auto &n : all)
            if (n.name == name)
                out.push_back(n);
        return out;
    }

    // The record nodes posted under name, as their class.
    template<typename T>
    std::vector<std::shared_ptr<T>> nodes(const QString &name) const
    {
        std::vector<std::shared_ptr<T>> out;
        for (const auto &n : named(name))
            out.push_back(nodeFromVariant<T>(n.object));
        return out;
    }

    std::vector<Notification> all;

private:
    NotificationCenter &m_nc;
};
