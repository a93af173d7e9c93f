#include "device/imobiledevice/plistvariant.h"

#include "platform/propertylist.h"

#include <QDateTime>
#include <QStringList>
#include <QTimeZone>

#include <cstdlib>
#include <algorithm>

namespace amd::imd {

namespace {

// Property-list dates count from 2001-01-01 00:00:00 UTC.
const qint64 kPlistEpochMs = QDateTime(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc()).toMSecsSinceEpoch();

QVariant toVariantAt(plist_t node, int depth)
{
    if (!node)
        return {};
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return QVariant(value != 0);
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        // This libplist keeps negative integers as their two's complement.
        return QVariant(static_cast<qint64>(value));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return QVariant(value);
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        uint64_t length = 0;
        const char *text = plist_get_string_ptr(node, &length);
        if (!text)
            return QVariant(QString());
        return QVariant(QString::fromUtf8(text, static_cast<qsizetype>(length)));
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char *bytes = plist_get_data_ptr(node, &length);
        return QVariant(bytes ? QByteArray(bytes, static_cast<qsizetype>(length)) : QByteArray());
    }
    case PLIST_DATE: {
        int32_t seconds = 0;
        int32_t micros = 0;
        plist_get_date_val(node, &seconds, &micros);
        // The library keeps a double and hands back the fraction without its
        // sign, rounded down: before 2001 it belongs below the whole seconds.
        const qint64 fractionMs = (qint64(std::abs(micros)) + 500) / 1000;
        const qint64 ms = kPlistEpochMs + qint64(seconds) * 1000 + (seconds < 0 ? -fractionMs : fractionMs);
        return QVariant(QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()));
    }
    case PLIST_UID: {
        uint64_t value = 0;
        plist_get_uid_val(node, &value);
        return QVariant::fromValue(PlistUid{value});
    }
    case PLIST_ARRAY: {
        QVariantList list;
        if (depth >= kMaxPlistDepth)
            return list;
        const uint32_t count = std::min(plist_array_get_size(node), kMaxPlistEntries);
        list.reserve(count);
        for (uint32_t i = 0; i < count; ++i)
            list.append(toVariantAt(plist_array_get_item(node, i), depth + 1));
        return list;
    }
    case PLIST_DICT: {
        QVariantMap map;
        if (depth >= kMaxPlistDepth)
            return map;
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        if (!iter)
            return map;
        for (quint32 i = 0; i < kMaxPlistEntries; ++i) {
            char *key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, iter, &key, &value);
            if (!key)
                break;
            map.insert(QString::fromUtf8(key), toVariantAt(value, depth + 1));
            std::free(key);
        }
        std::free(iter);
        return map;
    }
    case PLIST_NONE:
        break;
    }
    return {};
}

plist_t fromVariantAt(const QVariant &value, int depth)
{
    if (!value.isValid())
        return nullptr;
    switch (value.typeId()) {
    case QMetaType::Bool:
        return plist_new_bool(value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
        return plist_new_uint(static_cast<uint64_t>(value.toLongLong()));
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return plist_new_uint(value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return plist_new_real(value.toDouble());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return plist_new_data(bytes.constData(), static_cast<uint64_t>(bytes.size()));
    }
    case QMetaType::QDateTime: {
        const qint64 ms = value.toDateTime().toMSecsSinceEpoch() - kPlistEpochMs;
        const qint64 seconds = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
        const qint64 micros = (ms - seconds * 1000) * 1000;
        return plist_new_date(static_cast<int32_t>(seconds), static_cast<int32_t>(micros));
    }
    case QMetaType::QVariantMap: {
        plist_t dict = plist_new_dict();
        if (depth >= kMaxPlistDepth)
            return dict;
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            if (plist_t item = fromVariantAt(it.value(), depth + 1))
                plist_dict_set_item(dict, it.key().toUtf8().constData(), item);
        }
        return dict;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        plist_t array = plist_new_array();
        if (depth >= kMaxPlistDepth)
            return array;
        const QVariantList list = value.toList();
        for (const QVariant &entry : list) {
            if (plist_t item = fromVariantAt(entry, depth + 1))
                plist_array_append_item(array, item);
        }
        return array;
    }
    default:
        break;
    }
    if (value.metaType() == QMetaType::fromType<PlistUid>())
        return plist_new_uid(value.value<PlistUid>().value);
    return plist_new_string(value.toString().toUtf8().constData());
}

} // namespace

QVariant toVariant(plist_t node)
{
    return toVariantAt(node, 0);
}

PlistPtr fromVariant(const QVariant &value)
{
    return PlistPtr(fromVariantAt(value, 0));
}

} // namespace amd::imd
