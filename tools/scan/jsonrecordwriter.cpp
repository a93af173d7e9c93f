#include "tools/scan/jsonrecordwriter.h"

#include "backup/nodes/prnode.h"
#include "backup/shah.h"

namespace {

void appendData(QByteArray &out, const QByteArray &data)
{
    if (data.isNull()) {
        out += "null";
        return;
    }
    SHAH sha;
    sha.addBytes(data.constData(), std::size_t(data.size()));
    std::uint32_t words[5];
    char hex[41] = {};
    if (sha.getDigest(words))
        shahDigestToHex(words, hex);
    out += "{\"size\": " + QByteArray::number(data.size()) + ", \"sha1\": \"" + QByteArray(hex) + "\"}";
}

class Writer : public PropertyVisitor
{
public:
    explicit Writer(QByteArray &out) : m_out(out) {}

    void text(const char *name, const QString &value) override
    {
        key(name);
        if (value.isNull())
            m_out += "null";
        else
            JsonRecordWriter::appendString(m_out, value);
    }
    void data(const char *name, const QByteArray &value) override
    {
        key(name);
        appendData(m_out, value);
    }
    void integer(const char *name, qint64 value) override
    {
        key(name);
        m_out += QByteArray::number(value);
    }
    void unsignedInteger(const char *name, quint64 value) override
    {
        key(name);
        m_out += QByteArray::number(value);
    }
    void flag(const char *name, bool value) override
    {
        key(name);
        m_out += value ? '1' : '0';
    }
    void nodeCount(const char *name, qsizetype count) override
    {
        key(name);
        m_out += QByteArray::number(count);
    }

private:
    void key(const char *name)
    {
        m_out += ", \"";
        m_out += name;
        m_out += "\": ";
    }
    QByteArray &m_out;
};

void appendValue(QByteArray &out, const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        out += "null";
        break;
    case QMetaType::Bool:
        out += value.toBool() ? '1' : '0';
        break;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Long:
        out += QByteArray::number(value.toLongLong());
        break;
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::ULong:
        out += QByteArray::number(value.toULongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        out += QByteArray::number(value.toDouble(), 'g', 17);
        break;
    case QMetaType::QByteArray:
        appendData(out, value.toByteArray());
        break;
    case QMetaType::QVariantList: {
        out += '[';
        bool first = true;
        for (const QVariant &item : value.toList()) {
            if (!first)
                out += ", ";
            first = false;
            appendValue(out, item);
        }
        out += ']';
        break;
    }
    default:
        if (value.metaType() == QMetaType::fromType<PRNodeRef>()) {
            const PRNodeRef node = value.value<PRNodeRef>();
            out += '{';
            JsonRecordWriter::appendString(out, QString::fromLatin1(node ? node->className() : "null"));
            out += '}';
            break;
        }
        JsonRecordWriter::appendString(out, value.toString());
    }
}

} // namespace

void JsonRecordWriter::appendString(QByteArray &out, const QString &text)
{
    out += '"';
    const QByteArray utf8 = text.toUtf8();
    const char *data = utf8.constData();
    const qsizetype size = utf8.size();
    // Runs of plain bytes go in whole; only the bytes JSON escapes are
    // written one at a time (a scan of a large database prints millions).
    qsizetype run = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char c = data[i];
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && c != '"' && c != '\\')
            continue;
        out.append(data + run, i - run);
        run = i + 1;
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", u);
            out += esc;
        }
        }
    }
    out.append(data + run, size - run);
    out += '"';
}

QByteArray JsonRecordWriter::line(const Notification &notification)
{
    QByteArray out;
    out.reserve(256);
    out += "{\"note\": ";
    appendString(out, notification.name);
    const QVariant &object = notification.object;
    if (object.metaType() == QMetaType::fromType<PRNodeRef>()) {
        if (const PRNodeRef node = object.value<PRNodeRef>()) {
            Writer writer(out);
            node->describe(writer);
        }
    } else if (object.isValid()) {
        out += ", \"value\": ";
        appendValue(out, object);
    }
    out += "}\n";
    return out;
}
