#include "device/amd/cfconversions.h"

#include <QDebug>

#include <cmath>
#include <limits>

namespace amd {

std::string cfStringToStdString(const QString &string)
{
    return string.toStdString();
}

std::string cfTypeToStdString(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return {};
    if (value.metaType().id() == QMetaType::QString)
        return cfStringToStdString(value.toString());
    QString text;
    QDebug(&text).noquote() << value;
    return text.toStdString();
}

qint64 cfNumberToInt64(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::SChar:
        return value.toLongLong();
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar: {
        const quint64 v = value.toULongLong();
        return v > quint64(std::numeric_limits<qint64>::max()) ? std::numeric_limits<qint64>::max() : qint64(v);
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (std::isnan(d))
            return 0;
        if (d >= 9.2e18)
            return std::numeric_limits<qint64>::max();
        if (d <= -9.2e18)
            return std::numeric_limits<qint64>::min();
        return qint64(d);
    }
    default:
        return 0;
    }
}

quint64 cfNumberToUInt64(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return value.toULongLong();
    default: {
        const qint64 v = cfNumberToInt64(value);
        return v < 0 ? 0 : quint64(v);
    }
    }
}

QString stdStringToCFString(const std::string &text)
{
    return QString::fromStdString(text);
}

} // namespace amd
