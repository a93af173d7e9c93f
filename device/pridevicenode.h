#pragma once

#include <QString>
#include <QtGlobal>

// The connected phone as the pages know it: its identity and storage, read
// once on arrival. Every text is the phone's own and untrusted: it is shown
// as plain text and becomes a path only through the export-path rules.
struct PRiDeviceNode
{
    QString deviceName;      // "DeviceName"
    QString iOSVersion;      // "ProductVersion"
    QString udidNumber;      // "UniqueDeviceID"
    QString PhoneNumber;     // "PhoneNumber"
    QString firemVersion;    // "BuildVersion"
    QString seriNumber;      // "SerialNumber"
    QString deviceSize;      // text of the total data capacity
    QString freeSize;        // text of the total data available
    quint64 totalDeviceSize = 0;
    quint64 freeDeviceSize = 0;
};
