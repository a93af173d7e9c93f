#include "platform/propertylist.h"

#include "platform/plistbounds.h"
#include "platform/regularfile.h"

#include <QDateTime>
#include <QSaveFile>
#include <QTimeZone>

#include <plist/plist.h>

#include <limits>
#include <memory>

namespace {

// Seconds between the Unix epoch and the property-list epoch (2001-01-01 UTC).
constexpr qint64 kAppleEpochOffset = 978307200;

// Our own conversion recurses once per nesting level too. PlistBounds already
// keeps what reaches it shallower; this is the conversion's own guard.
constexpr int kMaxDepth = 512;

struct PlistDeleter
{
    void operator()(void *p) const { plist_free(static_cast<plist_t>(p)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

QVariant toVariant(plist_t node, int depth)
{
    if (!node || depth > kMaxDepth)
        return {};
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return bool(b);
    }
    case PLIST_UINT: {
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        // Binary lists store negative integers as two's complement in 64 bits.
        return qint64(v);
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return d;
    }
    case PLIST_STRING: {
        // By pointer and length: a string holding a NUL byte is a stranger's
        // text like any other, while the copying getter asserts on it.
        uint64_t length = 0;
        const char *s = plist_get_string_ptr(node, &length);
        if (!s || length > uint64_t(std::numeric_limits<qsizetype>::max()))
            return QString();
        return QString::fromUtf8(s, qsizetype(length));
    }
    case PLIST_KEY: {
        char *s = nullptr;
        plist_get_key_val(node, &s);
        QString out = s ? QString::fromUtf8(s) : QString();
        free(s);
        return out;
    }
    case PLIST_DATA: {
        char *d = nullptr;
        uint64_t len = 0;
        plist_get_data_val(node, &d, &len);
        QByteArray out(d, qsizetype(len));
        free(d);
        return out;
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        qint64 ms = (qint64(sec) + kAppleEpochOffset) * 1000 + usec / 1000;
        return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    }
    case PLIST_UID: {
        uint64_t v = 0;
        plist_get_uid_val(node, &v);
        return QVariant::fromValue(PlistUid{v});
    }
    case PLIST_ARRAY: {
        QVariantList list;
        list.reserve(qsizetype(plist_array_get_size(node)));
        // An array read from a binary list has no index: plist_array_get_item()
        // walks it from the start each time, so walk it once instead.
        plist_array_iter it = nullptr;
        plist_array_new_iter(node, &it);
        for (;;) {
            plist_t item = nullptr;
            plist_array_next_item(node, it, &item);
            if (!item)
                break;
            list.append(toVariant(item, depth + 1));
        }
        free(it);
        return list;
    }
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char *key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, it, &key, &value);
            if (!key)
                break;
            map.insert(QString::fromUtf8(key), toVariant(value, depth + 1));
            free(key);
        }
        free(it);
        return map;
    }
    default:
        return {};
    }
}

plist_t fromVariant(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::QVariantMap: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = v.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            plist_dict_set_item(dict, it.key().toUtf8().constData(), fromVariant(it.value()));
        return dict;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        plist_t array = plist_new_array();
        for (const QVariant &item : v.toList())
            plist_array_append_item(array, fromVariant(item));
        return array;
    }
    case QMetaType::Bool:
        return plist_new_bool(v.toBool());
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Long:
    case QMetaType::Short:
        return plist_new_uint(uint64_t(v.toLongLong()));
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::ULong:
    case QMetaType::UShort:
        return plist_new_uint(v.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return plist_new_real(v.toDouble());
    case QMetaType::QByteArray: {
        const QByteArray d = v.toByteArray();
        return plist_new_data(d.constData(), uint64_t(d.size()));
    }
    case QMetaType::QDateTime: {
        const qint64 ms = v.toDateTime().toMSecsSinceEpoch() - kAppleEpochOffset * 1000;
        const qint64 sec = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
        return plist_new_date(int32_t(sec), int32_t((ms - sec * 1000) * 1000));
    }
    default:
        if (v.metaType() == QMetaType::fromType<PlistUid>())
            return plist_new_uid(v.value<PlistUid>().value);
        return plist_new_string(v.toString().toUtf8().constData());
    }
}

} // namespace

namespace PropertyList {

std::optional<QVariant> fromData(const QByteArray &data)
{
    if (data.isEmpty() || data.size() > std::numeric_limits<uint32_t>::max())
        return std::nullopt;
    // libplist recurses once per level while freeing (and, in some versions,
    // parsing) and copies shared binary objects once per reference: nothing
    // it is given may choose either.
    if (!PlistBounds::check(data))
        return std::nullopt;
    plist_t root = nullptr;
    plist_from_memory(data.constData(), uint32_t(data.size()), &root);
    if (!root)
        return std::nullopt;
    PlistPtr guard(root);
    QVariant v = toVariant(root, 0);
    if (!v.isValid())
        return std::nullopt;
    return v;
}

std::optional<QVariant> readFile(const QString &path, qint64 maxBytes)
{
    const auto data = RegularFile::read(path, maxBytes);
    if (!data)
        return std::nullopt;
    return fromData(*data);
}

std::optional<QVariantMap> readDictionary(const QString &path)
{
    auto root = readFile(path);
    if (!root || root->typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return root->toMap();
}

QByteArray toData(const QVariant &root, Format format)
{
    PlistPtr node(fromVariant(root));
    char *out = nullptr;
    uint32_t len = 0;
    if (format == Format::Binary) {
        plist_to_bin(static_cast<plist_t>(node.get()), &out, &len);
        QByteArray result(out, qsizetype(len));
        plist_to_bin_free(out);
        return result;
    }
    plist_to_xml(static_cast<plist_t>(node.get()), &out, &len);
    QByteArray result(out, qsizetype(len));
    plist_to_xml_free(out);
    return result;
}

bool writeFile(const QString &path, const QVariant &root, Format format)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray data = toData(root, format);
    if (file.write(data) != data.size())
        return false;
    return file.commit();
}

} // namespace PropertyList
