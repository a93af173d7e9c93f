#pragma once

#include "platform/notificationcenter.h"

#include <QByteArray>
#include <QString>

// Writes a notification as one JSON object on one line:
//   {"note": NAME, ...}
// with every property of a record node under its own name (text as a
// string, absent as null, numbers and flags as numbers, data as
// {"size": N, "sha1": HEX}), or "value" for a number, text or list object.
class JsonRecordWriter
{
public:
    static QByteArray line(const Notification &notification);
    static void appendString(QByteArray &out, const QString &text);
};
